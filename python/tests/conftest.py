"""A Dask cluster of two worker processes for the tests that need one,
started once and always shut down."""

import os
import tempfile
from pathlib import Path

import pytest

import geoconv


@pytest.fixture(scope="session")
def cluster():
    distributed = pytest.importorskip("distributed")
    # The workers are new processes: they find geoconv where this one did.
    here = str(Path(geoconv.__file__).resolve().parents[1])
    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [here, os.environ.get("PYTHONPATH")]))
    with tempfile.TemporaryDirectory(prefix="geoconv-dask-") as scratch, \
            distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                     dashboard_address=":0", local_directory=scratch) as local, \
            distributed.Client(local) as client:
        yield client
