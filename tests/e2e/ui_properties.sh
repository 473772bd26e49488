#!/usr/bin/env bash
# The desktop program's properties dialogs, opened by double-clicking a Quick Scan finding of
# each kind on the demo image: each shows its object; a file, a key and a value are deleted
# after the confirmation (Yes), which disables "&Delete"; the file of a running process is not,
# and the dialog says so; the process is only shown.
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

# finding | dialog caption | texts it must show (;) | confirmation caption | outcome of Yes
# wraith.exe is the image of the running process 1752: its deletion must fail and say so.
cases=(
  "C:\\WINDOWS\\wraith.ini|File Properties|\\??\\C:\\WINDOWS\\wraith.ini|Delete file|deleted"
  "C:\\WINDOWS\\wraith.exe|File Properties|\\??\\C:\\WINDOWS\\wraith.exe|Delete file|locked"
  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\wraithnfy|Registry Key Properties|HKEY_LOCAL_MACHINE;\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\;wraithnfy|Delete registry key|deleted"
  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\wraith|Registry Value Properties|HKEY_LOCAL_MACHINE;\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\;wraith|Delete registry value|deleted"
  "1752|Process Properties|1752;C:\\WINDOWS\\wraith.exe||"
)
dialog=(--class '#32770')
for case in "${cases[@]}"; do
  IFS='|' read -r object caption want confirm outcome <<<"$case"
  row=$(jq -r --arg o "$object" '[.rows | to_entries[] | select(.value.texts[0] == $o) | .key] | first // empty' <<<"$findings")
  [[ -n $row ]] || { fail "no Quick Scan finding $object"; continue; }
  echo "--- double-click on $object"
  ui_main list-dblclick --visible --index 1 --row "$row" >/dev/null
  if ! ui wait-window --window "$caption" "${dialog[@]}" --timeout 15 >/dev/null; then
    fail "double-clicking $object opens no \"$caption\" dialog"
    continue
  fi
  visible=$(ui text --window "$caption" "${dialog[@]}" | jq -r '.controls[] | select(.visible) | .text')
  IFS=';' read -ra wanted <<<"$want"
  for w in "${wanted[@]}"; do
    grep -xF -- "$w" <<<"$visible" >/dev/null ||
      fail "\"$caption\" for $object shows no \"$w\"; it shows: $(paste -sd'|' <<<"$visible")"
  done
  shot=$(tr -c 'A-Za-z0-9.' '-' <<<"${caption}-${object##*\\}" | tr -s '-')
  ui_shot "dialog-${shot%-}" --window "$caption" "${dialog[@]}"
  if [[ -n $confirm ]]; then
    ui click --window "$caption" "${dialog[@]}" --button "&Delete" >/dev/null ||
      fail "\"$caption\" for $object has no enabled \"&Delete\""
    if box=$(ui message-box --window "$confirm" --timeout 10); then
      ui_shot "confirm-${shot%-}" --hwnd "$(jq -r .hwnd <<<"$box")"
      ui click --hwnd "$(jq -r .hwnd <<<"$box")" --button Yes >/dev/null
      ui wait-gone --window "$confirm" "${dialog[@]}" >/dev/null || true
      sleep 0.5
      error=""
      if err=$(ui message-box --window "Could not ${confirm,}" --timeout 1 2>/dev/null); then
        error=$(jq -r '.texts | join(" ")' <<<"$err")
        ui click --hwnd "$(jq -r .hwnd <<<"$err")" --button OK >/dev/null || true
        ui wait-gone --window "Could not ${confirm,}" "${dialog[@]}" >/dev/null || true
      fi
      after=$(ui text --window "$caption" "${dialog[@]}")
      enabled=$(jq -r '[.controls[] | select(.class == "Button" and .text == "&Delete") | .enabled] | first' <<<"$after")
      status_text=$(jq -r '.controls[] | select(.visible) | .text' <<<"$after")
      if [[ $outcome == deleted ]]; then
        [[ -z $error ]] || fail "deleting $object failed: $error"
        [[ $enabled == false ]] || fail "after deleting $object, \"&Delete\" is still enabled"
        [[ $caption != "File Properties" ]] || grep -xF "This file has been deleted!" <<<"$status_text" >/dev/null ||
          fail "the file dialog does not say \"This file has been deleted!\""
      else
        [[ $error == "Could not delete file!"* ]] || fail "deleting the file in use $object gave no \"Could not delete file!\" (got \"$error\")"
        [[ $enabled == true ]] || fail "after a failed deletion of $object, \"&Delete\" is disabled: no retry"
        grep -xF "Could not delete file (yet)!" <<<"$status_text" >/dev/null ||
          fail "the file dialog does not say \"Could not delete file (yet)!\" for $object"
      fi
      echo "$object: Yes -> ${error:-deleted}"
    else
      fail "\"&Delete\" asks no \"$confirm\" question"
    fi
  fi
  ui click --window "$caption" "${dialog[@]}" --button OK >/dev/null
  ui wait-gone --window "$caption" "${dialog[@]}" >/dev/null || fail "\"$caption\" did not close on OK"
done

ui_finish "each properties dialog showed its object and the deletable ones deleted it"
