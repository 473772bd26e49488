#!/usr/bin/env bash
# The archive of the built-in demo image's Deep Scan findings: cabextract lists every requested
# file, the registry export and the log, and extracts them with the contents the image gives;
# what cannot be added is in the log and on standard error (exit 1); a second pack in the same
# minute gets the next number and leaves the first alone; a missing folder is an error (exit 2)
# that leaves nothing.
set -euo pipefail

u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
command -v cabextract >/dev/null || { echo "cabextract is not installed"; exit 77; }
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

mkdir out
status=0
"$u" pack --quiet --out out >path.txt 2>err.txt || status=$?
echo "--- pack: exit $status, standard output: $(cat path.txt)"
cat err.txt
name='requested-files[2008-06-14_10_30].cab'
[[ $status == 1 ]] || fail "some demo findings cannot be added (a zero character in a name), so exit 1, got $status"
[[ $(cat path.txt) == "$PWD/out/$name" ]] || fail "standard output is not the archive's path"
[[ $(ls out) == "$name" ]] || fail "the folder holds more than the archive: $(ls out)"

cabextract -l "out/$name" | tee listing.txt
# Every file the demo rows request, their native copies for reserved names, then the export and the log.
expected=(
  'C:\WINDOWS\system32:wraithcfg'
  'C:\WINDOWS\wraith.exe'
  'C:\WINDOWS\wraith.ini'
  'C:\WINDOWS\wraithcache\keylog.dat'
  'C:\WINDOWS\system32\copied-lpt9.sys'
  'C:\WINDOWS\system32\mscfg32.dat'
  'C:\WINDOWS\system32\wraithdll.dll'
  'C:\WINDOWS\system32\drivers\wraithdrv.sys'
  'C:\Temp\Umbrascope:adstest.txt'
  'C:\Temp\Umbrascope\copied-CON.txt'
  'C:\Temp\Umbrascope\FileWithUnknownADS.txt:Dumdideldei'
  'C:\Temp\Umbrascope\FolderWithADS:Dumdideldei'
  'C:\Temp\Umbrascope\copied-lpt1'
  "$name.reg"
  "$name.log"
)
# cabextract shows a stored "C:\a\b" as C:/a/b.
for f in "${expected[@]}"; do
  grep -qF "| ${f//\\//}" listing.txt || fail "the listing lacks $f"
done

mkdir x
(cd x && cabextract -q "../out/$name" >/dev/null)
# cabextract writes a stored "C:\a\b" as C:/a/b.
file() { printf '%s' "x/$(tr '\\' / <<<"$1")"; }
check() {  # check STORED-NAME EXPECTED-CONTENT
  local got
  got=$(cat "$(file "$1")" 2>/dev/null | od -An -c | tr -s ' ') || true
  local want
  want=$(printf '%b' "$2" | od -An -c | tr -s ' ')
  [[ $got == "$want" ]] || fail "$1: the extracted content is not the image's"
}
check 'C:\WINDOWS\wraith.ini' '[wraith]\r\nhide=wraith*\r\nservice=wraith\r\ndriver=wraithdrv\r\n'
check 'C:\Temp\Umbrascope\copied-CON.txt' 'reserved name\r\n'
check 'C:\Temp\Umbrascope\FileWithUnknownADS.txt:Dumdideldei' 'hidden data\r\n'
check 'C:\Temp\Umbrascope:adstest.txt' 'stream on a folder\r\n'
[[ $(stat -c %s "$(file 'C:\WINDOWS\wraithcache\keylog.dat')") == 40960 ]] || fail "keylog.dat is not 40960 bytes"
[[ $(head -c 2 "$(file 'C:\WINDOWS\wraith.exe')") == MZ ]] || fail "wraith.exe is not the image's program"

log="x/$name.log"
echo "--- the log"
tr -d '\r' <"$log"
grep -q $'^Requested file archive at 2008-06-14 10:30:00\r$' "$log" || fail "the log's first line"
grep -qF '+ added: C:\Temp\Umbrascope\CON.txt (as: C:\Temp\Umbrascope\copied-CON.txt)' "$log" ||
  fail "the log does not say CON.txt went in as its copy"
grep -qF 'Registry Value, Invisible to Win32: HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run\wraith' \
  "$log" || fail "the log's header lacks the Run value"
# Every file that could not be added is on standard error too.
while IFS= read -r line; do
  path=${line#- could not add: }
  path=${path%$'\r'}
  grep -qF "could not add $path" err.txt || grep -qF "could not add ${path//\\0/<NUL>}" err.txt ||
    fail "standard error does not name $path"
done < <(grep -a '^- could not add: ' "$log")

reg="x/$name.reg"
echo "--- the registry export"
tr -d '\r' <"$reg"
head -1 "$reg" | grep -q '^REGEDIT4' || fail "the export does not begin with REGEDIT4"
grep -qF '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\wraith]' "$reg" || fail "the export lacks Services\\wraith"
grep -qF '"wraith"="C:\\WINDOWS\\wraith.exe /start"' "$reg" || fail "the export lacks the Run value wraith"
[[ $(tr -cd '\0' <"$reg" | wc -c) == 0 ]] || fail "a raw zero byte in the export"

# The same minute again: the next number; the first archive stays as it was.
cp "out/$name" first.cab
status=0
"$u" pack --quiet --out out >path.txt 2>/dev/null || status=$?
[[ $status == 1 && $(cat path.txt) == "$PWD/out/requested-files[2008-06-14_10_30]-2.cab" ]] ||
  fail "the second pack: exit $status, $(cat path.txt)"
cmp -s first.cab "out/$name" || fail "the second pack changed the first archive"
cabextract -l "out/requested-files[2008-06-14_10_30]-2.cab" | grep -qF "| requested-files[2008-06-14_10_30]-2.cab.log" ||
  fail "the second archive's log is not named after it"

# A folder that is not there: exit 2, said before the scan, nothing written.
status=0
"$u" pack --quiet --out missing >path.txt 2>err.txt || status=$?
[[ $status == 2 && ! -e missing && ! -s path.txt ]] || fail "--out missing: exit $status"
grep -q 'missing' err.txt || fail "--out missing: the error does not name the folder: $(cat err.txt)"

((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
echo "pack on the demo image: all checks passed"
