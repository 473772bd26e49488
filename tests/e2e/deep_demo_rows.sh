#!/usr/bin/env bash
# The Deep Scan of the built-in demo image finds exactly the rows of deep_demo_rows.txt (type,
# full path, finding text, catalogue mark), every finding text of both scanners among them,
# and exits with 1. Missed and extra rows are listed apart.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
u="$UMBRA_ASAN_BUILD/umbrascopec"
[[ -x $u ]] || u="$UMBRA_LINUX_BUILD/umbrascopec"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

if ! "$u" --help 2>/dev/null | grep -Eq '^[[:space:]]+deep([[:space:]]|$)'; then
  echo "skipped: $u has no deep command yet (umbrascopec --help lists none)"
  exit 77
fi

status=0
"$u" deep --json --quiet </dev/null >deep.json 2>deep.err || status=$?
echo "--- deep scan of the demo image: exit status $status"
cat deep.err
((status == 1)) || fail "the demo image must give exit status 1 (something found), got $status"
if ! jq -e '.rows | type == "array"' deep.json >/dev/null 2>&1; then
  echo "FAILED: no row list in the output:"
  cat deep.json
  exit 1
fi

# The rows as "type<TAB>location+object<TAB>details<TAB>mark" lines, a zero character as <NUL>.
# (jq's @tsv would double every backslash, so the fields are joined by hand.)
jq -r '.rows[] | [.type, ((.location + .object) | split("\u0000") | join("<NUL>")), .details,
                  (if .known then "known" else "-" end)] | join("\t")' deep.json >actual.txt
echo "--- the rows as found"
cat actual.txt
grep -v -e '^#' -e '^$' "$HERE/deep_demo_rows.txt" | LC_ALL=C sort >wanted.txt
LC_ALL=C sort actual.txt >found.txt

if [[ -n $(LC_ALL=C sort found.txt | uniq -d) ]]; then
  fail "rows found more than once:"
  LC_ALL=C sort found.txt | uniq -d | sed 's/^/  /'
fi
while IFS=$'\t' read -r type path details mark; do
  fail "missed: $type $path \"$details\" ($mark)"
done < <(LC_ALL=C comm -23 wanted.txt <(uniq found.txt))
while IFS=$'\t' read -r type path details mark; do
  fail "extra: $type $path \"$details\" ($mark)"
done < <(LC_ALL=C comm -13 wanted.txt <(uniq found.txt))

# Each row's image follows its type, and a marked row names its product.
bad_kinds=$(jq -r '.rows[] | select(.kind != ({"Folder": 2, "File": 3, "Key": 4, "Value": 5}[.type])) |
                   "\(.type) \(.location)\(.object): kind \(.kind)"' deep.json)
[[ -z $bad_kinds ]] || fail "rows whose kind does not fit their type: $bad_kinds"
unnamed=$(jq -r '.rows[] | select(.known and (.product // "") == "") | "\(.location)\(.object)"' deep.json)
[[ -z $unnamed ]] || fail "marked rows without a product: $unnamed"

# Every finding text of both scanners is shown at least once.
for text in "File|Invisible to Win32" "Folder|Invisible to Win32" "Reserved filename" "Zero char in filename" \
  "File|No admin in ACL" "Unknown ADS" "Value|Invisible to Win32" "Key|Invisible to Win32" "Zero char in key name" \
  "Zero char in value name" "Key|No admin in ACL" "Could not open key"; do
  if [[ $text == *"|"* ]]; then
    n=$(jq --arg t "${text%%|*}" --arg d "${text#*|}" '[.rows[] | select(.type == $t and .details == $d)] | length' deep.json)
  else
    n=$(jq --arg d "$text" '[.rows[] | select(.details == $d)] | length' deep.json)
  fi
  ((n > 0)) || fail "no row \"$text\""
done

for scan in fileScan registryScan; do
  [[ $(jq ".$scan.finished" deep.json) == true ]] || fail "$scan is not marked finished: $(jq -c ".$scan" deep.json)"
done

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the Deep Scan of the demo image found exactly the $(wc -l <wanted.txt) expected rows"
