#!/usr/bin/env bash
# Builds the optimised tree and runs the benchmark programs.
#   scripts/bench.sh                 every benchmark, 5 repetitions, medians reported
#   scripts/bench.sh bench_matching  one of them; further arguments go to Google Benchmark
# Each benchmark except bench_estimation measures the project's code and its baseline in
# the same run, so the ratios hold on a busy machine even when the absolute times move.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release >/dev/null

only=${1:-}
[ $# -gt 0 ] && shift
defaults=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
[ $# -gt 0 ] && defaults=("$@")

found=0
while IFS= read -r bench; do
    name=$(basename "$bench")
    if [ -n "$only" ] && [ "$name" != "$only" ]; then continue; fi
    found=1
    echo "== $name =="
    "$bench" "${defaults[@]}"
done < <(find build/release/benchmarks -type f -name 'bench_*' -perm -u+x | sort)
if [ "$found" -eq 0 ]; then
    echo "no benchmark found${only:+ named $only}" >&2
    exit 1
fi
