# Shared by run.sh and test.sh: the Debian packages the project needs and the build into build/.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${QOR_BUILD_DIR:-$ROOT/build}

# Everything a fresh Debian 12 machine lacks to build, test and show the window.
PACKAGES=(g++ cmake ninja-build ccache pkg-config qt6-base-dev qt6-qpa-plugins
          libgtest-dev libgmock-dev xvfb xauth libudev-dev libsqlite3-dev nlohmann-json3-dev
          nettle-dev libpq-dev postgresql postgresql-common)

# ensure_packages [extra packages...]: installs what is missing (as root) or names the command.
ensure_packages() {
    local wanted=("${PACKAGES[@]}" "$@") missing=() p
    # One query for all of them: a second run should cost next to nothing.
    local installed
    installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${wanted[@]}" 2>/dev/null |
        awk '$NF == "installed" { print $1 }' || true)
    for p in "${wanted[@]}"; do
        grep -qxF "$p" <<<"$installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Run:  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# configure DIR [cmake options...]: once; later builds let CMake notice what changed.
configure() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    fi
}

# build DIR [cmake options...]: configure once, then build everything incrementally.
build() {
    configure "$@"
    cmake --build "$1" -j "$(nproc)"
}

# build_targets DIR TARGET...: only what a program run needs, not the tests and benchmarks.
build_targets() {
    local dir=$1
    shift
    configure "$dir"
    cmake --build "$dir" -j "$(nproc)" --target "$@"
}

# with_postgres CMD...: runs CMD inside a throwaway PostgreSQL cluster (pg_virtualenv, dropped
# afterwards), with QOR_TEST_PG_URI naming it, so the tests that need a server run (and fail
# when it does not answer). A cluster that cannot be started fails here, never skips them.
with_postgres() {
    local ran status=0
    ran=$(mktemp)
    # UTF-8 as a production server has it, whatever this shell's locale (without one the
    # cluster would be SQL_ASCII and take any bytes). The command removes the mark first: a
    # mark left behind means it never ran.
    pg_virtualenv -t -c --locale=C.UTF-8 \
        bash -c 'rm -f "$0" && QOR_TEST_PG_URI=postgresql:// exec "$@"' "$ran" "$@" || status=$?
    if [ -e "$ran" ]; then
        rm -f "$ran"
        echo "pg_virtualenv could not start a throwaway PostgreSQL cluster (see above):" \
            "the tests that need a server cannot run" >&2
        return 1
    fi
    return "$status"
}
