#!/usr/bin/env python3
"""Runs one of the programs on one end-to-end case and compares its output.

  run_case.py [--update] PROGRAM CASE.test

Each input format has a folder FORMAT/ with its instances, its checker
check_FORMAT.py and the case files in FORMAT/cases/. A case file holds
header lines, then the expected standard output and standard error:

  programs: qarn qarn-small             optional: the programs the case runs
                                        against (default: qarn alone)
  args: -F opb -s 1 instances/sat.opb   command line (paths relative to FORMAT/)
  stdin: instances/sat.opb              optional: file (or directory) fed to standard input
  stdout: /dev/full                     optional: standard output goes to this file, or is
                                        closed ("closed"); the expected stdout is then empty
  status: 0                             expected exit status
  status qarn-small: 1                  optional: the exit status of one program
  check: instances/sat.opb [ARGS]       check_FORMAT.py on the output of one instance
  check qarn-small: -                   optional: the check lines of one program
  --- stdout
  ...
  --- stderr
  ...
  --- stdout qarn-small                 optional: what one program writes instead
  ...
  --- stderr qarn-small
  ...

Every program of the case expects the same output and status unless it has
sections (or a status line) of its own. The program is named by its file
(PROGRAM's base name) and runs in FORMAT/ as "qarn", so that its usage text
is the same for all programs.
There is one "check:" line per instance of the run, in order ("check: -"
for an instance without a solution); an instance's output starts at its
"c Constructing " line ("% Constructing " for FlatZinc). An output with a
solution must be checked. A program with check lines of its own (one that
stops before the answer, say) uses those instead of the common ones.
CPU times in the output are replaced by "<time>". --update rewrites the
program's expected sections and status (review them); those of a program
other than the first listed are kept only where they differ from the
common ones.
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile



def read_case(path):
    """(header, sections): sections maps "stdout", "stderr" and "stdout
    PROGRAM", "stderr PROGRAM" to their text."""
    header, sections, current = {}, {"stdout": [], "stderr": []}, None
    with open(path) as f:
        for line in f.read().split("\n")[:-1]:
            if line.startswith("--- "):
                current = line[4:]
                sections.setdefault(current, [])
            elif current:
                sections[current].append(line)
            elif line and not line.startswith("#"):
                key, _, value = line.partition(":")
                if key.strip().partition(" ")[0] == "check":
                    header.setdefault(key.strip(), []).append(value.strip())
                else:
                    header[key.strip()] = value.strip()
    return header, {k: "".join(l + "\n" for l in v) for k, v in sections.items()}


def write_case(path, sections, status):
    """Rewrites the case: the header with the given status lines (None
    drops one), the common sections, then those of single programs."""
    with open(path) as f:
        lines = f.read().split("\n")
    head = lines[:next(i for i, l in enumerate(lines) if l.startswith("--- "))]
    for key, value in status.items():
        at = [i for i, l in enumerate(head) if l.partition(":")[0].strip() == key]
        if value is None:
            head = [l for i, l in enumerate(head) if i not in at]
        elif at:
            head[at[0]] = "%s: %s" % (key, value)
        else:
            common = next(i for i, l in enumerate(head) if l.startswith("status:"))
            head.insert(common + 1, "%s: %s" % (key, value))
    order = ["stdout", "stderr"] + [k for k in sections if k not in ("stdout", "stderr")]
    with open(path, "w") as f:
        f.write("".join(l + "\n" for l in head))
        for key in order:
            f.write("--- %s\n%s" % (key, sections[key]))


def masked(text):
    return re.sub(r"(=== iteration time ).*", r"\1<time>", text)


def main(argv):
    update = argv[0] == "--update"
    if update:
        argv = argv[1:]
    qarn, case = os.path.abspath(argv[0]), argv[1]
    header, expected = read_case(case)
    program = os.path.basename(qarn)
    programs = header.get("programs", "qarn").split()
    if program not in programs:
        print("the case does not run against %s (programs: %s)" % (program, " ".join(programs)))
        return 1
    for key in list(expected) + [k for k in header if k.startswith(("status ", "check "))]:
        if key.partition(" ")[2] not in [""] + programs:
            print("%r names a program the case does not run against" % key)
            return 1
    # Cases live in FORMAT/cases/; the program runs in FORMAT/, where the
    # instances and the format's checker (check_FORMAT.py) are.
    here = os.path.dirname(os.path.dirname(os.path.abspath(case)))
    checker = os.path.join(here, "check_%s.py" % os.path.basename(here))
    # A plain descriptor, so that a directory can be standard input too.
    stdin = os.open(os.path.join(here, header["stdin"]), os.O_RDONLY) if "stdin" in header \
        else subprocess.DEVNULL
    target = header.get("stdout")
    stdout = subprocess.PIPE
    if target and target != "closed":
        stdout = os.open(target, os.O_WRONLY)
    try:
        run = subprocess.run(["qarn"] + shlex.split(header["args"]), executable=qarn, cwd=here,
                             stdin=stdin, stdout=stdout, stderr=subprocess.PIPE, timeout=120,
                             preexec_fn=(lambda: os.close(1)) if target == "closed" else None)
    finally:
        if "stdin" in header:
            os.close(stdin)
        if stdout != subprocess.PIPE:
            os.close(stdout)
    run.stdout = run.stdout or b""
    actual = {"stdout": masked(run.stdout.decode(errors="replace")),
              "stderr": run.stderr.decode(errors="replace")}

    if update:
        if program == programs[0]:
            expected.update(actual)
            write_case(case, expected, {"status": run.returncode})
        else:
            for stream in ("stdout", "stderr"):
                expected.pop("%s %s" % (stream, program), None)
                if actual[stream] != expected[stream]:
                    expected["%s %s" % (stream, program)] = actual[stream]
            same = run.returncode == int(header["status"])
            write_case(case, expected, {"status " + program: None if same else run.returncode})
        header, expected = read_case(case)

    # A program's own sections and status stand in for the common ones.
    wanted_status = header.get("status " + program, header["status"])
    for stream in ("stdout", "stderr"):
        expected[stream] = expected.get("%s %s" % (stream, program), expected[stream])

    failed = False
    for stream in ("stdout", "stderr"):
        if actual[stream] != expected[stream]:
            failed = True
            print("%s differs:\n--- expected\n%s--- actual\n%s" % (stream, expected[stream], actual[stream]))
    if run.returncode != int(wanted_status):
        failed = True
        print("exit status %d, expected %s" % (run.returncode, wanted_status))
    segments = re.split(r"(?m)^(?=[c%] Constructing )", run.stdout.decode(errors="replace"))[1:]
    checks = header.get("check " + program, header.get("check", []))
    for i, segment in enumerate(segments):
        check = checks[i] if i < len(checks) else "-"
        if check == "-":
            if re.search(r"(?m)^(s (SATISFIABLE|OPTIMUM FOUND)$|v |----------$)", segment):
                failed = True
                print("instance %d has a solution but no check: line" % (i + 1))
            continue
        with tempfile.NamedTemporaryFile("w", suffix=".out") as out:
            out.write(segment)
            out.flush()
            words = shlex.split(check)
            checked = subprocess.run([sys.executable, checker, os.path.join(here, words[0]),
                                      out.name] + words[1:])
            failed = failed or checked.returncode != 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
