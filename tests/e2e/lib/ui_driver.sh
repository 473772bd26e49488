# shellcheck shell=bash
# Drives the desktop program from outside under Wine: starts umbrascope.exe on a system image,
# talks to its windows through the test-only driver (uidriver.exe), keeps screenshots under the
# build folder and stops the program when the script ends, whatever happens.
#
#   source lib/ui_driver.sh
#   ui_setup                      checks the programs, sets UI_WORK, UI_SHOTS, UI_IMAGE
#   ui_start [ARGS...]            starts umbrascope.exe --image $UI_IMAGE ARGS in the background
#   ui COMMAND ARGS...            one driver command; prints its JSON line; fails like the driver
#   ui_shot NAME [WINDOW ARGS...] PNG of a window: $UI_SHOTS/NAME.png
#   ui_pass_startup               closes the about box and the Quick Scan warning, waits for results
#   fail MESSAGE                  counts a failure and prints it

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
: "${UMBRA_LINUX_BUILD:?the linux build folder is needed}"
: "${UMBRA_ROOT:?the source tree is needed}"
export WINEDEBUG=-all

UI_MAIN_TITLE="Umbrascope"
UI_MAIN_CLASS="TformRKIndicators"
UI_ABOUT_TITLE="About Umbrascope"
UI_WARNING="Please do not open or close other applications until the Quick Scan results show up."
# UMBRA_UI_EXE: another build of the program to try the tests on (by hand only).
UI_EXE="${UMBRA_UI_EXE:-$UMBRA_MINGW_BUILD/umbrascope.exe}"
UI_DRIVER="$UMBRA_MINGW_BUILD/tests/uidriver.exe"
UI_SHOTS="$UMBRA_MINGW_BUILD/ui-screenshots"
UMBRASCOPEC_LINUX="$UMBRA_LINUX_BUILD/umbrascopec"
UI_PID=""
export UI_STARTED_AT=""
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# skip MESSAGE: the feature is not in the program yet.
skip() {
  echo "SKIP: $*"
  exit 77
}

ui_setup() {
  [[ -n ${DISPLAY:-} ]] || skip "no X display for the desktop program"
  local f
  for f in "$UI_EXE" "$UI_DRIVER" "$UMBRASCOPEC_LINUX"; do
    [[ -f $f ]] || { echo "missing $f: build the mingw and linux presets first"; exit 1; }
  done
  UI_WORK=${UMBRA_E2E_TMP:-$PWD}
  mkdir -p "$UI_SHOTS"
  # A copy of the demo image of our own: a test that deletes objects changes only its copy.
  UI_IMAGE="$UI_WORK/demo-image.json"
  cp "$UMBRA_ROOT/resources/demo-image.json" "$UI_IMAGE"
  trap ui_stop EXIT
}

# ui_winpath FILE: the Windows spelling of a Linux path (Wine shows / as drive Z:).
ui_winpath() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

ui_start() {
  UI_STARTED_AT=$(date +%s.%N)
  wine "$UI_EXE" --image "$(ui_winpath "$UI_IMAGE")" "$@" </dev/null >"$UI_WORK/umbrascope.out" 2>&1 &
  UI_PID=$!
  echo "started umbrascope.exe --image $UI_IMAGE $* (process $UI_PID)"
}

# ui_stop: closes the program's windows, then ends its process if it does not go by itself.
ui_stop() {
  local status=$?
  if [[ -n $UI_PID ]] && kill -0 "$UI_PID" 2>/dev/null; then
    for _ in 1 2 3 4 5 6; do
      # Dialogs first (each runs its own loop), then the main window.
      wine "$UI_DRIVER" close --class '#32770' --exe umbrascope.exe --timeout 0 >/dev/null 2>&1 || true
      wine "$UI_DRIVER" close --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS" --exe umbrascope.exe \
        --timeout 0 >/dev/null 2>&1 || true
      sleep 0.5
      kill -0 "$UI_PID" 2>/dev/null || break
    done
    if kill -0 "$UI_PID" 2>/dev/null; then
      echo "umbrascope.exe did not end after closing its windows: stopping process $UI_PID"
      kill "$UI_PID" 2>/dev/null || true
      sleep 1
      kill -9 "$UI_PID" 2>/dev/null || true
    fi
    wait "$UI_PID" 2>/dev/null || true
  fi
  UI_PID=""
  exit "$status"
}

