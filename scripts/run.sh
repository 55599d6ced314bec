#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the utility.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages
build "$BUILD_DIR" >/dev/null
exec "$BUILD_DIR/qorwutil" "$@"
