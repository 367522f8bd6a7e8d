#!/usr/bin/env bash
# The HTML and CSV reports against the check without them, on a tree of
# FOLDERS folders that all differ from the top and none of which fold into
# another: the median of each command over the rounds and its ratio to the plain check,
# the reports' sizes, and how long headless Chromium's page takes to show
# its places and to filter them (the page keeps both times on itself).
#
#   bench/reports-vs-check.sh [BUILD_DIR] [TREE FOLDERS]
#
# By default 100,000 folders under $TMPDIR, made once. RUNS (default 5) sets
# the number of rounds, each timing every command once.
set -euo pipefail
build=${1:-build}
tree=${2:-${TMPDIR:-/tmp}/grantwise-bench-reports}
folders=${3:-100000}
runs=${RUNS:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
chmod 700 "$out"

if [ ! -e "$tree.differing" ]; then
  "$build/bench/make_bench_tree" "$tree" "$folders" 0
  # Each folder below the top gets a named user of its own.
  find "$tree" -mindepth 1 -type d -printf '%p\n' \
    | awk '{ printf "# file: %s\nuser::rwx\nuser:%d:r-x\ngroup::r-x\nmask::r-x\nother::r-x\n\n", $0, 20000 + NR }' \
    > "$out/restore"
  setfacl --restore="$out/restore"
  touch "$tree.differing"
fi
check=$(realpath "$build/grantwise-check")
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); tree: $(find "$tree" -type d | wc -l) folders"
trap 'echo "load at the end: $(cut -d" " -f1-3 /proc/loadavg)"; rm -rf "$out"' EXIT

names=("check" "check --json" "check --html" "check --csv" "check --html --csv")
commands=(
  "$check --quiet --reports $out/r $tree"
  "$check --json --reports $out/r $tree > /dev/null"
  "$check --quiet --reports $out/r --html $out/r.html $tree"
  "$check --quiet --reports $out/r --csv $out/r.csv $tree"
  "$check --quiet --reports $out/r --html $out/r.html --csv $out/r.csv $tree"
)
args=()
for i in "${!names[@]}"; do
  args+=(-n "${names[$i]}" "${commands[$i]}")
done
# In rounds, as walk-vs-peers.sh times them: each round runs every command
# once, so that other work on a shared machine weighs on all of them alike.
hyperfine --runs 1 --ignore-failure "${args[@]}" > "$out/h.txt" 2>&1 || { cat "$out/h.txt"; exit 2; } # warms the tree
for round in $(seq "$runs"); do
  hyperfine --runs 1 --ignore-failure --export-json "$out/h.$round.json" "${args[@]}" > "$out/h.txt" 2>&1 \
    || { cat "$out/h.txt"; exit 2; }
done
python3 - "$out/h" "$runs" <<'PY'
import json, statistics, sys
rounds = [json.load(open("%s.%d.json" % (sys.argv[1], k)))["results"] for k in range(1, int(sys.argv[2]) + 1)]
results = [{"command": r["command"], "times": [t for round in rounds for t in round[i]["times"]]}
           for i, r in enumerate(rounds[0])]
for r in results:
    r["median"], r["min"], r["max"] = statistics.median(r["times"]), min(r["times"]), max(r["times"])
base = results[0]["median"]
for r in results:
    print("%-22s median %6.3f s (%.3f-%.3f)  %.2fx the check" % (r["command"], r["median"], r["min"], r["max"],
                                                                  r["median"] / base))
PY
echo "HTML report: $(stat -c %s "$out/r.html") bytes (target: under 50 MB); CSV report: $(stat -c %s "$out/r.csv") bytes"

# Chromium opens the page, then filters it: a filter that keeps one place in
# ten, and one that keeps every place.
for fragment in "" "#filter=1%2F" "#filter=%2F"; do
  start=$(date +%s.%N)
  page=$(chromium --headless --no-sandbox --disable-gpu --user-data-dir="$out/chromium" --dump-dom \
    "file://$out/r.html$fragment" 2> /dev/null)
  end=$(date +%s.%N)
  echo "chromium '${fragment:-no filter}': $(echo "$end - $start" | bc) s in all;" \
    "page ready in $(grep -o 'data-ready-ms="[0-9]*"' <<< "$page" | tr -dc 0-9) ms," \
    "filter $(grep -o 'data-filter-ms="[0-9]*"' <<< "$page" | tr -dc 0-9) ms;" \
    "places shown: $(grep -o '<div class="place ' <<< "$page" | wc -l);" \
    "$(grep -o '<span class="count">[^<]*' <<< "$page" | head -1 | sed 's/.*>//')"
done
