"""Input files the comparison scripts share, generated once into
$KURVEX_BENCH_DIR (default /tmp/kurvex-bench)."""
import os
import subprocess


def bench_dir():
    path = os.environ.get("KURVEX_BENCH_DIR", "/tmp/kurvex-bench")
    os.makedirs(path, exist_ok=True)
    return path


def render_file():
    """A 10,000,000-row, 2-column text file: a slow sine with a fast ripple."""
    data = os.path.join(bench_dir(), "render_10000000x2.txt")
    if not os.path.exists(data):
        tmp = data + ".part"
        with open(tmp, "w") as out:
            out.write("Time V\n")
            out.flush()
            subprocess.run(["awk", 'BEGIN { for (i = 0; i < 10000000; i++) '
                            'printf "%.9E %.9E\\n", i * 1e-7, sin(i * 1e-4) + 0.01 * sin(i * 0.37) }'],
                           stdout=out, check=True)
        os.replace(tmp, data)
    return data
