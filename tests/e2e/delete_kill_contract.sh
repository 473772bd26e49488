#!/usr/bin/env bash
# `show`, `delete` and `kill` on a small image: the access list and the process facts in text
# and JSON, deletions that name exactly one object, refusals with exit 2 and the reason, and
# the note that a simulated machine changes for this run only.
set -euo pipefail

u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
fail() { echo "FAILED: $*"; exit 1; }
image="$UMBRA_E2E_TMP/machine.json"
cat >"$image" <<'JSON'
{
  "umbrascopeImage": 1,
  "system": { "version": [5, 1, 2600] },
  "accounts": [ { "sid": "S-1-5-32-544", "name": "Administrators", "domain": "BUILTIN" } ],
  "registry": [
    { "key": "HKLM\\SOFTWARE\\T", "sddl": "O:BAG:SYD:(A;CI;KA;;;BA)",
      "values": [ { "name": "a", "type": 1, "data": "plain" },
                  { "name": "a\u0000b", "type": 1, "data": "zero" } ] },
    { "key": "HKLM\\SOFTWARE\\T\\Leaf" },
    { "key": "HKLM\\SOFTWARE\\T\\Parent\\Child" }
  ],
  "processes": [
    { "pid": 500, "exeFile": "dbg.exe", "imagePath": "C:\\dbg.exe", "debugged": true, "sessionId": 2,
      "threads": [ { "tid": 504 }, { "tid": 508 } ], "heaps": [ { "id": 4096, "flags": 1 } ] },
    { "pid": 600, "exeFile": "locked.exe", "imagePath": "C:\\locked.exe", "openable": false }
  ]
}
JSON
run() { # run EXPECTED_STATUS ARGS...: output in $out, errors in $err
  local want=$1 status=0
  shift
  out=$("$u" "$@" --image "$image" 2>"$UMBRA_E2E_TMP/err") || status=$?
  err=$(<"$UMBRA_E2E_TMP/err")
  echo "\$ umbrascopec $* -> $status"
  [[ -n $out ]] && echo "$out"
  [[ -n $err ]] && echo "stderr: $err"
  [[ $status == "$want" ]] || fail "exit $status, expected $want"
}

run 0 show key 'HKLM\SOFTWARE\T' --json
[[ $(jq -r '.security[0].text' <<<"$out") == 'Administrators (BUILTIN)' ]] || fail "the account node"
[[ $(jq -r '[.security[0].children[].text] | join(",")' <<<"$out") == 'ACE Type,ACE Flags,Rights' ]] ||
  fail "the groups under the account"
[[ $(jq -r '.security[0].children[2].children[0].text' <<<"$out") == KEY_ALL_ACCESS ]] || fail "the right"
run 0 show key 'HKLM\SOFTWARE\T'
grep -q '^security of the key:$' <<<"$out" || fail "the text names the access list"
grep -qx '      KEY_ALL_ACCESS' <<<"$out" || fail "the text indents the tree"
run 0 show value 'HKLM\SOFTWARE\T\a<NUL>b' --json
[[ $(jq -r '.data, .security[0].text' <<<"$out" | tr '\n' ' ') == 'zero Administrators (BUILTIN) ' ]] ||
  fail "the value and the access list of its key"

run 0 show process 500 --json
[[ $(jq -c '[.debugged, .sessionId, (.threads | length), (.heaps | length), .heaps[0].flags]' <<<"$out") =~ ^\[(true|null),(2|null),2,1,\"00000001\"\]$ ]] ||
  fail "process facts"
for k in processId imageName nativeImageName debugged sessionId threads modules heaps; do
  jq -e "has(\"$k\")" <<<"$out" >/dev/null || fail "show process --json lacks $k"
done
run 0 show process 600
grep -qx 'Debugged:     ?' <<<"$out" || fail "a process that cannot be opened shows ? for Debugged"

# Deletions: each names one object and says what it deleted.
run 0 delete value 'HKLM\SOFTWARE\T\a<NUL>b'
[[ $out == 'deleted value HKEY_LOCAL_MACHINE\SOFTWARE\T\a<NUL>b' ]] || fail "what was deleted"
[[ $err == *'changes the simulated machine for this run only'* ]] || fail "the note on the simulated machine"
run 0 delete key 'HKLM\SOFTWARE\T\Leaf' --yes
[[ $out == 'deleted key HKEY_LOCAL_MACHINE\SOFTWARE\T\Leaf' ]] || fail "the key deleted"

# Refusals: exit 2, the object and the reason on standard error, nothing on standard output.
refuse() { # refuse MESSAGE ARGS...
  local want=$1
  shift
  run 2 "$@"
  [[ -z $out ]] || fail "a refusal printed a report"
  [[ $err == *"$want"* ]] || fail "expected: $want"
}
refuse 'cannot delete key HKEY_LOCAL_MACHINE\SOFTWARE\T\Parent: it holds 1 subkey; only a key without subkeys is deleted' \
  delete key 'HKLM\SOFTWARE\T\Parent'
refuse 'cannot delete key HKEY_LOCAL_MACHINE\SOFTWARE\T\Missing: the key does not exist' delete key 'HKLM\SOFTWARE\T\Missing'
refuse 'the location names no key (it ends with \)' delete key 'HKLM\SOFTWARE\T\Parent\'
refuse 'a key path holding a zero character is not opened' delete key 'HKLM\SOFTWARE\T\a<NUL>b'
refuse 'cannot delete value HKEY_LOCAL_MACHINE\SOFTWARE\T\a<NUL>c: no such value in the native view' \
  delete value 'HKLM\SOFTWARE\T\a<NUL>c'
refuse 'not a registry key' delete key 'SOFTWARE'
refuse 'the native view reaches HKEY_LOCAL_MACHINE' delete key 'HKCR\T'

run 0 kill 500
[[ $out == 'ended process 500 (C:\dbg.exe)' ]] || fail "what was ended"
[[ $err == *'changes the simulated machine for this run only'* ]] || fail "the note on the simulated machine"
refuse 'cannot end process 600: it cannot be opened: Access is denied' kill 600
refuse 'cannot end process 0: process 0 is the system' kill 0
refuse 'cannot end process 777: it cannot be opened' kill 777
refuse 'PID' kill
echo "show, delete and kill: ok"
