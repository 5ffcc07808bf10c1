#!/usr/bin/python3
"""Measures a sweep of .kfd files with kurvex.batch on a local Dask cluster of
two workers against one (one thread each), in one run, prints both times and
their ratio, and checks that the two tables are identical.

Usage: bench/compare_batch.py BUILD_DIR   (BUILD_DIR with the Python module built)

The files (40 of 1,000,000 rows x 4 variables; KURVEX_BATCH_FILES and
KURVEX_BATCH_ROWS make fewer or smaller ones for a quick check) are made once
in $KURVEX_BENCH_DIR (default /tmp/kurvex-bench) as text converted with
`kurvex-cli convert`, and read once before timing so that both clusters find
them in the page cache. Each cluster is started and has imported kurvex before
its clock starts: the time is the batch's, not Dask's start-up. Goal: two
workers at least 1.5x faster than one.
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy

from bench_files import need_space

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
bench_dir = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
count = int(os.environ.get("KURVEX_BATCH_FILES", "40"))
rows = int(os.environ.get("KURVEX_BATCH_ROWS", "1000000"))
cli = os.path.join(build, "src", "cli", "kurvex-cli")
python_dir = os.path.join(build, "python")
sys.path.insert(0, python_dir)
# Spawned workers import kurvex from the same build.
os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [python_dir, os.environ.get("PYTHONPATH")]))

from kurvex import batch  # noqa: E402

MEASURES = ["V(out):avg", "V(out):min", "V(out):at=0.0005", "I(L):cycles:ref=V(sw)",
            "V(sw):edges"]


def make_file(path, k):
    """A switching stage at 20 kHz whose duty and load step from file to file."""
    t = numpy.linspace(0.0, 1e-3, rows)
    duty = 0.2 + 0.6 * k / max(count - 1, 1)
    sw = numpy.where((t * 2e4) % 1.0 < duty, 48.0, 0.0)
    current = 5.0 + 2.0 * numpy.sin(2 * numpy.pi * 2e4 * t) + 0.1 * k
    out = 48.0 * duty * (1.0 - numpy.exp(-t / 1e-4))
    with tempfile.NamedTemporaryFile("w", suffix=".txt", dir=bench_dir, delete=False) as text:
        numpy.savetxt(text, numpy.column_stack([t, sw, current, out]), fmt="%.9e",
                      header="Time V(sw) I(L) V(out)", comments="")
    try:
        subprocess.run([cli, "convert", text.name, "-o", path], check=True)
    finally:
        os.unlink(text.name)


def sweep_files():
    missing = sum(not os.path.exists(os.path.join(bench_dir, f"batch_{rows}x4_{k:02d}.kfd"))
                  for k in range(count))
    if missing:
        # Each .kfd is 32 bytes a row; the text it is converted from, twice that, one at a time.
        need_space(bench_dir, (missing * 33 + 64) * rows, f"{missing} batch files")
    paths = []
    for k in range(count):
        path = os.path.join(bench_dir, f"batch_{rows}x4_{k:02d}.kfd")
        if not os.path.exists(path):
            make_file(path, k)
        with open(path, "rb") as f:  # into the page cache
            while f.read(1 << 24):
                pass
        paths.append(path)
    return paths


def timed(paths, workers):
    from dask.distributed import Client, LocalCluster

    with LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None) as cluster:
        with Client(cluster) as client:
            client.run(lambda: __import__("kurvex").open)
        t0 = time.perf_counter()
        table = batch.measure(paths, MEASURES, scheduler=cluster.scheduler_address)
        return time.perf_counter() - t0, table


def main():
    paths = sweep_files()
    one, table_one = timed(paths, 1)
    two, table_two = timed(paths, 2)
    same = table_one.equals(table_two)
    errors = int((table_one.error != "").sum())
    print(f"{len(paths)} files of {rows} rows x 4 variables, {len(MEASURES)} measures, "
          f"{len(table_one.columns) - 4} columns, {errors} rows with an error")
    print(f"1 worker:  {one:.2f} s")
    print(f"2 workers: {two:.2f} s")
    print(f"ratio {one / two:.2f}x (goal 1.5x); tables identical: {'yes' if same else 'NO'}")
    return 0 if same and errors == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
