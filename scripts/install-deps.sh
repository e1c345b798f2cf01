#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git python3 clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsdl2-dev libfreetype-dev libfontconfig-dev libpng-dev
  libudev-dev umockdev libumockdev-dev
  xvfb xdotool x11-utils
  fonts-liberation2 fonts-wqy-microhei fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
