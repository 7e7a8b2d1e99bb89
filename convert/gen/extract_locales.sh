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

# Windows knows some locales by further names that it never enumerates
# ("ckb-IQ" for ku-Arab-IQ). They stand in its locale data beside the others;
# every text there shaped like a locale name is a candidate, and the program
# keeps those Windows resolves to another locale.
nls=${WINE_LOCALE_NLS:-/usr/share/wine/nls/locale.nls}
python3 - "$nls" > "$work/candidates" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
texts = (m.group(1).decode("utf-16-le") for m in re.finditer(rb"((?:[\x20-\x7e]\x00){2,24})\x00\x00", data))
print("\n".join(sorted({t for t in texts if re.fullmatch(r"[a-z]{2,3}(-[A-Za-z0-9]{2,8})*", t)})))
PY

x86_64-w64-mingw32-gcc -O2 -Wall -o "$work/list.exe" "$(dirname "$0")/list_windows_locales.c"
{
  printf 'name\toem\tansi\n'
  WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C wine "$work/list.exe" < "$work/candidates" | tr -d '\r' | LC_ALL=C sort -f -u
} > "$out.new"
[ "$(wc -l < "$out.new")" -gt 100 ] || { echo "extract_locales.sh: wine listed too few locales" >&2; exit 1; }
mv "$out.new" "$out"
echo "$out: $(($(wc -l < "$out") - 1)) locales"
