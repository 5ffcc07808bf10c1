"""Input files the comparison scripts share, generated once into
$KURVEX_BENCH_DIR (default /tmp/kurvex-bench), and the free-space check each
script makes before it writes a large input."""
import os
import shutil
import subprocess
import sys

GB = 1e9
# Left free beyond what a benchmark writes, for everything else on the disk.
MARGIN = 1 * GB


def bench_dir():
    path = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
    os.makedirs(path, exist_ok=True)
    return path


def need_space(folder, size, what):
    """Says on standard error how much `what` writes into `folder`, and exits
    with the reason when the free space there is short of it plus MARGIN."""
    os.makedirs(folder, exist_ok=True)
    free = shutil.disk_usage(folder).free
    print(f"{what}: needs {size / GB:.1f} GB in {folder} ({free / GB:.1f} GB free)",
          file=sys.stderr, flush=True)
    if free < size + MARGIN:
        sys.exit(f"{what}: not enough free space in {folder}: {size / GB:.1f} GB plus a margin "
                 f"of {MARGIN / GB:.0f} GB needed, {free / GB:.1f} GB free; free some, or set "
                 "KURVEX_BENCH_DIR to a folder on a larger disk")


def render_file():
    """A 10,000,000-row, 2-column text file: a slow sine with a fast ripple."""
    data = os.path.join(bench_dir(), "render_10000000x2.txt")
    if not os.path.exists(data):
        need_space(bench_dir(), 10000000 * 33, os.path.basename(data))
        tmp = data + ".part"
        with open(tmp, "w") as out:
            out.write("Time V\n")
            out.flush()
            subprocess.run(["awk", 'BEGIN { for (i = 0; i < 10000000; i++) '
                            'printf "%.9E %.9E\\n", i * 1e-7, sin(i * 1e-4) + 0.01 * sin(i * 0.37) }'],
                           stdout=out, check=True)
        os.replace(tmp, data)
    return data
