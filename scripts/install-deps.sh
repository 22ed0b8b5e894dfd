#!/usr/bin/env bash
# Installs the Debian packages that building and testing Zelvar need, and only
# those that are missing: when nothing is missing, apt-get is not called at
# all, so later runs need neither the network nor root.
#
#   scripts/install-deps.sh          what the build and every test need
#   scripts/install-deps.sh --dev    also the tools for looking at the running
#                                    program on a virtual display (no test
#                                    needs them)
#
# As a normal user the packages are installed through sudo; without sudo the
# command to run as root is printed instead.
set -euo pipefail

build_and_test=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  iproute2 util-linux
  fonts-liberation
  file desktop-file-utils
  gdal-bin libxml2-utils
  postgresql libpq-dev python3-jsonschema
  mosquitto libmosquitto-dev libsqlite3-dev nlohmann-json3-dev openssl
  libcpp-httplib-dev libsodium-dev libjs-chart.js libjs-leaflet
  chromium chromium-driver python3-selenium
)
dev=(xvfb xauth openbox imagemagick xdotool)

packages=("${build_and_test[@]}")
for arg in "$@"; do
  case $arg in
    --dev) packages+=("${dev[@]}") ;;
    *) echo "usage: $0 [--dev]" >&2; exit 2 ;;
  esac
done

# dpkg's own record, one query per package and no pipe: a package counts as
# present only when its status is "installed" (for any architecture).
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status} ' "$p" 2>/dev/null) || status=
  [[ " $status" == *" installed "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

install=(apt-get install -y -q --no-install-recommends "${missing[@]}")
echo "Missing Debian packages: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  "${install[@]}"
elif command -v sudo >/dev/null 2>&1; then
  sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  sudo env DEBIAN_FRONTEND=noninteractive "${install[@]}"
else
  echo "There is no sudo to install them: run this as root (su asks for root's password)," >&2
  echo "then run this command again:" >&2
  echo "  su -c 'apt-get update && ${install[*]}'" >&2
  exit 1
fi
