#!/usr/bin/env python3
"""kurvex-cli meas against ngspice's own measurements of the same raw files.

Usage: meas_oracle_check.py KURVEX_CLI SOURCE_DIR

Every deck of tests/data/spice/meas is given as the script of its own raw file;
each result must agree with what ngspice printed (DECK.expected, written by
regenerate.sh there) within half a unit of ngspice's last printed digit.
Prints one table row per statement and run; exits 1 on any disagreement.
"""

import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

MEAS_DIR = os.path.join("tests", "data", "spice", "meas")

# ngspice 39 rejects these forms, so there is nothing to compare with.
UNSUPPORTED_KINDS = {"DERIV AT", "DERIV WHEN", "AVG (TRIG/TARG)", "RMS (TRIG/TARG)",
                     "INTEG (TRIG/TARG)", "MIN (TRIG/TARG)", "MAX (TRIG/TARG)",
                     "PP (TRIG/TARG)"}


def read_expected(path):
    """Runs of {name: None (ngspice failed) or {"value"|"at"|"trig"|"targ": printed}}."""
    runs = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            if words[0] == "run":
                runs.append({})
                continue
            if not runs:
                raise ValueError(f"{path}: a result before any 'run' line")
            name = words[0]
            if words[1:] == ["failed"]:
                runs[-1][name] = None
                continue
            fields = {"value": words[1]}
            for word in words[2:]:
                key, _, printed = word.partition("=")
                fields[key] = printed
            for printed in fields.values():
                float(printed)  # a malformed file must stop the check, not pass it
            runs[-1][name] = fields
    return runs


def deck_statements(path):
    """{name: statement text} of the .meas lines and control meas commands, and
    {name: reason} of the '* ngspice differs: NAME: REASON' comments."""
    statements, differs = {}, {}
    lines = []
    with open(path, encoding="utf-8") as f:
        for raw in f:
            text = raw.strip()
            if text.startswith("+") and lines:
                lines[-1] += " " + text[1:].strip()
            else:
                lines.append(text)
    for text in lines:
        m = re.match(r"\*\s*ngspice differs:\s*(\w+):\s*(.*)", text)
        if m:
            differs[m.group(1)] = m.group(2)
            continue
        words = text.split()
        if len(words) >= 4 and words[0].lower() in (".meas", ".measure", "meas", "measure"):
            statements[words[2]] = " ".join(words[3:])
    return statements, differs


def kind_of(statement):
    words = [w.split("=")[0].upper() for w in statement.split()]
    head = words[0] if words else ""
    if head == "TRIG":
        return "TRIG/TARG"
    if head in ("FIND", "DERIV"):
        return head + (" WHEN" if "WHEN" in words else " AT")
    if head in ("AVG", "RMS", "INTEG", "MIN", "MAX", "PP") and "TRIG" in words:
        return head + " (TRIG/TARG)"
    return head


def tolerance(printed):
    """Half a unit of the last digit ngspice printed: 8.626039e-02 -> 5e-09."""
    mantissa, _, exponent = printed.lower().partition("e")
    decimals = len(mantissa.partition(".")[2])
    # The factor only absorbs the binary rounding of the printed decimal.
    return 0.5 * 10.0 ** (int(exponent or 0) - decimals) * (1 + 1e-9)


def shown(fields):
    if fields is None:
        return "failed"
    text = str(fields.get("value"))
    extra = [f"{k}={fields[k]}" for k in ("at", "trig", "targ") if fields.get(k) is not None]
    return text + (f" ({', '.join(extra)})" if extra else "")


def compare(expected, got):
    """(agrees, difference text) of one statement in one run."""
    if expected is None:
        if got is None or got.get("error"):
            return True, "both failed"
        return False, "ngspice failed, Kurvex measured"
    if got is None:
        return False, "missing in Kurvex's output"
    if got.get("error"):
        return False, "Kurvex failed: " + str(got["error"])
    worst, agrees = "", True
    worst_ratio = -1.0
    for key, printed in expected.items():
        value = got.get(key)
        if not isinstance(value, (int, float)):
            return False, f"Kurvex gave no {key}"
        diff = abs(value - float(printed))
        ratio = diff / tolerance(printed)
        if ratio > worst_ratio:
            worst_ratio = ratio
            label = "" if key == "value" else key + " "
            worst = f"{label}{diff:.3g} (tolerance {tolerance(printed):.3g})"
        agrees = agrees and ratio <= 1
    return agrees, worst if agrees else "DISAGREES: " + worst


