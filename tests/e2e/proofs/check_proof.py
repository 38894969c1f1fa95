#!/usr/bin/env python3
"""Checks the resolution proof in a run's output, independently of the program.

  check_proof.py OUTPUT [--small] [--declared REGEX=SET]...

OUTPUT is what qarn wrote for one instance with -p (any format). The proof
is the run of blocks separated by blank lines that starts with the first
line beginning "resolve[", "constraint[" or "rule " and ends with the first
consequent that is the empty clause. Each block is one step:

  explanation    HEADER (naming constraint[N]) / consequent: [ID] CLAUSE
  resolution     resolve[V] [ID1] C1 with [ID2] C2 / consequent: [ID3] C3
  initial        resolve[V] [ID1] C1 with initial domain (V=v or V:{set})
                 / consequent: [ID2] C2

A step may use only model constraints (numbers below the N of the
"with N constraints" line), explanations of model constraints stated by an
earlier block, and clauses derived by earlier steps; a clause met again
must have the same literals. Every resolvent is re-derived over the set
literals: the other literals of both clauses (one literal per variable, the
union of its sets) and the pivot's two sets intersected, when not empty. An
initial-domain step must state a non-empty domain the clause's literal on
that variable misses, the same domain every time, and (with --declared) one
that holds the declared domain of every variable whose name matches REGEX.
The proof must end in the empty clause and start on a line of its own.

Trusted, not re-derived: the literals of a model clause (taken as first
written, then held to) and of an explanation (it is checked only to cite a
model constraint; checking it against the constraint by brute force would
need the model).

Exit status 0 when the proof is accepted; otherwise 1 and one line per fault
on standard output. --small: literals range over 0..31 (qarn-small).
"""
import re
import sys

INT_MIN, INT_MAX = -2 ** 31, 2 ** 31 - 1


class ProofError(Exception):
    pass


# ---- sets: sorted lists of disjoint, non-adjacent (lo, hi) ranges

def normalise(ranges):
    out = []
    for lo, hi in sorted(ranges):
        if out and lo <= out[-1][1] + 1:
            out[-1] = (out[-1][0], max(out[-1][1], hi))
        else:
            out.append((lo, hi))
    return out


def intersect(a, b):
    out, i, j = [], 0, 0
    while i < len(a) and j < len(b):
        lo, hi = max(a[i][0], b[j][0]), min(a[i][1], b[j][1])
        if lo <= hi:
            out.append((lo, hi))
        if a[i][1] < b[j][1]:
            i += 1
        else:
            j += 1
    return out


def union(a, b):
    return normalise(a + b)


def parse_set(text):
    """The printed form: items "v", "lo:hi" or "lo:step:hi" separated by commas."""
    ranges = []
    for item in text.split(",") if text else []:
        parts = [int(p) for p in item.split(":")]
        if len(parts) == 1:
            ranges.append((parts[0], parts[0]))
        elif len(parts) == 2:
            ranges.append((parts[0], parts[1]))
        elif len(parts) == 3:
            lo, step, hi = parts
            if (hi - lo) // step > 100000:
                raise ProofError("strided set too large to check: " + item)
            ranges.extend((v, v) for v in range(lo, hi + 1, step))
        else:
            raise ProofError("unreadable set item: " + item)
    return normalise(ranges)


