#!/usr/bin/env bash
# The nightly run of four checks in one walk against the same checks run
# one by one, warm cache (and cold with COLD=1: the page cache dropped
# before every run): hyperfine's medians, the combined run's ratio to the
# slowest check alone (target at most 1.3x) and to the four run separately
# (target at most 0.45x).
#
#   bench/several-checks.sh [BUILD_DIR] [TREE FOLDERS FILES_PER_FOLDER]
#
# By default 100,000 folders with 10 files each under $TMPDIR, made once
# (make_bench_tree), with a default ACL here and there so that the
# inheritance check finds something; a baseline is taken before. RUNS
# (default 3) sets the number of timed runs, WARMUP (default 1) the runs
# before them (COLD=1 RUNS=1 WARMUP=0 for one cold run of each).
set -euo pipefail
build=${1:-build}
tree=${2:-${TMPDIR:-/tmp}/grantwise-bench-several}
folders=${3:-100000}
files=${4:-10}
runs=${RUNS:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$build/bench/make_bench_tree" "$tree" "$folders" "$files"
find "$tree" -mindepth 2 -maxdepth 2 -type d | sed -n '3p;7p' | while IFS= read -r d; do
  setfacl -d -m g:staff:rwx "$d"
done
check=$(realpath "$build/grantwise-check")
"$check" --quiet --files --reports "$out/base" --save-baseline "$out/base.acl.gz" "$tree" > /dev/null || true

prepare=()
if [ "${COLD:-0}" = 1 ]; then
  prepare=(--prepare 'sync; echo 3 > /proc/sys/vm/drop_caches')
fi
run() { echo "$check --quiet --files --reports $out/$1 $2 $tree > /dev/null"; }
inheritance="--inheritance"
drift="--baseline $out/base.acl.gz"
who="--who www-data --who group:staff"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); tree: $folders folders, $((folders * files)) files; cold: ${COLD:-0}"
hyperfine "${prepare[@]}" --warmup "${WARMUP:-1}" --runs "$runs" --ignore-failure --export-json "$out/several.json" \
  -n "all four in one walk" "$(run all "$inheritance $drift $who")" \
  -n "inheritance alone" "$(run i "$inheritance")" \
  -n "drift alone" "$(run d "$drift")" \
  -n "two inventories alone" "$(run w "$who")" \
  -n "plain (against the checked folder)" "$(run p "")" \
  > /dev/null 2>&1
python3 - "$out/several.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
for r in results:
    print("%-40s %7.3f s (%6.3f-%6.3f)" % (r["command"], r["median"], r["min"], r["max"]))
all_four = results[0]["median"]
alone = [r["median"] for r in results[1:4]]
separately = sum(alone) + results[4]["median"]
print("ratio to the slowest check alone: %.2fx (target at most 1.3)" % (all_four / max(alone)))
print("ratio to the four run separately: %.2fx (target at most 0.45)" % (all_four / separately))
PY
