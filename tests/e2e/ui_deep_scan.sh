#!/usr/bin/env bash
# The desktop program's Deep Scan page on the demo image, after the drive dialog with C: and
# HKEY_LOCAL_MACHINE ticked: its rows are those of `umbrascopec deep --json` (type, object,
# location, details, kind icon, catalogue mark); selecting a catalogued row shows
# "product: details" in the information panel, selecting another hides it.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/lib/ui_driver.sh
source "$HERE/lib/ui_driver.sh"
ui_setup
ui_needs "$UI_DRIVES_TITLE" "the drive dialog of the Deep Scan page"

expected_json="$UI_WORK/deep.json"
status=0
"$UMBRASCOPEC_LINUX" deep --json --image "$UI_IMAGE" >"$expected_json" || status=$?
((status == 1)) || { echo "umbrascopec deep on the demo image exited with $status, expected 1"; exit 1; }

ui_start
ui_pass_startup || exit 1
ui_run_deep_scan || exit 1

list=$(ui_main list-items --visible --index 0)
# A row as "Type | Object | Location | Details | icon KIND | mark 7 (catalogued) or 6"; zero
# characters are shown as <NUL> in a window.
expected_icons=$(jq -r '.rows[] | ([.type, .object, .location, .details] | map(gsub("\u0000"; "<NUL>")) | join(" | "))
  + " | icon \(.kind) | mark \(if .known then 7 else 6 end)"' "$expected_json")
actual_icons=$(jq -r '.rows[] | (.texts[:4] | join(" | ")) + " | icon \(.image) | mark \(.images[3])"' <<<"$list")
echo "--- Deep Scan rows shown:"
echo "$actual_icons"
[[ $(jq -r '[.columns[].text] | join(",")' <<<"$list") == "Type,Object,Location,Details" ]] ||
  fail "the columns are $(jq -c '[.columns[].text]' <<<"$list"), expected Type, Object, Location, Details"
# The two scanners run side by side: the rows of each come in its own order, interleaved.
compare_sets "Deep Scan rows" "$expected_icons" "$actual_icons"
for kind in file registry; do
  filter='select(.kind == 2 or .kind == 3)'
  [[ $kind == registry ]] && filter='select(.kind == 4 or .kind == 5)'
  want=$(jq -r ".rows[] | $filter | [.type, .object, .location, .details] | map(gsub(\"\u0000\"; \"<NUL>\")) | join(\" | \")" "$expected_json")
  got=$(jq -r '.rows[] | select(.image == 2 or .image == 3) | .texts[:4] | join(" | ")' <<<"$list")
  [[ $kind == registry ]] && got=$(jq -r '.rows[] | select(.image == 4 or .image == 5) | .texts[:4] | join(" | ")' <<<"$list")
  [[ $want == "$got" ]] || fail "the $kind scanner's rows are not in its own order"
done

# Information panel: the catalogue's "product: details" for a catalogued row, nothing otherwise.
info_texts() { ui_main text | jq -r '.controls[] | select(.visible and .class == "Static") | .text'; }
known_row=$(jq -r '[.rows[] | select(.images[3] == 7)] | length' <<<"$list")
if ((known_row == 0)); then
  fail "no row carries the catalogue mark"
else
  index=$(jq -r '[.rows | to_entries[] | select(.value.images[3] == 7) | .key] | first' <<<"$list")
  row=$(jq -c ".rows[$index]" <<<"$list")
  key=$(jq -r '.texts[2] + .texts[1]' <<<"$row")
  want=$(jq -r --arg k "$key" --arg d "$(jq -r '.texts[3]' <<<"$row")" '
    [.rows[] | select(((.location + .object) | gsub("\u0000"; "<NUL>")) == $k and .details == $d)][0]
    | "\(.product): \(.explanation)"' "$expected_json")
  ui_main list-select --visible --index 0 --row "$index" >/dev/null
  sleep 0.5
  shown=$(info_texts)
  grep -qxF -- "$want" <<<"$shown" || fail "selecting $key shows no \"$want\"; visible labels: $(paste -sd'|' <<<"$shown")"
  ui_shot deep-scan-catalogue-row --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS"
  plain=$(jq -r '[.rows | to_entries[] | select(.value.images[3] == 6) | .key] | first // empty' <<<"$list")
  if [[ -n $plain ]]; then
    ui_main list-select --visible --index 0 --row "$plain" >/dev/null
    sleep 0.5
    ! info_texts | grep -xF -- "$want" >/dev/null || fail "the information panel still shows \"$want\" for a row without catalogue entry"
  fi
fi

ui_shot main-window-deep-scan --window "$UI_MAIN_TITLE" --class "$UI_MAIN_CLASS"
ui_finish "the Deep Scan page shows the console program's deep scan rows and catalogue marks"
