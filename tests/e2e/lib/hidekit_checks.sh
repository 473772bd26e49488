# shellcheck shell=bash
# Sourced, not run: compares what a Windows program lists when run plainly and through the hiding
# kit's launcher. Needs lib/hidekit_objects.sh sourced first. Failures are counted in $failures
# and printed with "FAIL:", so a script runs every check and ends with one verdict.

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run_both NAME PROGRAM ARGS...: runs the program plainly into $plain and through the launcher
# into $hooked (both with \r removed); a non-zero status of either is a failure.
run_both() {
  local name=$1 status=0
  shift
  plain=$(wine "$@" </dev/null | tr -d '\r') || status=$?
  # Wine now and then fails to start a program at all (no output, exit 1); the plain run is only
  # the reference, so one such start is tried again before it counts as a failure.
  if ((status != 0)) && [[ -z $plain ]]; then
    echo "note: $name run plainly gave nothing (exit $status); running it again"
    status=0
    plain=$(wine "$@" </dev/null | tr -d '\r') || status=$?
  fi
  ((status == 0)) || fail "$name run plainly exited with $status"
  status=0
  hooked=$(hidekit_launch "$@" | tr -d '\r') || status=$?
  ((status == 0)) || fail "$name through the launcher exited with $status"
  last_name=$name
}

# Prints both outputs of the last run_both; of a long one only the lines naming test objects.
show_outputs() {
  local label out
  for label in plainly "through the launcher"; do
    [[ $label == plainly ]] && out=$plain || out=$hooked
    if (($(wc -l <<<"$out") <= 60)); then
      echo "--- $last_name, $label:"
      echo "$out"
    else
      echo "--- $last_name, $label ($(wc -l <<<"$out") lines; those naming umbra* or errors):"
      grep -Ei 'umbra|!error' <<<"$out" || true
    fi
  done
}

# re TEXT: TEXT as an extended regular expression that matches it literally.
# shellcheck disable=SC2001  # one sed beats a chain of substitutions here
re() { sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<"$1"; }

# expect REGEX HIDDEN|SHOWN WHAT: the line pattern must be in the plain output, and in the
# hooked output exactly when the object is SHOWN.
expect() {
  local regex=$1 kind=$2 what=$3 bad=0
  if ! grep -Eq -- "$regex" <<<"$plain"; then
    fail "$what is missing from the plain $last_name listing"
    bad=1
  fi
  if [[ $kind == HIDDEN ]] && grep -Eq -- "$regex" <<<"$hooked"; then
    fail "$what is still listed by $last_name through the launcher"
    bad=1
  elif [[ $kind == SHOWN ]] && ! grep -Eq -- "$regex" <<<"$hooked"; then
    fail "$what (not hidden) was lost by $last_name through the launcher"
    bad=1
  fi
  ((bad == 0)) && echo "ok: $last_name: $what ${kind,,}"
  return 0
}

# The test objects of the two scanned folders with what the hook must do to them.
HIDEKIT_WINDIR_OBJECTS=("$HIDEKIT_WINDIR_FILE HIDDEN" "$HIDEKIT_WINDIR_FOLDER HIDDEN" "$HIDEKIT_WINDIR_SHOWN SHOWN")
HIDEKIT_SYSDIR_OBJECTS=("$HIDEKIT_SYSDIR_FILE HIDDEN" "$HIDEKIT_SYSDIR_SHOWN SHOWN" "kernel32.dll SHOWN")

# The hook at work on ordinary tools: cmd's dir of C:\windows and its system32, reg query of
# the Run and Notify keys. Every hidden object must be listed plainly and gone through the
# launcher, every visible neighbour listed both ways.
hidekit_check_ordinary_tools() {
  local folder before entry name kind
  local -a objects
  for folder in 'C:\windows' 'C:\windows\system32'; do
    run_both "cmd /c dir $folder" cmd /c dir "$folder"
    before=$failures
    if [[ $folder == *system32 ]]; then
      objects=("${HIDEKIT_SYSDIR_OBJECTS[@]}")
    else
      objects=("${HIDEKIT_WINDIR_OBJECTS[@]}")
    fi
    for entry in "${objects[@]}"; do
      read -r name kind <<<"$entry"
      expect "[[:space:]]$(re "$name")\$" "$kind" "$folder\\$name"
    done
    ((failures == before)) || show_outputs
  done

  run_both "reg query Run" reg query "$HIDEKIT_RUN_KEY"
  before=$failures
  for entry in "$HIDEKIT_RUN_SHOWN_BEFORE SHOWN" "$HIDEKIT_RUN_VALUE HIDDEN" "$HIDEKIT_RUN_SHOWN_AFTER SHOWN"; do
    read -r name kind <<<"$entry"
    expect "^ +$name +REG_SZ" "$kind" "Run value $name"
  done
  ((failures == before)) || show_outputs

  run_both "reg query Notify" reg query "$HIDEKIT_NOTIFY_KEY"
  before=$failures
  for entry in "$HIDEKIT_NOTIFY_SUBKEY HIDDEN" "$HIDEKIT_NOTIFY_SHOWN SHOWN"; do
    read -r name kind <<<"$entry"
    expect "\\\\Notify\\\\$name\$" "$kind" "Notify subkey $name"
  done
  ((failures == before)) || show_outputs
  return 0
}
