"""Draws docs/accuracy.png and docs/speed.png from measurements made by
`make figures` in the same run (matplotlib; Debian: python3-matplotlib).

    python3 docs/figures.py FOLDER

FOLDER holds the measurements:
- accuracy.txt: docs/accuracy_samples.cpp's lines (SERIES X LAT_ERROR ALT_ERROR);
- bench.txt: bench/bench.cpp's standard output, whose table gives each
  benchmark's fastest time per call over its interleaved rounds;
- bench_python.txt: bench/bench_python.py's standard output, whose table
  gives the Python module's and its peers' times per point.
"""

import math
import re
import sys
from collections import defaultdict
from pathlib import Path

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt   # noqa: E402 (after choosing the file-only backend)
import numpy as np                # noqa: E402

DOCS = Path(__file__).resolve().parent
METRES_PER_DEGREE = 111_320.0     # of latitude, near enough for a secondary scale
FLOOR = 1e-17                     # errors of exactly 0 are drawn here (log scales)
OURS, GEOGRAPHICLIB, PROJ, PYMAP3D = "#1f6fb4", "#e08214", "#5aae61", "#8c510a"


# --- accuracy -----------------------------------------------------------------

def binned(x, y, edges):
    """Bin centres (geometric), the largest and the median y of each bin with points."""
    where = np.digitize(x, edges)
    centres, top, middle = [], [], []
    for b in range(1, len(edges)):
        inside = y[where == b]
        if inside.size:
            centres.append(math.sqrt(edges[b - 1] * edges[b]))
            top.append(max(inside.max(), FLOOR))
            middle.append(max(np.median(inside), FLOOR))
    return np.array(centres), np.array(top), np.array(middle)


# (sweep, low X, high X, row of the table): X is the altitude in feet, or 90 - |lat|.
BANDS = [
    ("height", -1e7, -1e5, "altitude -1e7 to -1e5 ft (inside the Earth)"),
    ("height", -1e5, 1e5, "altitude -1e5 to 1e5 ft"),
    ("height", 1e5, 1e6, "altitude 1e5 to 1e6 ft"),
    ("height", 1e6, 1e7, "altitude 1e6 to 1e7 ft"),
    ("height", 1e7, 1e8, "altitude 1e7 to 1e8 ft"),
    ("latitude", 5, 90, "latitude 0 to 85\u00b0"),
    ("latitude", 1, 5, "latitude 85 to 89\u00b0"),
] + [("latitude", 10.0 ** -(k + 1), 10.0 ** -k, f"latitude {90 - 10.0 ** -k:.{k}f} to "
      f"{90 - 10.0 ** -(k + 1):.{k + 1}f}\u00b0") for k in range(6)]


def accuracy_table(samples):
    """Markdown: the largest errors in each band of height or latitude."""
    print("| points | EFG84toLLA84: latitude (deg) | altitude (ft) | round trip: latitude (deg) "
          "| altitude (ft) | count |\n|---|---:|---:|---:|---:|---:|")
    for sweep, low, high, row in BANDS:
        cells, count = [], 0
        for name in ("reverse", "round"):
            data = samples[f"{name}-{sweep}"]
            inside = data[(data[:, 0] >= low) & (data[:, 0] < high)]
            cells += [f"{inside[:, 1].max():.1e}", f"{inside[:, 2].max():.1e}"]
            count += len(inside)
        print(f"| {row} | {' | '.join(cells)} | {count:,} |")


