"""The moving targets' rotations against pymap3d (Debian's python3-pymap3d),
an independent implementation of the same east, north, up frame."""

import numpy as np
import pytest

import geoconv

pymap3d = pytest.importorskip("pymap3d")


def test_velocity_rotations_agree_with_pymap3d():
    # Within 1e-9 of the velocity's magnitude: the library's degree factor
    # (DEG2RAD, 0.01745329252) is 1.1e-11 relative from pi/180, pymap3d's.
    n = 100_000
    rng = np.random.default_rng(42)
    lat, lon, alt = rng.uniform(-90, 90, n), rng.uniform(-180, 180, n), rng.uniform(-1e3, 1e5, n)
    v = rng.uniform(-1e4, 1e4, (3, n)) * rng.uniform(0, 1, n) ** 8      # many sizes of speed
    ft = geoconv.FEET_TO_METRES
    for ours, theirs, scale in (
            (geoconv.EFG84toXYZvelocity(*v, lat, lon, alt), pymap3d.ecef2enuv(*v, lat, lon), ft),
            (geoconv.XYZtoEFG84velocity(*v, lat, lon, alt), pymap3d.enu2uvw(*v * ft, lat, lon), 1)):
        difference = np.linalg.norm(np.array(ours) * scale - np.array(theirs), axis=0)
        assert (difference <= 1e-9 * np.linalg.norm(theirs, axis=0)).all()
