#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole test suite; checks the Debian
# package (scripts/check_package.sh); then runs the suite again under
# AddressSanitizer+UndefinedBehaviorSanitizer (build-asan/) and under ThreadSanitizer
# (build-tsan/). QOR_SANITIZERS=0 skips the sanitizer runs.
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

run_suite "$BUILD_DIR"
echo "== Debian package"
bash "$ROOT/scripts/check_package.sh"
if [ "${QOR_SANITIZERS:-1}" != 0 ]; then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite "$ROOT/build-asan" -DQOR_ASAN=ON
    echo "== ThreadSanitizer"
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp \
        run_suite "$ROOT/build-tsan" -DQOR_TSAN=ON
fi
