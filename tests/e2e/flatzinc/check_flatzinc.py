#!/usr/bin/env python3
"""Checks qarn's FlatZinc output against the instance, independently of qarn.

  check_flatzinc.py INSTANCE.fzn OUTPUT [--solutions N] [--optimum V] [--unsat]
                    [--unknown] [--source TEXT]

Every printed solution (the "name = value;" lines before each "----------")
must extend to an assignment of all the instance's variables that satisfies
every constraint: variables that are not printed are completed by values
the constraints force (a result computed from its arguments, a linear
equality solved for its one unknown term) and otherwise by a search over
their domains. The constraints are evaluated here with the FlatZinc meaning
of each built-in.

--solutions N: exactly N distinct solutions and the closing "==========";
--solutions all: as many as there are assignments of the printed variables
that extend to a solution, counted here by enumerating their domains.
--optimum V: the solutions improve strictly, the last has objective V, and
"==========" closes the output. --unsat: "=====UNSATISFIABLE=====" and no
solution. --unknown: "=====UNKNOWN=====".
An expected figure (--solutions N, --optimum V) is confirmed here by
enumeration: the number of assignments of the printed variables that extend
to a solution, and no solution with a better objective than V. A model too
large for that (ENUMERATION_BUDGET search nodes) needs --source TEXT,
saying where the figure comes from.
"""
import argparse
import itertools
import re
import sys

TOKEN = re.compile(r"\s+|%[^\n]*|(?P<t>0x[0-9a-fA-F]+|\d*\.\d+|\d+|[A-Za-z_][A-Za-z0-9_]*|\.\.|::|[{}\[\]();,:=\-])")


ENUMERATION_BUDGET = 20000  # search nodes spent confirming an expected figure


def tokens(text):
    out, pos = [], 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            raise SystemExit("cannot tokenize at %r" % text[pos:pos + 20])
        pos = m.end()
        if m.group("t"):
            out.append(m.group("t"))
    return out


class Parser:
    def __init__(self, toks):
        self.t, self.i = toks, 0

    def peek(self, k=0):
        return self.t[self.i + k] if self.i + k < len(self.t) else None

    def take(self, want=None):
        tok = self.t[self.i]
        if want is not None and tok != want:
            raise SystemExit("expected %s, got %s" % (want, tok))
        self.i += 1
        return tok

    def integer(self):
        neg = self.peek() == "-"
        if neg:
            self.take()
        tok = self.take()
        v = int(tok, 16) if tok.startswith("0x") else int(tok)
        return -v if neg else v

    def expr(self):
        tok = self.peek()
        if tok == "[":
            self.take()
            items = []
            while self.peek() != "]":
                items.append(self.expr())
                if self.peek() == ",":
                    self.take()
            self.take("]")
            return ("array", items)
        if tok == "{":
            self.take()
            items = set()
            while self.peek() != "}":
                items.add(self.integer())
                if self.peek() == ",":
                    self.take()
            self.take("}")
            return ("set", frozenset(items))
        if tok in ("true", "false"):
            self.take()
            return ("int", 1 if tok == "true" else 0)
        if tok == "-" or tok[0].isdigit() or tok[0] == ".":
            if "." in tok and tok != "..":
                self.take()
                return ("int", int(float(tok)))
            v = self.integer()
            if self.peek() == "..":
                self.take()
                return ("set", frozenset(range(v, self.integer() + 1)))
            return ("int", v)
        name = self.take()
        if self.peek() == "[":
            self.take()
            k = self.integer()
            self.take("]")
            return ("elem", name, k)
        if self.peek() == "(":
            self.take()
            args = []
            while self.peek() != ")":
                args.append(self.expr())
                if self.peek() == ",":
                    self.take()
            self.take(")")
            return ("call", name, args)
        return ("id", name)

    def annotations(self):
        anns = []
        while self.peek() == "::":
            self.take()
            anns.append(self.expr())
        return anns

    def domain(self):
        """A type: (kind, values or None for all ints)."""
        if self.peek() == "set":
            self.take()
            self.take("of")
            return ("set",) + self.domain()[1:]
        tok = self.peek()
        if tok == "int":
            self.take()
            return ("int", None)
        if tok == "bool":
            self.take()
            return ("bool", frozenset((0, 1)))
        e = self.expr()
        return ("int", e[1])


