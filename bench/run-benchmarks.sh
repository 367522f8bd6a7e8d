#!/usr/bin/env bash
# Runs every benchmark against the build given (default build/).
set -euo pipefail
build=${1:-build}
echo "== folder tree expansion"
"$build/bench/tree_expansion_bench"
echo "== check engine texts"
"$build/bench/engine_bench"
echo "== grantwise-check against getfacl -R and find"
"$(dirname "$0")/check-vs-getfacl.sh" "$build"
echo "== grantwise-check --baseline against a plain check"
"$(dirname "$0")/baseline-vs-check.sh" "$build"
echo "== four checks in one walk against each alone"
"$(dirname "$0")/several-checks.sh" "$build"
