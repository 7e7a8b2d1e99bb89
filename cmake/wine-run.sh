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
export WINEARCH=win64
# The C locale gives the prefix the OEM and ANSI code pages 437 and 1252.
export LC_ALL=C

# The wine server, and the services wine starts with it, keep the output of
# the process that started them open as long as they live, and ctest would
# wait for them after every test. So they are started here, detached, kept for
# a minute after the last program ends, and serve every run until then. The
# first run also creates the prefix, which takes a while. Concurrent runs
# (ctest -j, test discovery) wait for one another here; what is started
# here must not inherit the lock.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.glyphmill-ready" ]; then
        wineserver -p60 </dev/null >/dev/null 2>&1 9>&- || true
        wine wineboot --init </dev/null >/dev/null 2>&1 9>&-
        touch "$prefix/.glyphmill-ready"
    elif wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
        # A new server (the call fails while one is running): start the services.
        wine wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
) 9>"$prefix.lock"

exec wine "$@"
