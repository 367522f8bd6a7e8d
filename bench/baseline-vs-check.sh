#!/usr/bin/env bash
# The drift check against a baseline (plain and .gz) against a plain check of
# the same tree: hyperfine's median and range, the drift check's peak memory
# against its target, and the sizes of the baselines.
#
#   bench/baseline-vs-check.sh [BUILD_DIR] [TREE FOLDERS FILES_PER_FOLDER]
#
# By default a tree of 1,000,000 folders without files under $TMPDIR, made
# once. RUNS (default 5) sets the number of timed runs.
set -euo pipefail
build=${1:-build}
tree=${2:-${TMPDIR:-/tmp}/grantwise-bench-baseline}
folders=${3:-1000000}
files=${4:-0}
runs=${RUNS:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
chmod 700 "$out"

"$build/bench/make_bench_tree" "$tree" "$folders" "$files"
check=$(realpath "$build/grantwise-check")
filesOption=()
[ "$files" -gt 0 ] && filesOption=(--files)
items=$((folders + folders * files))
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); tree: $folders folders, $((folders * files)) files"

start=$(date +%s.%N)
"$check" "${filesOption[@]}" --quiet --reports "$out/r" --save-baseline "$out/tree.acl" "$tree" > /dev/null || true
middle=$(date +%s.%N)
"$check" "${filesOption[@]}" --quiet --reports "$out/r" --save-baseline "$out/tree.acl.gz" "$tree" > /dev/null || true
end=$(date +%s.%N)
echo "saving: plain $(echo "$middle - $start" | bc) s, .gz $(echo "$end - $middle" | bc) s"
echo "baseline size: plain $(stat -c %s "$out/tree.acl") bytes, .gz $(stat -c %s "$out/tree.acl.gz") bytes" \
  "($(( $(stat -c %s "$out/tree.acl.gz") / items )) bytes an item)"

names=("plain check" "baseline FILE" "baseline FILE.gz")
commands=(
  "$check ${filesOption[*]} --quiet --reports $out/r $tree > /dev/null"
  "$check ${filesOption[*]} --quiet --reports $out/r --baseline $out/tree.acl $tree > /dev/null"
  "$check ${filesOption[*]} --quiet --reports $out/r --baseline $out/tree.acl.gz $tree > /dev/null"
)
args=()
for i in "${!names[@]}"; do
  args+=(-n "${names[$i]}" "${commands[$i]}")
done
hyperfine --warmup 1 --runs "$runs" --ignore-failure --export-json "$out/warm.json" "${args[@]}" > "$out/hyperfine.txt" 2>&1 || { cat "$out/hyperfine.txt"; exit 2; }
python3 - "$out/warm.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
for r in results:
    print("%-22s %7.3f s (%6.3f-%6.3f)" % (r["command"], r["median"], r["min"], r["max"]))
m = {r["command"]: r["median"] for r in results}
for name in ("baseline FILE", "baseline FILE.gz"):
    print("%-22s %.2fx the plain check (target at most 1.3)" % (name, m[name] / m["plain check"]))
PY
for f in tree.acl tree.acl.gz; do
  peak=$( { /usr/bin/time -f %M "$check" "${filesOption[@]}" --quiet --reports "$out/r" --baseline "$out/$f" "$tree" 2>&1 >/dev/null || true; } | tail -1)
  plain=$( { /usr/bin/time -f %M "$check" "${filesOption[@]}" --quiet --reports "$out/r" "$tree" 2>&1 >/dev/null || true; } | tail -1)
  echo "peak memory with $f: $((peak / 1024)) MB (plain check: $((plain / 1024)) MB);" \
    "target: $(( (32 * 1048576 + 100 * items) / 1048576 )) MB (32 MB + 100 bytes an item)"
done
