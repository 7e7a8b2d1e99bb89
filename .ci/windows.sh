#!/usr/bin/env bash
# The Windows build: glyphmill.exe cross-compiled with mingw-w64 and every test
# run under wine (the end-to-end tests drive glyphmill.exe from Linux).
set -euo pipefail
cd "$(dirname "$0")/.."

printf '\n==== %s\n' "Windows executable (mingw-w64) and its tests under wine"

missing=()
for package in cmake make googletest g++ g++-mingw-w64-x86-64 wine wine64; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  printf '==== installing %s\n' "${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --workflow --preset windows

# The wine server of the test prefix would linger for a minute.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k || true
