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
# The JSON form: its times carry the zone's offset, so the zone is fixed.
TZ=Europe/Berlin "$bin" --settings "$empty" --json --station alpha "$data/traffic.hex" \
  >"$data/traffic.expected.json"
TZ=Europe/Berlin "$bin" --settings "$data/only-rssi.ini" --json --station alpha \
  "$data/reports.hex" >"$data/reports.only-rssi.expected.json"
rm -rf "$XDG_CONFIG_HOME"
