#!/usr/bin/env python3
"""Solves random small XCSP, FlatZinc or C-like models with both programs,
which must answer alike; qarn's answers are checked by brute force.

  small_differential.py FORMAT QARN QARN_SMALL [COUNT] [--seed S]
                                    (FORMAT: xcsp, flatzinc or c_like)

Every value of a model, its domains, its constants and the value of every
sub-expression, lies in 0..31, so that qarn-small holds all of it: its
answers (status, objective and solution lines) must be qarn's, line for
line, with the same exit status; an out-of-range report from qarn-small is
a failure. Each model is solved with -s 1, once for the first
solution (or the optimum) and once with -d for all solutions (satisfaction
models), and qarn's output is checked by the format's checker, whose brute
force confirms the answer, the solution count and the optimum. Prints the
first failing model and exits 1.
"""
import os
import random
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def random_domain(rng):
    """A few values within 0..31, as a sorted list."""
    if rng.random() < 0.6:
        size = rng.randint(2, 5)
        lo = rng.randint(0, 32 - size)
        return list(range(lo, lo + size))
    return sorted(rng.sample(range(32), rng.randint(1, 5)))


class expressions:
    """Random integer and Boolean expressions over variables with known
    domains, every sub-expression's values within 0..31. `emit` writes an
    operator with its operands in the format's syntax."""

    def __init__(self, rng, domains, emit, operators):
        self.rng, self.domains, self.emit, self.operators = rng, domains, emit, operators

    def integer(self, depth):
        """(text, low, high)."""
        rng = self.rng
        if depth <= 0 or rng.random() < 0.3:
            if rng.random() < 0.25:
                v = rng.randint(0, 6)
                return self.emit("const", v), v, v
            name = rng.choice(sorted(self.domains))
            d = self.domains[name]
            return self.emit("var", name), min(d), max(d)
        for _ in range(10):
            op = rng.choice([o for o in ("add", "sub", "mul", "max", "min", "if")
                             if o in self.operators])
            if op == "if":
                c = self.boolean(depth - 1)
                a, alo, ahi = self.integer(depth - 1)
                b, blo, bhi = self.integer(depth - 1)
                return self.emit("if", c, a, b), min(alo, blo), max(ahi, bhi)
            a, alo, ahi = self.integer(depth - 1)
            b, blo, bhi = self.integer(depth - 1)
            lo, hi = {"add": (alo + blo, ahi + bhi), "sub": (alo - bhi, ahi - blo),
                      "mul": (alo * blo, ahi * bhi), "max": (max(alo, blo), max(ahi, bhi)),
                      "min": (min(alo, blo), min(ahi, bhi))}[op]
            if 0 <= lo and hi <= 31:
                return self.emit(op, a, b), lo, hi
        name = rng.choice(sorted(self.domains))
        return self.emit("var", name), min(self.domains[name]), max(self.domains[name])

    def boolean(self, depth):
        rng = self.rng
        if depth > 1 and rng.random() < 0.3:
            op = rng.choice(("and", "or", "not"))
            if op == "not":
                return self.emit("not", self.boolean(depth - 1))
            return self.emit(op, self.boolean(depth - 1), self.boolean(depth - 1))
        op = rng.choice(("eq", "ne", "lt", "le", "gt", "ge"))
        return self.emit(op, self.integer(depth - 1)[0], self.integer(depth - 1)[0])


# ---- XCSP 2.1

XCSP_NAMES = {"const": None, "var": None, "add": "add", "sub": "sub", "mul": "mul",
              "max": "max", "min": "min", "if": "if", "and": "and", "or": "or", "not": "not",
              "eq": "eq", "ne": "ne", "lt": "lt", "le": "le", "gt": "gt", "ge": "ge"}


def xcsp_emit(op, *args):
    if op in ("const", "var"):
        return str(args[0])
    return "%s(%s)" % (XCSP_NAMES[op], ",".join(args))


