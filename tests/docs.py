#!/usr/bin/env python3
"""Runs every fenced example of Markdown documents by its language, so that
none goes quietly wrong; docs/tests.md gives the rules a block follows.

    docs.py BUILD JS-PACKAGE FILE...   (BUILD: a CMake build of this project)
"""
import doctest, os, re, shutil, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import transcript  # noqa: E402

FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.S | re.M)
NOT_RUN = re.compile(r"<!-- not run: [^>]+ -->\n$")
PRINTS = re.compile(r"\b(printf|puts|console\.log)\(.*(?://|/\*)\s*(.*?)\s*(?:\*/)?$")
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(argv, cwd):
    p = subprocess.run(argv, cwd=cwd, capture_output=True, text=True, timeout=120)
    return p.returncode, (p.stdout + p.stderr)[-4000:]


def session(code, folder):
    """Each "$ command" and the lines after it, which it must print."""
    failures, cases = [], re.split(r"^\$ ", code, flags=re.M)
    if cases[0]:
        return ["a shell block that is not a session ($ command, then its output)"]
    for case in cases[1:]:
        command, _, shown = case.partition("\n")
        out, _, _ = transcript.run({"command": f"({command}) 2>&1", "<": ""}, folder)
        if out != shown:
            failures.append(f"$ {command}\n  expected:\n{shown}  actual:\n{out}")
    return failures


def program(language, code, folder, build, package):
    """Builds and runs a program; the comments ending its printing lines are
    what it must print."""
    if language == "js":
        os.makedirs(os.path.join(folder, "node_modules"))
        os.symlink(package, os.path.join(folder, "node_modules", "geoconv"))
        name, command = "example.mjs", ["node", "example.mjs"]
    else:
        if "main(" not in code:  # a fragment: main's body
            code = (("#include <geoconv/geoconv.h>\n#include <stdio.h>\n" if language == "c" else
                     "#include <geoconv/geoconv.hpp>\n#include <cstdio>\n") +
                    "int main(void) {\n" + code + "return 0;\n}\n")
        name, command = "example." + language, ["./example"]
        libs = [f"{build}/geoconv/libgeoconv.a", "-lm"]
        if "Mode::kFast" in code:
            libs[:0] = [f"{build}/fast/libgeoconv-fast.a", "-lsleef"]
        compiler = ["cc", "-std=c11"] if language == "c" else ["c++", "-std=c++17"]
    with open(os.path.join(folder, name), "w") as f:
        f.write(code)
    if language != "js":
        status, said = run(compiler + ["-Wall", "-Wextra", "-Werror", f"-I{SOURCE}/geoconv/include",
                                       name, "-o", "example"] + libs, folder)
        if status:
            return [f"does not build:\n{said}"]
    status, said = run(command, folder)
    wanted = [m[2] for m in map(PRINTS.search, code.splitlines()) if m]
    if status or (wanted or language == "js") and said.splitlines() != wanted:
        return [f"exit status {status}; printed:\n{said}expected:\n" + "\n".join(wanted)]
    return []


def main():
    build, package, *paths = map(os.path.abspath, sys.argv[1:])
    os.environ.update(PATH=f"{build}/tools:{build}/demo:" + os.environ["PATH"],
                      PYTHONPATH=f"{build}/python", LC_ALL="C")
    sys.path.insert(0, f"{build}/python")
    here, failed, total = os.getcwd(), 0, 0
    for path in paths:
        text, globs = open(path, encoding="utf-8").read(), {}
        folder = tempfile.mkdtemp(prefix="geoconv-docs-")
        os.chdir(folder)  # where the doctests write their files
        try:
            for m in FENCE.finditer(text):
                if NOT_RUN.search(text, 0, m.start()):
                    continue
                language, code, line = m[1], m[2], text.count("\n", 0, m.start()) + 1
                total += 1
                scratch = tempfile.mkdtemp(dir=folder)
                if language in ("console", "sh"):
                    failures = session(code, scratch)
                elif language == "python":  # a document's blocks share their names
                    test = doctest.DocTestParser().get_doctest(code, globs, path, path, line)
                    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
                    failures = ["see above"] if runner.run(test, clear_globs=False).failed else []
                elif language in ("c", "cpp", "js"):
                    failures = program(language, code, scratch, build, package)
                else:
                    failures = [f"a {language or 'plain'} block neither run nor marked not run"]
                for f in failures:
                    print(f"{os.path.relpath(path, here)}:{line}: {f}")
                failed += bool(failures)
        finally:
            os.chdir(here)
            shutil.rmtree(folder, ignore_errors=True)
    print(f"{total} examples, {failed} failed")
    return 1 if failed or not total else 0


if __name__ == "__main__":
    sys.exit(main())
