#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a bounded time over its seed corpus;
# prints one PASS or FAIL line per target and exits non-zero on any crash, hang, leak or
# sanitizer report.
#
#   scripts/fuzz.sh [--build-only | --no-build] [TARGET...]    (default: every target)
#
# UMBRA_FUZZ_SECONDS sets the time per target (default 15); UMBRA_JOBS the build parallelism
# (default 2). An input that fails is kept in build/fuzz/artifacts/TARGET/; run the target on
# that file alone to see the report again (build/fuzz/tests/fuzz/TARGET FILE).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
SECONDS_PER_TARGET=${UMBRA_FUZZ_SECONDS:-15}
JOBS=${UMBRA_JOBS:-2}
BUILD=build/fuzz
SEEDS=tests/fuzz/corpus

build=1
run=1
targets=()
for arg in "$@"; do
  case $arg in
    --build-only) run=0 ;;
    --no-build) build=0 ;;
    -*)
      echo "fuzz.sh: unknown option $arg" >&2
      exit 2
      ;;
    *) targets+=("$arg") ;;
  esac
done

if ((build)); then
  cmake --preset fuzz -DUMBRA_WERROR=ON >/dev/null &&
    cmake --build "$BUILD" -j "$JOBS" --target umbrascope_fuzzers || {
    echo "fuzz.sh: the fuzz build failed" >&2
    exit 1
  }
fi
((run)) || exit 0

if ((${#targets[@]} == 0)); then
  for dir in "$SEEDS"/*/; do targets+=("$(basename "$dir")"); done
fi

# Inputs the fuzzer finds go to a scratch corpus, so the seeds in the source tree stay as they are.
SCRATCH=$(mktemp -d -t umbrascope-fuzz.XXXXXX)
trap 'rm -rf "$SCRATCH"' EXIT

failed=0
for target in "${targets[@]}"; do
  program="$BUILD/tests/fuzz/$target"
  if [[ ! -x $program || ! -d $SEEDS/$target ]]; then
    echo "FAIL  $target: no such target (program $program, seeds $SEEDS/$target/)"
    failed=1
    continue
  fi
  artifacts="$BUILD/artifacts/$target"
  mkdir -p "$SCRATCH/$target" "$artifacts"
  log="$BUILD/logs/$target.log"
  mkdir -p "$(dirname "$log")"
  options=(-max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$artifacts/")
  [[ -f tests/fuzz/$target.dict ]] && options+=(-dict="tests/fuzz/$target.dict")
  # The Windows build's own programs and libraries are images from a real linker: seeds of the
  # image reader too, when that build is there (libFuzzer reads at most the first megabyte).
  seeds=("$SEEDS/$target")
  if [[ $target == fuzz_pe_reader && -d build/mingw ]]; then
    mkdir -p "$SCRATCH/mingw-images"
    find build/mingw -maxdepth 4 \( -name '*.exe' -o -name '*.dll' \) -type f | sort | head -n 6 |
      while read -r image; do cp "$image" "$SCRATCH/mingw-images/"; done
    seeds+=("$SCRATCH/mingw-images")
  fi
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    timeout --kill-after=10 $((SECONDS_PER_TARGET + 120)) \
    "$program" "${options[@]}" "$SCRATCH/$target" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  if ((rc == 0)) && ! grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "PASS  $target (${runs:-?} runs in ${SECONDS_PER_TARGET}s)"
  else
    echo "FAIL  $target (exit $rc; log $log, inputs kept in $artifacts/):"
    grep -E 'ERROR:|SUMMARY:|runtime error:|check failed|Test unit written' "$log" | head -n 20 | sed 's/^/      /'
    failed=1
  fi
done
exit "$failed"
