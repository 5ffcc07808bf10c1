"""The kurvex module against the files it reads and against kurvex-cli."""

import gc
import json
import math
import os
import subprocess
import tempfile
import threading
import unittest

import numpy

import kurvex

SOURCE = os.environ.get("KURVEX_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
CLI = os.environ.get("KURVEX_CLI", "build/src/cli/kurvex-cli")
BUCK = os.path.join(SOURCE, "examples", "buck.txt")
LOOP = os.path.join(SOURCE, "tests", "data", "spice", "loop_pole.raw")
BATCH = os.path.join(SOURCE, "tests", "data", "spice", "rc_batch.raw")

TABLE = "Time V(a) I(b)\n0 1 -2\n0.5 3 4\n1 2 0.25\n2 5 8\n"


class ModuleTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "small.txt")
        with open(self.path, "w") as f:
            f.write(TABLE)

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
        with self.assertRaises(ValueError):
            first[0] = 7
        self.assertTrue(result.valid("V(a)").all())
        del result
        gc.collect()
        self.assertEqual(first.tolist(), [1, 3, 2, 5])
        frame = kurvex.open(self.path).to_pandas()
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
        batch = kurvex.open(BATCH)
        self.assertGreater(len(batch.runs), 1)
        later = batch.run(2)
        self.assertEqual(later.runs, [batch.runs[1]])
        self.assertEqual(kurvex.open(BATCH, plot=2).runs, [batch.runs[1]])
        x = later.x_name
        numpy.testing.assert_array_equal(kurvex.eval(later, x + "*2"), later[x] * 2)

    def test_measure_equals_the_cli(self):
        cases = [
            ([], {}),
            (["--at", "0.75", "--at", "1.5", "--from", "0", "--to", "1"],
             {"at": [0.75, 1.5], "start": 0, "end": 1}),
            (["--cycles"], {"cycles": True}),
            (["--edges", "--low", "0", "--high", "48"], {"edges": True, "low": 0, "high": 48}),
        ]
        source = [(BUCK, "V(sw)", c) for c in cases]
        source.append((BUCK, "V(out)*2", ([], {})))
        source.append((BATCH, None, (["--run", "3"], {"run": 3})))
        loop = kurvex.open(LOOP)
        amp = next(n for n in loop.names if n.lower().startswith("amp"))
        source.append((LOOP, amp, (["--margins"], {"margins": True})))
        for path, name, (args, keywords) in source:
            name = name or kurvex.open(path).names[-1]
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
        frequency, amplitude = kurvex.fft(BUCK, "V(sw)")
        self.assertEqual(frequency.shape, amplitude.shape)
        self.assertAlmostEqual(amplitude[0], kurvex.open(BUCK)["V(sw)"].mean(), delta=2)

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
        values = kurvex.eval(loaded, "1/(V(a)-3)")
        self.assertTrue(math.isnan(values[1]) or math.isinf(values[1]))
        if not kurvex.has_render:
            with self.assertRaisesRegex(kurvex.Error, "without the window toolkit"):
                kurvex.render(loaded, os.path.join(self.dir.name, "a.png"))
        else:
            picture = os.path.join(self.dir.name, "a.png")
            kurvex.render(loaded, picture, screens=[["V(a)", "I(b)"]], size=(320, 200))
            with open(picture, "rb") as f:
                self.assertEqual(f.read(4), b"\x89PNG")

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
