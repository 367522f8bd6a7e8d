#!/usr/bin/env bash
# grantwise-check against getfacl -R and find -type d, side by side, on a
# generated 100,000-folder tree with a few differing ACLs.
#
#   bench/check-vs-getfacl.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
tree=${TMPDIR:-/tmp}/grantwise-bench-tree
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The tree (made once by the expansion benchmark), and a few differing ACLs.
"$build/bench/tree_expansion_bench" "$tree" 100000 > /dev/null
find "$tree" -mindepth 3 -maxdepth 3 -type d | sed -n '100p;200p;300p' | while IFS= read -r d; do
  setfacl -m u:12345:rwx "$d"
done

hyperfine --warmup 1 --runs 7 --ignore-failure --export-csv "$out/times.csv" \
  -n grantwise-check "$build/grantwise-check --quiet --reports $out/reports $tree" \
  -n "grantwise-check --jobs 1" "$build/grantwise-check --jobs 1 --quiet --reports $out/reports1 $tree" \
  -n "getfacl -R" "getfacl -R -p $tree > $out/getfacl.txt" \
  -n "find -type d" "find $tree -type d > /dev/null"

awk -F, 'NR > 1 { gsub(/"/, "", $1); mean[$1] = $2 }
  END {
    printf "\nratio grantwise-check / getfacl -R: %.2f (target at most 1.2, aim below 1.0)\n", mean["grantwise-check"] / mean["getfacl -R"]
    printf "ratio grantwise-check --jobs 1 / getfacl -R: %.2f\n", mean["grantwise-check --jobs 1"] / mean["getfacl -R"]
    printf "ratio grantwise-check / find -type d: %.2f\n", mean["grantwise-check"] / mean["find -type d"]
  }' "$out/times.csv"

peak=$( { /usr/bin/time -f %M "$build/grantwise-check" --quiet --reports "$out/reports" "$tree" 2>&1 >/dev/null || true; } | tail -1)
report=$(stat -c %s "$out/reports/acl.txt")
awk -v p="$peak" -v r="$report" 'BEGIN {
  printf "peak memory %.1f MB, full report %.1f MB: %.2f times (target within 3)\n", p / 1024, r / 1048576, p * 1024 / r }'
