#!/usr/bin/env python3
"""Checks qarn's output on a model in the C-like modelling language.

  check_c_like.py MODEL OUTPUT [--unsat] [--optimum N] [--all]

Reads the model with a parser of its own (the language's precedence, not
C's), then checks every printed solution, its "v" line (the values in
declaration order; the comment line before it, "c x=1, y=2, ", must name
the same values): each declared variable has a value of its domain, every
constraint holds, and an "o" line before a solution is the objective's
value there. The final answer is compared with a brute-force search over
all assignments when there are at most BRUTE_LIMIT of them: satisfiable or
not, and the optimum (the last solution printed, also with -D) after
"s OPTIMUM FOUND"; with --all (a -d run) the printed solutions must be
exactly the model's solutions. Larger models need --unsat or --optimum N
instead.
"""
import itertools
import re
import sys

BRUTE_LIMIT = 200000
INT_MIN, INT_MAX = -2**31, 2**31 - 1


def wrap(v):
    return (v + 2**31) % 2**32 - 2**31


def tokens(text):
    token_pattern = re.compile(r"""
        (?P<skip>\s+|//[^\n]*|/\*.*?\*/)
      | (?P<num>0x[0-9A-Fa-f]+|0[0-9A-Fa-f]+|0|[1-9][0-9]*)
      | (?P<id>[A-Za-z_][A-Za-z0-9_]*)
      | (?P<op>\|\||&&|<=|>=|==|!=|[-+*/%<>!?:;,(){}])""", re.S | re.X)
    pos = 0
    while pos < len(text):
        m = token_pattern.match(text, pos)
        if not m:
            raise SyntaxError("model: bad text at %d" % pos)
        pos = m.end()
        if m.lastgroup == "num":
            t = m.group()
            yield ("num", int(t, 16) if t.startswith("0x") else
                   int(re.match("0[0-7]*", t).group(), 8) if t.startswith("0") else int(t))
        elif m.lastgroup != "skip":
            yield ("op" if m.lastgroup == "op" else "id", m.group())
    yield ("end", None)


