"""Measure a sweep's result files on a Dask cluster.

    python3 -m kurvex.batch FILE_OR_PATTERN... [--measure "NAME:KIND[:OPTIONS]"...]
                            [--meas SCRIPT] [--scheduler ADDRESS] [--workers N]
                            [-o TABLE.csv]

Each file is read by a worker (the paths go to the cluster, not the data, so
the workers need the same file system), and every run of it is measured. The
table has one row per file and run and one column per scalar figure, named
``NAME:KIND:key``, then one per statement of the measurement script
(``--meas``), named as the statement; ``kurvex.batch.measure`` returns it as a
pandas DataFrame.
"""

import argparse
import glob
import importlib.util
import os
import re
import sys
import tempfile
import warnings
from dataclasses import dataclass, field, replace

# The options each kind takes, in the order of kurvex-cli's usage lines.
_RANGE = ("from", "to")
KIND_OPTIONS = {
    "avg": _RANGE,
    "rms": _RANGE,
    "min": _RANGE,
    "max": _RANGE,
    "at": _RANGE,
    "cycles": ("ref", "level", "hysteresis") + _RANGE,
    "edges": ("low", "high", "dead") + _RANGE,
    "margins": ("phase",) + _RANGE,
    "thd": ("fundamental", "window") + _RANGE,
}
_NUMBER_OPTIONS = {"from", "to", "level", "hysteresis", "low", "high", "fundamental"}
_KEYWORDS = {"from": "start", "to": "end"}
TABLE_COLUMNS = ["file", "run", "run_name", "error"]

# Imported when first used, so that the measure texts and the workers' side
# need nothing beyond NumPy; each with the Debian package that brings it.
_PACKAGES = {"pandas": "python3-pandas", "dask.distributed": "python3-distributed",
             "tqdm": "python3-tqdm"}


def _need(name):
    """The module `name`; ImportError naming its Debian package when it is missing."""
    try:
        return importlib.import_module(name)
    except ImportError as e:
        raise ImportError(f"{name} is not installed; kurvex.batch needs it "
                          f"(Debian package {_PACKAGES[name]})") from e


def _check_modules(progress):
    """Everything a batch imports, before any work, so that none is lost."""
    for name in ("pandas", "dask.distributed") + (("tqdm",) if progress else ()):
        _need(name)


@dataclass(frozen=True)
class Measure:
    """One ``--measure`` text: a curve, what to measure of it, and the options."""

    name: str
    kind: str
    at: float = None
    options: dict = field(default_factory=dict)
    label: str = ""
    option_text: str = ""

    def keywords(self):
        """The keyword arguments of kurvex.measure (or kurvex.thd) for this measure."""
        keywords = {_KEYWORDS.get(k, k): v for k, v in self.options.items()}
        if self.kind == "at":
            keywords["at"] = [self.at]
        elif self.kind in ("cycles", "margins"):
            keywords[self.kind] = True
        elif self.kind == "edges" and "dead" not in keywords:
            # --dead B is a form of its own; --edges would clash with it.
            keywords["edges"] = True
        return keywords


def _split_options(text):
    """Splits at commas outside parentheses, so a formula's arguments stay whole."""
    parts, depth, start = [], 0, 0
    for i, c in enumerate(text):
        if c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        elif c == "," and depth == 0:
            parts.append(text[start:i])
            start = i + 1
    parts.append(text[start:])
    return parts


def _number(text, what):
    try:
        value = float(text)
    except ValueError:
        raise ValueError(f"{what}: not a number: {text!r}") from None
    if value != value:
        raise ValueError(f"{what}: not a number: {text!r}")
    return value


def _is_kind(token):
    return token in KIND_OPTIONS and token != "at" or token.startswith("at=")


