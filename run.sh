#!/usr/bin/env bash
# Installs the Debian packages that are missing, builds Zelvar and starts it in
# the current directory, where it keeps its "Files" folder of auto-saved logs.
# Only the program is built; ./test.sh builds the rest.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build" Zelvar
exec "$here/scripts/run-app.sh" "$here/build"
