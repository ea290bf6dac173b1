"""Arrays under hostile use: out= over the inputs gives the bits of a run on
copies and a raise loses nothing; outputs whose elements meet, masked arrays
and bad thread counts are refused, outputs that only come close are not."""

import tracemalloc

import numpy as np
import pytest
from numpy.lib.stride_tricks import as_strided

import geoconv
from geoconv import ConversionError

N = 40_000                          # two threads' worth of points (16,384 a thread at least)
LLA, AER = geoconv.LLA84toEFG84, geoconv.AERtoEFG84


def grid(*shape):
    """Valid arguments everywhere: degrees and feet within +-80."""
    return np.random.default_rng(5).uniform(-80.0, 80.0, shape)


bits = lambda a: np.asarray(a).view(np.uint64)
rows, T = tuple, lambda a: tuple(a.T)           # a (3, n) buffer's rows, an (n, 3) one's columns
points = lambda f: T(f.reshape(N, 3))           # 3N elements as N interleaved points


# A buffer's shape, its views as the inputs and as out=, the argument a refused point goes into.
case = lambda f, shape, ins, outs, k, id: pytest.param(f, shape, ins, outs, k, id=id)
shift = lambda ins, outs, id: case(LLA, (3 * N + 1,), lambda f: points(f[ins]),
                                   lambda f: points(f[outs]), 0, id)
