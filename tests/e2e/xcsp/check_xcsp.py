#!/usr/bin/env python3
"""Checks what qarn printed for an XCSP 2.1 instance, independently of qarn.

  check_xcsp.py INSTANCE OUTPUT [--optimum N] [--solutions N] [--unknown]

The instance is read with Python's own XML parser: domains, variables,
relations (supports, conflicts), predicates in functional syntax, and
constraints over relations, predicates, global:alldifferent and
global:weightedsum (an "Optimize:minimize"/"Optimize:maximize" weighted sum
of one term with coefficient 0 names the objective). Parameters may be
written in the abridged notation or with list, dict, entry, var and i
elements.

Every "v " line must give each variable a value of its domain and satisfy
every constraint; an "o " line before it must give its objective value.
The output must end with an answer: its last "s " line is SATISFIABLE
(with a solution), UNSATISFIABLE (with none) or OPTIMUM FOUND.
--optimum N: the answer is "s OPTIMUM FOUND" and the last solution's value
is N; "s OPTIMUM FOUND" is refused without it.
--solutions N: the run (with -d, which prints no "s " line) printed N
solutions, no two alike.
--unknown: the run gives up: its last "s " line is "s UNKNOWN".
Instances with at most 10^6 assignments are also solved by brute force
here: the answer, the optimum and the solution count are confirmed.
An instance that Python's XML parser refuses is not checked: the exit
status is then 2 (1 for an output that fails a check).
"""
import itertools
import re
import sys
import xml.etree.ElementTree as ET

TOKEN = re.compile(r"\[|\]|\{|\}|/[A-Za-z]*|[A-Za-z_][A-Za-z0-9_]*|[+-]?\d+")
SYMBOLS = ("nil", "eq", "ne", "ge", "gt", "le", "lt")
KEY_ORDER = {"global:weightedsum": ["coef", "var"]}
NOT_WELL_FORMED = 2  # the exit status when Python's XML parser refuses the instance


def domain_values(text):
    values = set()
    for token in text.split():
        if ".." in token:
            lo, hi = token.split("..")
            values.update(range(int(lo), int(hi) + 1))
        else:
            values.add(int(token))
    return sorted(values)


def tuples_of(text, arity):
    values = [int(v) for v in re.findall(r"[+-]?\d+", text)]
    return {tuple(values[i:i + arity]) for i in range(0, len(values), arity)}


class Sym:
    def __init__(self, name):
        self.name = name


class Key:
    def __init__(self, name):
        self.name = name


def parameter_items(element, keys):
    """The parameters element as nested Python values: ints, variable
    names (str), lists, dicts and Sym."""
    stack = [[]]

    def text(t):
        for token in TOKEN.findall(t or ""):
            if token == "[" or token == "{":
                stack.append([token])
            elif token == "]" or token == "}":
                close(stack.pop())
            elif token.startswith("/"):
                stack[-1].append(Key(token[1:]))
            elif re.fullmatch(r"[+-]?\d+", token):
                stack[-1].append(int(token))
            else:
                stack[-1].append(token)

    def close(items):
        if items and items[0] == "{":
            stack[-1].append(make_dict(items[1:]))
        else:
            stack[-1].append(items[1:] if items and items[0] == "[" else items)

    def make_dict(items):
        if any(isinstance(i, Key) for i in items):
            d, key = {}, None
            for i in items:
                if isinstance(i, Key):
                    key = i.name
                else:
                    d[key] = i
            return d
        return {k: v for k, v in zip(keys, items) if not (isinstance(v, Sym) and v.name == "nil")}

    def walk(node):
        for child in node:
            tag = child.tag
            if tag == "list":
                stack.append(["["])
                text(child.text)
                walk(child)
                close(stack.pop())
            elif tag == "dict":
                stack.append(["{"])
                text(child.text)
                walk(child)
                close(stack.pop())
            elif tag == "entry":
                stack[-1].append(Key(child.get("key")))
                text(child.text)
                walk(child)
            elif tag == "var":
                stack[-1].append(child.get("name"))
            elif tag == "i":
                stack[-1].append(int(child.text))
            elif tag in SYMBOLS:
                stack[-1].append(Sym(tag))
            text(child.tail)

    text(element.text)
    walk(element)
    return stack[0]