class Reader:
    def __init__(self, lo, hi):
        self.lo, self.hi = lo, hi

    def literal(self, text):
        """(variable, set) of one printed literal."""
        at = text.rfind(":{")
        if at > 0 and text.endswith("}"):
            return text[:at], parse_set(text[at + 2:-1])
        m = re.match(r"^(.+?)(!=|<=|>=|=)(-?\d+)$", text)
        if not m:
            raise ProofError("unreadable literal: " + text)
        name, op, v = m.group(1), m.group(2), int(m.group(3))
        if op == "=":
            return name, [(v, v)]
        if op == "<=":
            return name, [(self.lo, v)]
        if op == ">=":
            return name, [(v, self.hi)]
        return name, normalise([r for r in ((self.lo, v - 1), (v + 1, self.hi)) if r[0] <= r[1]])

    def clause(self, text):
        """A clause as a dict from variable to its set (literals on one
        variable united; empty literals dropped)."""
        if not (text.startswith("[") and text.endswith("]")):
            raise ProofError("unreadable clause: " + text)
        body = text[1:-1]
        out = {}
        for lit in body.split(", ") if body else []:
            name, values = self.literal(lit)
            out[name] = union(out.get(name, []), values)
        return {k: v for k, v in out.items() if v}

    def domain(self, variable, text):
        """The initial domain of an initial-domain step: "V=v" or "V:{set}"."""
        if text.startswith(variable + "=") and text != variable + "=":
            return [(int(text[len(variable) + 1:]),) * 2]
        if text.startswith(variable + ":{") and text.endswith("}"):
            return parse_set(text[len(variable) + 2:-1])
        raise ProofError("unreadable initial domain: " + text)


def resolve(c1, c2, v):
    out = {}
    for c in (c1, c2):
        for name, values in c.items():
            if name != v:
                out[name] = union(out.get(name, []), values)
    pivot = intersect(c1.get(v, []), c2.get(v, []))
    if pivot:
        out[v] = pivot
    return out


def show(clause):
    return "[" + ", ".join("%s:%s" % (k, v) for k, v in sorted(clause.items())) + "]"


RESOLVE = re.compile(r"^resolve\[(.+?)\] \[(-?\d+)\] (\[.*\]) with \[(-?\d+)\] (\[.*\])$")
INITIAL = re.compile(r"^resolve\[(.+?)\] \[(-?\d+)\] (\[.*\]) with initial domain \((.*)\)$")
CONSEQUENT = re.compile(r"^consequent: \[(-?\d+)\] (\[.*\])$")
PROOF_START = ("resolve[", "constraint[", "rule ")


def proof_blocks(lines):
    """The proof's blocks (lists of lines), from its first line to the block
    whose consequent is the empty clause."""
    start = next((i for i, l in enumerate(lines) if l.startswith(PROOF_START)), None)
    if start is None:
        raise ProofError("no proof in the output")
    blocks, block = [], []
    for line in lines[start:]:
        if line:
            block.append(line)
            if line.startswith("consequent: "):
                blocks.append(block)
                block = []
                if line.endswith("] []"):
                    return blocks
        elif block:
            raise ProofError("block without consequent: " + " / ".join(block))
    raise ProofError("the proof does not end in the empty clause")


