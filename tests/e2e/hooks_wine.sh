#!/usr/bin/env bash
# The hook scan under Wine names the hook itself: with the hiding kit injected, `hooks` on its
# own process and on a hooked sleeper (by PID) reports exactly the entries the kit patched (as
# the kit itself reports them), each jumping into hidekit.dll; without the kit it reports
# nothing; and the Quick Scan's text explains its findings by the hooks only under the kit.
# Also prints how long the scans take (not checked).
set -euo pipefail

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=-all
WORK=${UMBRA_E2E_TMP:-$PWD}
UMBRASCOPEC="$UMBRA_MINGW_BUILD/umbrascopec.exe"
command -v jq >/dev/null || { echo "no jq"; exit 77; }

# shellcheck source=tests/e2e/lib/hidekit_objects.sh
source "$HERE/lib/hidekit_objects.sh"
# shellcheck source=tests/e2e/lib/hidekit_checks.sh
source "$HERE/lib/hidekit_checks.sh"

hidekit_setup "$UMBRASCOPEC"
SLEEPERS=()
stop_sleepers() {
  local pid
  for pid in "${SLEEPERS[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "${WINEPREFIX:?}/drive_c/umbrascope-hooks"
  hidekit_objects_remove
  hidekit_prefix_remove
}
trap stop_sleepers EXIT

# Where Wine itself differs between a module's file and its memory, as "module+0xRVA<TAB>why"
# lines; such a finding is expected with the kit and without it. Wine 8 has none: every
# executable section of every module of the prefix's processes equals its file after relocation
# (docs/wine-notes.md). A later Wine that writes into code at load time adds its entries here,
# each with the reason, never a whole module.
WINE_DIFFERENCES=''

SYSTEM32="$WINEPREFIX/drive_c/windows/system32"
declare -A EXPORTS_READ=()
# export_rva MODULE NAME: the RVA (hex, no 0x) of a code export of a system module, or nothing.
export_rva() {
  local module=${1,,} name=$2 table="$WORK/exports-${1,,}.txt"
  if [[ -z ${EXPORTS_READ[$module]:-} ]]; then
    python3 "$HERE/lib/pe_exports.py" "$SYSTEM32/$module" >"$table" 2>/dev/null || : >"$table"
    EXPORTS_READ[$module]=1
  fi
  awk -v n="$name" '$2 == n { print $1; exit }' "$table"
}

# patched_by_kit FILE: the entries the kit reported patching (its verbose lines in FILE), as
# sorted "module+0xRVA" lines.
patched_by_kit() {
  tr -d '\r' <"$1" | sed -nE 's/^hidekit: [A-Za-z0-9_]+ at ([^ ,]+)\+0x([0-9a-f]+).*/\1+0x\2/p' |
    tr '[:upper:]' '[:lower:]' | LC_ALL=C sort -u
}

