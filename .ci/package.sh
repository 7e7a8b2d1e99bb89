#!/usr/bin/env bash
# Lints the manual page (no roff warnings), builds the Debian package and checks
# it with .ci/package-deb-check.sh: lintian, contents, the packaged binary on
# the bundled sample, every option documented.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh

fail() { echo "package check failed: $*" >&2; exit 1; }

# dpkg-dev brings dpkg-shlibdeps; CPack's dependency step also calls file.
ensure_packages cmake g++ ninja-build dpkg-dev file groff-base mandoc lintian

echo "manual pages: groff and mandoc lint"
for page in docs/glyphmill.1 docs/glyphmill-files.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff $page: $warnings"
  [ -z "$warnings" ] || fail "groff $page: $warnings"
  mandoc -T lint -W style "$page" || fail "mandoc lint $page"
done

echo "package: build"
rm -f build/package/glyphmill_*.deb
cmake --workflow --preset package
debs=(build/package/glyphmill_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}
bash .ci/package-deb-check.sh "$deb"
