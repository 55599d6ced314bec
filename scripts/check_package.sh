#!/usr/bin/env bash
# Builds the Debian package from build/, validates the desktop entry and the metainfo, checks
# what the package holds and declares, installs it, runs the installed programs, and removes it
# again.
#
#   scripts/check_package.sh
#
# As root the package is installed for real with apt-get (and removed at the end, unless it was
# installed before, in which case it is only unpacked). As anyone else it is unpacked into a
# scratch folder and apt-get only simulates the install, so the machine is never changed.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages dpkg-dev desktop-file-utils appstream

APP_ID=org.qor.qorwutil
fail() {
    echo "check_package: $*" >&2
    exit 1
}

echo "== validating the desktop entry and the metainfo"
desktop-file-validate "$ROOT/data/$APP_ID.desktop" "$ROOT/data/$APP_ID.station.desktop"
appstreamcli validate --no-net --pedantic "$ROOT/data/$APP_ID.metainfo.xml"

echo "== building the package"
configure "$BUILD_DIR"
cmake --build "$BUILD_DIR" -j "$(nproc)" >/dev/null
out=$BUILD_DIR/package
rm -rf "$out"
(cd "$BUILD_DIR" && cpack -G DEB -B "$out" >/dev/null)
debs=("$out"/qorwutil_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no qorwutil_*.deb"
deb=${debs[0]}
echo "$deb"

echo "== contents"
contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }' | sed 's|^\./|/|')
expected=(/usr/bin/qorwutil /usr/bin/qorsim
          /usr/share/applications/$APP_ID.desktop /usr/share/applications/$APP_ID.station.desktop
          /usr/share/metainfo/$APP_ID.metainfo.xml
          /usr/share/icons/hicolor/scalable/apps/$APP_ID.svg
          /usr/share/qorwutil/help/Overview.html)
[ -d "$ROOT/src/cli" ] && expected+=(/usr/bin/qorwctl /usr/share/bash-completion/completions/qorwctl)
for page in "$ROOT"/docs/*.1; do
    expected+=("/usr/share/man/man1/$(basename "$page")")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libqt6widgets6 qt6-qpa-plugins libudev1 libsqlite3-0 libpq5 libnettle8; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends does not name $lib"
done

scratch=$(mktemp -d)
installed_here=0
cleanup() {
    if [ "$installed_here" = 1 ]; then
        echo "== removing the package"
        apt-get purge -y -qq qorwutil >/dev/null
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

prefix=
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' qorwutil 2>/dev/null | grep -q 'ok installed'; then
    echo "== installing with apt-get"
    installed_here=1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
else
    echo "== simulating the install, unpacking into $scratch/root"
    apt-get install -s --no-install-recommends "$deb" 2>/dev/null | grep -q '^Inst qorwutil' ||
        fail "apt-get cannot install the package here"
    dpkg-deb -x "$deb" "$scratch/root"
    prefix=$scratch/root
fi

echo "== running the installed programs"
# Every help page's links and pictures must be in the package.
help=$prefix/usr/share/qorwutil/help
for page in "$help"/*.html; do
    for ref in $(grep -o '\(href\|src\)="[^"#:]*' "$page" | sed 's/^[a-z]*="//' | sort -u); do
        [ -e "$help/$ref" ] || fail "$(basename "$page") refers to $ref, which is not installed"
    done
done
if [ -d "$ROOT/src/cli" ]; then
    "$prefix/usr/bin/qorwctl" --help >/dev/null || fail "qorwctl --help failed"
    echo "qorwctl --help: ok"
    # The completion is generated from qorwctl's option table at build time.
    completion=$prefix/usr/share/bash-completion/completions/qorwctl
    bash -n "$completion" && grep -qx 'complete -F _qorwctl qorwctl' "$completion" ||
        fail "the installed bash completion is not qorwctl's"
    echo "bash completion: ok"
fi
# The simulator prints its device, then serves; the window starts and stays up (offscreen).
cd "$scratch"
"$prefix/usr/bin/qorsim" >"$scratch/sim.out" &
sim=$!
sleep 1
kill -TERM "$sim"
wait "$sim" || fail "qorsim did not end cleanly on SIGTERM"
grep -q '^/dev/pts/' "$scratch/sim.out" || fail "qorsim printed no device"
echo "qorsim: ok"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch "$prefix/usr/bin/qorwutil" 2>"$scratch/gui.err" &
gui=$!
sleep 2
kill -0 "$gui" 2>/dev/null || { cat "$scratch/gui.err" >&2; fail "qorwutil did not stay up"; }
kill -TERM "$gui"
wait "$gui" || true
echo "qorwutil: ok"
echo "== package ok: $deb"