class Model:
    def __init__(self, text):
        p = Parser(tokens(text))
        self.params, self.vars, self.arrays, self.constraints = {}, {}, {}, []
        self.output = []  # (name, is_array)
        self.solve = ("satisfy", None)
        while p.peek() is not None:
            head = p.peek()
            if head == "predicate":
                while p.take() != ";":
                    pass
                continue
            if head == "constraint":
                p.take()
                call = p.expr()
                p.annotations()
                p.take(";")
                self.constraints.append((call[1], call[2]))
                continue
            if head == "solve":
                p.take()
                p.annotations()
                kind = p.take()
                self.solve = (kind, p.expr() if kind != "satisfy" else None)
                p.take(";")
                continue
            size = None
            if head == "array":
                p.take()
                p.take("[")
                p.integer()
                p.take("..")
                size = p.integer()
                p.take("]")
                p.take("of")
            is_var = p.peek() == "var"
            if is_var:
                p.take()
            dom = p.domain()
            p.take(":")
            name = p.take()
            anns = p.annotations()
            value = None
            if p.peek() == "=":
                p.take()
                value = p.expr()
            p.take(";")
            for a in anns:
                if a[0] == "id" and a[1] == "output_var":
                    self.output.append((name, False))
                if a[0] in ("id", "call") and a[1] == "output_array":
                    self.output.append((name, True))
            if size is not None:
                if value is None:
                    items = []
                    for k in range(size):
                        element = "%s[%d]" % (name, k + 1)
                        self.vars[element] = dom
                        items.append(("id", element))
                    value = ("array", items)
                self.arrays[name] = value[1]
            elif is_var:
                self.vars[name] = dom
                if value is not None:
                    self.constraints.append(("__eq", [("id", name), value]))
            else:
                self.params[name] = value

    def resolve(self, e):
        """An argument as an int, a variable name, a set or a list of those."""
        kind = e[0]
        if kind == "int":
            return e[1]
        if kind == "set":
            return e[1]
        if kind == "array":
            return [self.resolve(x) for x in e[1]]
        if kind == "elem":
            return self.resolve(self.arrays[e[1]][e[2] - 1])
        name = e[1]
        if name in self.params:
            return self.resolve(self.params[name])
        if name in self.arrays:
            return [self.resolve(x) for x in self.arrays[name]]
        return name


def div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def mod(a, b):
    return a - b * div(a, b)


RESULT_FUNCTIONS = {
    "int_abs": lambda a: abs(a),
    "int_times": lambda a, b: a * b,
    "int_plus": lambda a, b: a + b,
    "int_div": lambda a, b: div(a, b) if b else None,
    "int_mod": lambda a, b: mod(a, b) if b else None,
    "int_min": min,
    "int_max": max,
    "int_eq_reif": lambda a, b: int(a == b),
    "int_ne_reif": lambda a, b: int(a != b),
    "int_le_reif": lambda a, b: int(a <= b),
    "int_lt_reif": lambda a, b: int(a < b),
    "bool_eq_reif": lambda a, b: int(a == b),
    "bool_le_reif": lambda a, b: int(a <= b),
    "bool_lt_reif": lambda a, b: int(a < b),
    "bool_and": lambda a, b: int(bool(a and b)),
    "bool_or": lambda a, b: int(bool(a or b)),
    "bool_xor": lambda a, b: int(bool(a) != bool(b)),
    "bool2int": lambda a: a,
    "bool_not": lambda a: 1 - a,
    "int_eq": lambda a: a,
    "bool_eq": lambda a: a,
    "__eq": lambda a: a,
}