def xcsp_model(rng):
    n = rng.randint(2, 5)
    names = ["X%d" % i for i in range(n)]
    domains = {name: random_domain(rng) for name in names}
    gen = expressions(rng, dict(domains), xcsp_emit, ("add", "sub", "mul"))
    relations, predicates, constraints = [], [], []
    objective = rng.random() < 0.3
    if objective:
        domains["Obj"] = list(range(32))
    for k in range(rng.randint(1, 4)):
        kind = rng.choice(("relation", "predicate", "predicate", "alldifferent", "weightedsum"))
        scope = rng.sample(names, rng.randint(2, min(3, n)))
        cname = "C%d" % k
        if kind == "relation":
            tuples = set()
            for _ in range(rng.randint(1, 8)):
                tuples.add(" ".join(str(rng.choice(domains[v])) for v in scope))
            semantics = rng.choice(("supports", "conflicts"))
            relations.append('<relation name="R%d" arity="%d" nbTuples="%d" semantics="%s">%s'
                             '</relation>' % (k, len(scope), len(tuples), semantics,
                                              "|".join(sorted(tuples))))
            constraints.append('<constraint name="%s" arity="%d" scope="%s" reference="R%d"/>'
                               % (cname, len(scope), " ".join(scope), k))
        elif kind == "predicate":
            # The predicate's parameters are the scope's variables.
            local = expressions(rng, {v: domains[v] for v in scope}, xcsp_emit,
                                ("add", "sub", "mul"))
            body = local.boolean(rng.randint(1, 3))
            predicates.append('<predicate name="P%d"><parameters>%s</parameters><expression>'
                              '<functional>%s</functional></expression></predicate>'
                              % (k, " ".join("int " + v for v in scope), body))
            constraints.append('<constraint name="%s" arity="%d" scope="%s" reference="P%d">'
                               '<parameters>%s</parameters></constraint>'
                               % (cname, len(scope), " ".join(scope), k, " ".join(scope)))
        elif kind == "alldifferent":
            constraints.append('<constraint name="%s" arity="%d" scope="%s" '
                               'reference="global:allDifferent"/>'
                               % (cname, len(scope), " ".join(scope)))
        else:
            coefficients = [rng.randint(0, 3) for _ in scope]
            top = sum(c * max(domains[v]) for c, v in zip(coefficients, scope))
            if top > 31:
                coefficients = [1] * len(scope)
                top = sum(max(domains[v]) for v in scope)
            if top > 31:
                continue
            relation = rng.choice(("eq", "ge", "gt", "le", "lt"))
            terms = " ".join("{ %d %s }" % (c, v) for c, v in zip(coefficients, scope))
            constraints.append('<constraint name="%s" arity="%d" scope="%s" '
                               'reference="global:weightedsum"><parameters>[ %s ] <%s/> %d'
                               '</parameters></constraint>'
                               % (cname, len(scope), " ".join(scope), terms, relation,
                                  rng.randint(0, min(top, 31))))
    if objective:
        text, _, _ = gen.integer(2)
        predicates.append('<predicate name="Def"><parameters>int O %s</parameters><expression>'
                          '<functional>eq(O,%s)</functional></expression></predicate>'
                          % (" ".join("int " + v for v in names), text))
        constraints.append('<constraint name="Cdef" arity="%d" scope="Obj %s" reference="Def">'
                           '<parameters>Obj %s</parameters></constraint>'
                           % (n + 1, " ".join(names), " ".join(names)))
        sense = rng.choice(("minimize", "maximize"))
        constraints.append('<constraint name="Optimize:%s" arity="1" scope="Obj" '
                           'reference="global:weightedsum"><parameters>[ { 0 Obj } ] <eq/> 0'
                           '</parameters></constraint>' % sense)
    variables = names + (["Obj"] if objective else [])
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<instance>",
             '<presentation name="random"/>', '<domains nbDomains="%d">' % len(variables)]
    lines += ['<domain name="D%s" nbValues="%d">%s</domain>'
              % (v, len(domains[v]), " ".join(map(str, domains[v]))) for v in variables]
    lines += ["</domains>", '<variables nbVariables="%d">' % len(variables)]
    lines += ['<variable name="%s" domain="D%s"/>' % (v, v) for v in variables]
    lines.append("</variables>")
    if relations:
        lines += ['<relations nbRelations="%d">' % len(relations)] + relations + ["</relations>"]
    if predicates:
        lines += ['<predicates nbPredicates="%d">' % len(predicates)] + predicates + \
                 ["</predicates>"]
    lines += ['<constraints nbConstraints="%d">' % len(constraints)] + constraints + \
             ["</constraints>", "</instance>"]
    return "\n".join(lines) + "\n", objective


def xcsp_checks(output, options, objective, model):
    if objective:
        # The optimum by the checker's brute force, not qarn's own claim:
        # a run that ends without "s OPTIMUM FOUND" and that value fails.
        sys.path.insert(0, os.path.join(HERE, "xcsp"))
        import check_xcsp  # noqa: E402
        count, best = check_xcsp.brute_force(*check_xcsp.parse_instance(model))
        return ["--optimum", str(best)] if count else []
    if "-d" in options:
        return ["--solutions", str(len(re.findall(r"(?m)^v ", output)))]
    return []


# ---- C-like

