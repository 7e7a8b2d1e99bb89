#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it with the
# house style in .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh
ensure_packages clang-format

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "format check failed: run  git ls-files '*.cpp' '*.h' | xargs clang-format -i" >&2
  exit 1
fi
echo "format check passed: ${#files[@]} files"
