#!/usr/bin/env bash
# The console program starts and names its version, natively and under Wine, and both agree.
set -euo pipefail

linux_out=$("$UMBRA_LINUX_BUILD/umbrascopec" --version)
echo "linux: $linux_out"
grep -Eq '[0-9]+\.[0-9]+' <<<"$linux_out" || { echo "no version number in: $linux_out"; exit 1; }

wine_out=$(wine "$UMBRA_MINGW_BUILD/umbrascopec.exe" --version </dev/null | tr -d '\r')
echo "wine:  $wine_out"
[[ $wine_out == "$linux_out" ]] || { echo "the Windows build names another version"; exit 1; }
