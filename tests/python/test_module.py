"""The kurvex module against the files it reads and against kurvex-cli."""

import gc
import json
import math
import os
import re
import subprocess
import tempfile
import sys
import threading
import unittest
import unittest.mock

import numpy

import kurvex

SOURCE = os.environ.get("KURVEX_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
CLI = os.environ.get("KURVEX_CLI", "build/src/cli/kurvex-cli")
BUCK = os.path.join(SOURCE, "examples", "buck.txt")
LOOP = os.path.join(SOURCE, "tests", "data", "spice", "loop_pole.raw")

TABLE = "Time V(a) I(b)\n0 1 -2\n0.5 3 4\n1 2 0.25\n2 5 8\n"


def sweep_plot(rows, k):
    """One plot of an ngspice ASCII raw file: v(out) = 10 k + row at row microseconds."""
    text = ("Title: sweep\nDate: now\nPlotname: Transient Analysis\nFlags: real\n"
            "No. Variables: 2\nNo. Points: %d\nVariables:\n\t0\ttime\ttime\n"
            "\t1\tv(out)\tvoltage\nValues:\n" % rows)
    for r in range(rows):
        text += " %d\t%.15e\n\t%.15e\n\n" % (r, r * 1e-6, 10.0 * k + r)
    return text


class ModuleTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "small.txt")
        with open(self.path, "w") as f:
            f.write(TABLE)
        # Later plots like the first are the runs of a sweep.
        self.sweep = os.path.join(self.dir.name, "sweep.raw")
        with open(self.sweep, "w") as f:
            f.write(sweep_plot(4, 1) + sweep_plot(3, 2) + sweep_plot(5, 3))

    def tearDown(self):
        self.dir.cleanup()

    def test_columns_are_the_files_samples_shared_and_read_only(self):
        result = kurvex.open(self.path)
        self.assertEqual(result.names, ["Time", "V(a)", "I(b)"])
        self.assertEqual((result.x_name, result.rows, result.uniform_x, result.bad_points),
                         ("Time", 4, False, False))
        self.assertEqual(len(result.runs), 1)
        first = result["v(A)"]
        self.assertEqual(first.dtype, numpy.float64)
        self.assertEqual(first.tolist(), [1, 3, 2, 5])
        self.assertEqual(result["I(B)"].tolist(), [-2, 4, 0.25, 8])
        self.assertEqual(first.ctypes.data, result["V(a)"].ctypes.data)
        self.assertFalse(first.flags.owndata or first.flags.writeable)
        with self.assertRaises(ValueError):
            first[0] = 7
        self.assertTrue(result.valid("V(a)").all())
        del result
        gc.collect()
        self.assertEqual(first.tolist(), [1, 3, 2, 5])
        # A loaded result is measured as it is in memory, never read again.
        loaded = kurvex.open(self.path)
        os.remove(self.path)
        self.assertEqual(kurvex.measure(loaded, "I(b)")["max"], {"index": 3, "x": 2, "y": 8})
        self.assertEqual(kurvex.thd(loaded, "V(a)")["harmonics"][0]["order"], 1)
        frame = loaded.to_pandas()
        self.assertEqual(list(frame.columns), ["Time", "V(a)", "I(b)"])
        self.assertEqual(frame["I(b)"].tolist(), [-2, 4, 0.25, 8])

    def test_raw_file_matches_its_reference_and_runs(self):
        result = kurvex.open(LOOP)
        info = json.loads(subprocess.run([CLI, "info", LOOP, "--json"], check=True,
                                         capture_output=True, text=True).stdout)
        self.assertEqual(result.names, [v["name"] for v in info["variables"]])
        self.assertEqual(result.rows, info["rows"])
        for v, name in zip(info["variables"], result.names):
            samples = result[name][result.valid(name)]
            self.assertEqual((samples.min(), samples.max()), (v["min"], v["max"]))
        sweep = kurvex.open(self.sweep)
        self.assertEqual(len(sweep.runs), 3)
        later = sweep.run(3)
        self.assertEqual((later.runs, later["V(OUT)"].tolist()),
                         ([sweep.runs[2]], [30, 31, 32, 33, 34]))
        self.assertEqual(kurvex.open(self.sweep, plot=2)["v(out)"].tolist(), [20, 21, 22])
        # Read through the column cache, plot= still picks the plot.
        big = os.path.join(self.dir.name, "two.raw")
        with open(big, "wb") as f:
            for level in (1.0, 2.0):
                f.write(("Title: t\nDate: d\nPlotname: Transient Analysis\nFlags: real\n"
                         "No. Variables: 2\nNo. Points: 70000\nVariables:\n\t0\ttime\ttime\n"
                         "\t1\tv(out)\tvoltage\nBinary:\n").encode())
                points = numpy.column_stack((numpy.arange(70000) * 1e-6, numpy.full(70000, level)))
                f.write(points.astype("<f8").tobytes())
        with unittest.mock.patch.dict(os.environ, {"XDG_CACHE_HOME": self.dir.name,
                                                   "KURVEX_CACHE_ABOVE_MB": "1"}):
            self.assertEqual(len(kurvex.open(big).runs), 2)
            self.assertEqual(set(kurvex.open(big, plot=2)["v(out)"].tolist()), {2.0})
        numpy.testing.assert_array_equal(kurvex.eval(later, "time*2"), later["time"] * 2)

    def test_arrays_equal_what_the_cli_converts_bit_for_bit(self):
        import scipy.io  # an outside reader of what kurvex-cli writes

        for path in (BUCK, LOOP, self.sweep):
            with self.subTest(path=path):
                mat = os.path.join(self.dir.name, "converted.mat")
                subprocess.run([CLI, "convert", path, "-o", mat], check=True)
                written = scipy.io.loadmat(mat)
                result = kurvex.open(path)
                names = written["kurvex_names"]
                self.assertEqual([str(n[0]) for n in names[:, 1]], result.names)
                for matlab, name in zip(names[:, 0], result.names):
                    column = written[str(matlab[0])].ravel()
                    ours = numpy.where(result.valid(name), result[name], numpy.nan)
                    self.assertEqual(column.tobytes(), ours.tobytes(), name)

    def test_every_figure_of_the_catalogue_is_measured(self):
        keys = [e["key"] for e in kurvex.catalogue() if not e["key"].startswith("cursor")]
        self.assertEqual(len(keys), len(set(keys)))
        got = kurvex.measure(BUCK, "V(sw)", figures=keys, other="48-V(sw)", at=[1e-4])
        self.assertEqual(list(got), keys)
        for key, figure in got.items():
            with self.subTest(key=key):
                self.assertTrue("value" in figure or figure["error"], figure)
        self.assertAlmostEqual(got["time_avg"]["value"], got["integral"]["value"] / 2e-3)

    def test_measure_equals_the_cli(self):
        cases = [
            ([], {}),
            (["--at", "0.75", "--at", "1.5", "--from", "0", "--to", "1"],
             {"at": [0.75, 1.5], "start": 0, "end": 1}),
            (["--cycles"], {"cycles": True}),
            (["--edges", "--low", "0", "--high", "48"], {"edges": True, "low": 0, "high": 48}),
            (["--dead", "48-V(sw)", "--low", "0", "--high", "48"],
             {"dead": "48-V(sw)", "low": 0, "high": 48}),
            (["--figure", "dead_time_to", "--figure", "slope_at", "--at", "1e-4", "--with",
              "48-V(sw)"],
             {"figures": ["dead_time_to", "slope_at"], "at": [1e-4], "other": "48-V(sw)"}),
        ]
        source = [(BUCK, "V(sw)", c) for c in cases]
        source.append((BUCK, "I(L1)", ([e for k in ("cycle_avg", "duty") for e in ("--figure", k)]
                                       + ["--with", "V(sw)"],
                                       {"figures": ["cycle_avg", "duty"], "other": "V(sw)"})))
        source.append((BUCK, "V(out)*2", ([], {})))
        source.append((self.sweep, "v(out)", (["--run", "3"], {"run": 3})))
        loop = kurvex.open(LOOP)
        amp = next(n for n in loop.names if n.lower().startswith("amp"))
        source.append((LOOP, amp, (["--margins"], {"margins": True})))
        for path, name, (args, keywords) in source:
            expected = json.loads(subprocess.run(
                [CLI, "measure", path, name, "--json"] + args, check=True,
                capture_output=True, text=True).stdout)
            loaded = kurvex.open(path)
            for given in (path, loaded):
                with self.subTest(path=path, args=args, source=type(given).__name__):
                    self.assertEqual(kurvex.measure(given, name, **keywords), expected)
        expected = subprocess.run([CLI, "fft", BUCK, "--var", "V(sw)", "--thd", "--json"],
                                  check=True, capture_output=True, text=True).stdout
        self.assertEqual(kurvex.thd(kurvex.open(BUCK), "v(sw)"), json.loads(expected))
        table = os.path.join(self.dir.name, "spectrum.csv")
        subprocess.run([CLI, "fft", BUCK, "--var", "V(sw)", "--window", "hann", "--from", "1e-4",
                        "--to", "1.5e-3", "-o", table], check=True)
        expected = numpy.loadtxt(table, delimiter=",", skiprows=1)
        for given in (BUCK, kurvex.open(BUCK)):
            frequency, amplitude = kurvex.fft(given, "v(SW)", window="hann", start=1e-4,
                                              end=1.5e-3)
            numpy.testing.assert_array_equal(frequency, expected[:, 1])
            numpy.testing.assert_array_equal(amplitude, expected[:, 2])

    def test_failures_raise_kurvex_error_with_the_message(self):
        damaged = os.path.join(self.dir.name, "damaged.raw")
        with open(LOOP, "rb") as f:
            head = f.read()
        with open(damaged, "wb") as f:
            f.write(head[: len(head) - 7])
        loaded = kurvex.open(self.path)
        cases = [
            (lambda: kurvex.open(os.path.join(self.dir.name, "none.txt")), "no such file"),
            (lambda: kurvex.open(damaged), "damaged.raw"),
            (lambda: loaded["nothing"], "nothing"),
            (lambda: kurvex.eval(loaded, "V(a)+*"), "error at"),
            (lambda: kurvex.measure(loaded, "V(a)", cycles=True, at=[1]), "--at goes"),
            (lambda: kurvex.measure(self.path, "nothing"), "'nothing' is no variable"),
            (lambda: loaded.run(2), "there is no run 2"),
        ]
        for call, message in cases:
            with self.subTest(message=message):
                with self.assertRaises(kurvex.Error) as caught:
                    call()
                self.assertIn(message, str(caught.exception))
        self.assertTrue(issubclass(kurvex.Error, Exception))
        # None in sys.modules makes the import fail as if pandas were not installed.
        with unittest.mock.patch.dict(sys.modules, {"pandas": None}):
            with self.assertRaisesRegex(kurvex.Error, "needs pandas"):
                loaded.to_pandas()
        numpy.testing.assert_array_equal(kurvex.eval(loaded, "sqrt(2-V(a))"),
                                         [1, math.nan, 0, math.nan])
        if not kurvex.has_render:
            with self.assertRaisesRegex(kurvex.Error, "without the window toolkit"):
                kurvex.render(loaded, os.path.join(self.dir.name, "a.png"))
        else:
            picture = os.path.join(self.dir.name, "a.png")
            kurvex.render(loaded, picture, screens=[["V(a)", "I(b)"]], size=(320, 200))
            with open(picture, "rb") as f:
                self.assertEqual(f.read(4), b"\x89PNG")

    def test_version_is_the_projects(self):
        with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
            project = re.search(r"project\(\s*Kurvex\s+VERSION\s+([0-9.]+)", f.read())
        self.assertEqual(kurvex.__version__, project.group(1))

    def test_threads_read_files_side_by_side(self):
        got = {}

        def read(path):
            got[path] = kurvex.open(path).rows

        threads = [threading.Thread(target=read, args=(p,)) for p in (BUCK, LOOP)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        self.assertEqual(got, {BUCK: kurvex.open(BUCK).rows, LOOP: kurvex.open(LOOP).rows})


if __name__ == "__main__":
    unittest.main()