def accuracy(folder):
    samples = defaultdict(list)
    for line in Path(folder, "accuracy.txt").read_text().splitlines():
        series, *values = line.split()
        samples[series].append([float(v) for v in values])
    samples = {k: np.array(v) for k, v in samples.items()}
    accuracy_table(samples)

    figure, axes = plt.subplots(2, 2, figsize=(11, 8.2), sharey="row")
    series = [("reverse", "EFG84toLLA84 vs GeographicLib", OURS),
              ("round", "round trip LLA\u2192EFG\u2192LLA", GEOGRAPHICLIB)]
    sweeps = [("height", "altitude (ft)"), ("latitude", "distance from the pole, 90 \u2212 |lat| (degrees)")]
    for column, (sweep, label) in enumerate(sweeps):
        for name, legend, colour in series:
            data = samples[f"{name}-{sweep}"]
            x = data[:, 0]
            if sweep == "height":
                # Heights above the ellipsoid and depths below it, by magnitude.
                halves = [(x > 0, "", "-"), (x < 0, ", depths", ":")]
            else:
                halves = [(x > 0, "", "-")]
            for keep, suffix, style in halves:
                magnitude = np.abs(x[keep])
                edges = np.geomspace(magnitude.min(), magnitude.max() * 1.0001, 41)
                for row, errors in enumerate((data[keep, 1], data[keep, 2])):
                    centres, top, middle = binned(magnitude, errors, edges)
                    axes[row, column].plot(centres, top, style, color=colour, lw=1.8,
                                           label=f"{legend}{suffix}: largest in a bin")
                    if not suffix:
                        axes[row, column].plot(centres, middle, style, color=colour, lw=0.9,
                                               alpha=0.55, label=f"{legend}: median")
        for row in range(2):
            axes[row, column].set_xscale("log")
            axes[row, column].set_yscale("log")
            axes[row, column].grid(True, which="major", alpha=0.3)
        axes[1, column].set_xlabel(label if sweep == "latitude" else
                                   "|altitude| (ft): heights up to 1e8 ft, depths (dotted) to "
                                   "1e7 ft")
        axes[0, column].set_title(f"over {sweep}" + (" (latitudes up to 89.9\u00b0)"
                                                      if sweep == "height" else
                                                      " (altitudes \u22121,000 to 40,000 ft)"))
    axes[0, 0].set_ylabel("latitude error (degrees)")
    axes[1, 0].set_ylabel("altitude error (ft)")
    right = axes[0, 1].secondary_yaxis("right", functions=(lambda d: d * METRES_PER_DEGREE,
                                                           lambda m: m / METRES_PER_DEGREE))
    right.set_ylabel("metres along the meridian")
    for column in range(2):
        axes[0, column].axhline(2.9e-10, color="grey", lw=0.8, ls="--")
    axes[0, 0].annotate("2.9e-10\u00b0: what RAD2DEG alone would add (scaled out)", (1.5, 3.4e-10),
                        fontsize=8, color="grey")
    figure.legend(*axes[0, 0].get_legend_handles_labels(), loc="lower center", ncol=3,
                  fontsize=8)
    figure.subplots_adjust(left=0.08, right=0.92, top=0.91, bottom=0.17, wspace=0.06, hspace=0.22)
    figure.suptitle("geoconv's error against GeographicLib's exact conversion "
                    f"({sum(len(v) for v in samples.values()):,} points; GeographicLib's latitude "
                    "scaled by RAD2DEG/(180/\u03c0))", fontsize=11)
    figure.savefig(DOCS / "accuracy.png", dpi=110)


# --- speed ----------------------------------------------------------------------

