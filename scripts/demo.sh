#!/usr/bin/env bash
# The kit's main job on the bundled product: build the programs, package
# product/ into a distribution with mkdist, and start its installer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"
# Package the staged product (build/product) into build/dist, then start
# the distribution's installer so its whole dialogue shows.
cmake --build build --target dist
exec build/dist/install
