#!/usr/bin/env bash
# Installs the Debian packages Zelvar needs to build, test and run, and only
# those that are missing, so running it again costs nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  iproute2 util-linux
  fonts-liberation
  xvfb xauth imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! apt-cache policy "$p" 2>/dev/null | grep -q 'Installed: [0-9]'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