def parse_measure(text):
    """Parses ``NAME:KIND[:OPTIONS]`` into a Measure; raises ValueError with the reason.

    NAME may itself hold colons: the kind is the first token after it that
    names one.
    """
    tokens = text.split(":")
    kind_at = next((i for i in range(1, len(tokens)) if _is_kind(tokens[i].strip())), None)
    if kind_at is None or not ":".join(tokens[:kind_at]).strip():
        kinds = ", ".join(k if k != "at" else "at=X" for k in KIND_OPTIONS)
        raise ValueError(f"{text!r}: expected NAME:KIND[:OPTIONS] with KIND one of {kinds}")
    name = ":".join(tokens[:kind_at]).strip()
    kind_text = tokens[kind_at].strip()
    kind, at = kind_text, None
    if kind_text.startswith("at="):
        kind, at = "at", _number(kind_text[3:], f"{text!r}: at")
    options = {}
    option_text = ":".join(tokens[kind_at + 1 :])
    if option_text.strip():
        for item in _split_options(option_text):
            key, equals, value = (s.strip() for s in item.partition("="))
            if not equals or not key or not value:
                raise ValueError(f"{text!r}: option {item.strip()!r} is not key=value")
            if key not in KIND_OPTIONS[kind]:
                allowed = ", ".join(KIND_OPTIONS[kind])
                raise ValueError(f"{text!r}: {kind} takes no option {key!r} (it takes {allowed})")
            if key in options:
                raise ValueError(f"{text!r}: option {key!r} given twice")
            if key in _NUMBER_OPTIONS:
                value = _number(value, f"{text!r}: {key}")
            options[key] = value
    if ("from" in options) != ("to" in options):
        raise ValueError(f"{text!r}: from and to go together")
    return Measure(name, kind, at, options, f"{name}:{kind_text}", option_text.strip())


def flatten(value, prefix=""):
    """Flattens a measure's answer into ``(key, figure)`` pairs in the answer's order.

    Nested keys are joined with '.', a list becomes its length and null becomes NaN.
    """
    if isinstance(value, dict):
        pairs = []
        for key, item in value.items():
            pairs.extend(flatten(item, f"{prefix}.{key}" if prefix else str(key)))
        return pairs
    if isinstance(value, (list, tuple)):
        return [(prefix, len(value))]
    return [(prefix, float("nan") if value is None else value)]


def figures(item, answer):
    """The columns one measure gives from kurvex's answer, as ``(column, figure)`` pairs."""
    if item.kind in ("avg", "rms", "min", "max"):
        answer = answer[item.kind]
    elif item.kind == "at":
        # The value where X first passes the point: X rises in a transient.
        passes = answer["at"][0] if answer["at"] else []
        answer = passes[0] if passes else None
    return [(f"{item.label}:{key}" if key else item.label, v) for key, v in flatten(answer)]


_worker_ready = False


def _prepare_worker(kurvex):
    """Sets a worker process up for reading one file per task, once.

    Each task reads with one thread: the cluster already runs a task per core.
    And malloc keeps freed memory for the next file: Dask's nanny starts
    workers with MALLOC_TRIM_THRESHOLD_ set, which stops glibc from raising its
    mmap threshold, so every column of every file would be fresh pages faulted
    in one by one (a worker ran at less than half its speed). These are the
    limits glibc would have reached by itself.
    """
    global _worker_ready
    if _worker_ready:
        return
    _worker_ready = True
    kurvex.set_threads(1)
    try:
        import ctypes

        libc = ctypes.CDLL("libc.so.6")
        libc.mallopt(-3, 32 << 20)  # M_MMAP_THRESHOLD: its largest value
        libc.mallopt(-1, 64 << 20)  # M_TRIM_THRESHOLD: twice that
    except (OSError, AttributeError):
        pass  # not glibc: nothing to undo


def _script_figures(kurvex, result, script, runs):
    """Per run the ``(column, figure)`` pairs of the script's statements and the
    reasons of those that failed; the script's own errors for every run."""
    try:
        with warnings.catch_warnings():
            # Told once, by the batch that checked the script.
            warnings.simplefilter("ignore")
            answer = kurvex.meas(result, script)["runs"]
    except Exception as e:
        return [([], [f"{script}: {e}"]) for _ in runs]
    out = []
    for entry in answer:
        pairs, errors = [], []
        for name, value in entry["measures"].items():
            figure = value.get("value")
            pairs.append((name, float("nan") if figure is None else figure))
            if "error" in value:
                errors.append(f"{name}: {value['error']}")
        out.append((pairs, errors))
    return out


def measure_file(path, items, meas=None):
    """Reads one file and measures every run of it; runs on a worker.

    Returns one row per run as ``(run, run_name, error, figures)``, the figures
    a list of ``(column, figure)`` pairs per measure, and one more for the
    measurement script ``meas`` when given.
    A file that cannot be read gives one row carrying the reason.
    """
    import kurvex

    _prepare_worker(kurvex)
    groups = len(items) + (meas is not None)
    try:
        result = kurvex.open(path)
        runs = list(result.runs) or [""]
    except Exception as e:  # the batch goes on whatever one file does
        return [(None, "", str(e) or type(e).__name__, [[] for _ in range(groups)])]
    script = _script_figures(kurvex, result, meas, runs) if meas is not None else None
    rows = []
    for run, run_name in enumerate(runs, start=1):
        errors, per_measure = [], []
        for item in items:
            call = kurvex.thd if item.kind == "thd" else kurvex.measure
            try:
                answer = call(result, item.name, run=run, **item.keywords())
                per_measure.append(figures(item, answer))
            except Exception as e:
                errors.append(f"{item.label}: {e}")
                per_measure.append([])
        if script is not None:
            pairs, failed = script[run - 1]
            per_measure.append(pairs)
            errors += failed
        rows.append((run, run_name, "; ".join(errors), per_measure))
    return rows


