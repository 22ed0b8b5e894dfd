#!/usr/bin/env bash
# Runs every benchmark of the build tree, each several times; the figures to
# quote are the medians. Window benchmarks run offscreen, and everything that
# opens a socket runs in a private network namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
for bench in "$build"/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  bench=$(realpath "$bench")
  database=()
  if [[ "$(basename "$bench")" =~ ^bench_(collect_import|publish_collect|web_live)$ ]]; then
    # A throw-away PostgreSQL as the tests have it (see run-tests.sh), but
    # writing as safely as a real one would.
    pgsocket=$(mktemp -d "${TMPDIR:-/tmp}/zelvar-pg.XXXXXX")
    trap 'rm -rf "$scratch" "$pgsocket"' EXIT
    [ "$(id -u)" -ne 0 ] || chown postgres:postgres "$pgsocket"
    database=(pg_virtualenv -t -o fsync=on -c "--socketdir=$pgsocket")
  fi
  (cd "$scratch" && "$root/scripts/in-netns.sh" "${database[@]}" "$bench")
done
