"""kurvex.batch: its measure texts, its columns and a sweep on a local Dask cluster."""

import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import numpy
import pandas

import kurvex
from kurvex import batch

SPICE = Path(__file__).resolve().parents[1] / "data" / "spice"


def cli_path():
    """kurvex-cli beside the built module (build/python/kurvex -> build/src/cli)."""
    return os.environ.get("KURVEX_CLI") or str(
        Path(kurvex.__file__).resolve().parents[2] / "src" / "cli" / "kurvex-cli")


class MeasureTextTest(unittest.TestCase):
    def test_texts(self):
        good = [
            ("V(out):avg", "V(out)", "avg", {}),
            ("V(out):rms:from=0.001,to=2e-3", "V(out)", "rms",
             {"start": 0.001, "end": 0.002}),
            ("V(out):at=1e-3", "V(out)", "at", {"at": [0.001]}),
            # A formula as reference keeps its commas; the name may hold colons.
            ("I(L1):cycles:ref=MAX(V(a),V(b)),level=0.5", "I(L1)", "cycles",
             {"ref": "MAX(V(a),V(b))", "level": 0.5, "cycles": True}),
            ("a:b:edges:low=0,high=5", "a:b", "edges", {"low": 0.0, "high": 5.0, "edges": True}),
            ("A:edges:dead=B", "A", "edges", {"dead": "B"}),
            ("amp(V):margins:phase=phase(V)", "amp(V)", "margins",
             {"phase": "phase(V)", "margins": True}),
            ("V(out):thd:fundamental=50,window=hann", "V(out)", "thd",
             {"fundamental": 50.0, "window": "hann"}),
        ]
        for text, name, kind, keywords in good:
            with self.subTest(text=text):
                item = batch.parse_measure(text)
                self.assertEqual((item.name, item.kind, item.keywords()), (name, kind, keywords))
        bad = ["V(out)", ":avg", "V(out):mean", "V(out):at=x", "V(out):avg:from=1",
               "V(out):avg:ref=V(a)", "V(out):avg:from", "V(out):cycles:level=high",
               "V(out):avg:from=1,from=2,to=3", "V(out):at=nan"]
        for text in bad:
            with self.subTest(text=text), self.assertRaises(ValueError):
                batch.parse_measure(text)
        # The same figure over two ranges needs two columns.
        labels = [m.label for m in batch.parse_measures(
            ["V:avg:from=0,to=1", "V:avg:from=1,to=2", "V:rms", "V:rms"])]
        self.assertEqual(labels, ["V:avg[from=0,to=1]", "V:avg[from=1,to=2]", "V:rms", "V:rms"])

    def test_columns(self):
        plain = {"max": {"index": 4, "x": 1.5, "y": 2.0}, "min": {"index": 0, "x": 0.0, "y": -1.0},
                 "avg": 0.25, "avg_abs": 0.5, "rms": 0.75, "samples": 9, "at": [[3.0, 4.0]]}
        margins = {"gain_crossover": 100.0, "phase_margin": None, "peak": {"frequency": 1.0,
                   "gain": 3.0}, "crossings": {"gain": [100.0], "phase": []}}
        cases = [
            ("V:min", plain, [("V:min:index", 0), ("V:min:x", 0.0), ("V:min:y", -1.0)]),
            ("V:avg", plain, [("V:avg", 0.25)]),
            ("V:at=2", plain, [("V:at=2", 3.0)]),
            ("V:at=2", dict(plain, at=[[]]), [("V:at=2", math.nan)]),
            ("amp(V):margins", margins,
             [("amp(V):margins:gain_crossover", 100.0), ("amp(V):margins:phase_margin", math.nan),
              ("amp(V):margins:peak.frequency", 1.0), ("amp(V):margins:peak.gain", 3.0),
              ("amp(V):margins:crossings.gain", 1), ("amp(V):margins:crossings.phase", 0)]),
        ]
        for text, answer, expected in cases:
            with self.subTest(text=text):
                got = batch.figures(batch.parse_measure(text), answer)
                self.assertEqual([c for c, _ in got], [c for c, _ in expected])
                for (_, value), (_, want) in zip(got, expected):
                    self.assertTrue(value == want or math.isnan(want) and math.isnan(value))


