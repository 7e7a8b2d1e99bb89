#!/usr/bin/env bash
# Writes data/codepages/locales.tsv: every locale Windows knows, with its
# default OEM and ANSI code pages, as wine's copy of Windows' locale data
# gives them (Debian's wine and g++-mingw-w64-x86-64 packages).
#
#   bash convert/gen/extract_locales.sh data/codepages/locales.tsv
set -euo pipefail
out=${1:?usage: extract_locales.sh OUTPUT.tsv}
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

x86_64-w64-mingw32-gcc -O2 -Wall -o "$work/list.exe" "$(dirname "$0")/list_windows_locales.c"
{
  printf 'name\toem\tansi\n'
  WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C wine "$work/list.exe" | tr -d '\r' | LC_ALL=C sort -f
} > "$out.new"
[ "$(wc -l < "$out.new")" -gt 100 ] || { echo "extract_locales.sh: wine listed too few locales" >&2; exit 1; }
mv "$out.new" "$out"
echo "$out: $(($(wc -l < "$out") - 1)) locales"
