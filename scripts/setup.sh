#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages; fast no-op when all are there.
set -euo pipefail

PACKAGES=(
  # Native build and tests.
  cmake ninja-build g++ git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libgcab-dev libcurl4-openssl-dev
  clang-format
  # Fuzz targets: clang (its fuzzer runtime, libclang_rt.fuzzer, is added below for the
  # clang version the distribution installs).
  clang
  # Windows programs: cross compiler, Wine to run them, a virtual display for windows.
  mingw-w64 wine wine64 xvfb xauth
  # Checking what the programs write.
  cabextract jq python3 procps
)

# The fuzzer runtime is packaged per clang version (libclang-rt-14-dev on Debian 12): ask for
# the one that matches the clang the distribution's "clang" package brings, so a newer release
# does not break the set-up.
clang_runtime() {
  local version
  if command -v clang >/dev/null; then
    version=$(clang -dumpversion)
  else
    version=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n1)
  fi
  version=${version%%.*}
  [[ -n $version ]] && echo "libclang-rt-$version-dev"
}

missing_of() {
  missing=()
  local pkg status
  for pkg in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
    [[ "$status" == ii* ]] || missing+=("$pkg")
  done
}

runtime=$(clang_runtime || true)
[[ -n $runtime ]] && PACKAGES+=("$runtime")
missing_of "${PACKAGES[@]}"

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
# Without clang before, the runtime could only be guessed from the package lists: check it
# against the clang now installed.
runtime=$(clang_runtime || true)
if [[ -n $runtime ]]; then
  missing_of "$runtime"
  if ((${#missing[@]} > 0)); then
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
  fi
fi
echo "setup: done"