def write_square(path, duty, amplitude):
    """A 10 kHz switch node and a sine over it, as fixed-width text."""
    t = numpy.linspace(0, 1e-3, 2001)
    sw = numpy.where((t * 1e4) % 1 < duty, amplitude, 0.0)
    out = amplitude * duty + numpy.sin(2 * numpy.pi * 2e3 * t)
    numpy.savetxt(path, numpy.column_stack([t, sw, out]), fmt="%.9e",
                  header="Time V(sw) V(out)", comments="")


# Imports kurvex and kurvex.batch with every optional module refused, then
# runs a batch with only the module argv[1] missing.
WITHOUT = """
import sys

refused = {"dask", "distributed", "pandas", "tqdm"}


class Refuse:
    def find_spec(self, name, path=None, target=None):
        if name.split(".")[0] in refused:
            raise ModuleNotFoundError(f"No module named {name!r}", name=name)


sys.meta_path.insert(0, Refuse())
import kurvex
import kurvex.batch

refused.intersection_update([sys.argv[1]])
try:
    kurvex.batch.measure(sys.argv[2], ["V:avg"], workers=1, progress=True)
except ImportError as e:
    print(e)
if sys.argv[1] != "tqdm":  # the command goes without a progress bar
    print("status", kurvex.batch.main([sys.argv[2], "--measure", "V:avg", "--workers", "1"]))
"""


class OptionalModulesTest(unittest.TestCase):
    def test_load_with_numpy_alone_and_name_the_missing_package(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "a.txt")
            Path(path).write_text("Time V\n0 1\n1 2\n")
            env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
            for missing, package in [("pandas", "python3-pandas"),
                                     ("distributed", "python3-distributed"),
                                     ("tqdm", "python3-tqdm")]:
                with self.subTest(missing=missing):
                    done = subprocess.run([sys.executable, "-c", WITHOUT, missing, path],
                                          env=env, capture_output=True, text=True, timeout=120)
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertIn(f"(Debian package {package})", done.stdout)
                    if missing != "tqdm":
                        self.assertIn(f"(Debian package {package})", done.stderr)
                        self.assertIn("status 1", done.stdout)


