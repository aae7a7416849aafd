#!/usr/bin/env bash
# Times batrun joining a full-size build (16 MiB image, menu, 200 ROMs) against
# cat doing the same join, and checks that both produce the same bytes.
#
#   bench/batrun/bench.sh [PATH/TO/batrun]     (default: out/release/bin/batrun)
#   RUNS=9 bench/batrun/bench.sh               (timed runs of each, default 7)
#
# Build it first: cmake --preset release && cmake --build --preset release --target batrun
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
batrun=$(realpath "${1:-$repo/out/release/bin/batrun}")
runs=${RUNS:-7}
[[ -x $batrun ]] || { echo "bench.sh: no batrun at $batrun" >&2; exit 1; }
(( runs >= 5 )) || { echo "bench.sh: RUNS must be at least 5" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/batrun-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c $((16 * 1024 * 1024)) /dev/urandom > tamblinvx.gba
printf 'TamblinVX menu\r\n200 games\r\n' > menu.txt
roms=()
for i in $(seq 0 199); do
    name=$(printf 'rom%03d.nes' "$i")
    # 256 KiB .. 1 MiB, spread but the same on every run.
    head -c $((256 * 1024 + (i * 7919 % 769) * 1024)) /dev/urandom > "$name"
    roms+=("$name")
done

# The script exactly as the window writes it: CR LF, the image joined first,
# then one append per game.
{
    printf 'cd %s\r\n' "$work"
    printf 'copy /b tamblinvx.gba+menu.txt out_batrun.gba\r\n'
    for rom in "${roms[@]}"; do
        printf 'copy /b out_batrun.gba+%s out_batrun.gba\r\n' "$rom"
    done
} > TamLof.bat

echo "batrun: $batrun"
echo "input:  $(du -sh --apparent-size . | cut -f1) in $(( ${#roms[@]} + 2 )) files; $runs timed runs each after one warm-up"

python3 - "$batrun" "$runs" "${roms[@]}" <<'PY'
import statistics, subprocess, sys, time

batrun, runs, roms = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
cat_args = ["cat", "tamblinvx.gba", "menu.txt", *roms]

def run_batrun():
    start = time.perf_counter()
    subprocess.run([batrun, "TamLof.bat"], stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start

def run_cat():
    start = time.perf_counter()
    with open("out_cat.gba", "wb") as out:  # the shell's "> out_cat.gba"
        subprocess.run(cat_args, stdout=out, check=True)
    return time.perf_counter() - start

run_batrun(); run_cat()
times = {"batrun": [], "cat": []}
for _ in range(runs):
    times["batrun"].append(run_batrun())
    times["cat"].append(run_cat())

med = {k: statistics.median(v) * 1000 for k, v in times.items()}
for k, v in times.items():
    print(f"{k:7} median {med[k]:8.1f} ms   runs: " + " ".join(f"{t * 1000:.0f}" for t in v))
ratio = med["batrun"] / med["cat"]
print(f"ratio batrun/cat: {ratio:.2f} (target at most 1.0: {'met' if ratio <= 1.0 else 'missed'})")
PY

if cmp -s out_batrun.gba out_cat.gba; then
    echo "outputs identical ($(stat -c %s out_cat.gba) bytes)"
else
    echo "bench.sh: batrun and cat outputs differ" >&2
    exit 1
fi
