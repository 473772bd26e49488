#!/usr/bin/env bash
# A sparse file of 5 GiB in the prefix hashes under Wine to the digest md5sum computes on Linux.
set -euo pipefail

dir="$WINEPREFIX/drive_c/umbra-big-file"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
file="$dir/big.bin"
truncate -s 5G "$file"
# A few bytes at the start, past 4 GiB and at the very end, so a digest of the low 32 bits of
# the size alone, or of the wrong views, cannot agree.
printf 'head' | dd of="$file" bs=1 seek=0 conv=notrunc status=none
printf 'past four gigabytes' | dd of="$file" bs=1 seek=$((4 * 1024 * 1024 * 1024 + 12345)) conv=notrunc status=none
printf 'tail' | dd of="$file" bs=1 seek=$((5 * 1024 * 1024 * 1024 - 4)) conv=notrunc status=none

expected=$(md5sum "$file" | cut -d' ' -f1)
echo "md5sum on Linux: $expected"

status=0
UMBRA_BIG_FILE='C:\umbra-big-file\big.bin' UMBRA_BIG_FILE_MD5="$expected" \
  wine "$UMBRA_MINGW_BUILD/tests/umbrascope_wintests.exe" --gtest_filter='RealProcesses.BigFileDigest*' \
  </dev/null | tr -d '\r' | tee "$UMBRA_E2E_TMP/out.txt" || status=$?
[[ $status -eq 0 ]] || { echo "the digest test failed (status $status)"; exit 1; }
grep -q '\[  PASSED  \] 1 test' "$UMBRA_E2E_TMP/out.txt" || { echo "the digest test did not run"; exit 1; }
