#!/usr/bin/env bash
# Regenerates the expected outputs beside the sample logs in tests/data from
# the current zelvar-decode and zelvar-edit. Run it only on purpose, after a
# change of their output has been checked by hand, and review the diff.
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

# zelvar-edit: one expected output per command over the same sample.
edit=${2:-build/tools/zelvar-edit/zelvar-edit}
for command in strip-stamps spaces divide hex-to-byte byte-to-hex min16 mask packets-0b-05 \
    short sort-ports; do
  "$edit" "$command" "$data/edit-sample.hex" >"$data/edit-sample.$command.expected.txt"
done
"$edit" mask --byte=a5 --type 2bz "$data/edit-sample.hex" >"$data/edit-sample.mask-a5-2bz.expected.txt"
"$edit" packets-0b-05 --crlf <"$data/edit-sample.hex" >"$data/edit-sample.packets-0b-05.crlf.expected.txt"
"$edit" min16 "$data/edit-single-byte.txt" >"$data/edit-single-byte.min16.expected.txt"
rm -rf "$XDG_CONFIG_HOME"
