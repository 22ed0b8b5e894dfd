#!/usr/bin/env bash
# Runs a command in a private network namespace whose only interface is the
# loopback, so that nothing a test sends can leave this machine.
#
#   scripts/in-netns.sh --check    only checks, once, that such a namespace can
#                                  be made here, and says in one line why not
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then
  flags=(-n)
else
  flags=(-r -n)
fi

if [ "${1-}" = --check ]; then
  unshare "${flags[@]}" -- ip link set lo up 2>/dev/null && exit 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "The tests need a private network namespace, but this process lacks the right to create namespaces (e.g. in a container without CAP_SYS_ADMIN); no test was run." >&2
  else
    echo "The tests need a private network namespace, but user namespaces are not available here (e.g. in a chroot or container, or with kernel.unprivileged_userns_clone=0): run them as root; no test was run." >&2
  fi
  exit 1
fi

exec unshare "${flags[@]}" -- bash -c 'ip link set lo up && exec "$@"' in-netns "$@"
