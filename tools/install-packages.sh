#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need; quiet and quick when all are there.
set -euo pipefail
packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine64 xvfb xauth
  cmake ninja-build googletest libgtest-dev zlib1g-dev nlohmann-json3-dev
  openjdk-17-jdk-headless icoutils imagemagick x11-apps python3 bc
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq "${missing[@]}" >/dev/null
