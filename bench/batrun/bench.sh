#!/usr/bin/env bash
# Times batrun running the window's join script against plain tools doing the
# same join in the same run, and checks that all of them produce the same bytes.
#
#   full  16 MiB image, menu and 200 ROMs of 256 KiB .. 1 MiB (142 MiB):
#         batrun against cp of one file holding the joined bytes (the floor),
#         and against cat of the files
#   many  256 KiB image, menu and 32767 ROMs of 1 KiB: batrun against cat
#
# batrun flushes its image to disk before it puts it in place; the plain tools
# do not, so each is also timed followed by an fsync of its output.
# Medians of RUNS timed runs of each (default 7), interleaved, after a warm-up.
#
#   bench/batrun/bench.sh [PATH/TO/batrun]      (default: out/release/bin/batrun)
#   RUNS=9 SETS=many bench/batrun/bench.sh      (SETS: full, many or "full many")
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
echo "batrun: $batrun"

python3 - "$batrun" "$runs" "$work" ${SETS:-full many} <<'PY'
import filecmp, os, statistics, subprocess, sys, time

batrun, runs, work, sets = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]

def make_set(name, image_size, rom_sizes):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    os.chdir(folder)
    with open("tamblinvx.gba", "wb") as f:
        f.write(os.urandom(image_size))
    with open("menu.txt", "wb") as f:
        f.write(b"TamblinVX menu\r\n%d games\r\n" % len(rom_sizes))
    roms = []
    for i, size in enumerate(rom_sizes):
        roms.append("rom%05d.nes" % i)
        with open(roms[-1], "wb") as f:
            f.write(os.urandom(size))
    # The script as the window writes it: CR LF, the image joined first, then
    # one append per game.
    with open("TamLof.bat", "wb") as f:
        f.write(b"cd %s\r\ncopy /b tamblinvx.gba+menu.txt out_batrun.gba\r\n" % folder.encode())
        for rom in roms:
            f.write(b"copy /b out_batrun.gba+%s out_batrun.gba\r\n" % rom.encode())
    files = ["tamblinvx.gba", "menu.txt", *roms]
    with open("joined.bin", "wb") as out:
        subprocess.run(["cat", *files], stdout=out, check=True)
    return files

def flushed(path):
    fd = os.open(path, os.O_RDONLY)
    os.fsync(fd)
    os.close(fd)

# `output` is the file the tool writes, `flush` whether its time includes an
# fsync of it. The previous output is on disk before the clock starts, as a
# user's previous image is: its blocks cost the same to free for every tool.
def timed(command, output, flush, stdout=False):
    if os.path.exists(output):
        flushed(output)
    start = time.perf_counter()
    if stdout:
        with open(output, "wb") as out:  # the shell's "> output"
            subprocess.run(command, stdout=out, check=True)
    else:
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    if flush:
        flushed(output)
    return time.perf_counter() - start

def bench(name, files, with_cp):
    tools = {"batrun": lambda: timed([batrun, "TamLof.bat"], "out_batrun.gba", False),
             "cat": lambda: timed(["cat", *files], "out_cat.gba", False, stdout=True),
             "cat+fsync": lambda: timed(["cat", *files], "out_cat.gba", True, stdout=True)}
    if with_cp:
        tools["cp"] = lambda: timed(["cp", "joined.bin", "out_cp.gba"], "out_cp.gba", False)
        tools["cp+fsync"] = lambda: timed(["cp", "joined.bin", "out_cp.gba"], "out_cp.gba", True)
    for run in tools.values():
        run()
    times = {tool: [] for tool in tools}
    for _ in range(runs):
        for tool, run in tools.items():
            times[tool].append(run())
    size = os.path.getsize("joined.bin")
    print(f"\n{name}: {size / 2**20:.0f} MiB in {len(files)} files, {runs} timed runs each after one warm-up")
    med = {tool: statistics.median(t) * 1000 for tool, t in times.items()}
    for tool, t in times.items():
        print(f"  {tool:10} median {med[tool]:8.1f} ms   runs: " + " ".join(f"{x * 1000:.0f}" for x in t))
    targets = {"cp": 1.1, "cat": 1.0} if with_cp else {"cat": 1.0}
    for tool in tools:
        if tool == "batrun":
            continue
        ratio = med["batrun"] / med[tool]
        target = targets.get(tool)
        verdict = "" if target is None else f"  (target at most {target}: {'met' if ratio <= target else 'missed'})"
        print(f"  ratio batrun/{tool}: {ratio:.2f}{verdict}")
    for output in ["out_batrun.gba", "out_cat.gba"] + (["out_cp.gba"] if with_cp else []):
        if not filecmp.cmp("joined.bin", output, shallow=False):
            sys.exit(f"bench.sh: {output} differs from the joined files")
    print("  outputs identical")

for name in sets:
    if name == "full":
        # 256 KiB .. 1 MiB, spread but the same on every run.
        files = make_set("full", 16 * 2**20, [256 * 1024 + (i * 7919 % 769) * 1024 for i in range(200)])
        bench("full", files, with_cp=True)
    elif name == "many":
        files = make_set("many", 256 * 1024, [1024] * 32767)
        bench("many", files, with_cp=False)
    else:
        sys.exit(f"bench.sh: unknown set {name}")
PY
