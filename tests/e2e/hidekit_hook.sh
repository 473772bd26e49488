#!/usr/bin/env bash
# The hiding kit works under Wine: programs started through its launcher no longer list files,
# folders, registry values, subkeys and processes named with the hidden prefix (whichever
# listing function or route they use), while the same programs run plainly still do, and
# every visible neighbour stays listed in both.
set -euo pipefail

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=-all

# shellcheck source=tests/e2e/lib/hidekit_objects.sh
source "$HERE/lib/hidekit_objects.sh"
# shellcheck source=tests/e2e/lib/hidekit_checks.sh
source "$HERE/lib/hidekit_checks.sh"

hidekit_setup

hidekit_objects_create
hidekit_sleeper_start

# --- ordinary tools: cmd's dir and reg query ---
hidekit_check_ordinary_tools

# --- every filtered function, including FindFirstFileW reached through GetProcAddress ---
file_apis=(FindFirstFileW FindFirstFileExW FindFirstFileA 'GetProcAddress(kernel32)' 'GetProcAddress(kernelbase)')
run_both "hidelist files C:\\windows\\*" "$HIDEKIT_LIST" files 'C:\windows\*'
before=$failures
for api in "${file_apis[@]}"; do
  for entry in "${HIDEKIT_WINDIR_OBJECTS[@]}"; do
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
