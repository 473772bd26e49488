#!/usr/bin/env bash
# `dump` of a running Windows program under Wine: the file's headers and sections are readable
# by objdump, and its code section is the program file's once the loader's relocations are applied.
set -euo pipefail

exe="$UMBRA_MINGW_BUILD/umbrascopec.exe"
sleeper="$UMBRA_MINGW_BUILD/tests/hidekit/hidesleeper.exe"
lister="$UMBRA_MINGW_BUILD/tests/hidekit/hidelist.exe"
for f in "$exe" "$sleeper" "$lister"; do
  [[ -f $f ]] || { echo "missing $f: build the mingw preset"; exit 1; }
done
command -v x86_64-w64-mingw32-objdump >/dev/null || { echo "no x86_64-w64-mingw32-objdump"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

# shellcheck source=lib/wine_sleeper.sh
source "$UMBRA_ROOT/tests/e2e/lib/wine_sleeper.sh"
trap wine_sleeper_stop EXIT
wine_sleeper_start umbra-dump dumpsleeper.exe 300 || fail "the test program did not appear in the process list"
dir=$WINE_SLEEPER_DIR
pid=$WINE_SLEEPER_WINPID
echo "test program: Windows process $pid"

status=0
wine "$exe" dump "$pid" --out 'C:\umbra-dump\dump.bin' </dev/null 2>"$UMBRA_E2E_TMP/err.txt" | tr -d '\r' || status=$?
cat "$UMBRA_E2E_TMP/err.txt"
[[ $status == 0 && -s $dir/dump.bin ]] || fail "dump exited $status and wrote no file"

x86_64-w64-mingw32-objdump -h "$dir/dump.bin" | tee "$UMBRA_E2E_TMP/headers.txt"
grep -q ' \.text ' "$UMBRA_E2E_TMP/headers.txt" || fail "objdump finds no .text section in the dump"

# Where the loader put the image: the first module of the process.
base=$(wine "$exe" show process "$pid" --json </dev/null 2>/dev/null | tr -d '\r' | jq -r '.modules[0].baseAddress')
[[ $base =~ ^[0-9A-F]+$ ]] || fail "no base address for the process: $base"
python3 "$UMBRA_ROOT/tests/e2e/lib/text_after_relocation.py" "$sleeper" "$dir/dump.bin" "$base" ||
  fail "the dumped code section is not the program file's"

# A second dump to the same file is refused and leaves it alone.
cp "$dir/dump.bin" "$UMBRA_E2E_TMP/first.bin"
status=0
wine "$exe" dump "$pid" --out 'C:\umbra-dump\dump.bin' </dev/null >/dev/null 2>&1 || status=$?
[[ $status == 2 ]] || fail "a second dump to the same file exited $status"
cmp "$dir/dump.bin" "$UMBRA_E2E_TMP/first.bin" || fail "the existing dump was changed"
echo "dump under Wine: ok"
