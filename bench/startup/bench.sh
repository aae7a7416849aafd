#!/bin/sh
# Start-up benchmark: the program's window (startupwindow) against a bare Qt
# window of the same size (barewindow). Each process starts, shows its window
# and quits once the event loop is idle. Both run alternately, RUNS times each,
# on the offscreen platform and, where xvfb-run exists, on a display under Xvfb;
# the script prints the medians of wall time and peak RSS and the ratios ours / bare.
#   usage: bench/startup/bench.sh [--wine] [RUNS]      (default 15)
# Builds the release preset, or with --wine the windows preset (the static Qt
# for Windows in QT_WINDOWS_PREFIX, as for scripts/build-windows) and runs that
# under wine, its display series on Qt's Windows platform through wine's X11
# driver. With --wine and QT_WINDOWS_DLL_PREFIX naming a Qt for Windows in DLLs,
# the window built against that (out/windows-dll) runs alternately too, and the
# one-file window is compared with it.
set -eu

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TIME=/usr/bin/time
WINE=
DLL_BIN=
RUNS=15
SERIES=
while [ $# -gt 0 ]; do
    case $1 in
    --wine) WINE=wine ;;
    --series) SERIES=yes ;; # the display series, started again inside xvfb-run
    --dll-bin) DLL_BIN=$2; shift ;; # and there the DLL build's folder
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
    [ -z "$DLL_BIN" ] || measure "$DLL_BIN/startupwindow" >/dev/null
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        measure "$BIN/barewindow" >>"$out/bare"
        measure "$BIN/startupwindow" >>"$out/ours"
        [ -z "$DLL_BIN" ] || measure "$DLL_BIN/startupwindow" >>"$out/dll"
        i=$((i + 1))
    done
    compare "$PLATFORM" bare "$out/bare" ours "$out/ours" "$TIME_TARGET" 1.3
    [ -z "$DLL_BIN" ] || compare "" dlls "$out/dll" "one file" "$out/ours" 1.0 1.0
    rm -r "$out"
    [ -z "$WINE" ] || wineserver -k
}

# Prints the medians of two series and their ratios: compare PLATFORM
# REFERENCE-NAME REFERENCE-FILE NAME FILE TIME-TARGET RSS-TARGET
compare() {
    awk -v p="$1" -v rn="$2" -v n="$RUNS" -v on="$4" -v tt="$6" -v mt="$7" \
        -v rt="$(cut -d' ' -f1 "$3" | median)" -v ot="$(cut -d' ' -f1 "$5" | median)" \
        -v rm="$(cut -d' ' -f2 "$3" | median)" -v om="$(cut -d' ' -f2 "$5" | median)" 'BEGIN {
        printf "%-9s %2d runs each  time: %s %6.1f ms   %s %6.1f ms   ratio %.2f (target <= %s)\n", p, n, rn, rt, on, ot, ot / rt, tt
        printf "%-9s               rss:  %s %6d KiB  %s %6d KiB  ratio %.2f (target <= %s)\n", "", rn, rm, on, om, om / rm, mt
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
    if [ -n "${QT_WINDOWS_DLL_PREFIX:-}" ]; then
        (cd "$ROOT" && QT_WINDOWS_PREFIX=$QT_WINDOWS_DLL_PREFIX cmake --preset windows -B out/windows-dll -DTVX_BENCH=ON >/dev/null &&
            cmake --build out/windows-dll --target startupwindow >/dev/null)
        DLL_BIN=$ROOT/out/windows-dll/bin
        # Qt's and the compiler's DLLs for that window; the one-file windows load none of them.
        WINEPATH=$(sed -n 's/^TVX_WINE_DLL_DIRS:INTERNAL=//p' "$ROOT/out/windows-dll/CMakeCache.txt" | sed 's/^/Z:/; s/;/;Z:/g')
        export WINEPATH
    fi
    # wine hands WINEQT_X to the program as QT_X.
    WINEPREFIX=${WINEPREFIX:-$ROOT/out/windows/wineprefix}
    WINEDEBUG=-all
    export WINEPREFIX WINEDEBUG
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
    set -- --series "$RUNS"
    [ -z "$WINE" ] || set -- "$@" --wine
    [ -z "$DLL_BIN" ] || set -- "$@" --dll-bin "$DLL_BIN"
    # One server for the whole series, so that its start-up counts for neither program.
    QT_QPA_PLATFORM=$DISPLAY_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
fi
