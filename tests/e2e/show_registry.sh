#!/usr/bin/env bash
# `show key` and `show value` print the native view of the demo image, zero characters escaped,
# and name the key and the cause when they cannot.
set -euo pipefail

u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
dummies='HKLM\SOFTWARE\Brightmoor Limited\Umbrascope\Test-Dummies'
fail() { echo "FAILED: $*"; exit 1; }

out=$("$u" show key "$dummies" 2>/dev/null)
echo "$out"
grep -qx '  Hello<NUL>World' <<<"$out" || fail "the subkey with a zero character is not listed"
grep -q $'^  Hello<NUL>World\tREG_SZ\ta value name with a zero character$' <<<"$out" ||
  fail "the value with a zero character is not listed with its type and data"

json=$("$u" show value "$dummies\\Hello<NUL>World" --json 2>/dev/null)
echo "$json"
[[ $(jq -c '.name' <<<"$json") == '"Hello\u0000World"' ]] ||
  fail "the value's name does not keep its zero character"
[[ $(jq -r '.type, .size' <<<"$json" | tr '\n' ' ') == 'REG_SZ 70 ' ]] || fail "type or size"

run=$("$u" show key 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' --json 2>/dev/null)
[[ $(jq -r '[.values[].name] | join(",")' <<<"$run") == *wraith*mscfg* ]] ||
  fail "the native view of the Run key misses the hidden values: $run"

set +e
err=$("$u" show key 'HKLM\SOFTWARE\NoSuchKey' 2>&1 >/dev/null)
status=$?
set -e
echo "missing key: exit $status: $err"
[[ $status == 2 && $err == *'HKEY_LOCAL_MACHINE\SOFTWARE\NoSuchKey: the key does not exist'* ]] || fail "a missing key must exit 2 naming it"

# Numbers come out as numbers, binary data as hex bytes.
nt='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
got=$("$u" show value "$nt\\InstallDate" --json 2>/dev/null | jq -c '[.type, .data]')
[[ $got == '["REG_DWORD",1213438464]' ]] || fail "InstallDate: $got"
got=$("$u" show value "$nt\\DigitalProductId" --json 2>/dev/null | jq -c '[.type, .size, .data]')
[[ $got == '["REG_BINARY",17,"a4,00,00,00,03,00,00,00,35,35,32,37,34,2d,36,34,30"]' ]] || fail "DigitalProductId: $got"
echo "typed data: ok"
