#!/usr/bin/env bash
# Start-up of qorwutil to its first shown window, offscreen, and its resident memory then.
#
#   scripts/bench_startup.sh [runs]        (default 20 runs; builds qorwutil in build/ if needed)
#
# The program has no switch to quit after it appears, so a small preloaded library (built here,
# no Qt headers needed) takes over QWidget::show(): it lets the real show() run, then prints the
# time since the launch (exec, dynamic loading, QApplication, the window and its seven pages,
# the defaults) and the resident set (VmRSS, VmHWM), and ends the process at once. The window
# is shown but no event loop has run, so the time excludes the first paint.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${QOR_BUILD_DIR:-$ROOT/build}
RUNS=${1:-20}

if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
fi
cmake --build "$BUILD" --target qorwutil >/dev/null
BIN=$BUILD/qorwutil

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cat >"$WORK/first_show.c" <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long status_kb(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    size_t n = strlen(key);
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, key, n) == 0)
            kb = strtol(line + n, NULL, 10);
    if (f)
        fclose(f);
    return kb;
}

/* QWidget::show() */
void _ZN7QWidget4showEv(void* self) {
    void (*real)(void*) = (void (*)(void*))dlsym(RTLD_NEXT, "_ZN7QWidget4showEv");
    real(self);
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const char* t0 = getenv("QOR_BENCH_T0_NS");
    long long start = t0 ? atoll(t0) : 0;
    long long ns = (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
    FILE* out = fopen(getenv("QOR_BENCH_OUT"), "w");
    if (out) {
        fprintf(out, "%.3f %ld %ld\n", (ns - start) / 1e6, status_kb("VmRSS:"), status_kb("VmHWM:"));
        fclose(out);
    }
    _exit(0);
}
C
cc -O2 -shared -fPIC -o "$WORK/first_show.so" "$WORK/first_show.c" -ldl

# The window reads QORWUTIL.CFG from the current directory: start it in an empty one.
cd "$WORK"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$WORK/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"
echo "command: QT_QPA_PLATFORM=offscreen LD_PRELOAD=first_show.so $BIN   ($RUNS runs)"
# One run to warm the page cache, not counted.
QOR_BENCH_OUT=$WORK/warm QOR_BENCH_T0_NS=$(date +%s%N) LD_PRELOAD=$WORK/first_show.so "$BIN" || true
: >"$WORK/all"
for i in $(seq "$RUNS"); do
    QOR_BENCH_OUT=$WORK/run QOR_BENCH_T0_NS=$(date +%s%N) LD_PRELOAD=$WORK/first_show.so "$BIN"
    if [ ! -s "$WORK/run" ]; then
        echo "qorwutil did not show a window" >&2
        exit 1
    fi
    cat "$WORK/run" >>"$WORK/all"
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms_med=$(cut -d' ' -f1 "$WORK/all" | median)
ms_min=$(cut -d' ' -f1 "$WORK/all" | sort -n | head -1)
ms_max=$(cut -d' ' -f1 "$WORK/all" | sort -n | tail -1)
rss_med=$(cut -d' ' -f2 "$WORK/all" | median)
hwm_max=$(cut -d' ' -f3 "$WORK/all" | sort -n | tail -1)
awk -v med="$ms_med" -v lo="$ms_min" -v hi="$ms_max" -v rss="$rss_med" -v hwm="$hwm_max" -v n="$RUNS" 'BEGIN {
    printf "start-up to first shown window: median %.1f ms (min %.1f, max %.1f) over %d runs\n", med, lo, hi, n
    printf "resident memory at first show: median VmRSS %.1f MiB, largest VmHWM %.1f MiB\n", rss / 1024, hwm / 1024
}'
