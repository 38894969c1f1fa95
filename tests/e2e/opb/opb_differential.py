#!/usr/bin/env python3
"""Solves random small OPB instances with qarn and compares the answers with
brute force; with --small, also with qarn-small, which must answer alike.

  opb_differential.py QARN [COUNT] [SEED] [--shard I/N] [--small QARN_SMALL]
                                             (1500 instances by default)

The instances name variables several times in one sum (also in the
objective), mix negated literals and products of literals, and use all five
relations. Each is solved twice (with and without -m); the status, the
optimum and every printed solution are checked by check_opb.py's brute
force. Prints the first failing instance and exits 1 on a disagreement.
With --shard I/N only the instances numbered I modulo N are solved (all are
generated, so the N shards together solve the same instances as one run).

With --small the objectives mostly maximise sums of non-negative
coefficients, so that most instances fit in qarn-small's values 0..31, and
every run is repeated with qarn-small. Its output must be qarn's, line for
line, or, for an instance that does not fit, the set's out-of-range
message with status 1. An instance whose every sum (objective and
constraints, coefficients taken by absolute value) stays within 31 and that
minimises nothing fits and must be answered.
"""
import os
import random
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_opb  # noqa: E402


def random_term(rng, names):
    literals = []
    for _ in range(rng.choice((1, 1, 1, 2, 3))):
        name = rng.choice(names)
        literals.append(("~" if rng.random() < 0.3 else "") + name)
    coefficient = rng.randint(-6, 6)
    return "%+d %s" % (coefficient, " ".join(literals))


def random_sum(rng, names, size, repeats=(0, 1, 1, 2)):
    terms = [random_term(rng, names) for _ in range(size)]
    # Repeat a term as written (the same product with the same coefficient
    # has one variable) or with another coefficient.
    for _ in range(rng.choice(repeats)):
        copied = rng.choice(terms)
        if rng.random() < 0.3:
            copied = "%+d %s" % (rng.randint(-4, 4), copied.split(" ", 1)[1])
        terms.insert(rng.randrange(len(terms) + 1), copied)
    return " ".join(terms)


def random_instance(rng, small=False):
    names = ["x%d" % i for i in range(1, rng.randint(4, 9) + 1)]
    lines = []
    if rng.random() < 0.8:
        sense = rng.choice(("min", "max"))
        objective = random_sum(rng, names, rng.randint(3, 6), (1, 2, 3))
        if small and rng.random() < 0.8:
            # Maximised, coefficients made non-negative.
            sense, objective = "max", objective.replace("-", "+")
        lines.append("%s: %s ;" % (sense, objective))
    for _ in range(rng.randint(1, 3)):
        relation = rng.choice((">=", ">=", "<=", "=", "<", ">"))
        lines.append("%s %s %d ;" % (random_sum(rng, names, rng.randint(1, 4)), relation,
                                     rng.randint(-4, 2)))
    return "\n".join(lines) + "\n"


def expected_status(objective, count):
    if count == 0:
        return "s UNSATISFIABLE"
    return "s OPTIMUM FOUND" if objective else "s SATISFIABLE"


def check(qarn, text, options, workdir):
    instance = os.path.join(workdir, "instance.opb")
    output = os.path.join(workdir, "output.txt")
    with open(instance, "w") as f:
        f.write(text)
    run = subprocess.run([qarn, "-F", "opb", "-s", "1"] + options + [instance],
                         capture_output=True, text=True, timeout=60)
    with open(output, "w") as f:
        f.write(run.stdout)
    objective, constraints, names = check_opb.parse_opb(text)
    count, best = check_opb.brute_force(objective, constraints, names)
    problems = []
    if run.returncode != 0 or run.stderr:
        problems.append("exit status %d, stderr %r" % (run.returncode, run.stderr))
    status = [l for l in run.stdout.splitlines() if l.startswith("s ")]
    wanted = expected_status(objective, count)
    if not status or status[-1] != wanted:
        problems.append("status %s, expected %s" % (status, wanted))
    arguments = [instance, output]
    if objective and count:
        arguments += ["--optimum", str(best)]
    if check_opb.main(arguments) != 0:
        problems.append("check_opb rejects the output")
    return problems, run


def fits_small(text):
    """Whether every value the translation of the instance makes lies in
    0..31: no minimisation, a maximised objective of non-negative
    coefficients, and each sum's coefficients adding up to at most 31 by
    absolute value (the range of its normal form and partial sums)."""
    objective, constraints, _ = check_opb.parse_opb(text)
    sums = [terms for terms, _, _ in constraints]
    if objective:
        sense, terms = objective
        if sense == "min" or any(c < 0 for c, _ in terms):
            return False
        sums.append(terms)
    return all(sum(abs(c) for c, _ in terms) <= 31 for terms in sums)


def masked(text):
    return re.sub(r"(?m)^(c === iteration time ).*$", r"\1<time>", text)


def check_small(qarn_small, text, options, workdir, reference):
    """Problems of qarn-small's run on the instance beside qarn's run
    (reference); whether it answered."""
    instance = os.path.join(workdir, "instance.opb")
    run = subprocess.run([qarn_small, "-F", "opb", "-s", "1"] + options + [instance],
                         capture_output=True, text=True, timeout=60)
    if run.returncode == reference.returncode and \
            masked(run.stdout) == masked(reference.stdout) and run.stderr == reference.stderr:
        return [], True
    out_of_range = re.fullmatch(r"c Constructing \S+ c Seed is 1\nException\(St12out_of_range\):\n"
                                r"small_iset out of range while inserting [^\n]*\n", run.stdout)
    if out_of_range and run.returncode == 1 and not run.stderr and not fits_small(text):
        return [], False
    return ["qarn-small: exit status %d, stderr %r, output:\n%s" % (
        run.returncode, run.stderr, run.stdout)], True


def main(argv):
    shard, shards = 0, 1
    if "--shard" in argv:
        at = argv.index("--shard")
        shard, shards = map(int, argv[at + 1].split("/"))
        argv = argv[:at] + argv[at + 2:]
    qarn_small = None
    if "--small" in argv:
        at = argv.index("--small")
        qarn_small = os.path.abspath(argv[at + 1])
        argv = argv[:at] + argv[at + 2:]
    qarn = os.path.abspath(argv[0])
    count = int(argv[1]) if len(argv) > 1 else 1500
    seed = int(argv[2]) if len(argv) > 2 else 20261210
    rng = random.Random(seed)
    answers = {}
    small_answers = {True: 0, False: 0}
    with tempfile.TemporaryDirectory() as workdir:
        for i in range(count):
            text = random_instance(rng, qarn_small is not None)
            if i % shards != shard:
                continue
            for options in ([], ["-m"]):
                problems, run = check(qarn, text, options, workdir)
                if qarn_small and not problems:
                    problems, answered = check_small(qarn_small, text, options, workdir, run)
                    small_answers[answered] += 1
                if problems:
                    print("instance %d, options %s:\n%s" % (i, options, text))
                    print("\n".join(problems))
                    print(run.stdout)
                    return 1
            status = [l for l in run.stdout.splitlines() if l.startswith("s ")][-1]
            answers[status] = answers.get(status, 0) + 1
    print("%d instances agree with brute force: %s" % (sum(answers.values()), answers))
    if qarn_small:
        print("qarn-small: %d runs answered alike, %d out of range" % (
            small_answers[True], small_answers[False]))
    # The mix must exercise every kind of answer, and qarn-small both ways.
    return 0 if len(answers) == 3 and (not qarn_small or all(small_answers.values())) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
