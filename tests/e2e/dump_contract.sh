#!/usr/bin/env bash
# `dump PID --out FILE|DIR` on a system image: the rebuilt file layout, the proposed name in a
# folder, the message and exit 2 when the image cannot be dumped, and never an overwrite.
set -euo pipefail

u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
fail() { echo "FAILED: $*"; exit 1; }
cd "$UMBRA_E2E_TMP"

python3 "$UMBRA_ROOT/tests/e2e/lib/small_pe.py" expected.bin memory.bin
memory=$(base64 -w0 memory.bin)
cat >machine.json <<JSON
{
  "umbrascopeImage": 1,
  "processes": [
    { "pid": 1234, "imagePath": "C:\\\\Tools\\\\tool.exe",
      "modules": [ { "name": "tool.exe", "path": "C:\\\\Tools\\\\tool.exe", "base": "0x1000000", "size": 16384 } ],
      "memory": [ { "base": "0x1000000", "contentBase64": "$memory" },
                  { "base": "0x2000000", "contentBase64": "$(printf 'heap' | base64)" } ] },
    { "pid": 77, "exeFile": "junk.exe",
      "modules": [ { "name": "junk.exe", "path": "C:\\\\junk.exe", "base": "0x400000", "size": 4096 } ],
      "memory": [ { "base": "0x400000", "contentBase64": "$(head -c 4096 /dev/zero | tr '\0' 'Z' | base64 -w0)" } ] },
    { "pid": 88, "imagePath": "C:\\\\locked.exe", "openable": false }
  ]
}
JSON

# run NAME EXPECTED-STATUS ARGS...: runs one dump, keeps its output and error, checks the status.
run() {
  local name=$1 want=$2
  shift 2
  status=0
  "$u" dump "$@" --image machine.json >"$name.out" 2>"$name.err" || status=$?
  echo "$name: exit $status; out: $(cat "$name.out"); err: $(cat "$name.err")"
  [[ $status == "$want" ]] || fail "$name: exit $status, expected $want"
}

run to-file 0 1234 --out dump.bin
cmp dump.bin expected.bin || fail "the dump is not the image's file layout"
[[ $(cat to-file.out) == dump.bin ]] || fail "the report names the file written"
tail -c 512 dump.bin | cmp -s - <(head -c 512 /dev/zero) || fail "the last section's raw tail is not zeros"

cp dump.bin before.bin
run again 2 1234 --out dump.bin
grep -q 'dump.bin already exists' again.err || fail "the refusal names the file"
cmp dump.bin before.bin || fail "an existing file was changed"

mkdir folder
run to-folder 0 1234 --out folder
cmp folder/tool.exe.bin expected.bin || fail "the folder does not hold tool.exe.bin, the proposed name"
run folder-again 2 1234 --out folder
grep -q 'tool.exe.bin already exists' folder-again.err || fail "the second dump into the folder must refuse"

for pid in 77 88 4242; do
  run "pid-$pid" 2 "$pid" --out "failed-$pid.bin"
  grep -qx "umbrascopec: Could not dump the memory contents of process $pid to a file." "pid-$pid.err" ||
    fail "process $pid: not the failure message"
  [[ ! -e failed-$pid.bin ]] || fail "process $pid: a failed dump left a file"
done

status=0
"$u" dump 1234 --image machine.json >/dev/null 2>missing.err || status=$?
[[ $status == 2 ]] && grep -q -- '--out' missing.err || fail "dump without --out must exit 2 naming --out"
echo "dump contract: ok"
