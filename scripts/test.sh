#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole test suite inside a throwaway
# PostgreSQL cluster, so the tests that need a server run too; checks the Debian package
# (scripts/check_package.sh); then runs the suite again under
# AddressSanitizer+UndefinedBehaviorSanitizer (build-asan/) and under ThreadSanitizer
# (build-tsan/), without a server (libpq is not instrumented; those tests are skipped there).
#
#   scripts/test.sh            everything
#   scripts/test.sh --plain    only the first run (build/ and the server)
#
# QOR_SANITIZERS=0 skips the sanitizer runs.
set -euo pipefail
source "$(dirname "$0")/common.sh"
# The package check's tools too, so a missing one is named before the long builds.
ensure_packages dpkg-dev desktop-file-utils appstream

run_suite() {
    local dir=$1
    shift
    build "$dir" "$@"
    (cd "$dir" && ctest --output-on-failure -j "$(nproc)")
}

echo "== the suite, with a PostgreSQL server"
build "$BUILD_DIR"
(cd "$BUILD_DIR" && with_postgres ctest --output-on-failure -j "$(nproc)")
[ "${1:-}" = --plain ] && exit 0
echo "== Debian package"
bash "$ROOT/scripts/check_package.sh"
if [ "${QOR_SANITIZERS:-1}" != 0 ]; then
    unset QOR_TEST_PG_URI
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite "$ROOT/build-asan" -DQOR_ASAN=ON
    echo "== ThreadSanitizer"
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp \
        run_suite "$ROOT/build-tsan" -DQOR_TSAN=ON
fi
