#!/usr/bin/python3
"""Reads both binary result formats beside cp of the same files, in one run,
and opens a 10,000,000-row, 2-column block container with kurvex-cli info.

Usage: bench/compare_binary.py BUILD_DIR   (BUILD_DIR configured with -DKURVEX_BENCH=ON)

The reading is timed by the Google Benchmark programs kurvex_bench_container
and kurvex_bench_binary (each reads its file with the reader and copies it
with cp in the same run; goal: the reader within 2x of cp). Opening is timed
as a whole process, best of five, from the page cache (goal: 0.3 s). Files
go to $KURVEX_BENCH_DIR (default /tmp/kurvex-bench).
"""
import json
import os
import subprocess
import sys
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bench_dir = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
env = dict(os.environ, KURVEX_BENCH_DIR=bench_dir, QT_QPA_PLATFORM="offscreen")

print("%-40s %10s %10s %8s" % ("file", "read ms", "cp ms", "read/cp"))
for program, read, copy, stem in [
        ("kurvex_bench_container", "BM_ContainerRead", "BM_ContainerCopyWithCp", "container_source"),
        ("kurvex_bench_binary", "BM_Read", "BM_CopyWithCp", "source")]:
    out = subprocess.run(
        [os.path.join(build, "bench", "data", program), "--benchmark_format=json",
         "--benchmark_filter=(%s|%s)/" % (read, copy), "--benchmark_repetitions=3"],
        check=True, capture_output=True, text=True, env=env).stdout
    best = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        key = b["name"].split("/real_time")[0]
        best[key] = min(best.get(key, b["real_time"]), b["real_time"])
    for size in ["10000000/2", "1000000/8"]:
        r, c = best[read + "/" + size], best[copy + "/" + size]
        name = "%s_%s.kfd" % (stem, size.replace("/", "x"))
        print("%-40s %10.1f %10.1f %7.2fx" % (name, r, c, r / c))

container = os.path.join(bench_dir, "container_source_10000000x2.kfd")
best = None
for _ in range(5):
    t0 = time.perf_counter()
    subprocess.run([os.path.join(build, "src", "cli", "kurvex-cli"), "info", container],
                   check=True, env=env, stdout=subprocess.DEVNULL)
    t = time.perf_counter() - t0
    best = t if best is None else min(best, t)
print("kurvex-cli info %s: %.3f s" % (os.path.basename(container), best))
