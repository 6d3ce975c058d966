#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, and runs each of them on a
# copy of its seed and regression corpora (so that committed corpora are
# never changed) for an equal share of the given total time.
# Usage: scripts/fuzz.sh [TOTAL_SECONDS]   (default 60)
# A finding fails the stage; its input is kept in build-fuzz/artifacts/.
# build-fuzz/tests/fuzz/fuzz_T -minimize_crash=1 -runs=10000 INPUT shrinks it;
# once the fault is fixed, the input goes into tests/fuzz/regress/T/, which
# every build replays under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-60}
targets=(decode decode_diff roundtrip install_list cmd2argv)
declare -A max_len=([decode]=70000 [decode_diff]=40000 [roundtrip]=8192 [install_list]=2048
  [cmd2argv]=1024)
# decode_diff compares the reader with libdeflate-gunzip, from the reader's seeds.
declare -A seeds=([decode_diff]=decode)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKOVRA_FUZZ=ON -DKOVRA_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

each=$(( total / ${#targets[@]} ))
[ "$each" -ge 1 ] || each=1
work=$(mktemp -d /tmp/kv-fuzz-run-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/artifacts
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1 ${UBSAN_OPTIONS:-}"
for t in "${targets[@]}"; do
  echo "== fuzz_$t for ${each}s"
  mkdir -p "$work/$t"
  cp tests/fuzz/corpus/"${seeds[$t]:-$t}"/* tests/fuzz/regress/$t/* "$work/$t/" 2>/dev/null || true
  # The engine's messages about broken inputs would flood the log: the
  # target's stderr is closed (libFuzzer and the sanitizers keep theirs).
  if ! build-fuzz/tests/fuzz/fuzz_$t -max_total_time="$each" -max_len="${max_len[$t]}" \
      -timeout=20 -close_fd_mask=2 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/artifacts/$t-" "$work/$t" >"$work/$t.log" 2>&1; then
    tail -n 60 "$work/$t.log"
    echo "fuzz_$t: finding kept in build-fuzz/artifacts/" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+.*DONE' "$work/$t.log" || true
done
