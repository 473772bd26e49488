#!/usr/bin/env bash
# A file named con.txt, which Win32 programs cannot create or open by name, is reported as a
# reserved name by the hidden-files indicator under Wine. The file is made from the Linux side.
set -euo pipefail

dir="$WINEPREFIX/drive_c/umbra-reserved"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
printf 'x' >"$dir/con.txt"
printf 'x' >"$dir/plain.txt"

status=0
UMBRA_CON_DIR='C:\umbra-reserved' \
  wine "$UMBRA_MINGW_BUILD/tests/umbrascope_wintests.exe" --gtest_filter='RealFilesTest.IndicatorReportsAReservedName' \
  </dev/null | tr -d '\r' | tee "$UMBRA_E2E_TMP/out.txt" || status=$?
[[ $status -eq 0 ]] || { echo "the reserved-name test failed (status $status)"; exit 1; }
grep -q '\[  PASSED  \] 1 test' "$UMBRA_E2E_TMP/out.txt" || { echo "the reserved-name test did not run"; exit 1; }
