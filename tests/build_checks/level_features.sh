#!/bin/sh
# Fails when the compiler flags of a level turn on an instruction-set feature
# that the level's list (cmake/Levels.cmake) lacks: the processor check reads
# the same list, so such a feature would go unchecked at start.
#   level_features.sh COMPILER LEVEL FEATURE...
set -eu
compiler=$1
level=$2
shift 2
flags=
for feature in "$@"; do
    flags="$flags -m$feature"
done
macros() {
    # shellcheck disable=SC2086
    "$compiler" $1 -dM -E -x c++ /dev/null | sed -n 's/^#define __\([A-Z0-9_]*\)__ 1$/\1/p' | sort
}
# Macros that come with a feature without naming one of their own.
implied() {
    case $1 in
    crc32) echo sse4.2 ;;   # the CRC32 instruction is part of SSE4.2
    xsave) echo avx ;;      # AVX needs the operating system's XSAVE
    *) echo "$1" | tr _ . ;;
    esac
}
base=$(macros '')
missing=
for macro in $(macros "$flags" | grep -vxF "$base"); do
    feature=$(implied "$(echo "$macro" | tr 'A-Z' 'a-z')")
    case " $* " in
    *" $feature "*) ;;
    *) missing="$missing $feature(__${macro}__)" ;;
    esac
done
if [ -n "$missing" ]; then
    echo "level $level: the flags turn on features its list lacks:$missing" >&2
    exit 1
fi
echo "level $level: every feature its flags turn on is in its list: $*"
