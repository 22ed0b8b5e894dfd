#!/usr/bin/env bash
# Configures (once) and builds, with warnings as errors, in one build tree:
#
#   scripts/build.sh [BUILD [TARGET...]]
#
# every target (the program, its companions, tests and benchmarks), or only
# the TARGETs named and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVAR_WARNINGS_AS_ERRORS=ON
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
