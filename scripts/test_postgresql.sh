#!/usr/bin/env bash
# Runs only the tests that need a PostgreSQL server (those with "Postgres" in their name):
# installs what is missing, builds the tests and the programs they run into build/, starts
# a throwaway cluster (pg_virtualenv), runs the tests against it and drops it again.
#
#   scripts/test_postgresql.sh [ctest options...]     e.g. -V, or -R PostgresLine
#
# The tests find the server through QOR_TEST_PG_URI (here postgresql://, libpq's environment
# names the cluster); without it they are skipped, as in the sanitizer builds.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages
build_targets "$BUILD_DIR" qorcore_tests qorgui_tests qorwctl qorsim
cd "$BUILD_DIR"
if ctest -N -R Postgres | grep -qx 'Total Tests: 0'; then
    echo "No test needs a PostgreSQL server in this build yet; the cluster is only started."
fi
with_postgres ctest -R Postgres --no-tests=ignore --output-on-failure -j "$(nproc)" "$@"
