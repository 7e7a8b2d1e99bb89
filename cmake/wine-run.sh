#!/bin/sh
# Runs a Windows program under wine, headless and without touching the home
# folder: wine-run.sh PREFIX PROGRAM [ARGUMENT...]
set -eu

prefix=$1
shift
case $prefix in
/*) ;;
*) prefix=$PWD/$prefix ;;
esac

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES=winemenubuilder.exe=d
# The C locale gives the prefix the OEM and ANSI code pages 437 and 1252.
export LC_ALL=C
export WINEARCH=win64

# A wine server started by wine itself keeps the caller's output pipes open,
# and ctest would wait for it after every test. One started here, detached and
# kept alive for a while, serves every run; when one is already up for this
# prefix the call just fails.
start_server() {
    wineserver -p30 </dev/null >/dev/null 2>&1 || true
}

# The first run creates the prefix, which takes a while; concurrent first runs
# (ctest -j, test discovery) wait for one another.
marker="$prefix/.glyphmill-ready"
if [ ! -f "$marker" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$marker" ]; then
            start_server
            wine wineboot --init </dev/null >/dev/null 2>&1
            touch "$marker"
        fi
    ) 9>"$prefix.lock"
fi

start_server
exec wine "$@"
