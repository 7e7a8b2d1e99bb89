#!/usr/bin/env bash
# The Windows build: glyphmill.exe cross-compiled with mingw-w64, every test
# run under wine (the end-to-end tests drive glyphmill.exe from Linux), and the
# zip that ships it: its contents, and glyphmill.exe run from it on the sample.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/lib.sh
step "Windows executable (mingw-w64) and its tests under wine, and the zip"
ensure_packages cmake ninja-build googletest libgtest-dev g++ g++-mingw-w64-x86-64 wine wine64 mandoc unzip file

fail() { echo "Windows zip check failed: $*" >&2; exit 1; }

rm -f build/windows/glyphmill-*-win64.zip
cmake --workflow --preset windows

prefix=$PWD/build/windows/wineprefix
unpack=$(mktemp -d)
# The wine server of the test prefix would linger until its watchdog stops it,
# a minute after the last program ran.
trap 'rm -rf "$unpack"; WINEPREFIX="$prefix" wineserver -k || true' EXIT

step "Windows zip: contents, and glyphmill.exe from it on the sample under wine"
version=$(sed -n 's/^project(glyphmill VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=glyphmill-$version-win64
zip=build/windows/$name.zip
[ -f "$zip" ] || fail "no $zip"
unzip -q "$zip" -d "$unpack"
contents=$(cd "$unpack" && find . -type f | sort | tr '\n' ' ')
expected="./$name/LICENSE.txt ./$name/README.txt ./$name/glyphmill-files.exe ./$name/glyphmill-files.html"
expected+=" ./$name/glyphmill.exe ./$name/glyphmill.html "
[ "$contents" = "$expected" ] || fail "unexpected files in the zip: $contents"
dir=$unpack/$name

file "$dir/glyphmill.exe" | grep -q 'PE32+ executable (console) x86-64' || fail "glyphmill.exe is not a 64-bit console program"
# The text files are the project's, with CR LF line ends for Windows readers.
for pair in README.md=README.txt LICENSE=LICENSE.txt; do
  source=${pair%=*} shipped=$dir/${pair#*=}
  [ "$(grep -c $'\r$' "$shipped")" = "$(wc -l < "$shipped")" ] || fail "${pair#*=}: a line does not end in CR LF"
  sed 's/\r$//' "$shipped" | cmp -s - "$source" || fail "${pair#*=} is not $source"
done
grep -q '<html' "$dir/glyphmill.html" || fail "glyphmill.html is not HTML"
grep -q "glyphmill $version" "$dir/glyphmill.html" || fail "glyphmill.html does not carry version $version"
grep -q 'EXAMPLES' "$dir/glyphmill.html" || fail "glyphmill.html lacks the manual page's sections"

cp samples/sample.txt "$dir/"
wine_run=$PWD/cmake/wine-run.sh
run() { (cd "$dir" && "$wine_run" "$prefix" "$dir/glyphmill.exe" "$@"); }
# A file named by -o is written byte for byte.
run -h -q -f=sample.txt -o=sample.html || fail "glyphmill.exe -h -q -f=sample.txt -o=sample.html"
cmp "$dir/sample.html" samples/sample.html.expected || fail "glyphmill.exe -h -q -o= output differs"
# Standard output is in text mode for -h: each LF arrives as CR LF.
run -h -q -f=sample.txt > "$unpack/stdout.html" || fail "glyphmill.exe -h -q -f=sample.txt"
sed 's/\r$//' "$unpack/stdout.html" | cmp - samples/sample.html.expected || fail "glyphmill.exe -h -q standard output differs"
# glyphmill-files.exe converts a copy of the sample in place.
cp samples/sample.txt "$dir/in-place.txt"
(cd "$dir" && "$wine_run" "$prefix" "$dir/glyphmill-files.exe" -h in-place.txt) || fail "glyphmill-files.exe -h"
cmp "$dir/in-place.txt" samples/sample.html.expected || fail "glyphmill-files.exe -h output differs"
# A name outside the ANSI code page reaches its own file, not a.txt beside it.
cp samples/sample.txt "$dir/ā.txt"
printf 'a\r\n' > "$dir/a.txt"
(cd "$dir" && "$wine_run" "$prefix" "$dir/glyphmill-files.exe" -h "ā.txt") || fail "glyphmill-files.exe -h ā.txt"
cmp "$dir/ā.txt" samples/sample.html.expected || fail "glyphmill-files.exe -h ā.txt output differs"
[ "$(cat "$dir/a.txt")" = $'a\r' ] || fail "glyphmill-files.exe -h ā.txt changed a.txt"
echo "Windows zip checks passed: $zip"
