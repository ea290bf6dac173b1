#!/usr/bin/env python3
"""Runs transcripts: shell commands with their standard input and their
expected standard output, standard error and exit status.

    # text        a comment
    $ command     a case, run by bash in the transcript's own scratch folder
    < text        a line of standard input ("<~" for one without a newline)
    > text        a line expected on standard output (">~" without newline)
    ! text        a line expected on standard error ("!~" without newline)
    ? N           the expected exit status (0 when absent)

Input and output lines take the escapes \\t, \\r, \\\\ and \\xHH; commands are
taken as they are. Every file a case writes, its captured outputs included,
is limited to 1 MiB, and a case still running after 20 seconds is killed with
all its processes.

    transcript.py PATH FILE...    (PATH is put in front of $PATH)
"""
import os, re, resource, shutil, signal, subprocess, sys, tempfile

ESCAPE = re.compile(r"\\(t|r|\\|x[0-9a-fA-F]{2})")


def unescape(text):
    return ESCAPE.sub(lambda m: {"t": "\t", "r": "\r", "\\": "\\"}.get(m[1]) or chr(int(m[1][1:], 16)), text)


def parse(path):
    cases = []
    # Latin-1 keeps every byte as one character, so texts stay bytes.
    for number, line in enumerate(open(path, encoding="latin-1").read().split("\n"), 1):
        mark, _, text = line.partition(" ")
        if not line or mark == "#":
            continue
        if mark == "$":
            cases.append({"line": number, "command": text, "<": "", ">": "", "!": "", "?": 0})
        elif mark in ("<", ">", "!", "<~", ">~", "!~") and cases:
            cases[-1][mark[0]] += unescape(text) + ("" if mark.endswith("~") else "\n")
        elif mark == "?" and cases:
            cases[-1]["?"] = int(text)
        else:
            sys.exit(f"{path}:{number}: not a transcript line")
    return cases


def limit_files():
    resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))


def run(case, folder):
    names = [os.path.join(folder, "." + n) for n in ("in", "out", "err")]
    with open(names[0], "wb") as f:
        f.write(case["<"].encode("latin-1"))
    with open(names[0], "rb") as stdin, open(names[1], "wb") as out, open(names[2], "wb") as err:
        p = subprocess.Popen(["bash", "-c", case["command"]], cwd=folder, stdin=stdin, stdout=out,
                             stderr=err, start_new_session=True, preexec_fn=limit_files)
        try:
            status = p.wait(timeout=20)
        except subprocess.TimeoutExpired:
            status = "killed after 20 s"
        try:
            os.killpg(p.pid, signal.SIGKILL)  # what it left running in the background
        except ProcessLookupError:
            pass
        p.wait()
    read = lambda name: open(name, "rb").read().decode("latin-1")
    return read(names[1]), read(names[2]), status


def show(text):
    return "\n    ".join(repr(line)[1:-1] for line in text.split("\n"))


def main():
    os.environ["PATH"] = ":".join(os.path.abspath(p) for p in sys.argv[1].split(":")) + ":" + os.environ["PATH"]
    os.environ["LC_ALL"] = "C"
    failed = total = 0
    for path in sys.argv[2:]:
        folder = tempfile.mkdtemp(prefix="geoconv-transcript-")
        try:
            for case in parse(path):
                total += 1
                out, err, status = run(case, folder)
                report = [f"  {name} expected:\n    {show(want)}\n  {name} actual:\n    {show(got)}"
                          for name, want, got in (("stdout", case[">"], out), ("stderr", case["!"], err))
                          if want != got]
                if status != case["?"]:
                    report.append(f"  status expected {case['?']}, actual {status}")
                if report:
                    failed += 1
                    print(f"{path}:{case['line']}: $ {case['command']}\n" + "\n".join(report))
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(f"{total} cases, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