class SweepTest(unittest.TestCase):
    MEASURES = ["V(out):min:from=2e-4,to=8e-4", "V(out):avg", "V(out):at=5e-4",
                "V(out):cycles:ref=V(sw)", "V(sw):edges"]

    @classmethod
    def setUpClass(cls):
        from dask.distributed import LocalCluster

        cls.folder = tempfile.TemporaryDirectory()
        root = Path(cls.folder.name)
        for i, duty in enumerate([0.2, 0.5, 0.7]):
            write_square(root / f"s{i}.txt", duty, 10.0 + i)
        shutil.copy(SPICE / "rc_loop.raw", root / "loop.raw")
        (root / "broken.raw").write_bytes((SPICE / "rc_loop.raw").read_bytes()[:3000])
        cls.cluster = LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None)

    @classmethod
    def tearDownClass(cls):
        cls.cluster.close()
        cls.folder.cleanup()

    def cli(self, *args):
        done = subprocess.run([cli_path(), *args], capture_output=True, text=True, check=True)
        return json.loads(done.stdout)

    def test_table_matches_cli(self):
        root = self.folder.name
        table = batch.measure([f"{root}/s*.txt", f"{root}/<broken,loop>.raw"], self.MEASURES,
                              scheduler=self.cluster.scheduler_address)
        runs = [None if r is pandas.NA else r for r in table.run]
        self.assertEqual([(Path(f).name, r) for f, r in zip(table.file, runs)],
                         [("s0.txt", 1), ("s1.txt", 1), ("s2.txt", 1), ("broken.raw", None),
                          ("loop.raw", 1), ("loop.raw", 2), ("loop.raw", 3)])
        self.assertEqual(list(table.columns[:4]), ["file", "run", "run_name", "error"])
        self.assertIn("ends inside the point", table.error[3])
        self.assertEqual(table.run_name[5], "Transient Analysis 2")
        for i in range(3):
            row = table.iloc[i]
            self.assertEqual(row.error, "")
            path = row.file
            plain = self.cli("measure", path, "V(out)", "--from", "2e-4", "--to", "8e-4", "--json")
            self.assertEqual((row["V(out):min:index"], row["V(out):min:x"], row["V(out):min:y"]),
                             (plain["min"]["index"], plain["min"]["x"], plain["min"]["y"]))
            plain = self.cli("measure", path, "V(out)", "--at", "5e-4", "--json")
            self.assertEqual((row["V(out):avg"], row["V(out):at=5e-4"]),
                             (plain["avg"], plain["at"][0][0]))
            cycles = self.cli("measure", path, "V(out)", "--cycles", "--ref", "V(sw)", "--json")
            self.assertEqual((row["V(out):cycles:duty"], row["V(out):cycles:per_cycle"]),
                             (cycles["duty"], len(cycles["per_cycle"])))
            edges = self.cli("measure", path, "V(sw)", "--edges", "--json")
            self.assertEqual((row["V(sw):edges:rise"], row["V(sw):edges:fall_mean"]),
                             (len(edges["rise"]), edges["fall_mean"]))
        # Runs are measured each: run 3 of the loop file, not run 1 again.
        avg = self.cli("measure", f"{root}/loop.raw", "V(out)", "--run", "3", "--json")["avg"]
        self.assertEqual(table["V(out):avg"][6], avg)
        self.assertNotEqual(table["V(out):avg"][4], avg)

    def test_command(self):
        root = self.folder.name
        out = Path(root) / "table.csv"
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
        command = [sys.executable, "-m", "kurvex.batch", "--measure", "V(out):avg",
                   "--scheduler", self.cluster.scheduler_address, "-o", str(out)]
        done = subprocess.run(command + [f"{root}/s<1,0>.txt"], env=env, capture_output=True,
                              text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = out.read_text().splitlines()
        self.assertEqual(lines[0], "file,run,run_name,error,V(out):avg")
        self.assertEqual([line.split(",")[0] for line in lines[1:]],
                         [f"{root}/s1.txt", f"{root}/s0.txt"])
        self.assertEqual(float(lines[1].split(",")[4]),
                         self.cli("measure", f"{root}/s1.txt", "V(out)", "--json")["avg"])
        for files, measure, message in [([f"{root}/none*.txt"], "V(out):avg", "no such file: "),
                                        ([f"{root}/s<0,9>.txt"], "V(out):avg", "no such file: "),
                                        ([f"{root}/s0.txt"], "V(out):avg:from=1", "--measure")]:
            with self.subTest(files=files, measure=measure):
                command[4] = measure
                done = subprocess.run(command + files, env=env, capture_output=True, text=True)
                self.assertEqual(done.returncode, 2)
                self.assertIn(message, done.stderr)
        self.assertEqual(out.read_text().splitlines(), lines)

    def test_script_columns(self):
        root = Path(self.folder.name)
        script = root / "s.meas"
        script.write_text(".meas tran top MAX v(out)\n.meas tran late FIND v(out) AT=5\n")
        raw = str(SPICE / "meas" / "meas_loop.raw")
        table = batch.measure(raw, ["v(out):avg"], meas=str(script),
                              scheduler=self.cluster.scheduler_address)
        self.assertEqual(list(table.columns),
                         ["file", "run", "run_name", "error", "v(out):avg", "top", "late"])
        want = self.cli("meas", raw, str(script), "--runs", "--json")["runs"]
        self.assertEqual(list(table.top), [r["measures"]["top"]["value"] for r in want])
        self.assertTrue(table.late.isna().all())
        self.assertEqual(list(table.error),
                         ["late: " + r["measures"]["late"]["error"] for r in want])
        # --measure is optional beside --meas, but one of them is needed.
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
        command = [sys.executable, "-m", "kurvex.batch", raw, "--scheduler",
                   self.cluster.scheduler_address]
        done = subprocess.run(command + ["--meas", str(script)], env=env, capture_output=True,
                              text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.splitlines()[0], "file,run,run_name,error,top,late")
        done = subprocess.run(command, env=env, capture_output=True, text=True)
        self.assertEqual(done.returncode, 2)
        self.assertIn("--meas", done.stderr)
        # A measurement may not take the name of a column of the table.
        with self.assertRaisesRegex(ValueError, "named like a column"):
            batch.measure(raw, [], meas=".meas tran Error MAX v(out)\n",
                          scheduler=self.cluster.scheduler_address)


if __name__ == "__main__":
    unittest.main()