def holds(name, a):
    """The FlatZinc meaning of a constraint over values."""
    if name in RESULT_FUNCTIONS:
        r = RESULT_FUNCTIONS[name](*a[:-1])
        return r is not None and r == a[-1]
    lin = lambda: sum(c * x for c, x in zip(a[0], a[1]))
    table = {
        "int_le": lambda: a[0] <= a[1], "int_lt": lambda: a[0] < a[1],
        "int_ne": lambda: a[0] != a[1], "bool_le": lambda: a[0] <= a[1],
        "bool_lt": lambda: a[0] < a[1],
        "int_lin_eq": lambda: lin() == a[2], "int_lin_le": lambda: lin() <= a[2],
        "int_lin_ne": lambda: lin() != a[2], "bool_lin_eq": lambda: lin() == a[2],
        "bool_lin_le": lambda: lin() <= a[2],
        "int_lin_eq_reif": lambda: int(lin() == a[2]) == a[3],
        "int_lin_le_reif": lambda: int(lin() <= a[2]) == a[3],
        "int_lin_ne_reif": lambda: int(lin() != a[2]) == a[3],
        "array_bool_and": lambda: int(all(a[0])) == a[1],
        "array_bool_or": lambda: int(any(a[0])) == a[1],
        "array_bool_xor": lambda: sum(a[0]) % 2 == 1,
        "bool_clause": lambda: any(a[0]) or not all(a[1]),
        "all_different_int": lambda: len(set(a[0])) == len(a[0]),
        "qarn_table_int": lambda: any(list(a[0]) == a[1][k:k + len(a[0])]
                                      for k in range(0, len(a[1]), len(a[0]))),
        "qarn_no_overlap": lambda: a[0] + a[1] <= a[2] or a[2] + a[3] <= a[0],
        "qarn_sub_interval": lambda: a[1] < a[0] or (a[2] <= a[0] and a[1] <= a[3]),
        "qarn_no_sub_interval": lambda: a[0] <= a[1] and (a[0] < a[2] or a[1] > a[3]),
        "qarn_no_sub_interval_k": lambda: (a[0] <= a[1] - a[4] and
                                           (a[0] < a[2] or a[1] - a[4] > a[3])),
    }
    table["qarn_table_bool"] = table["qarn_table_int"]
    for el in ("array_int_element", "array_bool_element", "array_var_int_element",
               "array_var_bool_element"):
        table[el] = lambda: 1 <= a[0] <= len(a[1]) and a[1][a[0] - 1] == a[2]
    if name not in table:
        raise SystemExit("checker: constraint %s is not known" % name)
    return bool(table[name]())


def names_in(x):
    if isinstance(x, str):
        return [x]
    if isinstance(x, list):
        return [n for e in x for n in names_in(e)]
    return []


def value_of(x, env):
    if isinstance(x, str):
        return env[x]
    if isinstance(x, list):
        return [value_of(e, env) for e in x]
    return x


def domain_values(dom):
    return sorted(dom[1]) if dom[1] is not None else None


class TooLarge(Exception):
    """An enumeration outgrew its budget or met an unbounded domain."""


