# shellcheck shell=bash
# Sourced, not run: runs the Deep Scan of a Windows build of umbrascopec under Wine with --json
# and reads its report (rows and the two scan summaries). Failures are counted in $failures and
# printed with "FAIL:", so a script runs every check and ends with one verdict.

failures=${failures:-0}
if ! declare -F fail >/dev/null; then
  fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
  }
fi

# deep_run LABEL FILE COMMAND...: runs COMMAND (ending in "deep ... --json") with its report in
# FILE and its standard error in FILE.err; sets $deep_status and $deep_seconds (wall time).
# A report that is not the deep scan's JSON is a failure and returns 1.
deep_run() {
  local label=$1 file=$2 start end
  shift 2
  start=$(date +%s.%N)
  deep_status=0
  "$@" </dev/null >"$file" 2>"$file.err" || deep_status=$?
  end=$(date +%s.%N)
  deep_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  echo "--- deep scan $label: exit status $deep_status after $deep_seconds s"
  tr -d '\r' <"$file.err"
  # Slurped, so that an empty report (which jq reads as no input at all) fails too.
  if ! jq -e -s 'length == 1 and (.[0] | (.rows | type == "array") and (.fileScan | type == "object") and
                 (.registryScan | type == "object"))' "$file" >/dev/null 2>&1; then
    fail "the deep scan $label printed no report with rows, fileScan and registryScan:"
    head -c 4000 "$file"
    return 1
  fi
  jq -r '.fileScan as $f | .registryScan as $r |
    "file walk: \($f.folders) folders, \($f.files) entries, \($f.findings) findings, \($f.recheckDrops) re-check drops, \($f.seconds) s, finished \($f.finished)",
    "registry walk: \($r.keys) keys, \($r.findings) findings, \($r.recheckDrops) re-check drops, \($r.seconds) s, finished \($r.finished)",
    "rows by finding: \([.rows | group_by(.details)[] | "\(.[0].details) \(length)"] | join(", "))"' "$file"
  return 0
}

# deep_check_finished LABEL FILE: both walks ran to their end (not stopped).
deep_check_finished() {
  local label=$1 file=$2 walk
  for walk in fileScan registryScan; do
    jq -e --arg w "$walk" '.[$w].finished == true' "$file" >/dev/null ||
      fail "the deep scan $label: $walk did not finish ($(jq -c --arg w "$walk" '.[$w]' "$file"))"
  done
}

# deep_rows FILE DETAILS: the rows with that finding text as "Type<TAB>full path" lines (the
# full path is Location followed by Object), sorted.
deep_rows() {
  jq -r --arg d "$2" '.rows[] | select(.details == $d) | "\(.type)\t\(.location)\(.object)"' "$1" |
    tr -d '\r' | LC_ALL=C sort
}

# deep_compare LABEL WHAT EXPECTED ACTUAL: both sorted "Type<TAB>path" lists; every line missing
# from ACTUAL and every line too many is a failure of its own.
deep_compare() {
  local label=$1 what=$2 expected=$3 actual=$4 type path
  while IFS=$'\t' read -r type path; do
    [[ -n $type ]] || continue
    fail "the deep scan $label missed \"$what\" for the $type $path"
  done < <(LC_ALL=C comm -23 <(echo "$expected") <(echo "$actual"))
  while IFS=$'\t' read -r type path; do
    [[ -n $type ]] || continue
    fail "the deep scan $label reported \"$what\" for the $type $path"
  done < <(LC_ALL=C comm -13 <(echo "$expected") <(echo "$actual"))
}

# deep_json_number FILE FILTER: one number of the report (0 when absent).
deep_json_number() { jq -r "($2) // 0" "$1"; }