def expand_paths(patterns):
    """The files of paths, shell globs and ``prefix<a,b>suffix`` patterns, in order.

    Raises FileNotFoundError("no such file: ...") for a pattern matching nothing
    or a missing path.
    """
    paths = []
    for pattern in patterns:
        names = [pattern]
        alternatives = re.fullmatch(r"(.*?)<([^<>]*)>(.*)", pattern, re.S)
        if alternatives:
            prefix, middle, suffix = alternatives.groups()
            names = [prefix + a + suffix for a in middle.split(",") if a]
        for name in names:
            if glob.has_magic(name):
                matches = sorted(glob.glob(name))
                if not matches:
                    raise FileNotFoundError(f"no such file: {name}")
                paths.extend(matches)
            elif os.path.exists(name):
                paths.append(name)
            else:
                raise FileNotFoundError(f"no such file: {name}")
    return paths


def _client(scheduler, workers):
    distributed = _need("dask.distributed")
    if scheduler:
        return distributed.Client(scheduler), None
    cluster = distributed.LocalCluster(
        n_workers=workers or os.cpu_count() or 1,
        threads_per_worker=1,
        processes=True,
        dashboard_address=None,
    )
    return distributed.Client(cluster), cluster


def _run(client, paths, items, meas, show_progress):
    absolute = [os.path.abspath(p) for p in paths]
    futures = client.map(measure_file, absolute, items=items, meas=meas, pure=False)
    if show_progress:
        tqdm = _need("tqdm").tqdm
        as_completed = _need("dask.distributed").as_completed
        with tqdm(total=len(futures), unit="file", file=sys.stderr) as bar:
            for _ in as_completed(futures):
                bar.update()
    return client.gather(futures)


def _table(paths, items, answers, script_names=None):
    # Columns in the order of the measures, then of each measure's keys; the
    # script's columns are there even when no file could be measured.
    by_measure = [{} for _ in items]
    if script_names is not None:
        by_measure.append(dict.fromkeys(script_names))
    records = []
    for path, rows in zip(paths, answers):
        for run, run_name, error, per_measure in rows:
            record = {"file": path, "run": run, "run_name": run_name, "error": error}
            for keys, pairs in zip(by_measure, per_measure):
                for column, value in pairs:
                    record[column] = value
                    keys.setdefault(column, None)
            records.append(record)
    columns = TABLE_COLUMNS + list(dict.fromkeys(c for keys in by_measure for c in keys))
    frame = _need("pandas").DataFrame.from_records(records, columns=columns)
    for column in columns:
        # Counts and indexes stay integers beside the missing figures of failed rows.
        values = [r[column] for r in records if r.get(column) is not None]
        if values and all(type(v) is int for v in values):
            frame[column] = frame[column].astype("Int64")
    return frame


def parse_measures(measures):
    """Parsed measures; those that share NAME:KIND but not their options are told
    apart by their options in brackets (``V:avg[from=0,to=1]``)."""
    items = [m if isinstance(m, Measure) else parse_measure(m) for m in measures]
    variants = {}
    for item in items:
        variants.setdefault(item.label, set()).add(item.option_text)
    return [replace(s, label=f"{s.label}[{s.option_text}]")
            if len(variants[s.label]) > 1 and s.option_text else s for s in items]


def check_script(script):
    """The script ``meas`` as the workers get it (a path made absolute, or its
    text) and its statement names; warns of each unsupported statement. Raises
    ValueError at a syntax error and OSError when it cannot be read."""
    import kurvex
    from kurvex import _kurvex

    text, is_text = kurvex._script(script)
    if not is_text:
        text = os.path.abspath(text)
    names, unsupported = _kurvex._meas_script(text, is_text)
    for complaint in unsupported:
        warnings.warn(complaint, stacklevel=3)
    return text, names


