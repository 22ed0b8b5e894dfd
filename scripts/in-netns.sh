#!/usr/bin/env bash
# Runs a command in a private network namespace whose only interface is the
# loopback, so that nothing a test sends can leave this machine.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then
  flags=(-n)
else
  flags=(-r -n)
fi
exec unshare "${flags[@]}" -- bash -c 'ip link set lo up && exec "$@"' in-netns "$@"
