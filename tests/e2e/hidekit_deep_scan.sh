#!/usr/bin/env bash
# The Deep Scan sees through a real user-mode hook under Wine: run through the hiding kit's
# launcher, the walk of the whole C: drive and HKEY_LOCAL_MACHINE reports as "Invisible to Win32"
# exactly the file, folder, value and subkey hidden several levels down (and exits with 1); run
# plainly it reports none of them. The hidden folder and subkey are walked like any other, and
# what they hold is listed by Win32 (the kit filters names, not paths), so nothing of it is a
# finding.
set -euo pipefail

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORK=${UMBRA_E2E_TMP:-$(mktemp -d)}
UMBRASCOPEC="$UMBRA_MINGW_BUILD/umbrascopec.exe"

# shellcheck source=tests/e2e/lib/hidekit_objects.sh
source "$HERE/lib/hidekit_objects.sh"
# shellcheck source=tests/e2e/lib/hidekit_checks.sh
source "$HERE/lib/hidekit_checks.sh"
# shellcheck source=tests/e2e/lib/wine_own_prefix.sh
source "$HERE/lib/wine_own_prefix.sh"
# shellcheck source=tests/e2e/lib/deep_scan.sh
source "$HERE/lib/deep_scan.sh"

for f in "$HIDEKIT_DLL" "$HIDEKIT_LAUNCH" "$UMBRASCOPEC"; do
  [[ -f $f ]] || { echo "missing $f: build the mingw preset"; exit 1; }
done

# A whole C: drive is walked twice, so the prefix is one of our own (see the library): every
# object made here goes with it.
trap own_prefix_remove EXIT
own_prefix_create "$WORK/wine"

# --- 1. the hidden objects, each beside a visible neighbour ---
folder_win='C:\umbra-deep\a\b\c'
folder_unix="$WINEPREFIX/drive_c/umbra-deep/a/b/c"
file_name=${HIDEKIT_PREFIX}_deep_file.txt
dir_name=${HIDEKIT_PREFIX}_deep_folder
mkdir -p "$folder_unix/d" "$folder_unix/$dir_name/inner" "$folder_unix/umbrashown_deep_folder"
echo hidden >"$folder_unix/d/$file_name"
echo shown >"$folder_unix/d/umbrashown_deep_file.txt"
echo inside >"$folder_unix/$dir_name/inside.txt"
echo inside >"$folder_unix/$dir_name/inner/inside.txt"

key_win='HKLM\Software\UmbraDeep\a\b\c'
value_name=${HIDEKIT_PREFIX}_deep_value
subkey_name=${HIDEKIT_PREFIX}_deep_key
hidekit_reg add "$key_win" /v shown_umbra_deep_value /d before /f
hidekit_reg add "$key_win" /v "$value_name" /d hidden /f
hidekit_reg add "$key_win" /v umbrashown_deep_value /d after /f
hidekit_reg add "$key_win\\$subkey_name\\inner" /v inside /d inside /f
hidekit_reg add "$key_win\\umbrashown_deep_key" /f

# --- 2. the hook hides them from ordinary tools (else the scan would prove nothing) ---
run_both "cmd /c dir $folder_win" cmd /c dir "$folder_win"
before=$failures
expect "[[:space:]]$(re "$dir_name")\$" HIDDEN "$folder_win\\$dir_name"
expect "[[:space:]]umbrashown_deep_folder\$" SHOWN "$folder_win\\umbrashown_deep_folder"
((failures == before)) || show_outputs
run_both "cmd /c dir $folder_win\\d" cmd /c dir "$folder_win\\d"
before=$failures
expect "[[:space:]]$(re "$file_name")\$" HIDDEN "$folder_win\\d\\$file_name"
expect "[[:space:]]$(re umbrashown_deep_file.txt)\$" SHOWN "$folder_win\\d\\umbrashown_deep_file.txt"
((failures == before)) || show_outputs
run_both "reg query $key_win" reg query "$key_win"
before=$failures
for entry in "shown_umbra_deep_value SHOWN" "$value_name HIDDEN" "umbrashown_deep_value SHOWN"; do
  read -r name kind <<<"$entry"
  expect "^ +$name +REG_SZ" "$kind" "value $name"
done
expect "\\\\c\\\\$subkey_name\$" HIDDEN "subkey $subkey_name"
expect "\\\\c\\\\umbrashown_deep_key\$" SHOWN "subkey umbrashown_deep_key"
((failures == before)) || show_outputs
if ((failures > 0)); then
  echo "$failures check(s) of the hook failed: a scan through it would prove nothing"
  exit 1
fi

# Key paths come back with the letter case the registry keeps ("Software" under Wine, whatever
# reg.exe was given), so registry rows are compared without regard to case.
hive_path="HKEY_LOCAL_MACHINE\\${key_win#HKLM\\}"
expected=$(
  printf '%s\t%s\n' \
    File "$folder_win\\d\\$file_name" \
    Folder "$folder_win\\$dir_name" \
    Value "$hive_path\\$value_name" \
    Key "$hive_path\\$subkey_name" | LC_ALL=C sort
)
# invisible_rows FILE: the "Invisible to Win32" rows, registry paths in lower case.
invisible_rows() {
  deep_rows "$1" "Invisible to Win32" |
    awk -F'\t' -v OFS='\t' '$1 == "Key" || $1 == "Value" { $2 = tolower($2) } { print }' | LC_ALL=C sort
}
expected=$(awk -F'\t' -v OFS='\t' '$1 == "Key" || $1 == "Value" { $2 = tolower($2) } { print }' <<<"$expected" |
  LC_ALL=C sort)

scan_args=(deep --drives C: --hives HKEY_LOCAL_MACHINE --json --quiet)

# --- 3. through the launcher: exactly the four hidden objects ---
hooked_report="$WORK/deep-hooked.json"
if deep_run "through the launcher" "$hooked_report" hidekit_launch "$UMBRASCOPEC" "${scan_args[@]}"; then
  ((deep_status == 1)) || fail "the scan through the launcher exited with $deep_status, expected 1"
  deep_check_finished "through the launcher" "$hooked_report"
  deep_compare "through the launcher" "Invisible to Win32" "$expected" "$(invisible_rows "$hooked_report")"
fi
hooked_seconds=$deep_seconds

# --- 4. plainly: none of them, and nothing else invisible ---
plain_report="$WORK/deep-plain.json"
if deep_run plainly "$plain_report" wine "$UMBRASCOPEC" "${scan_args[@]}"; then
  ((deep_status == 0 || deep_status == 1)) || fail "the scan run plainly exited with $deep_status"
  deep_check_finished plainly "$plain_report"
  deep_compare plainly "Invisible to Win32" "" "$(invisible_rows "$plain_report")"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the deep scan reported exactly the four hidden objects through the hook ($hooked_seconds s)" \
  "and none without it ($deep_seconds s)"
