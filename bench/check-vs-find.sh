#!/usr/bin/env bash
# The whole check (all three reports written) against find -type d and
# getfacl -R, side by side on the same trees, warm cache: wall time (median
# and range of the runs), user and system time, peak memory and system calls
# per folder (strace -c -f).
#
#   bench/check-vs-find.sh [BUILD_DIR] [TREE ...]
#
# Without trees, makes a 100,000-folder one (with the expansion benchmark)
# and gives a few of its folders a differing ACL. RUNS (default 5) sets the
# number of timed runs; STRACE=0 leaves the system call count out, and
# STRACE_GETFACL=0 leaves it out for getfacl alone (slow under strace).
set -euo pipefail
build=${1:-build}
shift || true
trees=("$@")
runs=${RUNS:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

if [ ${#trees[@]} -eq 0 ]; then
  tree=${TMPDIR:-/tmp}/grantwise-bench-tree
  "$build/bench/tree_expansion_bench" "$tree" 100000 > /dev/null
  find "$tree" -mindepth 3 -maxdepth 3 -type d | sed -n '100p;200p;300p' | while IFS= read -r d; do
    setfacl -m u:12345:rwx "$d"
  done
  trees=("$tree")
fi

check=$(realpath "$build/grantwise-check")
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for tree in "${trees[@]}"; do
  folders=$(find "$tree" -type d | wc -l)
  echo
  echo "== $tree: $folders folders"
  names=("grantwise-check --jobs 1" "grantwise-check --jobs 2" "find -type d" "getfacl -R")
  commands=(
    "$check --jobs 1 --quiet --reports $out/r1 $tree"
    "$check --jobs 2 --quiet --reports $out/r2 $tree"
    "find $tree -type d"
    "getfacl -R -p $tree"
  )
  outputs=(/dev/null /dev/null /dev/null "$out/getfacl.txt")
  # Side by side in one run: the warm-up warms the cache for all of them.
  args=()
  for i in "${!names[@]}"; do
    args+=(-n "${names[$i]}" "${commands[$i]} > ${outputs[$i]}")
  done
  hyperfine --warmup 1 --runs "$runs" --ignore-failure --export-json "$out/times.json" "${args[@]}" > /dev/null 2>&1
  printf '%-26s %22s %8s %8s %10s %14s\n' command "wall median (range) s" "user s" "sys s" "peak MB" "calls/folder"
  for i in "${!names[@]}"; do
    peak=$( { /usr/bin/time -f %M sh -c "${commands[$i]} > ${outputs[$i]}" 2>&1 >/dev/null || true; } | tail -1)
    calls=-
    if [ "${STRACE:-1}" != 0 ] && { [ "${STRACE_GETFACL:-1}" != 0 ] || [ "${names[$i]}" != "getfacl -R" ]; }; then
      strace -c -f -o "$out/strace.txt" sh -c "exec ${commands[$i]} > ${outputs[$i]}" > /dev/null 2>&1 || true
      # The shell's own start-up calls are a few hundred: nothing per folder.
      calls=$(awk -v f="$folders" '$NF == "total" { printf "%.2f", $4 / f }' "$out/strace.txt")
    fi
    python3 - "$out/times.json" "$i" "$peak" "$calls" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]
print("%-26s %6.3f (%5.3f-%5.3f) %8.3f %8.3f %10.1f %14s" % (
    r["command"], r["median"], r["min"], r["max"], r["user"], r["system"], int(sys.argv[3]) / 1024, sys.argv[4]))
PY
  done
  python3 - "$out/times.json" <<'PY'
import json, sys
m = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
for jobs in ("1", "2"):
    c = m["grantwise-check --jobs " + jobs]
    print("ratio grantwise-check --jobs %s: %.2f of find -type d (target at most 1.0), %.2f of getfacl -R"
          % (jobs, c / m["find -type d"], c / m["getfacl -R"]))
PY
  report=$(stat -c %s "$out/r1/acl.txt")
  echo "full report: $((report / 1048576)) MB; memory target: $(( (32 * 1048576 + 80 * folders) / 1048576 )) MB (32 MB + 80 bytes a folder)"
done