# ui COMMAND ARGS...: runs the driver on the program's windows; its JSON line on stdout.
ui() {
  local out status=0
  out=$(wine "$UI_DRIVER" "$@" --exe umbrascope.exe </dev/null 2>/dev/null | tr -d '\r') || status=$?
  printf '%s\n' "$out"
  return $status
}

# ui_try COMMAND ARGS...: like ui, but a failure is reported and counted, not fatal.
ui_try() {
  local out
  if ! out=$(ui "$@"); then
    fail "driver: $* -> $out"
    return 1
  fi
  printf '%s\n' "$out"
}

# ui_shot NAME WINDOW-OPTIONS...: keeps a PNG of the window for a reviewer.
ui_shot() {
  local name=$1
  shift
  local bmp="$UI_WORK/$name.bmp"
  sleep 0.3  # let the window finish painting
  if ui screenshot "$@" --out "$(ui_winpath "$bmp")" >/dev/null &&
    python3 "$UMBRA_ROOT/tests/e2e/lib/bmp_to_png.py" "$bmp" "$UI_SHOTS/$name.png"; then
    echo "screenshot: $UI_SHOTS/$name.png"
  else
    fail "no screenshot of $name"
  fi
}

# ui_wait_for TIMEOUT COMMAND...: runs the shell command until it succeeds or TIMEOUT seconds pass.
ui_wait_for() {
  local timeout=$1
  shift
  local deadline
  deadline=$(($(date +%s) + timeout))
  while ! "$@"; do
    (($(date +%s) < deadline)) || return 1
    sleep 0.3
  done
}

# ui_main ARGS...: a driver command on the main window.
ui_main() {
  local cmd=$1
  shift
  ui "$cmd" --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS" "$@"
}

# ui_quick_rows: the Quick Scan indicator list (first visible list view of the main window).
ui_quick_ready() {
  local rows
  rows=$(ui_main list-items --visible --index 0 --timeout 2) || return 1
  [[ $(jq -r '.count' <<<"$rows") -gt 0 ]] && [[ $(jq -r '[.rows[] | select(.image == 0)] | length' <<<"$rows") == 0 ]]
}

# ui_has TEXT: the program holds the text (8-bit or UTF-16), so the feature using it is built.
ui_has() {
  # (grep -q would stop reading early and fail the pipe under pipefail)
  { strings -a "$UI_EXE"; strings -a -el "$UI_EXE"; } | grep -F -- "$1" >/dev/null
}

# ui_about_args: sets UI_ABOUT_ARGS to the driver options that find the about box shown at
# start-up (an array: the title holds a space). Until the real box (its design text "Version
# unknown") is in the program, a placeholder message stands in for it.
ui_about_args() {
  if ui_has "Version unknown"; then
    UI_ABOUT_ARGS=(--window "$UI_ABOUT_TITLE")
  else
    UI_ABOUT_ARGS=(--window "$UI_MAIN_TITLE" --class '#32770')
  fi
}

# ui_pass_startup: the about box and the Quick Scan warning are closed; waits for the results.
ui_pass_startup() {
  local about
  ui_about_args
  about=("${UI_ABOUT_ARGS[@]}")
  ui wait-window "${about[@]}" --timeout 30 >/dev/null || { fail "no about box at start-up"; return 1; }
  ui click "${about[@]}" --button OK >/dev/null
  ui message-box --contains "$UI_WARNING" --timeout 20 >/dev/null || { fail "no Quick Scan warning"; return 1; }
  ui click --class '#32770' --window "$UI_MAIN_TITLE" --button OK >/dev/null
  ui_wait_for 30 ui_quick_ready || { fail "the Quick Scan results did not show up"; return 1; }
}

