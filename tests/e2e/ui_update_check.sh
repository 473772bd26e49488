#!/usr/bin/env bash
# The about box's update check against a web server of our own on 127.0.0.1: for an update file
# naming a newer version (with and without a URL), the same version, 0.10 against our 0.2 (a
# newer version: versions compare number by number) and a missing file (404), the about box
# answers with the right message, and nothing is downloaded without a Yes.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib/ui_driver.sh
source "$HERE/lib/ui_driver.sh"
ui_setup
ui_needs "Nothing to update - you're still using the newest version." "the update check"
ui_needs "--update-server" "the --update-server option"

# --- the server: python's own, on a free port of the loopback address ---
root="$UI_WORK/www"
mkdir -p "$root/updates"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$root" >"$UI_WORK/http.log" 2>&1 &
server_pid=$!
stop_all() {
  local status=$?
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  trap - EXIT
  (exit "$status")
  ui_stop
}
trap stop_all EXIT
ui_wait_for 10 grep -q "port [0-9]" "$UI_WORK/http.log" || { echo "the web server did not start"; cat "$UI_WORK/http.log"; exit 1; }
port=$(sed -nE 's/.*port ([0-9]+).*/\1/p' "$UI_WORK/http.log" | head -1)
echo "update server: http://127.0.0.1:$port/updates/umbrascope.ini"

ui_start --update-server "http://127.0.0.1:$port"
ui wait-window --window "$UI_ABOUT_TITLE" --timeout 30 >/dev/null || { fail "no about box"; exit 1; }
ui_shot about-box-updates --window "$UI_ABOUT_TITLE"

# case NAME FILE-CONTENT|-404 EXPECTED-MESSAGE ANSWER: one click on "Updates".
check_case() {
  local name=$1 content=$2 want=$3 answer=$4 box text
  if [[ $content == -404 ]]; then
    rm -f "$root/updates/umbrascope.ini"
  else
    printf '%s\r\n' "$content" >"$root/updates/umbrascope.ini"
  fi
  ui click --window "$UI_ABOUT_TITLE" --button Updates >/dev/null || { fail "$name: no \"Updates\" button"; return; }
  if ! box=$(ui message-box --contains "${want%%$'\n'*}" --timeout 20); then
    fail "$name: no message \"${want%%$'\n'*}\"; windows: $(ui windows | jq -c '[.windows[] | select(.visible) | .title]')"
    return
  fi
  text=$(jq -r '[.texts[] | select(contains("'"${want:0:12}"'"))] | first // ""' <<<"$box" | tr -d '\r')
  if [[ $text == "$want" ]]; then
    echo "$name: \"${text//$'\n'/\\n}\""
  else
    fail "$name: the message is \"${text//$'\n'/\\n}\", expected \"${want//$'\n'/\\n}\""
  fi
  ui_shot "update-$name" --hwnd "$(jq -r .hwnd <<<"$box")"
  ui click --hwnd "$(jq -r .hwnd <<<"$box")" --button "$answer" >/dev/null
  ui wait-gone --window "$(jq -r .title <<<"$box")" --class '#32770' --timeout 5 >/dev/null 2>&1 || true
  sleep 0.3
}

check_case newer $'CurrentVersion=0.3.0\r\nNotifyText=Faster scans.\r\nURL=http://127.0.0.1:'"$port"'/files/umbrascope-0.3.0.zip' \
  $'There\'s a new version, 0.3.0, available.\nFaster scans.\nDo you want to download it?' No
check_case same-version $'CurrentVersion=0.2.0\r\nNotifyText=Nothing new.' \
  "Nothing to update - you're still using the newest version." OK
check_case 0.10-against-0.2 $'CurrentVersion=0.10\r\nNotifyText=Tenth release.' \
  $'There\'s a new version, 0.10, available.\nTenth release.' OK
check_case no-url $'CurrentVersion=1.0\r\nNotifyText=See the web site.' \
  $'There\'s a new version, 1.0, available.\nSee the web site.' OK
check_case 404 -404 \
  $'An unknown error occured while trying to searcg for updates:\nFile not found on server!' OK

# Answering No downloads nothing: the server saw no request for the offered file.
if grep -q "GET /files/" "$UI_WORK/http.log"; then
  fail "the offered file was downloaded although the answer was No"
fi
echo "--- server log:"
cat "$UI_WORK/http.log"
ui click --window "$UI_ABOUT_TITLE" --button OK >/dev/null || true

ui_finish "the update check answered each case with its message"
