"""The module against the project's table of expected results (tests/data/
expected.txt, shared with the C++ tests; its header gives the format): every
row and every checksum over the nudged inputs, through scalar calls, a Site
(for the site routines) and array calls, each result written as the table
writes it, the module's reason turned back into the library's line."""

import math
import re
from pathlib import Path

import numpy as np
import pytest

import geoconv
from geoconv import _core

TABLE = Path(__file__).resolve().parents[2] / "tests" / "data" / "expected.txt"
NUDGE = (3, 5, 7, 2, 4, 6, 8, 9, 10)
ROUTINES = {r["name"]: r for r in _core.routines()}
LINE = {_core.reason(f): _core.message(f) for f in _core.Fault.__members__.values()}


def read_table():
    """{routine: [(line number, input tokens, result text)]} and
    {routine: (hash, calls)}."""
    rows, checksums = {}, {}
    for number, line in enumerate(TABLE.read_text("latin-1").splitlines(), 1):
        tokens = re.findall(r'"(?:[^"\\]|\\.)*"|\S+', line)
        if not tokens or tokens[0].startswith("#"):
            continue
        if tokens[0] == "checksum":
            checksums[tokens[1]] = (int(tokens[2], 16), int(tokens[3]))
            continue
        arrow = tokens.index("->")
        rows.setdefault(tokens[0], []).append((number, tokens[1:arrow],
                                               " ".join(tokens[arrow + 1:])))
    return rows, checksums


ROWS, CHECKSUMS = read_table()


def unquote(token):
    """A quoted text of the table as bytes."""
    escapes = {b"n": b"\n", b"\\": b"\\", b'"': b'"'}
    return re.sub(rb"\\(x[0-9A-Fa-f]{2}|.)",
                  lambda m: bytes([int(m[1][1:], 16)]) if m[1][:1] == b"x" else escapes[m[1]],
                  token[1:-1].encode("latin-1"))


# --- the module's results, written as rows -----------------------------------

def as_tuple(result):
    return result if isinstance(result, tuple) else (result,)


def through(routine, points, path):
    """(reason or None, outputs) of every point: by scalar calls, by calls on
    a Site, or by one errors="nan" array call and errors="raise" calls walking
    from one failing point to the next for the reasons."""
    function = getattr(geoconv, routine)
    count = len(ROUTINES[routine]["inputs"])         # a site routine's site after them
    if path != "arrays":
        results = []
        for p in points:
            try:
                got = getattr(geoconv.Site(*p[count:]), routine)(*p[:count]) if path == "Site" \
                    else function(*p)
            except geoconv.ConversionError as e:
                assert e.index is None
                results.append((e.message, None))
                continue
            assert all(type(x) is float for x in as_tuple(got))
            results.append((None, as_tuple(got)))
        return results
    columns = [np.array(c, dtype=float) for c in zip(*points)]
    outputs = as_tuple(function(*columns, errors="nan"))
    results, start = [], 0
    while start < len(points):
        try:
            function(*(c[start:] for c in columns))
            failed = len(points)
        except geoconv.ConversionError as e:
            failed, reason = start + e.index, e.message
        results += [(None, tuple(float(o[i]) for o in outputs)) for i in range(start, failed)]
        if failed < len(points):
            assert all(math.isnan(o[failed]) for o in outputs)
            results.append((reason, None))
        start = failed + 1
    return results


def texts(routine, points, path):
    """The results as the table writes them. A refused call's outputs, which
    the module does not show, are left unwritten but for a zero range, which
    hands back the site as given."""
    shows_status = '"' in ROWS[routine][0][2]
    written = []
    for p, (reason, outputs) in zip(points, through(routine, points, path)):
        if reason is not None:
            zero_range = reason == _core.reason(_core.Fault.range)
            outputs = p[3:6] if zero_range else (None,) * len(ROUTINES[routine]["outputs"])
        numbers = " ".join("unwritten" if x is None else "nan" if math.isnan(x) else f"{x:.17g}"
                           for x in outputs)
        line = "" if reason is None else LINE[reason].replace("\n", "\\n")
        written.append(f'{int(reason is not None)} "{line}" {numbers}' if shows_status
                       else numbers)
    return written


