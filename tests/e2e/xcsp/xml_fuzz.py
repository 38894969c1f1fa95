#!/usr/bin/env python3
"""Mutation fuzz of the XCSP reader.

  xml_fuzz.py QARN COUNT [--seed N]

Mutates the valid instances of instances/ (truncation, corrupted tags and
attributes, huge and malformed numbers, deep nesting, random bytes) and runs
qarn on each. Every run must end with status 0 or 1 within the time limit,
with no sanitizer report; status 1 needs the error message of the run and no
"s" line; status 0 an "s" line, and a solution or an unsatisfiability answer
is checked against the mutated instance (check_xcsp.py). Only the checker's
report that Python's XML parser refuses the mutant excuses an answer from
the check; any other failure of the checker fails the run. Most mutants are
refused by qarn: with seed 1, 17 of the 200 are answered and reach the
checker, which checks all 17 (the run prints these figures). Tokens cut by
character references (which libxml2 delivers as separate text pieces) must
not change the output at all.
"""
import os
import random
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BASES = ["queens4.xml", "tables.xml", "weighted.xml", "minimize.xml", "diff_support.xml",
         "conflict_diff.xml", "pigeons.xml"]


def truncate(rng, text):
    return text[:rng.randrange(len(text))]


def corrupt_tag(rng, text):
    tags = [m.start() + 1 for m in re.finditer(r"</?[a-z]", text)]
    at = rng.choice(tags)
    return text[:at] + rng.choice(["x", "", "instance", "list", "i", "relation"]) + text[at + 1:]


def corrupt_attribute(rng, text):
    values = list(re.finditer(r'="([^"]*)"', text))
    m = rng.choice(values)
    new = rng.choice(["", "5x", "-1", "0", "99999999999", "2147483647", "-2147483648", "X",
                      m.group(1) + m.group(1), "global:cumulative", "soft", "D"])
    return text[:m.start(1)] + new + text[m.end(1):]


def huge_number(rng, text):
    numbers = list(re.finditer(r"(?<![\w.])-?\d+(?![\w])", text))
    m = rng.choice(numbers)
    new = rng.choice(["4294967296", "2147483648", "-2147483649", "99999999999999999999",
                      "2147483647", "-2147483648", "1x", "-", "+"])
    return text[:m.start()] + new + text[m.end():]


def deep_nesting(rng, text):
    depth = rng.choice([10, 999, 1001, 5000])
    if "<parameters>" in text and rng.random() < 0.5:
        return text.replace("<parameters>", "<parameters>" + "[ " * depth, 1).replace(
            "</parameters>", " ]" * depth + "</parameters>", 1)
    return text.replace("<instance>", "<instance>" + "<list>" * depth, 1).replace(
        "</instance>", "</list>" * depth + "</instance>", 1)


def random_bytes(rng, text):
    data = bytearray(text.encode())
    for _ in range(rng.randint(1, 4)):
        data[rng.randrange(len(data))] = rng.randrange(256)
    return bytes(data)


def split_tokens(text):
    """Every digit of element text written as a character reference."""
    def digits(m):
        return re.sub(r"\d", lambda d: "&#%d;" % ord(d.group()), m.group())
    return re.sub(r">[^<]+<", digits, text)


OUTCOMES = {}
# The answers given to the checker: checked, or not read by its XML parser.
CHECKER = {"checked": 0, "not well-formed": 0}
MUTATIONS = [truncate, corrupt_tag, corrupt_attribute, huge_number, deep_nesting, random_bytes]


def run(qarn, path, directory):
    return subprocess.run([qarn, "-s", "1", path], cwd=directory, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)


