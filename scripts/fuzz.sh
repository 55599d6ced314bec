#!/usr/bin/env bash
# Runs the libFuzzer targets, one after the other, each for a fixed time, starting from the
# corpus kept in fuzz/corpus/<target>/ and merging what it found back into it (minimised).
#
#   scripts/fuzz.sh                    every target, 600 s each
#   scripts/fuzz.sh masked_edit 60     one target, 60 s
#   QOR_FUZZ_JOBS=2 scripts/fuzz.sh    two fuzzing processes per target
#   QOR_FUZZ_KEEP_CORPUS=1 ...         leave fuzz/corpus/ as it is
#
# Builds with clang-14 into build-fuzz/. Findings (crash-*, leak-*, timeout-*, oom-*) are kept in
# build-fuzz/findings/<target>/ and make the script fail.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${QOR_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_EACH=${2:-600}
JOBS=${QOR_FUZZ_JOBS:-1}

if [ ! -f "$BUILD/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$ROOT" -B "$BUILD" -G Ninja -DQOR_FUZZ=ON -DQOR_GUI=OFF \
        >/dev/null
fi

if [ $# -ge 1 ] && [ -n "$1" ] && [ "$1" != all ]; then
    TARGETS=("$1")
else
    TARGETS=()
    for src in "$ROOT"/fuzz/*_fuzz.cpp; do
        name=$(basename "$src" _fuzz.cpp)
        TARGETS+=("$name")
    done
fi

cmake --build "$BUILD" --target "${TARGETS[@]/#/fuzz_}"

# The targets save files, and a save waits for the disk; a memory file system spares that wait.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for t in "${TARGETS[@]}"; do
    bin=$BUILD/fuzz/fuzz_$t
    corpus=$ROOT/fuzz/corpus/$t
    work=$BUILD/fuzz-work/$t
    findings=$BUILD/findings/$t
    mkdir -p "$corpus" "$findings"
    rm -rf "$work" && mkdir -p "$work"
    cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    dict=()
    [ -f "$ROOT/fuzz/$t.dict" ] && dict=(-dict="$ROOT/fuzz/$t.dict")

    echo "== $t: ${SECONDS_EACH}s, $JOBS job(s)"
    start=$(date +%s)
    set +e
    # The window reads QORWUTIL.CFG from the current directory: keep the fuzzers out of the tree.
    cd "$findings"
    if [ "$JOBS" -gt 1 ]; then
        ("$bin" -fork="$JOBS" -max_total_time="$SECONDS_EACH" -timeout=10 \
            -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 "${dict[@]}" \
            -artifact_prefix="$findings/" "$work")
    else
        "$bin" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
            -malloc_limit_mb=512 -print_final_stats=1 "${dict[@]}" \
            -artifact_prefix="$findings/" "$work" 2>&1 | grep -vE '^#[0-9]+\s+(NEW|REDUCE|pulse)'
    fi
    rc=${PIPESTATUS[0]}
    cd "$ROOT"
    set -e
    echo "== $t: ran $(($(date +%s) - start))s, exit $rc"
    if [ "$rc" -ne 0 ] || ls "$findings" | grep -qE '^(crash|leak|timeout|oom|slow-unit)-'; then
        echo "== $t: FINDINGS in $findings" >&2
        status=1
        continue
    fi
    if [ "${QOR_FUZZ_KEEP_CORPUS:-0}" != 1 ]; then
        merged=$BUILD/fuzz-merged/$t
        rm -rf "$merged" && mkdir -p "$merged"
        # A greedy set cover over edges keeps the committed corpus to a few dozen files.
        "$bin" -set_cover_merge=1 -use_counters=0 "$merged" "$corpus" "$work" >/dev/null 2>&1
        rm -rf "$corpus" && mv "$merged" "$corpus"
        echo "== $t: corpus $(ls "$corpus" | wc -l) files"
    fi
done
exit $status
