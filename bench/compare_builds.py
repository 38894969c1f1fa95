#!/usr/bin/env python3
"""Times two qarn programs side by side on the same instances: each run
pinned to one core, the two programs alternating, the best of N runs kept.

  compare_builds.py BASE_QARN NEW_QARN [--core C] [--runs N] [--timeout S]
                    [--slower PERCENT] [--args "QARN OPTIONS"] FILE_OR_DIR ...

The format follows the extension (.opb, .fzn, .xml); every run uses `-s 1`
and the given options (say "-b 20000", so that long searches end alike),
and its peak memory is measured by GNU time (package time).
Prints per instance both best wall times, base/new (the speed-up), peak
memory of each, and marks an instance whose new time is more than PERCENT
(default 5) and 10 ms above the base, or whose output differs from the base's once the
lines that report times are dropped. Exits 1 when any instance is marked.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

FORMATS = {".opb": "opb", ".fzn": "fzn", ".xml": "xcsp"}
TIME_LINE = re.compile(r"time|^c === iteration")


def instances(paths):
    found = []
    for p in paths:
        if os.path.isdir(p):
            found += sorted(os.path.join(p, f) for f in os.listdir(p)
                            if os.path.splitext(f)[1] in FORMATS)
        else:
            found.append(p)
    return found


def run(qarn, path, core, timeout, extra):
    """(wall seconds or None on timeout, peak KiB, output without time lines)."""
    with tempfile.NamedTemporaryFile("r") as measured:
        command = ["/usr/bin/time", "-f", "%M", "-o", measured.name,
                   "taskset", "-c", str(core), qarn, "-F",
                   FORMATS[os.path.splitext(path)[1]], "-s", "1"] + extra + [path]
        start = time.monotonic()
        try:
            proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            return None, 0, None
        wall = time.monotonic() - start
        kib = measured.read().split()[-1]
    lines = [l for l in proc.stdout.decode(errors="replace").splitlines()
             if not TIME_LINE.search(l)]
    return wall, int(kib), lines


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("base")
    ap.add_argument("new")
    ap.add_argument("paths", nargs="+")
    ap.add_argument("--core", type=int, default=0)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--slower", type=float, default=5.0)
    ap.add_argument("--args", default="", help="further qarn options, e.g. \"-b 20000\"")
    o = ap.parse_args()

    marked = 0
    print("%-44s %9s %9s %7s %9s %9s" % ("instance", "base s", "new s", "speedup",
                                          "base KiB", "new KiB"))
    for path in instances(o.paths):
        best = {"base": None, "new": None}
        peak = {"base": 0, "new": 0}
        outputs = {}
        for _ in range(o.runs):
            for name, qarn in (("base", o.base), ("new", o.new)):
                wall, kib, lines = run(qarn, path, o.core, o.timeout, o.args.split())
                outputs[name] = lines
                peak[name] = max(peak[name], kib)
                if wall is not None and (best[name] is None or wall < best[name]):
                    best[name] = wall
        b, n = best["base"], best["new"]
        notes = []
        if outputs["base"] != outputs["new"]:
            notes.append("OUTPUT DIFFERS")
        if n is None or (b is not None and n > b * (1 + o.slower / 100) and n - b > 0.01):
            notes.append("SLOWER")
        marked += bool(notes)
        show = lambda t: ">%g" % o.timeout if t is None else "%.3f" % t
        ratio = "%.2f" % (b / n) if b and n else "-"
        print("%-44s %9s %9s %7s %9s %9s  %s" % (os.path.basename(path)[:44], show(b), show(n),
                                                  ratio, peak["base"] or "-", peak["new"] or "-",
                                                  " ".join(notes)), flush=True)
    return 1 if marked else 0


if __name__ == "__main__":
    sys.exit(main())
