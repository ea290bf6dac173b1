"""What help(geoconv) and editors show: every public function documents each
parameter (lengths in feet where they are feet), its failures and an example,
and the type stub declares the same names and parameters as the module."""

import ast
import inspect
from pathlib import Path

import pytest

import geoconv

FUNCTIONS = {name: getattr(geoconv, name) for name in geoconv.__all__
             if inspect.isfunction(getattr(geoconv, name))}
FUNCTIONS.update({f"Site.{name}": getattr(geoconv.Site, name)
                  for name in ("AERtoLLA84", "AERtoEFG84", "EFG84toAER")})
SITE_RELATIVE = {"AERtoLLA84", "AERtoEFG84", "EFG84toAER"}


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
    function = FUNCTIONS[name]
    doc = inspect.getdoc(function)
    for section in ("Parameters\n", "Returns\n", "Raises\n", "Examples\n--------\n>>> "):
        assert section in doc, section
    assert "%(" not in doc
    for p in inspect.signature(function).parameters:
        if p != "self":
            text = entry(doc, p)
            assert text, f"{p} undocumented"
            if p in ("alt", "base_alt") or (p == "range" and name.split(".")[-1] in SITE_RELATIVE):
                assert "**feet**" in text, f"{p}: {text}"


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


def test_stub_matches_the_module():
    stub = stub_signatures()
    for name in geoconv.__all__:
        assert name in stub or name in ("ConversionError", "Site"), name
    for name, function in FUNCTIONS.items():
        runtime = [p for p in inspect.signature(function).parameters if p != "self"]
        assert all(overload == runtime for overload in stub[name]), name
    assert stub["Site.__init__"] == [["lat", "lon", "alt"]]
