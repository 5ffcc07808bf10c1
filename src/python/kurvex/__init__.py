"""Kurvex's readers and measurements in Python.

``kurvex.open(path)`` reads any result file the viewer reads into a
:class:`Result`; ``result[name]`` is a read-only NumPy array over the file's
samples (no copy). ``measure``, ``thd``, ``fft``, ``eval``, ``meas`` and
``render`` do what the ``kurvex-cli`` commands of those names do, with the same
numbers. Every failure raises :class:`kurvex.Error`, but for ``meas``'s script:
ValueError at a syntax error, OSError when its file cannot be read.
"""

import json
import os
import warnings

from ._kurvex import Error, Result, has_render, set_threads
from ._kurvex import __version__
from ._kurvex import open as _open
from . import _kurvex

__all__ = ["Error", "Result", "open", "measure", "fft", "thd", "eval", "meas", "meas_frame",
           "render", "set_threads", "catalogue"]


def open(path, plot=None):  # noqa: A001 - the name says what it does
    """Read the result file ``path`` (any format the viewer reads).

    ``plot`` (from 1) reads that plot of a SPICE raw file alone, as
    ``kurvex-cli --plot`` does; without it a raw file's later plots like the
    first are its runs. Raises :class:`Error` with the reader's message.
    """
    return _open(str(path), plot)


def _number(value):
    """A number as the command line takes it, exactly."""
    return repr(float(value))


def _source(source):
    """The FILE argument and the loaded result (or None) of a source."""
    if isinstance(source, Result):
        return source.path, source
    return str(source), None


def _options(pairs, flags):
    """Command-line options from (option, value) pairs and (flag, on) pairs."""
    args = []
    for option, value in pairs:
        if value is None:
            continue
        if option == "--run":
            args += [option, str(int(value))]
        elif isinstance(value, str):
            args += [option, value]
        else:
            args += [option, _number(value)]
    for flag, on in flags:
        if on:
            args.append(flag)
    return args


def _range(start, end):
    """--from/--to, which go together."""
    if (start is None) != (end is None):
        raise Error("start and end go together")
    return [("--from", start), ("--to", end)]


def measure(source, name, *, start=None, end=None, at=None, cycles=False, ref=None,
            level=None, hysteresis=None, edges=False, low=None, high=None, dead=None,
            margins=False, phase=None, figures=None, other=None, run=None):
    """Measure the curve ``name`` (a variable or a formula) of ``source``.

    ``source`` is a path or a loaded :class:`Result` (not read again). Returns
    the dict ``kurvex-cli measure FILE NAME ... --json`` prints for the same
    arguments, made by the same measurements without going through text:
    ``start``/``end`` are ``--from``/``--to``, ``at`` a list of X values,
    ``cycles``/``edges``/``margins`` and ``dead=B`` pick the mode,
    ``figures`` a list of catalogue keys (``--figure``, see :func:`catalogue`)
    with ``other`` their second curve (``--with``), ``run`` (from 1) the run.
    """
    path, result = _source(source)
    pairs = _range(start, end)
    pairs += [("--at", x) for x in (at or [])]
    pairs += [("--ref", ref), ("--level", level), ("--hysteresis", hysteresis),
              ("--low", low), ("--high", high), ("--dead", dead), ("--phase", phase),
              ("--with", other), ("--run", run)]
    pairs += [("--figure", key) for key in (figures or [])]
    args = [path, name] + _options(pairs, [("--cycles", cycles), ("--edges", edges),
                                           ("--margins", margins), ("--json", True)])
    return _kurvex._measure(args, result)


def catalogue():
    """Every measurement Kurvex offers, as the Run Table lists them.

    A list of dicts: ``key`` (its name), ``caption``, and whether it takes an
    X (``takes_x``) or a second curve (``takes_other``).
    """
    return _kurvex._catalogue()


def _fft_options(start, end, window, run):
    return _range(start, end) + [("--window", window), ("--run", run)]


