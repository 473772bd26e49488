#!/usr/bin/env bash
# `update-check` against a local HTTP server, natively (libcurl) and under Wine (wininet): a newer
# version with a download, the same version, 0.10 against our 0.2.0, no URL, a missing file
# (404) and a refused connection, each with its exact message and exit status.
set -euo pipefail

native="$UMBRA_LINUX_BUILD/umbrascopec"
windows="$UMBRA_MINGW_BUILD/umbrascopec.exe"
[[ -x $native ]] || { echo "missing $native: build the linux preset"; exit 1; }
[[ -f $windows ]] || { echo "missing $windows: build the mingw preset"; exit 1; }
fail() { echo "FAILED: $*"; exit 1; }

root="$UMBRA_E2E_TMP/www"
mkdir -p "$root/updates" "$root/dl"
printf 'new program\n' >"$root/dl/umbrascope-0.3.0.zip"

python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$root" >"$UMBRA_E2E_TMP/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
port=
for ((tries = 0; tries < 100; tries++)); do
  port=$(sed -n 's/.* port \([0-9][0-9]*\).*/\1/p' "$UMBRA_E2E_TMP/server.log" | head -n1)
  [[ -n $port ]] && break
  sleep 0.1
done
[[ -n $port ]] || fail "the HTTP server did not start: $(cat "$UMBRA_E2E_TMP/server.log")"
base="http://127.0.0.1:$port"
# A port nobody listens on: bound once, then let go.
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
echo "server at $base; refused port $closed"

# check NAME EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR SERVER [--download]
# Standard error is compared without the program's own notes (lines starting "umbrascopec:").
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4 server=$5
  shift 5
  local runner out err status
  for runner in native wine; do
    status=0
    if [[ $runner == native ]]; then
      "$native" update-check --server "$server" "$@" >"$UMBRA_E2E_TMP/out" 2>"$UMBRA_E2E_TMP/err" </dev/null ||
        status=$?
    else
      wine "$windows" update-check --server "$server" "$@" >"$UMBRA_E2E_TMP/out" 2>"$UMBRA_E2E_TMP/err" </dev/null ||
        status=$?
    fi
    out=$(tr -d '\r' <"$UMBRA_E2E_TMP/out")
    # Wine's own notes (a drive whose volume it cannot read) are not the program's output.
    err=$(tr -d '\r' <"$UMBRA_E2E_TMP/err" | grep -v -e '^umbrascopec:' -e '^wine: ' || true)
    echo "[$name/$runner] exit $status"
    echo "  stdout: ${out//$'\n'/\\n}"
    echo "  stderr: ${err//$'\n'/\\n}"
    [[ $status == "$want_status" ]] || fail "$name/$runner: exit $status, expected $want_status"
    [[ $out == "$want_out" ]] || fail "$name/$runner: stdout differs, expected: ${want_out//$'\n'/\\n}"
    [[ $err == "$want_err" ]] || fail "$name/$runner: stderr differs, expected: ${want_err//$'\n'/\\n}"
  done
}

ini="$root/updates/umbrascope.ini"

printf 'CurrentVersion=0.3.0\r\nNotifyText=Faster scans.\r\nURL=%s/dl/umbrascope-0.3.0.zip\r\n' "$base" >"$ini"
check "newer" 1 $'There\'s a new version, 0.3.0, available.\nFaster scans.\nDownload: '"$base/dl/umbrascope-0.3.0.zip" "" "$base"
# Natively the download lands on the simulated machine's desktop; it is saved, never started.
status=0
out=$("$native" update-check --server "$base/" --download 2>/dev/null </dev/null) || status=$?
echo "[newer --download/native] exit $status: ${out//$'\n'/\\n}"
[[ $status == 1 ]] || fail "--download: exit $status"
[[ $(tail -n1 <<<"$out") == "The update has been downloaded and saved as umbrascope-0.3.0.zip on your desktop." ]] ||
  fail "--download: the saved message"

printf 'CurrentVersion=0.2.0\nNotifyText=Same.\nURL=%s/dl/umbrascope-0.3.0.zip\n' "$base" >"$ini"
check "same version" 0 "Nothing to update - you're still using the newest version." "" "$base"

printf 'CurrentVersion=0.10\nNotifyText=Ten is more than two.\n' >"$ini"
check "0.10 against 0.2, no URL" 1 $'There\'s a new version, 0.10, available.\nTen is more than two.' "" "$base"

printf 'CurrentVersion=0.1.9\nNotifyText=Older.\n' >"$ini"
check "older" 0 "Nothing to update - you're still using the newest version." "" "$base"

rm -f "$ini"
check "404" 2 "" $'An unknown error occured while trying to searcg for updates:\nFile not found on server!' "$base"

check "refused" 2 "" $'An unknown error occured while trying to searcg for updates:\nCould not connect to server!' \
  "http://127.0.0.1:$closed"

echo "update-check: all cases passed natively and under Wine"
