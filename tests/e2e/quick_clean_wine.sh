#!/usr/bin/env bash
# On a clean Wine system the Quick Scan prints its six rows, all clean, each row that counts what
# it tested with a non-zero count, and exits 0.
set -euo pipefail

status=0
wine "$UMBRA_MINGW_BUILD/umbrascopec.exe" quick </dev/null | tr -d '\r' >"$UMBRA_E2E_TMP/quick.txt" || status=$?
cat "$UMBRA_E2E_TMP/quick.txt"
[[ $status -eq 0 ]] || { echo "expected exit status 0, got $status"; exit 1; }

# Row caption, then what its details must say (empty: the row prints no count).
rows=(
  'Files in Windows folder|[1-9][0-9]* files were tested\.'
  'Files in System folder|[1-9][0-9]* files were tested\.'
  'Global run entries|'
  'Winlogon entries|'
  'Invisible processes (from handles)|([1-9][0-9]* processes tested|[1-9][0-9]* handle process IDs for [1-9][0-9]* processes)\.'
  'Invisible processes (from threads)|([1-9][0-9]* processes tested|[1-9][0-9]* thread process IDs for [1-9][0-9]* processes)\.'
)
mapfile -t printed < <(grep -E '^\[(FOUND|clean|not run)\] ' "$UMBRA_E2E_TMP/quick.txt")
[[ ${#printed[@]} -eq ${#rows[@]} ]] || { echo "expected ${#rows[@]} rows, got ${#printed[@]}"; exit 1; }
for i in "${!rows[@]}"; do
  caption=${rows[$i]%%|*} details=${rows[$i]#*|} line=${printed[$i]}
  [[ $line == "[clean] $caption"* ]] || { echo "row $((i + 1)): expected a clean '$caption', got: $line"; exit 1; }
  if [[ -n $details ]]; then
    grep -Eq " $details\$" <<<"$line" || { echo "row $((i + 1)): no count of what was tested: $line"; exit 1; }
  fi
done
echo "six clean rows"
