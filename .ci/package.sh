#!/usr/bin/env bash
# Builds the Debian package, unpacks it, runs the packaged binary on the bundled
# sample, and checks the manual page: no roff warnings, every option documented.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh

fail() { echo "package check failed: $*" >&2; exit 1; }

# dpkg-dev brings dpkg-shlibdeps; CPack's dependency step also calls file.
ensure_packages cmake g++ make dpkg-dev file groff-base mandoc

page=docs/glyphmill.1
echo "manual page: groff and mandoc lint"
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff: $warnings"
[ -z "$warnings" ] || fail "groff: $warnings"
mandoc -T lint -W style "$page" || fail "mandoc lint"

echo "package: build"
rm -f build/package/glyphmill_*.deb
cmake --workflow --preset package
debs=(build/package/glyphmill_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no computed dependency on libc6"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

echo "package: contents"
contents=$(cd "$root" && find . -type f | sort | tr '\n' ' ')
[ "$contents" = "./usr/bin/glyphmill ./usr/share/man/man1/glyphmill.1.gz " ] ||
  fail "unexpected files in the package: $contents"
zcat "$root/usr/share/man/man1/glyphmill.1.gz" | cmp - "$page" || fail "packaged manual page differs"

echo "package: the installed binary on the sample"
tool=$root/usr/bin/glyphmill
"$tool" -h -q -f=samples/sample.txt | cmp - samples/sample.html.expected ||
  fail "glyphmill -h -q -f=samples/sample.txt"
"$tool" -h -q < samples/sample.txt | cmp - samples/sample.html.expected ||
  fail "glyphmill -h -q < samples/sample.txt"

echo "manual page: every option the tool declares"
# The detailed usage lists one option per line: "-f  input filename".
options=$("$tool" -q -? 2>&1 | sed -n 's/^-\(.\)  .*/\1/p')
[ "$(printf '%s\n' "$options" | wc -l)" -ge 2 ] || fail "could not read the options from the usage text"
# The rendered OPTIONS section, overstriking removed.
rendered=$(mandoc -T ascii "$page" | sed 's/.\x08//g' | sed -n '/^OPTIONS/,/^[A-Z]/p')
while read -r option; do
  printf '%s\n' "$rendered" | grep -qE -- "^ +-[$option]( |,|=|\$)" ||
    fail "option -$option is not described under OPTIONS"
done <<< "$options"
echo "package checks passed: $deb"
