#!/usr/bin/env python3
"""Checks what qarn printed for an OPB instance, independently of qarn.

  check_opb.py INSTANCE OUTPUT [--optimum N] [--solutions N] [--unknown]

Every "v " line must assign exactly the instance's variables and satisfy
every constraint; an "o " line before it must give its objective value.
The output must end with an answer: its last "s " line is SATISFIABLE
(with a solution), UNSATISFIABLE (with none) or OPTIMUM FOUND.
--optimum N: the answer is "s OPTIMUM FOUND" and the last solution's value
is N; "s OPTIMUM FOUND" is refused without it.
--solutions N: the run printed N different solutions (all solutions, a -d
run, which prints no "s " line).
--unknown: the run gives up: its last "s " line is "s UNKNOWN".
Instances with at most 16 variables are also solved by brute force here:
the answer, the optimum and the solution count are confirmed.
"""
import itertools
import re
import sys


def parse_opb(text):
    """(objective, constraints, variables): objective is None or
    (sense, terms); a constraint is (terms, relation, rhs); a term is
    (coefficient, [(name, positive)])."""
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"\*[^\n]*", " ", text)
    tokens = re.findall(r"[A-Za-z_][A-Za-z0-9_]*|[+-]?\s*\d+|<=|>=|[=<>;:~]", text)
    tokens = [t.replace(" ", "") for t in tokens]
    names = set()
    pos = 0

    def terms_until(stops):
        nonlocal pos
        terms = []
        while tokens[pos] not in stops:
            coefficient = int(tokens[pos])
            pos += 1
            literals = []
            while re.fullmatch(r"~|[A-Za-z_]\w*", tokens[pos]) and tokens[pos] not in stops:
                positive = tokens[pos] != "~"
                if not positive:
                    pos += 1
                literals.append((tokens[pos], positive))
                names.add(tokens[pos])
                pos += 1
            terms.append((coefficient, literals))
        return terms

    objective = None
    if pos < len(tokens) and tokens[pos] in ("min", "max") and tokens[pos + 1] == ":":
        sense = tokens[pos]
        pos += 2
        objective = (sense, terms_until({";"}))
        pos += 1
    constraints = []
    while pos < len(tokens):
        if pos + 1 < len(tokens) and tokens[pos + 1] == ":":
            pos += 2  # a label
        terms = terms_until({">=", "<=", "=", "<", ">"})
        relation = tokens[pos]
        rhs = int(tokens[pos + 1])
        assert tokens[pos + 2] == ";"
        pos += 3
        constraints.append((terms, relation, rhs))
    return objective, constraints, sorted(names)


def value(terms, assignment):
    return sum(c for c, lits in terms
               if all(assignment[n] == (1 if positive else 0) for n, positive in lits))


def holds(constraint, assignment):
    terms, relation, rhs = constraint
    v = value(terms, assignment)
    return {">=": v >= rhs, "<=": v <= rhs, "=": v == rhs, "<": v < rhs, ">": v > rhs}[relation]


def brute_force(objective, constraints, names):
    """(number of solutions, best objective value or None)."""
    count, best = 0, None
    for values in itertools.product((0, 1), repeat=len(names)):
        assignment = dict(zip(names, values))
        if all(holds(c, assignment) for c in constraints):
            count += 1
            if objective:
                v = value(objective[1], assignment)
                if best is None or (v < best if objective[0] == "min" else v > best):
                    best = v
    return count, best


def main(argv):
    instance, output = argv[0], argv[1]
    optimum = solutions = None
    unknown = False
    rest = argv[2:]
    while rest:
        if rest[0] == "--unknown":
            unknown = True
            rest = rest[1:]
            continue
        if rest[0] == "--optimum":
            optimum = int(rest[1])
        elif rest[0] == "--solutions":
            solutions = int(rest[1])
        else:
            raise SystemExit("unknown argument " + rest[0])
        rest = rest[2:]
    with open(instance) as f:
        objective, constraints, names = parse_opb(f.read())
    with open(output) as f:
        lines = f.read().splitlines()

    errors = []
    status = [l for l in lines if l.startswith("s ")]
    found = []  # (solution, objective value claimed by the "o " line before it)
    claimed = None
    for line in lines:
        if line.startswith("o "):
            claimed = int(line[2:])
        elif line.startswith("v"):
            assignment = {}
            for word in line[1:].split():
                assignment[word.lstrip("-")] = 0 if word.startswith("-") else 1
            found.append((assignment, claimed))
            claimed = None
    for assignment, claim in found:
        if sorted(assignment) != names:
            errors.append("solution does not assign exactly the instance's variables: %s" % assignment)
            continue
        for c in constraints:
            if not holds(c, assignment):
                errors.append("solution %s violates %s" % (assignment, c))
        if claim is not None and objective and value(objective[1], assignment) != claim:
            errors.append("objective line %d but the solution's value is %d"
                          % (claim, value(objective[1], assignment)))

    small = len(names) <= 16
    count, best = brute_force(objective, constraints, names) if small else (None, None)
    final = status[-1] if status else None
    if unknown:
        if final != "s UNKNOWN":
            errors.append("expected s UNKNOWN, got %s" % final)
    elif solutions is None:
        if final not in ("s SATISFIABLE", "s UNSATISFIABLE", "s OPTIMUM FOUND"):
            errors.append("no answer: the last status line is %s" % final)
        elif small and (final == "s UNSATISFIABLE") != (count == 0):
            errors.append("%s, but the instance has %d solutions" % (final, count))
        elif small and objective and count and final != "s OPTIMUM FOUND":
            errors.append("%s, but the instance has the optimum %s" % (final, best))
    if final == "s SATISFIABLE" and not found:
        errors.append("SATISFIABLE without a solution line")
    if final == "s UNSATISFIABLE" and found:
        errors.append("UNSATISFIABLE after a solution line")
    if optimum is not None and final != "s OPTIMUM FOUND":
        errors.append("the known optimum %d is given, but the answer is %s" % (optimum, final))
    if final == "s OPTIMUM FOUND":
        if optimum is None:
            errors.append("an optimum is claimed but no known optimum was given")
        elif not objective or not found or sorted(found[-1][0]) != names \
                or value(objective[1], found[-1][0]) != optimum:
            errors.append("the final solution does not have the known optimum %d" % optimum)
        if small and optimum is not None and best != optimum:
            errors.append("brute force finds the optimum %s, not %d" % (best, optimum))
    if solutions is not None:
        distinct = {tuple(sorted(a.items())) for a, _ in found}
        if len(found) != solutions or len(distinct) != solutions:
            errors.append("%d solutions printed (%d distinct), %d expected"
                          % (len(found), len(distinct), solutions))
        if small and count != solutions:
            errors.append("brute force counts %d solutions, not %d" % (count, solutions))
    for e in errors:
        print("check_opb: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
