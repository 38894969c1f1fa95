#!/usr/bin/env python3
"""Mutation fuzz of the C-like reader.

  fuzz_c_like.py QARN [COUNT] [--seed N]

Runs qarn -F c on COUNT mutants of the models in instances/ (truncations,
byte flips, inserted bytes, huge numbers, deep nesting) and on a few
fixed hostile inputs. Every run must end with status 0 or 1 within the
time limit, with no sanitizer report; inputs that are certainly wrong
(huge numbers, nesting too deep) must end with status 1 and the reader's
message. Fails on the first bad run and prints its input.
"""
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TIME_LIMIT = 60


def run(qarn, data):
    proc = subprocess.run([qarn, "-F", "c", "-s", "1", "-b", "10000"], input=data,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIME_LIMIT)
    return proc.returncode, proc.stdout.decode(errors="replace"), proc.stderr.decode(errors="replace")


def mutants(rng, seeds, count):
    hostile = [b"4294967296", b"99999999999999999999999999999999999999", b"0x1ffffffff",
               b"07777777777777", b"2147483648", b"-2147483649"]
    for _ in range(count):
        base = bytearray(rng.choice(seeds))
        kind = rng.randrange(6)
        at = rng.randrange(len(base) + 1)
        if kind == 0:
            yield "truncation", bytes(base[:at])
        elif kind == 1:
            for _ in range(rng.randint(1, 4)):
                i = rng.randrange(len(base))
                base[i] ^= 1 << rng.randrange(8)
            yield "byte flips", bytes(base)
        elif kind == 2:
            noise = bytes(rng.randrange(256) for _ in range(rng.randint(1, 8)))
            yield "inserted bytes", bytes(base[:at] + noise + base[at:])
        elif kind == 3:
            yield "huge number", bytes(base[:at]) + b" " + rng.choice(hostile) + b" " + bytes(base[at:])
        elif kind == 4:
            # A literal beyond the 32-bit range in a valid model.
            yield "huge literal", b"int {0:3} x;\nx + " + rng.choice(hostile) + b" == 0;\n"
        else:
            n = rng.choice([4001, 20000, 100000])
            opener = rng.choice([b"(", b"! ", b"- ", b"abs(", b"x ? ", b"max(x, "])
            if opener == b"(":
                n = max(n, 20000)  # parentheses alone add no level to the tree
            if opener == b"x ? ":
                body = opener * n + b"1" + b" : 0" * n
            else:
                closer = b")" * opener.count(b"(")
                body = opener * n + b"x" + closer * n
            yield "deep nesting", b"int {0:1} x;\n" + body + b" >= 0;\n"


def main(argv):
    qarn = argv[0]
    count = int(argv[1]) if len(argv) > 1 and not argv[1].startswith("--") else 200
    seed = int(argv[argv.index("--seed") + 1]) if "--seed" in argv else 1
    rng = random.Random(seed)
    folder = os.path.join(HERE, "instances")
    seeds = [open(os.path.join(folder, f), "rb").read() for f in sorted(os.listdir(folder))
             if f.endswith(".c") and os.path.getsize(os.path.join(folder, f)) < 2000
             and os.path.getsize(os.path.join(folder, f)) > 0]
    chained = b"int {0:1} x;\n" + b" + ".join([b"x"] * 50000) + b" >= 0;\n"
    fixed = [("empty", b""), ("long sum", chained), ("only a comment start", b"/*"),
             ("stars at the end", b"int x;\n/* ****"), ("NUL bytes", b"\0" * 100)]
    for number, (kind, data) in enumerate(fixed + list(mutants(rng, seeds, count))):
        try:
            status, out, err = run(qarn, data)
        except subprocess.TimeoutExpired:
            status, out, err = None, "", "timed out"
        bad = status not in (0, 1) or "Sanitizer" in err or "runtime error:" in err
        if kind in ("huge literal", "deep nesting", "long sum"):
            expected = {"huge literal": ("is bigger than any unsigned", "out of range"),
                        "deep nesting": ("nested too deeply",),
                        "long sum": ("nested too deeply",)}[kind]
            bad = bad or status != 1 or not any(e in err for e in expected)
        if bad:
            print("run %d (%s): status %s\n--- input\n%r\n--- stdout\n%s--- stderr\n%s"
                  % (number, kind, status, data[:2000], out[-2000:], err[-4000:]))
            return 1
    print("%d runs, all ended cleanly" % (len(fixed) + count))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
