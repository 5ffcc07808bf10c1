#!/usr/bin/python3
"""The viewer's start on a 10,000,000-row, 2-column text file against kurvex-cli
render of the same file, in one run on the offscreen platform: the time from
start to the first painted screen (goal: at most 0.25 s more than the render)
and the longest the interface waited between 10 ms timer ticks from the open to
that paint (goal: under 100 ms). Best of five runs each, with the spread.

Usage: bench/app/compare_first_paint.py BUILD_DIR
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from bench_files import bench_dir as shared_bench_dir, render_file

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bench_dir = shared_bench_dir()
data = render_file()

env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
cli_path = next(p for p in (os.path.join(build, "src", "cli", "kurvex-cli"),
                            os.path.join(build, "src", "kurvex-cli")) if os.path.exists(p))
cli = [cli_path, "render", data, "-o",
       os.path.join(bench_dir, "first-paint.png")]
viewer = [os.path.join(build, "bench", "app", "kurvex_first_paint"), data]

render, paint, gaps = [], [], []
for _ in range(5):
    t0 = time.perf_counter()
    subprocess.run(cli, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    render.append(time.perf_counter() - t0)
    t0 = time.perf_counter()
    out = subprocess.run(viewer, check=True, env=env, capture_output=True, text=True).stdout
    paint.append(time.perf_counter() - t0)
    values = dict(line.split() for line in out.splitlines() if line.strip())
    gaps.append(int(values["max_gap_ms"]))


def show(name, xs, unit="s", scale=1.0):
    xs = [x * scale for x in xs]
    print("%-34s best %7.3f %s  spread %7.3f %s" % (name, min(xs), unit, max(xs) - min(xs), unit))


show("kurvex-cli render", render)
show("viewer start to first paint", paint)
print("%-34s %7.3f s (goal: at most 0.25 s)" % ("viewer - render (best each)", min(paint) - min(render)))
show("longest wait between 10 ms ticks", gaps, "ms")
print("%-34s %s (goal: under 100 ms)" % ("", "met" if min(gaps) < 100 else "missed"))
