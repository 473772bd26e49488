#!/usr/bin/env bash
# The hooks command on the demo image: the patched FindNextFileW of the scanner's own process,
# its JSON, the exit statuses, and the Quick Scan's explanation line.
set -euo pipefail
u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
cd "$UMBRA_E2E_TMP"
{
  want='2020 umbrascopec.exe  kernelbase.dll!FindNextFileW  Code modified in memory (5 bytes)  -> filterkit.dll!FilterFindNextFileW'
  status=0
  got=$("$u" hooks 2>/dev/null) || status=$?
  echo "hooks: status $status: $got"
  [[ $status == 1 && $got == "$want" ]]

  status=0
  json=$("$u" hooks --all --json 2>/dev/null) || status=$?
  [[ $status == 1 ]]
  python3 - "$json" <<'PY'
import json, sys
j = json.loads(sys.argv[1])
assert [(h["process"], h["module"], h["function"], h["targetModule"], h["targetFunction"], h["bytes"][:2])
        for h in j["hooks"]] == [(2020, "kernelbase.dll", "FindNextFileW", "filterkit.dll", "FilterFindNextFileW", "e9")], j["hooks"]
assert 2020 in j["checked"]
assert any(n["process"] == 592 and n["module"] == "" and "cannot open the process" in n["reason"] for n in j["notChecked"])
print("hooks --all --json: one hook, csrss not checked")
PY

  status=0
  "$u" hooks 592 >/dev/null 2>err.txt || status=$?
  echo "hooks 592: status $status: $(cat err.txt)"
  [[ $status == 2 ]] && grep -q 'not checked: process 592: cannot open the process' err.txt

  status=0
  quick=$("$u" quick 2>/dev/null) || status=$?
  [[ $status == 1 ]]
  grep -qx 'the Win32 file listing is filtered: kernelbase!FindNextFileW jumps into filterkit.dll' <<<"$quick"
  status=0
  "$u" quick --json 2>/dev/null | grep -q 'filtered' && exit 1
}
echo "hooks on the demo image: as expected"
