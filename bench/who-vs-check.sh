#!/usr/bin/env bash
# grantwise-check --who against the plain check of the same tree, warm cache:
# hyperfine's median and range, the ratio against its target (at most 1.2x),
# and both runs' peak memory.
#
#   bench/who-vs-check.sh [BUILD_DIR] [TREE FOLDERS FILES_PER_FOLDER]
#
# By default a tree of 1,000,000 folders without files under $TMPDIR, made
# once (make_bench_tree), with a few folders given ACLs of their own. WHO
# (default nobody) is the user asked about; RUNS (default 5) sets the number
# of timed runs. With files, both runs check them (--files).
set -euo pipefail
build=${1:-build}
tree=${2:-${TMPDIR:-/tmp}/grantwise-bench-who}
folders=${3:-1000000}
files=${4:-0}
who=${WHO:-nobody}
runs=${RUNS:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$build/bench/make_bench_tree" "$tree" "$folders" "$files"
# Rights that change here and there: a named entry, a closed folder, a sticky one.
find "$tree" -mindepth 2 -maxdepth 2 -type d | sed -n '3p;7p;11p' | while IFS= read -r d; do
  setfacl -m "u:$who:rwx" "$d"
done
find "$tree" -mindepth 2 -maxdepth 2 -type d | sed -n '5p' | while IFS= read -r d; do chmod 0700 "$d"; done
find "$tree" -mindepth 2 -maxdepth 2 -type d | sed -n '9p' | while IFS= read -r d; do chmod 1777 "$d"; done

check=$(realpath "$build/grantwise-check")
extra=()
[ "$files" -gt 0 ] && extra=(--files)
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); tree: $folders folders, $((folders * files)) files; --who $who"
hyperfine --warmup 1 --runs "$runs" --ignore-failure --export-json "$out/who.json" \
  -n "grantwise-check" "$check ${extra[*]} --quiet --reports $out/plain $tree > /dev/null" \
  -n "grantwise-check --who $who" "$check ${extra[*]} --who $who --quiet --reports $out/who $tree > /dev/null" \
  > /dev/null 2>&1
python3 - "$out/who.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
for r in results:
    print("%-40s %7.3f s (%6.3f-%6.3f)" % (r["command"], r["median"], r["min"], r["max"]))
plain, who = results[0]["median"], results[1]["median"]
print("ratio: %.2fx the plain check (target at most 1.2)" % (who / plain))
PY
for run in plain who; do
  args=("${extra[@]}" --quiet --reports "$out/$run" "$tree")
  [ "$run" = who ] && args=(--who "$who" "${args[@]}")
  peak=$( { /usr/bin/time -f %M "$check" "${args[@]}" 2>&1 >/dev/null || true; } | tail -1)
  echo "peak memory, $run: $((peak / 1024)) MB"
done
wc -l < "$out/who/acl_who.txt" | xargs echo "acl_who.txt lines:"
