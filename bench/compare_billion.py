#!/usr/bin/python3
"""A result of 500,000,000 points x 2 variables (10^9 samples, an 8 GB binary
SPICE raw file) through the column cache, in one run, with the floors beside
the figures:

- first open (conversion and pyramids) by `kurvex-cli info`: source GB/s and
  peak resident memory; floors: `cat` of the source, and copying it to a new
  file flushed to disk (the cache entry is about as large);
- the viewer's first picture during that first open (offscreen);
- re-open: `kurvex-cli info` and the viewer to its first painted screen, with
  peak resident memory;
- the cache entry's size against the samples' own;
- wheel zoom from the full view to 1,000 samples (bench/graph, cached zoom);
- Avg and RMS of the full range (bench/analysis, cached measure), beside one
  max pass over the mapped samples.

The source is written once to $KURVEX_BENCH_DIR/billion (default
/tmp/kurvex-bench) and kept; $KURVEX_BENCH_POINTS sets the points.

Usage: bench/compare_billion.py BUILD_DIR   (built with -DKURVEX_BENCH=ON)
"""
import os
import re
import shutil
import subprocess
import sys
import time

import numpy as np

from bench_files import need_space

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
points = int(os.environ.get("KURVEX_BENCH_POINTS", "500000000"))
folder = os.path.join(os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench"), "billion")
os.makedirs(folder, exist_ok=True)
source = os.path.join(folder, f"billion_{points}x2.raw")
cache = os.path.join(folder, "cache")
samples_bytes = points * 2 * 8


def write_source():
    """Time in 100 ns steps and a 100 V sine, as the C++ benchmarks write it."""
    # Then the cache entry (up to 1.1x the samples) or the copy, one at a time.
    later = int(1.1 * samples_bytes)
    if os.path.exists(source):
        need_space(folder, later, "the cache entry of " + os.path.basename(source))
        return
    need_space(folder, samples_bytes + later, os.path.basename(source) + " and its cache entry")
    part = source + ".part"
    with open(part, "wb") as f:
        f.write(("Title: bench\nDate: today\nPlotname: Transient Analysis\nFlags: real\n"
                 f"No. Variables: 2\nNo. Points: {points}\nVariables:\n\t0\ttime\ttime\n"
                 "\t1\tv(out)\tvoltage\nBinary:\n").encode())
        step = 1 << 22
        for first in range(0, points, step):
            r = np.arange(first, min(points, first + step), dtype=np.float64)
            block = np.empty((r.size, 2))
            block[:, 0] = r * 1e-7
            block[:, 1] = 100.0 * np.sin(r * 1e-3)
            f.write(block.tobytes())
    os.replace(part, source)


def timed(command, env=None):
    """Wall seconds and peak resident MB of a command, and its output."""
    t0 = time.perf_counter()
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, env=env, check=True,
                         capture_output=True, text=True)
    wall = time.perf_counter() - t0
    peak_kb = int(out.stderr.strip().splitlines()[-1])
    return wall, peak_kb / 1024.0, out.stdout


def bench_figures(binary, env, pattern):
    """The benchmark's counters and times, as name -> {field: value}."""
    out = subprocess.run([binary, "--benchmark_format=json", f"--benchmark_filter={pattern}"],
                         env=env, check=True, capture_output=True, text=True).stdout
    import json
    return {b["name"]: b for b in json.loads(out)["benchmarks"]}


write_source()
env = dict(os.environ, XDG_CACHE_HOME=cache, QT_QPA_PLATFORM="offscreen",
           KURVEX_BENCH_SOURCE=source, KURVEX_CACHE_ABOVE_MB="512")
cli = os.path.join(build, "src", "cli", "kurvex-cli")
viewer = os.path.join(build, "bench", "app", "kurvex_first_paint")
gb = os.path.getsize(source) / 1e9
rows = []

