#!/usr/bin/env python3
"""The simulation loop with a real simulator: ngspice simulates a series RLC circuit into a raw
file, the viewer opens it, and ngspice runs again twice with another capacitor, rewriting the
file in place. The viewer follows the file by itself (File / Auto Reload); switch on
View / Show Previous Run to see each run beside the one before.

  scripts/simulation-loop.py [KURVEX [FOLDER]]

KURVEX defaults to build/src/app/kurvex, FOLDER to a new temporary folder. Needs ngspice
(apt-get install ngspice). The script ends when the viewer is closed.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
kurvex = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "src", "app",
                                                            "kurvex")
folder = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="kurvex-loop-")
if shutil.which("ngspice") is None:
    sys.exit("ngspice is not installed: apt-get install ngspice")
if not os.access(kurvex, os.X_OK):
    sys.exit("no viewer at %s: build it first with scripts/build" % kurvex)
os.makedirs(folder, exist_ok=True)
raw = os.path.join(folder, "rlc.raw")
deck = os.path.join(folder, "rlc.cir")


def simulate(capacitance):
    """One run of ngspice: a 5 V step into 2 ohm, 100 uH and the capacitor given."""
    with open(deck, "w") as f:
        f.write("* series RLC step response\n"
                "V1 in 0 PULSE(0 5 10u 1u 1u 1 2)\n"
                "R1 in a 2\n"
                "L1 a out 100u\n"
                "C1 out 0 %s\n"
                ".save v(out)\n"
                ".tran 1u 1m\n"
                ".end\n" % capacitance)
    subprocess.run(["ngspice", "-b", "-r", raw, deck], check=True, capture_output=True)
    print("C1 = %s: %s written" % (capacitance, raw))


simulate("10u")
viewer = subprocess.Popen([kurvex, raw])
for capacitance in ("22u", "47u"):
    time.sleep(5)  # time to look; the viewer then reloads within a second of the new run
    if viewer.poll() is not None:
        break
    simulate(capacitance)
print("close the viewer to end")
sys.exit(viewer.wait())
