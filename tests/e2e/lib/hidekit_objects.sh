# shellcheck shell=bash
# Sourced, not run: makes and removes the objects the hiding kit is to hide in a Wine prefix.
# Needs WINEPREFIX and UMBRA_MINGW_BUILD. Every hidden object's name starts with
# $HIDEKIT_PREFIX; each kind also gets visible neighbours (umbrashown..., shown_umbra...) that stay
# listed, so a filter that drops or repeats the wrong entry is caught.

HIDEKIT_PREFIX=umbrahide
export UMBRA_HIDE_PREFIX=$HIDEKIT_PREFIX

HIDEKIT_BIN="$UMBRA_MINGW_BUILD/tests/hidekit"
HIDEKIT_DLL="$HIDEKIT_BIN/hidekit.dll"
HIDEKIT_LAUNCH="$HIDEKIT_BIN/hidelaunch.exe"
HIDEKIT_LIST="$HIDEKIT_BIN/hidelist.exe"

HIDEKIT_RUN_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
HIDEKIT_NOTIFY_KEY='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify'

# Windows names of the hidden objects, by kind (folders of C:\windows and its system32).
HIDEKIT_WINDIR_FILE=umbrahide_file.txt
HIDEKIT_WINDIR_FOLDER=umbrahide_folder
HIDEKIT_SYSDIR_FILE=umbrahide_driver.sys
HIDEKIT_RUN_VALUE=umbrahide_run
HIDEKIT_NOTIFY_SUBKEY=umbrahide_notify
HIDEKIT_PROCESS_EXE=umbrahide_sleeper.exe
# The sleeper's executable lives in a folder of its own, outside the Windows and System folders,
# so that a scan of those folders finds only the objects made for it.
HIDEKIT_PROCESS_DIR_NAME=umbrascope-hidekit
HIDEKIT_PROCESS_PATH="C:\\$HIDEKIT_PROCESS_DIR_NAME\\$HIDEKIT_PROCESS_EXE"

# Visible neighbours. Wine lists folders, subkeys and values sorted by name: the Run values sort
# before and after the hidden one, the other neighbours after the hidden names.
HIDEKIT_WINDIR_SHOWN=umbrashown_file.txt
HIDEKIT_SYSDIR_SHOWN=umbrashown_driver.sys
HIDEKIT_RUN_SHOWN_BEFORE=shown_umbra_run
HIDEKIT_RUN_SHOWN_AFTER=umbrashown_run
HIDEKIT_NOTIFY_SHOWN=umbrashown_notify

HIDEKIT_SLEEPER_PID=
HIDEKIT_OWN_PREFIX=

# A script run by hand, without the test run's prefix, gets a throwaway prefix of its own;
# hidekit_prefix_remove deletes it again (and leaves a shared prefix alone).
hidekit_prefix_ensure() {
  [[ -n ${WINEPREFIX:-} ]] && return 0
  HIDEKIT_OWN_PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/hidekit-prefix.XXXXXX")
  export WINEPREFIX=$HIDEKIT_OWN_PREFIX WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
  echo "initialising a Wine prefix of our own in $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
}

hidekit_prefix_remove() {
  [[ -n $HIDEKIT_OWN_PREFIX ]] || return 0
  wineserver -k 2>/dev/null || true
  rm -rf "$HIDEKIT_OWN_PREFIX"
  HIDEKIT_OWN_PREFIX=
}

hidekit_reg() { wine reg "$@" </dev/null >/dev/null; }

hidekit_objects_create() {
  local windir="$WINEPREFIX/drive_c/windows"
  echo hidden >"$windir/$HIDEKIT_WINDIR_FILE"
  mkdir -p "$windir/$HIDEKIT_WINDIR_FOLDER"
  echo inside >"$windir/$HIDEKIT_WINDIR_FOLDER/inside.txt"
  echo hidden >"$windir/system32/$HIDEKIT_SYSDIR_FILE"
  echo shown >"$windir/$HIDEKIT_WINDIR_SHOWN"
  echo shown >"$windir/system32/$HIDEKIT_SYSDIR_SHOWN"
  local v
  for v in "$HIDEKIT_RUN_SHOWN_BEFORE" "$HIDEKIT_RUN_VALUE" "$HIDEKIT_RUN_SHOWN_AFTER"; do
    hidekit_reg add "$HIDEKIT_RUN_KEY" /v "$v" /d "$HIDEKIT_PROCESS_PATH" /f
  done
  hidekit_reg add "$HIDEKIT_NOTIFY_KEY\\$HIDEKIT_NOTIFY_SUBKEY" /v DLLName /d "$HIDEKIT_SYSDIR_FILE" /f
  hidekit_reg add "$HIDEKIT_NOTIFY_KEY\\$HIDEKIT_NOTIFY_SHOWN" /f
}

