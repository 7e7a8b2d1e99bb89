#!/usr/bin/env bash
# Checks a built Debian package of glyphmill:
#   .ci/package-deb-check.sh DEB [EMULATOR [ARGUMENT...]]
# lintian without errors or warnings (the overrides shipped in the package say
# why), the files it holds, its copyright file, changelogs and versioned manual
# page, and its binary, unpacked and run (through EMULATOR when given, for
# example `qemu-aarch64 -L /usr/aarch64-linux-gnu`) on the bundled sample.
# Every option the binary declares must be described in the manual page.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "package check failed: $*" >&2; exit 1; }

[ $# -ge 1 ] || fail "usage: $0 DEB [EMULATOR [ARGUMENT...]]"
deb=$1
shift
emulator=("$@")
[ -f "$deb" ] || fail "no package $deb"

echo "package: lintian $deb"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian"

version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*}
project_version=$(sed -n 's/^project(glyphmill VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$upstream" = "$project_version" ] || fail "package version $version is not the project's $project_version"
dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>= ' || fail "no versioned dependency on libc6"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

echo "package: contents"
contents=$(cd "$root" && find . -type f | sort | tr '\n' ' ')
expected="./usr/bin/glyphmill ./usr/bin/glyphmill-files"
expected+=" ./usr/share/doc/glyphmill/changelog.Debian.gz ./usr/share/doc/glyphmill/changelog.gz"
expected+=" ./usr/share/doc/glyphmill/copyright"
expected+=" ./usr/share/lintian/overrides/glyphmill ./usr/share/man/man1/glyphmill-files.1.gz"
expected+=" ./usr/share/man/man1/glyphmill.1.gz "
[ "$contents" = "$expected" ] || fail "unexpected files in the package: $contents"

doc=$root/usr/share/doc/glyphmill
head -n 1 "$doc/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright file is not in the machine-readable format"
grep -q '^Copyright: 2026 Glyphmill contributors$' "$doc/copyright" || fail "copyright holder"
# The licence text of LICENSE, word for word, in the copyright file.
diff <(sed -n '/^Permission/,$p' LICENSE | tr -s ' \n' '  ') \
     <(sed -n '/^ Permission/,$p' "$doc/copyright" | sed 's/^ \.$//; s/^ //' | tr -s ' \n' '  ') >/dev/null ||
  fail "the copyright file does not hold the text of LICENSE"
zcat "$doc/changelog.Debian.gz" | head -n 1 | grep -q "^glyphmill ($version) " ||
  fail "changelog.Debian.gz does not start with $version"
zcat "$doc/changelog.gz" | cmp -s - docs/CHANGELOG.md || fail "changelog.gz is not docs/CHANGELOG.md"
zcat "$doc/changelog.gz" | grep -q "^## $upstream " || fail "docs/CHANGELOG.md has no entry for $upstream"

for name in glyphmill glyphmill-files; do
  packaged_page=$root/usr/share/man/man1/$name.1.gz
  zcat "$packaged_page" | grep -q "^\.TH ${name^^} 1 [^ ]* \"glyphmill $upstream\" " ||
    fail "the packaged manual page $name.1 does not carry version $upstream"
  # Apart from the version on its .TH line, the page is the source's.
  cmp <(zcat "$packaged_page" | grep -v '^\.TH ') <(grep -v '^\.TH ' "docs/$name.1") ||
    fail "packaged manual page $name.1 differs"
done
packaged_page=$root/usr/share/man/man1/glyphmill.1.gz

echo "package: the installed binary on the sample${emulator:+ (through ${emulator[*]})}"
tool=("${emulator[@]}" "$root/usr/bin/glyphmill")
"${tool[@]}" -h -q -f=samples/sample.txt | cmp - samples/sample.html.expected ||
  fail "glyphmill -h -q -f=samples/sample.txt"
"${tool[@]}" -h -q < samples/sample.txt | cmp - samples/sample.html.expected ||
  fail "glyphmill -h -q < samples/sample.txt"

echo "package: the installed glyphmill-files on a copy of the sample, and its manual page's options"
files_tool=("${emulator[@]}" "$root/usr/bin/glyphmill-files")
cp samples/sample.txt "$root/sample.txt"
"${files_tool[@]}" -h "$root/sample.txt" && cmp "$root/sample.txt" samples/sample.html.expected ||
  fail "glyphmill-files -h sample.txt"
# Every long option of the usage text is described under OPTIONS.
rendered=$(zcat "$root/usr/share/man/man1/glyphmill-files.1.gz" | mandoc -T ascii | sed 's/.\x08//g' |
  sed -n '/^OPTIONS/,/^EXIT/p')
for option in $("${files_tool[@]}" --help | grep -oE -- '--[a-z0-9-]+' | sort -u); do
  printf '%s\n' "$rendered" | grep -q -- "$option" || fail "glyphmill-files $option is not described under OPTIONS"
done

echo "manual page: every option the tool declares"
# The detailed usage lists one option per line: "-f  input filename".
options=$("${tool[@]}" -q -? 2>&1 | sed -n 's/^-\(.\)  .*/\1/p')
[ "$(printf '%s\n' "$options" | wc -l)" -ge 2 ] || fail "could not read the options from the usage text"
# The rendered OPTIONS section, overstriking removed.
rendered=$(zcat "$packaged_page" | mandoc -T ascii | sed 's/.\x08//g' | sed -n '/^OPTIONS/,/^[A-Z]/p')
while read -r option; do
  printf '%s\n' "$rendered" | grep -qE -- "^ +-[$option]( |,|=|\$)" ||
    fail "option -$option is not described under OPTIONS"
done <<< "$options"
echo "package checks passed: $deb"
