"""The module against the project's table of expected results (tests/data/
expected.txt, shared with the C++ tests): every row's bits, status and
message through scalar calls, a Site and one array call per routine, and
every checksum over the nudged inputs through scalars and through arrays.
The table's header describes its format."""

import math
import re
import struct
from pathlib import Path

import numpy as np
import pytest

import geoconv

TABLE = Path(__file__).resolve().parents[2] / "tests" / "data" / "expected.txt"

HELPERS = {"sind", "cosd", "tand", "asind", "acosd", "atand", "atan2d", "sqr", "cube"}
NO_STATUS = {"AERtoXYZ", "XYZtoAER", "DEGtoDMS"}
SITE_ROUTINES = {"AERtoLLA84", "AERtoEFG84", "EFG84toAER"}
NUDGE = (3, 5, 7, 2, 4, 6)


# --- reading the table ------------------------------------------------------

def unquote(token):
    """A quoted text of the table as bytes."""
    escapes = {b"n": b"\n", b"\\": b"\\", b'"': b'"'}
    return re.sub(rb"\\(x[0-9A-Fa-f]{2}|.)",
                  lambda m: bytes([int(m[1][1:], 16)]) if m[1][:1] == b"x" else escapes[m[1]],
                  token[1:-1].encode("latin-1"))


