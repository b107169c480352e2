#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  zlib1g-dev libsecret-1-dev libutf8proc-dev qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # real peers and services used by the tests and the demo
  cvs socat openssh-server openssh-client trash-cli
  dbus dbus-x11 gnome-keyring libsecret-tools
  # the demo builds its sample Mac files with a short script
  python3
  # screenshots and the offscreen/X11 platforms
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
