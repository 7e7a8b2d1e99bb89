#!/bin/sh
# Runs one of the README's commands for many files, huge files and progress
# and checks the result:
#   tree_examples_test.sh TOOL SOURCE_DIR EXAMPLE
# The commands are taken from README.md, from the ```sh block that follows the
# line "<!-- example: NAME -->", so the README shows what is tested.
#
# find-exec, xargs, parallel and in-place run on a small tree with names with
# spaces, a newline and a leading dash, nested folders, an empty file, a file
# of more than a megabyte, a file the pattern does not select, a symbolic link
# and one file whose conversion fails: every other file must be converted,
# nothing else changed, and the failure reported. in-place also finds a
# user's own notes/a.txt.tmp, which it must leave alone, an executable script
# whose mode (and, run by root, owner and group) it must keep, and a hard link
# that keeps the old bytes; its failing file fails while writing (a file-size
# limit of one block for that one run).
#
# pipepart runs the one-huge-file command for every conversion, in small
# blocks, on a file of every byte but Ctrl-Z, entities, escapes, CR LF pairs,
# lone CRs and a line longer than a block: the split output must be the whole
# run's. ctrl-z-check runs the README's check for Ctrl-Z, and
# in-place-ctrl-z-check the one for a tree. sshlogin runs the
# several-hosts command with the hosts reached through a stand-in for ssh that
# runs the command on this machine in a home of its own, so that the files
# really go out and come back through rsync (skipped, status 77, without
# rsync). pv-file and pv-pipe run the progress commands. manual-page checks
# that docs/glyphmill.1 shows every one of these commands, and
# docs/glyphmill-files.1 glyphmill-files' CI commands.
#
# files-git (tree_examples_test.sh TOOL SOURCE_DIR files-git FILES_TOOL) runs
# glyphmill-files' CI commands (files-check, files-git-check, files-convert)
# in a real git repository with CR LF and LF text, a PNG, a binary holding a
# CR and a NUL but no Ctrl-Z, UTF-16 text, a symbolic link and a file with
# text after a Ctrl-Z: the checks name exactly the CR LF text and the Ctrl-Z
# file, the conversion leaves every other byte and .git as they were (git
# fsck passes), and the check then fails for the Ctrl-Z file alone and passes
# once it is gone.
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