def measure(paths, measures=(), scheduler=None, workers=None, progress=False, meas=None):
    """Measures every run of every file on a Dask cluster; returns a pandas DataFrame.

    ``paths`` are paths or patterns as on the command line; ``measures`` are
    ``NAME:KIND[:OPTIONS]`` texts (or Measure); ``meas`` a measurement script
    (a path or its text, as kurvex.meas takes it) whose statements each add a
    column. Without ``scheduler`` (an
    address) a local cluster of ``workers`` processes (the cores by default),
    one thread each, does the work: its processes import the calling script
    again, so a script calls this under ``if __name__ == "__main__"``. Raises
    ValueError for a bad measure text or script, FileNotFoundError for a pattern that
    matches no file and ImportError when pandas, Dask's distributed or (for
    ``progress``) tqdm is missing.
    """
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    items = parse_measures(measures)
    if not items and meas is None:
        raise ValueError("nothing to measure: give measures or a script (meas)")
    script, names = check_script(meas) if meas is not None else (None, None)
    # A measurement named like a column of the table would overwrite it.
    taken = [n for n in names or () if n.lower() in TABLE_COLUMNS]
    if taken:
        raise ValueError(f"the script's measurement {taken[0]} is named like a column of "
                         f"the table ({', '.join(TABLE_COLUMNS)}): rename it")
    files = expand_paths([os.fspath(p) for p in paths])
    _check_modules(progress)
    client, cluster = _client(scheduler, workers)
    try:
        answers = _run(client, files, items, script, progress)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return _table(files, items, answers, names)


def write_csv(frame, target):
    """Writes the table so that the target is replaced only once it is complete."""
    target = os.path.realpath(target)
    folder, base = os.path.split(target)
    handle, temporary = tempfile.mkstemp(prefix=base + ".kurvex-save-", dir=folder)
    try:
        with os.fdopen(handle, "w", newline="") as out:
            frame.to_csv(out, index=False)
            out.flush()
            os.fsync(out.fileno())
        if os.path.exists(target):
            os.chmod(temporary, os.stat(target).st_mode & 0o7777)
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise


def main(argv=None):
    """The command line; returns the exit status."""
    parser = argparse.ArgumentParser(
        prog="kurvex.batch",
        description="Measure every run of many result files on a Dask cluster.",
    )
    parser.add_argument("files", nargs="+", metavar="FILE_OR_PATTERN",
                        help="a path, a shell glob or prefix<a,b,c>suffix")
    parser.add_argument("--measure", action="append", default=[], metavar="NAME:KIND[:OPTIONS]",
                        help="KIND: avg, rms, min, max, at=X, cycles, edges, thd or margins; "
                             "OPTIONS: key=value,... (from, to, ref, level, ...)")
    parser.add_argument("--meas", metavar="SCRIPT",
                        help="a measurement script, netlist or .asc: a column per statement")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="the Dask scheduler to use")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="worker processes of the local cluster (default: the cores)")
    parser.add_argument("-o", "--output", metavar="TABLE.csv",
                        help="the table's file (default: standard output)")
    args = parser.parse_args(argv)
    try:
        items = parse_measures(args.measure)
    except ValueError as e:
        parser.error(f"--measure {e}")
    if not items and args.meas is None:
        parser.error("give --measure, --meas or both")
    script, names = None, None
    if args.meas is not None:
        try:
            script, names = check_script(args.meas)
        except (ValueError, OSError) as e:
            parser.error(f"--meas {e}")
    if args.workers is not None and args.workers < 1:
        parser.error("--workers must be at least 1")
    try:
        files = expand_paths(args.files)
    except FileNotFoundError as e:
        print(f"{parser.prog}: {e}", file=sys.stderr)
        return 2
    # The progress bar is a nicety: without tqdm the batch runs without it.
    progress = sys.stderr.isatty() and importlib.util.find_spec("tqdm") is not None
    try:
        _check_modules(progress)
    except ImportError as e:
        print(f"{parser.prog}: {e}", file=sys.stderr)
        return 1
    client, cluster = _client(args.scheduler, args.workers)
    try:
        answers = _run(client, files, items, script, progress)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    frame = _table(files, items, answers, names)
    if args.output and args.output != "-":
        try:
            write_csv(frame, args.output)
        except OSError as e:
            print(f"{parser.prog}: cannot write {args.output}: {e}", file=sys.stderr)
            return 1
    else:
        frame.to_csv(sys.stdout, index=False)
    return 0


if __name__ == "__main__":
    # Through the package, so the workers find measure_file by its module name.
    from kurvex.batch import main as package_main

    sys.exit(package_main())
