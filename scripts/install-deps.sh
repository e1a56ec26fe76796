#!/usr/bin/env bash
# Installs the Debian 12 packages Scribeline needs to build, run and test.
# Only what is missing is installed, so a prepared machine skips apt entirely.
set -euo pipefail

packages=(
  g++ cmake make pkg-config ccache
  libopencv-dev libopencv-contrib-dev
  libpng-dev dpkg-dev
  qtbase5-dev
  libboost-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libxcb1-dev libx11-dev
  xvfb xdotool x11-utils
  # Window managers the real-window tests run the program under; xfwm4
  # reaches its settings daemon over a D-Bus session (dbus-run-session).
  openbox xfwm4 dbus-daemon
  # The fuzz targets (scripts/fuzz.sh): clang and its libFuzzer runtime.
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
