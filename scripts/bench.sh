#!/usr/bin/env bash
# Builds the linux preset and runs the benchmarks, then prints for each one how its time grows
# from the smallest to the largest input (linear growth from 1,000 to 100,000 items is about 100;
# the hidden-files comparison must stay under 150).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build build/linux -j2 --target umbrascope_bench
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Medians of five runs: a shared machine makes single runs too noisy for a ratio.
./build/linux/bench/umbrascope_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "$@" >/dev/null
jq -r '
  [.benchmarks[] | select(.aggregate_name == "median")
   | {name: (.run_name | split("/")[0]), n: (.run_name | split("/")[1] | tonumber), t: .real_time, unit: .time_unit}]
  | group_by(.name)[]
  | sort_by(.n) as $runs
  | ($runs | map("\(.n): \(.t * 100 | round / 100) \(.unit)") | join(", ")) as $times
  | "\($runs[0].name): \($times); largest/smallest = \(($runs[-1].t / $runs[0].t) * 10 | round / 10)x for \($runs[-1].n / $runs[0].n)x the items"
' "$out"
