#!/usr/bin/env bash
# The Windows build: glyphmill.exe cross-compiled with mingw-w64 and every test
# run under wine (the end-to-end tests drive glyphmill.exe from Linux).
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh
step "Windows executable (mingw-w64) and its tests under wine"
ensure_packages cmake make googletest g++ g++-mingw-w64-x86-64 wine wine64

cmake --workflow --preset windows

# The wine server of the test prefix would linger until its watchdog stops it,
# a minute after the last program ran.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k || true
