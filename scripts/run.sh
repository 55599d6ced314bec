#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the utility.
#
#   scripts/run.sh                  against a simulated QORW module (qorsim on a pseudo-terminal)
#   scripts/run.sh --port DEVICE    against the module on DEVICE, e.g. /dev/ttyUSB0 or a
#                                   /dev/serial/by-id/ name; no simulator
#
# The device stands for the COM port the window will open: the one QORWUTIL.CFG in the current
# directory names (the window keeps its port choice there), else COM1.
set -euo pipefail
source "$(dirname "$0")/common.sh"

usage() {
    echo "usage: scripts/run.sh [--port DEVICE]" >&2
    exit 2
}

device=
case $# in
    0) ;;
    1) case $1 in
           --port=?*) device=${1#--port=} ;;
           -h | --help) echo "usage: scripts/run.sh [--port DEVICE]"; exit 0 ;;
           *) usage ;;
       esac ;;
    2) [ "$1" = --port ] && [ -n "$2" ] || usage; device=$2 ;;
    *) usage ;;
esac

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no display to show the window on (DISPLAY is not set)." >&2
    echo "        Without a desktop, try:  xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

ensure_packages
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    echo "Building into $BUILD_DIR (the first build takes a few minutes)..." >&2
fi
log=$(mktemp)
if ! build_targets "$BUILD_DIR" qorwutil qorsim >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    exit 1
fi
rm -f "$log"

port=1
if [ -f QORWUTIL.CFG ]; then
    # Read as the window reads it: the number the line starts with, whatever follows it.
    n=$(LC_ALL=C sed -n '1s/^CommPort=COM[ \t]*+\{0,1\}\([0-9]\{1,11\}\).*/\1/p' QORWUTIL.CFG)
    if [ -n "$n" ] && [ "$((10#$n))" -ge 1 ] && [ "$((10#$n))" -le 32 ]; then
        port=$((10#$n))
    fi
fi

sim_pid=
app_pid=
stop() {
    [ -n "$app_pid" ] && kill -TERM "$app_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null
    wait 2>/dev/null || true
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

if [ -z "$device" ]; then
    coproc SIM { exec "$BUILD_DIR/qorsim"; }
    sim_pid=$SIM_PID
    if ! read -r -t 10 device <&"${SIM[0]}" || [ -z "$device" ]; then
        echo "run.sh: the simulated module did not start" >&2
        exit 1
    fi
    echo "Simulated QORW module on $device as COM$port; it stops when the window closes."
else
    [ -e "$device" ] || echo "run.sh: $device does not exist (yet)" >&2
    echo "COM$port is $device for this run."
fi
export "QORW_COM$port=$device"

# In the background, so that a signal to this script reaches its traps while the window is up.
"$BUILD_DIR/qorwutil" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=
exit "$status"