subprocess.run(["cat", source], stdout=subprocess.DEVNULL, check=True)
t0 = time.perf_counter()
subprocess.run(["cat", source], stdout=subprocess.DEVNULL, check=True)
cat_s = time.perf_counter() - t0
copy = os.path.join(folder, "copy.bin")
t0 = time.perf_counter()
subprocess.run(["dd", f"if={source}", f"of={copy}", "bs=4M", "conv=fdatasync"],
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
copy_s = time.perf_counter() - t0
os.remove(copy)

shutil.rmtree(cache, ignore_errors=True)
first_s, first_mb, _ = timed([cli, "info", source], env)
rows.append(("first open, `kurvex-cli info`",
             f"{first_s:.1f} s = {gb / first_s:.2f} GB/s, peak {first_mb:.0f} MB",
             f"cat (warm) {gb / cat_s:.2f} GB/s; copy + fdatasync {gb / copy_s:.2f} GB/s"))

shutil.rmtree(cache, ignore_errors=True)
out = subprocess.run([viewer, source], env=env, check=True, capture_output=True, text=True)
shown = dict(line.split() for line in out.stdout.splitlines() if line.strip())
rows.append(("first open in the viewer: first picture",
             f"{float(shown['first_paint_s']):.2f} s after start (conversion goes on)", ""))
subprocess.run([cli, "info", source], env=env, check=True, capture_output=True)

reopen = min(timed([cli, "info", source], env)[:2] for _ in range(3))
rows.append(("re-open, `kurvex-cli info`", f"{reopen[0]:.2f} s, peak {reopen[1]:.0f} MB",
             "goal < 0.5 s, < 512 MB"))
paints = []
for _ in range(3):
    wall, peak, out = timed([viewer, source], env)
    shown = dict(line.split() for line in out.splitlines() if line.strip())
    paints.append((float(shown["first_paint_s"]), peak, int(shown["max_gap_ms"]),
                   int(shown["rss_anon_mb"]), int(shown["rss_file_mb"])))
paint = min(paints)
rows.append(("re-open, viewer to first painted screen",
             f"{paint[0]:.2f} s, longest wait {paint[2]} ms; resident {paint[3]} MB of its own "
             f"+ {paint[4]} MB of mapped cache pages (peak {paint[1]:.0f} MB)",
             "goal < 0.5 s, < 512 MB"))

entry = 0
for root, _, files in os.walk(os.path.join(cache, "kurvex")):
    entry += sum(os.path.getsize(os.path.join(root, f)) for f in files)
rows.append(("cache entry", f"{entry / 1e9:.2f} GB = {entry / samples_bytes:.3f}x the samples",
             "goal <= 1.1x"))

zoom = os.path.join(build, "bench", "graph", "kurvex_bench_cached_zoom")
if os.path.exists(zoom):
    figures = bench_figures(zoom, env, "CachedWheelZoom")
    for name, b in figures.items():
        if "median_ms" in b:
            rows.append((f"wheel zoom from the full view to {b['last_window_samples']:,.0f} "
                         f"samples, {b['steps']:.0f} steps (offscreen, 1600 px)",
                         f"median {b['median_ms']:.1f} ms, longest {b['max_ms']:.1f} ms",
                         f"first read of a mapped page {b['first_touch_us']:.1f} us "
                         "(a wide view reads several pages per pixel column); "
                         "goal median < 16 ms, longest < 50 ms"))

measure = os.path.join(build, "bench", "analysis", "kurvex_bench_cached_measure")
if os.path.exists(measure):
    figures = bench_figures(measure, env, ".")
    for name, b in figures.items():
        rows.append((name, f"{b['real_time']:.3g} {b['time_unit']}", ""))

print(f"{points:,} points x 2 ({gb:.1f} GB source)\n")
print("| figure | measured | floor / goal |")
print("|---|---|---|")
for name, value, floor in rows:
    print(f"| {name} | {value} | {floor} |")
