"""What help(geoconv) and editors show: every routine of the library's
registry is a function (and a site routine a Site method) documenting each
parameter (lengths in feet where the registry says feet), its failures and an
example that runs and shows what it returns, and the type stub declares the
same names and parameters."""

import ast
import doctest
import importlib
import inspect
from pathlib import Path

import pytest

import geoconv
from geoconv import _core

ROUTINES = {r["name"]: r for r in _core.routines()}
FUNCTIONS = {name: (r, getattr(geoconv, name)) for name, r in ROUTINES.items()}
FUNCTIONS.update({f"Site.{name}": (r, getattr(geoconv.Site, name))
                  for name, r in ROUTINES.items() if r["site"]})


def entry(doc, parameter):
    """A parameter's lines in a NumPy-style docstring."""
    lines = doc.splitlines()
    for i, line in enumerate(lines):
        if not line.startswith(" ") and parameter in line.split(" : ")[0].split(", "):
            rest = next((j for j in range(i + 1, len(lines)) if not lines[j].startswith(" ")),
                        len(lines))
            return "\n".join(lines[i:rest])
    return None


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
def test_docstrings_give_every_parameter_its_unit_failures_and_an_example(name):
    routine, function = FUNCTIONS[name]
    doc = inspect.getdoc(function)
    for section in ("Parameters\n", "Returns\n", "Raises\n", "Examples\n--------\n>>> "):
        assert section in doc, section
    assert ("ConversionError" in doc.split("Raises")[1]) == routine["fails"]
    assert f"{routine['name']}(" in doc.split("Examples")[1], "an example of another routine"
    for p, unit in geoconv._arguments(routine, name.startswith("Site.")):
        text = entry(doc, p)
        assert text, f"{p} undocumented"
        assert ("**feet**" in text) == (unit == "ft"), f"{p}: {text}"


@pytest.mark.parametrize("module", ["geoconv", "geoconv.dask"])
def test_docstring_examples_return_what_they_show(module):
    if module == "geoconv.dask":
        pytest.importorskip("dask.dataframe")
    found = doctest.testmod(importlib.import_module(module), optionflags=doctest.ELLIPSIS)
    assert found.attempted > 20 and found.failed == 0


def stub_signatures():
    tree = ast.parse((Path(geoconv.__file__).parent / "__init__.pyi").read_text())
    found = {}
    for node in tree.body:
        nodes = [(node.name, node)] if isinstance(node, ast.FunctionDef) else []
        if isinstance(node, ast.ClassDef):
            nodes = [(f"{node.name}.{n.name}", n) for n in node.body
                     if isinstance(n, ast.FunctionDef)]
        for name, n in nodes:
            found.setdefault(name, []).append(
                [a.arg for a in n.args.args + n.args.kwonlyargs if a.arg != "self"])
        if isinstance(node, ast.AnnAssign):
            found[node.target.id] = None
    return found


def test_stub_declares_every_routine_with_its_parameters():
    stub = stub_signatures()
    for name in geoconv.__all__:
        assert name in stub or name in ("ConversionError", "Site"), name
    for name, (routine, _) in FUNCTIONS.items():
        points = [p for p, _ in geoconv._arguments(routine, name.startswith("Site."))]
        wanted = points + ["out", "errors", "threads", "mode"]
        assert stub.get(name) and all(overload == wanted for overload in stub[name]), name
    assert stub["Site.__init__"] == [["lat", "lon", "alt"]]
