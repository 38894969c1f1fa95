#!/usr/bin/env python3
"""Reading time and peak memory of the XCSP reader at growing sizes.

  xcsp_bench.py QARN [SCALE...]

For each scale s (default 0.25 0.5 1) generates (bench/xcsp_gen.py) an
instance of s * 10^5 variables and s * 10^6 tuples, runs qarn on it under
/usr/bin/time -v and prints: the time until qarn reports the constructed
model (the "c with N constraints" line: reading and building), the whole
run's time, the peak resident memory at the end of construction (read
from /proc when the line arrives) and of the whole run, and both per tuple.
qarn has no option that stops after reading.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def peak_of_child(pid):
    """The peak resident memory (KiB) of the process that `pid` runs."""
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            child = int(f.read().split()[0])
        with open("/proc/%d/status" % child) as f:
            return int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1))
    except (OSError, IndexError, AttributeError):
        return None


def measure(qarn, path):
    start = time.monotonic()
    run = subprocess.Popen(["/usr/bin/time", "-v", qarn, "-s", "1", path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
    constructed = None
    constructed_kb = None
    status = None
    for line in run.stdout:
        if constructed is None and re.match(r"c with \d+ constraints", line):
            constructed = time.monotonic() - start
            constructed_kb = peak_of_child(run.pid)
        if line.startswith("s "):
            status = line.strip()
    err = run.stderr.read()
    run.wait()
    total = time.monotonic() - start
    peak_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", err).group(1))
    return constructed, constructed_kb, total, peak_kb, status


def main(argv):
    qarn = os.path.abspath(argv[0])
    scales = [float(s) for s in argv[1:]] or [0.25, 0.5, 1.0]
    print("%9s %9s %10s %7s %9s %7s %9s  %s" % ("variables", "tuples", "bytes", "read s",
                                               "read MiB", "run s", "run MiB", "status"))
    with tempfile.TemporaryDirectory() as directory:
        for scale in scales:
            variables, tuples = int(scale * 100000), int(scale * 1000000)
            path = os.path.join(directory, "bench.xml")
            with open(path, "w") as f:
                subprocess.run([sys.executable, os.path.join(HERE, "xcsp_gen.py"), str(variables),
                                str(tuples)], stdout=f, check=True)
            constructed, constructed_kb, total, peak_kb, status = measure(qarn, path)
            read_kb = constructed_kb or 0
            print("%9d %9d %10d %7.2f %9.1f %7.2f %9.1f  %s; per tuple: %.0f bytes read peak, "
                  "%.0f bytes run peak" % (
                      variables, tuples, os.path.getsize(path), constructed or -1,
                      read_kb / 1024.0, total, peak_kb / 1024.0, status,
                      read_kb * 1024.0 / tuples, peak_kb * 1024.0 / tuples))


if __name__ == "__main__":
    main(sys.argv[1:])
