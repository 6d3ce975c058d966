#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the kit
# needs.  Idempotent, and quick when everything is already there.
set -euo pipefail
packages=(
  cmake g++ make clang libclang-rt-14-dev valgrind
  libgtest-dev libgmock-dev libbenchmark-dev
  tcl8.6 tk8.6 tcl8.6-dev tk8.6-dev libx11-dev
  xvfb xauth x11-utils xdotool imagemagick
  libdeflate-tools 7zip
  mingw-w64 wine wine64 icoutils python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
