#!/usr/bin/env bash
# Builds the kit and all of its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan and runs them under CTest; any
# memory error, leak or undefined behaviour fails the stage.  The
# launchers and the install program run under the sanitizers too, since
# the tests start the programs of this build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
# -O1 keeps the instrumented build quick to compile and its reports exact.
flags="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -DKOVRA_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
# Leaks inside fontconfig, which is not ours, are not reported (see
# scripts/lsan.supp); everything of the kit's is.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp print_suppressions=0 ${LSAN_OPTIONS:-}"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1 ${UBSAN_OPTIONS:-}"
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