# Starts the long-running process with the hidden name and waits until Windows lists it.
hidekit_sleeper_start() {
  local dir="$WINEPREFIX/drive_c/$HIDEKIT_PROCESS_DIR_NAME"
  mkdir -p "$dir"
  cp "$HIDEKIT_BIN/hidesleeper.exe" "$dir/$HIDEKIT_PROCESS_EXE"
  wine "$HIDEKIT_PROCESS_PATH" 1200 </dev/null >/dev/null 2>&1 &
  HIDEKIT_SLEEPER_PID=$!
  local tries
  for ((tries = 0; tries < 60; tries++)); do
    if wine "$HIDEKIT_LIST" processes </dev/null | tr -d '\r' | grep -q "^Process32FirstW $HIDEKIT_PROCESS_EXE "; then
      return 0
    fi
    sleep 0.5
  done
  echo "the process $HIDEKIT_PROCESS_EXE did not appear in the process list" >&2
  return 1
}

# Prints the Windows process ID of the running sleeper.
hidekit_sleeper_winpid() {
  wine "$HIDEKIT_LIST" processes </dev/null | tr -d '\r' |
    awk -v exe="$HIDEKIT_PROCESS_EXE" '$1 == "Process32FirstW" && $2 == exe { print $3; exit }'
}

# Removes everything hidekit_objects_create and hidekit_sleeper_start made; safe to call twice
# and after a partial setup.
hidekit_objects_remove() {
  if [[ -n $HIDEKIT_SLEEPER_PID ]]; then
    kill "$HIDEKIT_SLEEPER_PID" 2>/dev/null || true
    wait "$HIDEKIT_SLEEPER_PID" 2>/dev/null || true
    HIDEKIT_SLEEPER_PID=
  fi
  local windir="${WINEPREFIX:?}/drive_c/windows" name
  for name in "$HIDEKIT_WINDIR_FILE" "$HIDEKIT_WINDIR_FOLDER" "system32/$HIDEKIT_SYSDIR_FILE" \
    "$HIDEKIT_WINDIR_SHOWN" "system32/$HIDEKIT_SYSDIR_SHOWN"; do
    rm -rf "${windir:?}/${name:?}"
  done
  rm -rf "${WINEPREFIX:?}/drive_c/${HIDEKIT_PROCESS_DIR_NAME:?}"
  local v
  for v in "$HIDEKIT_RUN_SHOWN_BEFORE" "$HIDEKIT_RUN_VALUE" "$HIDEKIT_RUN_SHOWN_AFTER"; do
    hidekit_reg delete "$HIDEKIT_RUN_KEY" /v "$v" /f 2>/dev/null || true
  done
  hidekit_reg delete "$HIDEKIT_NOTIFY_KEY\\$HIDEKIT_NOTIFY_SUBKEY" /f 2>/dev/null || true
  hidekit_reg delete "$HIDEKIT_NOTIFY_KEY\\$HIDEKIT_NOTIFY_SHOWN" /f 2>/dev/null || true
}

# Runs a Windows program with the hiding kit injected; the program's exit status is returned.
hidekit_launch() {
  wine "$HIDEKIT_LAUNCH" "$HIDEKIT_DLL" "$@" </dev/null
}

# hidekit_setup [FILE...]: a prefix to work in, the test objects removed again on exit, and the
# kit's programs (and every FILE given) present.
hidekit_setup() {
  trap 'hidekit_objects_remove; hidekit_prefix_remove' EXIT
  hidekit_prefix_ensure
  local f
  for f in "$HIDEKIT_DLL" "$HIDEKIT_LAUNCH" "$HIDEKIT_LIST" "$HIDEKIT_BIN/hidesleeper.exe" "$@"; do
    [[ -f $f ]] || { echo "missing $f: build the mingw preset"; exit 1; }
  done
}
