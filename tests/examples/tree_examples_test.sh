#!/bin/sh
# Runs one of the README's commands for converting a tree of files on a small
# tree and checks the result:
#   tree_examples_test.sh TOOL SOURCE_DIR find-exec|xargs|in-place|manual-page
# The commands are taken from README.md, from the ```sh block that follows the
# line "<!-- example: NAME -->", so the README shows what is tested. The tree
# has names with spaces, a newline and a leading dash, nested folders, an empty
# file, a file of more than a megabyte, a file the pattern does not select and
# one file whose conversion fails (its output path is taken by a folder):
# every other file must be converted, nothing else changed, and the failure
# reported. manual-page checks that docs/glyphmill.1 shows the same commands.
set -eu
LC_ALL=C
export LC_ALL

tool=$1
source_dir=$2
example=$3

fail() { echo "FAIL ($example): $*" >&2; exit 1; }
case $tool in
/*) ;;
*) tool=$PWD/$tool ;;
esac
[ -x "$tool" ] || fail "no executable $tool"

# The ```sh block after the marker of the example NAME in FILE.
extract() {
  awk -v marker="<!-- example: $1 -->" '
    $0 == marker { state = 1; next }
    state == 1 { if ($0 != "```sh") exit 1; state = 2; next }
    state == 2 && $0 == "```" { state = 3; exit }
    state == 2 { print }
    END { if (state != 3) exit 1 }' "$2"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$example" = manual-page ]; then
  # Each .EX block of the page, roff escapes undone, in a file of its own.
  awk -v dir="$work" '
    /^\.EX$/ { n++; file = dir "/ex" n; printf "" > file; next }
    /^\.EE$/ { close(file); file = ""; next }
    file != "" {
      gsub(/\\-/, "-"); gsub(/\\\(aq/, "\047"); gsub(/\\\(dq/, "\""); gsub(/\\&/, ""); gsub(/\\e/, "\\")
      print >> file
    }' "$source_dir/docs/glyphmill.1"
  for name in find-exec xargs in-place; do
    extract "$name" "$source_dir/README.md" > "$work/readme" || fail "README.md has no example $name"
    found=no
    for block in "$work"/ex*; do
      if cmp -s "$work/readme" "$block"; then found=yes; fi
    done
    [ "$found" = yes ] || fail "the manual page's EXAMPLES do not show the README's $name command"
  done
  echo "manual page shows the README's commands"
  exit 0
fi

command=$(extract "$example" "$source_dir/README.md") || fail "README.md has no example $example"
[ -n "$command" ] || fail "README.md: example $example is empty"

# glyphmill on the PATH, as the README's commands expect it.
mkdir "$work/bin"
ln -s "$tool" "$work/bin/glyphmill"

# The inputs: the sample (CR LF line ends, Latin-1 letters), a file of 2^15
# samples, an empty one; what -h and -u must make of each.
sample=$source_dir/samples/sample.txt
cp "$sample" "$work/sample"
cp "$source_dir/samples/sample.html.expected" "$work/sample.h"
tr -d '\r' < "$sample" > "$work/sample.u"
for kind in "" .h .u; do
  cp "$work/sample$kind" "$work/big$kind"
  i=0
  while [ $i -lt 15 ]; do
    cat "$work/big$kind" "$work/big$kind" > "$work/double"
    mv "$work/double" "$work/big$kind"
    i=$((i + 1))
  done
  : > "$work/empty$kind"
done
[ "$(wc -c < "$work/big")" -gt 1048576 ] || fail "the big input is too small"

newline='new
line'
# NAME CONTENT pairs, NAME without .txt, below notes/.
set -- a sample "with space/b c" sample -dash sample "deep/er/d" sample "$newline" sample \
  deep/big big empty empty
cd "$work"
mkdir -p "notes/with space" notes/deep/er
files=0
while [ $# -gt 0 ]; do
  cp "$2" "notes/$1.txt"
  files=$((files + 1))
  shift 2
done
cp sample notes/keep.md
cp sample notes/blocked.txt
case $example in
in-place) mkdir notes/blocked.txt.tmp ;;
*) mkdir notes/blocked.html ;;
esac
cp -R notes original
count_files() { find notes -type f -exec printf . \; | wc -c; }
before=$(count_files)

status=0
PATH="$work/bin:$PATH" sh -c "$command" > stdout 2> stderr || status=$?
echo "$example exited with status $status; standard error:"
cat stderr

[ ! -s stdout ] || fail "standard output is not empty"
cmp -s original/keep.md notes/keep.md || fail "notes/keep.md changed"
cmp -s original/blocked.txt notes/blocked.txt || fail "notes/blocked.txt changed"

# Checks every selected file with CHECK NAME CONTENT.
each_file() {
  check=$1
  set -- a sample "with space/b c" sample -dash sample "deep/er/d" sample "$newline" sample \
    deep/big big empty empty
  while [ $# -gt 0 ]; do
    "$check" "$1" "$2"
    shift 2
  done
}

case $example in
find-exec | xargs)
  copy_converted() {
    cmp -s "original/$1.txt" "notes/$1.txt" || fail "notes/$1.txt changed"
    [ -f "notes/$1.html" ] || fail "notes/$1.html was not made"
    cmp -s "$2.h" "notes/$1.html" || fail "notes/$1.html is not the HTML of notes/$1.txt"
  }
  each_file copy_converted
  [ "$(count_files)" -eq $((before + files)) ] || fail "files other than the HTML copies appeared"
  [ ! -e notes/keep.html ] || fail "notes/keep.md was converted"
  [ -d notes/blocked.html ] && [ -z "$(ls -A notes/blocked.html)" ] || fail "notes/blocked.html was touched"
  [ "$(cat stderr)" = "Error opening 'notes/blocked.html' for output." ] ||
    fail "standard error does not hold exactly the one failure"
  if [ "$example" = xargs ]; then expected_status=123; else expected_status=0; fi
  [ $status -eq $expected_status ] || fail "exit status $status, expected $expected_status"
  ;;
in-place)
  converted_in_place() {
    cmp -s "$2.u" "notes/$1.txt" || fail "notes/$1.txt was not converted to Unix line ends"
  }
  each_file converted_in_place
  [ "$(count_files)" -eq "$before" ] || fail "files appeared or vanished"
  [ -z "$(find notes -name '*.tmp' -type f)" ] || fail "a temporary file was left"
  grep -Fqx "Error opening 'notes/blocked.txt.tmp' for output." stderr || fail "glyphmill's failure is not reported"
  grep -Fqx "left unchanged: notes/blocked.txt" stderr || fail "the loop does not name the file it left"
  [ $status -eq 1 ] || fail "exit status $status, expected 1"
  ;;
*) fail "no example $example" ;;
esac
echo "$example: $files files converted, the failing one reported and left alone"
