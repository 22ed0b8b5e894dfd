#!/usr/bin/env bash
# Runs bench_live_intake as a user sees the program: under a real X server
# (Xvfb) with a window manager (openbox), inside a network namespace whose
# only interface is the loopback, with a throw-away HOME. Arguments go to the
# benchmark, for example:
#   bench/run-live-intake.sh --runs 5
#   bench/run-live-intake.sh --runs 5 --unwritable
#   bench/run-live-intake.sh --runs 1 --kill-after 5
#   bench/run-live-intake.sh --runs 3 --overload
# Needs xvfb and openbox (apt-get install xvfb openbox).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$(realpath "${BENCH:-$root/build/bench/bench_live_intake}")
for t in Xvfb openbox unshare; do
  command -v "$t" >/dev/null || { echo "run-live-intake.sh: $t is missing" >&2; exit 2; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/config"
if [ "$(id -u)" -eq 0 ]; then flags=(-n); else flags=(-r -n); fi
args=$(printf '%q ' "$@")
unshare "${flags[@]}" -- bash -c "
  set -e
  ip link set lo up
  disp=:\$((200 + RANDOM % 300))
  Xvfb \$disp -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 & xp=\$!
  trap 'kill \$wm \$xp 2>/dev/null || true' EXIT
  for i in \$(seq 50); do [ -e /tmp/.X11-unix/X\${disp#:} ] && break; sleep 0.1; done
  DISPLAY=\$disp openbox >/dev/null 2>&1 & wm=\$!
  sleep 1
  cd '$scratch'
  mkdir -p -m 700 '$scratch/run'
  XDG_RUNTIME_DIR='$scratch/run' HOME='$scratch/home' XDG_CONFIG_HOME='$scratch/config' DISPLAY=\$disp QT_QPA_PLATFORM=xcb \
    '$bench' $args
"
