#!/usr/bin/env bash
# Regenerates the expected outputs beside the sample logs in tests/data from
# the current zelvar-decode. Run it only on purpose, after a change of the
# decoder's output has been checked by hand, and review the diff.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/tools/zelvar-decode/zelvar-decode}
data=tests/data
empty=$(mktemp)
trap 'rm -f "$empty"' EXIT
export XDG_CONFIG_HOME=$(mktemp -d)

"$bin" --settings "$empty" --hex-out "$data/traffic.expected.hex" "$data/traffic.hex" \
  >"$data/traffic.expected.txt"
"$bin" --settings "$data/no-filter.ini" "$data/traffic.hex" >"$data/traffic.no-filter.expected.txt"
"$bin" --settings "$data/only-rssi.ini" \
  "$data/reports.hex" >"$data/reports.only-rssi.expected.txt"
rm -rf "$XDG_CONFIG_HOME"
