#!/usr/bin/env bash
# The desktop program's Log page on the demo image after the Quick and Deep Scans: in each of
# the three dialects the memo holds exactly `umbrascopec script --type ...` for the same image,
# the information text stays; "Pack Suspicious Files" writes an archive cabextract accepts.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib/ui_driver.sh
source "$HERE/lib/ui_driver.sh"
ui_setup
ui_needs "$UI_DRIVES_TITLE" "the drive dialog of the Deep Scan page"
ui_needs "Type of log" "the Log page"
ui_needs "Pack Suspicious Files" "the Pack Suspicious Files action"

advice="Please do not blindly use this script; in case of any doubt, visit "
ui_start
ui_pass_startup || exit 1
ui_run_deep_scan || exit 1
ui_tabs | grep -x Log >/dev/null || { fail "no Log tab after scans with findings: $(ui_tabs | paste -sd,)"; exit 1; }
ui_tab_select Log
sleep 0.5

# memo: the longest visible edit text of the main window, without CR.
memo() {
  ui_main text | jq -r '[.controls[] | select(.visible and (.class | test("^(Edit|RICHEDIT50W|RichEdit20W)$")))
    | .text] | max_by(length) // ""' | tr -d '\r'
}
info_label() {
  ui_main text | jq -r --arg a "$advice" '.controls[] | select(.visible and (.text | startswith($a))) | .text'
}

declare -A radio=([ferrox]="Ferrox Include File" [avenger]="Avenger script" [combofix]="ComboFix script")
first_info=""
for type in ferrox avenger combofix; do
  ui_try radio --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS" --button "${radio[$type]}" >/dev/null || continue
  sleep 0.5
  status=0
  "$UMBRASCOPEC_LINUX" script --type "$type" --image "$UI_IMAGE" >"$UI_WORK/script-$type.txt" 2>/dev/null || status=$?
  ((status == 1)) || fail "umbrascopec script --type $type exited with $status, expected 1"
  memo >"$UI_WORK/memo-$type.txt"
  echo "--- Log page, \"${radio[$type]}\": $(wc -l <"$UI_WORK/memo-$type.txt") lines"
  if ! diff -u "$UI_WORK/script-$type.txt" "$UI_WORK/memo-$type.txt"; then
    fail "$type: the Log page differs from umbrascopec script --type $type (diff above: - console, + window)"
  fi
  info=$(info_label)
  [[ $info == *" and ask for assistance." ]] || fail "$type: the information text is \"$info\""
  [[ -z $first_info || $info == "$first_info" ]] || fail "$type: the information text changed with the log type"
  first_info=$info
  ui_shot "log-page-$type" --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS"
done

# --- Pack Suspicious Files ---
ui click --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS" --button "Pack Suspicious Files" >/dev/null
if box=$(ui message-box --contains "Your log and files have been saved as " --timeout 30); then
  ui_shot pack-message --hwnd "$(jq -r .hwnd <<<"$box")"
  message=$(jq -r '.texts[] | select(startswith("Your log and files"))' <<<"$box" | head -1)
  echo "pack: $message"
  ui click --hwnd "$(jq -r .hwnd <<<"$box")" --button OK >/dev/null
  # "... saved as NAME in FOLDER." (or "on your desktop.")
  name=$(sed -E 's/^Your log and files have been saved as (.*) (in .*|on your desktop)\.$/\1/' <<<"${message%%$'\r'*}")
  folder=$(sed -nE 's/^Your log and files have been saved as .* in (.*)\.$/\1/p' <<<"${message%%$'\r'*}")
  [[ -n $folder ]] || folder="$(wine cmd /c echo %USERPROFILE% </dev/null | tr -d '\r')\\Desktop"
  archive=$(winepath -u "$folder\\$name" 2>/dev/null | tr -d '\r')
  if [[ -f $archive ]]; then
    if cabextract -t "$archive" >"$UI_WORK/cabextract.txt" 2>&1; then
      echo "cabextract -t accepts $archive: $(grep -c '  OK  ' "$UI_WORK/cabextract.txt" || true) files"
    else
      fail "cabextract -t rejects $archive:"
      cat "$UI_WORK/cabextract.txt"
    fi
    rm -f -- "$archive"
  else
    fail "the archive named in the message is not there: $folder\\$name ($archive)"
  fi
else
  fail "no message after Pack Suspicious Files: $box"
fi

ui_finish "the Log page equals the console program's scripts and the packed archive is a valid cabinet"
