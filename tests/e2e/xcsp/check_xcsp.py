#!/usr/bin/env python3
"""Checks what qarn printed for an XCSP 2.1 instance, independently of qarn.

  check_xcsp.py INSTANCE OUTPUT [--optimum N] [--solutions N]

The instance is read with Python's own XML parser: domains, variables,
relations (supports, conflicts), predicates in functional syntax, and
constraints over relations, predicates, global:alldifferent and
global:weightedsum (an "Optimize:minimize"/"Optimize:maximize" weighted sum
of one term with coefficient 0 names the objective). Parameters may be
written in the abridged notation or with list, dict, entry, var and i
elements.

Every "v " line must give each variable a value of its domain and satisfy
every constraint; an "o " line before it must give its objective value.
"s OPTIMUM FOUND" needs --optimum: the last solution's value must be it.
--solutions N: the run printed N different solutions and none twice. Instances with at
most 10^6 assignments are also solved by brute force here: the optimum, the
solution count and "s UNSATISFIABLE" are confirmed.
"""
import itertools
import re
import sys
import xml.etree.ElementTree as ET

TOKEN = re.compile(r"\[|\]|\{|\}|/[A-Za-z]*|[A-Za-z_][A-Za-z0-9_]*|[+-]?\d+")
SYMBOLS = ("nil", "eq", "ne", "ge", "gt", "le", "lt")
KEY_ORDER = {"global:weightedsum": ["coef", "var"]}


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


def parse_instance(path):
    root = ET.parse(path).getroot()
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


def main(argv):
    instance, output = argv[0], argv[1]
    optimum = solutions = None
    rest = argv[2:]
    while rest:
        if rest[0] == "--optimum":
            optimum = int(rest[1])
        elif rest[0] == "--solutions":
            solutions = int(rest[1])
        rest = rest[2:]
    variables, checks, objective = parse_instance(instance)
    names = [n for n, _ in variables]
    lines = open(output).read().split("\n")
    ok = True
    found, last_o, seen = [], None, set()
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
                print("checker: %s = %d outside its domain" % (n, v))
                ok = False
        for cname, check in checks:
            if not check(a):
                print("checker: constraint %s violated by %s" % (cname, line))
                ok = False
        if objective and last_o is not None and a[objective[1]] != last_o:
            print("checker: o %d but the objective is %d" % (last_o, a[objective[1]]))
            ok = False
        found.append(a)
        if solutions is not None and tuple(values) in seen:
            print("checker: solution printed twice: %s" % line)
            ok = False
        seen.add(tuple(values))
    status = [l for l in lines if l.startswith("s ")]
    if "s OPTIMUM FOUND" in status:
        if optimum is None or not found or found[-1][objective[1]] != optimum:
            print("checker: optimum not confirmed")
            ok = False
    if solutions is not None and len(seen) != solutions:
        print("checker: %d different solutions, expected %d" % (len(seen), solutions))
        ok = False

    size = 1
    for _, domain in variables:
        size *= len(domain)
    if size <= 10 ** 6:
        count, best = 0, None
        for values in itertools.product(*[d for _, d in variables]):
            a = dict(zip(names, values))
            if all(check(a) for _, check in checks):
                count += 1
                if objective:
                    o = a[objective[1]]
                    if best is None or (o < best if objective[0] == "min" else o > best):
                        best = o
        if "s UNSATISFIABLE" in status and count:
            print("checker: UNSATISFIABLE but %d solutions exist" % count)
            ok = False
        if found and not count:
            print("checker: solutions printed for an unsatisfiable instance")
            ok = False
        if solutions is not None and solutions != count:
            print("checker: %d solutions exist, expected %d" % (count, solutions))
            ok = False
        if optimum is not None and best != optimum:
            print("checker: the optimum is %s, expected %d" % (best, optimum))
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