CPP_GROUPS = [   # (group, [(benchmark, label, colour)])
    ("LLA84toEFG84", [("Ours_LLA84toEFG84", "geoconv", OURS),
                      ("GeographicLib_Forward", "GeographicLib", GEOGRAPHICLIB),
                      ("PROJ_cart_forward", "PROJ", PROJ)]),
    ("EFG84toLLA84", [("Ours_EFG84toLLA84", "geoconv", OURS),
                      ("GeographicLib_Reverse", "GeographicLib", GEOGRAPHICLIB),
                      ("PROJ_cart_inverse", "PROJ", PROJ)]),
    ("AERtoLLA84", [("Ours_AERtoLLA84", "geoconv", OURS),
                    ("GeographicLib_LocalCartesian_Reverse", "GeographicLib", GEOGRAPHICLIB),
                    ("PROJ_topocentric_inverse", "PROJ", PROJ)]),
    ("EFG84toAER", [("Ours_EFG84toAER", "geoconv", OURS),
                    ("GeographicLib_Reverse_LocalCartesian_Forward", "GeographicLib",
                     GEOGRAPHICLIB),
                    ("PROJ_topocentric_forward", "PROJ", PROJ)]),
    ("converter vs cct,\nper line", [("Tool_geoconv_lla2efg", "geoconv", OURS),
                                     ("Tool_cct_cart", "PROJ", PROJ)]),
]
PY_GROUPS = [
    ("LLA84toEFG84", [("ours LLA84toEFG84", "geoconv", OURS),
                      ("pymap3d geodetic2ecef", "pymap3d", PYMAP3D),
                      ("pyproj 4979->4978", "pyproj", PROJ)]),
    ("EFG84toLLA84", [("ours EFG84toLLA84", "geoconv", OURS),
                      ("pymap3d ecef2geodetic", "pymap3d", PYMAP3D),
                      ("pyproj 4978->4979", "pyproj", PROJ)]),
    ("AERtoLLA84, one site", [("ours AERtoLLA84, one site", "geoconv", OURS),
                              ("pymap3d aer2geodetic", "pymap3d", PYMAP3D)]),
    ("EFG84toAER, one site", [("ours EFG84toAER, one site", "geoconv", OURS),
                              ("pymap3d ecef2aer", "pymap3d", PYMAP3D)]),
    ("one scalar call", [("ours LLA84toEFG84, scalar call", "geoconv", OURS),
                         ("pymap3d geodetic2ecef, scalar call", "pymap3d", PYMAP3D),
                         ("pyproj transform, scalar call", "pyproj", PROJ)]),
]


def table_times(path):
    """Name -> ns per call (per point, per line), from a bench's table rows:
    | ours | ns | peer | ns | ... |."""
    times = {}
    row = re.compile(r"^\| (.+?) \| ([\d.]+) \| (.+?) \| ([\d.]+) \|")
    for line in Path(path).read_text().splitlines():
        match = row.match(line)
        if match:
            times[match[1]], times[match[3]] = float(match[2]), float(match[4])
    return times


def bars(axis, groups, times, title, unit):
    """Grouped horizontal bars on a linear scale; the last group (tens of
    times slower) is cut at the axis end, its bars marked and labelled."""
    limit = 1.3 * max(times[m[0]] for _, members in groups[:-1] for m in members
                      if m[0] in times)
    y, ticks, labels, seen = 0.0, [], [], set()
    for group, members in groups:
        present = [m for m in members if m[0] in times]
        for name, label, colour in present:
            value = times[name]
            axis.barh(y, min(value, limit), color=colour, height=0.8,
                      label=None if label in seen else label)
            text = f"{value:,.0f}" if value >= 100 else f"{value:.1f}"
            if value > limit:
                axis.text(limit * 0.98, y, f"{text} \u2192", va="center", ha="right",
                          fontsize=8, color="white", weight="bold")
            else:
                axis.text(value + limit * 0.01, y, text, va="center", fontsize=8)
            seen.add(label)
            y += 1
        ticks.append(y - (len(present) + 1) / 2)
        labels.append(group)
        y += 0.8
    axis.set_yticks(ticks, labels)
    axis.invert_yaxis()
    axis.set_xlim(0, limit)
    axis.set_xlabel(unit)
    axis.set_title(title, fontsize=10)
    axis.grid(True, axis="x", alpha=0.3)
    axis.legend(fontsize=8, loc="upper right")


def speed(folder):
    figure, axes = plt.subplots(1, 2, figsize=(12, 5.6), constrained_layout=True)
    bars(axes[0], CPP_GROUPS, table_times(Path(folder, "bench.txt")),
         "C++: one call (site given on every call)",
         "ns per call, fastest round (per line for the converters)")
    bars(axes[1], PY_GROUPS, table_times(Path(folder, "bench_python.txt")),
         "Python: 1,000,000 points in NumPy arrays, one thread",
         "ns per point, fastest round (per call for one scalar call)")
    figure.suptitle("Time per point: geoconv beside its peers, measured in one run "
                    "(shorter is faster)", fontsize=11)
    figure.savefig(DOCS / "speed.png", dpi=110)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    accuracy(sys.argv[1])
    speed(sys.argv[1])
    print(f"wrote {DOCS / 'accuracy.png'} and {DOCS / 'speed.png'}")
