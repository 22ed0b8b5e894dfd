#!/usr/bin/env bash
# Configures (once) and builds the program, its companions, tests and
# benchmarks in one build tree, with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVAR_WARNINGS_AS_ERRORS=ON
fi
cmake --build "$build" -j "$(nproc)"
