#!/usr/bin/env python3
"""Reading time and peak memory of the XCSP reader at growing sizes.

  xcsp_bench.py QARN [SCALE...]

For each scale s (default 0.25 0.5 1) generates (bench/xcsp_gen.py) an
instance of s * 10^5 variables and s * 10^6 tuples, runs qarn on it under
/usr/bin/time -v and prints: the time until qarn reports the constructed
model (the "c with N constraints" line: reading and building), the whole
run's time, its peak resident memory, and the peak memory per tuple.
qarn has no option that stops after reading, so the peak covers the run.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(qarn, path):
    start = time.monotonic()
    run = subprocess.Popen(["/usr/bin/time", "-v", qarn, "-s", "1", path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
    constructed = None
    status = None
    for line in run.stdout:
        if constructed is None and re.match(r"c with \d+ constraints", line):
            constructed = time.monotonic() - start
        if line.startswith("s "):
            status = line.strip()
    err = run.stderr.read()
    run.wait()
    total = time.monotonic() - start
    peak_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", err).group(1))
    return constructed, total, peak_kb, status


def main(argv):
    qarn = os.path.abspath(argv[0])
    scales = [float(s) for s in argv[1:]] or [0.25, 0.5, 1.0]
    print("%10s %10s %12s %10s %12s %14s  %s" % ("variables", "tuples", "bytes", "read s",
                                                  "run s", "peak MiB", "status"))
    with tempfile.TemporaryDirectory() as directory:
        for scale in scales:
            variables, tuples = int(scale * 100000), int(scale * 1000000)
            path = os.path.join(directory, "bench.xml")
            with open(path, "w") as f:
                subprocess.run([sys.executable, os.path.join(HERE, "xcsp_gen.py"), str(variables),
                                str(tuples)], stdout=f, check=True)
            constructed, total, peak_kb, status = measure(qarn, path)
            print("%10d %10d %12d %10.2f %12.2f %14.1f  %s; %.0f bytes peak per tuple" % (
                variables, tuples, os.path.getsize(path), constructed or -1, total,
                peak_kb / 1024.0, status, peak_kb * 1024.0 / tuples))


if __name__ == "__main__":
    main(sys.argv[1:])
