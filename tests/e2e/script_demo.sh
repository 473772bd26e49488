#!/usr/bin/env bash
# The removal script of the built-in demo image in all three dialects, compared exactly with
# script_demo_<type>.txt (the scripts as standard output gives them: UTF-8, "\n" line ends);
# then --out: CR LF line ends, an existing file never replaced without --force, nothing half
# written, and the exit statuses (0 no entries, 1 entries, 2 error).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# run ARGS...: sets status; stdout in out.txt, stderr in err.txt.
run() {
  status=0
  "$u" "$@" >out.txt 2>err.txt || status=$?
}

advice='Please do not blindly use this script; in case of any doubt, visit '
for type in ferrox avenger combofix; do
  run script --type "$type"
  echo "--- script --type $type: exit status $status"
  cat err.txt
  ((status == 1)) || fail "$type: the demo image's script has entries, so exit 1, got $status"
  grep -q "^$advice" err.txt || fail "$type: no advice on standard error"
  if ! diff -u "$HERE/script_demo_$type.txt" out.txt; then
    fail "$type: the script differs from script_demo_$type.txt (diff above: - expected, + found)"
  fi
  [[ $(tr -cd '\0' <out.txt | wc -c) == 0 ]] || fail "$type: a raw zero byte reached standard output"
done

# The default dialect is the include-file one; --quiet leaves out the advice.
run script --quiet
cmp -s out.txt "$HERE/script_demo_ferrox.txt" || fail "script without --type is not the ferrox script"
[[ $(cat err.txt) == 'umbrascopec: no --image given: scanning the built-in demo image' ]] ||
  fail "--quiet: standard error holds more than the demo note: $(cat err.txt)"

# --- --out: the same lines ended by CR LF, nothing on standard output ---
sed 's/$/\r/' "$HERE/script_demo_avenger.txt" >avenger-crlf.txt
mkdir outdir
run script --type avenger --quiet --out outdir/fix.txt
((status == 1)) || fail "--out: exit status $status, want 1"
[[ ! -s out.txt ]] || fail "--out: the script also went to standard output"
cmp -s outdir/fix.txt avenger-crlf.txt || fail "--out: the file is not the Avenger script with CR LF line ends"
[[ $(ls -A outdir) == fix.txt ]] || fail "--out: files left beside the script: $(ls -A outdir)"

# An existing file is never replaced without --force, and the run says so before it scans.
cp outdir/fix.txt before.txt
run script --type combofix --quiet --out outdir/fix.txt
echo "--- --out onto an existing file: exit status $status: $(cat err.txt)"
((status == 2)) || fail "--out onto an existing file: exit status $status, want 2"
grep -q 'outdir/fix.txt' err.txt || fail "the message does not name the file: $(cat err.txt)"
cmp -s outdir/fix.txt before.txt || fail "the existing file was changed without --force"
[[ $(ls -A outdir) == fix.txt ]] || fail "a refused --out left files behind: $(ls -A outdir)"

run script --type combofix --quiet --out outdir/fix.txt --force
((status == 1)) || fail "--force: exit status $status, want 1"
sed 's/$/\r/' "$HERE/script_demo_combofix.txt" | cmp -s - outdir/fix.txt || fail "--force did not replace the file"
[[ $(ls -A outdir) == fix.txt ]] || fail "--force left files behind: $(ls -A outdir)"

# A folder that does not exist: an error naming the file, and nothing written anywhere.
run script --quiet --out missing/fix.txt
((status == 2)) || fail "--out into a missing folder: exit status $status, want 2"
grep -q 'missing/fix.txt' err.txt || fail "the message does not name the file: $(cat err.txt)"
[[ ! -e missing ]] || fail "a folder was created for the script"

# --- exit statuses ---
echo '{"umbrascopeImage": 1, "files": [{"path": "C:\\WINDOWS\\system32\\ok.dll"}]}' >clean.json
run script --image clean.json --type combofix --quiet
((status == 0)) || fail "a clean image: exit status $status, want 0 ($(cat err.txt))"
printf 'File::\n\nFolder::\n\nRegistry::\n\n\n' | cmp -s - out.txt || fail "a clean image's ComboFix script: $(cat out.txt)"
run script --type powershell
((status == 2)) || fail "an unknown --type: exit status $status, want 2"
run script --drives Q9
((status == 2)) || fail "a bad --drives: exit status $status, want 2"
[[ ! -s out.txt ]] || fail "a bad --drives still printed a script"

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "script: the three dialects of the demo image and --out behave as expected"
