"""The Python interface around the conversions: broadcasting and scalar rules,
inputs left alone, out=, both failure modes, pickling (the refused arguments
are shown, and run, in docs/python.md).
The conversions' own values are the table's business (test_table.py); here
an array's points are compared with scalar calls of the same points."""

import multiprocessing
import pickle
import threading
import time

import numpy as np
import pytest

import geoconv
from geoconv import ConversionError

SITE = (51.47222222, 0.0, 10.0)


class ArrayLike:
    """Anything with __array__, as pandas and xarray objects are."""

    def __init__(self, values):
        self.values = values

    def __array__(self, dtype=None):
        return np.asarray(self.values, dtype=dtype)


def pointwise(function, *args, **kw):
    """The scalar calls of every point of the broadcast arguments."""
    grids = np.broadcast_arrays(*(np.asarray(a, dtype=float) for a in args))
    return [np.array([function(*(float(g.flat[i]) for g in grids), **kw)[k]
                      for i in range(grids[0].size)]).reshape(grids[0].shape)
            for k in range(3)]


@pytest.mark.parametrize("args, shape", [
    (([10.0, 20.0], [[0.0], [1.0], [2.0]], 5.0), (3, 2)),
    ((np.arange(24.0).reshape(2, 3, 4)[:, ::-1, ::2], 3.0, np.float32(7.0)), (2, 3, 2)),
    ((ArrayLike([1.0, 2.0]), [3, 4], True), (2,)),
    ((np.zeros((0, 3)), 1.0, 2.0), (0, 3)),
    ((np.array(45.0), np.int64(3), 1000), None),     # 0-d arrays and NumPy scalars: scalars
])
def test_broadcasting_and_scalar_rules(args, shape):
    got = geoconv.LLA84toEFG84(*args)
    if shape is None:
        assert all(type(x) is float for x in got)
        assert got == geoconv.LLA84toEFG84(*(float(a) for a in args))
        return
    assert all(isinstance(x, np.ndarray) and x.dtype == np.float64 and x.shape == shape
               for x in got)
    for a, b in zip(got, pointwise(geoconv.LLA84toEFG84, *args)):
        np.testing.assert_array_equal(a, b)


def test_site_arrays_broadcast_and_scalar_site_matches_Site():
    E, F, G = geoconv.LLA84toEFG84([51.0, 52.0, 53.0], [0.5, -0.5, 1.0], [1e3, 2e4, 3e4])
    sites = ([51.4, 51.5], 0.0, [[10.0], [20.0]])
    got = geoconv.EFG84toAER(E[:2], F[:2], G[:2], *sites)
    for a, b in zip(got, pointwise(geoconv.EFG84toAER, E[:2], F[:2], G[:2], *sites)):
        np.testing.assert_array_equal(a, b)
    one = geoconv.EFG84toAER(E, F, G, *SITE)
    for a, b in zip(one, geoconv.Site(*SITE).EFG84toAER(E, F, G)):
        np.testing.assert_array_equal(a, b)


def test_inputs_are_never_modified_and_out_is_filled_in_place():
    lat = np.linspace(-80.0, 80.0, 12).reshape(3, 4)
    lon = np.arange(4, dtype=np.int32)
    alt = np.full((3, 4), 100.0)[:, ::-1]
    before = [a.copy() for a in (lat, lon, alt)]
    fresh = geoconv.LLA84toEFG84(lat, lon, alt)
    for a, b in zip((lat, lon, alt), before):
        np.testing.assert_array_equal(a, b)
    out = (np.empty((3, 4)), np.empty((4, 3)).T, np.empty((3, 4)))
    assert geoconv.LLA84toEFG84(lat, lon, alt, out=out) is not None
    for a, b in zip(out, fresh):
        np.testing.assert_array_equal(a, b)
    one = np.empty(2)
    assert geoconv.sind([30.0, 90.0], out=one) is one
    np.testing.assert_array_equal(one, [geoconv.sind(30.0), geoconv.sind(90.0)])


def test_failures_raise_with_index_or_become_nan():
    lat = np.array([[10.0, 91.0], [20.0, -95.0]])
    with pytest.raises(ConversionError) as raised:
        geoconv.LLA84toEFG84(lat, 0.0, 0.0)
    error = raised.value
    assert isinstance(error, ValueError) and error.index == 1
    assert error.message == "(LLA84toEFG84) problem: lat>90"
    assert str(error) == "(LLA84toEFG84) problem: lat>90 (at flat index 1)"
    got = geoconv.LLA84toEFG84(lat, 0.0, 0.0, errors="nan")
    for a, b in zip(got, pointwise(geoconv.LLA84toEFG84, lat, 0.0, 0.0, errors="nan")):
        np.testing.assert_array_equal(a, b)
        assert np.isnan(a[[0, 1], [1, 1]]).all() and not np.isnan(a[:, 0]).any()
    with pytest.raises(ConversionError, match=r"^\(AERtoLLA84\) problem: input range=0$"):
        geoconv.Site(*SITE).AERtoLLA84(0.0, 0.0, 0.0)
    assert np.isnan(geoconv.AERtoLLA84(1.0, 2.0, 0.0, *SITE, errors="nan")).all()


