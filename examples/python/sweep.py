"""A sweep looked at from Python, cell by cell (run whole, or cell by cell in an editor
that knows ``# %%``).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/sweep.py
"""
# %% Open a result: its variables are NumPy arrays.
import os
import tempfile
from pathlib import Path

import matplotlib
import numpy

import kurvex
from kurvex import batch

HERE = Path(__file__).resolve().parent
buck = kurvex.open(str(HERE.parent / "buck.txt"))
print(buck.rows, "rows of", ", ".join(buck.names), "over", buck.x_name)

# %% Plot two variables; without a display the figure goes to a PNG.
if not os.environ.get("DISPLAY") and not os.environ.get("WAYLAND_DISPLAY"):
    matplotlib.use("Agg")
from matplotlib import pyplot  # noqa: E402  (after the back end is chosen)

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

# %% A sweep: the buck stage at four duty cycles, one file each.
sweep = Path(tempfile.mkdtemp(prefix="kurvex-sweep-"))
t = numpy.linspace(0.0, 1e-3, 5001)
for duty in (0.2, 0.4, 0.6, 0.8):
    on = (t * 2e4) % 1.0 < duty
    out = 48.0 * duty * (1.0 - numpy.exp(-t / 1e-4))
    numpy.savetxt(sweep / f"buck_d{int(duty * 100)}.txt",
                  numpy.column_stack([t, numpy.where(on, 48.0, 0.0), out]),
                  fmt="%.9e", header="Time V(sw) V(out)", comments="")

# %% Measure every file of the sweep on a local Dask cluster (--scheduler on a real one).
table = batch.measure([str(sweep / "buck_d*.txt")],
                      ["V(out):avg:from=5e-4,to=1e-3", "V(out):at=2e-4", "V(sw):cycles"],
                      workers=2)
print(table[["file", "V(out):avg", "V(out):at=2e-4", "V(sw):cycles:duty"]])

# %% The runs of one file are rows too: three resistors of an RC low-pass.
loop = HERE.parent.parent / "tests" / "data" / "spice" / "rc_loop.raw"
print(batch.measure([str(loop)], ["v(out):max", "v(out):rms"], workers=2)
      [["run", "run_name", "v(out):max:y", "v(out):rms"]])
