#!/bin/sh
# Start-up benchmark: the program's window (startupwindow) against a bare Qt
# window of the same size (barewindow). Each process starts, shows its window
# and quits once the event loop is idle. Both run alternately, RUNS times each,
# on the offscreen platform and, where xvfb-run exists, on xcb under Xvfb; the
# script prints the medians of wall time and peak RSS and the ratios ours / bare.
#   usage: bench/startup/bench.sh [RUNS]      (default 15; builds the release preset)
set -eu

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=$ROOT/out/release/bin
TIME=/usr/bin/time

# One run: prints "milliseconds peak-RSS-KiB".
measure() {
    start=$(date +%s%N)
    rss=$("$TIME" -f '%M' "$1" 2>&1 >/dev/null | tail -n 1)
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 )) $rss"
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The series on the platform set in QT_QPA_PLATFORM.
series() {
    out=$(mktemp -d)
    "$BIN/barewindow" 2>/dev/null && "$BIN/startupwindow" 2>/dev/null # warm the caches
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        measure "$BIN/barewindow" >>"$out/bare"
        measure "$BIN/startupwindow" >>"$out/ours"
        i=$((i + 1))
    done
    bare_ms=$(cut -d' ' -f1 "$out/bare" | median)
    ours_ms=$(cut -d' ' -f1 "$out/ours" | median)
    bare_kb=$(cut -d' ' -f2 "$out/bare" | median)
    ours_kb=$(cut -d' ' -f2 "$out/ours" | median)
    rm -r "$out"
    awk -v p="$QT_QPA_PLATFORM" -v n="$RUNS" -v bt="$bare_ms" -v ot="$ours_ms" -v bm="$bare_kb" -v om="$ours_kb" 'BEGIN {
        printf "%-9s %d runs each  time: bare %6.1f ms   ours %6.1f ms   ratio %.2f (target <= 1.5)\n", p, n, bt, ot, ot / bt
        printf "%-9s               rss:  bare %6d KiB  ours %6d KiB  ratio %.2f (target <= 1.3)\n", "", bm, om, om / bm
    }'
}

if [ "${1:-}" = --series ]; then # the xcb series, started again inside xvfb-run
    RUNS=$2
    series
    exit
fi

RUNS=${1:-15}
[ -x "$TIME" ] || { echo "bench.sh: GNU time is missing (Debian package 'time')" >&2; exit 1; }
(cd "$ROOT" && cmake --preset release >/dev/null && cmake --build --preset release --target barewindow startupwindow >/dev/null)

QT_QPA_PLATFORM=offscreen
export QT_QPA_PLATFORM
series

if command -v xvfb-run >/dev/null; then
    # One server for the whole series, so that its start-up counts for neither program.
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" --series "$RUNS"
fi