files_examples="files-check files-git-check files-convert"
all_examples="find-exec xargs parallel in-place in-place-ctrl-z-check pipepart ctrl-z-check sshlogin pv-file pv-pipe"

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
  for name in $all_examples; do
    extract "$name" "$source_dir/README.md" > "$work/readme" || fail "README.md has no example $name"
    found=no
    for block in "$work"/ex*; do
      if cmp -s "$work/readme" "$block"; then found=yes; fi
    done
    [ "$found" = yes ] || fail "the manual page's EXAMPLES do not show the README's $name command"
  done
  rm -f "$work"/ex*
  awk -v dir="$work" '
    /^\.EX$/ { n++; file = dir "/ex" n; printf "" > file; next }
    /^\.EE$/ { close(file); file = ""; next }
    file != "" {
      gsub(/\\-/, "-"); gsub(/\\\(aq/, "\047"); gsub(/\\\(dq/, "\""); gsub(/\\&/, ""); gsub(/\\e/, "\\")
      print >> file
    }' "$source_dir/docs/glyphmill-files.1"
  for name in $files_examples; do
    extract "$name" "$source_dir/README.md" > "$work/readme" || fail "README.md has no example $name"
    found=no
    for block in "$work"/ex*; do
      if cmp -s "$work/readme" "$block"; then found=yes; fi
    done
    [ "$found" = yes ] || fail "glyphmill-files' manual page does not show the README's $name command"
  done
  echo "manual pages show the README's commands"
  exit 0
fi

if [ "$example" = files-git ]; then
  files_tool=${4:?files-git needs the glyphmill-files to run}
  case $files_tool in /*) ;; *) files_tool=$PWD/$files_tool ;; esac
  command -v git > /dev/null || fail "git is not installed"
  mkdir "$work/bin" "$work/repo"
  ln -s "$files_tool" "$work/bin/glyphmill-files"
  PATH="$work/bin:$PATH"
  HOME=$work
  export PATH HOME
  for name in $files_examples; do
    extract "$name" "$source_dir/README.md" > "$work/$name" || fail "README.md has no example $name"
  done
  cd "$work/repo"
  git init -q .
  git config user.email ci@example.org
  git config user.name CI
  printf 'one\r\ntwo\r\n' > dos.txt
  printf 'one\ntwo\n' > unix.txt
  printf '\211PNG\r\n\032\n\000\000\000\rIHDR\000\000\000\001\r\n' > logo.png
  printf 'a\r\nb\000c\r\n' > data.bin
  printf '\377\376a\000\r\000\n\000' > utf16.txt
  printf 'a\r\n\032tail\r\n' > ctrlz.txt
  ln -s dos.txt link.txt
  git add -A
  git commit -q -m fixture
  cp -Rp . "$work/before"
  # Runs the example NAME: its status in $status, its output in out and err.
  run() {
    status=0
    sh "$work/$1" > "$work/out" 2> "$work/err" || status=$?
  }
  refusals() { grep -v '^glyphmill-files: skipped ' "$work/err" || true; }
  ctrlz_line="glyphmill-files: not converted 'ctrlz.txt': text after a Ctrl-Z (0x1A) would be lost (--drop-after-ctrl-z drops it)."
  for check in files-check files-git-check; do
    prefix=./
    [ $check = files-check ] || prefix=
    run $check
    [ $status -eq 1 ] || fail "$check exits $status on the fresh repository: $(cat "$work/err")"
    [ "$(cat "$work/out")" = "${prefix}dos.txt" ] || fail "$check lists: $(cat "$work/out")"
    [ "$(refusals)" = "$(printf '%s\n' "$ctrlz_line" | sed "s|'ctrlz|'${prefix}ctrlz|")" ] ||
      fail "$check refuses: $(refusals)"
  done
  run files-convert
  [ $status -eq 1 ] || fail "the conversion exits $status: $(cat "$work/err")"
  [ "$(refusals)" = "$(printf '%s\n' "$ctrlz_line" | sed "s|'ctrlz|'./ctrlz|")" ] || fail "the conversion refuses: $(refusals)"
  [ "$(cat dos.txt)" = "$(printf 'one\ntwo\n')" ] || fail "dos.txt was not converted"
  for name in unix.txt logo.png data.bin utf16.txt ctrlz.txt; do
    cmp -s "$work/before/$name" "$name" || fail "$name changed"
  done
  [ "$(readlink link.txt)" = dos.txt ] || fail "link.txt is no longer the link"
  diff -r "$work/before/.git" .git > /dev/null || fail ".git changed"
  git fsck --strict --no-progress > "$work/fsck" 2>&1 || fail "git fsck fails after the conversion: $(cat "$work/fsck")"
  run files-check
  [ $status -eq 1 ] && [ ! -s "$work/out" ] && [ "$(refusals)" = "$(printf '%s\n' "$ctrlz_line" | sed "s|'ctrlz|'./ctrlz|")" ] ||
    fail "the check after the conversion exits $status, lists $(cat "$work/out"), refuses $(refusals)"
  rm ctrlz.txt
  run files-check
  [ $status -eq 0 ] && [ ! -s "$work/out" ] || fail "the check exits $status and lists $(cat "$work/out") once the Ctrl-Z file is gone"
  echo "files-git: checks name the CR LF text and the Ctrl-Z file; the conversion leaves binaries, UTF-16 and .git; git fsck passes"
  exit 0
fi

command=$(extract "$example" "$source_dir/README.md") || fail "README.md has no example $example"
[ -n "$command" ] || fail "README.md: example $example is empty"

# glyphmill on the PATH, as the README's commands expect it.
mkdir "$work/bin"
ln -s "$tool" "$work/bin/glyphmill"
PATH="$work/bin:$PATH"
export PATH

case $example in
parallel | pipepart | ctrl-z-check | sshlogin) command -v parallel > /dev/null || fail "GNU parallel is not installed" ;;
pv-*) command -v pv > /dev/null || fail "pv is not installed" ;;
esac

# A glyphmill whose run on notes/blocked.txt fails while writing: a file-size
# limit of one block (512 or 1024 bytes) makes the write that would pass it
# fail with EFBIG (SIGXFSZ ignored), root or not; the message still fits. A
# coverage build's counters would meet the same limit, so that run writes them
# into the scratch folder (GCOV_PREFIX), its messages aside (GCOV_ERROR_FILE),
# leaving the build's counters whole and standard error the tool's own.
failing_tool() {
  rm "$work/bin/glyphmill"
  cat > "$work/bin/glyphmill" <<EOF
#!/bin/sh
for argument do
  if [ "\$argument" = -f=notes/blocked.txt ]; then
    ulimit -f 1; trap '' XFSZ
    GCOV_PREFIX='$work/gcov' GCOV_ERROR_FILE='$work/gcov-errors'; export GCOV_PREFIX GCOV_ERROR_FILE
  fi
done
exec '$tool' "\$@"
EOF
  chmod +x "$work/bin/glyphmill"
}

cd "$work"

# A home of the test's own: GNU parallel keeps its state and reads its
# configuration there (and warns when HOME is unset), so neither the user's
# ~/.parallel nor a runner without HOME changes what the commands do.
mkdir home
HOME=$work/home
export HOME
unset PARALLEL

# big.log for the huge-file commands: every byte but Ctrl-Z and LF on one
# line, the entities (known, unknown, numeric, upper case, cut short), escapes
# (valid, malformed, double), CR LF, lone CRs, NUL, an empty line, a line of
# 100 000 bytes (longer than a block), 16 times over, then a last line
# without LF.
make_big_log() {
  {
    i=1
    while [ $i -le 255 ]; do
      [ $i -eq 26 ] || [ $i -eq 10 ] || printf "\\$(printf %o $i)"
      i=$((i + 1))
    done
    printf '\r\n'
    printf 'Caf\351 cr\350me & "fish" <chips> it\047s a/b\r\n'
    printf '&amp;&lt;&gt;&quot;&apos;&eacute;&Eacute;&frasl;&nbsp;&#233;&AMP;&eacute &yuml;\r\n'
    printf '%%41%%4a%%zz%%%%41%%2541 100%% a+b=c %%e9%%\n'
    printf 'lone\rCR\r\r\n\n\r'
    printf 'nul\000byte\n'
  } > piece
  head -c 100000 /dev/zero | tr '\0' 'x' >> piece
  printf '\n' >> piece
  i=0
  while [ $i -lt 4 ]; do
    cat piece piece > double
    mv double piece
    i=$((i + 1))
  done
  { cat piece; printf 'last line &amp; %%41 without LF\r'; } > big.log
  rm piece
}

case $example in
in-place-ctrl-z-check)
  mkdir -p notes/sub
  printf 'clean\r\n' > notes/clean.txt
  printf 'last\r\n\032' > 'notes/sub/dos eof.txt'
  printf 'zz\r\n\032tail\r\n' > notes/sub/lost.txt
  printf 'x\032y\n' > notes/not-selected.md
  found=$(sh -c "$command") && fail "the check exits 0 on a tree with Ctrl-Z"
  [ "$(printf '%s\n' "$found" | sort)" = "$(printf 'notes/sub/dos eof.txt\nnotes/sub/lost.txt')" ] ||
    fail "the check lists: $found"
  rm notes/sub/*.txt
  found=$(sh -c "$command") || fail "the check fails on a tree without Ctrl-Z"
  [ -z "$found" ] || fail "the check lists $found on a tree without Ctrl-Z"
  if [ "$(id -u)" -ne 0 ]; then
    chmod 000 notes/clean.txt
    sh -c "$command" 2> /dev/null && fail "the check exits 0 on a file it cannot read"
  fi
  echo "the check names the files with a Ctrl-Z and exits 0 only when there are none"
  exit 0
  ;;
pipepart)
  make_big_log
  [ "$(wc -c < big.log)" -gt 1000000 ] || fail "big.log is too small"
  # The README's block size suits gigabytes; 64k splits this file into about
  # 25 blocks, each shorter than its lines of 100 000 bytes.
  split=$(printf '%s\n' "$command" | sed 's/--block 64M/--block 64k/')
  [ "$split" != "$command" ] || fail "the command has no --block 64M to shrink"
  case $split in *" -q -u > big.unix.log") ;; *) fail "the command does not end with -q -u > big.unix.log" ;; esac
  for conversion in -u -w -m -u- -w- -m- -h -h- -x -x- -i -i- -a -a-; do
    run=$(printf '%s\n' "$split" | sed "s/ -q -u > / -q $conversion > /")
    glyphmill -q "$conversion" -f=big.log > whole || fail "glyphmill $conversion on the whole file failed"
    rm -f big.unix.log
    sh -c "$run" || fail "the split run of $conversion failed"
    cmp -s whole big.unix.log || fail "split and whole output differ for $conversion"
    echo "$conversion: the split output is the whole run's ($(wc -c < whole) bytes)"
  done
  exit 0
  ;;
ctrl-z-check)
  make_big_log
  found=$(sh -c "$command") || fail "the check fails on a file without Ctrl-Z"
  [ "$found" = 0 ] || fail "the check does not print 0 for a file without Ctrl-Z"
  { head -c 500000 big.log; printf '\032'; tail -c +500001 big.log; } > with-ctrl-z
  mv with-ctrl-z big.log
  found=$(sh -c "$command") && fail "the check exits 0 on a file with a Ctrl-Z"
  [ "$found" = 1 ] || fail "the check does not print 1 for a file with one Ctrl-Z"
  # Why the check matters: the whole run stops at the Ctrl-Z, the split one
  # only ends that block.
  glyphmill -q -u -f=big.log > whole
  parallel --pipepart -a big.log --block 16k -k glyphmill -q -u > split
  ! cmp -s whole split || fail "a Ctrl-Z did not change the split run: the README's limit is wrong"
  echo "the check prints 0, then 1 with a Ctrl-Z, and then split and whole runs differ"
  exit 0
  ;;
pv-file | pv-pipe)
  make_big_log
  gzip -c big.log > big.log.gz
  glyphmill -q -u -f=big.log > expected
  status=0
  sh -c "$command" 2> stderr || status=$?
  [ $status -eq 0 ] || fail "exit status $status: $(cat stderr)"
  cmp -s expected big.unix.log || fail "big.unix.log is not the conversion of big.log"
  echo "$example: big.log converted through pv"
  exit 0
  ;;
sshlogin)
  if ! command -v rsync > /dev/null; then
    echo "SKIP: rsync is not installed; GNU parallel sends and returns files with it"
    exit 77
  fi
  # ssh to this machine, with its home in remote/: options dropped, the host
  # and a "--" skipped, the words joined and run by the shell, as ssh does.
  # SHELL is set as sshd sets it (the login shell): GNU parallel's remote
  # wrapper runs the job with $SHELL, and without it runs nothing and still
  # exits 0 (as under a CI runner that starts jobs with no SHELL).
  mkdir remote
  cat > bin/fake-ssh <<EOF
#!/bin/sh
while [ \$# -gt 0 ]; do
  case \$1 in
  -[bcDEeFIiJLlmOoPpQRSWw]) shift 2 ;;
  -*) shift ;;
  *) break ;;
  esac
done
shift
[ "\${1-}" != -- ] || shift
echo "\$*" >> '$work/ssh.log'
cd '$work/remote' && HOME='$work/remote' SHELL=/bin/sh exec sh -c "\$*"
EOF
  chmod +x bin/fake-ssh
  echo "the hosts are this machine, reached through a stand-in for ssh (bin/fake-ssh)"
  newline='new
line'
  mkdir -p "notes/with space"
  for name in a "with space/b c" -dash "$newline"; do
    cp "$source_dir/samples/sample.txt" "notes/$name.txt"
  done
  printf 'x&y\n' > notes/c.txt
  make_big_log
  mv big.log notes/blocked.txt
  cp -R notes original
  failing_tool
  status=0
  PARALLEL="--ssh $work/bin/fake-ssh" sh -c "$command" > stdout 2> stderr || status=$?
  echo "$example exited with status $status; standard error:"
  cat stderr
  grep -q '^rsync ' ssh.log || fail "no file was sent through ssh"
  for name in a "with space/b c" -dash "$newline"; do
    cmp -s "$source_dir/samples/sample.html.expected" "notes/$name.html" ||
      fail "notes/$name.html is not the HTML of notes/$name.txt"
    cmp -s "original/$name.txt" "notes/$name.txt" || fail "notes/$name.txt changed"
  done
  [ "$(cat notes/c.html)" = 'x&amp;y' ] || fail "notes/c.html is wrong"
  cmp -s original/c.txt notes/c.txt || fail "notes/c.txt changed"
  cmp -s original/blocked.txt notes/blocked.txt || fail "notes/blocked.txt changed"
  [ -z "$(find remote -mindepth 1)" ] || fail "files or folders were left on the hosts: $(find remote -mindepth 1)"
  grep -q "^Error writing .*File too large\.\$" stderr || fail "the failure on the host is not reported"
  [ $status -eq 1 ] || fail "exit status $status, expected 1 (one failed run)"
  echo "$example: files sent, converted, returned and cleaned up; the failure reported"
  exit 0
  ;;
esac

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
mkdir -p "notes/with space" notes/deep/er
files=0
while [ $# -gt 0 ]; do
  cp "$2" "notes/$1.txt"
  files=$((files + 1))
  shift 2
done
cp sample notes/keep.md
cp sample notes/blocked.txt
# A symbolic link is no file to find -type f: it is left as it is.
ln -s a.txt notes/link.txt
case $example in
in-place)
  failing_tool
  cp big notes/blocked.txt
  printf 'the user\047s own\n' > notes/a.txt.tmp
  # A script (CR LF line ends) with a mode, owner and group of its own.
  printf '#!/bin/sh\r\necho hi\r\n' > notes/script.txt
  chmod 750 notes/script.txt
  if [ "$(id -u)" -eq 0 ]; then chown 4321:8765 notes/script.txt; fi
  script_owner=$(ls -ln notes/script.txt | awk '{ print $3 ":" $4 }')
  # Another name of notes/a.txt, outside the tree.
  ln notes/a.txt hard-link
  ;;
*) mkdir notes/blocked.html ;;
esac
cp -R notes original
count_files() { find notes -type f -exec printf . \; | wc -c; }
before=$(count_files)

status=0
sh -c "$command" > stdout 2> stderr || status=$?
echo "$example exited with status $status; standard error:"
cat stderr

[ ! -s stdout ] || fail "standard output is not empty"
cmp -s original/keep.md notes/keep.md || fail "notes/keep.md changed"
cmp -s original/blocked.txt notes/blocked.txt || fail "notes/blocked.txt changed"
[ -L notes/link.txt ] && [ "$(readlink notes/link.txt)" = a.txt ] || fail "notes/link.txt is no longer the link"

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
find-exec | xargs | parallel)
  copy_converted() {
    cmp -s "original/$1.txt" "notes/$1.txt" || fail "notes/$1.txt changed"
    [ -f "notes/$1.html" ] || fail "notes/$1.html was not made"
    cmp -s "$2.h" "notes/$1.html" || fail "notes/$1.html is not the HTML of notes/$1.txt"
  }
  each_file copy_converted
  [ "$(count_files)" -eq $((before + files)) ] || fail "files other than the HTML copies appeared"
  [ ! -e notes/keep.html ] || fail "notes/keep.md was converted"
  [ ! -e notes/link.html ] || fail "notes/link.txt was converted"
  [ -d notes/blocked.html ] && [ -z "$(ls -A notes/blocked.html)" ] || fail "notes/blocked.html was touched"
  [ "$(cat stderr)" = "Error opening 'notes/blocked.html' for output." ] ||
    fail "standard error does not hold exactly the one failure"
  case $example in
  xargs) expected_status=123 ;;
  parallel) expected_status=1 ;; # the number of runs that failed
  *) expected_status=0 ;;
  esac
  [ $status -eq $expected_status ] || fail "exit status $status, expected $expected_status"
  ;;
in-place)
  converted_in_place() {
    cmp -s "$2.u" "notes/$1.txt" || fail "notes/$1.txt was not converted to Unix line ends"
  }
  each_file converted_in_place
  [ "$(count_files)" -eq "$before" ] || fail "files appeared or vanished"
  [ -z "$(find notes -name '*.txt.*' ! -name a.txt.tmp)" ] || fail "a temporary file was left"
  cmp -s original/a.txt.tmp notes/a.txt.tmp || fail "the user's notes/a.txt.tmp changed"
  cmp -s original/a.txt hard-link || fail "the hard link outside the tree changed: no new file was renamed in"
  [ "$(printf '#!/bin/sh\necho hi\n')" = "$(cat notes/script.txt)" ] || fail "notes/script.txt was not converted"
  [ "$(ls -ln notes/script.txt | cut -c1-10)" = -rwxr-x--- ] || fail "notes/script.txt lost its mode"
  [ "$(ls -ln notes/script.txt | awk '{ print $3 ":" $4 }')" = "$script_owner" ] ||
    fail "notes/script.txt lost its owner or group"
  grep -q "^Error writing 'notes/blocked\.txt\.[A-Za-z0-9]\{6\}': File too large\.\$" stderr ||
    fail "glyphmill's failure is not reported"
  grep -Fqx "left unchanged: notes/blocked.txt" stderr || fail "the loop does not name the file it left"
  [ "$(wc -l < stderr)" -eq 2 ] || fail "standard error holds more than the failure"
  [ $status -eq 1 ] || fail "exit status $status, expected 1"
  ;;
*) fail "no example $example" ;;
esac
echo "$example: $files files converted, the failing one reported and left alone"
