# shellcheck shell=bash
# Sourced, not run: starts a copy of the test sleeper under a name of its own in the Wine prefix
# and finds its Windows process ID. Needs WINEPREFIX and UMBRA_MINGW_BUILD.

# wine_sleeper_start FOLDER EXE SECONDS: runs C:\FOLDER\EXE for SECONDS; sets WINE_SLEEPER_PID (the
# wine process here) and WINE_SLEEPER_WINPID (the Windows process ID), or fails once the copy has
# not shown up in the process list for 30 seconds.
wine_sleeper_start() {
  local folder=$1 exe=$2 seconds=$3 tries
  WINE_SLEEPER_DIR="$WINEPREFIX/drive_c/$folder"
  mkdir -p "$WINE_SLEEPER_DIR"
  cp "$UMBRA_MINGW_BUILD/tests/hidekit/hidesleeper.exe" "$WINE_SLEEPER_DIR/$exe"
  wine "C:\\$folder\\$exe" "$seconds" </dev/null >/dev/null 2>&1 &
  WINE_SLEEPER_PID=$!
  WINE_SLEEPER_WINPID=
  for ((tries = 0; tries < 60; tries++)); do
    WINE_SLEEPER_WINPID=$(wine "$UMBRA_MINGW_BUILD/tests/hidekit/hidelist.exe" processes </dev/null | tr -d '\r' |
      awk -v exe="$exe" '$1 == "Process32FirstW" && $2 == exe { print $3; exit }')
    [[ $WINE_SLEEPER_WINPID =~ ^[0-9]+$ ]] && return 0
    sleep 0.5
  done
  echo "the test program $exe did not appear in the process list" >&2
  return 1
}

# Ends the copy (if it still runs) and removes its folder; safe to call twice.
wine_sleeper_stop() {
  [[ -n ${WINE_SLEEPER_PID:-} ]] && { kill "$WINE_SLEEPER_PID" 2>/dev/null || true; wait "$WINE_SLEEPER_PID" 2>/dev/null || true; }
  [[ -n ${WINE_SLEEPER_DIR:-} ]] && rm -rf "$WINE_SLEEPER_DIR"
  return 0
}
