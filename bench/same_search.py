#!/usr/bin/env python3
"""Checks that two builds of qarn search the same way: with a fixed seed each
run must give the same answer, solution, objective values, decisions,
backtracks, restarts and resolution counts; only times may differ.

  same_search.py [--backtracks N] [--timeout SECONDS] [--bench]
                 BASE_BUILD NEW_BUILD DIR_OR_OPB ...

BASE_BUILD and NEW_BUILD are build directories (holding qarn and, for
--bench, bench/qarn_sat_bench and bench/qarn_erasure_bench). Every .opb file
given or found in a given directory is solved by both with `-s 1` and, when
--backtracks is not 0, `-b N` (a limit per search, so that hard instances end
deterministically). The whole output is compared after the lines and columns
that report times are dropped. --bench also compares the search counts of the
solver-API benchmarks (random 3-SAT and the pigeonhole erasure run).
A run that exceeds the wall-clock timeout is reported and counts as a failure.
The suite: ../shared/bench/opb/gen.py suite DIR [SCALE].
"""
import argparse
import concurrent.futures
import os
import re
import subprocess
import sys
import time

# Lines whose only varying content is a duration.
TIME_LINE = re.compile(r"^c === iteration time ")


def run(command, timeout):
    """(normalised output, wall seconds); output None on timeout."""
    start = time.monotonic()
    try:
        proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, time.monotonic() - start
    text = proc.stdout.decode(errors="replace")
    lines = [l for l in text.splitlines() if not TIME_LINE.match(l)]
    lines.append("exit %d" % proc.returncode)
    return lines, time.monotonic() - start


def sat_bench_counts(lines):
    """The 3-SAT benchmark's table without its cpu time column and total time."""
    out = []
    for l in lines:
        if l.startswith("total:"):
            l = re.sub(r", cpu time .*$", "", l)
        elif re.match(r"^n\d+-\d+ ", l):
            l = " ".join(l.split()[:-1])
        out.append(l)
    return out


def erasure_counts(lines):
    """The erasure benchmark's lines without seconds and seconds per backtrack."""
    return [re.sub(r": [0-9.]+ s, [0-9.]+ us per backtrack,", ":", l) for l in lines]


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "line %d: %r vs %r" % (i + 1, x, y)
    return "lengths %d vs %d" % (len(a), len(b))


def compare(name, commands, timeout, normalise=lambda lines: lines):
    """Runs both commands side by side; (ok, report line)."""
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        base, new = pool.map(lambda c: run(c, timeout), commands)
    times = "%7.2f s %7.2f s" % (base[1], new[1])
    if base[0] is None or new[0] is None:
        return False, "%-34s %s  TIMEOUT (%s)" % (
            name, times, "base" if base[0] is None else "new")
    a, b = normalise(base[0]), normalise(new[0])
    if a != b:
        return False, "%-34s %s  DIFFERENT at %s" % (name, times, first_difference(a, b))
    summary = next((l for l in a if re.search(r"\d+ backtracks", l)), "")
    return True, "%-34s %s  same   %s" % (name, times, summary.strip())


def opb_files(paths):
    files = []
    for p in paths:
        if os.path.isdir(p):
            files += sorted(os.path.join(p, f) for f in os.listdir(p) if f.endswith(".opb"))
        else:
            files.append(p)
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("base")
    parser.add_argument("new")
    parser.add_argument("paths", nargs="*")
    parser.add_argument("--backtracks", type=int, default=5000,
                        help="backtrack limit per search (0: none)")
    parser.add_argument("--timeout", type=float, default=120.0)
    parser.add_argument("--bench", action="store_true",
                        help="also compare the solver-API benchmarks")
    args = parser.parse_args()

    failures = 0
    print("%-34s %9s %9s" % ("instance", "base", "new"))
    for f in opb_files(args.paths):
        limit = ["-b", str(args.backtracks)] if args.backtracks else []
        commands = [[os.path.join(d, "qarn"), "-F", "opb", "-s", "1"] + limit + [f]
                    for d in (args.base, args.new)]
        ok, line = compare(os.path.basename(f), commands, args.timeout)
        failures += not ok
        print(line, flush=True)
    if args.bench:
        benches = [("qarn_sat_bench", ["-n", "3", "150", "175"], sat_bench_counts),
                   ("qarn_erasure_bench", ["10", "2000", "20000"], erasure_counts)]
        for program, arguments, normalise in benches:
            commands = [[os.path.join(d, "bench", program)] + arguments
                        for d in (args.base, args.new)]
            ok, line = compare(program, commands, args.timeout, normalise)
            failures += not ok
            print(line, flush=True)
    print("%d difference(s) or timeout(s)" % failures if failures else "all the same")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
