"""What help(geoconv) and editors show: the docstrings' examples, written
from the registry, run and return what they show, in memory and on Dask; the
type stub declares every routine with its parameters."""

import ast
import doctest
import importlib
from pathlib import Path

import pytest

import geoconv
from geoconv import _core

ROUTINES = {r["name"]: r for r in _core.routines()}
FUNCTIONS = {name: (r, getattr(geoconv, name)) for name, r in ROUTINES.items()}
FUNCTIONS.update({f"Site.{name}": (r, getattr(geoconv.Site, name))
                  for name, r in ROUTINES.items() if r["site"]})


@pytest.mark.parametrize("module", ["geoconv", "geoconv.dask"])
def test_docstring_examples_return_what_they_show(module):
    if module == "geoconv.dask":
        pytest.importorskip("dask.dataframe")
    found = doctest.testmod(importlib.import_module(module), optionflags=doctest.ELLIPSIS)
    assert found.attempted >= len(ROUTINES) and found.failed == 0  # every routine shows one


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
