#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing kelvo need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # tests and tools
  libgtest-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  xvfb xauth xdotool
  ghostscript poppler-utils libjpeg-turbo-progs
  cups cups-client cups-bsd printer-driver-cups-pdf
  libqt6printsupport6 # its CUPS plugin is how a print reaches the printing system
  desktop-file-utils shared-mime-info xdg-utils libxml2-utils
  librsvg2-bin # rsvg-convert: the converter's SVG is drawn by another renderer in its test
  python3 locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, for the test that EPS numbers keep their '.'.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
fi