class Checker:
    def __init__(self, model_count, reader, declared):
        self.model_count = model_count
        self.reader = reader
        self.declared = declared     # [(compiled regex, set)]
        self.model = {}              # id -> clause of a model constraint
        self.explanations = {}       # id -> clause
        self.derived = {}            # id -> clause
        self.domains = {}            # variable -> stated initial domain
        self.faults = []

    def fault(self, text):
        self.faults.append(text)

    def operand(self, ident, clause):
        if ident in self.derived:
            known = self.derived[ident]
        elif ident in self.explanations:
            known = self.explanations[ident]
        elif 0 <= ident < self.model_count:
            known = self.model.setdefault(ident, clause)
        else:
            self.fault("clause [%d] is neither a model constraint nor derived earlier" % ident)
            return
        if known != clause:
            self.fault("clause [%d] has other literals than before: %s, not %s"
                       % (ident, show(clause), show(known)))

    def result(self, ident, clause):
        if 0 <= ident < self.model_count:
            self.fault("derived clause [%d] takes a model constraint's number" % ident)
        elif ident in self.explanations:
            self.fault("derived clause [%d] takes an explanation's number" % ident)
        elif ident in self.derived and self.derived[ident] != clause:
            self.fault("clause [%d] derived again with other literals" % ident)
        self.derived[ident] = clause

    def block(self, block):
        m = CONSEQUENT.match(block[-1])
        if not m:
            raise ProofError("unreadable consequent: " + block[-1])
        ident, consequent = int(m.group(1)), self.reader.clause(m.group(2))
        first = block[0]
        if len(block) == 2 and first.startswith("resolve["):
            mi = INITIAL.match(first)
            if mi:
                v, id1, c1 = mi.group(1), int(mi.group(2)), self.reader.clause(mi.group(3))
                domain = self.reader.domain(v, mi.group(4))
                self.operand(id1, c1)
                if not domain:
                    self.fault("initial domain of %s is empty" % v)
                if self.domains.setdefault(v, domain) != domain:
                    self.fault("initial domain of %s differs from the one stated before" % v)
                for pattern, values in self.declared:
                    if pattern.fullmatch(v) and intersect(domain, values) != values:
                        self.fault("initial domain of %s does not hold its declared domain" % v)
                if intersect(c1.get(v, []), domain):
                    self.fault("clause [%d] meets the initial domain of %s" % (id1, v))
                rest = {k: s for k, s in c1.items() if k != v}
                if rest != consequent:
                    self.fault("initial resolution of [%d] on %s gives %s, not %s"
                               % (id1, v, show(rest), show(consequent)))
                self.result(ident, consequent)
                return
            mr = RESOLVE.match(first)
            if not mr:
                raise ProofError("unreadable step: " + first)
            v = mr.group(1)
            id1, c1 = int(mr.group(2)), self.reader.clause(mr.group(3))
            id2, c2 = int(mr.group(4)), self.reader.clause(mr.group(5))
            self.operand(id1, c1)
            self.operand(id2, c2)
            expected = resolve(c1, c2, v)
            if expected != consequent:
                self.fault("resolving [%d] with [%d] on %s gives %s, not [%d] %s"
                           % (id1, id2, v, show(expected), ident, show(consequent)))
            self.result(ident, consequent)
            return
        # An explanation: the constraint it cites must be a model constraint.
        header = " ".join(block[:-1])
        mc = re.search(r"constraint\[(\d+)\]", header)
        if not mc:
            raise ProofError("explanation without a constraint: " + header)
        if int(mc.group(1)) >= self.model_count:
            self.fault("explanation [%d] cites constraint[%s], not a model constraint"
                       % (ident, mc.group(1)))
        if ident >= 0 or ident in self.derived:
            self.fault("explanation takes the number [%d] of another clause" % ident)
        self.explanations[ident] = consequent


def check(text, small=False, declared=()):
    """The faults of the proof in one run's output (empty: accepted)."""
    lines = text.split("\n")
    counts = [int(m.group(1)) for m in
              (re.match(r"^[c%]+ with (\d+) constraints$", l) for l in lines) if m]
    if len(counts) != 1:
        return ["expected one 'with N constraints' line, found %d" % len(counts)]
    for l in lines:
        if "Solving " in l and l.split("Solving ", 1)[1].startswith(PROOF_START):
            return ["the proof starts on the \"Solving \" line"]
    reader = Reader(0, 31) if small else Reader(INT_MIN, INT_MAX)
    checker = Checker(counts[0], reader,
                      [(re.compile(p), reader.clause("[x:{%s}]" % s)["x"]) for p, s in declared])
    try:
        for block in proof_blocks(lines):
            checker.block(block)
    except ProofError as e:
        checker.fault(str(e))
    return checker.faults


def main(argv):
    args, small, declared = [], False, []
    i = 0
    while i < len(argv):
        if argv[i] == "--small":
            small = True
        elif argv[i] == "--declared":
            i += 1
            pattern, _, values = argv[i].rpartition("=")
            declared.append((pattern, values))
        else:
            args.append(argv[i])
        i += 1
    if len(args) != 1:
        print("usage: check_proof.py OUTPUT [--small] [--declared REGEX=SET]...")
        return 2
    with open(args[0]) as f:
        faults = check(f.read(), small, declared)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
