"""The simulation loop with a real simulator, under the desktop driver: ngspice simulates a
series RLC circuit into a raw file that the viewer shows; "Show Previous Run" is switched on;
ngspice runs again with another capacitor, rewriting the file in place, and the viewer follows
by itself. Screenshots before and after the second run go to OUTDIR.

  /work/shared/tools/desktop/run scripts/simulation-loop.py build/src/app/kurvex OUTDIR
"""
import os
import subprocess
import sys
import time

from drive import (App, Checks, checked, choose, count_pixels, descr, extents, find, menu_item,
                   name, refresh, screenshot, wait_for)

kurvex, outdir = sys.argv[1:3]
os.makedirs(outdir, exist_ok=True)
raw = os.path.join(outdir, "rlc.raw")


def simulate(capacitance):
    """One run of ngspice: a 5 V step into 2 ohm, 100 uH and the capacitor given."""
    deck = os.path.join(outdir, "rlc.cir")
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


def faded_red(shot, box):
    """Pixels of the previous run's colour (red halfway to white) in the plot of the screen
    at box, away from the legend's smoothed text."""
    x, y, w, h = box
    inner = (x + w // 6, y + h // 5, w * 2 // 3, h * 3 // 5)
    return count_pixels(shot, inner, lambda p: abs(p[0] - 255) < 4 and abs(p[1] - 127) < 4
                        and abs(p[2] - 127) < 4)


checks = Checks("simulation loop")
simulate("10u")
app = App([kurvex, raw])
if app.attach(30) is None:
    sys.exit("the viewer shows no window")
main = wait_for(lambda: (refresh(app), app.main_frame())[1], 20)
screen = wait_for(lambda: find(main, lambda a: name(a) == "Screen 1", 30), 20)
checks.check("the raw file opens in one screen", screen is not None)
checks.check("its curve is v(out)", screen is not None and descr(screen) == "v(out)",
             descr(screen) if screen is not None else "")

auto = menu_item(main, "File", "Auto Reload")
checks.check("Auto Reload is on", auto is not None and checked(auto))
checks.check("Show Previous Run can be chosen", choose(app, main, "View", "Show Previous Run"))
time.sleep(0.5)
screenshot(os.path.join(outdir, "1-first-run.png"))

simulate("22u")  # the engineer changed C1 and ran the simulator again
time.sleep(2.0)  # the viewer reloads by itself within a second
refresh(app)
shown = menu_item(main, "View", "Show Previous Run")
checks.check("Show Previous Run stays checked", shown is not None and checked(shown))
screen = find(main, lambda a: name(a) == "Screen 1", 30)
checks.check("the window kept its screen and curve",
             screen is not None and descr(screen) == "v(out)")
shot = os.path.join(outdir, "2-second-run-with-previous.png")
screenshot(shot)
checks.check("the first run is drawn beside the second", faded_red(shot, extents(screen)) > 100)
checks.check("none before the second run",
             faded_red(os.path.join(outdir, "1-first-run.png"), extents(screen)) == 0)

simulate("47u")
time.sleep(2.0)
screenshot(os.path.join(outdir, "3-third-run-with-previous.png"))

# The measure window lists the previous run beside the curve.
choose(app, main, "Measure", "Measure")
x, y, w, h = extents(screen)
subprocess.run(["xdotool", "mousemove", str(x + w // 4), str(y + h // 2), "click", "1"])
time.sleep(0.5)
refresh(app)
measure = wait_for(lambda: find(app.root, lambda a: name(a) == "Measure values", 6), 10)
rows = descr(measure) if measure is not None else ""
print(rows)
checks.check("the measure window lists v(out) (previous)", "v(out) (previous)\t" in rows, rows)
screenshot(os.path.join(outdir, "4-measure.png"))

# The spectrum of the previous run over the same range.
choose(app, main, "Analysis", "Perform FFT")
time.sleep(1.5)
shot = os.path.join(outdir, "5-spectra.png")
screenshot(shot)
checks.check("the previous run's spectrum is drawn too", faded_red(shot, extents(screen)) > 20)
app.quit()
checks.finish()