C_SYMBOLS = {"add": "+", "sub": "-", "mul": "*", "and": "&&", "or": "||", "eq": "==",
             "ne": "!=", "lt": "<", "le": "<=", "gt": ">", "ge": ">="}


def c_emit(op, *args):
    if op in ("const", "var"):
        return str(args[0])
    if op in ("max", "min"):
        return "%s(%s, %s)" % (op, args[0], args[1])
    if op == "if":
        return "(%s ? %s : %s)" % args
    if op == "not":
        return "!(%s)" % args[0]
    return "(%s %s %s)" % (args[0], C_SYMBOLS[op], args[1])


def c_model(rng):
    n = rng.randint(2, 5)
    names = ["x%d" % i for i in range(n)]
    domains = {}
    lines = []
    for name in names:
        if rng.random() < 0.15:
            domains[name] = [0, 1]
            lines.append("bool %s;" % name)
            continue
        d = random_domain(rng)
        domains[name] = d
        if d == list(range(d[0], d[-1] + 1)) and rng.random() < 0.7:
            lines.append("int {%d:%d} %s;" % (d[0], d[-1], name))
        else:
            lines.append("int {%s} %s;" % (", ".join(map(str, d)), name))
    gen = expressions(rng, domains, c_emit, ("add", "sub", "mul", "max", "min", "if"))
    objective = rng.random() < 0.3
    if objective:
        lines.append("%s(%s);" % (rng.choice(("minimize", "maximize")), gen.integer(2)[0]))
    for _ in range(rng.randint(1, 3)):
        lines.append(gen.boolean(rng.randint(1, 3)) + ";")
    return "\n".join(lines) + "\n", objective


def c_checks(output, options, objective, model):
    return ["--all"] if "-d" in options else []


# ---- FlatZinc

def fzn_model(rng):
    n = rng.randint(2, 5)
    names = ["x%d" % i for i in range(n)]
    domains = {name: random_domain(rng) for name in names}
    lines = []
    for name in names:
        d = domains[name]
        if d == list(range(d[0], d[-1] + 1)):
            lines.append("var %d..%d: %s :: output_var;" % (d[0], d[-1], name))
        else:
            lines.append("var {%s}: %s :: output_var;" % (",".join(map(str, d)), name))
    defined, booleans = 0, 0

    def aux(lo, hi):
        nonlocal defined
        defined += 1
        name = "t%d" % defined
        lines.append("var %d..%d: %s;" % (lo, hi, name))
        domains[name] = list(range(lo, hi + 1))
        return name

    def reif():
        nonlocal booleans
        booleans += 1
        lines.append("var bool: b%d;" % booleans)
        return "b%d" % booleans

    constraints = []
    for _ in range(rng.randint(1, 4)):
        kind = rng.choice(("compare", "compare", "lin", "arith", "reif", "alldifferent"))
        a, b = rng.sample(names, 2)
        if kind == "compare":
            op = rng.choice(("int_eq", "int_ne", "int_le", "int_lt"))
            constraints.append("%s(%s, %s)" % (op, a, b))
        elif kind == "lin":
            scope = rng.sample(names, rng.randint(2, min(3, n)))
            coefficients = [rng.randint(1, 3) for _ in scope]
            top = sum(c * max(domains[v]) for c, v in zip(coefficients, scope))
            if top > 31:
                continue
            op = rng.choice(("int_lin_eq", "int_lin_le", "int_lin_ne"))
            constraints.append("%s([%s], [%s], %d)" % (op, ", ".join(map(str, coefficients)),
                                                       ", ".join(scope), rng.randint(0, top)))
        elif kind == "arith":
            da, db = domains[a], domains[b]
            op = rng.choice(("int_plus", "int_times", "int_max", "int_min"))
            lo, hi = {"int_plus": (da[0] + db[0], da[-1] + db[-1]),
                      "int_times": (da[0] * db[0], da[-1] * db[-1]),
                      "int_max": (max(da[0], db[0]), max(da[-1], db[-1])),
                      "int_min": (min(da[0], db[0]), min(da[-1], db[-1]))}[op]
            if hi > 31:
                continue
            # The result's domain is cut short now and then.
            t = aux(lo, max(lo, hi - rng.choice((0, 0, 1, 2))))
            constraints.append("%s(%s, %s, %s)" % (op, a, b, t))
        elif kind == "reif":
            op = rng.choice(("int_eq_reif", "int_ne_reif", "int_le_reif", "int_lt_reif"))
            r = reif()
            constraints.append("%s(%s, %s, %s)" % (op, a, b, r))
            if rng.random() < 0.5:
                constraints.append("bool_eq(%s, %s)" % (r, rng.choice(("true", "false"))))
        else:
            scope = rng.sample(names, rng.randint(2, n))
            constraints.append("all_different_int([%s])" % ", ".join(scope))
    lines += ["constraint %s;" % c for c in constraints]
    lines.append("solve satisfy;")
    return "\n".join(lines) + "\n", False


