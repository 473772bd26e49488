#!/usr/bin/env bash
# The Deep Scan walks a whole Wine system: the C: drive and HKEY_LOCAL_MACHINE of a prefix are
# walked to their end with no "Invisible to Win32" row (nothing hides anything there), and a file
# named con.txt and a folder named lpt1, made from the Linux side since Win32 programs cannot make
# them by those names, are the only "Reserved filename" rows: a file row and a folder row.
set -euo pipefail

: "${UMBRA_MINGW_BUILD:?the mingw build folder is needed}"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORK=${UMBRA_E2E_TMP:-$(mktemp -d)}
UMBRASCOPEC="$UMBRA_MINGW_BUILD/umbrascopec.exe"
[[ -f $UMBRASCOPEC ]] || { echo "missing $UMBRASCOPEC: build the mingw preset"; exit 1; }

# shellcheck source=tests/e2e/lib/wine_own_prefix.sh
source "$HERE/lib/wine_own_prefix.sh"
# shellcheck source=tests/e2e/lib/deep_scan.sh
source "$HERE/lib/deep_scan.sh"

trap own_prefix_remove EXIT
own_prefix_create "$WORK/wine"
drive_c="$WINEPREFIX/drive_c"

# The reserved names sit a few folders down, beside neighbours whose names only look reserved
# (the name is cut at its first "." and must then be a device name as a whole).
dir="$drive_c/umbra-reserved/one/two"
win_dir='C:\umbra-reserved\one\two'
mkdir -p "$dir/lpt1" "$dir/lpt10"
for name in con.txt con1.txt xcon.txt lpt1/inside.txt lpt10/inside.txt; do
  printf 'x' >"$dir/$name"
done
expected_reserved=$(printf '%s\t%s\n' File "$win_dir\\con.txt" Folder "$win_dir\\lpt1" | LC_ALL=C sort)

# What the walks must at least have seen: every folder and entry of drive_c (the walk may see
# more through the profile links), and nine in ten of the keys the registry editor exports of
# HKEY_LOCAL_MACHINE (the prefix's own services may add and remove a few keys meanwhile).
min_folders=$(find "$drive_c" -type d | wc -l)
min_entries=$(find "$drive_c" -mindepth 1 | wc -l)
wine regedit /e "$(winepath -w "$WORK/hklm.reg")" HKEY_LOCAL_MACHINE </dev/null >/dev/null 2>&1
exported_keys=$(iconv -f UTF-16 -t UTF-8 "$WORK/hklm.reg" | grep -c '^\[' || true)
((exported_keys > 1000)) || { echo "the registry editor exported $exported_keys keys of HKEY_LOCAL_MACHINE"; exit 1; }
min_keys=$((exported_keys * 9 / 10))
echo "drive_c holds $min_folders folders and $min_entries entries; HKEY_LOCAL_MACHINE $exported_keys keys"

report="$WORK/deep.json"
if deep_run "of C: and HKEY_LOCAL_MACHINE" "$report" \
  wine "$UMBRASCOPEC" deep --drives C: --hives HKEY_LOCAL_MACHINE --json --quiet; then
  # The reserved names are findings, so the scan answers 1 (0 would say it found nothing).
  ((deep_status == 1)) || fail "the deep scan exited with $deep_status, expected 1"
  deep_check_finished "of C: and HKEY_LOCAL_MACHINE" "$report"

  folders=$(deep_json_number "$report" .fileScan.folders)
  entries=$(deep_json_number "$report" .fileScan.files)
  keys=$(deep_json_number "$report" .registryScan.keys)
  ((folders >= min_folders)) || fail "the file walk took $folders folders, drive_c has $min_folders"
  ((entries >= min_entries)) || fail "the file walk checked $entries entries, drive_c has $min_entries"
  ((keys >= min_keys)) || fail "the registry walk took $keys keys, nine in ten of the $exported_keys exported are $min_keys"

  invisible=$(deep_rows "$report" "Invisible to Win32")
  deep_compare "of C: and HKEY_LOCAL_MACHINE" "Invisible to Win32" "" "$invisible"
  deep_compare "of C: and HKEY_LOCAL_MACHINE" "Reserved filename" "$expected_reserved" \
    "$(deep_rows "$report" "Reserved filename")"

  echo "--- rows other than the reserved names (for the log):"
  jq -r '.rows[] | select(.details != "Reserved filename") |
         "\(.type)  \(.location)\(.object)  \(.details)\(if .known then "  [\(.product)]" else "" end)"' \
    "$report" | head -n 40
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the deep scan of C: and HKEY_LOCAL_MACHINE finished in $deep_seconds s with no invisible" \
  "object, and reported con.txt and lpt1 as reserved names"
