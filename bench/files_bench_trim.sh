#!/usr/bin/env bash
# Times glyphmill-files against dos2unix and the README's in-place recipe on
# many files, and prints one Markdown table (see docs/BENCHMARKS.md, "Many
# files in place").
#
#   bench/files_bench.sh [--small] [--runs N] [--checks-only] [SCRATCHDIR]
#
# The tree: 10,000 files of 4 KiB and 100 files of 10 MiB, CR LF text (--small:
# 1,000 of 4 KiB and 10 of 1 MiB, for a smoke run). Every in-place run starts
# from a fresh copy of the tree (hyperfine --prepare); the copy is not timed.
# Compared: glyphmill-files -u with one worker and no fsync, with one worker
# per core and no fsync, and as it runs by default (one per core, fsync);
# the README's in-place recipe (glyphmill, five processes per file); dos2unix
# in one process over all the files; and the checks, glyphmill-files --check
# -j 1 against dos2unix -ic, on the tree as made (every file would change: a
# check may stop at a file's first CR) and on the tree converted (none would:
# every byte is read, as in a CI run that passes). --checks-only times the
# checks alone. Builds glyphmill into build/compare if needed.
set -euo pipefail
cd "$(dirname "$0")/.."

small=0
runs=3
checks_only=0
while [ $# -gt 0 ]; do
  case $1 in
  --small) small=1 ;;
  --runs) runs=$2; shift ;;
  --checks-only) checks_only=1 ;;
  *) break ;;
  esac
  shift
done
scratch=${1:-/tmp/glyphmill-files-bench}

for tool in hyperfine dos2unix python3 cmake; do
  command -v "$tool" >/dev/null || { echo "files_bench.sh needs $tool (Debian: apt-get install $tool)" >&2; exit 1; }
done

cmake -S . -B build/compare -DCMAKE_BUILD_TYPE=Release -DGLYPHMILL_BUILD_TESTS=OFF >/dev/null
cmake --build build/compare --target glyphmill glyphmill-files >/dev/null
bin=$PWD/build/compare
files=$bin/files/glyphmill-files
cores=$(nproc)

if [ "$small" = 1 ]; then
  small_files=1000 big_files=10 big_size=$((1 << 20))
else
  small_files=10000 big_files=100 big_size=$((10 << 20))
fi

# The master tree, made once per size: lines of 20 to 80 bytes ending in CR LF.
master=$scratch/master-$small_files-$big_files
if [ ! -d "$master" ]; then
  rm -rf "$master.tmp"
  python3 - "$master.tmp" "$small_files" "$big_files" "$big_size" <<'PY'
import os, random, sys
root, small, big, big_size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(25)
words = [b"line", b"text", b"glyph", b"mill", b"caf\xe9", b"&", b"<tag>", b"50%", b"done"]
def text(size):
    out = bytearray()
    while len(out) < size:
        out += b" ".join(random.choice(words) for _ in range(random.randint(3, 12))) + b"\r\n"
    return bytes(out[:size - 2]) + b"\r\n"
block = text(64 << 10)
for i in range(small):
    folder = os.path.join(root, "small", "%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(text(4096))
os.makedirs(os.path.join(root, "big"), exist_ok=True)
for i in range(big):
    with open(os.path.join(root, "big", "b%03d.txt" % i), "wb") as f:
        f.write(block * (big_size // len(block)))
PY
  mv "$master.tmp" "$master"
fi
work=$scratch/work
prepare="rm -rf '$work' && cp -a '$master' '$work' && sync"

# The README's in-place recipe, as the README has it, on the work tree.
recipe=$(awk '/<!-- example: in-place -->/ { on = 1; next } on && /^```sh/ { body = 1; next }
  body && /^```/ { exit } body { print }' README.md | sed "s|find notes|find '$work'|")
[ -n "$recipe" ] || { echo "no in-place recipe in README.md" >&2; exit 1; }
printf '%s\n' "$recipe" | sed "s|$work|WORK|" > "$scratch/recipe.sh.shown"
printf 'PATH=%q:$PATH\n%s\n' "$bin/tool" "$recipe" > "$scratch/recipe.sh"

total=$(du -sh "$master" | cut -f1)
echo "tree: $small_files files of 4 KiB and $big_files of $((big_size >> 20)) MiB ($total), $cores cores, $runs runs" >&2
if [ "$checks_only" = 0 ]; then
hyperfine --runs "$runs" --prepare "$prepare" --export-markdown "$scratch/inplace.md" --style basic \
  -n "glyphmill-files -u -j 1 --no-sync" "$files -u -j 1 --no-sync -r '$work'" \
  -n "glyphmill-files -u -j $cores --no-sync" "$files -u -j $cores --no-sync -r '$work'" \
  -n "glyphmill-files -u (default: -j $cores, fsync)" "$files -u -r '$work'"
fi
# The checks read the unconverted tree, which they leave as it is.
rm -rf "$work" && cp -a "$master" "$work"
checks() {
  hyperfine --runs "$runs" -i --export-markdown "$scratch/$1.md" --style basic \
    -n "glyphmill-files -u --check -j 1 ($2)" "$files -u --check -j 1 -r '$work' >/dev/null" \
    -n "glyphmill-files -u --check -j $cores ($2)" "$files -u --check -j $cores -r '$work' >/dev/null"
}
checks check-crlf "CR LF tree"
"$files" -u --no-sync -r "$work"
sync
checks check-clean "converted tree"
rm -rf "$work"
[ "$checks_only" = 1 ] || cat "$scratch/inplace.md"
cat "$scratch/check-crlf.md" "$scratch/check-clean.md"
