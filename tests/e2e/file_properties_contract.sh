#!/usr/bin/env bash
# `show file` and `delete file` on a system image: the texts, the JSON keys, exit codes and the
# refusals of paths that name no file or several.
set -euo pipefail

C="$UMBRA_LINUX_BUILD/umbrascopec"
fail() {
  echo "FAILED: $*"
  exit 1
}

cat >image.json <<'JSON'
{"umbrascopeImage": 1,
 "files": [{"path": "C:\\d\\ghost.sys", "size": 5000000000, "hidden": true,
            "streams": [{"name": "extra", "content": "MZ"}]},
           {"path": "C:\\d\\con", "content": "c"},
           {"path": "C:\\d\\a\u0000b", "content": "z"},
           {"path": "C:\\d\\keep.txt", "content": "k"},
           {"path": "C:\\d\\sub", "folder": true}]}
JSON

json=$("$C" show file 'C:\d\ghost.sys' --image image.json --json)
for key in fileName size allocationSize sizeText sizeOnDiskText created accessed written changed views sddl security streams attributes; do
  jq -e "has(\"$key\")" <<<"$json" >/dev/null || fail "show file --json lacks $key: $json"
done
jq -e '.sizeText == "4 GB (5000000000 bytes)" and .fileName == "\\??\\C:\\d\\ghost.sys" and .views.native' \
  <<<"$json" >/dev/null || fail "properties: $json"
jq -e '.security[0].children | map(.text) | index("Rights") != null' <<<"$json" >/dev/null ||
  fail "no Rights group in the security tree: $json"
text=$("$C" show file 'C:\d\ghost.sys' --image image.json)
echo "$text"
grep -q '^sizeText: 4 GB (5000000000 bytes)$' <<<"$text" || fail "no size text"
grep -q '^security: $' <<<"$text" || fail "no security tree"

# Refusals: exit 2, nothing deleted.
for path in 'C:\d\missing' 'C:\d\*.sys' 'd\keep.txt' 'C:\d\sub'; do
  status=0
  err=$("$C" delete file "$path" --image image.json 2>&1 >/dev/null) || status=$?
  echo "$path -> $status: $err"
  ((status == 2)) || fail "$path: exit status $status"
  grep -q 'nothing deleted' <<<"$err" || fail "$path: $err"
done

# The file named con itself goes, natively; the note says the image is not changed on disk.
status=0
out=$("$C" delete file 'C:\d\con' --image image.json 2>err.txt) || status=$?
cat err.txt
echo "$out"
((status == 0)) || fail "delete con: exit status $status"
grep -q '^deleted: C:\\d\\con (native)$' <<<"$out" || fail "no deletion line: $out"
grep -q '^This file has been deleted!$' <<<"$out" || fail "no status text: $out"
grep -q 'simulated machine for this run only' err.txt || fail "no note about the simulated machine"

status=0
out=$("$C" delete file 'C:\d\a<NUL>b' --image image.json --yes) || status=$?
((status == 0)) || fail "delete a<NUL>b: exit status $status"
grep -q '^deleted: C:\\d\\a<NUL>b (native)$' <<<"$out" || fail "zero-character name: $out"
echo "show/delete file contract holds"
