#!/usr/bin/env bash
# Installs what is needed, builds the console program and scans the demo image built into it.
#
# On Linux there is no live Windows machine to scan, so umbrascopec scans its built-in demo
# image: a simulated machine with a user-mode rootkit that hides files, registry values and
# a process. Exit status 1 from umbrascopec means "something found" and is the expected answer.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
JOBS=${UMBRA_JOBS:-2}

bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build build/linux -j "$JOBS"

UMBRASCOPEC=build/linux/umbrascopec

# run_scan COMMAND: 0 (clean) and 1 (found something) are answers; anything else is an error.
run_scan() {
  echo
  echo "=== umbrascopec $1 ==="
  local rc=0
  "$UMBRASCOPEC" "$1" || rc=$?
  case $rc in
    0) echo "=== $1: nothing hidden found ===" ;;
    1) echo "=== $1: found hidden or suspicious objects (see above) ===" ;;
    *)
      echo "=== $1: umbrascopec failed (exit $rc) ===" >&2
      exit "$rc"
      ;;
  esac
}

run_scan quick
# The deep scan runs too once the program has the command (a line of its own in --help).
help_text=$("$UMBRASCOPEC" --help 2>&1 || true)
if grep -Eq '^[[:space:]]+deep([[:space:]]|$)' <<<"$help_text"; then
  run_scan deep
fi
# The Avenger removal script of what both scans found.
if grep -Eq '^[[:space:]]+script([[:space:]]|$)' <<<"$help_text"; then
  echo
  echo "=== umbrascopec script --type avenger ==="
  rc=0
  "$UMBRASCOPEC" script --type avenger || rc=$?
  case $rc in
    0) echo "=== script: no entries (nothing to remove) ===" ;;
    1) echo "=== script: the Avenger script above removes what was found ===" ;;
    *)
      echo "=== script: umbrascopec failed (exit $rc) ===" >&2
      exit "$rc"
      ;;
  esac
fi
# The archive of the Deep Scan's findings, written into a temporary folder, and its listing.
if grep -Eq '^[[:space:]]+pack([[:space:]]|$)' <<<"$help_text"; then
  echo
  echo "=== umbrascopec pack --out (a temporary folder) ==="
  pack_dir=$(mktemp -d)
  trap 'rm -rf "$pack_dir"' EXIT
  rc=0
  archive=$("$UMBRASCOPEC" pack --out "$pack_dir") || rc=$?
  case $rc in
    0 | 1)
      echo "archive: $archive"
      [[ $rc == 1 ]] && echo "(some requests could not be added: see above and the archive's log)"
      if command -v cabextract >/dev/null; then
        echo "=== cabextract -l ==="
        cabextract -l "$archive"
      fi
      ;;
    *)
      echo "=== pack: umbrascopec failed (exit $rc) ===" >&2
      exit "$rc"
      ;;
  esac
fi