class Checker:
    def __init__(self, model):
        self.m = model
        self.budget = None  # search nodes an enumeration may still visit (None: no limit)
        self.cons = [(n, [model.resolve(a) for a in args]) for n, args in model.constraints]
        self.vars_of = [sorted(set(names_in(args))) for _, args in self.cons]
        self.by_var = {}
        for i, vs in enumerate(self.vars_of):
            for v in vs:
                self.by_var.setdefault(v, []).append(i)

    def in_domain(self, v, x):
        dom = self.m.vars[v]
        return dom[1] is None or x in dom[1]

    def forced(self, i, env):
        """Values the one unknown of constraint i may take (the first two
        when there are more: propagation needs to know only whether there
        are none, one or several), or None."""
        name, args = self.cons[i]
        unknown = [v for v in self.vars_of[i] if v not in env]
        u = unknown[0]
        last = args[-1] if args else None
        if name in RESULT_FUNCTIONS and last == u and u not in names_in(args[:-1]):
            r = RESULT_FUNCTIONS[name](*value_of(args[:-1], env))
            return [] if r is None else [r]
        if name in ("int_lin_eq", "bool_lin_eq") and u not in names_in(args[2]):
            coeff = sum(c for c, x in zip(args[0], args[1]) if x == u)
            rest = sum(c * value_of(x, env) for c, x in zip(args[0], args[1]) if x != u)
            if coeff != 0:
                q, r = divmod(args[2] - rest, coeff)
                return [q] if r == 0 else []
        values = domain_values(self.m.vars[u])
        if values is None or len(values) > 100000:
            return None
        out = []
        for x in values:
            env[u] = x
            if holds(name, value_of(args, env)):
                out.append(x)
            del env[u]
            if len(out) > 1:
                break
        return out

    def propagate(self, env, trail):
        """Assigns the values the constraints force; False on a violation."""
        while True:
            progress = False
            for i, vs in enumerate(self.vars_of):
                unknown = [v for v in vs if v not in env]
                if not unknown:
                    if not holds(self.cons[i][0], value_of(self.cons[i][1], env)):
                        return False
                elif len(unknown) == 1:
                    values = self.forced(i, env)
                    if values is None or len(values) > 1:
                        continue
                    if not values or not self.in_domain(unknown[0], values[0]):
                        return False
                    env[unknown[0]] = values[0]
                    trail.append(unknown[0])
                    progress = True
            if not progress:
                return True

    def search(self, env, order, on_leaf):
        """Branches on the variables of `order` not yet assigned, smallest
        domain first, propagating after each choice; on_leaf(env) at every
        complete assignment of `order` that propagation allows. Returns
        True to stop."""
        if self.budget is not None:
            self.budget -= 1
            if self.budget < 0:
                raise TooLarge()
        trail = []
        try:
            if not self.propagate(env, trail):
                return False
            free = [v for v in order if v not in env]
            if not free:
                return on_leaf(env)
            v = min(free, key=lambda n: len(self.m.vars[n][1])
                    if self.m.vars[n][1] is not None else 1 << 40)
            values = domain_values(self.m.vars[v])
            if values is None:
                if self.budget is not None:
                    raise TooLarge()
                raise SystemExit("checker: cannot complete %s (unbounded domain)" % v)
            for x in values:
                env[v] = x
                stop = self.search(env, order, on_leaf)
                del env[v]
                if stop:
                    return True
            return False
        finally:
            for v in trail:
                del env[v]

    def complete(self, env):
        """env extended to every variable within the constraints, or None."""
        found = []

        def leaf(e):
            found.append(dict(e))
            return True

        self.search(dict(env), list(self.m.vars), leaf)
        return found[0] if found else None


def count_solutions(model, checker):
    """Assignments of the printed variables that extend to a solution."""
    printed = []
    for name, is_array in model.output:
        items = model.resolve(("id", name))
        printed += names_in(items if is_array else [items])
    printed = sorted(set(printed))
    count = [0]

    def leaf(env):
        if checker.complete(env) is not None:
            count[0] += 1
        return False

    checker.search({}, printed, leaf)
    return count[0]


def better_than(model, checker, bound):
    """A solution whose objective is strictly better than bound, or None:
    the objective variable's domain is cut to the better values and every
    variable is searched."""
    objective = model.resolve(model.solve[1])
    if not isinstance(objective, str):
        return None  # a constant objective: nothing is better
    dom = model.vars[objective]
    values = domain_values(dom)
    if values is None:
        raise TooLarge()
    better = [x for x in values if (x < bound if model.solve[0] == "minimize" else x > bound)]
    model.vars[objective] = (dom[0], frozenset(better))
    found = []

    def leaf(env):
        found.append(dict(env))
        return True

    try:
        checker.search({}, list(model.vars), leaf)
    finally:
        model.vars[objective] = dom
    return found[0] if found else None


def parse_value(text):
    text = text.strip()
    m = re.match(r"array\d+d\((.*)\[(.*)\]\)$", text)
    if m:
        return [parse_value(x) for x in m.group(2).split(",") if x.strip()]
    if text == "[]":
        return []
    if text in ("true", "false"):
        return int(text == "true")
    return int(text)


def solutions_of(output):
    blocks, current, end = [], {}, None
    for line in output.splitlines():
        if line.startswith("%") or not line.strip():
            continue
        # The steps of a proof (-p), never the start of a FlatZinc line.
        if line.startswith(("resolve[", "consequent: ", "constraint[", "rule ")):
            continue
        if line == "----------":
            blocks.append(current)
            current = {}
        elif line.startswith("====="):
            end = line
        else:
            name, _, value = line.partition(" = ")
            current[name] = parse_value(value.rstrip(";"))
    return blocks, end