CASES = [
    case(LLA, (3, N), rows, rows, 0, "in place"),
    case(LLA, (3, N), rows, lambda b: (b[1], b[0], b[2]), 0, "in place, outputs swapped"),
    case(LLA, (N, 3), T, T, 0, "interleaved (n, 3) in place"),
    case(LLA, (N + 1, 3), lambda a: T(a[:-1]), lambda a: T(a[1:]), 0, "one point on"),
    case(LLA, (N + 1, 3), lambda a: T(a[1:]), lambda a: T(a[:-1]), 0, "one point back"),
    shift(slice(0, -1), slice(1, None), "one element on"),
    shift(slice(1, None), slice(0, -1), "one element back"),
    case(LLA, (3, N), rows, lambda b: tuple(b[:, ::-1]), 0, "reversed"),
    case(LLA, (3, 100, N // 100), lambda b: (b[0], b[1][0], b[2]), rows, 0, "a broadcast row"),
    case(AER, (6, N), rows, lambda b: tuple(b[3:]), 3, "site arrays in place"),
    case(geoconv.AERratesToEFG84, (9, N), rows, lambda b: tuple(b[3:]), 6,
         "six outputs over the rates and the site"),
]


@pytest.mark.parametrize("errors", ["nan", "raise"])
@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("mode", ["exact", "fast"])
@pytest.mark.parametrize("f, shape, ins, outs, k", CASES)
def test_outputs_over_inputs_give_the_bits_of_a_run_on_copies(f, shape, ins, outs, k, mode,
                                                             threads, errors):
    b = grid(*shape)
    args = ins(b)
    if errors == "nan":
        args[k].flat[N // 2 + 7] = 95.0               # a refused point: NaN in both runs
    expected = f(*(a.copy() for a in args), errors=errors, mode=mode, threads=threads)
    got = f(*args, out=outs(b), errors=errors, mode=mode, threads=threads)
    assert all(np.array_equal(bits(e), bits(g)) for e, g in zip(expected, got))


@pytest.mark.parametrize("threads", [1, 10**30])       # a huge count is the most threads
@pytest.mark.parametrize("f, shape, ins, outs, k", CASES)
def test_a_raise_leaves_outputs_over_inputs_as_they_were(f, shape, ins, outs, k, threads):
    b = grid(*shape)
    args = ins(b)
    args[k].flat[N // 2 + 7] = 95.0                    # among the second thread's points
    with pytest.raises(ConversionError) as on_copies:
        f(*(a.copy() for a in args))
    before = b.copy()
    with pytest.raises(ConversionError) as raised:
        f(*args, out=outs(b), threads=threads)
    assert (raised.value.index, str(raised.value)) == (on_copies.value.index, str(on_copies.value))
    assert np.array_equal(bits(b), bits(before))


@pytest.mark.parametrize("f, errors", [(LLA, "nan"), (geoconv.AERtoXYZ, "raise")])
def test_exactly_in_place_copies_nothing(f, errors):
    b = grid(3, 1_000_000)                             # 8 MB a row
    expected = f(*b.copy(), errors=errors)
    tracemalloc.start()
    try:
        f(*b, out=tuple(b), errors=errors, threads=2)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert peak < 4_000_000                            # a copy would be a row at least
    assert all(np.array_equal(bits(e), bits(g)) for e, g in zip(expected, b))


flat, ONE = np.zeros, np.ones(4)
zero_stride = lambda shape: as_strided(flat(1), shape, (0,) * len(shape))
# A call, the exception it raises and a pattern of its message.
REFUSED = [
    (lambda: geoconv.sind(ONE, out=zero_stride((4,))), ValueError,
     r"^out\[0\]: its elements overlap one another \(a zero stride or overlapping strides\)$"),
    (lambda: geoconv.sind(np.ones((3, 4)), out=as_strided(flat(8), (3, 4), (16, 8))),
     ValueError, r"^out\[0\]: its elements overlap one another"),         # rows overlap
    (lambda: geoconv.sind(np.broadcast_to(0.0, (2049, 2049)),            # too many to list
                          out=as_strided(flat(4100), (2049, 2049), (8, 8))), ValueError,
     r"^out\[0\]: its elements may share memory"),
    (lambda: LLA(ONE, 0, 0, out=(flat(4), flat(4), zero_stride((4,)))), ValueError,
     r"^out\[2\]: its elements overlap"),
    (lambda: (lambda a: LLA(ONE, 0, 0, out=(a[0:8:2], a[3:7], a[8:12])))(flat(12)), ValueError,
     r"^out arrays must not overlap one another$"),                      # a[4], a[6] shared
    (lambda: LLA(np.ma.array(ONE, mask=[0, 1, 0, 0]), 0, 0), TypeError,
     r'^lat: masked arrays are not supported \(the mask would be lost\); '
     r'pass lat\.filled\(np\.nan\) with errors="nan"$'),
    (lambda: AER(1, 2, 3, 10, np.ma.masked_array([0.0]), 0), TypeError, r"^base_lon: masked"),
    (lambda: geoconv.Site(0, 0, 0).EFG84toAER(1, 2, np.ma.masked), TypeError, r"^G: masked"),
    (lambda: geoconv.Site(np.ma.masked, 0, 0), TypeError, r"^lat: masked.*; pass a number$"),
    (lambda: LLA(ONE, 0, 0, out=(flat(4), np.ma.zeros(4), flat(4))), TypeError,
     r"^out\[1\]: masked arrays are not supported.*; pass a plain ndarray$"),
    (lambda: geoconv.sind(ONE, threads=-10**30), ValueError,
     r"^threads must be at least 1, not -1000000000000000000000000000000$"),
    (lambda: geoconv.sind(ONE, threads=-10**5000), ValueError,
     r"^threads must be at least 1, not (a negative int of 16610 bits|-10{22}\.\.\..*)$"),
    (lambda: geoconv.sind(ONE, threads=0), ValueError, r"^threads must be at least 1, not 0$"),
    (lambda: geoconv.atan2d(zero_stride((2**31, 1)), zero_stride((1, 2**31))), ValueError,
     r"^broadcast shape too large: \(2147483648, 2147483648\)$"),  # 2**65 bytes of results
    (lambda: geoconv.sind(10**400), ValueError,
     r"^d: integer too large for a float64: 10{23}\.\.\.0{12} \(401 characters\)$"),
]


@pytest.mark.parametrize("call, error, message", REFUSED)
def test_refused(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_masked_arrays_are_refused_by_the_dask_functions():
    da = pytest.importorskip("dask.array")
    import geoconv.dask as gd
    for lat in (np.ma.array(ONE), da.from_array(np.ma.array(ONE, mask=[0, 1, 0, 0]))):
        with pytest.raises(TypeError, match=r"^lat: masked arrays are not supported"):
            gd.LLA84toEFG84(lat, 0.0, 0.0)


# out= arrays close to one another, or to themselves, sharing no element.
ACCEPTED = [
    lambda a: T(a[:48].reshape(16, 3)[:4]),                              # interleaved columns
    lambda a: (a[0:16:4], a[1:9:2], a[17:21]),                           # strides 32 and 16
    lambda a: (as_strided(a, (3, 2), (16, 24)), as_strided(a[1:], (3, 2), (40, 56)),
               a[30:36].reshape(3, 2)),                                  # lattices
]


@pytest.mark.parametrize("outs", ACCEPTED)
def test_outputs_sharing_no_element_are_accepted(outs):
    shape = outs(flat(64))[0].shape
    lat = np.linspace(-60.0, 60.0, np.prod(shape)).reshape(shape)
    got = LLA(lat, 1.0, 2.0, out=outs(flat(64)))
    assert all(np.array_equal(bits(e), bits(g)) for e, g in zip(LLA(lat, 1.0, 2.0), got))


@pytest.mark.parametrize("threads", [1, 2])
def test_an_output_trailing_its_input_gives_the_bits_of_a_run_on_a_copy(threads):
    # NumPy lets a one-output loop write just behind what it reads, right
    # only point after point: threads must not split such a run.
    b = grid(1_000_001)                                # long enough for the threads to meet
    expected = geoconv.sind(b[1:].copy())
    assert np.array_equal(bits(expected), bits(geoconv.sind(b[1:], out=b[:-1], threads=threads)))
