"""Speed of the Python module geoconv next to pymap3d and pyproj, in one run.

Every case converts the same 1,000,000 varied points as NumPy float64 arrays
(or makes one scalar call, for the per-call cases), in mode="exact" unless
its name says fast (mode="fast", geoconv::fast's SIMD). The cases run in
interleaved rounds, so that a slow spell of a shared machine falls on every
case alike, and each keeps its fastest round. Ends with a table of per-point
times and the ratios ours/peer against their targets, each marked met or
MISSED, like bench/bench.cpp.

The peers get their best: pyproj's Transformers are built once and take whole
arrays; pymap3d gets arrays and a scalar site; their heights are metres above
the ellipsoid, converted from our feet before timing.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/bench_python.py [--rounds N]
"""

import argparse
import platform
import sys
import time

import numpy as np

import geoconv

try:
    import pymap3d
    import pyproj
except ImportError as missing:
    sys.exit(f"bench_python: needs pymap3d and pyproj (Debian: python3-pymap3d python3-pyproj): "
             f"{missing}")

POINTS = 1_000_000
SCALAR_CALLS = 20_000
SITE = (51.47222222, -0.4, 80.0)           # lat, lon (deg), alt (ft)


def metres_above_ellipsoid(feet):
    return feet * geoconv.FEET_TO_METRES + geoconv.WGS84_HEIGHT_OFFSET


def make_points(seed=42):
    rng = np.random.default_rng(seed)
    p = {"lat": rng.uniform(-89.0, 89.0, POINTS), "lon": rng.uniform(-180.0, 180.0, POINTS),
         "alt": rng.uniform(-1000.0, 40000.0, POINTS)}
    p["E"], p["F"], p["G"] = geoconv.LLA84toEFG84(p["lat"], p["lon"], p["alt"])
    # Targets within a few degrees of the site, and directions seen from it.
    near = (SITE[0] + rng.uniform(-3.0, 3.0, POINTS), SITE[1] + rng.uniform(-3.0, 3.0, POINTS),
            rng.uniform(0.0, 40000.0, POINTS))
    p["tE"], p["tF"], p["tG"] = geoconv.LLA84toEFG84(*near)
    p["az"], p["el"] = rng.uniform(0.0, 360.0, POINTS), rng.uniform(-5.0, 85.0, POINTS)
    p["range"] = rng.uniform(1000.0, 300000.0, POINTS)
    p["h"], p["range_m"] = metres_above_ellipsoid(p["alt"]), p["range"] * geoconv.FEET_TO_METRES
    return p


def cases(p):
    """name -> (function, number of points or calls it converts)."""
    fwd = pyproj.Transformer.from_crs("EPSG:4979", "EPSG:4978", always_xy=True)
    inv = pyproj.Transformer.from_crs("EPSG:4978", "EPSG:4979", always_xy=True)
    site_h = metres_above_ellipsoid(SITE[2])
    radar = geoconv.Site(*SITE)
    outs = tuple(np.empty(POINTS) for _ in range(3))
    lat, lon, alt, h = p["lat"], p["lon"], p["alt"], p["h"]
    E, F, G = p["E"], p["F"], p["G"]
    target, aer = (p["tE"], p["tF"], p["tG"]), (p["az"], p["el"], p["range"])
    s_lat, s_lon, s_alt, s_h = 51.5, -0.1, 100.0, metres_above_ellipsoid(100.0)

    def scalar_loop(call):
        def run():
            for _ in range(SCALAR_CALLS):
                call()
        return run, SCALAR_CALLS

    return {
        "ours LLA84toEFG84": (lambda: geoconv.LLA84toEFG84(lat, lon, alt, threads=1), POINTS),
        "ours LLA84toEFG84, 2 threads":
            (lambda: geoconv.LLA84toEFG84(lat, lon, alt, threads=2), POINTS),
        "ours LLA84toEFG84, fast":
            (lambda: geoconv.LLA84toEFG84(lat, lon, alt, threads=1, mode="fast"), POINTS),
        "C++ array LLA84toEFG84":
            (lambda: geoconv._core.reference_call("LLA84toEFG84", (lat, lon, alt), outs), POINTS),
        "pymap3d geodetic2ecef": (lambda: pymap3d.geodetic2ecef(lat, lon, h), POINTS),
        "pyproj 4979->4978": (lambda: fwd.transform(lon, lat, h), POINTS),

        "ours EFG84toLLA84": (lambda: geoconv.EFG84toLLA84(E, F, G, threads=1), POINTS),
        "ours EFG84toLLA84, 2 threads":
            (lambda: geoconv.EFG84toLLA84(E, F, G, threads=2), POINTS),
        "ours EFG84toLLA84, fast":
            (lambda: geoconv.EFG84toLLA84(E, F, G, threads=1, mode="fast"), POINTS),
        "C++ array EFG84toLLA84":
            (lambda: geoconv._core.reference_call("EFG84toLLA84", (E, F, G), outs), POINTS),
        "pymap3d ecef2geodetic": (lambda: pymap3d.ecef2geodetic(E, F, G), POINTS),
        "pyproj 4978->4979": (lambda: inv.transform(E, F, G), POINTS),

        "ours Site.EFG84toAER": (lambda: radar.EFG84toAER(*target, threads=1), POINTS),
        "ours EFG84toAER, one site, all cores": (lambda: geoconv.EFG84toAER(*target, *SITE),
                                                 POINTS),
        "ours Site.EFG84toAER, fast":
            (lambda: radar.EFG84toAER(*target, threads=1, mode="fast"), POINTS),
        "C++ array Site::EFG84toAER":
            (lambda: geoconv._core.reference_call("EFG84toAER", target, outs, site=SITE),
             POINTS),
        "pymap3d ecef2aer": (lambda: pymap3d.ecef2aer(*target, SITE[0], SITE[1], site_h), POINTS),

        "ours Site.AERtoLLA84": (lambda: radar.AERtoLLA84(*aer, threads=1), POINTS),
        "ours AERtoLLA84, one site, all cores": (lambda: geoconv.AERtoLLA84(*aer, *SITE), POINTS),
        "ours Site.AERtoLLA84, fast":
            (lambda: radar.AERtoLLA84(*aer, threads=1, mode="fast"), POINTS),
        "C++ array Site::AERtoLLA84":
            (lambda: geoconv._core.reference_call("AERtoLLA84", aer, outs, site=SITE), POINTS),
        "pymap3d aer2geodetic":
            (lambda: pymap3d.aer2geodetic(p["az"], p["el"], p["range_m"], SITE[0], SITE[1],
                                          site_h), POINTS),

        "ours LLA84toEFG84, scalar call":
            scalar_loop(lambda: geoconv.LLA84toEFG84(s_lat, s_lon, s_alt)),
        "pyproj transform, scalar call": scalar_loop(lambda: fwd.transform(s_lon, s_lat, s_h)),
        "pymap3d geodetic2ecef, scalar call":
            scalar_loop(lambda: pymap3d.geodetic2ecef(s_lat, s_lon, s_h)),
    }