def confirmed(model, checker, o):
    """Problems with the expected figure (--solutions N, --optimum V): the
    enumeration here must agree with it, or, for a model beyond
    ENUMERATION_BUDGET search nodes, --source must say where it comes from."""
    checker.budget = ENUMERATION_BUDGET
    try:
        if o.optimum is not None:
            better = better_than(model, checker, o.optimum)
            if better is not None:
                return ["a solution better than the optimum %d exists: %s"
                        % (o.optimum, {k: v for k, v in sorted(better.items())})]
        else:
            count = count_solutions(model, checker)
            if count != o.solutions:
                return ["enumeration counts %d solutions, not %d" % (count, o.solutions)]
    except TooLarge:
        if not o.source:
            return ["the model is too large to confirm the expected figure here: "
                    "name its source with --source"]
    finally:
        checker.budget = None
    return []


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("instance")
    ap.add_argument("output")
    ap.add_argument("--solutions")
    ap.add_argument("--optimum", type=int)
    ap.add_argument("--unsat", action="store_true")
    ap.add_argument("--unknown", action="store_true")
    ap.add_argument("--source")
    o = ap.parse_args()
    model = Model(open(o.instance).read())
    checker = Checker(model)
    blocks, end = solutions_of(open(o.output).read())
    counted = o.solutions == "all"
    if counted:
        o.solutions = count_solutions(model, checker)
    elif o.solutions is not None:
        o.solutions = int(o.solutions)
    errors = []
    objectives = []
    seen = set()
    for k, block in enumerate(blocks):
        env = {}
        for name, is_array in model.output:
            if name not in block:
                errors.append("solution %d: %s is not printed" % (k + 1, name))
                continue
            if is_array:
                items = model.resolve(("id", name))
                if block[name] == [] and items:
                    continue  # an output_array without dimensions shows no values
                if len(items) != len(block[name]):
                    errors.append("solution %d: %s has the wrong length" % (k + 1, name))
                for item, x in zip(items, block[name]):
                    if isinstance(item, str):
                        env[item] = x
                    elif item != x:
                        errors.append("solution %d: %s holds a wrong constant" % (k + 1, name))
            else:
                item = model.resolve(("id", name))
                if isinstance(item, str):
                    env[item] = block[name]
                elif item != block[name]:
                    errors.append("solution %d: %s is not its constant" % (k + 1, name))
        for v, x in env.items():
            if not checker.in_domain(v, x):
                errors.append("solution %d: %s = %d is outside its domain" % (k + 1, v, x))
        key = tuple(sorted((n, str(v)) for n, v in block.items()))
        if key in seen and o.solutions is not None:
            errors.append("solution %d is printed twice" % (k + 1))
        seen.add(key)
        env = checker.complete(env)
        if env is None:
            errors.append("solution %d violates the instance: %s" % (k + 1, block))
            continue
        if model.solve[0] != "satisfy":
            objectives.append(value_of(model.resolve(model.solve[1]), env))
    if o.solutions is not None:
        if len(blocks) != o.solutions:
            errors.append("%d solutions, expected %d" % (len(blocks), o.solutions))
        if end != "==========":
            errors.append("the output does not end with ==========")
    if o.optimum is not None:
        minimize = model.solve[0] == "minimize"
        for a, b in zip(objectives, objectives[1:]):
            if not (b < a if minimize else b > a):
                errors.append("objective %d does not improve on %d" % (b, a))
        if not objectives or objectives[-1] != o.optimum:
            errors.append("best objective %s, expected %d" % (objectives[-1:] or None, o.optimum))
        if end != "==========":
            errors.append("the output does not end with ==========")
    if (o.solutions is not None and not counted) or o.optimum is not None:
        errors += confirmed(model, checker, o)
    if o.unsat and (blocks or end != "=====UNSATISFIABLE====="):
        errors.append("expected =====UNSATISFIABLE===== and no solution")
    if o.unknown and end != "=====UNKNOWN=====":
        errors.append("expected =====UNKNOWN=====")
    if not (o.solutions is not None or o.optimum is not None or o.unsat or o.unknown) and not blocks:
        errors.append("no solution printed")
    for e in errors:
        print("check_flatzinc: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
