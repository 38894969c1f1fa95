#!/usr/bin/env python3
"""Runs qarn -F opb over a directory of OPB instances and compares it with
the PB solvers that are installed (minisat+ and clasp, Debian packages of
those names) or with qarn-small.

  opb_bench.py [--qarn PATH] [--qarn-small PATH] [--timeout SECONDS] [--solvers LIST] DIR

One line per instance and solver: the answer (OPT, SAT, UNSAT, UNK when the
solver gave up, for example on products it cannot read, or - when nothing was
found in time), the best objective value, CPU seconds, peak
memory (measured by GNU time; coreutils' timeout ends a run), and for the
other solvers the ratio of qarn's time to theirs. Every solver's final
solution is checked against the instance (with tests/e2e/opb/check_opb.py) and
its objective computed from it; answers that contradict each other are
flagged. A summary follows.
--solvers qarn-small compares qarn with qarn-small: an instance whose values
go beyond 0..31 is answered RANGE by qarn-small (its out-of-range message)
and left out of the time ratio, which thus covers the instances that fit.
A suite of instance families: ../shared/bench/opb/gen.py suite DIR [SCALE].
"""
import argparse
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "opb"))
import check_opb  # noqa: E402

COMMANDS = {
    "qarn": lambda paths, f: [paths["qarn"], "-F", "opb", "-s", "1", f],
    "qarn-small": lambda paths, f: [paths["qarn-small"], "-F", "opb", "-s", "1", f],
    "minisat+": lambda _, f: ["minisat+", f],
    "clasp": lambda _, f: ["clasp", f],
}


