"""The private binding of the converter's line engine gives the converter's
own output: the same inputs through geoconv._core.convert_text and through
the program geoconv (its path in GEOCONV_TOOL, which `make test` sets)."""

import os
import subprocess
import tempfile
from pathlib import Path

import pytest

from geoconv import _core

TOOL = os.environ.get("GEOCONV_TOOL")
LIMIT = 1 << 20       # most bytes read from the converter


def converter(arguments, text):
    """The converter's standard output for text given as its input file."""
    with tempfile.TemporaryDirectory(prefix="geoconv-lines-") as folder:
        source = Path(folder, "input.txt")
        source.write_bytes(text)
        with subprocess.Popen([TOOL, *arguments, str(source)], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL) as child:
            output = child.stdout.read(LIMIT)
            child.kill()
        return output


@pytest.mark.skipif(not TOOL, reason="GEOCONV_TOOL names no converter")
@pytest.mark.parametrize("command, site, precision, text", [
    ("lla2efg", None, 6, b"51.47222222 0 10\n# note\n\n91 0 0\r\n1,2,x\n+5\t6 7"),
    ("efg2lla", None, 9, b"3981053.178755 0 4966421.008341\n0 0 6356752\n1 2 3 4\n"),
    ("aer2lla", "51.47222222,0,10", 3, b"180 45 10000\n0 0 0\n1e400 0 1\n"),
    ("efg2aer", "-45.5,170.25,1e5", 6, b"\xef\xbb\xbf1 2 3\n,1 2 3\n"),
    ("dms", None, 2, b"51.4722222\n-0.5\n"),
    ("xyz2aer", None, 0, b"1 1 1\n#" + b"x" * 70000 + b"\n" + b" " * 70000 + b"\n0 1 0"),
], ids=lambda value: value if isinstance(value, str) else "")
def test_convert_text_gives_the_converters_output(command, site, precision, text):
    arguments = [command, "-p", str(precision)] + (["--site", site] if site else [])
    expected = converter(arguments, text)
    output, errors = _core.convert_text(command, text, site=site, precision=precision)
    assert output == expected
    assert errors == expected.count(b"ERROR")
    as_str, _ = _core.convert_text(command, text.decode(), site=site, precision=precision)
    assert as_str == expected.decode()


# The converter's own reasons (Converter::make, whose every reason the
# converter's transcripts show), or the binding's for text that is not text.
@pytest.mark.parametrize("arguments, error, text", [
    (("aer2lla", "1 2 3", "91,2,3"), ValueError,
     "bad site '91,2,3': (LLA84toEFG84) problem: lat>90"),
    (("lla2efg", "1 2 3", None, 21), ValueError, "precision must be"),
    (("aer2lla", "1 2 3", (1.0, 2.0, 3.0)), TypeError, "site must be str or bytes"),
    (("lla2efg", 123), TypeError, "text must be str or bytes"),
])
def test_convert_text_refuses_bad_arguments(arguments, error, text):
    with pytest.raises(error) as raised:
        _core.convert_text(*arguments)
    assert str(raised.value).startswith(text)
