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
