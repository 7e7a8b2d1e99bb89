#!/bin/sh
# Prints the structure picture of docs/ARCHITECTURE.md's "convert/" section:
# the includes between the converters' components (a header and the source of
# the same name, in convert/ or a folder of it) and the kernels
# (convert/kernels/, one node), as a mermaid graph, followed by every pair of
# nodes that include each other, which the picture should never show. The
# converter contract (convert.h), which every component includes, is left out.
#   docs/structure.sh [SOURCE_DIR]
set -eu
cd "${1:-$(dirname "$0")/..}"
node() {
    case $1 in
    convert/kernels/*) echo kernels ;;
    *) basename "${1%.*}" ;;
    esac
}
edges=$(for file in $(find convert -name '*.h' -o -name '*.cpp' | sort); do
    from=$(node "$file")
    for included in $(sed -n 's/^#include "\(convert\/[a-z0-9_/]*\.[a-z]*\)"$/\1/p' "$file"); do
        to=$(node "$included")
        [ "$from" = "$to" ] || [ "$to" = convert ] || echo "$from $to"
    done
done | sort -u)
echo '```mermaid'
echo 'graph TD'
echo "$edges" | while read -r from to; do
    echo "  $from --> $to"
done
echo '```'
echo "$edges" | while read -r from to; do
    if [ "$from" \< "$to" ] && echo "$edges" | grep -qx "$to $from"; then
        echo "mutual: $from <-> $to"
    fi
done
