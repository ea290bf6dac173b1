"""python3 -m geoconv.batch against the converter geoconv (GEOCONV_TOOL, set by
`make test`): every shard's output is the converter's for the same lines,
ERROR lines included, whatever the reading blocks, on this machine's cores or
on a cluster; the exit status is the converter's. Its refusals are shown, and
run, in docs/dask.md."""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

from geoconv import batch

TOOL = os.environ.get("GEOCONV_TOOL")
LIMIT = 1 << 20       # most bytes read from a child
BOM = b"\xef\xbb\xbf"

# (command, options, {shard: its text}, status, and with --columns (the last
# option) lines that give the converter's output for the picked fields: a
# missing field is reported by its place in the line, and one starting with
# '#' is a field, not a comment.
CASES = [
    ("lla2efg", ["-p", "3"],
     {"a.csv": b"51.47222222 0 10\n91 0 0\n# note\n\n1,2,x\r\n" + BOM + b"1 2 3\n+5\t6 7",
      "b.csv": BOM + b"10,20,30\r\n" + b"1" * 70_000 + b"\n1,,2\n", "c.csv": b""}, 1, None),
    ("aer2lla", ["--site", "51.47222222,0,10"], {"s.txt": b"180 45 10000\n0 0 1\n"}, 0, None),
    ("lla2efg", ["--columns", "lat,lon,alt"],
     {"w.csv": BOM + b"t,alt,lat,lon\r\n1,10,51.5,0\n# c\n2 ,7 , 91,0\n3,1\n4,5,#y,6\n5 6 7 8\n"},
     1, b"51.5,0,10\n# c\n91,0,7\n0,0,\n1,#y,1\n7,8,6\n"),
    ("efg2aerrates", ["--site", "0,0,0", "-p", "2", "--columns", "E,F,G,vE,vF,vG"],  # six and six
     {"m.csv": b"vG vF vE G F E\n3 2 1 0 0 6378112.236\n0 10 0 0 1000 6378112.236\n"},
     1, b"6378112.236 0 0 1 2 3\n6378112.236 1000 0 0 10 0\n"),
]


def converter(arguments, text, folder):
    source = Path(folder, "converter-input")
    source.write_bytes(text)
    with subprocess.Popen([TOOL, *arguments, str(source)], stdout=subprocess.PIPE) as child:
        output = child.stdout.read(LIMIT)
        child.kill()
        return output


def run_batch(arguments):
    """(exit status, standard error) of the batch command, killed however the
    test ends."""
    child = subprocess.Popen([sys.executable, "-m", "geoconv.batch", *arguments],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        error = child.stderr.read(LIMIT)
        return child.wait(timeout=60), error
    finally:
        child.kill()
        child.wait()
        child.stderr.close()


@pytest.mark.skipif(not TOOL, reason="GEOCONV_TOOL names no converter")
@pytest.mark.parametrize("command, options, shards, status, picked", CASES)
def test_shards_get_the_converters_output(cluster, command, options, shards, status, picked):
    with tempfile.TemporaryDirectory(prefix="geoconv-batch-") as folder:
        Path(folder, "in").mkdir()
        for name, text in shards.items():
            Path(folder, "in", name).write_bytes(text)
        arguments = [command, f"{folder}/in/*", f"{folder}/out", *options]
        got, error = run_batch(arguments)
        assert got == status and b"100% Completed" in error
        outputs = {name: Path(folder, "out", name).read_bytes() for name in shards}
        assert batch.main(arguments + ["--scheduler", cluster.scheduler.address]) == status
        args = batch.parse(arguments)
        plain = options if picked is None else options[:-2]
        for name, text in shards.items():
            expected = converter([command, *plain], picked or text, folder)
            if picked:
                names = [name for name, _ in batch.COMMANDS[command]["outputs"]]
                expected = " ".join(names).encode() + b"\n" + expected
            assert outputs[name] == Path(folder, "out", name).read_bytes() == expected, name
            for block in (1, 3):
                target = Path(folder, "block")
                batch.convert_shard(command, str(Path(folder, "in", name)), str(target),
                                    args.site, args.precision, args.columns, block)
                assert target.read_bytes() == expected, (name, block)
