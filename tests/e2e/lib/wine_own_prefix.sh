# shellcheck shell=bash
# Sourced, not run: a Wine prefix of the script's own, for walks of a whole drive. wineboot links
# the profile folders (Desktop, Documents, Music, ... seven of them) to $HOME, and Wine lists
# those links as folders with the reparse attribute but no reparse tag, so a walk of the shared
# prefix's C: drive walks the host's home directory seven times over. This prefix is booted with
# HOME set to an empty folder of the script's scratch space: its C: drive holds the prefix alone.

OWN_PREFIX=

# own_prefix_create DIR: boots a 64-bit prefix in DIR/prefix (profile links to DIR/home) and
# exports WINEPREFIX for the rest of the script. Its wineserver is started first, persistent and
# detached from our output, as the test run does for the shared prefix, so that no output
# captured from a Windows program waits for the server to go.
own_prefix_create() {
  local dir=$1 start=$SECONDS
  mkdir -p "$dir/prefix" "$dir/home"
  OWN_PREFIX="$dir/prefix"
  export WINEPREFIX=$OWN_PREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
  HOME="$dir/home" wineserver -p </dev/null >/dev/null 2>&1
  local status=0
  HOME="$dir/home" timeout 300 wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 || status=$?
  if ((status != 0)) || [[ ! -d $WINEPREFIX/drive_c/windows/system32 ]]; then
    echo "wineboot of our own prefix failed (exit $status):"
    cat "$dir/wineboot.log"
    return 1
  fi
  echo "our own prefix $WINEPREFIX is ready after $((SECONDS - start)) s"
}

# Ends the own prefix's Wine processes (never those of the shared prefix) and removes it.
own_prefix_remove() {
  [[ -n $OWN_PREFIX ]] || return 0
  WINEPREFIX=$OWN_PREFIX timeout 30 wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$OWN_PREFIX timeout 30 wineserver -w >/dev/null 2>&1 || true
  rm -rf "${OWN_PREFIX:?}"
  OWN_PREFIX=
}
