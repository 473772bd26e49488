#!/usr/bin/env bash
# The desktop program's properties dialogs, opened by double-clicking a Quick Scan finding of
# each kind on the demo image: each shows its object; the file, the key and the value are
# deleted after the confirmation (Yes), which disables "&Delete"; the process is only shown.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib/ui_driver.sh
source "$HERE/lib/ui_driver.sh"
ui_setup
ui_needs "File Properties" "the file properties dialog"
ui_needs "Registry Key Properties" "the registry properties dialog"
ui_needs "Process Properties" "the process properties dialog"

ui_start
ui_pass_startup || exit 1
findings=$(ui_main list-items --visible --index 1)

# kind | dialog caption | texts the dialog must show (separated by ;) | confirmation caption
cases=(
  "3|File Properties|\\??\\C:\\WINDOWS\\wraith.exe|Delete file"
  "4|Registry Key Properties|HKEY_LOCAL_MACHINE;\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\;wraithnfy|Delete registry key"
  "5|Registry Value Properties|HKEY_LOCAL_MACHINE;\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\;wraith|Delete registry value"
  "0|Process Properties|1752|"
)
for case in "${cases[@]}"; do
  IFS='|' read -r kind caption want confirm <<<"$case"
  row=$(jq -r --argjson k "$kind" '[.rows | to_entries[] | select(.value.image == $k) | .key] | first // empty' <<<"$findings")
  [[ -n $row ]] || { fail "no Quick Scan finding of kind $kind"; continue; }
  object=$(jq -r ".rows[$row].texts[0]" <<<"$findings")
  echo "--- kind $kind: double-click on $object"
  ui_main list-dblclick --visible --index 1 --row "$row" >/dev/null
  if ! ui wait-window --window "$caption" --class '#32770' --timeout 15 >/dev/null; then
    fail "double-clicking $object opens no \"$caption\" dialog"
    continue
  fi
  texts=$(ui text --window "$caption" --class '#32770')
  visible=$(jq -r '.controls[] | select(.visible) | .text' <<<"$texts")
  IFS=';' read -ra wanted <<<"$want"
  for w in "${wanted[@]}"; do
    grep -qxF -- "$w" <<<"$visible" || fail "\"$caption\" for $object shows no \"$w\"; it shows: $(paste -sd'|' <<<"$visible")"
  done
  ui_shot "properties-kind-$kind" --window "$caption" --class '#32770'
  if [[ -n $confirm ]]; then
    ui click --window "$caption" --class '#32770' --button "&Delete" >/dev/null || fail "\"$caption\" has no enabled \"&Delete\""
    if box=$(ui message-box --window "$confirm" --timeout 10); then
      ui_shot "confirm-kind-$kind" --hwnd "$(jq -r .hwnd <<<"$box")"
      ui click --hwnd "$(jq -r .hwnd <<<"$box")" --button Yes >/dev/null
      ui wait-gone --window "$confirm" --class '#32770' >/dev/null || true
      sleep 0.5
      if err=$(ui message-box --window "Could not delete ${confirm#Delete }" --timeout 1 2>/dev/null); then
        fail "deleting $object failed: $(jq -c .texts <<<"$err")"
        ui click --hwnd "$(jq -r .hwnd <<<"$err")" --button OK >/dev/null || true
      fi
      state=$(ui text --window "$caption" --class '#32770' |
        jq -r '[.controls[] | select(.class == "Button" and .text == "&Delete") | .enabled] | first')
      [[ $state == false ]] || fail "after deleting $object, \"&Delete\" is still enabled"
      if ((kind == 3)); then
        ui text --window "$caption" --class '#32770' | jq -r '.controls[] | select(.visible) | .text' |
          grep -qxF "This file has been deleted!" || fail "the file dialog does not say \"This file has been deleted!\""
      fi
    else
      fail "\"&Delete\" asks no \"$confirm\" question"
    fi
  fi
  ui click --window "$caption" --class '#32770' --button OK >/dev/null
  ui wait-gone --window "$caption" --class '#32770' >/dev/null || fail "\"$caption\" did not close on OK"
done

ui_finish "each properties dialog showed its object and the deletable ones deleted it"
