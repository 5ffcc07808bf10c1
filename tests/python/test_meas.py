"""kurvex.meas and meas_frame against kurvex-cli meas."""

import json
import math
import os
import subprocess
import tempfile
import unittest
import warnings

import kurvex

SOURCE = os.environ.get("KURVEX_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
CLI = os.environ.get("KURVEX_CLI", "build/src/cli/kurvex-cli")
MEAS = os.path.join(SOURCE, "tests", "data", "spice", "meas")
RAW = os.path.join(MEAS, "meas_loop.raw")
CIR = os.path.join(MEAS, "meas_loop.cir")

# A value, a statement that fails (past the end of X) and one Kurvex leaves out.
SCRIPT = (".meas tran top MAX v(out)\n* a comment\n.meas tran late FIND v(out) AT=5\n"
          ".meas noise nz INTEG onoise_spectrum\n")


def cli(*args):
    done = subprocess.run([CLI, "meas", *args], capture_output=True, text=True)
    return done


class MeasTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.script = os.path.join(self.dir.name, "s.meas")
        with open(self.script, "w") as f:
            f.write(SCRIPT)

    def tearDown(self):
        self.dir.cleanup()

    def test_matches_cli(self):
        every = json.loads(cli(RAW, CIR, "--runs", "--json").stdout)
        second = json.loads(cli(RAW, CIR, "--run", "2", "--json").stdout)
        self.assertEqual(len(every["runs"]), 3)
        opened = kurvex.open(RAW)
        for source in (RAW, opened):
            with self.subTest(source=type(source).__name__):
                self.assertEqual(kurvex.meas(source, CIR), every)
                self.assertEqual(kurvex.meas(source, CIR, run=2), second)

    def test_text_and_unsupported(self):
        want = json.loads(cli(RAW, self.script, "--runs", "--json").stdout)
        self.assertIn("error", want["runs"][0]["measures"]["late"])
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            self.assertEqual(kurvex.meas(RAW, SCRIPT), want)
        self.assertEqual([str(w.message) for w in caught],
                         ["<script>:4: nz: not supported: " +
                          cli(RAW, self.script).stderr.split(": not supported: ")[1].strip()])
        # One line without a line end is text too, and a path when it names a file.
        line = SCRIPT.splitlines()[0]
        self.assertEqual(kurvex.meas(RAW, line, run=3)["runs"][0]["measures"]["top"],
                         want["runs"][2]["measures"]["top"])

    def test_errors(self):
        bad = ".meas tran top MAX v(out)\n.meas tran t2 WHEN v(out)=\n"
        with open(self.script, "w") as f:
            f.write(bad)
        told = cli(RAW, self.script).stderr.strip()
        self.assertTrue(told.startswith(self.script + ":2:"), told)
        with self.assertRaises(ValueError) as raised:
            kurvex.meas(RAW, bad)
        self.assertEqual(str(raised.exception), told.replace(self.script, "<script>", 1))
        with self.assertRaises(ValueError) as raised:
            kurvex.meas(RAW, self.script)
        self.assertEqual(str(raised.exception), told)
        with self.assertRaises(OSError):
            kurvex.meas(RAW, os.path.join(self.dir.name, "none.meas"))
        with self.assertRaises(kurvex.Error):
            kurvex.meas(RAW, CIR, run=4)

    def test_frame(self):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            answer = kurvex.meas(RAW, self.script)
            frame = kurvex.meas_frame(RAW, self.script)
        self.assertEqual(list(frame.columns), ["run", "name", "top", "late"])
        self.assertEqual(list(frame.run), [1, 2, 3])
        self.assertEqual(list(frame.name), [r["name"] for r in answer["runs"]])
        self.assertEqual(list(frame.top), [r["measures"]["top"]["value"] for r in answer["runs"]])
        self.assertTrue(all(math.isnan(v) for v in frame.late))


if __name__ == "__main__":
    unittest.main()
