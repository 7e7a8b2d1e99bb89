#!/usr/bin/env bash
# Builds the micro-benchmarks (warnings as errors) and runs each once for a few
# milliseconds, so that a benchmark that no longer builds or crashes fails CI.
# Nothing is timed here: bench/compare.sh measures on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh

ensure_packages cmake g++ ninja-build libbenchmark-dev

cmake --preset bench
cmake --build --preset bench
build/bench/bench/converters_bench --benchmark_min_time=0.001 > /dev/null
