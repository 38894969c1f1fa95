#!/usr/bin/env python3
"""Proofs of unsatisfiable instances of every format, checked apart from the program.

  proof_suite.py QARN [--small QARN_SMALL]

Each instance of the table below is solved with -p (with and without -m,
under two seeds, and for the larger ones with eager restarts and erasure);
the answer must be the known one, and check_proof.py must accept the printed
proof. The same run with -V must end with status 0 and print no check
message. Every accepted proof is then corrupted in several ways (a wrong
resolvent, a clause number that is neither a model constraint nor derived,
a step moved before the derivation of the clause it uses, an initial domain
that keeps a value of the clause, an explanation of a constraint that is not
in the model), and check_proof.py must reject every corruption. (-V checks
the program's own record, not printed text: its rejection of corrupted
records is tested by the unit tests.)

Instances whose unsatisfiability no recorded proof shows (a domain emptied
while the model is built, the last round of an optimisation) must say so in
one comment line, and with -V add that nothing was validated. The outputs
that older builds printed for the issue's instances (a refutation citing a
learned constraint of an earlier round, a step stating an empty domain,
a proof glued to "% Solving ") are kept in rejected/ and must be rejected.

With --small, the instances marked small are also solved by qarn-small and
its proofs checked over 0..31.
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_proof  # noqa: E402

UNSAT = "unsat"
OPTIMUM = "optimum"

# (format, path relative to tests/e2e, known answer, a proof is printed,
#  larger instance (also run with eager restarts and erasure), qarn-small
#  can read it, --declared options for the checker)
OPB_DECLARED = [(r"x\d+", "0:1")]
CASES = [
    ("opb", "opb/instances/php.opb", UNSAT, True, False, True, []),
    ("opb", "proofs/instances/php_5_4.opb", UNSAT, True, True, True, []),
    ("opb", "proofs/instances/knapsack_unsat.opb", UNSAT, True, False, True, OPB_DECLARED),
    ("opb", "proofs/instances/unsat_objective.opb", UNSAT, True, False, False, OPB_DECLARED),
    ("opb", "proofs/instances/optimum.opb", OPTIMUM, False, False, False, []),
    ("opb", "proofs/instances/emptied.opb", UNSAT, False, False, False, []),
    ("xcsp", "xcsp/instances/pigeons.xml", UNSAT, True, False, True, []),
    ("xcsp", "proofs/instances/pigeons_relation.xml", UNSAT, True, True, True, []),
    ("xcsp", "proofs/instances/sums.xml", UNSAT, True, False, True, []),
    ("c", "c_like/instances/unsat.c", UNSAT, True, False, True, []),
    ("c", "proofs/instances/pigeons.c", UNSAT, True, True, True, []),
    ("c", "proofs/instances/arith.c", UNSAT, True, False, True, []),
    ("c", "proofs/instances/emptied.c", UNSAT, False, False, True, []),
    ("fzn", "flatzinc/instances/unsat.fzn", UNSAT, True, False, True, []),
    ("fzn", "proofs/instances/pigeons.fzn", UNSAT, True, True, True, []),
    ("fzn", "proofs/instances/sums.fzn", UNSAT, True, False, True, []),
    ("fzn", "flatzinc/instances/element_falsified.fzn", UNSAT, False, False, True, []),
]

NO_PROOF = {
    "proofs/instances/optimum.opb": "the optimisation loop records none",
    "proofs/instances/emptied.opb": "a domain was emptied while the model was built",
    "proofs/instances/emptied.c": "a domain was emptied while the model was built",
    "flatzinc/instances/element_falsified.fzn": "a domain was emptied while the model was built",
}

REJECTED = {
    "optimum.out": "clause [8] is neither a model constraint nor derived earlier",
    "emptied_opb.out": "initial domain of x1 is empty",
    "emptied_c.out": "initial domain of x is empty",
    "unsat_fzn_glued.out": "the proof starts on the \"Solving \" line",
}

failures = []
mutants_rejected = {}


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def answer_of(fmt, out):
    if fmt == "fzn":
        if "=====UNSATISFIABLE=====" in out:
            return UNSAT
        return OPTIMUM if "\n==========\n" in out else None
    if "\ns UNSATISFIABLE\n" in out:
        return UNSAT
    return OPTIMUM if "\ns OPTIMUM FOUND\n" in out else None


def run(program, fmt, path, args):
    cmd = [program, "-F", fmt] + args + [path]
    p = subprocess.run(cmd, cwd=os.path.dirname(HERE), capture_output=True, text=True,
                       timeout=120)
    return " ".join(cmd[1:]), p.returncode, p.stdout + p.stderr


def mutants(out):
    """(kind, corrupted output) pairs of one accepted proof."""
    lines = out.split("\n")
    model = int(re.search(r"^[c%]+ with (\d+) constraints$", out, re.M).group(1))
    steps = [i for i, l in enumerate(lines) if check_proof.RESOLVE.match(l)]
    initials = [i for i, l in enumerate(lines) if check_proof.INITIAL.match(l)]
    explanations = [i for i, l in enumerate(lines)
                    if l.startswith(("constraint[", "rule ")) and "constraint[" in l]
    result = []
    if steps:
        # A literal dropped from (or added to) the resolvent of a step.
        i = steps[0] + 1
        m = check_proof.CONSEQUENT.match(lines[i])
        body = m.group(2)[1:-1]
        literals = body.split(", ") if body else []
        literals = literals[:-1] if literals else ["zz_extra=1"]
        result.append(("wrong resolvent", lines[:i] + ["consequent: [%s] [%s]" % (
            m.group(1), ", ".join(literals))] + lines[i + 1:]))
        # An operand numbered as no model constraint and no derived clause.
        m = check_proof.RESOLVE.match(lines[steps[-1]])
        changed = lines[steps[-1]].replace(" with [%s] " % m.group(4),
                                           " with [%d] " % (model + 1000), 1)
        result.append(("unknown clause", lines[:steps[-1]] + [changed] + lines[steps[-1] + 1:]))
    if initials or steps:
        # The last step (it uses a clause derived before it) moved first.
        last = (initials or steps)[-1]
        first = next(i for i, l in enumerate(lines) if l.startswith(check_proof.PROOF_START))
        if last != first:
            block = lines[last:last + 2] + [""]
            rest = lines[:last] + lines[last + 3:]
            result.append(("step before its operand", rest[:first] + block + rest[first:]))
    if initials:
        # An initial domain that keeps every value.
        i = initials[0]
        v = check_proof.INITIAL.match(lines[i]).group(1)
        changed = re.sub(r" with initial domain \(.*\)$",
                         " with initial domain (%s:{-2147483648:2147483647})" % v, lines[i])
        result.append(("domain meets the clause", lines[:i] + [changed] + lines[i + 1:]))
    if explanations:
        i = explanations[0]
        changed = re.sub(r"constraint\[\d+\]", "constraint[%d]" % (model + 5), lines[i], count=1)
        result.append(("explanation of no model constraint",
                       lines[:i] + [changed] + lines[i + 1:]))
    return [(kind, "\n".join(m)) for kind, m in result]


def check_case(program, small, fmt, path, answer, proof, larger, declared):
    prefix = "%" if fmt == "fzn" else "c"
    option_sets = [["-s", "1"], ["-s", "1", "-m"], ["-s", "2"], ["-s", "2", "-m"]]
    if larger:
        option_sets.append(["-s", "3", "-r", "2", "-E", "2", "-C", "1"])
        option_sets.append(["-s", "3", "-m", "-r", "2", "-E", "2", "-C", "1"])
    for options in option_sets:
        cmd, status, out = run(program, fmt, path, options + ["-p", "-G"])
        if status != 0 or answer_of(fmt, out) != answer:
            fail("%s: status %d, answer %s, not %s" % (cmd, status, answer_of(fmt, out), answer))
            continue
        if not proof:
            line = "%s no proof: %s\n" % (prefix, NO_PROOF[path])
            if out.count(line) != 1 or any(l.startswith(check_proof.PROOF_START)
                                           for l in out.split("\n")):
                fail("%s: expected only the line %r, no proof" % (cmd, line))
            cmd, status, out = run(program, fmt, path, options + ["-V", "-G"])
            line = "%s no proof: %s; nothing was validated\n" % (prefix, NO_PROOF[path])
            if status != 0 or out.count(line) != 1:
                fail("%s: status %d, expected the line %r" % (cmd, status, line))
            continue
        faults = check_proof.check(out, small, declared)
        if faults:
            fail("%s: proof rejected: %s" % (cmd, "; ".join(faults)))
            continue
        for kind, corrupted in mutants(out):
            if check_proof.check(corrupted, small, declared):
                mutants_rejected[kind] = mutants_rejected.get(kind, 0) + 1
            else:
                fail("%s: corrupted proof (%s) accepted" % (cmd, kind))
        cmd, status, out = run(program, fmt, path, options + ["-V", "-G"])
        if status != 0 or answer_of(fmt, out) != answer or re.search(
                r"^(clause\[|Resolution|Initial domain|No step|resolve\[)", out, re.M):
            fail("%s: -V failed (status %d):\n%s" % (cmd, status, out))


def main(argv):
    if len(argv) not in (1, 3) or (len(argv) == 3 and argv[1] != "--small"):
        print("usage: proof_suite.py QARN [--small QARN_SMALL]")
        return 2
    programs = [(os.path.abspath(argv[0]), False)]
    if len(argv) == 3:
        programs.append((os.path.abspath(argv[2]), True))
    for program, small in programs:
        for fmt, path, answer, proof, larger, small_ok, declared in CASES:
            if small and not small_ok:
                continue
            check_case(program, small, fmt, path, answer, proof, larger, declared)
    for name, expected in REJECTED.items():
        with open(os.path.join(HERE, "rejected", name)) as f:
            faults = check_proof.check(f.read())
        if expected not in faults:
            fail("rejected/%s: expected the fault %r, got %r" % (name, expected, faults))
    kinds = ["wrong resolvent", "unknown clause", "step before its operand",
             "domain meets the clause", "explanation of no model constraint"]
    for kind in kinds:
        if mutants_rejected.get(kind, 0) < 3:
            fail("too few corrupted proofs of the kind %r were tried" % kind)
    print("%d corrupted proofs rejected (%s)" % (
        sum(mutants_rejected.values()),
        ", ".join("%s: %d" % (k, mutants_rejected.get(k, 0)) for k in kinds)))
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("all proofs accepted")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
