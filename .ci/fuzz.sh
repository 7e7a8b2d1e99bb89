#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer included) and runs each for a bounded time.
# Any crash, sanitizer report or property violation fails the script; the
# input that caused it is left in build/fuzz/artifacts/. Each target reads its
# dictionary fuzz/<area>.dict (entity names, option letters, %XY escapes).
# FUZZ_SECONDS sets the time per target (30 s in CI; 600 for a long run).
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh
ensure_packages cmake make clang-14 libclang-rt-14-dev

build=build/fuzz
seconds=${FUZZ_SECONDS:-30}
CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGLYPHMILL_BUILD_FUZZ=ON -DGLYPHMILL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2
mkdir -p "$build/artifacts"

for area in converters reader lineloop cmdline; do
  # New inputs go to a scratch corpus; the committed seeds and the saved
  # failures (a folder git keeps only once it holds one) are only read.
  scratch=$(mktemp -d)
  echo "fuzz_$area: ${seconds} s"
  if ! "$build/fuzz/fuzz_$area" -max_total_time="$seconds" -max_len=8192 -timeout=30 \
      -dict="fuzz/$area.dict" -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$area-" \
      "$scratch" "fuzz/corpus/$area" $(ls -d "fuzz/regressions/$area" 2>/dev/null) >"$build/$area.log" 2>&1; then
    tail -n 60 "$build/$area.log"
    echo "fuzz_$area failed; the input is in $build/artifacts/"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^stat::new_units_added' "$build/$area.log"
  rm -rf "$scratch"
done
echo "fuzzers: no failures"