def fzn_checks(output, options, objective, model):
    if "=====UNSATISFIABLE=====" in output:
        # The checker's count by enumeration confirms the answer; a model
        # with solutions is checked as all-solution output, which fails.
        sys.path.insert(0, os.path.join(HERE, "flatzinc"))
        import check_flatzinc  # noqa: E402
        parsed = check_flatzinc.Model(open(model).read())
        count = check_flatzinc.count_solutions(parsed, check_flatzinc.Checker(parsed))
        return ["--unsat"] if count == 0 else ["--solutions", "all"]
    return ["--solutions", "all"] if "-d" in options else []


FORMATS = {  # name: (generator, option -F, suffix, checker arguments)
    "xcsp": (xcsp_model, [], ".xml", xcsp_checks),
    "c_like": (c_model, ["-F", "c"], ".c", c_checks),
    "flatzinc": (fzn_model, ["-F", "fzn"], ".fzn", fzn_checks),
}


def answer_lines(text):
    """The answer lines of an output: status, objective and solution lines,
    without comments and counters. Counters and the constraint count may
    differ: a new variable starts with every value, all 32-bit values in qarn
    and 0..31 in qarn-small, and a comparison that such a domain settles is
    simplified away while the model is built, or the search of an
    optimisation reaches for the far bound."""
    return [l for l in text.splitlines() if not l.startswith(("c ", "% ", "d "))]


def answer(output):
    for status in ("UNSATISFIABLE", "OPTIMUM FOUND", "SATISFIABLE"):
        if re.search(r"(?m)^(s |=====)%s" % status, output):
            return status
    return "SATISFIABLE" if "----------" in output else "none"


def main(argv):
    seed = 20261211
    if "--seed" in argv:
        at = argv.index("--seed")
        seed = int(argv[at + 1])
        argv = argv[:at] + argv[at + 2:]
    fmt, qarn, qarn_small = argv[0], os.path.abspath(argv[1]), os.path.abspath(argv[2])
    count = int(argv[3]) if len(argv) > 3 else 300
    generate, format_options, suffix, checks = FORMATS[fmt]
    checker = os.path.join(HERE, fmt, "check_%s.py" % fmt)
    rng = random.Random(seed)
    answers = {}
    with tempfile.TemporaryDirectory() as workdir:
        model = os.path.join(workdir, "model" + suffix)
        output = os.path.join(workdir, "output.txt")
        for i in range(count):
            text, objective = generate(rng)
            with open(model, "w") as f:
                f.write(text)
            for options in ([[]] if objective else [[], ["-d"]]):
                command = format_options + ["-s", "1"] + options + [model]
                runs = [subprocess.run([program] + command, capture_output=True, text=True,
                                       timeout=60) for program in (qarn, qarn_small)]
                problems = []
                if runs[0].returncode != 0 or runs[0].stderr:
                    problems.append("qarn: exit status %d, stderr %r"
                                    % (runs[0].returncode, runs[0].stderr))
                if (runs[1].returncode, answer_lines(runs[1].stdout), runs[1].stderr) != \
                        (runs[0].returncode, answer_lines(runs[0].stdout), runs[0].stderr):
                    problems.append("qarn-small differs: exit status %d, stderr %r, output:\n%s"
                                    % (runs[1].returncode, runs[1].stderr, runs[1].stdout))
                with open(output, "w") as f:
                    f.write(runs[0].stdout)
                checked = subprocess.run(
                    [sys.executable, checker, model, output] +
                    checks(runs[0].stdout, options, objective, model), capture_output=True, text=True)
                if checked.returncode != 0:
                    problems.append("the checker rejects qarn's output:\n" + checked.stdout +
                                    checked.stderr)
                if problems:
                    print("model %d, options %s:\n%s" % (i, options, text))
                    print("\n".join(problems))
                    print("qarn's output:\n" + runs[0].stdout)
                    return 1
                status = answer(runs[0].stdout)
                answers[status] = answers.get(status, 0) + 1
    print("%d %s runs answered alike by both programs and agree with brute force: %s"
          % (sum(answers.values()), fmt, answers))
    # The mix must give solutions and unsatisfiable models both.
    return 0 if "UNSATISFIABLE" in answers and "SATISFIABLE" in answers else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
