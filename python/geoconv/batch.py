"""Converts many files of points with Dask, as the converter geoconv converts one.

    python3 -m geoconv.batch COMMAND INPUT-GLOB OUTPUT-DIR [--site LAT,LON,ALT] [-p N]
                             [--columns NAMES] [--scheduler ADDRESS]

Every file INPUT-GLOB matches (a shard) gives one file of the same name in
OUTPUT-DIR, holding what ``geoconv COMMAND [--site ...] [-p N] SHARD`` writes:
the converter's own line engine (geoconv._core.Lines) formats every
line, ERROR lines included. A shard is written under a temporary name and
renamed when complete. Workers get the file names, not the data: they read
and write the shards themselves, so on a cluster the paths must be the same
on every worker.

Columns: by default the fields of a line are the command's inputs in order,
as for the converter. With ``--columns A,B,C`` the first line of every shard
is a header naming its columns (fields split as the converter splits them,
by runs of blanks or by commas), and the engine converts the named fields of
each later line, in that order; the other fields may hold anything, and a
named field that a line lacks counts as empty ("ERROR: field N is empty",
N its place in the line). The output starts with a header of the results'
names.

Runs on this machine's cores, or on the Dask cluster whose scheduler is at
ADDRESS. Dask's progress bar goes to standard error, as do messages.

Exit status, as the converter's: 0 every line converted; 1 some line gave
ERROR; 2 a usage error, no file matched, a shard unreadable or unwritable
(reported, others still converted), or a failure of the cluster.
"""

import argparse
import contextlib
import glob
import os
import sys
import uuid

from geoconv import _core

# The converter's commands: the routines of the library's registry that have one.
COMMANDS = {r["command"]: r for r in _core.routines() if r["command"]}
BLOCK = 1 << 20        # bytes read and converted at a time (a shard's memory is a few)
LONGEST = _core.LINE_LIMIT  # the converter's longest line
BOM = _core.BYTE_ORDER_MARK


class Refused(Exception):
    """A shard that cannot be converted as asked."""


def header_columns(source, file, columns):
    """The places of the named columns in the shard's first line."""
    header = file.readline(LONGEST + 8)
    if len(header) > LONGEST + 4 and not header.endswith(b"\n"):
        raise Refused(f"'{source}': header line longer than {LONGEST} characters")
    header = header[len(BOM):] if header.startswith(BOM) else header
    names = _core.split_fields(header.rstrip(b"\n").removesuffix(b"\r"))
    for name in columns:
        if names.count(name) != 1:
            how = "no" if name not in names else "more than one"
            raise Refused(f"'{source}': {how} column '{os.fsdecode(name)}' in its header")
    return [names.index(name) for name in columns]


def convert_shard(command, source, target, site, precision, columns=None, block=BLOCK):
    """Converts one shard into target: (ERROR lines, None), or (None, message).
    The converter's line engine, made from the command, the site as --site
    gives it (LAT,LON,ALT, or None) and the precision, reads the shard as the
    converter reads a file, in blocks: ERROR lines, long lines and byte-order
    marks are its own."""
    folder, name = os.path.split(target)
    temporary = os.path.join(folder, f".{name}.{uuid.uuid4().hex}")
    try:
        with open(source, "rb") as file, \
                open(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666), "wb") as out:
            if columns is None:
                lines = _core.Lines(command, site, precision)
            else:
                lines = _core.Lines(command, site, precision,
                                    header_columns(source, file, columns), begun=True)
                names = (name for name, _ in COMMANDS[command]["outputs"])
                out.write(" ".join(names).encode() + b"\n")
            while data := file.read(block):
                out.write(lines.feed(data))
            out.write(lines.finish())
        os.replace(temporary, target)
        return lines.errors, None
    except (OSError, Refused) as e:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        if isinstance(e, Refused):
            return None, str(e)
        where = source if e.filename in (None, source) else target
        verb = "read" if where == source else "write"
        return None, f"cannot {verb} '{where}': {e.strerror or e}"


# --- the command ------------------------------------------------------------

