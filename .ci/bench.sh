#!/usr/bin/env bash
# Builds the micro-benchmarks (warnings as errors) and runs each once for a few
# milliseconds, so that a benchmark that no longer builds or crashes fails CI.
# Nothing is timed here: bench/compare.sh measures on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

ensure_packages cmake g++ make libbenchmark-dev

cmake --preset bench
cmake --build --preset bench
build/bench/bench/converters_bench --benchmark_min_time=0.001 > /dev/null
