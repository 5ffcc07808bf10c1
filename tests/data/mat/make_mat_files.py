#!/usr/bin/env python3
"""Writes the MAT files the MAT reader's tests read, with SciPy, so that the
oracle is another program's writer. Run it here; commit what it writes."""
import numpy as np
import scipy.io

rows = 6
r = np.arange(rows, dtype=float)

v = 2.0 * r
v[2] = np.nan
mixed = {
    "a": 2.0 * r + 1.0,  # first, but not the X: Time is named so
    "V": v.reshape(1, rows),  # a row vector with a NaN
    "Time": (0.1 * r).reshape(rows, 1),
    "M": np.array([[10.0 * c + k for c in range(3)] for k in range(rows)]),
    "W": np.array([[100.0 * k + c for c in range(rows)] for k in range(2)]),
    "n16": np.arange(-3, 3, dtype=np.int16),
    "s32": (0.5 * r).astype(np.float32),
    "z": (r + 1.0) + 1j * (r + 1.0),
    "short": np.arange(4.0),
    "k": 5.0,
    "c": np.array([["x"], ["y"]], dtype=object),
    "s": "text",
    "st": {"p": 1.0, "q": 2.0},
}
scipy.io.savemat("mixed5.mat", mixed, do_compression=False, oned_as="column")
scipy.io.savemat("mixed5z.mat", mixed, do_compression=True, oned_as="column")

scipy.io.savemat(
    "level4.mat",
    {"x": 3.0 * r, "t": 0.1 * r, "M": np.column_stack([r, -r]), "z": 1j * (r + 1.0), "s": "ab"},
    format="4",
    oned_as="column",
)

signals = np.zeros((1, 3), dtype=[("values", object), ("label", object), ("blockName", object)])
signals[0, 0] = ((r + 0.5).reshape(rows, 1), "Vout", "model/Vout")
signals[0, 1] = (np.column_stack([r, 2.0 * r]), "", "model/IL")
signals[0, 2] = (-r.reshape(rows, 1), "Vout", "model/Vout2")  # a label used twice
scipy.io.savemat(
    "simulink5z.mat",
    {"sim": {"time": (0.01 * r).reshape(rows, 1), "signals": signals, "blockName": "model"}},
    do_compression=True,
)

scipy.io.savemat("matrix5.mat", {"Y": np.column_stack([0.1 * r, r, -r])})
scipy.io.savemat("cells5.mat", {"c": np.array([["x"]], dtype=object), "s": "only text"})