def check(qarn, data, directory, name):
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    try:
        result = run(qarn, path, directory)
    except subprocess.TimeoutExpired:
        return "no answer within the time limit"
    out = result.stdout.decode(errors="replace")
    err = result.stderr.decode(errors="replace")
    if "Sanitizer" in err or "runtime error" in err:
        return "sanitizer report:\n" + err
    if result.returncode not in (0, 1):
        return "exit status %d" % result.returncode
    status = re.findall(r"(?m)^s .*$", out)
    OUTCOMES[str(result.returncode) + (" " + status[-1] if status else "")] = \
        OUTCOMES.get(str(result.returncode) + (" " + status[-1] if status else ""), 0) + 1
    if result.returncode == 1:
        if status:
            return "status 1 after an answer: %s" % status
        if "Exception(" not in out and not err.strip():
            return "status 1 without a message"
        return None
    if not status:
        return "status 0 without an answer"
    if status[-1] in ("s SATISFIABLE", "s UNSATISFIABLE", "s OPTIMUM FOUND"):
        optimum = re.findall(r"(?m)^o (-?\d+)$", out)
        args = ["--optimum", optimum[-1]] if status[-1] == "s OPTIMUM FOUND" else []
        segment = os.path.join(directory, "out.txt")
        with open(segment, "w") as f:
            f.write(out)
        checked = subprocess.run([sys.executable, os.path.join(HERE, "check_xcsp.py"), path,
                                  segment] + args, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
        return checker_verdict(checked.returncode, checked.stdout.decode(errors="replace"),
                               checked.stderr.decode(errors="replace"))
    return None


def checker_verdict(returncode, out, err):
    """None when check_xcsp.py accepts qarn's answer or when Python's XML
    parser refuses the mutant (its exit status 2 and message: the answer
    cannot be checked); otherwise the failure. A checker that fails in any
    other way, a Python exception say, has not checked the answer."""
    if returncode == 0 and not err:
        CHECKER["checked"] += 1
        return None
    if returncode == 2 and re.fullmatch(r"checker: not well-formed XML: [^\n]*\n", out) \
            and not err:
        CHECKER["not well-formed"] += 1
        return None
    return "answer rejected by the checker (status %d):\n%s%s" % (returncode, out, err)


def main(argv):
    qarn, count = os.path.abspath(argv[0]), int(argv[1])
    seed = int(argv[3]) if len(argv) > 3 and argv[2] == "--seed" else 1
    rng = random.Random(seed)
    failures = 0
    with tempfile.TemporaryDirectory() as directory:
        for base in BASES:
            text = open(os.path.join(HERE, "instances", base)).read()
            reference = run(qarn, os.path.join(HERE, "instances", base), directory).stdout
            path = os.path.join(directory, base)
            with open(path, "w") as f:
                f.write(split_tokens(text))
            split = run(qarn, path, directory).stdout

            def masked(out, name):
                out = out.replace(name.encode(), b"")
                return re.sub(rb"(=== iteration time ).*", rb"\1", out)
            if masked(split, path) != masked(reference, os.path.join(HERE, "instances", base)):
                failures += 1
                print("%s: tokens cut by character references change the output" % base)
        for i in range(count):
            base = rng.choice(BASES)
            mutation = rng.choice(MUTATIONS)
            text = open(os.path.join(HERE, "instances", base)).read()
            data = mutation(rng, text)
            problem = check(qarn, data, directory, "m%d.xml" % i)
            if problem:
                failures += 1
                kept = os.path.join(tempfile.gettempdir(), "xcsp_fuzz_failure_%d.xml" % i)
                with open(kept, "wb") as f:
                    f.write(data if isinstance(data, bytes) else data.encode())
                print("mutation %d (%s of %s, kept as %s): %s" % (i, mutation.__name__, base,
                                                                   kept, problem))
    print("outcomes (status and answer):", ", ".join(
        "%s: %d" % (k, v) for k, v in sorted(OUTCOMES.items())))
    print("%d answers given to the checker: %d checked, %d in mutants its XML parser refuses"
          % (sum(CHECKER.values()), CHECKER["checked"], CHECKER["not well-formed"]))
    print("%d mutations, %d failures" % (count, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
