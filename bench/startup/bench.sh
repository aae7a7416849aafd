#!/bin/sh
# Start-up benchmark: the program's window (startupwindow) against a bare Qt
# window of the same size (barewindow). Each process starts, shows its window
# and quits once the event loop is idle. Both run alternately, RUNS times each,
# on the offscreen platform and, where xvfb-run exists, on a display under Xvfb;
# the script prints the medians of wall time and peak RSS and the ratios ours / bare.
#   usage: bench/startup/bench.sh [--wine] [RUNS]      (default 15)
# Builds the release preset, or with --wine the windows preset (Qt for Windows
# in QT_WINDOWS_PREFIX, as for scripts/build-windows) and runs that under wine,
# its display series on Qt's Windows platform through wine's X11 driver.
set -eu

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TIME=/usr/bin/time
WINE=
RUNS=15
SERIES=
while [ $# -gt 0 ]; do
    case $1 in
    --wine) WINE=wine ;;
    --series) SERIES=yes ;; # the display series, started again inside xvfb-run
    *) RUNS=$1 ;;
    esac
    shift
done
if [ -n "$WINE" ]; then
    BIN=$ROOT/out/windows/bin
    EXE=.exe
    DISPLAY_PLATFORM=windows
    TIME_TARGET=1.2
else
    BIN=$ROOT/out/release/bin
    EXE=
    DISPLAY_PLATFORM=xcb
    TIME_TARGET=1.5
fi

# One run: prints "milliseconds peak-RSS-KiB". No pipe reaches the program:
# services that wine starts along with it would hold it open.
measure() {
    start=$(date +%s%N)
    "$TIME" -o "$out/rss" -f '%M' $WINE "$1$EXE" >/dev/null 2>&1
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 )) $(tail -n 1 "$out/rss")"
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The series on the platform named in $1. Under wine a wineserver that stays
# for the series keeps its start-up out of both programs' times.
series() {
    PLATFORM=$1
    out=$(mktemp -d)
    [ -z "$WINE" ] || { wineserver -k 2>/dev/null || :; wineserver -p; }
    measure "$BIN/barewindow" >/dev/null && measure "$BIN/startupwindow" >/dev/null # warm the caches
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
    [ -z "$WINE" ] || wineserver -k
    awk -v p="$PLATFORM" -v target="$TIME_TARGET" -v n="$RUNS" -v bt="$bare_ms" -v ot="$ours_ms" -v bm="$bare_kb" -v om="$ours_kb" 'BEGIN {
        printf "%-9s %d runs each  time: bare %6.1f ms   ours %6.1f ms   ratio %.2f (target <= %s)\n", p, n, bt, ot, ot / bt, target
        printf "%-9s               rss:  bare %6d KiB  ours %6d KiB  ratio %.2f (target <= 1.3)\n", "", bm, om, om / bm
    }'
}

if [ -n "$SERIES" ]; then
    series "$DISPLAY_PLATFORM"
    exit
fi

[ -x "$TIME" ] || { echo "bench.sh: GNU time is missing (Debian package 'time')" >&2; exit 1; }
if [ -n "$WINE" ]; then
    [ -n "${QT_WINDOWS_PREFIX:-}" ] || { echo "bench.sh: --wine needs QT_WINDOWS_PREFIX (see scripts/build-windows)" >&2; exit 1; }
    (cd "$ROOT" && cmake --preset windows -DTVX_BENCH=ON >/dev/null &&
        cmake --build --preset windows --target barewindow startupwindow >/dev/null)
    # Qt's and the compiler's DLLs; wine hands WINEQT_X to the program as QT_X.
    WINEPATH=$(sed -n 's/^TVX_WINE_DLL_DIRS:INTERNAL=//p' "$ROOT/out/windows/CMakeCache.txt" | sed 's/^/Z:/; s/;/;Z:/g')
    WINEPREFIX=${WINEPREFIX:-$ROOT/out/windows/wineprefix}
    WINEDEBUG=-all
    export WINEPATH WINEPREFIX WINEDEBUG
    [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
    WINEQT_QPA_PLATFORM=offscreen
    export WINEQT_QPA_PLATFORM
    series offscreen
    unset WINEQT_QPA_PLATFORM
else
    (cd "$ROOT" && cmake --preset release >/dev/null && cmake --build --preset release --target barewindow startupwindow >/dev/null)
    QT_QPA_PLATFORM=offscreen
    export QT_QPA_PLATFORM
    series offscreen
fi

if command -v xvfb-run >/dev/null; then
    # One server for the whole series, so that its start-up counts for neither program.
    QT_QPA_PLATFORM=$DISPLAY_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" ${WINE:+--wine} --series "$RUNS"
fi
