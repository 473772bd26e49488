#!/usr/bin/env bash
# The Quick Scan sees through a real user-mode hook under Wine: run through the hiding kit's
# launcher it reports exactly the hidden file, folder, system file, Run value, Notify subkey and
# process made here (and exits with 1); run plainly it reports nothing (and exits with 0).
set -euo pipefail

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=-all
WORK=${UMBRA_E2E_TMP:-$PWD}
UMBRASCOPEC="$UMBRA_MINGW_BUILD/umbrascopec.exe"

# shellcheck source=tests/e2e/lib/hidekit_objects.sh
source "$HERE/lib/hidekit_objects.sh"
# shellcheck source=tests/e2e/lib/hidekit_checks.sh
source "$HERE/lib/hidekit_checks.sh"

hidekit_setup "$UMBRASCOPEC"

# --- 1. the hidden objects ---
hidekit_objects_create
hidekit_sleeper_start
sleeper_pid=$(hidekit_sleeper_winpid)
[[ $sleeper_pid =~ ^[0-9]+$ ]] || { echo "no Windows process ID for $HIDEKIT_PROCESS_EXE"; exit 1; }
echo "$HIDEKIT_PROCESS_EXE runs as Windows process $sleeper_pid"

# --- 2. the hook hides them from ordinary tools ---
hidekit_check_ordinary_tools
if ((failures > 0)); then
  echo "$failures check(s) of the hook failed: a scan through it would prove nothing"
  exit 1
fi

# --- what the scan must report, as "row<TAB>kind<TAB>text" lines ---
rows=(
  "Files in Windows folder"
  "Files in System folder"
  "Global run entries"
  "Winlogon entries"
  "Invisible processes (from handles)"
  "Invisible processes (from threads)"
)
run_key="HKEY_LOCAL_MACHINE\\${HIDEKIT_RUN_KEY#HKLM\\}\\"
notify_key="HKEY_LOCAL_MACHINE\\${HIDEKIT_NOTIFY_KEY#HKLM\\}\\"
expected=$(
  printf '%s\t%s\t%s\n' \
    "${rows[0]}" 3 "C:\\windows\\$HIDEKIT_WINDIR_FILE" \
    "${rows[0]}" 2 "C:\\windows\\$HIDEKIT_WINDIR_FOLDER" \
    "${rows[1]}" 3 "C:\\windows\\system32\\$HIDEKIT_SYSDIR_FILE" \
    "${rows[2]}" 5 "$run_key$HIDEKIT_RUN_VALUE" \
    "${rows[3]}" 4 "$notify_key$HIDEKIT_NOTIFY_SUBKEY" \
    "${rows[4]}" 0 "$sleeper_pid" \
    "${rows[5]}" 0 "$sleeper_pid: $HIDEKIT_PROCESS_EXE"
)

# scan LABEL FILE RUNNER...: runs the Quick Scan with --json into FILE; sets $scan_status.
scan() {
  local label=$1 file=$2
  shift 2
  scan_status=0
  "$@" "$UMBRASCOPEC" quick --json </dev/null >"$file" 2>"$file.err" || scan_status=$?
  echo "--- quick scan $label: exit status $scan_status"
  cat "$file.err"
  if ! jq -e '.indicators | type == "array"' "$file" >/dev/null 2>&1; then
    fail "the scan $label printed no indicator list:"
    cat "$file"
    return 1
  fi
  # The rows as the program shows them, for the log.
  jq -r '.indicators[] | "[\(.state)] \(.description): \(.details) | \(.result)",
                         (.findings[] | "      kind \(.kind)  \(.text)")' "$file"
}

# check_rows LABEL FILE STATE: the scan has exactly the six rows, each in STATE.
check_rows() {
  local label=$1 file=$2 want=$3 row state
  local actual_rows
  actual_rows=$(jq -r '.indicators[].description' "$file" | tr -d '\r')
  if [[ $actual_rows != "$(printf '%s\n' "${rows[@]}")" ]]; then
    fail "the scan $label has the rows [$(paste -sd '|' <<<"$actual_rows")], expected [$(printf '%s|' "${rows[@]}")]"
  fi
  for row in "${rows[@]}"; do
    state=$(jq -r --arg d "$row" '[.indicators[] | select(.description == $d) | .state] | first // "none"' "$file")
    [[ $state == "$want" ]] || fail "the scan $label: row \"$row\" has state $state, expected $want"
  done
}

# findings FILE: every finding of the scan as a "row<TAB>kind<TAB>text" line, sorted.
findings() {
  jq -r '.indicators[] | .description as $d | .findings[] | "\($d)\t\(.kind)\t\(.text)"' "$1" | LC_ALL=C sort
}

# --- 3. through the launcher: exactly the hidden objects ---
hooked_json="$WORK/quick-hooked.json"
if scan "through the launcher" "$hooked_json" hidekit_launch; then
  ((scan_status == 1)) || fail "the scan through the launcher exited with $scan_status, expected 1"
  check_rows "through the launcher" "$hooked_json" 1
  actual=$(findings "$hooked_json")
  wanted=$(LC_ALL=C sort <<<"$expected")
  while IFS=$'\t' read -r row kind text; do
    [[ -n $row ]] || continue
    fail "missed: \"$row\" did not report $text (kind $kind)"
  done < <(LC_ALL=C comm -23 <(echo "$wanted") <(echo "$actual"))
  while IFS=$'\t' read -r row kind text; do
    [[ -n $row ]] || continue
    fail "extra finding: \"$row\" reported $text (kind $kind)"
  done < <(LC_ALL=C comm -13 <(echo "$wanted") <(echo "$actual"))
fi

# --- 4. plainly: nothing at all ---
plain_json="$WORK/quick-plain.json"
if scan plainly "$plain_json" wine; then
  ((scan_status == 0)) || fail "the scan run plainly exited with $scan_status, expected 0"
  check_rows plainly "$plain_json" 2
  while IFS=$'\t' read -r row kind text; do
    [[ -n $row ]] || continue
    fail "extra finding without the hook: \"$row\" reported $text (kind $kind)"
  done < <(findings "$plain_json")
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the Quick Scan reported exactly the hidden objects through the hook and nothing without it"