def fft(source, name, *, start=None, end=None, window=None, run=None):
    """The amplitude spectrum of the variable ``name`` as ``kurvex-cli fft`` makes it.

    Over [start, end] of X (all of it by default), with ``window`` one of
    rect, hann, hamming, blackman-harris or flattop. Returns the arrays
    ``(frequency, amplitude)``.
    """
    path, result = _source(source)
    args = [path, "--var", name] + _options(_fft_options(start, end, window, run), [])
    return _kurvex._spectrum(args, result)


def thd(source, name, *, start=None, end=None, window=None, fundamental=None, run=None):
    """The harmonics of ``name``: the dict of ``kurvex-cli fft --thd --json``.

    ``fundamental`` picks the bin nearest that frequency instead of the
    strongest one.
    """
    path, result = _source(source)
    pairs = _fft_options(start, end, window, run) + [("--fundamental", fundamental)]
    args = [path, "--var", name] + _options(pairs, [("--thd", True), ("--json", True)])
    return json.loads(_kurvex._fft(args, result))


def eval(source, formula, *, run=None):  # noqa: A001 - kurvex-cli's name for it
    """The values of ``formula`` over ``source`` (run 1, or ``run``), NaN where invalid."""
    result = source if isinstance(source, Result) else open(source)
    if run is not None:
        result = result.run(run)
    return _kurvex._eval(result, formula)


def _script(script):
    """The script argument of _meas: its text or path, and whether it is text."""
    if isinstance(script, str) and ("\n" in script
                                    or script.lstrip().lower().startswith(".meas")):
        return script, True
    return os.fspath(script), False


def _meas(source, script, run):
    path, result = _source(source)
    text, is_text = _script(script)
    answer, unsupported = _kurvex._meas(result, path, text, is_text, run)
    for complaint in unsupported:
        warnings.warn(complaint, stacklevel=3)
    return answer


def meas(source, script, *, run=None):
    """Run the measurement script ``script`` over ``source``, as ``kurvex-cli meas``.

    ``script`` is a path (a script, a netlist's .meas lines or an LTspice .asc)
    or the script's text (a str holding a line end or starting with .meas).
    Returns the dict ``kurvex-cli meas FILE SCRIPT --runs --json`` prints:
    ``{"runs": [{"run", "name", "measures": {NAME: {"value", "at", "trig",
    "targ" or "error"}}}]}``, for every run or only ``run`` (from 1). A syntax
    error raises ValueError("SCRIPT:LINE:COLUMN: ..."); the statements Kurvex
    does not measure are left out with a warning each.
    """
    return _meas(source, script, run)


def meas_frame(source, script, *, run=None):
    """``meas`` as a pandas DataFrame: a row per run with ``run``, ``name`` and a
    column per measurement's value, NaN where it failed."""
    try:
        import pandas
    except ImportError as e:
        raise ImportError("pandas is not installed; kurvex.meas_frame needs it "
                          "(Debian package python3-pandas)") from e
    answer = _meas(source, script, run)
    nan = float("nan")
    records = []
    for entry in answer["runs"]:
        record = {"run": entry["run"], "name": entry["name"]}
        for name, value in entry["measures"].items():
            figure = value.get("value")
            record[name] = nan if figure is None else figure
        records.append(record)
    columns = ["run", "name"] + list(answer["runs"][0]["measures"] if answer["runs"] else [])
    return pandas.DataFrame.from_records(records, columns=columns)


def render(source, out, screens=None, size=(1600, 900), *, start=None, end=None,
           ylog=False, spectra=False, run=None):
    """Draw the curves of ``source`` into the picture ``out`` (.png, .svg or .pdf).

    ``screens`` is a list of screens, each a list of names or formulas (or one
    comma-separated string); without it the layout is chosen as ``kurvex-cli
    render`` chooses it. ``spectra`` draws the frequency display. A Result
    source is drawn from its file.
    """
    if not has_render:
        raise Error("kurvex.render is not available: kurvex was built without the window "
                    "toolkit (KURVEX_GUI)")
    path, _ = _source(source)
    args = [path, "-o", str(out), "--size", "%dx%d" % (int(size[0]), int(size[1]))]
    for screen in screens or []:
        args += ["--screen", screen if isinstance(screen, str) else ",".join(screen)]
    args += _options(_range(start, end) + [("--run", run)],
                     [("--ylog", ylog), ("--fft", spectra)])
    _kurvex._render(args)