# ui_tab_select TEXT: shows the main window's page with this tab text.
ui_tab_select() {
  ui_main tab-select --text "$1" >/dev/null
}

# ui_tabs: the main window's tab texts, one a line.
ui_tabs() {
  ui_main tab-items | jq -r '.tabs[]'
}

# ui_finish MESSAGE: exit status from the failures counted.
ui_finish() {
  if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "$1"
}

# compare_sets LABEL EXPECTED ACTUAL: exact line sets; the missed and extra lines reported apart.
compare_sets() {
  local label=$1 expected=$2 actual=$3 line
  while IFS= read -r line; do
    [[ -n $line ]] && fail "$label missed: $line"
  done < <(LC_ALL=C comm -23 <(LC_ALL=C sort <<<"$expected") <(LC_ALL=C sort <<<"$actual"))
  while IFS= read -r line; do
    [[ -n $line ]] && fail "$label extra: $line"
  done < <(LC_ALL=C comm -13 <(LC_ALL=C sort <<<"$expected") <(LC_ALL=C sort <<<"$actual"))
  return 0
}

# compare_lists LABEL EXPECTED ACTUAL: the same lines in the same order (a diff when not).
compare_lists() {
  local label=$1 expected=$2 actual=$3
  compare_sets "$label" "$expected" "$actual"
  if [[ $expected != "$actual" ]] && ((failures == 0)); then
    fail "$label: the same rows in another order"
    diff <(echo "$expected") <(echo "$actual") || true
  fi
  return 0
}

# ui_needs TEXT WHAT: skips the test while the program does not hold the window text TEXT yet
# (the feature WHAT has not been built into it); a feature that is there must pass.
ui_needs() {
  ui_has "$1" || skip "$2 is not in umbrascope.exe yet (no text \"$1\")"
}

UI_DRIVES_TITLE="Select drives..."

# ui_run_deep_scan: shows the Deep Scan page, ticks exactly C: and HKEY_LOCAL_MACHINE in the
# drive dialog (screenshot drive-dialog), and waits until both scanners have finished.
ui_run_deep_scan() {
  ui_tab_select "Deep Scan"
  ui wait-window --window "$UI_DRIVES_TITLE" --timeout 20 >/dev/null || { fail "no \"$UI_DRIVES_TITLE\" dialog"; return 1; }
  local list=0 rows row count caption checked want
  for list in 0 1; do
    rows=$(ui list-items --window "$UI_DRIVES_TITLE" --index "$list") || { fail "the drive dialog has no list $list"; return 1; }
    count=$(jq -r .count <<<"$rows")
    for ((row = 0; row < count; row++)); do
      caption=$(jq -r ".rows[$row].texts[0]" <<<"$rows")
      checked=$(jq -r ".rows[$row].checked" <<<"$rows")
      want=false
      [[ $caption == C: || $caption == HKEY_LOCAL_MACHINE ]] && want=true
      [[ $checked == "$want" ]] && continue
      if [[ $want == true ]]; then
        fail "the drive dialog does not tick $caption at first"
        ui list-check --window "$UI_DRIVES_TITLE" --index "$list" --row "$row" --on >/dev/null
      else
        ui list-check --window "$UI_DRIVES_TITLE" --index "$list" --row "$row" --off >/dev/null
      fi
    done
  done
  ui_shot drive-dialog --window "$UI_DRIVES_TITLE"
  ui click --window "$UI_DRIVES_TITLE" --button OK >/dev/null
  ui_wait_for 60 ui_deep_finished || { fail "the Deep Scan did not finish within 60 s"; return 1; }
}

# ui_deep_finished: both progress labels say the scanners are done.
ui_deep_finished() {
  local texts
  texts=$(ui_main text) || return 1
  [[ $(jq '[.controls[] | select(.text | startswith("Finished scanning filesystem in ") or startswith("Finished scanning registry in "))] | length' <<<"$texts") == 2 ]]
}
