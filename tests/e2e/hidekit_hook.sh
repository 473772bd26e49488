#!/usr/bin/env bash
# The hiding kit works under Wine: programs started through its launcher no longer list files,
# folders, registry values, subkeys and processes named with the hidden prefix (whichever
# listing function or route they use), while the same programs run plainly still do, and
# every visible neighbour stays listed in both.
set -euo pipefail

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=-all

own_prefix=
if [[ -z ${WINEPREFIX:-} ]]; then
  own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/hidekit-prefix.XXXXXX")
  export WINEPREFIX=$own_prefix WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
  echo "initialising a Wine prefix of our own in $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
fi

# shellcheck source=tests/e2e/lib/hidekit_objects.sh
source "$HERE/lib/hidekit_objects.sh"

cleanup() {
  hidekit_objects_remove
  if [[ -n $own_prefix ]]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$own_prefix"
  fi
}
trap cleanup EXIT

for f in "$HIDEKIT_DLL" "$HIDEKIT_LAUNCH" "$HIDEKIT_LIST" "$HIDEKIT_BIN/hidesleeper.exe"; do
  [[ -f $f ]] || { echo "missing $f: build the mingw preset's hidekit targets"; exit 1; }
done

hidekit_objects_create
hidekit_sleeper_start

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run_both NAME PROGRAM ARGS...: runs the program plainly into $plain and through the launcher
# into $hooked (both with \r removed); a non-zero status of either is a failure.
run_both() {
  local name=$1 status=0
  shift
  plain=$(wine "$@" </dev/null | tr -d '\r') || status=$?
  ((status == 0)) || fail "$name run plainly exited with $status"
  status=0
  hooked=$(hidekit_launch "$@" | tr -d '\r') || status=$?
  ((status == 0)) || fail "$name through the launcher exited with $status"
  last_name=$name
}

# Prints both outputs of the last run_both; of a long one only the lines naming test objects.
show_outputs() {
  local label out
  for label in plainly "through the launcher"; do
    [[ $label == plainly ]] && out=$plain || out=$hooked
    if (($(wc -l <<<"$out") <= 60)); then
      echo "--- $last_name, $label:"
      echo "$out"
    else
      echo "--- $last_name, $label ($(wc -l <<<"$out") lines; those naming umbra* or errors):"
      grep -Ei 'umbra|!error' <<<"$out" || true
    fi
  done
}

# re TEXT: TEXT as an extended regular expression that matches it literally.
# shellcheck disable=SC2001  # one sed beats a chain of substitutions here
re() { sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<"$1"; }

# expect REGEX HIDDEN|SHOWN WHAT: the line pattern must be in the plain output, and in the
# hooked output exactly when the object is SHOWN.
expect() {
  local regex=$1 kind=$2 what=$3 bad=0
  if ! grep -Eq -- "$regex" <<<"$plain"; then
    fail "$what is missing from the plain $last_name listing"
    bad=1
  fi
  if [[ $kind == HIDDEN ]] && grep -Eq -- "$regex" <<<"$hooked"; then
    fail "$what is still listed by $last_name through the launcher"
    bad=1
  elif [[ $kind == SHOWN ]] && ! grep -Eq -- "$regex" <<<"$hooked"; then
    fail "$what (not hidden) was lost by $last_name through the launcher"
    bad=1
  fi
  ((bad == 0)) && echo "ok: $last_name: $what ${kind,,}"
  return 0
}

windir_objects=("$HIDEKIT_WINDIR_FILE HIDDEN" "$HIDEKIT_WINDIR_FOLDER HIDDEN" "$HIDEKIT_WINDIR_SHOWN SHOWN")
sysdir_objects=("$HIDEKIT_SYSDIR_FILE HIDDEN" "$HIDEKIT_SYSDIR_SHOWN SHOWN" "kernel32.dll SHOWN")

# --- ordinary tools: cmd's dir and reg query ---
for folder in 'C:\windows' 'C:\windows\system32'; do
  run_both "cmd /c dir $folder" cmd /c dir "$folder"
  before=$failures
  if [[ $folder == *system32 ]]; then objects=("${sysdir_objects[@]}"); else objects=("${windir_objects[@]}"); fi
  for entry in "${objects[@]}"; do
    read -r name kind <<<"$entry"
    expect "[[:space:]]$(re "$name")\$" "$kind" "$folder\\$name"
  done
  ((failures == before)) || show_outputs
done

run_both "reg query Run" reg query "$HIDEKIT_RUN_KEY"
before=$failures
for entry in "$HIDEKIT_RUN_SHOWN_BEFORE SHOWN" "$HIDEKIT_RUN_VALUE HIDDEN" "$HIDEKIT_RUN_SHOWN_AFTER SHOWN"; do
  read -r name kind <<<"$entry"
  expect "^ +$name +REG_SZ" "$kind" "Run value $name"
