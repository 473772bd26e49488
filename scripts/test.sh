#!/usr/bin/env bash
# Builds every preset and runs the three test tiers; ends with one "N passed, N failed" line.
#
#   tier 1: the engine tests and the conformance suite against the simulated machine, natively
#           and under the address, undefined-behaviour and thread sanitizers, and a short run
#           of every fuzz target (scripts/fuzz.sh)
#   tier 2: the MinGW build's test programs (the conformance suite against the real DLLs, the
#           engine tests, the Win32-only tests) and console program on a real Win32 (Wine)
#   tier 3: every tests/e2e/*.sh script (see tests/e2e/README.md)
#
# Every step runs even when an earlier one failed (except those that need a failed build), so
# one run shows every broken tier. UMBRA_JOBS sets the build parallelism (default 2).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
exec </dev/null
JOBS=${UMBRA_JOBS:-2}
RUN_START=$SECONDS

passed=0
failed=0
skipped=0
declare -a results=()

section() { printf '\n==================== %s ====================\n' "$*"; }

# step NAME COMMAND...: runs one counted step under a header and records how it ended.
step() {
  local name=$1
  shift
  section "$name"
  local start=$SECONDS rc=0
  "$@" || rc=$?
  local took=$((SECONDS - start))
  if ((rc == 0)); then
    passed=$((passed + 1))
    results+=("PASS     $name (${took}s)")
  elif ((rc == 77)); then
    skipped=$((skipped + 1))
    results+=("SKIP     $name (${took}s)")
  else
    failed=$((failed + 1))
    results+=("FAIL     $name (exit $rc, ${took}s)")
  fi
  echo "--- $name: $(((rc == 0)) && echo passed || { ((rc == 77)) && echo skipped || echo "FAILED (exit $rc)"; }) in ${took}s"
  return "$rc"
}

# not_run NAME WHY: a step that could not run because something it needs failed.
not_run() {
  section "$1"
  echo "not run: $2"
  failed=$((failed + 1))
  results+=("FAIL     $1 (not run: $2)")
}

summary() {
  section "summary ($((SECONDS - RUN_START))s)"
  printf '%s\n' "${results[@]}"
  echo
  if ((skipped > 0)); then
    echo "$passed passed, $failed failed, $skipped skipped"
  else
    echo "$passed passed, $failed failed"
  fi
}

# ---------------------------------------------------------------- clean-up of Wine and Xvfb
SCRATCH=$(mktemp -d -t umbrascope-test.XXXXXX)
XVFB_PID=
WINE_READY=0

