#!/usr/bin/env bash
# The console program's quick contract: exit status 0/1/2, the JSON shape, UTF-8 with zero
# characters escaped, the demo image said on stderr, and one stderr line for every error.
set -euo pipefail

u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
fail() { echo "FAILED: $*"; exit 1; }

# run ARGS...: sets status, out (stdout) and err (stderr) of one run.
run() {
  status=0
  "$u" "$@" >out.txt 2>err.txt || status=$?
  out=$(cat out.txt)
  err=$(cat err.txt)
}

# --- the demo image: something is found, and the program says which machine it scanned ---
run quick --json
echo "demo: exit $status, stderr: $err"
[[ $status == 1 ]] || fail "the demo image must give exit 1, got $status"
[[ $err == 'umbrascopec: no --image given: scanning the built-in demo image' ]] || fail "stderr: $err"
shape=$(jq -c '[keys, (.indicators | length),
                 ([.indicators[] | keys] | unique),
                 ([.indicators[].findings[] | keys] | unique)]' out.txt)
echo "shape: $shape"
[[ $shape == '[["indicators"],6,[["description","details","findings","result","state"]],[["kind","text"]]]' ]] ||
  fail "the JSON shape differs from the contract"
descriptions=$(jq -r '[.indicators[].description] | join("|")' out.txt)
[[ $descriptions == 'Files in Windows folder|Files in System folder|Global run entries|Winlogon entries|Invisible processes (from handles)|Invisible processes (from threads)' ]] ||
  fail "indicators or their order: $descriptions"
[[ $(jq -c '[.indicators[].state]' out.txt) == '[1,1,1,1,1,1]' ]] || fail "every demo indicator should find something"
[[ $(jq -c '[.indicators[].findings[] | select(.text == "C:\\WINDOWS\\wraith.exe") | .kind]' out.txt) == '[3]' ]] ||
  fail "the hidden wraith.exe is not a file finding"

run quick
[[ $status == 1 && $out == *'[FOUND] Files in Windows folder'* ]] || fail "text output of the demo: $out"

# --- an image of our own: zero characters and non-ASCII names in the output ---
cat >odd.json <<'EOF'
{"umbrascopeImage": 1,
 "files": [{"path": "C:\\WINDOWS\\caf\u00e9.sys", "hidden": true}, {"path": "C:\\WINDOWS\\system32\\ok.dll"}],
 "registry": [{"key": "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
               "values": [{"name": "a\u0000b", "type": 1, "data": "x"}]}]}
EOF
run quick --json --image odd.json
echo "odd image: exit $status"
cat out.txt
[[ $status == 1 && -z $err ]] || fail "an image with findings: exit $status, stderr '$err'"
grep -q 'Run\\\\a\\u0000b"' out.txt || fail "the zero character is not escaped as \\u0000 in the JSON"
[[ $(tr -cd '\0' <out.txt | wc -c) == 0 ]] || fail "a raw zero byte reached stdout"
[[ $(jq -r '.indicators[0].findings[0].text' out.txt) == 'C:\WINDOWS\café.sys' ]] ||
  fail "a non-ASCII name is not UTF-8 in the JSON"
run quick --image odd.json
[[ $out == *'Run\a<NUL>b'* ]] || fail "the text output does not show the zero character as <NUL>"

# --- a clean machine: exit 0, nothing on stderr ---
echo '{"umbrascopeImage": 1, "files": [{"path": "C:\\WINDOWS\\system32\\ok.dll"}]}' >clean.json
run quick --json --image clean.json
echo "clean image: exit $status"
[[ $status == 0 && -z $err ]] || fail "a clean image must give exit 0 and no stderr, got $status, '$err'"
[[ $(jq -c '[.indicators[].state] | unique' out.txt) == '[2]' ]] || fail "a clean image's states"

# --- errors: exit 2, nothing on stdout, one line on stderr naming what and why ---
printf '{"umbrascopeImage": 1,\n  "files": [{"path": "C:\\\\a", "size": "12"}]}' >bad-type.json
printf '{"umbrascopeImage": 1,\n  "files": [}' >bad-syntax.json
printf '{"umbrascopeImage": 1, "files": [{"path": "C:\\\\a\\nb"}, {"path": "C:\\\\A\\nB"}]}' >bad-newline.json
printf '{"umbrascopeImage": 1, "system": {"codePage": 932}}' >bad-codepage.json
mkdir -p folder.json
truncate -s 1025M huge.json  # sparse: no disk space, and never read
while IFS='|' read -r args expected; do
  read -ra argv <<<"$args"
  run "${argv[@]}"
  echo "$args -> exit $status: $err"
  [[ $status == 2 ]] || fail "$args: exit $status, expected 2"
  [[ -z $out ]] || fail "$args: something reached stdout: $out"
  [[ $(wc -l <err.txt) == 1 ]] || fail "$args: stderr is not one line"
  [[ $err == "$expected" ]] || fail "$args: expected '$expected'"
done <<'EOF'
quick --json --image bad-type.json|umbrascopec: bad-type.json: files[0].size: expected a number, got a string
quick --image bad-syntax.json|umbrascopec: bad-syntax.json: line 2, column 13: syntax error while parsing value - unexpected '}'; expected '[', '{', or a literal
quick --image bad-newline.json|umbrascopec: bad-newline.json: files[1].path: duplicate path C:\A\u000AB
quick --image bad-codepage.json|umbrascopec: bad-codepage.json: system.codePage: code page 932 is not supported (1252 or 65001)
quick --json --image missing.json|umbrascopec: missing.json: cannot read: No such file or directory
quick --image folder.json|umbrascopec: folder.json: cannot read: Is a directory
quick --image /dev/zero|umbrascopec: /dev/zero: not a regular file
quick --image huge.json|umbrascopec: huge.json: larger than the 1024 MiB an image may have
|umbrascopec: no command given (see umbrascopec --help)
quick --colour|umbrascopec: The following argument was not expected: --colour (see umbrascopec --help)
quick --image|umbrascopec: --image: 1 required TEXT missing (see umbrascopec --help)
EOF

# A report that cannot be written is an error, not a result.
status=0
"$u" quick --json --image odd.json >/dev/full 2>err.txt || status=$?
echo "/dev/full: exit $status: $(cat err.txt)"
[[ $status == 2 ]] || fail "a lost report must give exit 2, got $status"

# --- version and help ---
run --version
[[ $status == 0 && $out =~ ^umbrascopec\ [0-9]+\.[0-9]+ ]] || fail "--version: $status '$out'"
run --help
[[ $status == 0 && $out == *quick* ]] || fail "--help: $status"
run quick --help
[[ $status == 0 && $out == *--image* && $out == *--json* ]] || fail "quick --help: $status"
echo "quick contract: ok"
