#!/usr/bin/env bash
# Installs the Debian packages that Quillmeter needs to build, test and run,
# and any further packages named on the command line. Does nothing when they
# are all present already.
set -euo pipefail
PKGS=(cmake ninja-build g++ libtsan2 pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6serialport6
      libqcustomplot-dev libqcustomplot2.1-qt6
      libgl-dev libbenchmark-dev libboost1.74-dev
      librsvg2-bin libmosquitto-dev mosquitto mosquitto-clients openssl prometheus
      fonts-noto-cjk qt6-translations-l10n qt6-l10n-tools qt6-tools-dev python3 xvfb xauth "$@")
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
