#!/usr/bin/env bash
# Installs every Debian package Kalvo needs to build, test, benchmark and run
# its gallery. Idempotent: packages already present are skipped, so a second
# run costs one dpkg query.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-xkb-utils
  libx11-dev libxtst-dev libxcb1-dev libxcb-keysyms1-dev libxcb-xkb-dev
  libxkbcommon-dev libxkbcommon-x11-dev xkb-data
  dbus-daemon dbus-x11
  clang-14 libclang-rt-14-dev
  fonts-dejavu-core fonts-inter
  libcairo2-dev librsvg2-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
