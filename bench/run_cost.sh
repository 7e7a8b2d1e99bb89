#!/usr/bin/env bash
# The cost of one run on a small file, against cat's, as every find -exec or
# xargs recipe pays it once per file: the minimum of many runs (the least
# disturbed by the rest of the machine) and the median.
#
#   bench/run_cost.sh [GLYPHMILL] [RUNS]
set -euo pipefail
tool=${1:-build/release/tool/glyphmill}
runs=${2:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 1024 /dev/urandom | od -An -tx1 | head -c 1024 > "$work/1k.txt"
hyperfine -N --warmup 100 --runs "$runs" --export-json "$work/runs.json" \
  "cat $work/1k.txt" "$tool -q -u -f=$work/1k.txt" > /dev/null
python3 - "$work/runs.json" <<'PY'
import json, statistics, sys
results = json.load(open(sys.argv[1]))["results"]
base = min(results[0]["times"])
for r in results:
    name = r["command"].split()[0].rsplit("/", 1)[-1]
    print(f"{name:10} min {min(r['times']) * 1e3:.3f} ms  median {statistics.median(r['times']) * 1e3:.3f} ms"
          f"  min / cat's min {min(r['times']) / base:.2f}")
PY
