#!/usr/bin/env bash
# `delete file` in the Windows build removes a con.txt made from the Linux side (a name the
# Win32 layer opens as the console) through the native layer, and leaves its neighbour alone.
set -euo pipefail

dir="$WINEPREFIX/drive_c/umbra-delete"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
printf 'x' >"$dir/con.txt"
printf 'y' >"$dir/plain.txt"

status=0
out=$(timeout --kill-after=10 300 wine "$UMBRA_MINGW_BUILD/umbrascopec.exe" delete file 'C:\umbra-delete\con.txt' --yes \
  </dev/null | tr -d '\r') || status=$?
echo "$out"
[[ $status -eq 0 ]] || { echo "FAILED: exit status $status"; exit 1; }
grep -q '^deleted: C:\\umbra-delete\\con.txt (native)$' <<<"$out" || { echo "FAILED: no deletion line"; exit 1; }
[[ ! -e $dir/con.txt ]] || { echo "FAILED: con.txt is still there"; exit 1; }
[[ -e $dir/plain.txt ]] || { echo "FAILED: the neighbour went too"; exit 1; }
echo "con.txt deleted, plain.txt kept"
