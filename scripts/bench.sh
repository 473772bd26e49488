#!/usr/bin/env bash
# Builds the linux preset and runs the benchmarks, then prints for each one how its time grows
# from the smallest to the largest input (linear growth from 1,000 to 100,000 items is about 100;
# the hidden-files comparison must stay under 150, the deep file walk from 10^4 to 10^6 under
# 130), the ratio of every benchmark X to its minimal loop XMinimal per input size (the deep walks
# must stay under 1.5), and the peak memory counters (the 10^6-file walk under 50 MB).
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
   | {name: (.run_name | split("/")[0]), n: (.run_name | split("/")[1] | tonumber), t: .real_time, unit: .time_unit,
      peak: .peak_over_machine_MB}]
  | . as $all
  | (group_by(.name)[]
     | sort_by(.n) as $runs
     | ($runs | map("\(.n): \(.t * 100 | round / 100) \(.unit)") | join(", ")) as $times
     | "\($runs[0].name): \($times); largest/smallest = \(($runs[-1].t / $runs[0].t) * 10 | round / 10)x for \($runs[-1].n / $runs[0].n)x the items"),
    # Each benchmark X with a twin XMinimal (the same platform calls without the scanner around
    # them): how many times the minimal loop the scanner takes, per input size.
    ($all | map(select(.name | endswith("Minimal") | not)) | group_by(.name)[]
     | .[0].name as $x
     | sort_by(.n) | map(. as $r | ($all[] | select(.name == ($x + "Minimal") and .n == $r.n)) as $m
                          | "\($r.n): \(($r.t / $m.t) * 100 | round / 100)x")
     | select(length > 0)
     | "\($x) / \($x)Minimal: \(join(", "))"),
    # Peak resident memory of a run above what was resident before it (the machine itself).
    ($all | map(select(.peak != null)) | group_by(.name)[]
     | sort_by(.n) | "\(.[0].name) peak over the machine: \(map("\(.n): \(.peak * 10 | round / 10) MB") | join(", "))")
' "$out"
