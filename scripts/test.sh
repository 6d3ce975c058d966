#!/usr/bin/env bash
# Builds the kit and runs every test: the host build under CTest, the same
# tests under the address and undefined-behaviour sanitizers, a short run
# of every fuzz target, and the further stages below when their tools are
# present.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

echo "== host build and tests"
cmake -S . -B build -DKOVRA_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
echo "== all tests under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh
echo "== fuzz targets, a short run of each"
scripts/fuzz.sh 60
if command -v x86_64-w64-mingw32-g++ >/dev/null; then scripts/windows.sh; fi
