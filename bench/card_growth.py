#!/usr/bin/env python3
"""Growth of time and memory with the size of one constraint: solves
`+1 x1 ... +1 xn >= n/2` (satisfiable without a backtrack) for each n and
prints CPU seconds and peak memory per solver.

  card_growth.py [--qarn PATH] [--solvers clasp,minisat+] [--timeout S] N ...

Peers that are not installed are skipped. A peak below about 15 MiB is the
forking Python process's own (the peak counts from the fork). Each run's answer must be
SATISFIABLE (or UNKNOWN at the time limit); anything else is reported.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def write_instance(path, n):
    with open(path, "w") as f:
        f.write("* #variable= %d #constraint= 1\n" % n)
        f.write(" ".join("+1 x%d" % i for i in range(1, n + 1)))
        f.write(" >= %d ;\n" % (n // 2))


def run(command, timeout):
    """(answer line, cpu seconds, peak KiB) of one run; killed at the timeout."""
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    timer = threading.Timer(timeout, proc.kill)
    timer.start()
    out = proc.stdout.read()
    proc.stdout.close()
    _, _, usage = os.wait4(proc.pid, 0)
    timer.cancel()
    answer = "UNKNOWN"
    for line in out.decode(errors="replace").splitlines():
        if line.startswith("s "):
            answer = line[2:].strip()
    return answer, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("sizes", nargs="+", type=int)
    parser.add_argument("--qarn", default=os.path.join(ROOT, "build", "qarn"))
    parser.add_argument("--solvers", default="clasp,minisat+")
    parser.add_argument("--timeout", type=float, default=60.0)
    args = parser.parse_args()

    solvers = [("qarn", [args.qarn, "-F", "opb", "-s", "1"])]
    for name in filter(None, args.solvers.split(",")):
        path = shutil.which(name)
        if path:
            solvers.append((name, [path]))

    failures = 0
    print("%8s %-10s %-14s %10s %12s" % ("n", "solver", "answer", "cpu s", "peak MiB"))
    with tempfile.TemporaryDirectory() as tmp:
        for n in args.sizes:
            path = os.path.join(tmp, "card-%d.opb" % n)
            write_instance(path, n)
            for name, command in solvers:
                answer, cpu, peak = run(command + [path], args.timeout)
                if answer not in ("SATISFIABLE", "UNKNOWN"):
                    failures += 1
                print("%8d %-10s %-14s %10.2f %12.1f" % (n, name, answer, cpu, peak / 1024.0))
                sys.stdout.flush()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
