#!/bin/sh
# Fails on an include that crosses the layers the wrong way: each library may
# include its own headers and those of the layers it may use
# (docs/ARCHITECTURE.md), and the kernels' internal headers
# (convert/kernels/) are for the converters library and its tests alone.
#   layers.sh SOURCE_DIR
set -eu
cd "$1"
# layer: the folders it may include from, itself first
allowed() {
    case $1 in
    cmdline) echo "cmdline" ;;
    convert) echo "convert" ;;
    stream) echo "stream convert" ;;
    platform) echo "platform stream convert cmdline" ;;
    tool) echo "tool platform stream convert cmdline" ;;
    files) echo "files platform stream convert cmdline" ;;
    esac
}
failures=0
for layer in cmdline convert stream platform tool files; do
    for file in $(find "$layer" -name '*.h' -o -name '*.cpp'); do
        for included in $(sed -n 's/^#include "\([a-z0-9_]*\)\/.*"$/\1/p' "$file"); do
            case " $(allowed "$layer") " in
            *" $included "*) ;;
            *)
                echo "$file: includes from $included/, which layer $layer may not use" >&2
                failures=$((failures + 1))
                ;;
            esac
        done
    done
done
for file in $(grep -rl '#include "convert/kernels/' --include='*.h' --include='*.cpp' \
    cmdline stream platform tool files bench fuzz 2>/dev/null || true); do
    echo "$file: includes convert/kernels/, internal to the converters library" >&2
    failures=$((failures + 1))
done
if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "every include keeps to the layers"