class Model:
    def __init__(self, text):
        self.toks = list(tokens(text))
        self.i = 0
        self.vars, self.domains, self.constraints, self.objective = [], {}, [], None
        while self.peek() in ("int", "bool", "unsigned"):
            self.declaration()
        if self.peek() in ("minimize", "maximize"):
            sense = self.take()[1]
            self.expect("(")
            self.objective = (sense, self.expression())
            self.expect(")")
            self.expect(";")
        while self.toks[self.i][0] != "end":
            self.constraints.append(self.expression())
            self.expect(";")

    def peek(self):
        return self.toks[self.i][1]

    def take(self):
        self.i += 1
        return self.toks[self.i - 1]

    def expect(self, text):
        if self.take()[1] != text:
            raise SyntaxError("model: expected %s" % text)

    def integer(self):
        sign = -1 if self.peek() == "-" and self.take() else 1
        return sign * self.take()[1]

    def declaration(self):
        kind = self.take()[1]
        if kind == "bool":
            domain = range(0, 2)
        elif kind == "unsigned":
            if self.peek() == "int":
                self.take()
            domain = range(0, INT_MAX + 1)
        elif self.peek() == "{":
            self.take()
            values = set()
            while self.peek() != "}":
                first = self.integer()
                parts = [first]
                while self.peek() == ":":
                    self.take()
                    parts.append(self.integer())
                if len(parts) == 1:
                    values.add(first)
                elif len(parts) == 2:
                    values.update(range(parts[0], parts[1] + 1))
                else:
                    values.update(range(parts[0], parts[2] + 1, parts[1]))
                if self.peek() == ",":
                    self.take()
            self.take()
            domain = sorted(values)
        else:
            domain = range(INT_MIN, INT_MAX + 1)
        while True:
            name = self.take()[1]
            self.vars.append(name)
            self.domains[name] = domain
            if self.take()[1] == ";":
                break

    # Loosest first: ?: (left), ||, &&, prefix !, comparisons (no chains),
    # + -, * / %, prefix - +.
    def expression(self):
        # Left-associative: a ? b : c ? d : e is (a ? b : c) ? d : e; the
        # middle part is a whole expression, so a ":" after a complete
        # conditional belongs to an enclosing one.
        e = self.disjunction()
        while self.peek() == "?":
            self.take()
            then = self.expression()
            self.expect(":")
            e = ("?", e, then, self.disjunction())
            if self.peek() == ":":
                break
        return e

    def binary(self, operators, operand):
        e = operand()
        while self.peek() in operators:
            e = (self.take()[1], e, operand())
        return e

    def disjunction(self):
        return self.binary(("||",), self.conjunction)

    def conjunction(self):
        return self.binary(("&&",), self.negation)

    def negation(self):
        if self.peek() == "!":
            self.take()
            return ("!", self.negation())
        return self.comparison()

    def comparison(self):
        e = self.additive()
        if self.peek() in ("==", "!=", "<=", ">=", "<", ">"):
            e = (self.take()[1], e, self.additive())
        return e

    def additive(self):
        return self.binary(("+", "-"), self.multiplicative)

    def multiplicative(self):
        return self.binary(("*", "/", "%"), self.unary)

    def unary(self):
        if self.peek() in ("-", "+"):
            op = self.take()[1]
            e = self.unary()
            return ("neg", e) if op == "-" else e
        if self.peek() == "!":
            # As an operand, "!" still spans comparisons and arithmetic.
            self.take()
            return ("!", self.negation())
        kind, value = self.take()
        if value == "(":
            e = self.expression()
            self.expect(")")
            return e
        if kind == "num":
            return ("num", value)
        if value in ("abs", "min", "max", "pow"):
            self.expect("(")
            args = [self.expression()]
            while self.peek() == ",":
                self.take()
                args.append(self.expression())
            self.expect(")")
            return (value,) + tuple(args)
        return ("var", value)


def trunc_div(a, b):
    q = abs(a) // abs(b)
    return q if (a < 0) == (b < 0) else -q


def power(b, e):
    if b == 0 and e == 0:
        raise ArithmeticError
    r = 1
    while e != 0:
        if not (INT_MIN <= r <= INT_MAX and INT_MIN <= b <= INT_MAX):
            raise ArithmeticError
        if e & 1:
            r *= b
        e >>= 1
        b *= b
    if not INT_MIN <= r <= INT_MAX:
        raise ArithmeticError
    return r


def value(e, env):
    op = e[0]
    if op == "num":
        return e[1]
    if op == "var":
        return env[e[1]]
    if op == "?":
        return value(e[2] if value(e[1], env) else e[3], env)
    if op == "&&":
        return int(bool(value(e[1], env)) and bool(value(e[2], env)))
    if op == "||":
        return int(bool(value(e[1], env)) or bool(value(e[2], env)))
    a = [value(x, env) for x in e[1:]]
    if op == "!":
        return int(a[0] == 0)
    if op == "neg":
        return wrap(-a[0])
    if op == "abs":
        return wrap(abs(a[0]))
    if op == "pow":
        return power(a[0], a[1])
    if op in ("/", "%"):
        if a[1] == 0:
            raise ArithmeticError
        q = trunc_div(a[0], a[1])
        return wrap(q) if op == "/" else wrap(a[0] - q * a[1])
    return {"+": lambda: wrap(a[0] + a[1]), "-": lambda: wrap(a[0] - a[1]),
            "*": lambda: wrap(a[0] * a[1]), "min": lambda: min(a), "max": lambda: max(a),
            "==": lambda: int(a[0] == a[1]), "!=": lambda: int(a[0] != a[1]),
            "<=": lambda: int(a[0] <= a[1]), ">=": lambda: int(a[0] >= a[1]),
            "<": lambda: int(a[0] < a[1]), ">": lambda: int(a[0] > a[1])}[op]()


