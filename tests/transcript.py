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

A Markdown FILE (.md) is a document whose every fenced example runs by its
language, or is marked not to run; docs/tests.md gives the rules. Its C and
C++ examples are built against the build in $GEOCONV_BUILD, its JavaScript
ones run with the package js/ importable as 'geoconv'.

    transcript.py PATH FILE...    (PATH is put in front of $PATH)
"""
import doctest, os, re, resource, shutil, signal, subprocess, sys, tempfile

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


# --- Markdown documents -------------------------------------------------------

FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.S | re.M)
NOT_RUN = re.compile(r"<!-- not run: [^>]+ -->\n$")
PRINTS = re.compile(r"\b(printf|puts|console\.log)\(.*(?://|/\*)\s*(.*?)\s*(?:\*/)?$")
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def session(code, folder):
    """Each "$ command" and the lines after it, which it must print."""
    failures, cases = [], re.split(r"^\$ ", code, flags=re.M)
    if cases[0]:
        return ["a shell block that is not a session ($ command, then its output)"]
    for case in cases[1:]:
        command, _, shown = case.partition("\n")
        out, _, _ = run({"command": f"({command}) 2>&1", "<": ""}, folder)
        if out != shown:
            failures.append(f"$ {command}\n  expected:\n{shown}  actual:\n{out}")
    return failures


def program(language, code, folder):
    """Builds and runs a program; the comments ending its printing lines are
    what it must print."""
    build, name, command = os.environ.get("GEOCONV_BUILD", ""), "example.mjs", "node example.mjs"
    if language == "js":
        os.makedirs(os.path.join(folder, "node_modules"))
        os.symlink(os.path.join(SOURCE, "js"), os.path.join(folder, "node_modules", "geoconv"))
    else:
        if "main(" not in code:  # a fragment: main's body
            code = (("#include <geoconv/geoconv.h>\n#include <stdio.h>\n" if language == "c" else
                     "#include <geoconv/geoconv.hpp>\n#include <cstdio>\n") +
                    "int main(void) {\n" + code + "return 0;\n}\n")
        fast = f"{build}/fast/libgeoconv-fast.a -lsleef" if "geoconv::fast::" in code else ""
        name = "example." + language
        command = (f"{'cc -std=c11' if language == 'c' else 'c++ -std=c++17'} -Wall -Wextra -Werror "
                   f"-I{SOURCE}/geoconv/include -I{SOURCE}/fast/include {name} -o example {fast} "
                   f"{build}/geoconv/libgeoconv.a "
                   f"-lm && ./example")
    with open(os.path.join(folder, name), "w") as f:
        f.write(code)
    out, err, status = run({"command": command, "<": ""}, folder)
    wanted = [m[2] for m in map(PRINTS.search, code.splitlines()) if m]
    if status or (wanted or language == "js") and out.splitlines() != wanted:
        return [f"exit status {status}; printed:\n{out}{err}expected:\n" + "\n".join(wanted)]
    return []


def document(path, folder):
    """Runs a document's examples in folder; returns (examples, failures)."""
    text, names, failures, total = open(path, encoding="utf-8").read(), {}, [], 0
    for m in FENCE.finditer(text):
        if NOT_RUN.search(text, 0, m.start()):
            continue
        language, code, line = m[1], m[2], text.count("\n", 0, m.start()) + 1
        total += 1
        scratch = tempfile.mkdtemp(dir=folder)
        if language in ("console", "sh"):
            found = session(code, scratch)
        elif language == "python":  # a document's blocks share their names
            test = doctest.DocTestParser().get_doctest(code, names, path, path, line)
            here = os.getcwd()
            os.chdir(scratch)
            try:
                runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
                found = ["see above"] if runner.run(test, clear_globs=False).failed else []
                names.update(test.globs)
            finally:
                os.chdir(here)
        elif language in ("c", "cpp", "js"):
            found = program(language, code, scratch)
        else:
            found = [f"a {language or 'plain'} block neither run nor marked not run"]
        failures += [f"{path}:{line}: {f}" for f in found[:1]]
    return total, failures


def main():
    # A case's python3 is the interpreter running this one, which sees the module's packages.
    shim = tempfile.mkdtemp(prefix="geoconv-python3-")
    os.symlink(sys.executable, os.path.join(shim, "python3"))
    os.environ["PATH"] = ":".join(os.path.abspath(p) for p in sys.argv[1].split(":") + [shim]) + ":" + os.environ["PATH"]
    os.environ["LC_ALL"] = "C"
    failed = total = 0
    for path in sys.argv[2:]:
        folder = tempfile.mkdtemp(prefix="geoconv-transcript-")
        try:
            if path.endswith(".md"):
                examples, failures = document(path, folder)
                total, failed = total + examples, failed + len(failures)
                print("\n".join(failures), end="\n" if failures else "")
                continue
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
    shutil.rmtree(shim, ignore_errors=True)
    print(f"{total} cases, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
