"""geoconv's conversions for Dask collections, lazily.

Every array function of :mod:`geoconv` is here under its name (the
conversions, ``DEGtoDMS`` and the degree helpers), taking Dask arrays and
returning Dask arrays; :func:`convert_columns` adds converted columns to a
Dask (or pandas) DataFrame. Each chunk is converted by the in-memory function,
so the results are the in-memory function's bits for the same points.

Arguments are broadcast as the in-memory functions broadcast them: Dask
arrays, NumPy arrays, sequences and scalars may be mixed (the site's
arguments included), the Dask arrays' chunks are aligned and a NumPy array is
cut to match them. Scalars stay scalars, so a scalar site is placed once per
chunk. The results of a conversion of several (three, or six for the
moving targets' routines) come from one task per chunk: compute them
together, ``dask.compute(E, F, G)``, or each computation converts the chunks
again.

Keywords
--------
errors : {"raise", "nan"}
    As in geoconv. With "raise", computing a result whose chunk holds a
    refused point raises :class:`geoconv.ConversionError` whose ``index`` is
    the flat (C-order) index of that chunk's first failing point in the whole
    broadcast shape; which chunk reports first when several fail is up to the
    scheduler.
threads : int
    Threads per chunk (default 1: Dask already converts chunks in parallel).
mode : {"exact", "fast"}
    As in geoconv (default "exact"), passed to every chunk.

Workers must be able to import geoconv (install it, or set ``PYTHONPATH`` for
them). Chunks should hold 1,000,000 points or more, read on the workers:
every chunk costs Dask a few tasks' bookkeeping (about 25 ms a chunk on the
2-core machine of the README's measurement, the time of converting 250,000
points), and shipping NumPy data through the task graph costs more than
converting it.

Example
-------
>>> import dask, dask.array as da, geoconv.dask as gd
>>> lat = da.random.uniform(-80, 80, 1_000_000, chunks=250_000)
>>> E, F, G = gd.LLA84toEFG84(lat, 0.0, 1000.0)            # lazy, ft in, metres out
>>> E, F, G = dask.compute(E, F, G)                         # NumPy arrays
"""

import inspect
import numbers
import textwrap

import dask.array as da
import dask.base
import numpy as np

import geoconv

# Every routine of the library, as geoconv.ufuncs has it.
__all__ = [*geoconv.ufuncs.__all__, "convert_columns"]


def _results(routine):
    """How many results a routine gives: its ufunc's float64 outputs."""
    return getattr(geoconv.ufuncs, routine).types[0].split("->")[1].count("d")


def _points(routine):
    """The names of a routine's point arguments (its site's included)."""
    parameters = inspect.signature(getattr(geoconv, routine)).parameters
    return [name for name, p in parameters.items() if p.kind == p.POSITIONAL_OR_KEYWORD]


# --- arrays -------------------------------------------------------------------

def _convert_block(routine, errors, threads, mode, *args, block_info=None):
    """One chunk through the in-memory function: its results, arrays (a
    tuple of them, or the one); a refused point's index made the whole
    array's."""
    try:
        results = getattr(geoconv, routine)(*args, errors=errors, threads=threads, mode=mode)
    except geoconv.ConversionError as e:
        if e.index is None or block_info is None:
            raise
        info = block_info[None]
        where = np.unravel_index(e.index, [stop - start for start, stop in info["array-location"]])
        index = np.ravel_multi_index([w + start for w, (start, _) in
                                      zip(where, info["array-location"])], info["shape"])
        raise geoconv.ConversionError(e.message, int(index)) from None
    if isinstance(results, tuple):      # scalars give NumPy floats
        return tuple(np.float64(r) if np.ndim(r) == 0 else r for r in results)
    return np.asarray(results, dtype=np.float64)


def _result(results, k):
    """Result k of a chunk's results."""
    return results[k]