def paths(routine):
    return ["scalar", "arrays"] + (["Site"] if ROUTINES[routine]["site"] else [])


# --- rows and checksums -------------------------------------------------------

def test_table_covers_the_registry():
    assert set(ROWS) == set(ROUTINES) | {"STRtoINT"} and set(CHECKSUMS) == set(ROUTINES)


@pytest.mark.parametrize("routine", ROUTINES)
def test_rows(routine):
    rows = ROWS[routine]
    points = [tuple(float(t) for t in inputs) for _, inputs, _ in rows]
    for path in paths(routine):
        for (number, _, expected), got in zip(rows, texts(routine, points, path)):
            assert got == expected, f"line {number} through {path}"


def test_strtoint_rows():
    for number, (text, first, last), expected in ROWS["STRtoINT"]:
        assert str(geoconv.STRtoINT(unquote(text), int(first), int(last))) == expected, number


def variants_of(routine):
    """Every row's inputs in its 24 nudged variants, as the header says."""
    points = []
    for _, inputs, _ in ROWS[routine]:
        for v in range(24):
            point = []
            for i, x in enumerate(float(t) for t in inputs):
                steps = ((v + 1) * NUDGE[i]) % 11 - 5
                for _ in range(abs(steps)):
                    x = math.nextafter(x, math.copysign(math.inf, steps))
                point.append(x)
            points.append(tuple(point))
    return points


def fnv1a64(data):
    h = 0xCBF29CE484222325
    for byte in data:
        h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


@pytest.mark.parametrize("routine", ROUTINES)
def test_checksums(routine):
    expected_hash, calls = CHECKSUMS[routine]
    points = variants_of(routine)
    assert len(points) == calls
    for path in paths(routine):
        text = "".join(t + "\n" for t in texts(routine, points, path))
        assert fnv1a64(text.encode("latin-1")) == expected_hash, f"{routine} through {path}"


# --- the same bits for any thread count and memory layout --------------------

@pytest.mark.parametrize("routine", ROUTINES)
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


# --- mode="fast": the same refusals, results near the exact ones ------------

# The bounds themselves are proven by the C++ suite (tests/fast.cpp); here fast
# mode must be reached (a conversion with SIMD kernels differs somewhere in
# the last bits) and give each output within 1e-8 of exact, relative to
# 1 + |exact|: four times the widest bound, 2e-7 degree of latitude near a
# pole, and 30 times the largest difference on these points. The routines
# with kernels of their own, by the level the processor gives the fast mode:
SIMD = {"avx512": {"LLA84toEFG84", "EFG84toLLA84", "AERtoXYZ", "XYZtoAER", "AERtoEFG84",
                   "EFG84toAER"},
        "avx2": {"XYZtoAER"}}.get(geoconv._core.fast_level(), set())


@pytest.mark.parametrize("routine", ROUTINES)
def test_fast_mode_is_reached_and_near_exact(routine):
    function = getattr(geoconv, routine)
    columns = [np.array(c) for c in zip(*variants_of(routine))]
    exact = np.array(as_tuple(function(*columns, errors="nan")))
    fast = np.array(as_tuple(function(*columns, errors="nan", mode="fast")))
    assert np.array_equal(np.isnan(exact), np.isnan(fast))
    finite = np.isfinite(exact)
    assert (abs(exact[finite] - fast[finite]) <= 1e-8 * (1 + abs(exact[finite]))).all()
    assert np.array_equal(exact[~finite], fast[~finite], equal_nan=True)
    if routine in SIMD:
        assert (exact.view(np.uint64) != fast.view(np.uint64)).any(), routine
