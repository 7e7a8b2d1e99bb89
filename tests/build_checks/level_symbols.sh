#!/bin/sh
# Fails when an object compiled for an instruction-set level defines a global
# symbol outside that level's namespace (isa_<level>), its table
# (kernels::k<Level>) aside: the linker keeps one copy of a weak symbol for
# every caller, and a copy compiled for AVX-512 would then run on processors
# without it. Inline std:: templates are the usual culprits; a Debug build
# emits them all. What a sanitizer adds (__odr_asan.*) is no code.
# The tests' per-level objects (isa_level_checks_<level>) are held to the same.
#   level_symbols.sh NM OBJECT...   (objects other than kernels_<level>.* and
#   isa_level_checks_<level>.* are ignored)
set -eu
nm=$1
shift
checked=0
failed=0
for object in "$@"; do
    level=$(basename "$object" | sed -n 's/^\(kernels\|isa_level_checks\)_\([a-z0-9]*\)\.cpp\.o\(bj\)\{0,1\}$/\2/p')
    if [ -z "$level" ] || [ "$level" = portable ]; then
        continue
    fi
    checked=$((checked + 1))
    strays=$("$nm" -C --defined-only "$object" |
        awk '$2 ~ /^[A-Zuv]$/ { $1 = ""; $2 = ""; print }' |
        grep -v "isa_$level::" | grep -v '^ *kernels::k[A-Za-z0-9]*$' |
        grep -v '^ *__\(odr_asan\|asan\|sancov\|llvm\)' || true)
    if [ -n "$strays" ]; then
        echo "$object defines symbols outside namespace isa_$level:" >&2
        echo "$strays" >&2
        failed=1
    fi
done
if [ "$failed" -ne 0 ]; then
    exit 1
fi
if [ "$checked" -eq 0 ]; then
    echo "no level object among: $*" >&2
    exit 1
fi
echo "$checked level objects keep their symbols in their namespaces"
