#!/usr/bin/python3
"""Draws the same 10,000,000-row, 2-column text file with kurvex-cli render and
with KST (Debian package kst) in one run, and prints the times and the ratio.

Usage: bench/compare_kst.py BUILD_DIR    (installs kst with apt-get when missing)
"""
import os
import shutil
import subprocess
import sys
import time

from bench_files import bench_dir as shared_bench_dir, render_file

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bench_dir = shared_bench_dir()
data = render_file()

if shutil.which("kst2") is None:
    subprocess.run(["apt-get", "install", "-y", "--no-install-recommends", "kst"], check=True,
                   env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))

env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
cli = os.path.join(build, "src", "cli", "kurvex-cli")
runs = {
    "kurvex-cli render": [cli, "render", data, "-o", os.path.join(bench_dir, "kurvex.png")],
    "kst2": ["kst2", data, "-x", "1", "-y", "2", "--png", os.path.join(bench_dir, "kst.png")],
}
best = {}
for name, cmd in runs.items():
    for _ in range(3):
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        t = time.perf_counter() - t0
        best[name] = min(best.get(name, t), t)
    print("%-18s %6.2f s" % (name, best[name]))
print("kst2 / kurvex-cli: %.1fx" % (best["kst2"] / best["kurvex-cli render"]))