# found_hooks JSON: every hook of the scan as a sorted "module+0xRVA" line (code patches: the
# RVA of the export the finding names plus its offset; imports: "module imports DLL!function").
# Findings whose name is no export of the module's file appear as "module!NAME (no export)".
found_hooks() {
  local module function imported name offset rva
  # Fields apart by a unit separator: a tab would let empty fields run together.
  jq -r '.hooks[] | "\(.module)\u001f\(.function)\u001f\(.importedFrom)"' "$1" | tr -d '\r' |
    while IFS=$'\x1f' read -r module function imported; do
      module=${module,,}
      if [[ -n $imported ]]; then
        echo "$module imports $imported"
        continue
      fi
      name=${function%%+*}
      offset=0
      [[ $function == *+0x* ]] && offset=$((16#${function##*+0x}))
      if [[ -z $name ]]; then
        rva=$offset
      else
        rva=$(export_rva "$module" "$name")
        if [[ -z $rva ]]; then
          echo "$module!$function (no export)"
          continue
        fi
        rva=$((16#$rva + offset))
      fi
      printf '%s+0x%x\n' "$module" "$rva"
    done | LC_ALL=C sort -u
}

# seconds_since START: the seconds from START (date +%s.%N) to now.
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'; }

# compare LABEL EXPECTED ACTUAL: both sorted line lists; each missed and each extra line fails.
compare() {
  local label=$1 line
  while read -r line; do
    [[ -n $line ]] && fail "$label: missed $line"
  done < <(LC_ALL=C comm -23 <(echo "$2") <(echo "$3"))
  while read -r line; do
    [[ -n $line ]] && fail "$label: extra finding $line"
  done < <(LC_ALL=C comm -13 <(echo "$2") <(echo "$3"))
  return 0
}

wine_list=$(cut -f1 <<<"$WINE_DIFFERENCES" | sed '/^$/d' | LC_ALL=C sort -u)

# scan LABEL JSON STATUS-WANTED RUNNER... -- ARGS...: runs `hooks ARGS --json`, prints what it
# found, checks the exit status; sets $scan_seconds.
scan() {
  local label=$1 json=$2 want=$3 status=0 start
  shift 3
  local -a runner=()
  while [[ $1 != -- ]]; do
    runner+=("$1")
    shift
  done
  shift
  start=$(date +%s.%N)
  "${runner[@]}" "$UMBRASCOPEC" hooks "$@" --json </dev/null >"$json" 2>"$json.err" || status=$?
  scan_seconds=$(seconds_since "$start")
  echo "--- hooks $* $label: exit status $status, ${scan_seconds} s"
  grep -v '^hidekit: ' "$json.err" || true
  if ! jq -e '.hooks | type == "array"' "$json" >/dev/null 2>&1; then
    fail "hooks $label printed no hook list:"
    cat "$json"
    return 1
  fi
  jq -r '.hooks[] | "  \(.process) \(.module)!\(.function) \(.kind) \(.size) bytes [\(.originalBytes)] -> [\(.bytes)] -> \(.targetModule)!\(.targetFunction) \(.importedFrom)"' "$json"
  jq -r '.notChecked[] | "  not checked: \(.process) \(.module): \(.reason)"' "$json"
  ((status == want)) || fail "hooks $* $label exited with $status, expected $want"
  local not_checked
  not_checked=$(jq -r '.notChecked | length' "$json")
  ((not_checked == 0)) || fail "hooks $* $label left $not_checked process(es) or module(s) unchecked"
}

# check_targets LABEL JSON: every code patch jumps into the kit.
check_targets() {
  local bad
  bad=$(jq -r '.hooks[] | select(.importedFrom == "") | select((.targetModule | ascii_downcase) != "hidekit.dll")
               | "\(.module)!\(.function) -> \(.targetModule)"' "$2")
  [[ -z $bad ]] || fail "$1: patches that do not name hidekit.dll as their target: $bad"
}

# --- 1. the scanner's own process, through the kit ---
json="$WORK/own-hooked.json"
export UMBRA_HIDEKIT_VERBOSE=1
scanned=0
scan "through the launcher" "$json" 1 hidekit_launch -- && scanned=1
unset UMBRA_HIDEKIT_VERBOSE
if ((scanned)); then
  expected=$(LC_ALL=C sort -u <(patched_by_kit "$json.err") <(echo "$wine_list") | sed '/^$/d')
  [[ -n $expected ]] || fail "the kit reported no patched entry"
  echo "the kit patched: $(paste -sd ' ' <<<"$expected")"
  compare "own process through the kit" "$expected" "$(found_hooks "$json")"
  check_targets "own process through the kit" "$json"
  own_pid=$(jq -r '.checked[0] // empty' "$json")
  [[ $(jq -r '[.hooks[].process] | unique | join(" ")' "$json") == "$own_pid" ]] ||
    fail "own process through the kit: findings name processes other than the scanner's ($own_pid)"
fi

# --- 2. the scanner's own process, plainly ---
json="$WORK/own-plain.json"
if scan plainly "$json" "$([[ -n $wine_list ]] && echo 1 || echo 0)" wine --; then
  compare "own process plainly" "$wine_list" "$(found_hooks "$json")"
  own_seconds=$scan_seconds
fi

# --- 3. by process ID: a hooked sleeper and a plain one ---
dir="$WINEPREFIX/drive_c/umbrascope-hooks"
mkdir -p "$dir"
cp "$HIDEKIT_BIN/hidesleeper.exe" "$dir/hookedsleeper.exe"
cp "$HIDEKIT_BIN/hidesleeper.exe" "$dir/plainsleeper.exe"
UMBRA_HIDEKIT_VERBOSE=1 wine "$HIDEKIT_LAUNCH" "$HIDEKIT_DLL" 'C:\umbrascope-hooks\hookedsleeper.exe' 300 \
  </dev/null >/dev/null 2>"$WORK/sleeper.err" &
SLEEPERS+=($!)
wine 'C:\umbrascope-hooks\plainsleeper.exe' 300 </dev/null >/dev/null 2>&1 &
SLEEPERS+=($!)
hooked_pid='' plain_pid=''
for ((tries = 0; tries < 60; tries++)); do
  listing=$(wine "$HIDEKIT_LIST" processes </dev/null | tr -d '\r')
  hooked_pid=$(awk '$1 == "Process32FirstW" && $2 == "hookedsleeper.exe" { print $3; exit }' <<<"$listing")
  plain_pid=$(awk '$1 == "Process32FirstW" && $2 == "plainsleeper.exe" { print $3; exit }' <<<"$listing")
  [[ -n $hooked_pid && -n $plain_pid ]] && grep -q '^hidekit: Process32Next ' "$WORK/sleeper.err" && break
  sleep 0.5
done
if [[ -z $hooked_pid || -z $plain_pid ]]; then
  fail "the sleepers did not appear in the process list (hooked: '$hooked_pid', plain: '$plain_pid')"
else
  echo "hooked sleeper: process $hooked_pid; plain sleeper: process $plain_pid"
  json="$WORK/pid-hooked.json"
  if scan "of the hooked sleeper" "$json" 1 wine -- "$hooked_pid"; then
    expected=$(LC_ALL=C sort -u <(patched_by_kit "$WORK/sleeper.err") <(echo "$wine_list") | sed '/^$/d')
    compare "hooked sleeper $hooked_pid" "$expected" "$(found_hooks "$json")"
    check_targets "hooked sleeper $hooked_pid" "$json"
    [[ $(jq -r '[.hooks[].process] | unique | join(" ")' "$json") == "$hooked_pid" ]] ||
      fail "the scan of $hooked_pid names other processes"
  fi
  json="$WORK/pid-plain.json"
  scan "of the plain sleeper" "$json" "$([[ -n $wine_list ]] && echo 1 || echo 0)" wine -- "$plain_pid" &&
    compare "plain sleeper $plain_pid" "$wine_list" "$(found_hooks "$json")"
fi

# --- 4. every process of the prefix (timed; only the hooked sleeper is hooked) ---
json="$WORK/all.json"
status=0
start=$(date +%s.%N)
wine "$UMBRASCOPEC" hooks --all --json </dev/null >"$json" 2>"$json.err" || status=$?
all_seconds=$(seconds_since "$start")
echo "--- hooks --all: exit status $status, ${all_seconds} s, $(jq -r '.checked | length' "$json" || echo '?') processes checked"
jq -r '.notChecked[] | "  not checked: \(.process) \(.module): \(.reason)"' "$json" || true
((status == 1)) || fail "hooks --all exited with $status, expected 1 (the hooked sleeper runs)"
if [[ -n $hooked_pid ]]; then
  others=$(jq -r --argjson p "$hooked_pid" '[.hooks[] | select(.process != $p) | "\(.process) \(.module)!\(.function)"] | join(", ")' "$json")
  [[ -z $others || -n $wine_list ]] || fail "hooks --all found hooks outside the hooked sleeper: $others"
fi

# --- 5. the Quick Scan explains its findings by the hooks, only under the kit ---
hidekit_objects_create
hidekit_sleeper_start
quick_text() {
  local status=0
  "$@" "$UMBRASCOPEC" quick </dev/null 2>"$WORK/quick.err" | tr -d '\r' >"$WORK/quick.txt" || status=$?
  echo "quick exited with $status"
}
start=$(date +%s.%N)
quick_text hidekit_launch
quick_hooked_seconds=$(seconds_since "$start")
explained=$(grep -E 'listing is filtered: ' "$WORK/quick.txt" || true)
echo "--- quick through the kit (${quick_hooked_seconds} s), explanation lines:"
echo "${explained:-  (none)}"
for listing in file registry process; do
  grep -Eq "^.*the Win32 $listing listing is filtered: [^ ]+ jumps into hidekit\\.dll\$" <<<"$explained" ||
    fail "the Quick Scan through the kit does not explain the $listing listing by the hook"
done
start=$(date +%s.%N)
quick_text wine
quick_plain_seconds=$(seconds_since "$start")
if grep -q 'listing is filtered' "$WORK/quick.txt"; then
  fail "the Quick Scan without the kit explains findings by hooks:"
  grep 'listing is filtered' "$WORK/quick.txt"
fi

# --- the times (not checked) ---
start=$(date +%s.%N)
wine "$UMBRASCOPEC" --version </dev/null >/dev/null 2>&1 || true
start_seconds=$(seconds_since "$start")
echo "times: program start (--version) ${start_seconds} s; hooks on its own process ${own_seconds:-?} s;" \
  "hooks --all ${all_seconds} s; quick through the kit ${quick_hooked_seconds} s, plainly ${quick_plain_seconds} s"

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the hook scan named exactly the kit's patches, with and without a PID, and nothing without the kit"
