#!/usr/bin/env bash
# Times glyphmill against cat and the peer tools on a generated corpus of about
# 100 MB per file and prints one table (see docs/BENCHMARKS.md).
#
#   bench/compare.sh [SCRATCHDIR [CHART.svg]]   (default /tmp/glyphmill-bench, ~1 GB;
#                                               chart docs/benchmarks.svg)
#
# Builds glyphmill (Release) into build/compare if needed and installs the
# missing peers when run as root on Debian. Takes about 10 minutes; run it on
# a quiet machine, since every figure is a ratio of times measured side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=${1:-/tmp/glyphmill-bench}
chart=${2:-docs/benchmarks.svg}

ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "missing packages (install them as root): ${missing[*]}" >&2
      exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

ensure_packages cmake g++ make python3 hyperfine time dos2unix recode xmlstarlet php-cli perl \
  libhtml-parser-perl

cmake -S . -B build/compare -DCMAKE_BUILD_TYPE=Release -DGLYPHMILL_BUILD_TESTS=OFF > /dev/null
cmake --build build/compare --target glyphmill > /dev/null
glyphmill=build/compare/tool/glyphmill

mkdir -p "$scratch"
echo "corpus in $scratch" >&2
python3 bench/corpus.py "$glyphmill" "$scratch"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(date -u +%F)"
echo
python3 bench/compare.py "$glyphmill" "$scratch" "$chart"
