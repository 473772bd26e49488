#!/usr/bin/env bash
# Under Wine: `kill PID --yes` ends a sleeping test process; `show process` of it first gives its
# image name and answers the debug flag and session from its environment block. Also runs the
# real-registry deletion tests (a value named a, zero, b goes; the value a stays).
set -euo pipefail

exe="$UMBRA_MINGW_BUILD/umbrascopec.exe"
sleeper_src="$UMBRA_MINGW_BUILD/tests/hidekit/hidesleeper.exe"
tests="$UMBRA_MINGW_BUILD/tests/umbrascope_wintests.exe"
for f in "$exe" "$sleeper_src" "$tests"; do [[ -f $f ]] || { echo "missing $f: build the mingw preset"; exit 1; }; done
fail() { echo "FAILED: $*"; exit 1; }

status=0
wine "$tests" --gtest_filter='RealRegistryDeletion.*' </dev/null | tr -d '\r' | tee "$UMBRA_E2E_TMP/reg.txt" || status=$?
[[ $status -eq 0 ]] || fail "the real-registry deletion tests failed (status $status)"
grep -q '\[  PASSED  \] 2 tests' "$UMBRA_E2E_TMP/reg.txt" || fail "the real-registry deletion tests did not run"

# shellcheck source=lib/wine_sleeper.sh
source "$UMBRA_ROOT/tests/e2e/lib/wine_sleeper.sh"
trap wine_sleeper_stop EXIT
wine_sleeper_start umbra-kill umbrakill_sleeper.exe 600 || fail "the sleeper did not appear in the process list"
sleeper=$WINE_SLEEPER_PID
pid=$WINE_SLEEPER_WINPID
echo "the sleeper runs as Windows process $pid"

shown=$(wine "$exe" show process "$pid" --json </dev/null 2>/dev/null | tr -d '\r')
echo "$shown" | jq -c '{imageName, debugged, sessionId, threads: (.threads | length)}'
[[ $(jq -r '.imageName' <<<"$shown") == *umbrakill_sleeper.exe ]] || fail "the image name"
[[ $(jq -r '.threads | length' <<<"$shown") -ge 1 ]] || fail "the sleeper's threads"

status=0
out=$(wine "$exe" kill "$pid" --yes </dev/null 2>"$UMBRA_E2E_TMP/err" | tr -d '\r') || status=$?
echo "kill: exit $status: $out $(tr -d '\r' <"$UMBRA_E2E_TMP/err")"
[[ $status == 0 && $out == "ended process $pid"* ]] || fail "kill did not report the process ended"
for ((tries = 0; tries < 40; tries++)); do
  kill -0 "$sleeper" 2>/dev/null || break
  sleep 0.25
done
if kill -0 "$sleeper" 2>/dev/null; then fail "the sleeper still runs after kill"; fi
wait "$sleeper" 2>/dev/null || true
echo "the sleeper has ended"

status=0
wine "$exe" kill "$pid" --yes </dev/null >/dev/null 2>"$UMBRA_E2E_TMP/err" || status=$?
[[ $status == 2 ]] || fail "killing an ended process must exit 2, got $status"
echo "kill of the ended process: $(tr -d '\r' <"$UMBRA_E2E_TMP/err")"
