#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need; quiet and quick when all are there.
# Where this machine executes 32-bit x86 code (tools/runs-32bit-code), it also adds the i386
# architecture and the i386 Wine for the 32-bit test suite. That part never fails the set-up:
# ./check reports a 32-bit suite it could not run.
set -euo pipefail
cd "$(dirname "$0")"
packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev binutils
  wine wine64 xvfb xauth
  cmake ninja-build googletest libgtest-dev zlib1g-dev nlohmann-json3-dev
  openjdk-17-jdk-headless icoutils osslsigncode imagemagick x11-apps python3 bc locales libarchive-tools
)
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# An index that fails to download (a mirror in the middle of a sync) leaves the others usable;
# whether the packages can be had is for the install to say.
update() { "${apt[@]}" update >/dev/null 2>&1 || echo "install-packages: apt-get update reported errors; trying with the indexes it has"; }

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  update
  "${apt[@]}" install "${missing[@]}" >/dev/null
fi

if ! installed wine32:i386 && ./runs-32bit-code >/dev/null; then
  echo "installing: wine32:i386 (this machine executes 32-bit code)"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  update
  log=$(mktemp)
  if ! "${apt[@]}" install wine32:i386 >"$log" 2>&1; then
    echo "install-packages: wine32:i386 could not be installed: $(grep -m1 '^E:' "$log" || tail -1 "$log")"
  fi
  rm -f "$log"
fi
exit 0
