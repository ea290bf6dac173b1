"""What help(geoconv) and editors show: the docstrings' examples, written
from the registry, run and return what they show, in memory and on Dask; the
type stubs the build writes declare every function as it is."""

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


@pytest.mark.parametrize("module", ["geoconv", "geoconv.dask"])
def test_docstring_examples_return_what_they_show(module):
    if module == "geoconv.dask":
        pytest.importorskip("dask.dataframe")
    found = doctest.testmod(importlib.import_module(module), optionflags=doctest.ELLIPSIS)
    assert found.attempted >= len(ROUTINES) and found.failed == 0  # every routine shows one


def stub_signatures(name):
    """Each function's declarations in a stub the build wrote: (parameter,
    kind) lists, with None for a name declared as a variable."""
    tree = ast.parse((Path(geoconv.__file__).parent / name).read_text())
    found = {}
    for node in tree.body:
        nodes = [(node.name, node)] if isinstance(node, ast.FunctionDef) else []
        if isinstance(node, ast.ClassDef):
            nodes = [(f"{node.name}.{n.name}", n) for n in node.body
                     if isinstance(n, ast.FunctionDef)]
        for name, n in nodes:
            found.setdefault(name, []).append(
                [(a.arg, POSITIONAL) for a in n.args.args if a.arg != "self"]
                + [(a.arg, KEYWORD) for a in n.args.kwonlyargs])
        if isinstance(node, ast.AnnAssign):
            found[node.target.id] = None
    return found


POSITIONAL, KEYWORD = inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.KEYWORD_ONLY


def parameters(function):
    return [(p.name, p.kind) for p in inspect.signature(function).parameters.values()
            if p.name != "self"]


def test_generated_stubs_declare_every_function_as_it_is():
    stub = stub_signatures("__init__.pyi")
    for name in geoconv.__all__:
        assert name in stub or name in ("ConversionError", "Site"), name
    for name, (_, function) in FUNCTIONS.items():
        # Both overloads (scalars, arrays), as the function takes them.
        assert stub.get(name) and len(stub[name]) == 2, name
        assert all(overload == parameters(function) for overload in stub[name]), name
    assert stub["Site.__init__"] == [parameters(geoconv.Site.__init__)]
    assert stub["STRtoINT"] == [parameters(geoconv.STRtoINT)]
    ufuncs = stub_signatures("ufuncs.pyi")
    assert sorted(ufuncs) == sorted(geoconv.ufuncs.__all__)