def parse_functional(text, params):
    tokens = re.findall(r"[A-Za-z_][A-Za-z0-9_]*|-?\d+|[(),]", text)
    pos = 0

    def expr():
        nonlocal pos
        token = tokens[pos]
        pos += 1
        if re.fullmatch(r"-?\d+", token):
            return ("int", int(token))
        if token in ("true", "false"):
            return ("int", 1 if token == "true" else 0)
        if pos < len(tokens) and tokens[pos] == "(":
            pos += 1
            args = [expr()]
            while tokens[pos] == ",":
                pos += 1
                args.append(expr())
            assert tokens[pos] == ")"
            pos += 1
            return (token, args)
        return ("param", params.index(token))

    return expr()


def trunc_div(a, b):
    if b == 0:
        return 0
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


FUNCTIONS = {
    "neg": lambda a: -a, "abs": abs, "add": lambda a, b: a + b, "sub": lambda a, b: a - b,
    "mul": lambda a, b: a * b, "div": trunc_div,
    "mod": lambda a, b: 0 if b == 0 else a - b * trunc_div(a, b),
    "pow": lambda a, b: a ** b, "if": lambda c, t, e: t if c else e, "min": min, "max": max,
    "eq": lambda a, b: int(a == b), "ne": lambda a, b: int(a != b),
    "ge": lambda a, b: int(a >= b), "gt": lambda a, b: int(a > b),
    "le": lambda a, b: int(a <= b), "lt": lambda a, b: int(a < b),
    "not": lambda a: int(not a), "and": lambda a, b: int(bool(a) and bool(b)),
    "or": lambda a, b: int(bool(a) or bool(b)), "xor": lambda a, b: int(bool(a) != bool(b)),
    "iff": lambda a, b: int(bool(a) == bool(b)),
}


def evaluate(tree, args):
    kind, value = tree
    if kind == "int":
        return value
    if kind == "param":
        return args[value]
    return FUNCTIONS[kind](*[evaluate(a, args) for a in value])


def flatten(items):
    for i in items:
        if isinstance(i, list):
            yield from flatten(i)
        else:
            yield i


class NotWellFormed(Exception):
    """Python's XML parser refuses the instance."""


def parse_instance(path):
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as e:
        raise NotWellFormed(str(e))
    domains = {d.get("name"): domain_values(d.text or "") for d in root.iter("domain")}
    variables = [(v.get("name"), domains[v.get("domain")]) for v in root.iter("variable")]
    relations = {}
    for r in root.iter("relation"):
        relations[r.get("name")] = (r.get("semantics"), tuples_of(r.text or "", int(r.get("arity"))))
    predicates = {}
    for p in root.iter("predicate"):
        params = p.find("parameters").text.split()[1::2]
        functional = p.find("expression/functional")
        predicates[p.get("name")] = parse_functional(functional.text, params)
    checks, objective = [], None
    for c in root.iter("constraint"):
        name, ref, scope = c.get("name"), c.get("reference"), c.get("scope").split()
        ref_key = ref.lower() if ref.startswith("global:") else ref
        params_element = c.find("parameters")
        params = parameter_items(params_element, KEY_ORDER.get(ref_key, [])) \
            if params_element is not None else list(scope)
        if ref in relations:
            semantics, tuples = relations[ref]
            checks.append((name, lambda a, s=scope, sem=semantics, t=tuples:
                           (tuple(a[v] for v in s) in t) == (sem == "supports")))
        elif ref in predicates:
            checks.append((name, lambda a, p=list(flatten(params)), e=predicates[ref]:
                           evaluate(e, [a[x] if isinstance(x, str) else x for x in p]) != 0))
        elif ref_key == "global:alldifferent":
            checks.append((name, lambda a, s=scope: len({a[v] for v in s}) == len(s)))
        elif ref_key == "global:weightedsum":
            terms, symbol, rhs = params
            if len(terms) == 1 and terms[0]["coef"] == 0 and name.startswith("Optimize:m"):
                objective = ("max" if name.startswith("Optimize:maximize") else "min",
                             terms[0]["var"])
                continue
            compare = {"eq": lambda x, y: x == y, "ge": lambda x, y: x >= y,
                       "gt": lambda x, y: x > y, "le": lambda x, y: x <= y,
                       "lt": lambda x, y: x < y}[symbol.name]
            checks.append((name, lambda a, t=terms, cmp=compare, r=rhs:
                           cmp(sum(d["coef"] * a[d["var"]] for d in t), r)))
        else:
            raise SystemExit("checker: unknown reference %s" % ref)
    return variables, checks, objective