def test_strtoint_text_kinds_and_indexes_beyond_int():
    assert geoconv.STRtoINT("x-12", 1, 3) == geoconv.STRtoINT(b"x-12", 1, 3) == -12
    assert geoconv.STRtoINT(bytearray(b"12"), 0, 2**70) == geoconv.STRtoINT("12", 0, 2**31 - 1)
    assert geoconv.STRtoINT("12", -2**70, 1) == 0


def convert_in_child(site):
    return geoconv.LLA84toEFG84(*SITE), site.EFG84toAER(site.E, site.F, site.G)


def test_functions_sites_and_errors_pickle():
    site = geoconv.Site(*SITE)
    for thing in (geoconv.LLA84toEFG84, geoconv.sind, site.AERtoLLA84, geoconv.STRtoINT):
        assert pickle.loads(pickle.dumps(thing)).__name__ == thing.__name__
    copy = pickle.loads(pickle.dumps(site))
    assert repr(copy) == repr(site) and (copy.E, copy.F, copy.G) == (site.E, site.F, site.G)
    assert not pickle.loads(pickle.dumps(geoconv.Site(91.0, 0.0, 0.0))).valid
    error = pickle.loads(pickle.dumps(ConversionError("msg", 3)))
    assert (error.message, error.index, str(error)) == ("msg", 3, "msg (at flat index 3)")
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        lla, aer = pool.apply_async(convert_in_child, (site,)).get(timeout=60)
        assert pool.apply_async(geoconv.EFG84toLLA84, lla).get(timeout=60) == \
            geoconv.EFG84toLLA84(*lla)
    assert lla == geoconv.LLA84toEFG84(*SITE) and aer == (0.0, 0.0, 0.0)


def test_site_properties_and_an_invalid_site():
    site = geoconv.Site(*SITE)
    assert site.valid and (site.latitude, site.longitude, site.altitude) == SITE
    assert (site.E, site.F, site.G) == geoconv.LLA84toEFG84(*SITE)
    assert repr(site) == "Site(51.47222222, 0.0, 10.0)"
    bad = geoconv.Site(float("nan"), 0.0, 0.0)
    assert not bad.valid and np.isnan([bad.E, bad.F, bad.G]).all()
    with pytest.raises(ConversionError, match=r"lat>90") as raised:
        bad.AERtoEFG84([1.0, 2.0], 3.0, 4.0)
    assert raised.value.index == 0


def test_other_threads_run_while_an_array_is_converted():
    E, F, G = geoconv.LLA84toEFG84(np.linspace(-80.0, 80.0, 2_000_000), 0.0, 0.0)
    assert (E[-1], F[-1], G[-1]) == geoconv.LLA84toEFG84(80.0, 0.0, 0.0)  # large new arrays' ends
    out = (np.empty_like(E), np.empty_like(E), np.empty_like(E))
    done = threading.Event()

    def convert():
        geoconv.EFG84toLLA84(E, F, G, out=out, threads=1)
        done.set()

    # This thread notes the time at every turn it gets until the conversion
    # ends. Holding the GIL through the conversion would leave one gap as long
    # as the whole conversion; released, the longest gap is a small part of
    # it, however fast or busy the machine.
    worker = threading.Thread(target=convert)
    start = time.perf_counter()
    turns = [start]
    worker.start()
    while not done.is_set():
        turns.append(time.perf_counter())
    worker.join()
    total = time.perf_counter() - start
    longest = max(b - a for a, b in zip(turns, turns[1:] + [start + total]))
    assert longest < 0.5 * total, (longest, total, len(turns))


REASONS = {geoconv._core.reason(f): int(f) for f in geoconv._core.Fault.__members__.values()}


@pytest.mark.parametrize("name, args", [
    ("LLA84toEFG84", ([[10.0, 91.0], [np.nan, -90.0]], [0.0, 1.0], np.float32(5.0))),
    ("EFG84toAER", (*geoconv.LLA84toEFG84([51.0, 52.0], 0.5, 1e3), [[51.4], [95.0]], 0.0, 10.0)),
    ("AERtoLLA84", ([10.0, 20.0], 5.0, [0.0, 1e4], *SITE)),
    ("sind", (np.arange(3),)),                               # ints cast by NumPy
    ("EFG84toAERrates", (*([[c], [c + 1e3]] for c in geoconv.LLA84toEFG84(*SITE)),  # at the site
                         10.0, -5.0, 2.0, [SITE[0], 95.0], *SITE[1:])),
])
def test_ufuncs_give_the_functions_bits_with_nan_and_each_points_fault(name, args):
    ufunc = getattr(geoconv.ufuncs, name)
    assert pickle.loads(pickle.dumps(ufunc)) is ufunc         # by name, for Dask's workers
    got = ufunc(*args)
    got = got if isinstance(got, tuple) else (got,)
    expected = getattr(geoconv, name)(*args, errors="nan")
    expected = expected if isinstance(expected, tuple) else (expected,)
    for e, g in zip(expected, got):
        assert g.dtype == np.float64 and np.array_equal(e.view(np.uint64), g.view(np.uint64))
    if len(got) == len(expected):
        return
    grids = np.broadcast_arrays(*(np.asarray(a, dtype=float) for a in args))
    faults = []
    for i in range(grids[0].size):
        try:
            getattr(geoconv, name)(*(float(g.flat[i]) for g in grids))
            faults.append(0)
        except ConversionError as e:
            faults.append(REASONS[e.message])
    assert got[-1].dtype == np.uint8 and got[-1].ravel().tolist() == faults and any(faults)
