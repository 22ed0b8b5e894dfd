#!/usr/bin/env bash
# Packs the installed files of a built tree into a Debian package (binaries
# stripped, dependencies from dpkg-shlibdeps) and prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out="$build/package"
rm -f "$out"/*.deb
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out.log" 2>&1 || {
  cat "$out.log" >&2
  exit 1
}
ls "$out"/*.deb
