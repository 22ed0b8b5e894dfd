#!/usr/bin/env bash
# Installs the Debian packages that are missing, builds, and runs every test:
# the full suite in a private network namespace, the core under AddressSanitizer
# and UndefinedBehaviorSanitizer, the fuzz targets briefly, a Release build of
# the core with GCC and warnings as errors, and the Debian package's check.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/in-netns.sh --check
./scripts/build.sh build
exec ./scripts/run-tests.sh build build-asan build-fuzz build-release