# (ours, peer, bound, kind): "at most" ours/peer <= bound; "at least" peer/ours >= bound
# (a speed-up: peer is the slower one-thread run).
COMPARISONS = [
    ("ours LLA84toEFG84", "pymap3d geodetic2ecef", 0.4, "at most"),
    ("ours LLA84toEFG84", "pyproj 4979->4978", 0.1, "at most"),
    ("ours LLA84toEFG84", "C++ array LLA84toEFG84", 1.25, "at most"),
    ("ours EFG84toLLA84", "pymap3d ecef2geodetic", 0.2, "at most"),
    ("ours EFG84toLLA84", "pyproj 4978->4979", 0.15, "at most"),
    ("ours EFG84toLLA84", "C++ array EFG84toLLA84", 1.25, "at most"),
    ("ours Site.EFG84toAER", "pymap3d ecef2aer", 0.25, "at most"),
    ("ours Site.EFG84toAER", "C++ array Site::EFG84toAER", 1.25, "at most"),
    ("ours Site.AERtoLLA84", "pymap3d aer2geodetic", 0.3, "at most"),
    ("ours Site.AERtoLLA84", "C++ array Site::AERtoLLA84", 1.25, "at most"),
    ("ours EFG84toAER, one site, all cores", "pymap3d ecef2aer", None, ""),
    ("ours AERtoLLA84, one site, all cores", "pymap3d aer2geodetic", None, ""),
    ("ours LLA84toEFG84, fast", "pymap3d geodetic2ecef", 0.2, "at most"),
    ("ours LLA84toEFG84, fast", "pyproj 4979->4978", 0.15, "at most"),
    ("ours EFG84toLLA84, fast", "pymap3d ecef2geodetic", 0.15, "at most"),
    ("ours EFG84toLLA84, fast", "pyproj 4978->4979", 0.15, "at most"),
    ("ours Site.EFG84toAER, fast", "pymap3d ecef2aer", 0.15, "at most"),
    ("ours Site.AERtoLLA84, fast", "pymap3d aer2geodetic", 0.2, "at most"),
    ("ours LLA84toEFG84, 2 threads", "ours LLA84toEFG84", 1.6, "at least"),
    ("ours EFG84toLLA84, 2 threads", "ours EFG84toLLA84", 1.6, "at least"),
    ("ours LLA84toEFG84, scalar call", "pyproj transform, scalar call", 0.15, "at most"),
    ("ours LLA84toEFG84, scalar call", "pymap3d geodetic2ecef, scalar call", None, ""),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=9, help="interleaved rounds (default 9)")
    rounds = parser.parse_args().rounds
    p = make_points()
    table = cases(p)
    best = {name: float("inf") for name in table}
    for _ in range(rounds):
        for name, (run, count) in table.items():
            start = time.perf_counter_ns()
            run()
            best[name] = min(best[name], (time.perf_counter_ns() - start) / count)

    print(f"Python {platform.python_version()}, NumPy {np.__version__}, "
          f"pymap3d {pymap3d.__version__}, pyproj {pyproj.__version__} "
          f"(PROJ {pyproj.proj_version_str}), {geoconv._core.available_cores()} cores; "
          f"{POINTS:,} points, fastest of {rounds} interleaved rounds\n")
    print("Time per point (per call for the scalar calls); ratio = ours / peer, "
          "or one thread / two threads for the speed-ups\n")
    print("| ours | ns | peer | ns | ratio | target |\n|---|---:|---|---:|---:|---|")
    met = compared = 0
    for ours, peer, bound, kind in COMPARISONS:
        a, b = best[ours], best[peer]
        if kind == "at least":
            ratio, ok, target = b / a, b / a >= bound, f">= {bound:.2f}"
        else:
            ratio = a / b
            ok = bound is None or ratio <= bound
            target = f"<= {bound:.2f}" if bound is not None else "(information)"
        if bound is not None:
            met += ok
            compared += 1
            target += " met" if ok else " MISSED"
        print(f"| {ours} | {a:.1f} | {peer} | {b:.1f} | {ratio:.3f} | {target} |")
    print(f"\nTargets met: {met} of {compared}")


if __name__ == "__main__":
    main()
