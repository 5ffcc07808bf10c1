#!/usr/bin/python3
"""Reads the same fixed-width files with Kurvex's reader and pandas in one run
and prints throughput, memory and the speed ratio.

Usage: bench/compare_pandas.py BUILD_DIR   (BUILD_DIR configured with -DKURVEX_BENCH=ON)
"""
import json
import os
import subprocess
import sys
import time

import pandas

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bench_dir = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
env = dict(os.environ, KURVEX_BENCH_DIR=bench_dir)
out = subprocess.run(
    [os.path.join(build, "bench", "kurvex_bench_read"), "--benchmark_format=json"],
    check=True, capture_output=True, text=True, env=env).stdout
results = {b["name"].split("/")[0]: b for b in json.loads(out)["benchmarks"]}

cases = [("BM_Read_1Mx8", "fixed_1000000x8.txt"), ("BM_Read_10Mx2", "fixed_10000000x2.txt")]
print("%-16s %10s %10s %8s %14s %14s" % ("file", "kurvex MB/s", "pandas MB/s", "ratio", "resident B/sa", "peak B/sa"))
for name, fname in cases:
    path = os.path.join(bench_dir, fname)
    size = os.path.getsize(path)
    kurvex_mbs = results[name]["bytes_per_second"] / 1e6
    best = None
    for _ in range(3):
        t0 = time.perf_counter()
        pandas.read_csv(path, sep=r"\s+")
        t = time.perf_counter() - t0
        best = t if best is None else min(best, t)
    pandas_mbs = size / best / 1e6
    print("%-16s %10.1f %10.1f %7.1fx %14.2f %14.2f" % (
        fname, kurvex_mbs, pandas_mbs, kurvex_mbs / pandas_mbs,
        results[name]["resident_bytes_per_sample"], results[name]["peak_bytes_per_sample"]))
