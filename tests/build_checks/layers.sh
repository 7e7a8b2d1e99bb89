#!/bin/sh
# Fails on an include that crosses the layers the wrong way: each library may
# include its own headers and those of the layers it may use
# (docs/ARCHITECTURE.md), and the kernels' internal headers
# (convert/kernels/) are for the converters library and its tests alone.
# Within the converters the kernels sit below the converters that call them:
# a file of convert/kernels/ may include a header of convert/ only if nothing
# of that header's component (the header and the source of the same name), nor
# of the components it includes, includes convert/kernels/, so that no include
# runs back up and the two never include each other.
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
# The components of convert/ (outside kernels/) that reach the kernels,
# directly or through another component, found by growing the set until it
# stops growing.
component_includes() {
    sed -n 's/^#include "\(convert\/[a-z0-9_/]*\)\.[a-z]*"$/\1/p' "$1".h "$1".cpp 2>/dev/null || true
}
components=$(find convert -path convert/kernels -prune -o \( -name '*.h' -o -name '*.cpp' \) -print |
    sed 's/\.[a-z]*$//' | sort -u)
above=" "
grown=1
while [ "$grown" -ne 0 ]; do
    grown=0
    for component in $components; do
        case $above in *" $component "*) continue ;; esac
        for included in $(component_includes "$component"); do
            case "$included $above" in
            convert/kernels/* | "$included "*" $included "*)
                above="$above$component "
                grown=1
                break
                ;;
            esac
        done
    done
done
for file in $(find convert/kernels -name '*.h' -o -name '*.cpp'); do
    for included in $(sed -n 's/^#include "\(convert\/[a-z0-9_/]*\)\.h"$/\1/p' "$file"); do
        case $above in
        *" $included "*)
            echo "$file: includes $included.h, a component above the kernels (it reaches convert/kernels/)" >&2
            failures=$((failures + 1))
            ;;
        esac
    done
done
if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "every include keeps to the layers"
