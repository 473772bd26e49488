#!/usr/bin/env bash
# Under Wine: a con.txt made from the Linux side, which Win32 cannot open by name, is copied
# through the native layer and packed; cabextract extracts the copy and the plain file with
# their contents, and the log. Then the demo image's archive written by the Windows program
# (cabinet.dll) imports with Wine's registry editor and gives back the keys and values.
set -euo pipefail

command -v cabextract >/dev/null || { echo "cabextract is not installed"; exit 77; }
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
w() { timeout --kill-after=10 300 wine "$@" </dev/null; }

dir="$WINEPREFIX/drive_c/umbra-pack"
rm -rf "$dir"
mkdir -p "$dir/out"
printf 'device-named data\r\n' >"$dir/con.txt"
printf 'plain data\r\n' >"$dir/plain.txt"
trap 'rm -rf "$dir"' EXIT

status=0
UMBRA_PACK_DIR='C:\umbra-pack' w "$UMBRA_MINGW_BUILD/tests/umbrascope_wintests.exe" \
  --gtest_filter='RealPackTest.*' | tr -d '\r' | tee out.txt || status=$?
[[ $status == 0 ]] || fail "the pack test under Wine failed (status $status)"
grep -q '\[  PASSED  \] 1 test' out.txt || fail "the pack test did not run"
name='requested-files['
cab=$(ls "$dir"/out/requested-files\[*.cab 2>/dev/null | head -1)
if [[ -z $cab ]]; then
  fail "no archive in $dir/out: $(ls "$dir/out")"
else
  cabextract -l "$cab" | tee listing.txt
  mkdir x
  (cd x && cabextract -q "$cab" >/dev/null)
  [[ $(cat 'x/C:/umbra-pack/copied-con.txt' 2>/dev/null) == $'device-named data\r' ]] || fail "the copy of con.txt"
  [[ $(cat 'x/C:/umbra-pack/plain.txt' 2>/dev/null) == $'plain data\r' ]] || fail "plain.txt"
  grep -qF "$(basename "$cab").log" listing.txt || fail "no log in the archive"
fi
[[ $(cat "$dir/copied-con.txt") == $'device-named data\r' ]] || fail "the copy next to con.txt"
[[ $(ls "$dir/out" | wc -l) == 1 ]] || fail "more than the archive in out: $(ls "$dir/out")"

# The demo image under Wine: the cabinet written with cabinet.dll, the export imported.
mkdir demo
status=0
w "$UMBRA_MINGW_BUILD/umbrascopec.exe" pack --quiet --image "$UMBRA_ROOT/resources/demo-image.json" \
  --out 'demo' >path.txt 2>err.txt || status=$?
echo "--- demo pack under Wine: exit $status: $(tr -d '\r' <path.txt)"
tr -d '\r' <err.txt
[[ $status == 1 ]] || fail "the demo pack under Wine: exit $status"
demo_cab="demo/requested-files[2008-06-14_10_30].cab"
mkdir y
(cd y && cabextract -q "../$demo_cab" >/dev/null) || fail "cabextract cannot read $demo_cab"
reg="y/requested-files[2008-06-14_10_30].cab.reg"
if [[ -f $reg ]]; then
  KEYS=('HKLM\SYSTEM\CurrentControlSet\Services\wraith' 'HKLM\SYSTEM\CurrentControlSet\Services\wraithdrv'
    'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify\wraithnfy')
  RUN='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
  cleanup() {
    for k in "${KEYS[@]}" 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{8F6B1A3C-2D4E-4B5A-9C7D-1E2F3A4B5C6D}'; do
      w reg delete "$k" /f >/dev/null 2>&1 || true
    done
    w reg delete "$RUN" /v wraith /f >/dev/null 2>&1 || true
    w reg delete "$RUN" /v mscfg /f >/dev/null 2>&1 || true
    rm -rf "$dir"
  }
  trap cleanup EXIT
  cp "$reg" import.reg
  w regedit /s import.reg || fail "regedit refused the export"
  for k in "${KEYS[@]}"; do
    w reg query "$k" >/dev/null 2>&1 || fail "after the import: no key $k"
  done
  got=$(w reg query "$RUN" /v wraith 2>/dev/null | tr -d '\r' | grep -i wraith || true)
  echo "Run\\wraith after the import: $got"
  [[ $got == *'C:\WINDOWS\wraith.exe'* ]] || fail "after the import: the Run value wraith"
  svc=$(w reg query 'HKLM\SYSTEM\CurrentControlSet\Services\wraith' 2>/dev/null | tr -d '\r')
  echo "$svc"
else
  fail "no registry export in the demo archive"
fi

((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
echo "pack under Wine: all checks passed"
