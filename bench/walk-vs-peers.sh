#!/usr/bin/env bash
# The walk against other programs that walk a tree, and against the floor
# (bench/floor_walker: the walk's system calls and nothing else), on trees of
# 100,000 and 1,000,000 folders, cold (page cache dropped before each run,
# as root) and warm: the median and range of hyperfine's runs, taken in
# rounds of one run of each command, and the ratios the walk is held to.
#
#   bench/walk-vs-peers.sh [OPTION]... [BUILD_DIR]
#
#   --small          only the 100,000-folder tree (the 1,000,000 one takes long)
#   --large          only the 1,000,000-folder tree
#   --trees DIR      where the trees are made (default /var/tmp); a tree made
#                    by an earlier run is used again
#   --fresh          remove the trees and make them again
#   --files N        empty files in each folder of a new tree (default 2)
#   --jobs N         threads for grantwise-check and the floor (default: the
#                    check's own default, read from its --help)
#   --runs N         timed runs of each command (default 5)
#   --cold-runs N    timed cold runs (default: as --runs)
#   --warm-only      no cold runs; --cold-only: no warm runs
#   --sweep LIST     instead of the comparison: the floor with each thread
#                    count in LIST ("1 2 4 8 16 32 64"), cold and warm
#   --sweep-check    with --sweep: grantwise-check --jobs N beside the floor
#   --results DIR    keep hyperfine's JSON there
#   --table          the walk's own table, on trees of folders only (as
#                    --files 0): grantwise-check, fdfind, bfs, find and the
#                    floor with 2 threads and with the check's, each median
#                    with its range, user and system time, the check's peak
#                    memory, and the ratios, as Markdown rows at the end
#   --realtime       each command at real-time priority (chrt -r 1, as root),
#                    so that other work on a shared machine does not run in
#                    between; all commands alike
#
# Cold runs need root (they write /proc/sys/vm/drop_caches) and trees on a
# disk: on tmpfs, dropping the cache changes nothing, and the script says so.
set -euo pipefail

usage()
{
  sed -n '/^#   bench/,/^# Cold/p' "$0" | sed 's/^# \{0,1\}//' | sed '$d'
}

small=0 large=0 fresh=0 files=2 jobs='' runs=5 cold=1 warm=1 sweep='' sweep_check=0 results='' table=0 realtime=0
cold_runs=''
trees_dir=/var/tmp
build=build
while [ $# -gt 0 ]; do
  case $1 in
    --small) small=1 ;;
    --large) large=1 ;;
    --trees) trees_dir=${2:?--trees needs a folder}; shift ;;
    --fresh) fresh=1 ;;
    --files) files=${2:?--files needs a number}; shift ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    --warm-only) cold=0 ;;
    --cold-only) warm=0 ;;
    --sweep) sweep=${2:?--sweep needs a list of thread counts}; shift ;;
    --sweep-check) sweep_check=1 ;;
    --results) results=${2:?--results needs a folder}; shift ;;
    --table) table=1 files=0 ;;
    --cold-runs) cold_runs=${2:?--cold-runs needs a number}; shift ;;
    --realtime) realtime=1 ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "walk-vs-peers.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) build=$1 ;;
  esac
  shift
done

