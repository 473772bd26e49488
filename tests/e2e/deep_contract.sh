#!/usr/bin/env bash
# The console program's deep contract: the JSON keys and their order, JSON lines as they are
# found with the summary last, exit status 0/1/2, one stderr line for a bad drive or hive, and
# Ctrl+C: the rows so far, a summary marked as stopped, exit 130.
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

# --- a machine with a few findings of both walks ---
cat >found.json <<'JSON'
{"umbrascopeImage": 1,
 "volumes": [{"drive": "C", "type": 3}, {"drive": "D", "type": 3}],
 "files": [{"path": "C:\\Temp\\ghost.sys", "hidden": true},
           {"path": "C:\\Temp\\con.txt"},
           {"path": "C:\\Temp\\plain.txt"},
           {"path": "D:\\Data\\other.sys", "hidden": true}],
 "registry": [{"key": "HKLM\\SOFTWARE\\Umbra", "values": [{"name": "ghost", "type": 1, "data": "x", "hidden": true},
                                                      {"name": "a\u0000b", "type": 1, "data": "y"}]}]}
JSON
run deep --json --image found.json
echo "found: exit $status, stderr: $err"
cat out.txt
[[ $status == 1 && -z $err ]] || fail "an image with findings: exit $status, stderr '$err'"
[[ $(jq -c 'keys_unsorted' out.txt) == '["rows","fileScan","registryScan"]' ]] || fail "top-level keys or their order"
[[ $(jq -c '[.rows[] | keys_unsorted] | unique' out.txt) == '[["type","object","location","details","kind","known","product","explanation"]]' ]] ||
  fail "row keys or their order"
[[ $(jq -c '.fileScan | keys_unsorted' out.txt) == '["folders","files","findings","recheckDrops","seconds","finished"]' ]] ||
  fail "fileScan keys or their order"
[[ $(jq -c '.registryScan | keys_unsorted' out.txt) == '["keys","findings","recheckDrops","seconds","finished"]' ]] ||
  fail "registryScan keys or their order"
[[ $(jq -c '[.fileScan.finished, .registryScan.finished]' out.txt) == '[true,true]' ]] || fail "both walks must have finished"
ghost=$(jq -c '[.rows[] | select(.object == "ghost.sys") | [.type, .location, .details, .kind, .known]]' out.txt)
[[ $ghost == '[["File","C:\\Temp\\","Invisible to Win32",3,false]]' ]] || fail "the hidden file's row: $ghost"
[[ $(jq -c '[.rows[] | select(.object == "con.txt") | .details]' out.txt) == '["Reserved filename"]' ]] ||
  fail "the reserved name's row"
[[ $(jq -c '[.rows[] | select(.object == "ghost" and .type == "Value") | [.location, .kind]]' out.txt) == '[["HKEY_LOCAL_MACHINE\\SOFTWARE\\Umbra\\",5]]' ]] ||
  fail "the hidden value's row"
grep -q '"object": "a\\u0000b"' out.txt || fail "the zero character is not escaped as \\u0000"
[[ $(tr -cd '\0' <out.txt | wc -c) == 0 ]] || fail "a raw zero byte reached stdout"
[[ $(jq '[.rows[] | select(.location | startswith("D:"))] | length' out.txt) == 0 ]] ||
  fail "the default drive list is the system drive alone"
[[ $(jq '.fileScan.findings' out.txt) == $(jq '[.rows[] | select(.kind == 2 or .kind == 3)] | length' out.txt) ]] ||
  fail "fileScan.findings differs from the file rows"
# The two walks run side by side, so rows of files and keys interleave differently from run
# to run: the rows are compared as sets.
json_rows=$(jq -c '.rows | sort' out.txt)

# --- JSON lines: one object per line, the rows of --json, the summary last ---
run deep --json-lines --image found.json
echo "json-lines: exit $status"
cat out.txt
[[ $status == 1 ]] || fail "--json-lines: exit $status"
while IFS= read -r line; do
  jq -e 'type == "object"' <<<"$line" >/dev/null || fail "not one JSON object on a line: $line"
done <out.txt
[[ $(tail -n 1 out.txt | jq -c 'keys_unsorted') == '["summary"]' ]] || fail "the last line is not the summary"
[[ $(tail -n 1 out.txt | jq -c '.summary | keys_unsorted') == '["fileScan","registryScan"]' ]] || fail "summary keys"
[[ $(head -n -1 out.txt | jq -s -c 'sort') == "$json_rows" ]] || fail "the JSON lines' rows differ from --json's"

# --- text: the table, then the two finish lines ---
run deep --image found.json --drives C:,D:
echo "text: exit $status"
cat out.txt
[[ $status == 1 ]] || fail "text: exit $status"
[[ $(head -n 1 out.txt) =~ ^Type\ +Object\ +Location\ +Details ]] || fail "the table's header"
grep -Eq '^File +ghost\.sys +C:\\Temp\\ +Invisible to Win32$' out.txt || fail "the hidden file's line"
grep -Eq '^File +other\.sys +D:\\Data\\ +Invisible to Win32$' out.txt || fail "--drives C:,D: walks D: too"
grep -q 'a<NUL>b' out.txt || fail "the text shows a zero character as <NUL>"
[[ $(tail -n 2 out.txt | head -n 1) =~ ^Finished\ scanning\ filesystem\ in\ [0-9]{2}:[0-9]{2}:[0-9]{2}\.$ ]] ||
  fail "the file scan's finish line"