def brute_force(variables, checks, objective):
    """(number of solutions, best objective value or None), or None when
    the instance has more than 10^6 assignments."""
    size = 1
    for _, domain in variables:
        size *= len(domain)
    if size > 10 ** 6:
        return None
    names = [n for n, _ in variables]
    count, best = 0, None
    for values in itertools.product(*[d for _, d in variables]):
        a = dict(zip(names, values))
        if all(check(a) for _, check in checks):
            count += 1
            if objective:
                o = a[objective[1]]
                if best is None or (o < best if objective[0] == "min" else o > best):
                    best = o
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
            raise SystemExit("checker: unknown argument " + rest[0])
        rest = rest[2:]
    try:
        variables, checks, objective = parse_instance(instance)
    except NotWellFormed as e:
        print("checker: not well-formed XML: %s" % e)
        return NOT_WELL_FORMED
    names = [n for n, _ in variables]
    lines = open(output).read().split("\n")
    errors = []
    found, last_o = [], None
    for line in lines:
        if line.startswith("o "):
            last_o = int(line[2:])
        if not line.startswith("v "):
            continue
        values = [int(v) for v in line[2:].split()]
        if len(values) != len(names):
            print("checker: %d values for %d variables" % (len(values), len(names)))
            return 1
        a = dict(zip(names, values))
        for (n, domain), v in zip(variables, values):
            if v not in domain:
                errors.append("%s = %d outside its domain" % (n, v))
        for cname, check in checks:
            if not check(a):
                errors.append("constraint %s violated by %s" % (cname, line))
        if objective and last_o is not None and a[objective[1]] != last_o:
            errors.append("o %d but the objective is %d" % (last_o, a[objective[1]]))
        last_o = None
        found.append(a)
    status = [l for l in lines if l.startswith("s ")]
    final = status[-1] if status else None
    brute = brute_force(variables, checks, objective)
    count, best = brute if brute else (None, None)
    if unknown:
        if final != "s UNKNOWN":
            errors.append("expected s UNKNOWN, got %s" % final)
    elif solutions is None:
        if final not in ("s SATISFIABLE", "s UNSATISFIABLE", "s OPTIMUM FOUND"):
            errors.append("no answer: the last status line is %s" % final)
        elif brute and (final == "s UNSATISFIABLE") != (count == 0):
            errors.append("%s, but %d solutions exist" % (final, count))
        elif brute and objective and count and final != "s OPTIMUM FOUND":
            errors.append("%s, but the optimum is %s" % (final, best))
    if final == "s SATISFIABLE" and not found:
        errors.append("SATISFIABLE without a solution line")
    if final == "s UNSATISFIABLE" and found:
        errors.append("UNSATISFIABLE after a solution line")
    if brute and found and not count:
        errors.append("solutions printed for an unsatisfiable instance")
    if optimum is not None and final != "s OPTIMUM FOUND":
        errors.append("the known optimum %d is given, but the answer is %s" % (optimum, final))
    if final == "s OPTIMUM FOUND":
        if optimum is None or not objective or not found or found[-1][objective[1]] != optimum:
            errors.append("optimum not confirmed: the last solution does not have the known "
                          "optimum %s" % optimum)
        if brute and optimum is not None and best != optimum:
            errors.append("the optimum is %s, expected %d" % (best, optimum))
    if solutions is not None:
        distinct = {tuple(sorted(a.items())) for a in found}
        if len(found) != solutions or len(distinct) != len(found):
            errors.append("%d solutions printed (%d different), expected %d"
                          % (len(found), len(distinct), solutions))
        if brute and solutions != count:
            errors.append("%d solutions exist, expected %d" % (count, solutions))
    for e in errors:
        print("checker: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
