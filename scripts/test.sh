#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole test suite.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages
build "$BUILD_DIR"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
