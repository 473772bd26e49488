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

# ==================================================================== the file walk under Wine
# The deep file walk on a real tree against a minimal loop making the same platform calls (both
# listings per folder, one security read and one stream listing per entry), both in one run of
# the Windows program bench/wine/, when Wine and the mingw build are there. The tree is mapped to
# drive S: of a throwaway prefix. UMBRA_WINE_BENCH_TREE sets the tree (default /usr/share, some
# 70,000 entries: about a minute per pass under Wine on 2 cores), UMBRA_WINE_BENCH_ROUNDS the
# timed rounds of each side (default 1; one untimed pass first warms the caches for both).
wine_bench() {
  local tree=${UMBRA_WINE_BENCH_TREE:-/usr/share} rounds=${UMBRA_WINE_BENCH_ROUNDS:-1}
  local program=build/mingw/bench/wine/umbrascope_wine_bench.exe
  if ! command -v wine >/dev/null || [[ ! -f build/mingw/build.ninja ]]; then
    echo "file walk under Wine: skipped (needs wine and the mingw build: cmake --preset mingw)"
    return 0
  fi
  cmake --build build/mingw -j2 --target umbrascope_wine_bench >/dev/null
  local scratch
  scratch=$(mktemp -d -t umbrascope-wine-bench.XXXXXX)
  (
    export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
    # The profile folders link to $HOME: an empty one keeps the host's home out of the prefix.
    mkdir -p "$WINEPREFIX" "$scratch/home"
    trap 'timeout 30 wineserver -k >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
    HOME="$scratch/home" wineserver -p </dev/null >/dev/null 2>&1
    HOME="$scratch/home" timeout 300 wineboot -i </dev/null >"$scratch/wineboot.log" 2>&1
    ln -s "$(realpath "$tree")" "$WINEPREFIX/dosdevices/s:"
    echo "file walk under Wine ($(wine --version 2>/dev/null)), S: = $tree, $rounds timed round(s):"
    wine "$program" S: "$rounds" </dev/null 2>/dev/null | tr -d '\r'
  )
}
wine_bench || echo "file walk under Wine: the run failed (exit $?)"
