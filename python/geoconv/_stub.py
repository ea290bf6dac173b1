"""Writes the package's type stubs, __init__.pyi and ufuncs.pyi, from the
library's registry, so that a new routine is declared to editors and type
checkers as soon as it is in the registry. The build runs it with the module
just built:

    python3 -m geoconv._stub FOLDER

writes FOLDER/__init__.pyi and FOLDER/ufuncs.pyi."""

import os
import sys
import textwrap
from pathlib import Path

import geoconv
from geoconv import _arguments, _core

_HEAD = '''\
# Types of the geoconv package, written by geoconv._stub from the library's
# registry when the module is built. Angles are degrees, altitudes and ranges
# FEET, Earth-fixed coordinates metres. Scalars in give floats out; any array
# argument gives float64 arrays of the broadcast shape.

from typing import Literal, Optional, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

from . import ufuncs as ufuncs  # each routine as a NumPy ufunc

_Scalar = Union[float, int, np.floating, np.integer]
_Array = npt.NDArray[np.float64]
_ArrayLike = npt.ArrayLike
_Errors = Literal["raise", "nan"]
# "fast": arrays with SIMD within the bounds of <geoconv/fast.hpp>; scalars stay exact.
_Mode = Literal["exact", "fast"]

__version__: str

class ConversionError(ValueError):
    message: str
    index: Optional[int]
    def __init__(self, message: str, index: Optional[int] = ...) -> None: ...

def STRtoINT(text: Union[str, bytes], first: int, last: int) -> int:
    """Reads a signed decimal integer from ``text[first..last]`` (last inclusive)."""
'''

_SITE = '''
class Site:
    """A base site placed once, for converting many targets seen from it."""
    def __init__(self, lat: _Scalar, lon: _Scalar, alt: _Scalar) -> None: ...
    @property
    def valid(self) -> bool: ...
    @property
    def latitude(self) -> float: ...
    @property
    def longitude(self) -> float: ...
    @property
    def altitude(self) -> float: ...
    @property
    def E(self) -> float: ...
    @property
    def F(self) -> float: ...
    @property
    def G(self) -> float: ...
'''

_UFUNCS_HEAD = '''\
# Types of geoconv.ufuncs, written by geoconv._stub from the library's
# registry: every routine as a NumPy ufunc, a routine that can fail with one
# more output (uint8, each point's fault).

import numpy as np

'''


def _names(names):
    """__all__ of these names, wrapped."""
    return textwrap.fill(", ".join(map(repr, names)), 79, initial_indent="__all__ = [",
                         subsequent_indent=" " * 11, break_on_hyphens=False) + "]"


def _results(count, item):
    return item if count == 1 else f"Tuple[{', '.join([item] * count)}]"


def _overloads(routine, on_site=False):
    """The two declarations of a routine, or of its Site method: scalars give
    floats, anything else float64 arrays (and takes out arrays)."""
    name, count = routine["name"], len(routine["outputs"])
    doc = routine["summary"][:1].upper() + routine["summary"][1:] + "."
    indent = "    " if on_site else ""
    lines = []
    for point, out, result in (("_Scalar", "None", _results(count, "float")),
                               ("_ArrayLike", f"Optional[{_results(count, '_Array')}]",
                                _results(count, "_Array"))):
        arguments = ["self"] if on_site else []
        arguments += [f"{p}: {point}" for p, _ in _arguments(routine, on_site)]
        arguments += ["*", f"out: {out} = ...", "errors: _Errors = ...",
                      "threads: Optional[int] = ...", "mode: _Mode = ..."]
        # Wrapped between arguments, or after a comma within brackets, only
        # (no-break spaces elsewhere, restored after).
        words = [a.replace(" ", "\xa0").replace(",\xa0", ", ") for a in arguments]
        words[-1] += f")\xa0->\xa0{result}:"
        head = f"def {name}("
        text = textwrap.fill(", ".join(words), 95 - len(indent), initial_indent=head,
                             subsequent_indent=" " * len(head), break_on_hyphens=False,
                             break_long_words=False)
        lines += ["@overload", *text.replace("\xa0", " ").splitlines(), f'    """{doc}"""']
    return [indent + line for line in lines]


def stub():
    """The text of __init__.pyi."""
    routines = _core.routines()
    lines = [_HEAD, "# The library's constants, exactly its doubles."]
    lines += [f"{name}: float  # {meaning}" for name, meaning in _core.CONSTANTS]
    lines.append("")
    for routine in routines:
        lines += _overloads(routine)
        lines.append("")
    lines.append(_SITE.rstrip("\n"))
    for routine in routines:
        if routine["site"]:
            lines += _overloads(routine, on_site=True)
    lines += ["", _names(geoconv.__all__)]
    return "\n".join(lines) + "\n"


def ufuncs_stub():
    """The text of ufuncs.pyi."""
    lines = []
    for routine in _core.routines():
        inputs = [p for p, _ in _arguments(routine)]
        outputs = [p for p, _ in routine["outputs"]] + (["fault"] if routine["fails"] else [])
        lines += [f"{routine['name']}: np.ufunc  # ({', '.join(inputs)}) -> ({', '.join(outputs)})"]
    lines += ["", _names(_core.ufuncs)]
    return _UFUNCS_HEAD + "\n".join(lines) + "\n"


def write(folder):
    """Writes both stubs into the folder, each whole or not at all."""
    for name, text in (("__init__.pyi", stub()), ("ufuncs.pyi", ufuncs_stub())):
        path = Path(folder) / name
        partial = path.with_name(path.name + ".part")
        partial.write_text(text)
        os.replace(partial, path)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: python3 -m geoconv._stub FOLDER")
    write(sys.argv[1])
