#!/usr/bin/env bash
# `show file` lists a file's streams: on the demo image and on an image whose stream names need
# care (a zero character, a letter beyond ASCII), the same natively and in the Windows build.
set -euo pipefail

LINUX="$UMBRA_LINUX_BUILD/umbrascopec"
EXE="$UMBRA_MINGW_BUILD/umbrascopec.exe"
w() { timeout --kill-after=10 300 wine "$@" </dev/null; }

fail() {
  echo "FAILED: $*"
  exit 1
}

status=0
demo=$("$LINUX" show file 'C:\Temp\Umbrascope\FileWithUnknownADS.txt' 2>/dev/null) || status=$?
echo "$demo"
((status == 0)) || fail "exit status $status"
grep -Eq '^  \(unnamed\) +13  Standard$' <<<"$demo" || fail "no main stream of 13 bytes"
grep -Eq '^  :Dumdideldei:\$DATA +13  Alternate$' <<<"$demo" || fail "no alternate stream Dumdideldei"

known=$("$LINUX" show file 'C:\Documents and Settings\Alice\My Documents\tools_setup.exe' --json 2>/dev/null)
jq -e '.streams[1] == {"name": ":Zone.Identifier:$DATA", "size": 26, "kind": 4, "kindName": "Alternate",
                      "known": true}' <<<"$known" >/dev/null || fail "Zone.Identifier not listed as known: $known"

cat >image.json <<'JSON'
{"umbrascopeImage": 1,
 "files": [{"path": "C:\\x\\z.txt", "content": "abc",
            "streams": [{"name": "a\u0000b", "size": 7}, {"name": "caf\u00e9", "content": "q"}]}]}
JSON
text=$("$LINUX" show file 'C:\x\z.txt' --image image.json)
echo "$text"
grep -Eq '^  :a<NUL>b:\$DATA +7  Alternate$' <<<"$text" || fail "zero character not shown escaped"
json=$("$LINUX" show file 'C:\x\z.txt' --image image.json --json)
jq -e '[.streams[].name] == ["", ":a\u0000b:$DATA", ":café:$DATA"]' <<<"$json" >/dev/null ||
  fail "stream names in JSON: $json"

# The Windows build reads the same image through the same code.
wine_json=$(w "$EXE" show file 'C:\x\z.txt' --image image.json --json | tr -d '\r')
wine_streams=$(jq -c .streams <<<"$wine_json")
[[ $wine_streams == "$(jq -c .streams <<<"$json")" ]] ||
  fail "the Windows build lists other streams: $wine_json"
echo "native and Windows builds agree"
