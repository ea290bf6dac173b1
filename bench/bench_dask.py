"""Throughput of geoconv on Dask workers: geoconv.dask over arrays and
python3 -m geoconv.batch over text shards, on a LocalCluster of one and of two
worker processes (one thread each), next to the same work without Dask on one
and two cores (one direct call; the converter), all in one run: the cases run
in interleaved rounds and each keeps its fastest.

Arrays: LLA84toEFG84 over 16,000,000 points made on the workers (held there
before the clock starts), in chunks of 1,000,000 points and, to show what a
task costs, of 100,000; each chunk's results are summed on its worker, so
only the sums travel. Shards: lla2efg over 8 files of 1,000,000 lines each,
copies of one, read and written on the workers.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/bench_dask.py TOOL [--rounds N]

TOOL is the converter (build/release/tools/geoconv).
"""

import argparse
import contextlib
import os
import platform
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import dask
import dask.array as da
import numpy as np
from distributed import Client, LocalCluster, wait

import geoconv
import geoconv.dask as gd
from geoconv import batch

POINTS = 16_000_000
SHARDS, LINES = 8, 1_000_000
CHUNKS = (1_000_000, 100_000)


def write_shards(folder):
    rng = np.random.default_rng(15)
    lla = np.column_stack([rng.uniform(-89, 89, LINES), rng.uniform(-180, 180, LINES),
                           rng.uniform(-1000, 40000, LINES)])
    np.savetxt(Path(folder, "shard0.txt"), lla, fmt="%.9f %.9f %.3f")
    for i in range(1, SHARDS):
        shutil.copyfile(Path(folder, "shard0.txt"), Path(folder, f"shard{i}.txt"))


def array_case(client, chunk):
    """(prepare, run): inputs made and held on the workers, then converted.
    A chunk's latitudes, longitudes and altitudes come from one task, so they
    lie on one worker, as they would when a worker reads them from a file.
    Each round gets inputs of its own: the same inputs would give the same
    task names, whose results Dask may still hold."""
    def prepare():
        u = da.random.uniform(0.0, 1.0, (3, POINTS), chunks=(3, chunk))
        lla = client.persist([u[0] * 178 - 89, u[1] * 360 - 180, u[2] * 41000 - 1000])
        with client.as_current():
            wait(lla)
        return lla

    return prepare, lambda lla: client.compute([r.sum() for r in gd.LLA84toEFG84(*lla)],
                                               sync=True)


def shard_case(address, folder):
    """(prepare, run): the batch command on the cluster at address, or on this
    machine's cores (Dask's local processes) when address is None."""
    def run(_):
        cluster = ["--scheduler", address] if address else []
        with open(os.devnull, "w") as quiet, contextlib.redirect_stderr(quiet):   # its bar
            assert batch.main(["lla2efg", f"{folder}/in/*", f"{folder}/out", *cluster]) == 0
    return lambda: None, run


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool", help="the converter geoconv")
    parser.add_argument("--rounds", type=int, default=5, help="rounds (default 5)")
    args = parser.parse_args()
    # Worker processes find geoconv where this one did.
    here = str(Path(geoconv.__file__).resolve().parents[1])
    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [here, os.environ.get("PYTHONPATH")]))
    rng = np.random.default_rng(1)
    lla = (rng.uniform(-89, 89, POINTS), rng.uniform(-180, 180, POINTS),
           rng.uniform(-1000, 40000, POINTS))
    cluster = {}
    with contextlib.ExitStack() as stack:
        folder = stack.enter_context(tempfile.TemporaryDirectory(prefix="geoconv-bench-dask-"))
        Path(folder, "in").mkdir()
        write_shards(Path(folder, "in"))
        for workers in (1, 2):
            local = stack.enter_context(LocalCluster(
                n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=":0",
                local_directory=folder))
            cluster[workers] = (local.scheduler_address,
                                stack.enter_context(Client(local, set_as_default=False)))

        shards = sorted(Path(folder, "in").iterdir())

        def tools(parallel):
            """The converter over the shards, that many at a time."""
            def run(_):
                for first in range(0, len(shards), parallel):
                    children = []
                    for shard in shards[first:first + parallel]:
                        with open(shard, "rb") as source:
                            children.append(subprocess.Popen([args.tool, "lla2efg"], stdin=source,
                                                             stdout=subprocess.DEVNULL))
                    assert all(child.wait() == 0 for child in children)
            return SHARDS * LINES, lambda: None, run

        def direct(threads):
            return POINTS, lambda: None, lambda _: geoconv.LLA84toEFG84(*lla, threads=threads)

        # (row, column) -> (points or lines, prepare, run); the local run last
        # in a round, as its processes may take a moment to end.
        cases = {("shards", "one process"): tools(1), ("shards", "two processes"): tools(2),
                 ("arrays", "one process"): direct(1), ("arrays", "two processes"): direct(2)}
        for workers, (address, client) in cluster.items():
            cases[("shards", workers)] = (SHARDS * LINES, *shard_case(address, folder))
            for chunk in CHUNKS:
                cases[(f"arrays, {chunk:,}-point chunks", workers)] = (
                    POINTS, *array_case(client, chunk))
        cases[("shards", "local")] = (SHARDS * LINES, *shard_case(None, folder))
        # Interleaved rounds: a slow spell of a shared machine falls on every case alike.
        best = dict.fromkeys(cases, float("inf"))
        for _ in range(args.rounds):
            for key, (count, prepare, run) in cases.items():
                given = prepare()
                start = time.perf_counter()
                run(given)
                best[key] = min(best[key], time.perf_counter() - start)
                del given
        rate = {key: cases[key][0] / best[key] / 1e6 for key in cases}

    print(f"Python {platform.python_version()}, NumPy {np.__version__}, Dask {dask.__version__}, "
          f"{os.cpu_count()} cores; fastest of {args.rounds} interleaved rounds\n")
    print("Millions of points (lines for the shards) per second\n")
    print("| case | 1 worker | 2 workers | 2 workers / 1 | without Dask, 1 | without Dask, 2 |\n"
          "|---|---:|---:|---:|---:|---:|")
    for row in dict.fromkeys(r for r, c in cases if c in (1, 2)):
        one, two = rate[(row, 1)], rate[(row, 2)]
        alone = row.split(",")[0]
        print(f"| {row} | {one:.2f} | {two:.2f} | {two / one:.2f} | "
              f"{rate[(alone, 'one process')]:.2f} | {rate[(alone, 'two processes')]:.2f} |")
    print("\nwithout Dask: for the arrays one geoconv.LLA84toEFG84 call over the same points with "
          "threads=1 or 2; for the shards the converter over them, one or two at a time")
    print(f"shards without --scheduler (Dask's local threads, one a core): "
          f"{rate[('shards', 'local')]:.2f}")

if __name__ == "__main__":
    main()
