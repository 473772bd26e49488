#!/usr/bin/env bash
# Under Wine the two process rows of the Quick Scan find nothing and test a non-zero number of processes.
set -euo pipefail

status=0
wine "$UMBRA_MINGW_BUILD/umbrascopec.exe" quick </dev/null | tr -d '\r' >"$UMBRA_E2E_TMP/quick.txt" || status=$?
cat "$UMBRA_E2E_TMP/quick.txt"
[[ $status -eq 0 ]] || { echo "expected exit status 0, got $status"; exit 1; }
for row in 'Invisible processes (from handles)' 'Invisible processes (from threads)'; do
  line=$(grep -F "$row" "$UMBRA_E2E_TMP/quick.txt") || { echo "no row: $row"; exit 1; }
  [[ $line == "[clean] "* ]] || { echo "not clean: $line"; exit 1; }
  grep -Eq ' [1-9][0-9]* (processes tested|(handle|thread) process IDs for [1-9][0-9]* processes)\.$' <<<"$line" ||
    { echo "no count of tested processes: $line"; exit 1; }
done
