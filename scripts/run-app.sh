#!/usr/bin/env bash
# Starts the program from the build tree in the current directory, where it
# keeps its "Files" folder of auto-saved logs.
set -euo pipefail
build=${1:-build}
if [ -x "$build/app/Zelvar" ]; then
  exec "$build/app/Zelvar"
fi
exec "$build/tools/zelvar-decode/zelvar-decode" --help