done
((failures == before)) || show_outputs

run_both "reg query Notify" reg query "$HIDEKIT_NOTIFY_KEY"
before=$failures
for entry in "$HIDEKIT_NOTIFY_SUBKEY HIDDEN" "$HIDEKIT_NOTIFY_SHOWN SHOWN"; do
  read -r name kind <<<"$entry"
  expect "\\\\Notify\\\\$name\$" "$kind" "Notify subkey $name"
done
((failures == before)) || show_outputs

# --- every filtered function, including FindFirstFileW reached through GetProcAddress ---
file_apis=(FindFirstFileW FindFirstFileExW FindFirstFileA 'GetProcAddress(kernel32)' 'GetProcAddress(kernelbase)')
run_both "hidelist files C:\\windows\\*" "$HIDEKIT_LIST" files 'C:\windows\*'
before=$failures
for api in "${file_apis[@]}"; do
  for entry in "${windir_objects[@]}"; do
    read -r name kind <<<"$entry"
    expect "^$(re "$api $name")\$" "$kind" "$api: C:\\windows\\$name"
  done
done
((failures == before)) || show_outputs

# A search whose first match is hidden must start at the next visible one, and a search that
# matches only hidden names must fail with "file not found" (2), as an empty one does.
run_both "hidelist files C:\\windows\\umbra*" "$HIDEKIT_LIST" files 'C:\windows\umbra*'
before=$failures
for api in "${file_apis[@]}"; do
  expect "^$(re "$api $HIDEKIT_WINDIR_FILE")\$" HIDDEN "$api: first match $HIDEKIT_WINDIR_FILE"
  expect "^$(re "$api $HIDEKIT_WINDIR_SHOWN")\$" SHOWN "$api: $HIDEKIT_WINDIR_SHOWN after hidden matches"
done
((failures == before)) || show_outputs
run_both "hidelist files C:\\windows\\umbrahide*" "$HIDEKIT_LIST" files "C:\\windows\\$HIDEKIT_PREFIX*"
before=$failures
for api in "${file_apis[@]}"; do
  grep -Eq "^$(re "$api") !error 2\$" <<<"$hooked" ||
    fail "$api through the launcher: a search matching only hidden names did not fail with error 2"
done
((failures == before)) || show_outputs

run_both "hidelist registry Run" "$HIDEKIT_LIST" registry "${HIDEKIT_RUN_KEY#HKLM\\}"
before=$failures
for api in RegEnumValueW RegEnumValueA; do
  for entry in "$HIDEKIT_RUN_SHOWN_BEFORE SHOWN" "$HIDEKIT_RUN_VALUE HIDDEN" "$HIDEKIT_RUN_SHOWN_AFTER SHOWN"; do
    read -r name kind <<<"$entry"
    expect "^$api $name\$" "$kind" "$api: Run value $name"
  done
done
# Index remapping must neither drop nor repeat a visible entry.
for api in RegEnumValueW RegEnumValueA; do
  count=$(grep -c "^$api " <<<"$hooked" || true)
  expected=$(($(grep -c "^$api " <<<"$plain" || true) - 1))
  ((count == expected)) || fail "$api through the launcher listed $count values, expected $expected"
done
((failures == before)) || show_outputs

run_both "hidelist registry Notify" "$HIDEKIT_LIST" registry "${HIDEKIT_NOTIFY_KEY#HKLM\\}"
before=$failures
for api in RegEnumKeyExW RegEnumKeyExA; do
  for entry in "$HIDEKIT_NOTIFY_SUBKEY HIDDEN" "$HIDEKIT_NOTIFY_SHOWN SHOWN"; do
    read -r name kind <<<"$entry"
    expect "^$api $name\$" "$kind" "$api: Notify subkey $name"
  done
done
((failures == before)) || show_outputs

run_both "hidelist processes" "$HIDEKIT_LIST" processes
before=$failures
for api in EnumProcesses Process32FirstW Process32First; do
  expect "^$api $(re "$HIDEKIT_PROCESS_EXE") " HIDDEN "$api: process $HIDEKIT_PROCESS_EXE"
  expect "^$api hidelist\\.exe " SHOWN "$api: process hidelist.exe"
done
((failures == before)) || show_outputs

# --- the launcher itself ---
status=0
hidekit_launch cmd /c exit 7 >/dev/null || status=$?
((status == 7)) || fail "the launcher returned $status for a program that exited with 7"
status=0
errors=$(UMBRA_HIDE_PREFIX='' wine "$HIDEKIT_LAUNCH" "$HIDEKIT_DLL" cmd /c exit 0 </dev/null 2>&1 >/dev/null) ||
  status=$?
if ((status != 125)) || ! grep -q UMBRA_HIDE_PREFIX <<<"$errors"; then
  fail "a library that refuses to load gave status $status (expected 125) and said: $errors"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all hiding checks passed"
