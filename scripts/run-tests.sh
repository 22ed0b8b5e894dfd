#!/usr/bin/env bash
# Every test of the project, on an already built tree: the full suite, the
# core again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded parts' tests under ThreadSanitizer, a short
# fuzzing run, a Release build of the core with GCC and warnings as errors (the
# -O3 warnings differ), and the Debian package's check. All tests run inside a
# private network namespace with a throw-away home, so no test can reach the
# network, the user's settings or the user's log folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
asan=${2:-build-asan}
fuzz=${3:-build-fuzz}
release=${4:-build-release}
tsan=${5:-build-tsan}
jobs=$(nproc)

./scripts/in-netns.sh --check

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen
strict=(-G Ninja -DZELVAR_WARNINGS_AS_ERRORS=ON -DZELVAR_BENCH=OFF)

echo "== Tests"
# The collector's tests need a PostgreSQL: pg_virtualenv makes a throw-away
# cluster on loopback inside the namespace, exports libpq's environment
# (PGHOST ...) to the tests and drops the cluster afterwards. Its socket goes
# to a folder of this run, so that runs side by side (each in a namespace of
# its own, all on port 5432) do not take each other's socket; as root the
# cluster runs as postgres, which needs to write there.
pgsocket=$(mktemp -d "${TMPDIR:-/tmp}/zelvar-pg.XXXXXX")
trap 'rm -rf "$scratch" "$pgsocket"' EXIT
if [ "$(id -u)" -eq 0 ]; then
  chown postgres:postgres "$pgsocket"
fi
./scripts/in-netns.sh pg_virtualenv -t -c "--socketdir=$pgsocket" \
  ctest --test-dir "$build" --output-on-failure -j "$jobs"

echo "== Core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B "$asan" "${strict[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DZELVAR_CORE_ONLY=ON -DZELVAR_SANITIZE=ON >/dev/null
cmake --build "$asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./scripts/in-netns.sh ctest --test-dir "$asan" --output-on-failure -j "$jobs"

echo "== Threaded parts under ThreadSanitizer"
# Only the tests of what runs threads of its own (the logs' writer, journal
# and recovery, the publisher, the busy runs' work set aside, the session's
# reading thread and its hand-over to the GUI thread) are built. Qt itself is
# not instrumented: the suppressions name only Qt's functions, each with why
# it is safe.
tsan_tests=(busy_runs_tests session_rules_tests session_thread_tests live_logs_tests
  journal_recovery_tests line_store_tests durable_file_tests outbox_tests publisher_tests)
cmake -S . -B "$tsan" "${strict[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DZELVAR_CORE_ONLY=ON -DZELVAR_TSAN=ON >/dev/null
cmake --build "$tsan" -j "$jobs" $(printf -- '--target %s ' "${tsan_tests[@]}")
root=$PWD
for name in "${tsan_tests[@]}"; do
  echo "$name"
  (cd "$scratch" && TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
    "$root/scripts/in-netns.sh" "$(find "$root/$tsan/tests" -name "$name" -type f)" --gtest_brief=1)
done

echo "== Fuzzing (short run from the seed corpora in tests/fuzz/corpus)"
cmake -S . -B "$fuzz" "${strict[@]}" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVAR_CORE_ONLY=ON -DZELVAR_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j "$jobs" --target fuzz_targets
for target in "$fuzz"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  # New inputs go to a scratch folder; the seeds in the repository stay as they are.
  mkdir -p "$scratch/$name"
  seeds=()
  if [ -d "tests/fuzz/corpus/$name" ]; then
    seeds=("tests/fuzz/corpus/$name")
  else
    echo "$name: no seeds in tests/fuzz/corpus/$name, starting from nothing"
  fi
  log="$scratch/$name.log"
  if ! ./scripts/in-netns.sh "$target" -max_total_time=15 -rss_limit_mb=2048 \
      "$scratch/$name" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "== $name failed" >&2
    exit 1
  fi
  echo "$name: $(grep -E '^Done [0-9]+ runs' "$log")"
done

echo "== Release build of the core (GCC, -O3, warnings as errors)"
cmake -S . -B "$release" "${strict[@]}" \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release -DZELVAR_CORE_ONLY=ON >/dev/null
cmake --build "$release" -j "$jobs"

echo "== Debian package"
deb=$(./scripts/make-deb.sh "$build")
./scripts/in-netns.sh tests/package/check-deb.sh "$deb"

echo "== All tests passed"
