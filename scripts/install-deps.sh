#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the run need:
# mosquitto is the broker the MQTT tests publish to (they subscribe through
# libmosquitto); systemd brings systemd-analyze, which checks the service's
# unit and its sandbox.
set -euo pipefail
packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools
          libqt5svg5-dev libqt5opengl5-dev libqwt-qt5-dev libmodbus-dev libudev-dev libmosquitto-dev socat
          mosquitto poppler-utils
          fonts-dejavu-core
          dpkg-dev file desktop-file-utils appstream lintian man-db
          systemd)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
