#!/usr/bin/env bash
# The registry export reads back: a test key exported by the console program under Wine,
# deleted, imported again with the registry editor, holds the same values as before, but for
# one known difference: the 8-bit format writes an expandable string with its terminator and
# one more zero byte, which the registry editor imports as one more zero character.
set -euo pipefail

EXE="$UMBRA_MINGW_BUILD/umbrascopec.exe"
KEY='HKLM\Software\UmbrascopeExportTest'
w() { timeout --kill-after=10 300 wine "$@" </dev/null; }
# The registry's own export shows every value's type and raw bytes.
snapshot() {
  rm -f snapshot.reg
  w reg export "$KEY" snapshot.reg /y >/dev/null
  iconv -f UTF-16 -t UTF-8 snapshot.reg | tr -d '\r'
}

w reg delete "$KEY" /f >/dev/null 2>&1 || true
trap 'w reg delete "$KEY" /f >/dev/null 2>&1 || true' EXIT

# One value of every type the export writes differently, names and data that need escaping,
# a byte list long enough to wrap, and a subkey two levels down.
blob=$(printf '%02x' $(seq 0 99) | tr -d '\n')
w reg add "$KEY" /ve /d 'C:\a"b' /f >/dev/null
w reg add "$KEY" /v Count /t REG_DWORD /d 255 /f >/dev/null
w reg add "$KEY" /v 'a\b' /d 'back\slash' /f >/dev/null
w reg add "$KEY" /v 'say "hi"' /d 'x' /f >/dev/null
w reg add "$KEY" /v Path /t REG_EXPAND_SZ /d '%SystemRoot%\x' /f >/dev/null
w reg add "$KEY" /v Lines /t REG_MULTI_SZ /d 'one\0two' /f >/dev/null
w reg add "$KEY" /v Blob /t REG_BINARY /d "$blob" /f >/dev/null
w reg add "$KEY" /v Big /t REG_QWORD /d 0x1122334455667788 /f >/dev/null
w reg add "$KEY\Sub\Deeper" /v Inner /d 'x y' /f >/dev/null

before=$(snapshot)
echo "$before"

w "$EXE" export key "$KEY" >export.reg
echo "--- export.reg"
tr -d '\r' <export.reg

w reg delete "$KEY" /f >/dev/null
if w reg query "$KEY" >/dev/null 2>&1; then
  echo "the test key survived its deletion"
  exit 1
fi
w regedit /s export.reg
after=$(snapshot)
# "Path" ends "\x", its terminator, and then the extra zero character.
expected=$(echo "$before" | sed 's/^\(  00,25,00,5c,00,78,00,00,00\)$/\1,00,00/')
if [[ $expected == "$before" ]]; then
  echo "the Path value's last line is not where this test expects it"
  exit 1
fi
if [[ $expected != "$after" ]]; then
  echo "--- values after the import differ from the expected ones:"
  diff <(echo "$expected") <(echo "$after") || true
  exit 1
fi
echo "round trip: same values (Path with its extra zero character)"

# A key that cannot be opened is an error with a message naming it.
rc=0
err=$(w "$EXE" export key 'HKLM\Software\UmbrascopeNoSuchKey' 2>&1 >/dev/null) || rc=$?
echo "missing key: exit $rc: $err"
[[ $rc == 2 && $err == *'HKEY_LOCAL_MACHINE\Software\UmbrascopeNoSuchKey'* ]]