def holds(model, env):
    try:
        return all(value(c, env) != 0 for c in model.constraints)
    except ArithmeticError:
        return False


def objective(model, env):
    return value(model.objective[1], env)


def brute_force(model):
    """All solutions and the optimum, or None when there are too many assignments."""
    count = 1
    for v in model.vars:
        count *= len(model.domains[v])
        if count > BRUTE_LIMIT:
            return None
    solutions = []
    for values in itertools.product(*(model.domains[v] for v in model.vars)):
        env = dict(zip(model.vars, values))
        if holds(model, env):
            solutions.append(values)
    best = None
    if model.objective and solutions:
        scores = [objective(model, dict(zip(model.vars, s))) for s in solutions]
        best = min(scores) if model.objective[0] == "minimize" else max(scores)
    return solutions, best


def main(argv):
    # Models nest as deep as the reader accepts.
    sys.setrecursionlimit(200000)
    model = Model(open(argv[0]).read())
    lines = open(argv[1]).read().split("\n")
    options = argv[2:]
    errors = []
    printed, last_o = [], None
    for k, line in enumerate(lines):
        if line.startswith("o "):
            last_o = int(line[2:])
        if not line.startswith("v "):
            continue
        # The answer is the "v" line: the values in declaration order. The
        # comment line before it names them and must agree.
        number = len(printed) + 1
        try:
            values = [int(w) for w in line[2:].split()]
        except ValueError:
            errors.append("solution %d: the v line %r is not a list of integers" % (number, line))
            continue
        if len(values) != len(model.vars):
            errors.append("solution %d: %d values in the v line for the model's %d variables"
                          % (number, len(values), len(model.vars)))
            continue
        env = dict(zip(model.vars, values))
        comment = lines[k - 1] if k > 0 else ""
        named = "c " + "".join("%s=%d, " % (n, env[n]) for n in model.vars)
        if comment != named:
            errors.append("solution %d: the comment %r does not agree with the v line (%r)"
                          % (number, comment, named))
        for n in model.vars:
            if env[n] not in model.domains[n]:
                errors.append("%s=%d is outside its domain" % (n, env[n]))
        if not holds(model, env):
            errors.append("solution %s violates a constraint" % line)
        if model.objective and last_o is not None and objective(model, env) != last_o:
            errors.append("objective of %s is %d, printed %s"
                          % (line, objective(model, env), last_o))
        last_o = None
        printed.append(tuple(values))
    status = [l for l in lines if l.startswith("s ")]
    final = status[-1] if status else None

    expected_unsat = "--unsat" in options
    optimum = int(options[options.index("--optimum") + 1]) if "--optimum" in options else None
    brute = brute_force(model)
    if brute is not None:
        solutions, best = brute
        if "--unsat" in options and solutions:
            errors.append("--unsat given, but brute force finds %d solutions" % len(solutions))
        if optimum is not None and optimum != best:
            errors.append("--optimum %d given, but brute force finds %s" % (optimum, best))
        expected_unsat = not solutions
        optimum = best
        if "--all" in options and sorted(printed) != sorted(solutions):
            errors.append("the %d printed solutions are not the model's %d"
                          % (len(printed), len(solutions)))
    elif "--all" in options or (model.objective and optimum is None and not expected_unsat):
        errors.append("model too large for brute force: give --unsat or --optimum")

    if expected_unsat:
        if final != "s UNSATISFIABLE" or printed:
            errors.append("expected s UNSATISFIABLE, got %s" % final)
    elif "--all" in options:
        pass
    elif model.objective:
        # The best solution is the last one printed (once, with -D).
        best = objective(model, dict(zip(model.vars, printed[-1]))) if printed else None
        if final != "s OPTIMUM FOUND" or best != optimum:
            errors.append("expected the optimum %s, got %s with %s" % (optimum, final, best))
    elif final != "s SATISFIABLE" or not printed:
        errors.append("expected s SATISFIABLE with a solution, got %s" % final)
    for e in errors:
        print("check_c_like: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
