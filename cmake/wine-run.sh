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
# Wine's own error messages stay on (they are what a run that dies without a
# word of its own leaves behind), except for runs whose standard error is
# compared: the end-to-end tests set GLYPHMILL_WINE_QUIET.
if [ -n "${GLYPHMILL_WINE_QUIET:-}" ]; then
    export WINEDEBUG=-all
else
    export WINEDEBUG=-all,err+all
fi
export WINEDLLOVERRIDES=winemenubuilder.exe=d
export WINEARCH=win64
# C.UTF-8 gives the prefix the OEM and ANSI code pages 437 and 1252, as C
# does, and lets wine carry non-ASCII file names to and from the Linux file
# system (under C it garbles them); GLYPHMILL_WINE_LOCALE names another
# locale (wine takes the pages from LC_ALL).
export LC_ALL="${GLYPHMILL_WINE_LOCALE:-C.UTF-8}"

# Wine maps Windows' shared user data at a fixed address. With the address
# space randomised, something of the process's own now and then lies there
# already, and wine ends before the program starts ("failed to map the shared
# user data: c0000018", status 1): seen once in a fresh-clone CI run. Without
# the randomisation every run has the same layout.
fixed_layout=
if setarch "$(uname -m)" -R true 2>/dev/null; then
    fixed_layout="setarch $(uname -m) -R"
fi

# The wine server, and the services wine starts with it, keep the output of
# the process that started them open as long as they live, and ctest would
# wait for them after every test. So they are started here, detached, and
# serve every run until they are stopped. The first run also creates the
# prefix, which takes a while.
#
# The server must never stop on its own: a server that outlives its clients by
# a few seconds (wineserver -pN) can be found running by the check below and
# be shutting down by the time the program connects. Such a program then
# starts an unprepared server of its own, or is killed with status 1 and no
# output when the dying server ends its processes. So the server is
# persistent (-p), and a watchdog started with it stops it once no program has
# run for a minute, with the check below locked out and no run in progress.
#
# Locks: $prefix.lock is held exclusively by the check (concurrent runs,
# ctest -j and test discovery, wait for one another there) and by the
# watchdog; $prefix.active is held shared by every run from before the check
# until its program has ended, and its time stamp is that of the last run.
# What is started here must not inherit either.
mkdir -p "$(dirname "$prefix")"
exec 8>>"$prefix.active"
flock -s 8
(
    flock 9
    if [ ! -f "$prefix/.glyphmill-ready" ]; then
        # The server starts in the prefix's folder: without the folder, -p
        # fails, and wineboot starts a server of its own that stops a few
        # seconds after its last program, the race described above, on
        # every fresh prefix. (-p fails too when a server already runs, for
        # a prefix whose first run was cut short.)
        mkdir -p "$prefix"
        wineserver -p </dev/null >/dev/null 2>&1 8>&- 9>&- || true
        $fixed_layout wine wineboot --init </dev/null >/dev/null 2>&1 8>&- 9>&- ||
            { echo "wine-run.sh: wineboot --init failed in $prefix" >&2; exit 125; }
        touch "$prefix/.glyphmill-ready"
        started=yes
    elif wineserver -p </dev/null >/dev/null 2>&1 8>&- 9>&-; then
        # A new server (the call fails while one is running): start the services.
        $fixed_layout wine wineboot </dev/null >/dev/null 2>&1 8>&- 9>&- ||
            { echo "wine-run.sh: wineboot failed in $prefix" >&2; exit 125; }
        started=yes
    fi
    if [ "${started:-}" = yes ]; then
        # The watchdog: every 10 seconds, with the check locked out, it stops the
        # server if no run holds $prefix.active and the last ended a minute ago.
        setsid sh -c '
            while sleep 10; do
                exec 9>"$1.lock" 8>>"$1.active"
                flock 9
                if flock -n -x 8 && [ $(( $(date +%s) - $(stat -c %Y "$1.active") )) -ge 60 ]; then
                    wineserver -k 8>&- 9>&- || true
                    wineserver -w 8>&- 9>&- || true
                    exit 0
                fi
                exec 9>&- 8>&-
            done' wine-run-watchdog "$prefix" </dev/null >/dev/null 2>&1 8>&- 9>&- &
    fi
) 9>"$prefix.lock"

status=0
$fixed_layout wine "$@" 8>&- || status=$?
touch "$prefix.active"
if [ "$status" -ne 0 ] && [ -z "${GLYPHMILL_WINE_QUIET:-}" ]; then
    # A Windows exit code is 32 bits; the shell sees its low byte. An
    # exception that ended the program leaves its code there: 0xC0000005
    # (access violation) as 5, 0xC000001D (illegal instruction) as 29.
    case $status in
    5) meaning=", an access violation if it is an exception code" ;;
    29) meaning=", an illegal instruction if it is an exception code" ;;
    *) meaning= ;;
    esac
    server=$(ls -d /tmp/.wine-"$(id -u)"/server-* 2>/dev/null | tr '\n' ' ')
    echo "wine-run.sh: $1 exited with status $status$meaning (prefix $prefix; server directories: ${server:-none})" >&2
fi
exit $status
