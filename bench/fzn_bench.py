#!/usr/bin/env python3
"""Times qarn -F fzn on MiniZinc-compiled models of growing size, beside
fzn-gecode (Debian package flatzinc) when it is installed.

  fzn_bench.py QARN [--timeout SECONDS] [--cores LIST]

The models are bench/fzn/*.fzn, compiled with `minizinc -c -G std` from
tests/e2e/flatzinc/models (queens, golomb) and bench/fzn/jobshop_ft06.mzn.
Queens asks for one solution, Golomb rulers and the job shop for the
optimum. Prints wall times in seconds and qarn's time over gecode's; a run
cut by the timeout shows ">T". With --cores the runs are pinned by taskset.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

INSTANCES = ["queens_8", "queens_16", "queens_32", "queens_64",
             "golomb_6", "golomb_7", "golomb_8", "golomb_9", "jobshop_ft06"]


def timed(command, timeout):
    """Wall time of a run and its last result line, or None on a timeout."""
    start = time.monotonic()
    try:
        run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "timeout"
    elapsed = time.monotonic() - start
    lines = [l for l in run.stdout.decode(errors="replace").splitlines()
             if l and not l.startswith("%")]
    objective = [l for l in lines if l.startswith(("mark", "makespan"))]
    status = lines[-1] if lines else "status %d" % run.returncode
    return elapsed, (objective[-1] if objective else "") + " " + status


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("qarn")
    ap.add_argument("--timeout", type=float, default=300)
    ap.add_argument("--cores", help="taskset core list, e.g. 0,1")
    o = ap.parse_args()
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fzn")
    gecode = shutil.which("fzn-gecode")
    pin = ["taskset", "-c", o.cores] if o.cores else []
    print("%-14s %10s %10s %8s  %s" % ("instance", "qarn", "gecode", "ratio", "qarn result"))
    for name in INSTANCES:
        path = os.path.join(folder, name + ".fzn")
        q, result = timed(pin + [o.qarn, "-F", "fzn", "-s", "1", "-D", path], o.timeout)
        g = None
        if gecode:
            g, _ = timed(pin + [gecode, path], o.timeout)
        show = lambda t: (">%g" % o.timeout) if t is None else "%.3f" % t
        ratio = "%.1f" % (q / g) if q is not None and g else "-"
        print("%-14s %10s %10s %8s  %s" % (name, show(q), show(g) if gecode else "n/a", ratio,
                                           result.strip()[:60]))
        sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
