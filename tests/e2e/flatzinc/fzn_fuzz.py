#!/usr/bin/env python3
"""Mutation fuzz of the FlatZinc reader.

  fzn_fuzz.py QARN COUNT [--seed S]

Mutates the instances of instances/ (truncation, byte flips, deleted and
repeated spans, spliced huge numbers, deep nesting) and runs qarn -F fzn on
each mutant with a small backtrack limit. Every run must end by itself with
status 0 (the mutant was still a model) or 1 with the parse failure
reported, never with a signal, a sanitizer report or a hang.
"""
import argparse
import os
import random
import subprocess
import sys

HUGE = [b"4294967296", b"99999999999999999999999999", b"0x100000000", b"-2147483649",
        b"2147483648", b"0000000000000000000000000000010", b"1e99999", b"9.9e308",
        b"123456789012345678901234567890.5", b"-0", b"0x"]
PIECES = [b"[", b"]", b"(", b")", b"{", b"}", b"::", b"..", b";", b",", b"%", b"\n", b"\x00",
          b"\xff", b"defines_var", b"var", b"array", b"constraint", b"solve", b"output_array",
          b"is_defined_var", b"var_is_introduced", b"set of", b"-", b":"]


def mutate(data, rng):
    data = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        kind = rng.randrange(7)
        at = rng.randrange(len(data) + 1) if data else 0
        if kind == 0:
            del data[at:]
        elif kind == 1 and data:
            data[rng.randrange(len(data))] = rng.randrange(256)
        elif kind == 2:
            data[at:at] = rng.choice(HUGE)
        elif kind == 3:
            data[at:at] = rng.choice(PIECES)
        elif kind == 4 and data:
            end = min(len(data), at + rng.randint(1, 40))
            del data[at:end]
        elif kind == 5 and data:
            end = min(len(data), at + rng.randint(1, 200))
            data[at:at] = data[at:end] * rng.randint(1, 30)
        elif kind == 6:
            depth = rng.choice([10, 1000, 100000])
            data[at:at] = rng.choice([b"a(" * depth, b"[" * depth, b"-" * depth])
    return bytes(data)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("qarn")
    ap.add_argument("count", type=int)
    ap.add_argument("--seed", type=int, default=23)
    o = ap.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    folder = os.path.join(here, "instances")
    corpus = [open(os.path.join(folder, f), "rb").read()
              for f in sorted(os.listdir(folder)) if f.endswith(".fzn")]
    rng = random.Random(o.seed)
    failures = 0
    for k in range(o.count):
        mutant = mutate(rng.choice(corpus), rng)
        try:
            run = subprocess.run([o.qarn, "-F", "fzn", "-s", "1", "-b", "200"], input=mutant,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        except subprocess.TimeoutExpired:
            failures += 1
            print("mutant %d hangs" % k)
            open("fzn_fuzz_failure_%d.fzn" % k, "wb").write(mutant)
            continue
        err = run.stderr.decode(errors="replace")
        out = run.stdout.decode(errors="replace")
        bad = None
        if run.returncode not in (0, 1):
            bad = "status %d" % run.returncode
        elif "Sanitizer" in err or "runtime error" in err:
            bad = "sanitizer report"
        elif run.returncode == 1 and "Parsing failed" not in out:
            bad = "status 1 without a parse failure"
        if bad:
            failures += 1
            print("mutant %d: %s\n%s%s" % (k, bad, out[-2000:], err[-2000:]))
            open("fzn_fuzz_failure_%d.fzn" % k, "wb").write(mutant)
    print("%d mutants, %d failures" % (o.count, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
