#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, if any is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  libqt6sql6-ibase libqt6serialport6-dev libqt6svg6-dev libgl-dev
  firebird3.0-server-core firebird3.0-utils libfbclient2 firebird-dev
  zlib1g-dev libzip-dev libicu-dev
  poppler-utils python3-xlrd libreoffice-calc-nogui imagemagick file
  fonts-wine fonts-dejavu-core tzdata
  xvfb xauth xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
