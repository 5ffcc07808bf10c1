#!/usr/bin/python3
"""Reads the same fixed-width text files, in one run, with kurvex-cli, with the
floor program (one thread, std::from_chars into column vectors) and with
pandas, and prints the times, the ratios and the memory the reader keeps.

Usage: bench/compare_pandas.py BUILD_DIR   (BUILD_DIR configured with -DKURVEX_BENCH=ON)

Times are whole processes, best of five: `kurvex-cli info FILE` against
`kurvex_floor_read FILE` (reading, converting, first touch of its memory).
pandas is timed inside Python (read_csv alone, best of three), which leaves
out the interpreter's start-up in its favour. Memory: `kurvex_read_probe FILE`
loads the file as kurvex-cli does and reports its resident and peak memory;
the floor program's on a two-row file is taken off, and the rest divided by
the samples (rows times variables). Goals: 1.3x the floor, 8x pandas,
9.5 bytes a sample resident, 12 at the peak. The files are made once by
kurvex_bench_read in $KURVEX_BENCH_DIR (default /tmp/kurvex-bench).
"""
import os
import re
import subprocess
import sys
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bench_dir = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
env = dict(os.environ, KURVEX_BENCH_DIR=bench_dir, QT_QPA_PLATFORM="offscreen")
cli = os.path.join(build, "src", "cli", "kurvex-cli")
floor = os.path.join(build, "bench", "kurvex_floor_read")
probe = os.path.join(build, "bench", "kurvex_read_probe")
files = ["fixed_1000000x8.txt", "fixed_10000000x2.txt"]

# The reader benchmark makes the files it reads (and measures the reader in process).
if not all(os.path.exists(os.path.join(bench_dir, f)) for f in files):
    subprocess.run([os.path.join(build, "bench", "kurvex_bench_read"), "--benchmark_min_time=0.01"],
                   check=True, env=env, stdout=subprocess.DEVNULL)
tiny = os.path.join(bench_dir, "floor_2x2.txt")
with open(tiny, "w") as out:
    out.write("Time V\n0 1\n1 2\n")


def best_of(command, runs=5):
    best, output = None, ""
    for _ in range(runs):
        t0 = time.perf_counter()
        done = subprocess.run(command, check=True, env=env, capture_output=True, text=True)
        t = time.perf_counter() - t0
        if best is None or t < best:
            best, output = t, done.stdout
    return best, output


def field(output, name):
    return float(re.search(name + r" (\S+)", output).group(1))


_, base = best_of([floor, tiny], 3)
base_resident, base_peak = field(base, "resident_kb"), field(base, "peak_kb")

import pandas  # after the processes above, so that its memory does not disturb them

print("%-22s %9s %9s %9s %8s %8s %11s %11s" % (
    "file", "kurvex s", "floor s", "pandas s", "floor/k", "pandas/k", "resident B", "peak B"))
for name in files:
    path = os.path.join(bench_dir, name)
    kurvex_s, _ = best_of([cli, "info", path])
    floor_s, _ = best_of([floor, path])
    _, probed = best_of([probe, path], 3)
    samples = field(probed, "rows") * field(probed, "variables")
    resident = (field(probed, "resident_kb") - base_resident) * 1024 / samples
    peak = (field(probed, "peak_kb") - base_peak) * 1024 / samples
    pandas_s = None
    for _ in range(3):
        t0 = time.perf_counter()
        pandas.read_csv(path, sep=r"\s+")
        t = time.perf_counter() - t0
        pandas_s = t if pandas_s is None else min(pandas_s, t)
    print("%-22s %9.3f %9.3f %9.3f %7.2fx %7.1fx %11.2f %11.2f" % (
        name, kurvex_s, floor_s, pandas_s, floor_s / kurvex_s, pandas_s / kurvex_s, resident, peak))