def _lazy(routine, args, errors, threads, mode):
    """The Dask arrays of a routine's results over args broadcast together:
    Dask aligns the chunks (from the right, as broadcasting aligns axes)."""
    names = _points(routine)
    function = getattr(geoconv, routine)
    given = []     # each argument as a Dask array, or a scalar left as it is
    for name, a in zip(names, args):
        # Masked arrays, or Dask arrays of them, would lose their mask on the way.
        if isinstance(a._meta if isinstance(a, da.Array) else a, np.ma.MaskedArray):
            raise TypeError(f"{name}: masked arrays are not supported (the mask would be lost); "
                            f'pass {name}.filled(np.nan) with errors="nan"')
        if not isinstance(a, da.Array):
            try:
                v = np.asarray(a)
            except (TypeError, ValueError):
                v = None
            if v is None or v.ndim == 0:
                given.append(a)
                continue
            a = da.asarray(v)
        if any(np.isnan(n) for n in a.shape):
            raise ValueError(f"{name}: unknown chunk sizes; call compute_chunk_sizes() first")
        given.append(a)
    # The in-memory function on one point of each argument's type refuses what
    # it would refuse in a chunk (text, complex, a bad errors, threads or mode) now.
    try:
        function(*(np.ones((1,) * a.ndim, a.dtype) if isinstance(a, da.Array) else a
                   for a in given), errors=errors, threads=threads, mode=mode)
    except geoconv.ConversionError:
        pass
    shapes = [np.shape(a) for a in given]
    try:
        shape = np.broadcast_shapes(*shapes)
    except ValueError:
        listed = ", ".join(f"{n} {s}" for n, s in zip(names, shapes))
        raise ValueError(f"the shapes of {listed} cannot be broadcast") from None
    if not any(isinstance(a, da.Array) for a in given):
        given[0] = da.asarray(given[0])
    # Chunks aligned on the right, as broadcasting aligns axes.
    pairs = []
    for a in given:
        if isinstance(a, da.Array):
            pairs += [a, tuple(range(len(shape) - a.ndim, len(shape)))]
    chunks, aligned = da.unify_chunks(*pairs)
    aligned = iter(aligned)
    given = [next(aligned) if isinstance(a, da.Array) else a for a in given]
    chunks = tuple(chunks[i] for i in range(len(shape)))
    meta = np.empty((0,) * len(shape))
    name = f"geoconv-{routine}-{dask.base.tokenize(routine, errors, threads, mode, *given)}"
    results = da.map_blocks(_convert_block, routine, errors, threads, mode, *given, chunks=chunks,
                            meta=meta, name=name)
    if _results(routine) == 1:
        return results
    # Each result a view of the chunk's: one conversion for them all.
    return tuple(da.map_blocks(_result, results, k, chunks=chunks, meta=meta, name=f"{name}-{k}")
                 for k in range(_results(routine)))


def _lazy_function(routine):
    """The Dask form of geoconv.<routine>, with its parameters and documentation."""
    names = _points(routine)
    P = inspect.Parameter
    signature = inspect.Signature(
        [P(n, P.POSITIONAL_OR_KEYWORD) for n in names]
        + [P("errors", P.KEYWORD_ONLY, default="raise"), P("threads", P.KEYWORD_ONLY, default=1),
           P("mode", P.KEYWORD_ONLY, default="exact")])

    def function(*args, **kwargs):
        bound = signature.bind(*args, **kwargs)
        bound.apply_defaults()
        given = bound.arguments
        return _lazy(routine, [given[n] for n in names], given["errors"], given["threads"],
                     given["mode"])

    original = getattr(geoconv, routine)
    function.__signature__ = signature
    function.__name__ = function.__qualname__ = routine
    count = _results(routine)
    results = "a Dask array" if count == 1 else f"a tuple of {count} Dask arrays"
    summary, _, rest = inspect.getdoc(original).partition("\n")
    lazy = textwrap.fill(
        f"The lazy form of :func:`geoconv.{routine}` for Dask arrays: the same arguments (Dask "
        f"arrays, NumPy arrays, sequences or scalars, broadcast together; no ``out``), "
        f"``threads`` per chunk (default 1), ``mode``, and {results} of the broadcast shape, with the "
        f"in-memory function's bits. Its documentation follows.", 76)
    # The in-memory example, computed: the same call gives the same values.
    rest, _, example = rest.partition(">>> ")
    call, _, shown = example.partition("\n")
    call = f"float({call}.compute())" if count == 1 else f"dask.compute(*{call})"
    function.__doc__ = f"{summary}\n\n{lazy}\n{rest}>>> import dask\n>>> {call}\n{shown}"
    return function


for _routine in geoconv.ufuncs.__all__:
    globals()[_routine] = _lazy_function(_routine)
del _routine


# --- DataFrames -------------------------------------------------------------

class _RowError(geoconv.ConversionError):
    """A refused point of a DataFrame: ``index`` is its row's label."""

    def __init__(self, message, index=None):
        super().__init__(message, index)
        self.args = (f"{message} (at row {index!r})",)


