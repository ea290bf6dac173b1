"""Converts many files of points with Dask, as the converter geoconv converts one.

    python3 -m geoconv.batch COMMAND INPUT-GLOB OUTPUT-DIR [--site LAT,LON,ALT] [-p N]
                             [--columns NAMES] [--scheduler ADDRESS]

Every file INPUT-GLOB matches (a shard) gives one file of the same name in
OUTPUT-DIR, holding what ``geoconv COMMAND [--site ...] [-p N] SHARD`` writes:
the converter's own line engine (geoconv._core.convert_text) formats every
line, ERROR lines included. A shard is written under a temporary name and
renamed when complete. Workers get the file names, not the data: they read
and write the shards themselves, so on a cluster the paths must be the same
on every worker.

Columns: by default the fields of a line are the command's inputs in order,
as for the converter. With ``--columns A,B,C`` the first line of every shard
is a header naming its columns (fields split as the converter splits them,
by runs of blanks or by commas); each later line is converted as the
converter converts the line of the named fields alone, in that order, joined
by commas (a field the line lacks is empty, so the line gives
"ERROR: field N is empty"). Blank, comment and over-long lines are the
converter's own. The output starts with a header of the results' names.

Runs on this machine's cores, or on the Dask cluster whose scheduler is at
ADDRESS. Dask's progress bar goes to standard error, as do messages.

Exit status, as the converter's: 0 every line converted; 1 some line gave
ERROR; 2 a usage error, no file matched, a shard unreadable or unwritable
(reported, others still converted), or a failure of the cluster.
"""

import argparse
import contextlib
import glob
import itertools
import os
import re
import sys
import uuid

from geoconv import _core

# Command: (inputs it reads, names of its results), as the converter has them.
COMMANDS = {
    "lla2efg": (3, "E F G"), "efg2lla": (3, "lat lon alt"), "aer2xyz": (3, "x y z"),
    "xyz2aer": (3, "az el range"), "aer2lla": (3, "lat lon alt"), "aer2efg": (3, "E F G"),
    "efg2aer": (3, "az el range"), "efg84to72": (3, "E72 F72 G72"), "dms": (1, "deg min sec"),
}
SITE_COMMANDS = ("aer2lla", "aer2efg", "efg2aer")

BLOCK = 1 << 20        # bytes read and converted at a time (a shard's memory is a few)
LONGEST = 65536        # the converter's longest line; longer ones give ERROR whatever they hold
# An unended line already longer than this is over-long whatever follows (a
# '\r' and a byte-order mark are dropped from a line's length): only its
# first KEEP bytes are kept.
KEEP = LONGEST + 8
BOM = b"\xef\xbb\xbf"
SEPARATOR = re.compile(rb"[ \t]*,[ \t]*|[ \t]+")     # the converter's field separators
NUMBER = re.compile(rb"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")


class Refused(Exception):
    """A shard that cannot be converted as asked."""


def line_blocks(file, block):
    """The file's bytes in pieces of whole lines (each ending in '\\n'), then
    its unended last line (possibly empty)."""
    pending = b""
    while True:
        try:
            data = file.read(block)
        except OSError as e:
            e.filename = file.name
            raise
        if not data:
            yield pending
            return
        data = pending + data
        end = data.rfind(b"\n") + 1
        if end == 0:
            pending = data[:KEEP]
            continue
        pending = data[end:]
        yield data[:end]


def fields(line):
    return SEPARATOR.split(line.strip(b" \t"))


def picked_lines(lines, positions):
    """Lines made of the fields at positions, and the indexes of those whose
    first field starts with '#' (the engine would take them for comments)."""
    out, hashed = [], []
    for line in lines:
        body = line[:-1] if line.endswith(b"\r") else line
        stripped = body.lstrip(b" \t")
        if not stripped or stripped.startswith(b"#") or len(body) > LONGEST:
            out.append(line)
            continue
        found = fields(body)
        picked = [found[p] if p < len(found) else b"" for p in positions]
        if picked[0].startswith(b"#"):
            hashed.append(len(out))
        out.append(b",".join(picked) or b",")    # one empty field, not a blank line
    return out, hashed


