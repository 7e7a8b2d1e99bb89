#!/bin/sh
# Counts the instructions an arm64 glyphmill executes under qemu-aarch64 at
# each level, per byte of input, for the jobs of bench/compare.sh on a small
# corpus: qemu is not a timer, so this compares the portable and neon levels
# by work done, not speed. No TCG plugin is needed: qemu logs each translated
# block (-d in_asm) and each execution of one (-d exec, with chaining off),
# and the script sums the blocks' lengths over their executions.
#   bench/qemu_icount.sh GLYPHMILL_ARM64 [SCRATCHDIR [MEGABYTES]]
# e.g. bench/qemu_icount.sh build/arm64/tool/glyphmill /tmp/glyphmill-icount 3
set -eu
glyphmill=$(realpath "$1")
scratch=${2:-/tmp/glyphmill-icount}
megabytes=${3:-3}
sysroot=${QEMU_LD_PREFIX:-/usr/aarch64-linux-gnu}
here=$(dirname "$0")
mkdir -p "$scratch"
runner="$scratch/glyphmill-qemu"
printf '#!/bin/sh\nexec qemu-aarch64 -L %s %s "$@"\n' "$sysroot" "$glyphmill" > "$runner"
chmod +x "$runner"
python3 "$here/corpus.py" "$runner" "$scratch" "$megabytes" >&2
: > "$scratch/empty"

# count LEVEL OPTION INPUT: instructions executed for the whole run.
count() {
    fifo="$scratch/log.fifo"
    rm -f "$fifo"
    mkfifo "$fifo"
    awk '
    /^IN:/ { block = 1; key = ""; n = 0; next }
    block && /^0x[0-9a-f]+:/ { if (key == "") key = substr($1, 3, length($1) - 3); n++; next }
    block && /^$/ { if (key != "") size[key] = n; block = 0; next }
    /^Trace/ { split($4, f, "/"); pc = f[2]; sub(/^0+/, "", pc); total += size[pc] }
    END { printf "%d\n", total }' "$fifo" &
    GLYPHMILL_SIMD=$1 qemu-aarch64 -L "$sysroot" -d in_asm,exec,nochain -D "$fifo" "$glyphmill" -q "$2" \
        < "$3" > /dev/null
    wait
    rm -f "$fifo"
}

echo "| job | input | MB | portable instructions / byte | neon instructions / byte | portable / neon |"
echo "|---|---|---:|---:|---:|---:|"
for job in "-u prose_crlf.txt" "-w prose_lf.txt" "-m prose_lf.txt" "-a cp437.txt" "-a- latin1.txt" \
    "-h latin1.txt" "-h- latin1.html" "-x latin1.txt" "-x- latin1.xml" "-i latin1.txt" "-i- latin1.uri"; do
    set -- $job
    input="$scratch/$2"
    size=$(wc -c < "$input")
    # The start-up and the exit, measured on empty input, are left out.
    portable=$(($(count portable "$1" "$input") - $(count portable "$1" "$scratch/empty")))
    neon=$(($(count neon "$1" "$input") - $(count neon "$1" "$scratch/empty")))
    awk -v job="$1" -v file="$2" -v size="$size" -v p="$portable" -v n="$neon" 'BEGIN {
        printf "| `%s` | `%s` | %.1f | %.2f | %.2f | %.1fx |\n", job, file, size / 1e6, p / size, n / size, p / n }'
done
