#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages; fast no-op when all are there.
set -euo pipefail

PACKAGES=(
  # Native build and tests.
  cmake ninja-build g++ git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libgcab-dev
  clang-format
  # Fuzz targets: clang and its fuzzer runtime (libclang_rt.fuzzer).
  clang libclang-rt-14-dev
  # Windows programs: cross compiler, Wine to run them, a virtual display for windows.
  mingw-w64 wine wine64 xvfb xauth
  # Checking what the programs write.
  cabextract jq python3 procps
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#PACKAGES[@]} packages are installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    SUDO=(sudo)
  else
    echo "setup: root is needed to install packages (or install them yourself): ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=()
fi

export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
echo "setup: done"
