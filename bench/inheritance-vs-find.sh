#!/usr/bin/env bash
# The inheritance check of folders and files against find and getfacl -R on
# the same tree, warm and (as root) cold: hyperfine's median and range, and
# the check's peak memory against its target.
#
#   bench/inheritance-vs-find.sh [BUILD_DIR] [TREE FOLDERS FILES_PER_FOLDER]
#
# By default a tree of 100,000 folders with 10 files each (1,000,000 files)
# under $TMPDIR, made once. RUNS (default 5) sets the number of timed runs;
# COLD=0 leaves the cold runs out.
set -euo pipefail
build=${1:-build}
tree=${2:-${TMPDIR:-/tmp}/grantwise-bench-files}
folders=${3:-100000}
files=${4:-10}
runs=${RUNS:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$build/bench/make_bench_tree" "$tree" "$folders" "$files"
check=$(realpath "$build/grantwise-check")
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); tree: $folders folders, $((folders * files)) files"
names=("grantwise-check --inheritance --files" "find -printf '%m %U %G'" "getfacl -R -p")
commands=(
  "$check --inheritance --files --quiet --reports $out/r $tree > /dev/null"
  "find $tree -printf '%m %U %G\n' > /dev/null"
  "getfacl -R -p $tree > $out/getfacl.txt"
)
compare()
{
  local label=$1
  shift
  local args=()
  for i in "${!names[@]}"; do
    args+=(-n "${names[$i]}" "${commands[$i]}")
  done
  hyperfine "$@" --runs "$runs" --ignore-failure --export-json "$out/$label.json" "${args[@]}" > /dev/null 2>&1
  python3 - "$out/$label.json" "$label" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
for r in results:
    print("%-5s %-40s %7.3f s (%6.3f-%6.3f)" % (sys.argv[2], r["command"], r["median"], r["min"], r["max"]))
m = {r["command"]: r["median"] for r in results}
c = m["grantwise-check --inheritance --files"]
print("%-5s ratio: %.2fx find -printf (target at most 1.0), %.2fx getfacl -R -p (target at most 0.25)"
      % (sys.argv[2], c / m["find -printf '%m %U %G'"], c / m["getfacl -R -p"]))
PY
}
compare warm --warmup 1
if [ "${COLD:-1}" != 0 ] && [ "$(id -u)" = 0 ]; then
  compare cold --prepare 'sync; echo 3 > /proc/sys/vm/drop_caches'
fi
peak=$( { /usr/bin/time -f %M "$check" --inheritance --files --quiet --reports "$out/r" "$tree" 2>&1 >/dev/null || true; } | tail -1)
echo "peak memory: $((peak / 1024)) MB; target: $(( (32 * 1048576 + 80 * folders) / 1048576 )) MB (32 MB + 80 bytes a folder)"
