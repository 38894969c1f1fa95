#!/usr/bin/env python3
"""Runs qarn on one end-to-end case and compares its output.

  run_case.py [--update] QARN CASE.test

Each input format has a folder FORMAT/ with its instances, its checker
check_FORMAT.py and the case files in FORMAT/cases/. A case file holds
header lines, then the expected standard output and standard error:

  args: -F opb -s 1 instances/sat.opb   command line (paths relative to FORMAT/)
  stdin: instances/sat.opb              optional: file (or directory) fed to standard input
  stdout: /dev/full                     optional: standard output goes to this file, or is
                                        closed ("closed"); the expected stdout is then empty
  status: 0                             expected exit status
  check: instances/sat.opb [ARGS]       check_FORMAT.py on the output of one instance
  --- stdout
  ...
  --- stderr
  ...

There is one "check:" line per instance of the run, in order ("check: -"
for an instance without a solution); an instance's output starts at its
"c Constructing " line ("% Constructing " for FlatZinc). An output with a
solution must be checked.
The program runs in FORMAT/ as "qarn". CPU times in the output are
replaced by "<time>". --update rewrites the expected sections (review them).
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile



def read_case(path):
    header, sections, current = {}, {"stdout": [], "stderr": []}, None
    with open(path) as f:
        for line in f.read().split("\n")[:-1]:
            if line.startswith("--- "):
                current = line[4:]
            elif current:
                sections[current].append(line)
            elif line and not line.startswith("#"):
                key, _, value = line.partition(":")
                if key.strip() == "check":
                    header.setdefault("check", []).append(value.strip())
                else:
                    header[key.strip()] = value.strip()
    return header, {k: "".join(l + "\n" for l in v) for k, v in sections.items()}


def masked(text):
    return re.sub(r"(=== iteration time ).*", r"\1<time>", text)


def main(argv):
    update = argv[0] == "--update"
    if update:
        argv = argv[1:]
    qarn, case = os.path.abspath(argv[0]), argv[1]
    header, expected = read_case(case)
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
        with open(case) as f:
            head = f.read().split("\n--- stdout\n")[0]
        head = re.sub(r"(?m)^status:.*$", "status: %d" % run.returncode, head)
        with open(case, "w") as f:
            f.write(head + "\n--- stdout\n" + actual["stdout"] + "--- stderr\n" + actual["stderr"])

    failed = False
    for stream in ("stdout", "stderr"):
        if actual[stream] != expected[stream]:
            failed = True
            print("%s differs:\n--- expected\n%s--- actual\n%s" % (stream, expected[stream], actual[stream]))
    if run.returncode != int(header["status"]):
        failed = True
        print("exit status %d, expected %s" % (run.returncode, header["status"]))
    segments = re.split(r"(?m)^(?=[c%] Constructing )", run.stdout.decode(errors="replace"))[1:]
    checks = header.get("check", [])
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