cleanup() {
  if ((WINE_READY)); then
    # Ends every Wine process of the throwaway prefix so none outlives the run.
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
  fi
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---------------------------------------------------------------- setup
section "setup"
if ! bash scripts/setup.sh; then
  echo "setup failed: nothing can be built"
  failed=1
  summary
  exit 1
fi

# ---------------------------------------------------------------- helpers
build_preset() {
  local preset=$1
  cmake --preset "$preset" -DUMBRA_WERROR=ON && cmake --build "build/$preset" -j "$JOBS"
}

run_ctest() {
  ctest --test-dir "build/$1" --output-on-failure --no-tests=error -j "$JOBS" --timeout 600
}

run_asan_ctest() {
  ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:check_initialization_order=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest asan
}

# halt_on_error: the first race ends the test program, so ctest counts it as a failure.
run_tsan_ctest() {
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    run_ctest tsan
}

# One virtual display for the whole run. Wine's desktop process takes the display of the
# first program that starts in a prefix, so the prefix must start with the display already
# there for windows of later programs (the desktop program under tier 3) to appear at all.
start_xvfb() {
  local fd_file="$SCRATCH/xvfb-display"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$fd_file" \
    </dev/null >"$SCRATCH/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    if [[ -s $fd_file ]]; then
      export DISPLAY=":$(head -n1 "$fd_file")"
      echo "Xvfb on display $DISPLAY"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start:"
  cat "$SCRATCH/xvfb.log"
  XVFB_PID=
  return 1
}

# A throwaway prefix for the whole run. The wineserver is started first, persistent and
# detached from our output, so no Wine process keeps the caller's pipes open and one
# server (and desktop) serves every program of the run until cleanup ends it.
make_wine_prefix() {
  export WINEPREFIX="$SCRATCH/wineprefix"
  export WINEDEBUG=-all
  export WINEARCH=win64
  # No Mono or Gecko install prompts: nothing here needs .NET or HTML.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  WINE_READY=1
  wineserver -p </dev/null >/dev/null 2>&1 || return 1
  timeout 300 wineboot -i </dev/null >"$SCRATCH/wineboot.log" 2>&1
  local rc=$?
  if ((rc != 0)); then
    echo "wineboot failed (exit $rc):"
    cat "$SCRATCH/wineboot.log"
    return "$rc"
  fi
  [[ -d $WINEPREFIX/drive_c/windows/system32 ]] || {
    echo "wineboot left no drive_c/windows/system32"
    return 1
  }
  echo "WINEPREFIX=$WINEPREFIX ($(wine --version 2>/dev/null))"
}

# wine_run EXE ARGS...: runs a Windows program; its exit status is the step's.
wine_run() {
  timeout --kill-after=10 900 wine "$@" </dev/null
}

# ---------------------------------------------------------------- tier 1
mingw_ok=0

if step "tier 1: build linux" build_preset linux; then
  step "tier 1: linux tests (ctest)" run_ctest linux
else
  not_run "tier 1: linux tests (ctest)" "linux build failed"
fi

if step "tier 1: build asan" build_preset asan; then
  step "tier 1: asan tests (ctest)" run_asan_ctest
else
  not_run "tier 1: asan tests (ctest)" "asan build failed"
fi

if step "tier 1: build tsan" build_preset tsan; then
  step "tier 1: tsan tests (ctest)" run_tsan_ctest
else
  not_run "tier 1: tsan tests (ctest)" "tsan build failed"
fi

# The parsers of hostile buffers under libFuzzer, a short bounded run per target over its seeds
# (scripts/fuzz.sh; UMBRA_FUZZ_SECONDS sets the time per target).
if step "tier 1: build fuzz" bash scripts/fuzz.sh --build-only; then
  for seeds in tests/fuzz/corpus/*/; do
    target=$(basename "$seeds")
    step "tier 1: $target" bash scripts/fuzz.sh --no-build "$target"
  done
else
  not_run "tier 1: fuzz targets" "fuzz build failed"
fi

# ---------------------------------------------------------------- tier 2
wine_ok=0
step "tier 2: build mingw" build_preset mingw && mingw_ok=1
step "tier 2: Xvfb display" start_xvfb
step "tier 2: Wine prefix" make_wine_prefix && wine_ok=1

# The conformance suite against the real DLLs (the same tests tier 1 runs against the simulated
# machine), the engine tests on Windows' data model, then the Win32-only tests.
WIN_TEST_PROGRAMS=(umbrascope_conformance.exe umbrascope_tests.exe umbrascope_wintests.exe)
UMBRASCOPEC_EXE=build/mingw/umbrascopec.exe
if ((mingw_ok && wine_ok)); then
  for program in "${WIN_TEST_PROGRAMS[@]}"; do
    step "tier 2: $program" wine_run "build/mingw/tests/$program"
  done
  step "tier 2: umbrascopec.exe --version" wine_run "$UMBRASCOPEC_EXE" --version
else
  why="mingw build or Wine prefix failed"
  for program in "${WIN_TEST_PROGRAMS[@]}"; do
    not_run "tier 2: $program" "$why"
  done
  not_run "tier 2: umbrascopec.exe --version" "$why"
fi

# ---------------------------------------------------------------- tier 3
# run_e2e SCRIPT: runs one end-to-end script in a scratch folder of its own.
run_e2e() {
  local script=$1 work
  work=$(mktemp -d "$SCRATCH/e2e.XXXXXX")
  (
    cd "$work" &&
      UMBRA_ROOT="$ROOT" \
        UMBRA_LINUX_BUILD="$ROOT/build/linux" \
        UMBRA_ASAN_BUILD="$ROOT/build/asan" \
        UMBRA_MINGW_BUILD="$ROOT/build/mingw" \
        UMBRA_E2E_TMP="$work" \
        timeout --kill-after=10 1200 bash "$script" </dev/null
  )
}

shopt -s nullglob
e2e_scripts=(tests/e2e/*.sh)
shopt -u nullglob
for script in "${e2e_scripts[@]}"; do
  step "tier 3: $(basename "$script")" run_e2e "$ROOT/$script"
done

summary
((failed == 0))