[[ $(tail -n 1 out.txt) =~ ^Finished\ scanning\ registry\ in\ [0-9]{2}:[0-9]{2}:[0-9]{2}\.$ ]] ||
  fail "the registry scan's finish line"

# --- --verbose: the registry walk's lists of an invisible value on stderr ---
run deep --image found.json --drives "" --verbose --json
echo "verbose: exit $status, stderr:"
cat err.txt
[[ $status == 1 ]] || fail "--verbose: exit $status"
grep -q 'Native value list:' err.txt || fail "--verbose printed no native value list"
[[ $(jq '.rows | map(select(.kind == 2 or .kind == 3)) | length' out.txt) == 0 ]] || fail '--drives "" walks no drive'
run deep --image found.json --drives "" --json
grep -q 'Native value list:' err.txt && fail "verbose lists without --verbose"

# --- a clean machine: exit 0 ---
echo '{"umbrascopeImage": 1, "files": [{"path": "C:\\WINDOWS\\system32\\ok.dll"}]}' >clean.json
run deep --json --image clean.json
echo "clean: exit $status"
cat out.txt
[[ $status == 0 && -z $err ]] || fail "a clean image must give exit 0 and no stderr, got $status, '$err'"
[[ $(jq -c '.rows' out.txt) == '[]' ]] || fail "a clean image has no rows"
(($(jq '.fileScan.folders' out.txt) >= 3)) || fail "the clean walk counted no folders"
(($(jq '.registryScan.keys' out.txt) >= 1)) || fail "the clean walk counted no keys"

# --- errors: exit 2, nothing on stdout, one line on stderr naming what is wrong ---
while IFS='|' read -r args expected; do
  read -ra argv <<<"$args"
  run "${argv[@]}"
  echo "$args -> exit $status: $err"
  [[ $status == 2 ]] || fail "$args: exit $status, expected 2"
  [[ -z $out ]] || fail "$args: something reached stdout: $out"
  [[ $(wc -l <err.txt) == 1 ]] || fail "$args: stderr is not one line"
  [[ -z $expected || $err == "$expected" ]] || fail "$args: expected '$expected'"
done <<'EOF'
deep --image found.json --drives C:,Q:|umbrascopec: --drives: Q: is not a drive of this machine
deep --image found.json --drives C|umbrascopec: --drives: 'C' is not a drive letter and a colon, such as C:
deep --image found.json --drives C:\|umbrascopec: --drives: 'C:\' is not a drive letter and a colon, such as C:
deep --image found.json --json --hives HKEY_LOCAL_MACHINE,HKEY_NOWHERE|umbrascopec: --hives: HKEY_NOWHERE is not a registry hive
deep --image found.json --json --json-lines|
deep --image missing.json|umbrascopec: missing.json: cannot read: No such file or directory
EOF

# --- help: deep on a line of its own, as scripts/run.sh looks for it ---
run --help
grep -Eq '^[[:space:]]+deep([[:space:]]|$)' out.txt || fail "--help does not list deep"
run deep --help
for word in --image --drives --hives --json --json-lines --quiet --verbose; do
  grep -q -- "$word" out.txt || fail "deep --help does not mention $word"
done

# --- Ctrl+C: a long walk stopped, the rows so far and a summary marked stopped, exit 130 ---
# A hidden file in C:\ is reported first; many folders of many files keep the walk busy after it.
folders=2000
python3 - "$folders" >big.json <<'PY'
import json, sys
files = [{"path": "C:\\first.sys", "hidden": True}]
for d in range(int(sys.argv[1])):
    for f in range(200):
        files.append({"path": "C:\\Big\\D%04d\\f%03d.txt" % (d, f)})
print(json.dumps({"umbrascopeImage": 1, "files": files}))
PY
# Emptied first: the loop below must not take an earlier step's output for the first row.
: >out.txt
"$u" deep --image big.json --json-lines --hives "" >out.txt 2>err.txt &
pid=$!
for ((i = 0; i < 12000; i++)); do
  [[ -s out.txt ]] && break
  sleep 0.01
done
[[ -s out.txt ]] || { kill "$pid"; fail "the big walk reported nothing"; }
kill -INT "$pid"
status=0
wait "$pid" || status=$?
echo "interrupted: exit $status, $(wc -l <out.txt) lines, stderr: $(cat err.txt)"
tail -n 1 out.txt
[[ $status == 130 ]] || fail "Ctrl+C must give exit 130, got $status"
[[ $(head -n 1 out.txt | jq -r '.object') == first.sys ]] || fail "the row found before Ctrl+C is missing"
[[ $(tail -n 1 out.txt | jq -c '.summary.fileScan.finished') == false ]] || fail "the summary is not marked stopped"
walked=$(tail -n 1 out.txt | jq '.summary.fileScan.folders')
((walked < folders)) || fail "the walk was not stopped early ($walked folders)"
echo "deep contract: ok"