def kurvex_runs(cli, raw, deck, several, workdir):
    cmd = [cli, "meas", raw, deck, "--json"] + (["--runs"] if several else [])
    proc = subprocess.run(cmd, cwd=workdir, capture_output=True, text=True, timeout=120)
    try:
        return json.loads(proc.stdout)["runs"], None
    except (ValueError, KeyError, TypeError):
        return None, (f"{' '.join(cmd)} exited with {proc.returncode}, no JSON runs: "
                      f"{(proc.stderr or proc.stdout).strip()[:300]}")


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    cli, source = os.path.abspath(sys.argv[1]), sys.argv[2]
    folder = os.path.join(source, MEAS_DIR)
    decks = sorted(glob.glob(os.path.join(folder, "*.expected")))
    if not decks:
        print(f"no *.expected files in {folder}", file=sys.stderr)
        return 1
    workdir = tempfile.mkdtemp(prefix="kurvex-meas-oracle-")
    rows, bad, compared = [], 0, 0
    try:
        for expected_path in decks:
            stem = expected_path[: -len(".expected")]
            deck_name = os.path.basename(stem)
            expected_runs = read_expected(expected_path)
            statements, differs = deck_statements(stem + ".cir")
            # Copies, so that the command cannot touch the source tree.
            for ext in (".cir", ".raw"):
                shutil.copy(stem + ext, os.path.join(workdir, deck_name + ext))
            got_runs, error = kurvex_runs(cli, deck_name + ".raw", deck_name + ".cir",
                                          len(expected_runs) > 1, workdir)
            if error:
                rows.append(("-", deck_name, "-", "-", "DISAGREES: " + error))
                bad += 1
                continue
            if len(got_runs) != len(expected_runs):
                rows.append(("-", deck_name, f"{len(expected_runs)} runs", f"{len(got_runs)} runs",
                             "DISAGREES: number of runs"))
                bad += 1
            for index, expected in enumerate(expected_runs):
                measures = (got_runs[index].get("measures") or {}) if index < len(got_runs) else {}
                prefix = f"{deck_name}" + (f" run {index + 1}" if len(expected_runs) > 1 else "")
                names = [n for n in statements if n in expected or n in measures]
                names += sorted((set(expected) | set(measures)) - set(names))
                for name in names:
                    statement = statements.get(name, "")
                    kind = kind_of(statement)
                    label = f"{prefix}: {name} {statement}"
                    got = measures.get(name)
                    kurvex = "failed: " + str(got["error"]) if got and got.get("error") else (
                        shown(got) if got else "-")
                    if name not in expected:
                        rows.append((kind, label, "-", kurvex, "not printed by ngspice"))
                        continue
                    ngspice = shown(expected[name])
                    if expected[name] is None and kind in UNSUPPORTED_KINDS:
                        rows.append((kind, label, "not measured by ngspice 39", kurvex,
                                     "not compared"))
                        continue
                    agrees, difference = compare(expected[name], got)
                    if name in differs:
                        rows.append((kind, label, ngspice, kurvex,
                                     f"not compared, ngspice differs: {differs[name]} ({difference})"))
                        continue
                    compared += 1
                    bad += not agrees
                    rows.append((kind, label, ngspice, kurvex, difference))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    header = ("kind", "statement", "ngspice", "kurvex", "difference")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(4)]
    for row in [header] + rows:
        print(" | ".join(str(c).ljust(w) for c, w in zip(row, widths)) + " | " + str(row[4]))
    print(f"\n{compared - bad} of {compared} compared measurements agree with ngspice"
          if compared else "\nnothing was compared")
    return 0 if bad == 0 and compared else 1


if __name__ == "__main__":
    sys.exit(main())
