#!/usr/bin/env python3
"""Solves random small OPB instances with qarn and compares the answers with
brute force.

  opb_differential.py QARN [COUNT] [SEED] [--shard I/N]
                                             (1500 instances by default)

The instances name variables several times in one sum (also in the
objective), mix negated literals and products of literals, and use all five
relations. Each is solved twice (with and without -m); the status, the
optimum and every printed solution are checked by check_opb.py's brute
force. Prints the first failing instance and exits 1 on a disagreement.
With --shard I/N only the instances numbered I modulo N are solved (all are
generated, so the N shards together solve the same instances as one run).
"""
import os
import random
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


def random_instance(rng):
    names = ["x%d" % i for i in range(1, rng.randint(4, 9) + 1)]
    lines = []
    if rng.random() < 0.8:
        sense = rng.choice(("min", "max"))
        objective = random_sum(rng, names, rng.randint(3, 6), (1, 2, 3))
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
    return problems, run.stdout


def main(argv):
    shard, shards = 0, 1
    if "--shard" in argv:
        at = argv.index("--shard")
        shard, shards = map(int, argv[at + 1].split("/"))
        argv = argv[:at] + argv[at + 2:]
    qarn = os.path.abspath(argv[0])
    count = int(argv[1]) if len(argv) > 1 else 1500
    seed = int(argv[2]) if len(argv) > 2 else 20261210
    rng = random.Random(seed)
    answers = {}
    with tempfile.TemporaryDirectory() as workdir:
        for i in range(count):
            text = random_instance(rng)
            if i % shards != shard:
                continue
            for options in ([], ["-m"]):
                problems, stdout = check(qarn, text, options, workdir)
                if problems:
                    print("instance %d, options %s:\n%s" % (i, options, text))
                    print("\n".join(problems))
                    print(stdout)
                    return 1
            status = [l for l in stdout.splitlines() if l.startswith("s ")][-1]
            answers[status] = answers.get(status, 0) + 1
    print("%d instances agree with brute force: %s" % (sum(answers.values()), answers))
    # The mix must exercise every kind of answer.
    return 0 if len(answers) == 3 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
