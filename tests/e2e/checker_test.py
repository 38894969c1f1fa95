#!/usr/bin/env python3
"""Feeds a format's checker (FORMAT/check_FORMAT.py) a table of outputs
written by hand, which it must accept or refuse: each refused output breaks
one thing the checker claims to check, next to an output it must accept.

  checker_test.py FORMAT        (opb, xcsp, c_like or flatzinc)

An accepted output must give status 0; a refused one status 1 (2 for an
XCSP instance that Python's XML parser refuses), and both nothing on
standard error, so that a crash of the checker never passes for a refusal.
For XCSP, the fuzz test's reading of the checker's verdict and the
optimum the random differential test expects are tested too.
Prints every entry that goes wrong and exits 1 if there is one.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ACCEPT, REFUSE, NOT_WELL_FORMED = 0, 1, 2

# (expected status, instance, checker arguments, output, what the entry tests)
OPB = [
    (ACCEPT, "sat.opb", [], "s SATISFIABLE\nv  -x1 x2 x3 x4 -x5 -x6\n", "a solution"),
    (ACCEPT, "php.opb", [], "s UNSATISFIABLE\n", "unsatisfiable"),
    (ACCEPT, "knapsack.opb", ["--optimum", "23"],
     "s SATISFIABLE\no 21\nv  a -b -c d e -f -g\no 23\nv  a -b c d -e -f -g\ns OPTIMUM FOUND\n",
     "improving solutions, the last optimal"),
    (ACCEPT, "three_of_four.opb", ["--solutions", "5"],
     "v  -a b c d\nv  a b c d\nv  a -b c d\nv  a b -c d\nv  a b c -d\n", "all solutions"),
    (ACCEPT, "php.opb", ["--unknown"], "s UNKNOWN\n", "a run that gives up, as expected"),
    (REFUSE, "knapsack.opb", ["--optimum", "23"], "", "no answer to an optimisation"),
    (REFUSE, "sat.opb", [], "c Solving\n", "no answer to an instance brute force solves"),
    (REFUSE, "sat.opb", [], "s UNKNOWN\n", "s UNKNOWN without --unknown"),
    (REFUSE, "php.opb", ["--unknown"], "s UNSATISFIABLE\n", "an answer where none is expected"),
    (REFUSE, "sat.opb", [], "s SATISFIABLE\n", "SATISFIABLE without a solution"),
    (REFUSE, "sat.opb", [], "s UNSATISFIABLE\n", "UNSATISFIABLE on a satisfiable instance"),
    (REFUSE, "php.opb", [], "s SATISFIABLE\nv  p0_0 -p0_1\n", "SATISFIABLE on an unsatisfiable one"),
    (REFUSE, "sat.opb", [], "s SATISFIABLE\nv  x1 -x2 -x3 x4 -x5 -x6\n", "a violated constraint"),
    (REFUSE, "sat.opb", [], "s SATISFIABLE\nv  -x1 x2 x3 x4 -x5\n", "a variable left out"),
    (REFUSE, "knapsack.opb", ["--optimum", "23"],
     "s SATISFIABLE\no 21\nv  a -b -c d e -f -g\n", "an optimisation that stops short"),
    (REFUSE, "knapsack.opb", ["--optimum", "23"],
     "s SATISFIABLE\no 21\nv  a -b -c d e -f -g\ns OPTIMUM FOUND\n", "a claimed optimum below it"),
    (REFUSE, "knapsack.opb", ["--optimum", "21"],
     "s SATISFIABLE\no 21\nv  a -b -c d e -f -g\ns OPTIMUM FOUND\n",
     "a wrong expected optimum (brute force finds 23)"),
    (REFUSE, "knapsack.opb", [],
     "s SATISFIABLE\no 23\nv  a -b c d -e -f -g\ns OPTIMUM FOUND\n", "an optimum nobody confirms"),
    (REFUSE, "knapsack.opb", ["--optimum", "23"],
     "s SATISFIABLE\no 20\nv  a -b c d -e -f -g\ns OPTIMUM FOUND\n", "a wrong o line"),
    (REFUSE, "three_of_four.opb", ["--solutions", "5"],
     "v  -a b c d\nv  a b c d\nv  a -b c d\nv  a b -c d\nv  a b c d\n", "a solution twice"),
    (REFUSE, "three_of_four.opb", ["--solutions", "4"],
     "v  -a b c d\nv  a b c d\nv  a -b c d\nv  a b -c d\n", "a solution missing"),
]

QUEENS = "s SATISFIABLE\nc Q0=2, Q1=4, Q2=1, Q3=3, \nv 2 4 1 3 \n"
MINIMIZE = "s SATISFIABLE\no 0\nv 0 1 2 0 \no -1\nv 0 1 3 -1 \ns OPTIMUM FOUND\n"
XCSP = [
    (ACCEPT, "queens4.xml", [], QUEENS, "a solution"),
    (ACCEPT, "pigeons.xml", [], "s UNSATISFIABLE\n", "unsatisfiable"),
    (ACCEPT, "queens4.xml", ["--solutions", "2"], "v 2 4 1 3 \nv 3 1 4 2 \n", "all solutions"),
    (ACCEPT, "minimize.xml", ["--optimum", "-1"], MINIMIZE, "improving solutions, the last optimal"),
    (REFUSE, "queens4.xml", [], "s SATISFIABLE\n", "SATISFIABLE without a v line"),
    (REFUSE, "queens4.xml", ["--solutions", "2"], "v 2 4 1 3 \nv 2 4 1 3 \n", "a solution twice"),
    (REFUSE, "queens4.xml", ["--solutions", "1"], "v 2 4 1 3 \n", "a solution missing"),
    (REFUSE, "queens4.xml", ["--solutions", "2"], "v 2 4 1 3 \nv 3 1 4 2 \nv 2 4 1 3 \n",
     "both solutions, one of them twice"),
    (REFUSE, "queens4.xml", [], "", "no answer"),
    (REFUSE, "queens4.xml", [], "s UNKNOWN\n", "s UNKNOWN without --unknown"),
    (REFUSE, "queens4.xml", [], "s SATISFIABLE\nv 1 2 3 4 \n", "a violated constraint"),
    (REFUSE, "queens4.xml", [], "s SATISFIABLE\nv 2 4 1 5 \n", "a value outside its domain"),
    (REFUSE, "queens4.xml", [], "s SATISFIABLE\nv 2 4 1 \n", "a variable left out"),
    (REFUSE, "queens4.xml", [], "s UNSATISFIABLE\n", "UNSATISFIABLE on a satisfiable instance"),
    (REFUSE, "pigeons.xml", [], "s SATISFIABLE\nv 0 1 2 0 \n", "SATISFIABLE on an unsatisfiable one"),
    (REFUSE, "minimize.xml", ["--optimum", "-1"], MINIMIZE.replace("s OPTIMUM FOUND\n", ""),
     "an optimisation that stops short"),
    (REFUSE, "minimize.xml", ["--optimum", "-1"], "s SATISFIABLE\no 0\nv 0 1 2 0 \ns OPTIMUM FOUND\n",
     "a claimed optimum above it"),
    (REFUSE, "minimize.xml", ["--optimum", "0"], "s SATISFIABLE\no 0\nv 0 1 2 0 \ns OPTIMUM FOUND\n",
     "a wrong expected optimum (brute force finds -1)"),
    (REFUSE, "minimize.xml", [], MINIMIZE, "an optimum nobody confirms"),
    (REFUSE, "minimize.xml", ["--optimum", "-1"], MINIMIZE.replace("o -1", "o -2"), "a wrong o line"),
    (NOT_WELL_FORMED, "<instance><domains>", [], QUEENS, "an instance Python's XML parser refuses"),
]

BEST_XY = "s SATISFIABLE\no 1\nc x=2, y=1, \nv 2 1 \ns OPTIMUM FOUND\n"
C_LIKE = [
    (ACCEPT, "maximize.c", [], BEST_XY, "the optimum"),
    (ACCEPT, "maximize.c", ["--optimum", "1"], BEST_XY, "the optimum, as expected"),
    (ACCEPT, "unsat.c", [], "s UNSATISFIABLE\n", "unsatisfiable"),
    (ACCEPT, "unsat_objective.c", ["--unsat"], "s UNSATISFIABLE\n", "unsatisfiable, as expected"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("v 2 1", "v 2 0"),
     "a v line that is not the optimum, under a comment that is"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("v 2 1", "v 1 2"), "a v line the comment contradicts"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("c x=2, y=1, \n", ""), "a v line without its comment"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("v 2 1 \n", ""), "a comment without its v line"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("v 2 1", "v 2"), "a value missing from the v line"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("v 2 1", "v 2 1 0"), "a value too many"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("v 2 1", "v 2 one"), "a v line that is not numbers"),
    (REFUSE, "maximize.c", [], "c x=2, y=1, \nv 2 1 \n", "no status line"),
    (REFUSE, "maximize.c", [], "", "no answer"),
    (REFUSE, "maximize.c", [], BEST_XY.replace("o 1", "o 2"), "a wrong o line"),
    (REFUSE, "maximize.c", ["--optimum", "2"], BEST_XY, "a wrong expected optimum (brute force: 1)"),
    (REFUSE, "unsat.c", [], "s SATISFIABLE\nc x=1, y=2, z=3, \nv 1 2 3 \n",
     "SATISFIABLE on an unsatisfiable model"),
    (REFUSE, "maximize.c", ["--unsat"], "s UNSATISFIABLE\n",
     "a wrong --unsat (brute force finds solutions)"),
]

QUEENS_6 = ["q = array1d(1..6, [%s]);\n----------\n" % q for q in
            ("5, 3, 1, 6, 4, 2", "2, 4, 6, 1, 3, 5", "3, 6, 2, 5, 1, 4", "4, 1, 5, 2, 6, 3")]
KNAPSACK = ["take = array1d(1..8, [%s]);\n----------\n" % t for t in
            ("false, false, true, false, true, true, true, false",
             "false, true, true, true, false, false, true, false")]
GOLOMB_5 = "mark = array1d(1..5, [0, 1, 3, 7, 12]);\n----------\n"
VAR_INT = "x = 33;\ny = 3;\n----------\n==========\n"
FLATZINC = [
    (ACCEPT, "queens_6.fzn", ["--solutions", "4"], "".join(QUEENS_6) + "==========\n",
     "all solutions, counted here"),
    (ACCEPT, "queens_6.fzn", ["--solutions", "all"], "".join(QUEENS_6) + "==========\n",
     "all solutions"),
    (ACCEPT, "knapsack.fzn", ["--optimum", "78"], "".join(KNAPSACK) + "==========\n",
     "improving solutions, the last optimal, confirmed here"),
    (ACCEPT, "var_int.fzn", ["--optimum", "33", "--source", "by hand"], VAR_INT,
     "an optimum beyond the enumeration (x has no bounds), with its source"),
    (REFUSE, "queens_6.fzn", ["--solutions", "3"], "".join(QUEENS_6[:3]) + "==========\n",
     "a wrong expected count (enumeration: 4)"),
    (REFUSE, "queens_6.fzn", ["--solutions", "4"],
     "".join(QUEENS_6[:3] + QUEENS_6[:1]) + "==========\n", "a solution twice"),
    (REFUSE, "queens_6.fzn", ["--solutions", "4"], "".join(QUEENS_6), "no closing line"),
    (REFUSE, "queens_6.fzn", [], "q = array1d(1..6, [1, 2, 3, 4, 5, 6]);\n----------\n",
     "a violated constraint"),
    (REFUSE, "queens_6.fzn", [], "", "no solution"),
    (REFUSE, "golomb_5.fzn", ["--optimum", "12"], GOLOMB_5 + "==========\n",
     "a wrong expected optimum (enumeration finds a shorter ruler)"),
    (REFUSE, "knapsack.fzn", ["--optimum", "78"], KNAPSACK[0] + "==========\n",
     "an optimisation that stops short"),
    (REFUSE, "knapsack.fzn", ["--optimum", "78"], "".join(KNAPSACK), "no closing line"),
    (REFUSE, "knapsack.fzn", ["--optimum", "78"], "".join(KNAPSACK[::-1]) + "==========\n",
     "solutions that do not improve"),
    (REFUSE, "var_int.fzn", ["--optimum", "33"], VAR_INT,
     "an optimum beyond the enumeration, without its source"),
    (REFUSE, "var_int.fzn", ["--optimum", "33", "--source", "by hand"], "",
     "no answer, with a source"),
]

TABLES = {"opb": OPB, "xcsp": XCSP, "c_like": C_LIKE, "flatzinc": FLATZINC}


def run_table(fmt, workdir):
    failures = 0
    checker = os.path.join(HERE, fmt, "check_%s.py" % fmt)
    for expected, instance, arguments, output, what in TABLES[fmt]:
        if instance.startswith("<"):
            path = os.path.join(workdir, "instance")
            with open(path, "w") as f:
                f.write(instance)
        else:
            path = os.path.join(HERE, fmt, "instances", instance)
        out = os.path.join(workdir, "output.txt")
        with open(out, "w") as f:
            f.write(output)
        run = subprocess.run([sys.executable, checker, path, out] + arguments,
                             capture_output=True, text=True)
        if run.returncode != expected or run.stderr:
            failures += 1
            print("%s %s (%s): status %d, expected %d\n%s%s"
                  % (instance, " ".join(arguments), what, run.returncode, expected,
                     run.stdout, run.stderr))
    return failures


def xcsp_helpers():
    """Failures of the fuzz test's reading of the checker's verdict and of
    the optimum the differential test hands the checker."""
    sys.path.insert(0, os.path.join(HERE, "xcsp"))
    sys.path.insert(0, HERE)
    import small_differential
    import xml_fuzz
    failures = 0
    verdicts = [  # (status, stdout, stderr, whether the answer passes)
        (0, "", "", True),
        (2, "checker: not well-formed XML: no element found: line 1, column 0\n", "", True),
        (1, "checker: constraint C0 violated by v 1 1\n", "", False),
        (1, "", "Traceback (most recent call last):\nKeyError: 'D'\n", False),
        (2, "", "Traceback (most recent call last):\nRecursionError\n", False),
        (2, "checker: a message of another kind\n", "", False),
    ]
    for status, out, err, passes in verdicts:
        if (xml_fuzz.checker_verdict(status, out, err) is None) != passes:
            failures += 1
            print("xml_fuzz reads status %d, %r, %r wrongly" % (status, out, err))
    minimize = os.path.join(HERE, "xcsp", "instances", "minimize.xml")
    for output in (MINIMIZE, MINIMIZE.replace("s OPTIMUM FOUND\n", "")):
        arguments = small_differential.xcsp_checks(output, [], True, minimize)
        if arguments != ["--optimum", "-1"]:
            failures += 1
            print("small_differential expects %s, not the optimum -1" % arguments)
    return failures


def main(argv):
    fmt = argv[0]
    with tempfile.TemporaryDirectory() as workdir:
        failures = run_table(fmt, workdir)
    if fmt == "xcsp":
        failures += xcsp_helpers()
    print("%d outputs fed to check_%s.py, %d answered wrongly" % (len(TABLES[fmt]), fmt, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