def run(command, timeout):
    """(output, cpu seconds, peak memory in MiB, timed out). GNU time measures
    the run, which coreutils' timeout ends after the time limit."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as usage:
        proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", usage.name,
                               "timeout", "-k", "1", "%g" % timeout] + command,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        user, system, kib = usage.read().split("\n")[-2].split()
    timed_out = proc.returncode in (124, 137)
    return (proc.stdout.decode(errors="replace"), float(user) + float(system), int(kib) / 1024.0,
            timed_out)


def answer(text):
    """(answer, final solution as {name: 0 or 1} or None, last "o " value or None)."""
    words = {"OPTIMUM FOUND": "OPT", "SATISFIABLE": "SAT", "UNSATISFIABLE": "UNSAT",
             "UNKNOWN": "UNK"}
    result = "RANGE" if "small_iset out of range" in text else "-"
    for s in re.findall(r"(?m)^s (.*)$", text):
        if result != "OPT":
            result = words.get(s.strip(), result)
    lines = text.splitlines()
    objective_lines = [i for i, l in enumerate(lines) if l.startswith("o ")]
    claimed = int(lines[objective_lines[-1]][2:]) if objective_lines else None
    # The final solution: the "v " lines after the last objective line.
    first = objective_lines[-1] + 1 if objective_lines else 0
    words_of_v = [w for l in lines[first:] if l.startswith("v ") for w in l[2:].split()]
    if not words_of_v:
        return result, None, claimed
    return result, {w.lstrip("-"): 0 if w.startswith("-") else 1 for w in words_of_v}, claimed


def check(instance, solution, claimed):
    """(objective value of the solution, None or what is wrong with it)."""
    objective, constraints, names = instance
    if sorted(solution) != names:
        return None, "the solution does not assign exactly the instance's variables"
    if not all(check_opb.holds(c, solution) for c in constraints):
        return None, "the solution violates a constraint"
    value = check_opb.value(objective[1], solution) if objective else None
    if claimed is not None and value is not None and claimed != value:
        return value, "objective line %d, but the solution's value is %d" % (claimed, value)
    return value, None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("directory")
    parser.add_argument("--qarn", default=os.path.join(ROOT, "build", "qarn"))
    parser.add_argument("--qarn-small", default=os.path.join(ROOT, "build", "qarn-small"))
    parser.add_argument("--timeout", type=float, default=10.0)
    parser.add_argument("--solvers", default="minisat+,clasp",
                        help="other solvers to run when installed (comma-separated, or none)")
    args = parser.parse_args()
    if not os.path.exists("/usr/bin/time") or not shutil.which("timeout"):
        sys.exit("opb_bench.py needs GNU time (/usr/bin/time, Debian package time) and timeout")
    paths = {"qarn": args.qarn, "qarn-small": args.qarn_small}
    others = [s for s in args.solvers.split(",") if s in COMMANDS and s != "qarn" and
              (os.access(paths[s], os.X_OK) if s in paths else shutil.which(s))]
    solvers = ["qarn"] + others
    files = sorted(f for f in os.listdir(args.directory) if f.endswith(".opb"))

    print("timeout %gs; solvers: %s" % (args.timeout, ", ".join(solvers)))
    print("%-20s %-10s %-6s %10s %8s %8s %7s" % ("instance", "solver", "answer", "objective",
                                               "cpu s", "MiB", "ratio"))
    results = {s: {} for s in solvers}
    problems = []
    for name in files:
        path = os.path.join(args.directory, name)
        with open(path) as f:
            instance = check_opb.parse_opb(f.read())
        optimisation = instance[0] is not None
        for solver in solvers:
            text, cpu, mib, timed_out = run(COMMANDS[solver](paths, path), args.timeout)
            result, solution, claimed = answer(text)
            objective = None
            if solution is not None:
                objective, why = check(instance, solution, claimed)
                if why:
                    problems.append("%s: %s's answer is wrong: %s" % (name, solver, why))
            # An optimisation cut short has a solution but no proof.
            if timed_out and result == "OPT":
                result = "SAT"
            proven = ("OPT", "UNSAT") if optimisation else ("SAT", "UNSAT")
            solved = not timed_out and result in proven
            results[solver][name] = (result, objective, cpu, solved)
            ratio = ""
            if solver != "qarn":
                q = results["qarn"][name]
                if q[3] and solved:
                    # GNU time counts in hundredths of a second.
                    ratio = "%.2f" % (max(q[2], 0.01) / max(cpu, 0.01))
                elif solved:
                    ratio = ">%.1f" % (args.timeout / max(cpu, 0.01))
            print("%-20s %-10s %-6s %10s %8.2f %8.1f %7s%s" % (
                name, solver, result, "" if objective is None else objective, cpu, mib, ratio,
                "  (timeout)" if timed_out else ""), flush=True)
        # Proven answers must agree between solvers.
        proven = {s: results[s][name] for s in solvers if results[s][name][3]}
        kinds = {r[0] for r in proven.values()}
        if "UNSAT" in kinds and len(kinds) > 1:
            problems.append("%s: solvers disagree on satisfiability" % name)
        optima = {r[1] for r in proven.values() if r[0] == "OPT" and r[1] is not None}
        if len(optima) > 1:
            problems.append("%s: solvers prove different optima %s" % (name, sorted(optima)))

    print("\nsummary (%d instances, timeout %gs)" % (len(files), args.timeout))
    for solver in solvers:
        r = results[solver].values()
        solved = [x for x in r if x[3]]
        par = sum(x[2] if x[3] else args.timeout for x in r)
        gave_up = sum(1 for x in r if x[0] == "UNK")
        out_of_range = sum(1 for x in r if x[0] == "RANGE")
        line = "  %-10s solved %2d/%d (gave up on %d%s)   cpu of solved %7.2f s   " \
               "cpu with the limit for unsolved %8.2f s" % (
                   solver, len(solved), len(files), gave_up,
                   ", out of range on %d" % out_of_range if out_of_range else "",
                   sum(x[2] for x in solved), par)
        if solver != "qarn":
            both = [n for n in files if results["qarn"][n][3] and results[solver][n][3]]
            if both:
                logs = [math.log(max(results["qarn"][n][2], 0.01) / max(results[solver][n][2], 0.01))
                        for n in both]
                line += "   qarn/%s geometric mean ratio %.2f over %d" % (
                    solver, math.exp(sum(logs) / len(logs)), len(both))
        print(line)
    for p in problems:
        print("  PROBLEM " + p)
    if not problems:
        print("  no wrong or contradicting answers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
