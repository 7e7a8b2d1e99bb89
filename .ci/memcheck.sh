#!/usr/bin/env bash
# Runs the end-to-end suite with the tool under valgrind memcheck (any memory
# error or leak fails), then measures the tool's peak memory on 1 GiB of text
# with line feeds and on 1 GiB without any, and fails if either is unbounded.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh
ensure_packages cmake make g++ libgtest-dev valgrind time

build=build/memcheck
# With the C++ runtime shared, valgrind has it free its emergency exception
# pool at exit; linked in, the pool would show as memory still reachable.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHMILL_MEMCHECK=ON -DGLYPHMILL_STATIC_CXX_RUNTIME=OFF >/dev/null
cmake --build "$build" -j2 --target glyphmill e2e_tests
logs="$build/tests/memcheck/memcheck-logs"
rm -f "$logs"/*.log
GLYPHMILL_EXE="$PWD/$build/tests/memcheck/glyphmill-memcheck" "$build/tests/e2e_tests" --gtest_brief=1
runs=$(find "$logs" -name '*.log' | wc -l)
if find "$logs" -name '*.log' -size +0 | grep -q .; then
  find "$logs" -name '*.log' -size +0 -exec cat {} +
  echo "valgrind reported errors or leaks"
  exit 1
fi
echo "memcheck: $runs runs of the tool, no errors, no leaks"

# Peak resident memory in KiB of the tool converting the first GiB of the
# text the command makes; the text is made in a pipe, never stored.
peak_kib() {
  local options=$1 maker=$2 report
  report=$(mktemp)
  # The maker dies of SIGPIPE once head has its GiB; only head's status counts.
  bash -c "$maker | head -c 1073741824" |
    /usr/bin/time -f '%M' -o "$report" "$build/tool/glyphmill" $options -q >/dev/null
  cat "$report"
  rm -f "$report"
}
limit_kib=16384
with_lf=$(peak_kib -w "yes 'A line of text & <markup> with 100% \"quotes\"'")
without_lf=$(peak_kib -h- "yes 'a&amp;b%41 x' | tr -d '\n'")
echo "peak memory, 1 GiB with line feeds (-w): ${with_lf} KiB"
echo "peak memory, 1 GiB without a line feed (-h-): ${without_lf} KiB"
if [ "$with_lf" -gt "$limit_kib" ] || [ "$without_lf" -gt "$limit_kib" ]; then
  echo "peak memory above ${limit_kib} KiB"
  exit 1
fi