sizes=()
rows=()
[ "$large" = 1 ] || sizes+=(100000)
[ "$small" = 1 ] || sizes+=(1000000)
if [ ${#sizes[@]} = 0 ]; then
  echo "walk-vs-peers.sh: --small and --large leave no tree to time" >&2
  exit 2
fi

check=$(realpath "$build/grantwise-check")
floor=$(realpath "$build/bench/floor_walker")
maker=$(realpath "$build/bench/make_bench_tree")
for program in "$check" "$floor" "$maker"; do
  [ -x "$program" ] || { echo "walk-vs-peers.sh: $program is missing; build it first" >&2; exit 2; }
done
for program in hyperfine find bfs fdfind getfacl python3; do
  command -v "$program" > /dev/null || {
    echo "walk-vs-peers.sh: $program is not installed (make deps installs it)" >&2
    exit 2
  }
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
[ -n "$results" ] && mkdir -p "$results"

# The thread count: given, or the check's default as its --help states it
# ("default: 8", or "default: up to 2": no more than the machine's cores).
help=$("$check" --help)
check_jobs=()
if ! grep -q -- '--jobs' <<< "$help"; then
  if [ "$sweep_check" = 1 ]; then
    echo "walk-vs-peers.sh: grantwise-check has no --jobs to sweep" >&2
    exit 2
  fi
  echo "note: grantwise-check has no --jobs: it runs with its own threads, and the floor with ${jobs:-1}"
  jobs=${jobs:-1}
elif [ -n "$jobs" ]; then
  check_jobs=(--jobs "$jobs")
else
  default=$(grep -A3 -- '--jobs' <<< "$help" | tr '\n' ' ' | grep -o 'default: *\(up to \)\{0,1\}[0-9]\+' | head -1 || true)
  jobs=$(grep -o '[0-9]\+' <<< "$default" || true)
  if [ -z "$jobs" ]; then
    echo "walk-vs-peers.sh: grantwise-check --help does not say its default thread count; give --jobs" >&2
    exit 2
  fi
  if grep -q 'up to' <<< "$default" && [ "$(nproc)" -lt "$jobs" ]; then
    jobs=$(nproc)
  fi
  echo "note: grantwise-check's default thread count ($default) is $jobs here; the floor gets the same"
fi

cold_prepare="sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'"
cold_runs=${cold_runs:-$runs}
run_as=''
if [ "$realtime" = 1 ]; then
  if [ "$(id -u)" != 0 ] || ! command -v chrt > /dev/null; then
    echo "walk-vs-peers.sh: --realtime needs root and chrt" >&2
    exit 2
  fi
  run_as='chrt -r 1 '
fi
if [ "$cold" = 1 ] && [ "$(id -u)" != 0 ]; then
  echo "note: not root, so the page cache cannot be dropped: warm runs only"
  cold=0
fi
mkdir -p "$trees_dir"
if [ "$cold" = 1 ] && [ "$(findmnt -n -o FSTYPE -T "$trees_dir")" = tmpfs ]; then
  echo "note: $trees_dir is on tmpfs, where nothing is ever read from a disk: warm runs only (--trees DIR on a disk)"
  cold=0
fi

echo "machine: $(nproc) cores, $(free -g | awk '/^Mem:/ { print $2 }') GB, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "trees in $trees_dir: $(findmnt -n -o FSTYPE,SOURCE -T "$trees_dir")"
echo "versions: $("$check" --version | head -1); $(bfs --version | head -1); $(fdfind --version); $(getfacl --version | head -1)"

# Times the commands (names[i], commands[i]) side by side, in rounds: each
# round runs every command once (hyperfine), so that a machine whose other
# work comes and goes weighs on all of them alike; prints each median and
# range, and the mean user and system time; the runs go to $out/$1.json.
time_commands()
{
  local label=$1 mode=$2
  local args=()
  for i in "${!names[@]}"; do
    args+=(-n "${names[$i]}" "$run_as${commands[$i]}")
  done
  local rounds=$runs how=()
  if [ "$mode" = cold ]; then
    rounds=$cold_runs how=(--prepare "$cold_prepare")
  else
    hyperfine -N --runs 1 --ignore-failure "${args[@]}" > /dev/null 2>&1 # warms the tree
  fi
  for round in $(seq "$rounds"); do
    hyperfine -N "${how[@]}" --runs 1 --ignore-failure --export-json "$out/$label.$round.json" "${args[@]}" \
      > /dev/null 2>&1
  done
  python3 - "$out/$label" "$rounds" <<'PY'
import json, statistics, sys
base, rounds = sys.argv[1], int(sys.argv[2])
merged = None
for k in range(1, rounds + 1):
    results = json.load(open("%s.%d.json" % (base, k)))["results"]
    if merged is None:
        merged = [{"command": r["command"], "times": [], "user_times": [], "system_times": []} for r in results]
    for m, r in zip(merged, results):
        m["times"] += r["times"]
        m["user_times"].append(r["user"])
        m["system_times"].append(r["system"])
for m in merged:
    m["median"], m["min"], m["max"] = statistics.median(m["times"]), min(m["times"]), max(m["times"])
    m["user"], m["system"] = statistics.mean(m["user_times"]), statistics.mean(m["system_times"])
json.dump({"results": merged}, open(base + ".json", "w"), indent=1)
PY
  [ -n "$results" ] && cp "$out/$label.json" "$results/"
  python3 - "$out/$label.json" "$mode" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print("  %-4s %-30s %8.3f s  (%.3f-%.3f)  user %.3f s, system %.3f s"
          % (sys.argv[2], r["command"], r["median"], r["min"], r["max"], r["user"], r["system"]))
PY
}

modes=()
[ "$cold" = 1 ] && modes+=(cold)
[ "$warm" = 1 ] && modes+=(warm)

for size in "${sizes[@]}"; do
  tree=$trees_dir/grantwise-walk-$size
  [ "$files" = 0 ] && tree=$tree-folders # never one made with files
  if [ "$fresh" = 1 ]; then
    rm -rf "$tree"
  fi
  if [ ! -e "$tree/.complete-$size-$files" ] && [ ! -e "$tree/.complete-$size" ]; then
    echo "making $tree ($size folders, $files files in each)..."
  fi
  "$maker" "$tree" "$size" "$files"
  # A healthy share: the top carries what it gives (the tree's maker gives
  # the top a default ACL when there are files), so the check finds every
  # folder the same, as on most nights.
  if [ "$files" -gt 0 ]; then
    setfacl -m u::rwx,g::rwx,g:100:rwx,m::rwx,o::r-x "$tree"
  fi

  # Each command once, before any timing: a program that fails is not timed,
  # nor a check that does not find the tree the same (exit status 1).
  folders=$("$floor" --jobs "$jobs" "$tree") || { echo "walk-vs-peers.sh: the floor walker failed on $tree" >&2; exit 1; }
  status=0
  "$check" "${check_jobs[@]}" --quiet --reports "$out/reports" "$tree" > /dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "walk-vs-peers.sh: grantwise-check did not find $tree all the same (exit status $status)" >&2
    exit 1
  fi
  echo
  echo "== $tree: $folders, $files files in each"

  if [ -n "$sweep" ]; then
    names=() commands=()
    for n in $sweep; do
      names+=("floor --jobs $n")
      commands+=("$floor --jobs $n $tree")
      if [ "$sweep_check" = 1 ]; then
        names+=("grantwise-check --jobs $n")
        commands+=("$check --jobs $n --quiet --reports $out/reports $tree")
      fi
    done
    for mode in "${modes[@]}"; do
      time_commands "sweep-$size-$mode" "$mode"
    done
    continue
  fi

  check_name="grantwise-check${check_jobs:+ --jobs $jobs}"
  names=("$check_name" "fdfind -t d -u" "bfs -type d" "find -type d")
  commands=(
    "$check ${check_jobs[*]} --quiet --reports $out/reports $tree"
    "fdfind -t d -u . $tree"
    "bfs $tree -type d"
    "find $tree -type d"
  )
  if [ "$table" = 1 ]; then
    names+=("floor --jobs 2")
    commands+=("$floor --jobs 2 $tree")
  else
    names+=("getfacl -R -p")
    commands+=("getfacl -R -p $tree")
  fi
  names+=("floor --jobs $jobs")
  commands+=("$floor --jobs $jobs $tree")
  # The check's peak memory, warm, once.
  rss=$(/usr/bin/time -f %M "$check" "${check_jobs[@]}" --quiet --reports "$out/reports" "$tree" 2>&1 > /dev/null | tail -1)
  echo "  grantwise-check's peak memory: $((rss / 1024)) MB"
  for mode in "${modes[@]}"; do
    time_commands "peers-$size-$mode" "$mode"
    python3 - "$out/peers-$size-$mode.json" "$mode" "$check_name" "floor --jobs $jobs" <<'PY'
import json, sys
m = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
mode, check, floor = sys.argv[2:5]
c = m[check]
print("  %-4s ratios of the medians: %.2fx fdfind (target at most 1.0), %.2fx find (%s), %.2fx the floor (target at most 1.3)"
      % (mode, c / m["fdfind -t d -u"], c / m["find -type d"],
         "target at most 0.5" if mode == "cold" else "no target warm", c / m[floor]))
PY
    rows+=("$size $mode $out/peers-$size-$mode.json $rss")
  done
done

# The table: one row a tree and mode, each cell the median and its range.
if [ "$table" = 1 ] && [ ${#rows[@]} -gt 0 ]; then
  echo
  echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)${run_as:+; each command at real-time priority}"
  python3 - "${rows[@]}" <<'PY'
import json, sys
rows = [row.split(" ") for row in sys.argv[1:]]
first = json.load(open(rows[0][2]))["results"]
print("| tree | mode | " + " | ".join(r["command"] for r in first) + " |")
print("|---|---|" + "---|" * len(first))
for size, mode, path, rss in rows:
    results = json.load(open(path))["results"]
    cells = ["%.3f (%.3f-%.3f)" % (r["median"], r["min"], r["max"]) for r in results]
    c = results[0]
    cells[0] += ", user %.0f ms, sys %.0f ms, %d MB" % (c["user"] * 1000, c["system"] * 1000, int(rss) // 1024)
    print("| %s folders | %s | %s |" % (format(int(size), ","), mode, " | ".join(cells)))
PY
fi
