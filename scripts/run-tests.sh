#!/usr/bin/env bash
# Every test of the project: the full suite, the core again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzzing run.
# All of it inside a private network namespace, with a throw-away home, so no
# test can reach the network, the user's settings or the user's log folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
asan=${2:-build-asan}
fuzz=${3:-build-fuzz}
jobs=$(nproc)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen

echo "== Tests"
./scripts/in-netns.sh ctest --test-dir "$build" --output-on-failure -j "$jobs"

echo "== Core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
[ -f "$asan/build.ninja" ] || cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DZELVAR_CORE_ONLY=ON -DZELVAR_SANITIZE=ON -DZELVAR_BENCH=OFF
cmake --build "$asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./scripts/in-netns.sh ctest --test-dir "$asan" --output-on-failure -j "$jobs"

if command -v clang++ >/dev/null 2>&1; then
  echo "== Fuzzing (short run)"
  [ -f "$fuzz/build.ninja" ] || CXX=clang++ cmake -S . -B "$fuzz" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVAR_CORE_ONLY=ON -DZELVAR_FUZZ=ON -DZELVAR_BENCH=OFF
  cmake --build "$fuzz" -j "$jobs" --target fuzz_targets
  for target in "$fuzz"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    corpus="$scratch/corpus-$(basename "$target")"
    mkdir -p "$corpus"
    cp tests/data/*.hex "$corpus"/ 2>/dev/null || true
    ./scripts/in-netns.sh "$target" -max_total_time=15 -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 3
  done
else
  echo "== clang++ not found: fuzzing skipped"
fi
echo "== All tests passed"
