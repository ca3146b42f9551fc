#!/usr/bin/env bash
# Installs what building and testing Ringvale needs on Debian 12, skipping what is there.
set -euo pipefail

# qt6-charts-dev (with libqt6opengl6-dev, which its CMake files need): the statistics window.
# qt6-base-private-dev: the tray follows the X11 platform's report of the tray coming and going.
# xvfb, tint2, libxcb1-dev: the tray test runs a real X display with a real tray host.
# libudev-dev: the serial adapters and their names. dbus-daemon: the notification tests run a
# session bus of their own. xdg-utils: "&Help" opens the page with xdg-open. appstream: the
# metainfo file is checked with appstreamcli.
packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libgl-dev qt6-charts-dev
          libqt6opengl6-dev libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev ppp xvfb
          tint2 libxcb1-dev libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients openssl dbus-daemon
          libudev-dev xdg-utils appstream)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
