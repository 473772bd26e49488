#!/usr/bin/env bash
# The cabinet writer on Wine's cabinet.dll: a folder of files made here (a name outside ASCII,
# an empty file, a read-only file, one of several compression blocks) is packed by the Windows
# test program; cabextract must accept the cabinet and give back every name, size, time and
# content.
set -euo pipefail

command -v cabextract >/dev/null || { echo "cabextract is not installed"; exit 77; }

dir="$WINEPREFIX/drive_c/umbra-cab"
rm -rf "$dir"
mkdir -p "$dir/src" "$dir/out"
trap 'chmod -R u+w "$dir" 2>/dev/null; rm -rf "$dir"' EXIT

printf 'first file\r\n' >"$dir/src/plain.txt"
printf 'accents' >"$dir/src/café über.txt"
: >"$dir/src/empty.dat"
for i in $(seq 1 6000); do printf 'line %05d of a file larger than one block\n' "$i"; done >"$dir/src/large.log"
head -c 50000 /dev/urandom >"$dir/src/noise.bin"
printf 'locked' >"$dir/src/readonly.txt"
chmod a-w "$dir/src/readonly.txt"
touch -d '2009-07-14 03:04:58' "$dir/src/plain.txt"
touch -d '1999-12-31 23:59:59' "$dir/src/café über.txt"
touch -d '2020-02-29 10:30:21' "$dir/src/empty.dat"

status=0
UMBRA_CAB_DIR='C:\umbra-cab' \
  wine "$UMBRA_MINGW_BUILD/tests/umbrascope_wintests.exe" --gtest_filter='RealCabinetTest.*' \
  </dev/null | tr -d '\r' | tee "$UMBRA_E2E_TMP/out.txt" || status=$?
[[ $status -eq 0 ]] || { echo "the cabinet test program failed (status $status)"; exit 1; }
grep -q '\[  PASSED  \] 1 test' "$UMBRA_E2E_TMP/out.txt" || { echo "the cabinet test did not run"; exit 1; }

cab="$dir/out/test.cab"
# cabinet.dll stores names as the program's code-page bytes (1252 under Wine here), without the
# cabinet's UTF-8 flag: the extractor is told the code page.
cabextract -e CP1252 -t "$cab"

# Names, sizes and times as cabextract lists them, against the sources. The cabinet keeps
# the last-write time as the file system gives it (UTC), to two seconds.
expected="$UMBRA_E2E_TMP/expected.txt"
actual="$UMBRA_E2E_TMP/actual.txt"
(
  cd "$dir/src"
  for f in *; do
    epoch=$(stat -c %Y "$f")
    epoch=$((epoch - epoch % 2))
    printf '%d|%s|C:/umbra-cab/src/%s\n' "$(stat -c %s "$f")" "$(date -u -d "@$epoch" '+%d.%m.%Y %H:%M:%S')" "$f"
  done
) | sort >"$expected"
cabextract -e CP1252 -l "$cab" | awk -F' [|] ' '/^ *[0-9]+ [|]/ { gsub(/^ +/, "", $1); print $1 "|" $2 "|" $3 }' | sort >"$actual"
echo "--- listed:"
cat "$actual"
diff -u "$expected" "$actual"

# Contents.
cabextract -e CP1252 -q -d "$UMBRA_E2E_TMP/x" "$cab"
for f in "$dir"/src/*; do
  cmp "$f" "$UMBRA_E2E_TMP/x/C:/umbra-cab/src/$(basename "$f")"
done
echo "cabinet checked: $(wc -l <"$actual") files"
