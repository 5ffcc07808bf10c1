"""A sweep looked at from Python, cell by cell (run whole, or cell by cell in an editor
that knows ``# %%``).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/sweep.py

Dask's local worker processes import this script again, so each cell's work
sits under ``if __name__ == "__main__"``, which holds in an interactive window too.
"""
# %% Imports; without a display the plot goes to a PNG.
import os
import tempfile
from pathlib import Path

import matplotlib
import numpy

import kurvex
from kurvex import batch

if not os.environ.get("DISPLAY") and not os.environ.get("WAYLAND_DISPLAY"):
    matplotlib.use("Agg")
from matplotlib import pyplot  # noqa: E402  (after the back end is chosen)

HERE = Path(__file__).resolve().parent
MAIN = __name__ == "__main__"

# %% Open a result: its variables are NumPy arrays.
if MAIN:
    buck = kurvex.open(HERE.parent / "buck.txt")
    print(buck.rows, "rows of", ", ".join(buck.names), "over", buck.x_name)

# %% Plot two variables.
if MAIN:
    x = buck[buck.x_name]
    figure, (top, bottom) = pyplot.subplots(2, 1, sharex=True)
    top.plot(x * 1e3, buck["V(out)"])
    top.set_ylabel("V(out) / V")
    bottom.plot(x * 1e3, buck["I(L1)"], color="tab:orange")
    bottom.set_ylabel("I(L1) / A")
    bottom.set_xlabel("time / ms")
    if matplotlib.get_backend().lower() == "agg":
        picture = Path(tempfile.gettempdir()) / "kurvex-buck.png"
        figure.savefig(picture, dpi=100)
        print("plot saved as", picture)
    else:
        pyplot.show()

# %% A sweep: a buck stage at four duty cycles, one file each.
if MAIN:
    sweep = Path(tempfile.mkdtemp(prefix="kurvex-sweep-"))
    t = numpy.linspace(0.0, 1e-3, 5001)
    for duty in (0.2, 0.4, 0.6, 0.8):
        on = (t * 2e4) % 1.0 < duty
        out = 48.0 * duty * (1.0 - numpy.exp(-t / 1e-4))
        numpy.savetxt(sweep / f"buck_d{int(duty * 100)}.txt",
                      numpy.column_stack([t, numpy.where(on, 48.0, 0.0), out]),
                      fmt="%.9e", header="Time V(sw) V(out)", comments="")

# %% Measure every file of the sweep on a local Dask cluster (scheduler=ADDRESS on a real one).
if MAIN:
    table = batch.measure([str(sweep / "buck_d*.txt")],
                          ["V(out):avg:from=5e-4,to=1e-3", "V(out):at=2e-4", "V(sw):cycles"],
                          workers=2)
    print(table[["file", "V(out):avg", "V(out):at=2e-4",
                 "V(sw):cycles:duty"]].to_string(index=False))

# %% The runs of one file are rows too: three resistors of an RC low-pass.
if MAIN:
    loop = HERE.parent.parent / "tests" / "data" / "spice" / "rc_loop.raw"
    runs = batch.measure([str(loop)], ["v(out):max", "v(out):rms"], workers=2)
    print(runs[["run", "run_name", "v(out):max:y", "v(out):rms"]].to_string(index=False))