def read_table():
    rows, checksums = [], []
    for number, line in enumerate(TABLE.read_text("latin-1").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        tokens = re.findall(r'"(?:[^"\\]|\\.)*"|\S+', line)
        if tokens[0] == "checksum":
            checksums.append((tokens[1], int(tokens[2], 16), int(tokens[3])))
            continue
        arrow = tokens.index("->")
        routine, args, res = tokens[0], tokens[1:arrow], tokens[arrow + 1:]
        if routine == "STRtoINT":
            rows.append((number, routine, (unquote(args[0]), int(args[1]), int(args[2])),
                         (0, b"", (int(res[0]),))))
            continue
        values = lambda ts: tuple(None if t == "unwritten" else float(t) for t in ts)
        if routine in HELPERS or routine in NO_STATUS:
            expected = (0, b"", values(res))
        else:
            expected = (int(res[0]), unquote(res[1]), values(res[2:]))
        rows.append((number, routine, values(args), expected))
    return rows, checksums


ROWS, CHECKSUMS = read_table()
ROUTINES = sorted({r[1] for r in ROWS})


# --- running the module -------------------------------------------------------

def failed_outputs(routine, inputs):
    """What a refused call leaves in its outputs: nothing, except AERtoLLA84's
    zero range, which hands back the site as given (the module raises or
    gives NaN instead; the rows below check this rule against the table)."""
    if routine == "AERtoLLA84" and inputs[2] == 0:
        return tuple(inputs[3:6])
    return (None, None, None)


def as_tuple(result):
    return result if isinstance(result, tuple) else (result,)


def call_scalar(routine, inputs, site=False):
    """(status, message, outputs) of one scalar call, through a Site if asked."""
    try:
        if site:
            result = getattr(geoconv.Site(*inputs[3:]), routine)(*inputs[:3])
        else:
            result = getattr(geoconv, routine)(*inputs)
    except geoconv.ConversionError as e:
        assert e.index is None
        return 1, e.message.encode() + b"\n", failed_outputs(routine, inputs)
    assert all(type(x) in (float, int) for x in as_tuple(result))
    return 0, b"", as_tuple(result)


def call_arrays(routine, inputs):
    """(status, message, outputs) of every point, from one errors="nan" array
    call and, for the statuses and messages, errors="raise" calls walking from
    one failing point to the next."""
    columns = [np.array(c, dtype=float) for c in zip(*inputs)]
    outputs = as_tuple(getattr(geoconv, routine)(*columns, errors="nan"))
    results, start = [], 0
    while start < len(inputs):
        try:
            getattr(geoconv, routine)(*(c[start:] for c in columns))
            failed = len(inputs)
        except geoconv.ConversionError as e:
            failed, message = start + e.index, e.message.encode() + b"\n"
        for i in range(start, failed):
            results.append((0, b"", tuple(float(o[i]) for o in outputs)))
        if failed < len(inputs):
            assert all(math.isnan(o[failed]) for o in outputs)
            results.append((1, message, failed_outputs(routine, inputs[failed])))
        start = failed + 1
    return results


def same(a, b):
    if a is None or b is None:
        return a is b
    return (math.isnan(a) and math.isnan(b)) or struct.pack("<d", a) == struct.pack("<d", b)


def agree(expected, got):
    return (expected[0] == got[0] and expected[1] == got[1] and len(expected[2]) == len(got[2])
            and all(same(a, b) for a, b in zip(expected[2], got[2])))


# --- rows ---------------------------------------------------------------------

def test_table_has_rows_and_checksums():
    assert ROWS and CHECKSUMS, f"{TABLE} holds no rows yet"


@pytest.mark.parametrize("routine", ROUTINES)
def test_rows(routine):
    rows = [r for r in ROWS if r[1] == routine]
    if routine == "STRtoINT":
        for number, _, (text, first, last), expected in rows:
            assert geoconv.STRtoINT(text, first, last) == expected[2][0], f"line {number}"
        return
    paths = {"scalar": [call_scalar(routine, r[2]) for r in rows],
             "arrays": call_arrays(routine, [r[2] for r in rows])}
    if routine in SITE_ROUTINES:
        paths["Site"] = [call_scalar(routine, r[2], site=True) for r in rows]
    for path, results in paths.items():
        for (number, _, _, expected), got in zip(rows, results):
            assert agree(expected, got), f"line {number} through {path}: {got}"


# --- checksums ----------------------------------------------------------------

def nudged(inputs, variant):
    out = []
    for i, x in enumerate(inputs):
        steps = ((variant + 1) * NUDGE[i]) % 11 - 5
        for _ in range(abs(steps)):
            x = math.nextafter(x, math.copysign(math.inf, steps))
        out.append(x)
    return tuple(out)


def number_text(x):
    """A result as a row writes it: printf's "%.17g", and nan whatever its sign."""
    return "nan" if math.isnan(x) else f"{x:.17g}"


def quoted(message):
    escapes = {ord("\n"): "\\n", ord("\\"): "\\\\", ord('"'): '\\"'}
    return '"' + "".join(escapes.get(b, chr(b) if 32 <= b < 127 else f"\\x{b:02x}")
                         for b in message) + '"'


def result_text(routine, result):
    status, message, outputs = result
    numbers = " ".join("unwritten" if x is None else number_text(x) for x in outputs)
    if routine in HELPERS or routine in NO_STATUS:
        return numbers
    return f"{status} {quoted(message)} {numbers}"


def fnv1a64(data):
    h = 0xCBF29CE484222325
    for byte in data:
        h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def variants_of(routine):
    return [nudged(r[2], v) for r in ROWS if r[1] == routine for v in range(24)]


@pytest.mark.parametrize("routine, expected_hash, calls", CHECKSUMS, ids=[c[0] for c in CHECKSUMS])
def test_checksums(routine, expected_hash, calls):
    inputs = variants_of(routine)
    assert len(inputs) == calls
    paths = {"scalar": [call_scalar(routine, p) for p in inputs],
             "arrays": call_arrays(routine, inputs)}
    if routine in SITE_ROUTINES:
        paths["Site"] = [call_scalar(routine, p, site=True) for p in inputs]
    for path, results in paths.items():
        text = "".join(result_text(routine, r) + "\n" for r in results)
        assert fnv1a64(text.encode("latin-1")) == expected_hash, f"{routine} through {path}"


# --- the same bits for any thread count and memory layout --------------------

@pytest.mark.parametrize("routine", sorted({c[0] for c in CHECKSUMS}))
def test_threads_and_layouts_give_the_same_bits(routine):
    function = getattr(geoconv, routine)
    points = np.array(variants_of(routine))
    points = np.tile(points, (-(-120_000 // len(points)), 1))[:120_000]   # several chunks a thread
    columns = [points[:, i] for i in range(points.shape[1])]
    reference = [o.view(np.uint64) for o in as_tuple(function(*columns, errors="nan", threads=1))]
    # A Fortran-order 2-d layout, read backwards, must give the same points'
    # bits, also where a thread's share starts in the middle of a row.
    flipped = [np.asfortranarray(c.reshape(-1, 48))[::-1, ::-1] for c in columns]
    for threads, args in ((2, columns), (3, columns), (3, flipped)):
        got = as_tuple(function(*args, errors="nan", threads=threads))
        if args is flipped:
            got = [g[::-1, ::-1].reshape(-1) for g in got]
        for a, b in zip(reference, got):
            assert np.array_equal(a, np.ascontiguousarray(b).view(np.uint64)), f"threads={threads}"
    failures = []
    for threads in (1, 2, 5):
        try:
            function(*columns, threads=threads)
            failures.append(None)
        except geoconv.ConversionError as e:
            failures.append((e.index, e.message))
    assert failures.count(failures[0]) == 3, failures
