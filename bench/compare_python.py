#!/usr/bin/python3
"""Reads the 10,000,000-row, 2-column text file in one run with kurvex.open in
Python, with kurvex-cli info and with pandas, and times result[name].

Usage: bench/compare_python.py BUILD_DIR   (BUILD_DIR built with KURVEX_PYTHON;
       kurvex_bench_read, built with -DKURVEX_BENCH=ON, makes the file once)

kurvex.open and pandas.read_csv are timed in this process (best of three);
kurvex-cli info as a whole process (best of three). Goals: kurvex.open within
1.1x of the CLI and at least 8x faster than pandas. result[name] is timed on a
1,000-row and the 10,000,000-row result (median per call of timeit repeats):
the two within 20 % of each other and under 5 microseconds, since the column
is handed over without a copy. $KURVEX_BENCH_ROWS makes a smaller file of
that many rows instead (for a quick check); the files live in
$KURVEX_BENCH_DIR (default /tmp/kurvex-bench).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
import timeit

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
sys.path.insert(0, os.path.join(build, "python"))
import kurvex  # noqa: E402 - from the build tree given
from bench_files import need_space  # noqa: E402

bench_dir = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
env = dict(os.environ, KURVEX_BENCH_DIR=bench_dir, QT_QPA_PLATFORM="offscreen")
cli = os.path.join(build, "src", "cli", "kurvex-cli")
rows = os.environ.get("KURVEX_BENCH_ROWS")
os.makedirs(bench_dir, exist_ok=True)


def write_table(path, count):
    """A fixed-width two-column table of `count` rows."""
    with open(path, "w") as out:
        out.write("Time V\n")
        step = 65536
        for first in range(0, count, step):
            out.write("".join("%.9e %.9e\n" % (i * 1e-6, (i % 977) * 0.25)
                              for i in range(first, min(first + step, count))))


if rows:
    big = os.path.join(bench_dir, "python_%sx2.txt" % rows)
    if not os.path.exists(big):
        need_space(bench_dir, int(rows) * 32, os.path.basename(big))
        write_table(big, int(rows))
else:
    big = os.path.join(bench_dir, "fixed_10000000x2.txt")
    if not os.path.exists(big):
        subprocess.run([os.path.join(build, "bench", "kurvex_bench_read"),
                        "--benchmark_min_time=0.01"], check=True, env=env,
                       stdout=subprocess.DEVNULL)


def best(work, runs=3):
    """The shortest of `runs` timings of work()."""
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        work()
        times.append(time.perf_counter() - t0)
    return min(times)


cli_s = best(lambda: subprocess.run([cli, "info", big], check=True, env=env,
                                    stdout=subprocess.DEVNULL))
open_s = best(lambda: kurvex.open(big))

import pandas  # noqa: E402 - after the reads above, so its memory does not disturb them

pandas_s = best(lambda: pandas.read_csv(big, sep=r"\s+", engine="c"))
print("%-24s %10s %10s %10s %9s %9s" % ("file", "python s", "cli s", "pandas s",
                                         "py/cli", "pandas/py"))
print("%-24s %10.3f %10.3f %10.3f %8.2fx %8.1fx" % (
    os.path.basename(big), open_s, cli_s, pandas_s, open_s / cli_s, pandas_s / open_s))
print("goals: py/cli <= 1.10 (%s), pandas/py >= 8 (%s)" % (
    "met" if open_s / cli_s <= 1.10 else "MISSED", "met" if pandas_s / open_s >= 8 else "MISSED"))


def column_cost(result):
    """Median seconds per result[name] call."""
    name = result.names[1]
    timer = timeit.Timer(lambda: result[name])
    number = 20000
    return statistics.median(t / number for t in timer.repeat(repeat=7, number=number))


with tempfile.TemporaryDirectory() as scratch:
    small_path = os.path.join(scratch, "small.txt")
    write_table(small_path, 1000)
    small_us = column_cost(kurvex.open(small_path)) * 1e6
large_us = column_cost(kurvex.open(big)) * 1e6
spread = abs(large_us - small_us) / small_us
print("result[name]: %.2f us (1,000 rows), %.2f us (%s rows), apart %.0f %%" % (
    small_us, large_us, os.path.basename(big).split("_")[1].split("x")[0], spread * 100))
print("goals: within 20 %% (%s), under 5 us (%s)" % (
    "met" if spread <= 0.2 else "MISSED", "met" if max(small_us, large_us) < 5 else "MISSED"))
