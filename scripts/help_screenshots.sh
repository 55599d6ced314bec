#!/usr/bin/env bash
# Takes the help pages' screenshots from the real window: starts qorwutil against a simulated
# module under a private Xvfb, uploads with "QOR", visits every tab, edits a routing entry and
# saves a text file through the window's own dialog (a check that the whole road works), and
# writes small palette PNGs into docs/help/.
#
#   scripts/help_screenshots.sh
#
# Needs Xvfb, xdotool and ImageMagick (apt-get install xvfb xdotool imagemagick).
set -euo pipefail
source "$(dirname "$0")/common.sh"
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "help_screenshots: $tool is missing" >&2; exit 1; }
done
build_targets "$BUILD_DIR" qorwutil qorsim >/dev/null

OUT=$ROOT/docs/help
work=$(mktemp -d)
pids=()
stop() {
    local p
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop EXIT

# A display of our own: Xvfb picks a free number and tells it on a descriptor.
Xvfb -displayfd 3 -screen 0 1100x620x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$work/display")

"$BUILD_DIR/qorsim" --log "$work/sim.log" >"$work/sim.out" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
export QORW_COM1
QORW_COM1=$(head -n 1 "$work/sim.out")

# In an empty folder, so that no QORWUTIL.CFG picks another port.
mkdir -m 700 "$work/xdg" "$work/cwd"
(cd "$work/cwd" && XDG_RUNTIME_DIR=$work/xdg exec "$BUILD_DIR/qorwutil") 2>/dev/null &
pids+=($!)
win=$(xdotool search --sync --onlyvisible --name '^QOR / QORW Utility$' | head -n 1)
sleep 1

# Without a window manager the keyboard goes where the focus is put.
focus() { xdotool windowfocus --sync "$1" 2>/dev/null || true; }
key() { focus "$win"; xdotool key "$@"; sleep 0.7; }
shot() { import -window "$1" "$work/shot.png" && convert "$work/shot.png" -colors 64 "PNG8:$OUT/$2"; }
# The newest top-level window other than the main one (a dialog or a message box).
other_window() {
    xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$win" | tail -n 1
}
# Waits until the simulated module has heard nothing for a second.
quiet() {
    local before=-1 now
    for _ in $(seq 40); do
        now=$(wc -l <"$work/sim.log" 2>/dev/null || echo 0)
        [ "$now" = "$before" ] && [ "$now" != 0 ] && return 0
        before=$now
        sleep 1
    done
}

shot "$win" window-start.png
key alt+q
quiet
pages=(page-ip-addr page-routing page-email page-reset page-utility-settings page-web-config
       page-web-data-desc)
for i in "${!pages[@]}"; do
    [ "$i" -gt 0 ] && key ctrl+Tab
    shot "$win" "${pages[$i]}.png"
done

# "Find Module..." on the Utility Settings page: the simulated module, found at the first rate.
key ctrl+shift+Tab
key ctrl+shift+Tab
key alt+m
sleep 2
dialog=$(other_window)
[ -n "$dialog" ] || { echo "help_screenshots: no Find Module dialog" >&2; exit 1; }
shot "$dialog" dialog-find-module.png
focus "$dialog"
xdotool key Escape
sleep 0.7

# Back to the routing page: a refused entry, then a good one.
for _ in 1 2 3; do key ctrl+shift+Tab; done
key Down
focus "$win"
xdotool type --delay 30 "10.0.0.1"
key Return
box=$(other_window)
[ -n "$box" ] || { echo "help_screenshots: no message for a bad entry" >&2; exit 1; }
shot "$box" message-bad-entry.png
focus "$box"
xdotool key Return
sleep 0.7
focus "$win"
xdotool type --delay 30 "010.000.000.001"
key Return
shot "$win" window-modified.png

# "Te&xt..." saves the pages as a text file.
key alt+x
dialog=$(other_window)
[ -n "$dialog" ] || { echo "help_screenshots: no save dialog" >&2; exit 1; }
shot "$dialog" dialog-save-text.png
focus "$dialog"
xdotool type --delay 20 "$work/cwd/saved"
xdotool key Return
sleep 1.5
grep -q '^Route[0-9][0-9]: 010\.000\.000\.001' "$work/cwd/saved.txt" 2>/dev/null || {
    echo "help_screenshots: the saved text file lacks the edited route" >&2
    exit 1
}
echo "Screenshots in $OUT; the upload, the edit and the text save worked."
ls -l "$OUT"/*.png
