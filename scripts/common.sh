# Shared by run.sh and test.sh: the Debian packages the project needs and the build into build/.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${QOR_BUILD_DIR:-$ROOT/build}

# Everything a fresh Debian 12 machine lacks to build, test and show the window.
PACKAGES=(g++ cmake ninja-build ccache pkg-config qt6-base-dev qt6-qpa-plugins
          libgtest-dev libgmock-dev xvfb xauth)

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
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

# build DIR [cmake options...]: configure once, then build incrementally.
build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    fi
    cmake --build "$dir" -j "$(nproc)"
}