def _column(rows, label):
    from pandas.api.types import is_numeric_dtype
    series = rows[label]
    if not is_numeric_dtype(series.dtype):
        raise TypeError(f"column {label!r}: expected numbers, got {series.dtype}")
    return series.to_numpy(dtype=np.float64, na_value=np.nan)


def _convert_partition(rows, routine, columns, site, names, errors, threads, mode):
    """A pandas DataFrame with a routine's results over its columns as new columns."""
    args = [_column(rows, c) for c in columns]
    args += [_column(rows, s) if isinstance(s, str) else s for s in site]
    try:
        results = getattr(geoconv, routine)(*args, errors=errors, threads=threads, mode=mode)
    except geoconv.ConversionError as e:
        raise _RowError(e.message, rows.index[e.index]) from None
    out = rows.copy(deep=False)
    for name, values in zip(names, results if isinstance(results, tuple) else (results,)):
        out[name] = values
    return out


def convert_columns(frame, routine, columns, names, *, site=None, errors="raise", threads=1,
                    mode="exact"):
    """Adds a conversion's results over columns of a DataFrame as new columns.

    Parameters
    ----------
    frame : dask.dataframe.DataFrame or pandas.DataFrame
        The rows to convert, each one point; it is not modified.
    routine : str or function
        A geoconv array function or its name, for example "EFG84toAER".
    columns : sequence of labels
        The columns holding the routine's point arguments in its order, for
        example ``["E", "F", "G"]`` (numbers; NA is NaN).
    names : sequence of labels
        Labels of the result columns in the routine's order, for example
        ``["az", "el", "range"]``; an existing column of that label is
        replaced.
    site : tuple, optional
        For the routines that take a site (and only for them: AERtoLLA84,
        EFG84toAER, EFG84toAERrates ...): the site's latitude, longitude
        (degrees) and altitude (**feet**), each a number or, as a str, the
        label of a column giving each row its own.
    errors : {"raise", "nan"}, optional
        On a refused point: raise geoconv.ConversionError whose ``index`` is
        its row's label (default), or give NaN in that row's results.
    threads : int, optional
        Threads per partition (default 1).
    mode : {"exact", "fast"}, optional
        As in geoconv (default "exact").

    Returns
    -------
    DataFrame
        Of the kind given (lazy for Dask): ``frame``'s columns and the
        results, float64, with the in-memory function's bits.

    Raises
    ------
    KeyError
        A column is missing.
    TypeError, ValueError
        A column is not numbers, the routine is unknown, or the columns,
        names or site do not fit it.

    Examples
    --------
    >>> import pandas as pd
    >>> tracks = pd.DataFrame({"E": [3984081.752697], "F": [-2e-05], "G": [4966764.583483]})
    >>> convert_columns(tracks, "EFG84toAER", ["E", "F", "G"], ["az", "el", "range"],
    ...                 site=(51.47222222, 0.0, 10.0)).loc[0, "az"]
    180.00000053226822
    """
    routine = getattr(routine, "__name__", routine)
    if routine not in geoconv.ufuncs.__all__:
        raise ValueError(f"routine must be one of geoconv's array functions, not {routine!r}")
    takes_site = "base_lat" in _points(routine)
    wanted = len(_points(routine)) - (3 if takes_site else 0)
    site = tuple(site) if site is not None else ()
    if len(site) != (3 if takes_site else 0):
        raise ValueError(f"{routine} takes a site (lat, lon, alt)" if takes_site
                         else f"{routine} takes no site")
    columns, names = tuple(columns), tuple(names)
    if len(columns) != wanted or len(names) != _results(routine):
        raise ValueError(f"{routine} takes {wanted} column(s) and gives {_results(routine)}")
    for s in site:
        if not isinstance(s, (str, numbers.Real)):
            raise TypeError(f"site: a number or a column label, not {s!r}")
    for label in columns + tuple(s for s in site if isinstance(s, str)):
        if label not in frame.columns:
            raise KeyError(f"no column {label!r}")
    arguments = (routine, columns, site, names, errors, threads, mode)
    if not hasattr(frame, "map_partitions"):
        return _convert_partition(frame, *arguments)
    # The partition function on the frame's empty model checks types and
    # keywords now and gives the result's columns.
    meta = _convert_partition(frame._meta, *arguments)
    return frame.map_partitions(_convert_partition, *arguments, meta=meta,
                                token=f"geoconv-{routine}")