def parse(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m geoconv.batch", formatter_class=argparse.RawDescriptionHelpFormatter,
        description=__doc__.split("\n\n", 2)[2])
    parser.add_argument("command", metavar="COMMAND",
                        help="a command of the converter: " + ", ".join(COMMANDS))
    parser.add_argument("inputs", metavar="INPUT-GLOB", help="the shards, a glob pattern ('**' "
                        "for any folders below); quote it so that the shell leaves it")
    parser.add_argument("output", metavar="OUTPUT-DIR", help="folder for the outputs (made if "
                        "missing)")
    site_commands = ", ".join(c for c, r in COMMANDS.items() if r["site"])
    parser.add_argument("--site", metavar="LAT,LON,ALT",
                        help=f"base site of {site_commands} (deg, deg, ft)")
    parser.add_argument("-p", "--precision", default="6", metavar="N",
                        help=f"decimals of lengths and speeds, 0 to {_core.MAX_PRECISION} "
                        "(default 6); angles and their rates get N+3")
    parser.add_argument("--columns", metavar="NAMES",
                        help="comma-separated names of the input columns in a header line")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a Dask scheduler, such as tcp://host:8786 (default: this "
                        "machine's cores)")
    args = parser.parse_args(argv)
    # The precision, command and site checked as the converter checks them,
    # by its line engine.
    try:
        args.precision = _core.parse_precision(args.precision)
        _core.Lines(args.command, args.site, args.precision)
    except ValueError as e:
        parser.error(str(e))
    if args.columns is not None:
        args.columns = os.fsencode(args.columns).split(b",")
        if len(args.columns) != len(COMMANDS[args.command]["inputs"]):
            parser.error(f"--columns: {args.command} takes one name per input")
        if not all(args.columns):
            parser.error("--columns: a name is empty")
    return args


def shards(pattern, output):
    """(source, target) pairs, or a message: every match must be a readable
    regular file, their names distinct, and none of them an output."""
    sources = sorted(glob.glob(pattern, recursive=True))
    if not sources:
        return f"no file matches '{pattern}'"
    os.makedirs(output, exist_ok=True)
    pairs, seen = [], set()
    for source in sources:
        target = os.path.join(output, os.path.basename(source))
        if not os.path.isfile(source) or not os.access(source, os.R_OK):
            return f"cannot read '{source}': not a readable file"
        if target in seen:
            return f"two shards named '{os.path.basename(source)}'"
        if os.path.exists(target) and os.path.samefile(source, target):
            return f"input '{source}' is also the output"
        seen.add(target)
        pairs.append((os.path.abspath(source), os.path.abspath(target)))
    return pairs


def run(tasks, scheduler):
    """Computes the tasks with Dask's progress bar on standard error."""
    import dask
    if scheduler is None:
        from dask.diagnostics import ProgressBar
        # Threads share the cores while the engine converts (it releases the
        # GIL) and cost nothing to start.
        with ProgressBar(out=sys.stderr):
            return dask.compute(*tasks, scheduler="threads")
    from distributed import Client, progress
    try:
        client = Client(scheduler, timeout="10s")
    except OSError as e:
        raise RuntimeError(f"cannot reach the Dask scheduler at {scheduler}: {e}") from None
    with client:
        # Workers that cannot import geoconv would drop the tasks' connection
        # and leave them waiting; none at all would leave them waiting too.
        try:
            workers = client.run(lambda: __import__("geoconv.batch") and True)
        except Exception as e:
            raise RuntimeError(f"the workers at {scheduler} cannot import geoconv: "
                               f"{type(e).__name__}: {e}") from None
        if not workers:
            raise RuntimeError(f"the Dask scheduler at {scheduler} has no workers")
        futures = client.compute(tasks)
        with contextlib.redirect_stdout(sys.stderr):      # where its bar is drawn
            progress(futures)
        return client.gather(futures)


def main(argv=None):
    args = parse(argv)
    try:
        pairs = shards(args.inputs, args.output)
    except OSError as e:
        pairs = f"cannot make '{args.output}': {e.strerror or e}"
    if isinstance(pairs, str):
        print(f"geoconv.batch: {pairs}", file=sys.stderr)
        return 2
    import dask
    tasks = [dask.delayed(convert_shard, pure=False)(args.command, source, target, args.site,
                                                     args.precision, args.columns)
             for source, target in pairs]
    try:
        results = run(tasks, args.scheduler)
    except RuntimeError as e:
        print(f"geoconv.batch: {e}", file=sys.stderr)
        return 2
    except Exception as e:     # on the workers, for example no geoconv there
        print(f"geoconv.batch: the conversion failed: {type(e).__name__}: {e}", file=sys.stderr)
        return 2
    status = 0
    for errors, message in results:
        if message is not None:
            print(f"geoconv.batch: {message}", file=sys.stderr)
            status = 2
        elif errors and status == 0:
            status = 1
    return status


if __name__ == "__main__":
    # Run as geoconv.batch, not __main__, so that workers find its functions by name.
    from geoconv import batch
    sys.exit(batch.main())
