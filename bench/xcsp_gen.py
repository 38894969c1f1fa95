#!/usr/bin/env python3
"""Writes a large XCSP 2.1 instance for the reading benchmark.

  xcsp_gen.py VARIABLES TUPLES [--relations R] [--seed N] > instance.xml

VARIABLES variables over 0..999, R support relations of arity 3 holding
TUPLES random tuples in all (TUPLES / R each), and one constraint per
disjoint triple of variables, the relations taken in turn. Every relation
holds at least one tuple, so the instance is satisfiable.
"""
import random
import sys


def main(argv):
    variables, tuples = int(argv[0]), int(argv[1])
    relations, seed = 1000, 1
    rest = argv[2:]
    while rest:
        if rest[0] == "--relations":
            relations = int(rest[1])
        elif rest[0] == "--seed":
            seed = int(rest[1])
        rest = rest[2:]
    rng = random.Random(seed)
    out = sys.stdout
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<instance>\n'
              '<presentation name="bench" format="XCSP 2.1"/>\n'
              '<domains nbDomains="1">\n<domain name="D" nbValues="1000">0..999</domain>\n'
              '</domains>\n')
    out.write('<variables nbVariables="%d">\n' % variables)
    for i in range(variables):
        out.write('<variable name="V%d" domain="D"/>\n' % i)
    out.write('</variables>\n<relations nbRelations="%d">\n' % relations)
    for r in range(relations):
        count = tuples // relations + (1 if r < tuples % relations else 0)
        out.write('<relation name="R%d" arity="3" nbTuples="%d" semantics="supports">' % (r, count))
        out.write("|".join("%d %d %d" % (rng.randrange(1000), rng.randrange(1000),
                                         rng.randrange(1000)) for _ in range(count)))
        out.write('</relation>\n')
    constraints = variables // 3
    out.write('</relations>\n<constraints nbConstraints="%d">\n' % constraints)
    for c in range(constraints):
        out.write('<constraint name="C%d" arity="3" scope="V%d V%d V%d" reference="R%d"/>\n'
                  % (c, 3 * c, 3 * c + 1, 3 * c + 2, c % relations))
    out.write('</constraints>\n</instance>\n')


if __name__ == "__main__":
    main(sys.argv[1:])
