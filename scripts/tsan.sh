#!/usr/bin/env bash
# Builds the thread tests (the POSIX thread emulation and the launcher's
# thread, event and pipe utilities) with ThreadSanitizer in build-tsan and
# runs them; any data race fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DKOVRA_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_C_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan --target threads_platform_test threads_extent_test -j2
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
# Some kernels place mappings where ThreadSanitizer cannot work; running
# without address randomisation avoids that.
run=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi
for t in threads_platform_test threads_extent_test; do
  echo "== $t under ThreadSanitizer"
  "${run[@]}" build-tsan/tests/threads/$t --gtest_brief=1
done
