"""Every routine of geoconv as a NumPy ufunc, under its name.

Each takes the routine's inputs (a site routine's base site last: base_lat,
base_lon, base_alt) and gives its outputs, float64, with the exact bits of
the function of the same name in geoconv; a routine that can fail gives
one more output, uint8, each point's fault (0 for none; 1 a latitude
beyond +-90 or NaN, the point's or the site's; 2 no foot point, in
EFG84toLLA84; 3 a range of 0, in AERtoLLA84; 4 a target at the site, in
EFG84toAERrates: ``geoconv._core.Fault``), and NaN in the outputs of a
failing point, as ``errors="nan"`` gives.
They convert on the calling thread in mode "exact" (the functions add
``threads``, ``mode`` and the raising of ConversionError).

As ufuncs they take NumPy's keywords (``out``, ``dtype`` casting). Dask
maps the one-output ones over its arrays itself, lazily (``sind(x)`` of a
Dask array is a Dask array); it maps a ufunc of several outputs only
through ``dask.array.apply_gufunc`` with the signature written out, or use
:mod:`geoconv.dask`'s functions.

>>> import numpy as np, geoconv.ufuncs as gu
>>> E, F, G, fault = gu.LLA84toEFG84(np.array([51.47222222, 91.0]), 0.0, 10.0)
>>> E.tolist(), fault.tolist()
([3981053.1787552065, nan], [0, 1])
"""

from . import _core

globals().update(_core.ufuncs)
__all__ = list(_core.ufuncs)
