"""geoconv.dask on two worker processes: chunks aligned and broadcast give the
bits of one direct call, and a refused point is located in the whole array or
frame (the refused arguments are shown, and run, in docs/dask.md)."""

from contextlib import nullcontext

import dask
import dask.array as da
import dask.dataframe as dd
import numpy as np
import pandas as pd
import pytest

import geoconv
import geoconv.dask as gd

N = 200_000
rng = np.random.default_rng(15)
LAT = rng.uniform(-90.0, 90.0, N)
LAT[123_457] = 95.0                                       # the one refused point
E, F, G = geoconv.LLA84toEFG84(np.clip(LAT, -89, 89), rng.uniform(-180, 180, N), 1e4)
SITE_LAT = rng.uniform(-90.0, 90.0, 500)


# Each case: routine and its arguments, Dask arrays among them (mixed chunks,
# NumPy arrays and scalars broadcast with them).
@pytest.mark.parametrize("routine, args", [
    ("LLA84toEFG84", (da.from_array(LAT, chunks=60_000), rng.uniform(-180, 180, N), 1e3)),
    ("EFG84toAER", (da.from_array(E.reshape(400, 500), chunks=(150, 200)), F.reshape(400, 500),
                    da.from_array(G.reshape(400, 500), chunks=(100, 500)),
                    da.from_array(SITE_LAT, chunks=130), 10.0, np.full((400, 1), 10.0))),
    ("AERtoLLA84", (da.from_array(rng.uniform(0, 360, N), chunks=100_000), [[5.0], [45.0]],
                    da.from_array(rng.uniform(0, 1e6, N), chunks=70_000), 51.5, 0.0, 10.0)),
    ("atan2d", (da.from_array(E, chunks=50_000), F)),
    ("AERtoEFG84", (da.from_array(SITE_LAT), 45.0, 1e4, 91.0, 0.0, 10.0)),   # an invalid site
    ("AERratesToEFG84", (da.from_array(rng.uniform(0, 360, N), chunks=90_000), 10.0, 1e4,   # six
                         0.1, -0.2, 3.0, da.from_array(LAT, chunks=60_000), 0.0, 10.0)),
])
def test_chunks_give_the_bits_of_one_direct_call(cluster, routine, args):
    direct = [a.compute() if isinstance(a, da.Array) else a for a in args]
    expected = getattr(geoconv, routine)(*direct, errors="nan")
    got = dask.compute(getattr(gd, routine)(*args, errors="nan"))[0]
    for a, b in zip(*(r if isinstance(r, tuple) else (r,) for r in (expected, got))):
        assert np.array_equal(a.view(np.uint64), b.view(np.uint64))
    try:
        getattr(geoconv, routine)(*direct)
        index = None
    except geoconv.ConversionError as e:
        index = e.index
    with pytest.raises(geoconv.ConversionError) if index is not None else nullcontext() as raised:
        dask.compute(getattr(gd, routine)(*args))
    assert index is None or raised.value.index == index


def test_fast_mode_reaches_the_chunks(cluster):
    lazy = gd.EFG84toAER(da.from_array(E, chunks=70_000), F, G, 51.5, 0.0, 10.0, mode="fast")
    expected = geoconv.EFG84toAER(E, F, G, 51.5, 0.0, 10.0, mode="fast")
    for a, b in zip(expected, dask.compute(lazy)[0]):
        assert np.array_equal(a.view(np.uint64), b.view(np.uint64))


def test_columns_of_a_frame_are_converted_and_a_refused_row_named(cluster):
    rows = pd.DataFrame({"E": E, "F": F, "G": G, "lat": LAT, "site": SITE_LAT.repeat(N // 500)},
                        index=np.arange(N) + 1000)
    frame = dd.from_pandas(rows, npartitions=5)
    got = gd.convert_columns(frame, "EFG84toAER", ["E", "F", "G"], ["az", "el", "lat"],
                             site=("site", 0.0, 10.0), errors="nan").compute()
    expected = geoconv.EFG84toAER(E, F, G, rows.site.to_numpy(), 0.0, 10.0, errors="nan")
    assert list(got.columns) == ["E", "F", "G", "lat", "site", "az", "el"]
    for name, b in zip(("az", "el", "lat"), expected):
        assert np.array_equal(got[name].to_numpy().view(np.uint64), b.view(np.uint64))
    with pytest.raises(geoconv.ConversionError, match=r"lat>90 \(at row 124457\)$") as raised:
        gd.convert_columns(frame, geoconv.LLA84toEFG84, ["lat", "F", "G"], "xyz").compute()
    assert raised.value.index == 124_457


def test_the_ufuncs_map_dask_arrays_lazily(cluster):
    lat = da.from_array(LAT, chunks=60_000)
    lazy = [geoconv.ufuncs.sind(lat),                        # Dask's own __array_ufunc__
            *da.apply_gufunc(geoconv.ufuncs.LLA84toEFG84, "(),(),()->(),(),(),()", lat, 0.0, 1e3,
                             output_dtypes=(float, float, float, np.uint8))]
    expected = [geoconv.sind(LAT), *geoconv.ufuncs.LLA84toEFG84(LAT, 0.0, 1e3)]
    for a, b in zip(expected, dask.compute(*lazy)):
        assert np.array_equal(a, b, equal_nan=True) and a.dtype == b.dtype