def convert_shard(command, source, target, site, precision, columns=None, block=BLOCK):
    """Converts one shard into target: (ERROR lines, None), or (None, message)."""
    folder, name = os.path.split(target)
    temporary = os.path.join(folder, f".{name}.{uuid.uuid4().hex}")
    errors = 0

    def convert(text, at_start):
        # The engine takes each text as a whole input and skips a byte-order
        # mark at its start: past the first piece, a blank line goes first
        # (copied as "\n") and its output is dropped.
        nonlocal errors
        output, count = _core.convert_text(command, text if at_start else b"\n" + text,
                                           site=site, precision=precision)
        errors += count
        return output if at_start else output[1:]

    try:
        with open(source, "rb") as file, \
                open(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666), "wb") as out:
            pieces = line_blocks(file, block)
            if columns is None:
                for i, piece in enumerate(pieces):
                    out.write(convert(piece, i == 0))
            else:
                first = next(pieces)
                header, _, rest = first.partition(b"\n")
                header = header[len(BOM):] if header.startswith(BOM) else header
                header = header[:-1] if header.endswith(b"\r") else header
                names = fields(header) if header.strip(b" \t") else []
                positions = []
                for name in columns:
                    if names.count(name) != 1:
                        how = "no" if name not in names else "more than one"
                        raise Refused(f"'{source}': {how} column '{os.fsdecode(name)}' "
                                      "in its header")
                    positions.append(names.index(name))
                out.write(COMMANDS[command][1].encode() + b"\n")
                for piece in itertools.chain([rest], pieces):
                    lines = piece.split(b"\n")
                    if lines[-1] == b"":
                        lines.pop()
                    if not lines:
                        continue
                    text, hashed = picked_lines(lines, positions)
                    output = convert(b"\n".join(text) + b"\n", False)
                    if hashed:
                        # Such a line's ERROR is its first field's, as the engine
                        # gives it for that field in second place.
                        got = output.split(b"\n")
                        for i in hashed:
                            line, _ = _core.convert_text("lla2efg", b"0," + text[i].split(b",")[0])
                            got[i] = line[:-1]
                            errors += 1
                        output = b"\n".join(got)
                    out.write(output)
        os.replace(temporary, target)
        return errors, None
    except (OSError, Refused) as e:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        if isinstance(e, Refused):
            return None, str(e)
        where = source if e.filename == source else target
        verb = "read" if where == source else "write"
        return None, f"cannot {verb} '{where}': {e.strerror or e}"


# --- the command ------------------------------------------------------------

def read_site(text):
    """LAT,LON,ALT as the converter reads it; the engine checks the latitude."""
    values = fields(os.fsencode(text))
    if len(values) != 3 or not all(NUMBER.fullmatch(v) for v in values):
        raise ValueError("expected LAT,LON,ALT, three decimal numbers")
    site = tuple(float(v) for v in values)
    if not all(abs(v) < float("inf") for v in site):
        raise ValueError("not finite")
    return site


def parse(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m geoconv.batch", formatter_class=argparse.RawDescriptionHelpFormatter,
        description=__doc__.split("\n\n", 2)[2])
    parser.add_argument("command", choices=COMMANDS, metavar="COMMAND",
                        help="a command of the converter: " + ", ".join(COMMANDS))
    parser.add_argument("inputs", metavar="INPUT-GLOB", help="the shards, a glob pattern ('**' "
                        "for any folders below); quote it so that the shell leaves it")
    parser.add_argument("output", metavar="OUTPUT-DIR", help="folder for the outputs (made if "
                        "missing)")
    parser.add_argument("--site", metavar="LAT,LON,ALT",
                        help="base site of aer2lla, aer2efg and efg2aer (deg, deg, ft)")
    parser.add_argument("-p", "--precision", default="6", metavar="N",
                        help="decimals of lengths, 0 to 20 (default 6); angles get N+3")
    parser.add_argument("--columns", metavar="NAMES",
                        help="comma-separated names of the input columns in a header line")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a Dask scheduler, such as tcp://host:8786 (default: this "
                        "machine's cores)")
    args = parser.parse_args(argv)
    if not re.fullmatch(r"\d{1,2}", args.precision) or int(args.precision) > 20:
        parser.error(f"bad precision '{args.precision}': expected a whole number from 0 to 20")
    args.precision = int(args.precision)
    args.site_values = (0.0, 0.0, 0.0)
    if args.command in SITE_COMMANDS:
        if args.site is None:
            parser.error("this command needs --site LAT,LON,ALT")
        try:
            args.site_values = read_site(args.site)
            _core.convert_text(args.command, "", site=args.site_values)
        except ValueError as e:      # the engine's message follows "bad site (...): "
            parser.error(f"bad --site '{args.site}': {str(e).split('): ', 1)[-1]}")
    elif args.site is not None:
        parser.error("--site applies only to aer2lla, aer2efg and efg2aer")
    if args.columns is not None:
        args.columns = os.fsencode(args.columns).split(b",")
        if len(args.columns) != COMMANDS[args.command][0] or not all(args.columns):
            parser.error(f"--columns: {args.command} takes {COMMANDS[args.command][0]} names")
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


def run(tasks, scheduler, columns):
    """Computes the tasks with Dask's progress bar on standard error."""
    import dask
    if scheduler is None:
        from dask.diagnostics import ProgressBar
        # Threads share the cores while the engine converts (it releases the
        # GIL) and cost nothing to start; picking columns is Python's own work,
        # which needs processes.
        with ProgressBar(out=sys.stderr):
            return dask.compute(*tasks, scheduler="threads" if columns is None else "processes")
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
    tasks = [dask.delayed(convert_shard, pure=False)(args.command, source, target,
                                                     args.site_values, args.precision,
                                                     args.columns)
             for source, target in pairs]
    try:
        results = run(tasks, args.scheduler, args.columns)
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
