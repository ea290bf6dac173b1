"""Exact coordinate conversions on the WGS 84 ellipsoid.

Python interface to the C++ library geoconv: every routine under the
library's name, on Python numbers or on NumPy arrays of any shape, giving the
library's results to the last bit.

Units
-----
- latitude, longitude, azimuth, elevation: decimal degrees (latitude positive
  north, longitude positive east, azimuth clockwise from north);
- altitude and slant range: **feet** (0.3048 m); an altitude is the height
  above the ellipsoid plus 24.764 m;
- E, F, G (Earth-centred, Earth-fixed): metres;
- local x (east), y (north), z (up): the unit of the range they come from;
- moving targets: Earth-fixed velocities vE, vF, vG in metres per second,
  local ones vx, vy, vz (east, north, up) in **feet** per second, the rates
  of azimuth and elevation in degrees per second and the range rate in feet
  per second (positive moving away).

Inputs and outputs
------------------
Every argument may be a number, a sequence, a NumPy array or anything with
``__array__`` (pandas, xarray), but not a masked array; the arguments are
broadcast together as NumPy ufuncs broadcast, read as float64 and never
modified. When every argument is a scalar the results are Python floats,
otherwise float64 arrays of the broadcast shape. Keywords common to the
conversions:

- ``out=(a, b, c)``: float64 arrays of the broadcast shape, one per output,
  to fill in place (and return) instead of new ones. They may share memory with the inputs
  in any way (the results are those of copies of the inputs); an array
  whose elements overlap one another, or two sharing an element, are
  refused;
- ``errors="raise"`` (default) or ``"nan"``: what a failing point does (below);
- ``threads=None``: how many threads may share a large array (default: all
  cores); results are the same bits for any number;
- ``mode="exact"`` (default) or ``"fast"``: arrays converted with SIMD,
  within nanometres and 1e-12 degree of the exact bits (scalars stay exact).

Arrays are converted by NumPy ufuncs, one per routine, which
:mod:`geoconv.ufuncs` gives under the routines' names.

Failures
--------
A point the library refuses (status 1) raises :class:`ConversionError`, a
``ValueError`` carrying the library's reason and, for arrays, the flat index
of the first failing point; ``out=`` arrays sharing memory with an input are
then as they were, while others may hold the results of some points. With
``errors="nan"`` the failing points' outputs are NaN instead and nothing is
raised for them. Arguments that cannot be used (text where numbers belong,
a masked array, shapes that do not broadcast, a wrong ``out``) raise
``TypeError`` or ``ValueError``.

Example
-------
>>> import geoconv
>>> geoconv.LLA84toEFG84(51.47222222, 0.0, 10.0)        # lat, lon (deg), alt (ft)
(3981053.1787552065, 0.0, 4966421.008340718)
"""

import textwrap

from . import _core

__version__ = _core.__version__

# The library's constants, exactly its doubles, under their names:
# WGS72_E2, WGS84_E2, WGS72_A, WGS84_A, EARTH_EQ_RADIUS, WGS84_B,
# WGS72_HEIGHT_OFFSET, WGS84_HEIGHT_OFFSET, PI, DEG2RAD, RAD2DEG and
# FEET_TO_METRES (_core.CONSTANTS gives each one's meaning).
_CONSTANTS = [name for name, _ in _core.CONSTANTS]
globals().update({name: getattr(_core, name) for name in _CONSTANTS})


class ConversionError(ValueError):
    """A point the library refused (the routine returned status 1).

    Attributes
    ----------
    message : str
        The library's reason, for example
        ``"(LLA84toEFG84) problem: lat>90"``.
    index : int or None
        For array arguments, the flat index (C order, in the broadcast shape)
        of the first failing point; None for scalar arguments.
    """

    def __init__(self, message, index=None):
        text = message if index is None else f"{message} (at flat index {index})"
        super().__init__(text)
        self.message = message
        self.index = index

    def __reduce__(self):
        return (type(self), (self.message, self.index))


_core.set_conversion_error(ConversionError)


# --- the routines, made from the library's registry ---------------------------
#
# Every routine of the registry (_core.routines()) is a function here of the
# same name, and a site routine is also a Site method. Its parameters, their
# units, its results and whether it can fail come from the registry; what the
# registry does not say (what a quantity means, notes, which faults, an
# example) is below.

_ROUTINES = {r["name"]: r for r in _core.routines()}


def _arguments(routine, on_site=False):
    """(name, unit) of a routine's point arguments, then its site's (not for
    a Site method, whose site is its own)."""
    if routine["site"] and not on_site:
        return routine["inputs"] + _core.SITE_INPUTS
    return routine["inputs"]


# What each quantity is, by its name; a note in brackets comes after its unit.
_MEANING = dict(line.split(": ", 1) for line in """\
lat: Geodetic latitude (-90 to 90 inclusive)
lon: Longitude (positive east)
alt: Altitude (the height above the ellipsoid plus 24.764 m)
base_lat: The site's geodetic latitude (-90 to 90 inclusive)
base_lon: The site's longitude
base_alt: The site's altitude
E: Earth-fixed E (in the equatorial plane, towards longitude 0)
F: Earth-fixed F (in the equatorial plane, towards longitude 90 east)
G: Earth-fixed G (along the axis, towards the north pole)
E72: WGS 72 Earth-fixed E
F72: WGS 72 Earth-fixed F
G72: WGS 72 Earth-fixed G
az: Azimuth (clockwise from north)
el: Elevation (above the local horizontal plane)
range: Slant range
x: Local x (east)
y: Local y (north)
z: Local z (up)
vE: Earth-fixed velocity along E
vF: Earth-fixed velocity along F
vG: Earth-fixed velocity along G
vx: Local velocity east
vy: Local velocity north
vz: Local velocity up
azRate: Rate of the azimuth (positive clockwise)
elRate: Rate of the elevation (positive rising)
rangeRate: Rate of the slant range (positive moving away)
d: Angle
angle: Angle
deg: The whole part (with the angle's sign)
min: The whole part of the rest (0 to 59)
sec: The rest (with its fraction)
sin: Sine
cos: Cosine
tan: Tangent
square: Square
cube: Cube
""".splitlines())

_UNIT_WORDS = {"deg": "degrees", "ft": "**feet**", "m": "metres", "min": "minutes",
               "s": "seconds", "length": "any length unit", "deg/s": "degrees per second",
               "ft/s": "**feet** per second", "m/s": "metres per second"}

_FAULT = _core.Fault
_INVALID_SITE = {_FAULT.latitude: "An invalid site (a latitude beyond +-90 or NaN)"}

# Per routine: "about", notes after the summary; "meaning", what a quantity
# is here where _MEANING does not say it; "raises", when each of its faults
# happens (the faults themselves, and their order, are the registry's). The
# example is the registry's (_example).
_NOTES = {
    "sind": {"about": "sin(d * DEG2RAD)."},
    "cosd": {"about": "cos(d * DEG2RAD); cosd(90) is -5.1e-12."},
    "tand": {"about": "tan(d * DEG2RAD)."},
    "asind": {"about": "asin(v) * RAD2DEG; asind(1) is 90 - 2.9e-10.",
              "meaning": {"v": "Sine (-1 to 1, NaN outside)"}},
    "acosd": {"about": "acos(v) * RAD2DEG.", "meaning": {"v": "Cosine (-1 to 1, NaN outside)"}},
    "atand": {"about": "atan(v) * RAD2DEG.", "meaning": {"v": "Tangent"}},
    "atan2d": {"about": "atan2(y, x) * RAD2DEG: the angle of the point (x, y), ordinate "
                        "first, within +-180.",
               "meaning": {"y": "Ordinate (any unit)", "x": "Abscissa (the unit of y)"}},
    "sqr": {"about": "x * x.", "meaning": {"x": "Any number"}},
    "cube": {"about": "x * x * x.", "meaning": {"x": "Any number"}},
    "LLA84toEFG84": {
        "raises": {_FAULT.latitude: "A latitude above 90, below -90 or NaN"}},
    "EFG84toLLA84": {
        "about": "Two fixed Newton passes on the foot of the ellipsoid normal: a fixed cost "
                 "and no tolerance test. Latitudes never reach +-90; longitudes are in "
                 "(-180, 180].",
        "raises": {_FAULT.solve: "On or within about a decimetre of the polar axis, at the "
                                 "centre, for some points deep inside the Earth, and for NaN "
                                 "or infinite input"}},
    "AERtoXYZ": {"about": "Pure geometry: nothing is validated."},
    "XYZtoAER": {"about": "The azimuth is not normalised: it lies from just above -90 (points "
                          "west of north) up to 270. The origin gives 0, 0, 0."},
    "AERtoLLA84": {
        "raises": {_FAULT.range: "A range of exactly 0 (checked first)", **_INVALID_SITE,
                   _FAULT.solve: "A target on or near the polar axis"}},
    "AERtoEFG84": {
        "about": "Any range is accepted; 0 gives the site's own position.",
        "raises": _INVALID_SITE},
    "EFG84toAER": {
        "about": "The azimuth is from 0 to 360. A target on the site's vertical gets azimuth 0; "
                 "the site itself gives 0, 0, 0.",
        "raises": _INVALID_SITE},
    "EFG84toEFG72": {
        "about": "Turns longitude back 0.554 arc-second, lowers G by 4.5 m and shrinks by "
                 "1/(1 + 2.263e-7)."},
    "EFG84toXYZvelocity": {
        "about": "The velocity turned into the site's east, north, up (no translation: the "
                 "site's position does not matter, only its frame).",
        "raises": _INVALID_SITE},
    "XYZtoEFG84velocity": {
        "about": "The velocity turned from the site's east, north, up to Earth-fixed axes.",
        "raises": _INVALID_SITE},
    "EFG84toAERrates": {
        "about": "Azimuth, elevation and range are EFG84toAER's, to the bit. A target on the "
                 "site's vertical gets azimuth 0 and azimuth rate 0, and the elevation rate "
                 "it starts with away from +-90.",
        "raises": {**_INVALID_SITE,
                   _FAULT.at_site: "A target exactly at the site (east, north and up all "
                                   "0), which has no direction and so no rates"}},
    "AERratesToEFG84": {
        "about": "E, F and G are AERtoEFG84's, to the bit. Any range is accepted; at 0 the "
                 "velocity is the range rate along az, el.",
        "raises": _INVALID_SITE},
    "DEGtoDMS": {
        "about": "Degrees carry the sign (-0.0 for -1 < angle < 0), minutes and seconds come "
                 "from the magnitude; seconds are neither rounded nor clamped."},
}

_KEYWORDS = """\
out : {out}, optional
    Float64 {arrays} of the broadcast shape to write the {results} into;
    {returned}. Inputs sharing memory with {them} give the results of
    copies of the inputs (read exactly in place, they are not copied).
    {overlap}
errors : {{"raise", "nan"}}, optional
    On a point the library refuses: raise ConversionError (default), or
    set that point's outputs to NaN and go on. After a raise, out arrays
    that share memory with an input are as they were; out arrays that
    share no memory with an input may hold the results of some points.
threads : int, optional
    Most threads to split a large array over (default: all cores; at most
    256). The results are the same bits for any number.
mode : {{"exact", "fast"}}, optional
    "exact" (default): every point has the point routine's bits. "fast":
    arrays are converted several points at a time with SIMD, within the
    bounds in the package's documentation (nanometres, 1e-12 degree); the
    same points fail. Scalars are always exact."""
_ONE_OUT = dict(out="ndarray", arrays="array", results="result", returned="it is returned",
                them="it", overlap="An array whose elements overlap (a zero stride) is refused.")
_MANY_OUT = dict(out="tuple of ndarray", arrays="arrays", results="results",
                  returned="they are returned", them="them",
                  overlap="Arrays whose elements overlap (a zero stride), or that share an"
                          "\n    element, are refused; interleaved columns are fine.")


def _describe(routine, name, unit, lengths):
    """A quantity's line: what it is, in what unit, and its note."""
    meaning = _NOTES.get(routine["name"], {}).get("meaning", {}).get(name) \
        or _MEANING.get(name, name)
    what, _, note = meaning.partition(" (")
    words = lengths if unit == "length" and lengths else _UNIT_WORDS.get(unit)
    return what + (f" in {words}" if words else "") + (f" ({note}" if note else "") + "."


def _entries(routine, quantities, kind, lengths=None):
    return [line for name, unit in quantities
            for line in [f"{name} : {kind}"] + _indented(_describe(routine, name, unit, lengths))]


def _indented(text):
    return ["    " + line for line in textwrap.wrap(text, 72, break_on_hyphens=False)]


def _docstring(routine, on_site):
    """A routine's NumPy-style docstring, written from its registry entry."""
    name, notes = routine["name"], _NOTES.get(routine["name"], {})
    length_inputs = [n for n, unit in routine["inputs"] if unit == "length"]
    text = [routine["summary"][:1].upper() + routine["summary"][1:] + "."]
    about = [notes["about"]] if "about" in notes else []
    if routine["site"] and not on_site:
        about.append("A site given by scalars is placed once for the whole call, as Site "
                      "places it; site arrays broadcast with the targets.")
    about.append("All scalars give Python floats, otherwise float64 arrays of the broadcast "
                 "shape.")
    text += ["", textwrap.fill(" ".join(about), 76, break_on_hyphens=False)]
    text += ["", "Parameters", "----------"]
    text += _entries(routine, _arguments(routine, on_site), "array_like")
    text.append(_KEYWORDS.format(**(_ONE_OUT if len(routine["outputs"]) == 1 else _MANY_OUT)))
    text += ["", "Returns", "-------"]
    text += _entries(routine, routine["outputs"], "float or ndarray",
                     "the unit of " + ", ".join(length_inputs) if length_inputs else None)
    text += ["", "Raises", "------"]
    if routine["fails"]:
        text.append("ConversionError")
        for fault in routine["faults"]:
            text += _indented(notes.get("raises", {}).get(fault, "A point the library refuses") + ":")
            text.append(f'    "{_core.reason(fault)}".')
    text += ["TypeError, ValueError",
             "    An argument is not numbers or is a masked array, the shapes do not",
             "    broadcast, or ``out`` does not fit."]
    text += ["", "Examples", "--------", ">>> " + _example(routine, on_site)]
    return "\n".join(text) + "\n"


def _example(routine, on_site):
    """The registry's worked example as a call and what it returns."""
    values = routine["example"]
    count = len(routine["inputs"])
    point, site = ", ".join(map(repr, values[:count])), ", ".join(map(repr, values[count:]))
    results = getattr(_core, routine["name"])(*values, None, "raise", None, "exact")
    call = (f"Site({site}).{routine['name']}({point})" if on_site
            else f"{routine['name']}({', '.join(filter(None, (point, site)))})")
    return f"{call}\n{results!r}"


def _define(routine, on_site=False):
    """The function of a routine, or its Site method: its point arguments by
    name, then out, errors, threads and mode as keywords, all passed to the
    compiled entry. Written as source, so that it is an ordinary function
    (its signature, its speed, pickled by name) like one written by hand."""
    name = routine["name"]
    points = ", ".join(n for n, _ in _arguments(routine, on_site))
    if on_site:
        head, call = f"self, {points}", f"_core.site_{name}(self._site, {points}"
    else:
        head, call = points, f"_core.{name}({points}"
    source = (f"def {name}({head}, *, out=None, errors='raise', threads=None, mode='exact'):\n"
              f"    return {call}, out, errors, threads, mode)\n")
    scope = {"_core": _core}
    exec(compile(source, f"<geoconv {name}>", "exec"), scope)
    function = scope[name]
    function.__module__ = __name__
    function.__qualname__ = f"Site.{name}" if on_site else name
    function.__doc__ = _docstring(routine, on_site)
    return function


def STRtoINT(text, first, last):
    """Reads a signed decimal integer from ``text[first..last]`` (last inclusive).

    The value is that of the last run of digits in the field, negated when
    ``text[first]`` is "-"; any other character resets it to 0. It saturates
    at the 32-bit int range. A negative ``first``, ``last < first`` or a
    field starting beyond the text give 0; reading stops at the text's end.

    Parameters
    ----------
    text : str or bytes
        The text (a str is read as its UTF-8 bytes).
    first, last : int
        Byte indexes from 0, ``last`` inclusive.

    Returns
    -------
    int

    Raises
    ------
    TypeError
        ``text`` is not str or bytes, or an index is not an int.

    Examples
    --------
    >>> STRtoINT("  42", 0, 3)
    42
    """
    return _core.STRtoINT(text, first, last)


class Site:
    """A base site placed once, for converting many targets seen from it.

    Its methods are the site-relative functions without the site's
    arguments, and give exactly their bits, statuses and messages for the
    same site. A latitude beyond +-90 or NaN makes an invalid site (``valid``
    is False) whose every conversion fails as the functions fail for that
    site (ConversionError, or NaN with ``errors="nan"``). Sites pickle, and
    may be shared by threads.

    Parameters
    ----------
    lat : float
        Latitude, degrees, -90 to 90 inclusive.
    lon : float
        Longitude, degrees.
    alt : float
        Altitude, **feet**.

    Attributes
    ----------
    latitude, longitude, altitude : float
        The site as given (degrees, degrees, feet).
    E, F, G : float
        Its Earth-fixed position, metres (NaN for an invalid site).
    valid : bool

    Examples
    --------
    >>> radar = Site(51.47222222, 0.0, 10.0)
    >>> az, el, rng = radar.EFG84toAER([3984081.75, 3990000.0], [0.0, 1000.0], [4966764.58, 4960000.0])
    """

    __slots__ = ("_site",)

    def __init__(self, lat, lon, alt):
        self._site = _core.Site(lat, lon, alt)

    def __reduce__(self):
        return (Site, (self.latitude, self.longitude, self.altitude))

    def __repr__(self):
        return f"Site({self.latitude!r}, {self.longitude!r}, {self.altitude!r})"

    valid = property(lambda self: self._site.valid, doc="True unless the latitude was refused.")
    latitude = property(lambda self: self._site.latitude, doc="Latitude as given, degrees.")
    longitude = property(lambda self: self._site.longitude, doc="Longitude as given, degrees.")
    altitude = property(lambda self: self._site.altitude, doc="Altitude as given, feet.")
    E = property(lambda self: self._site.E, doc="Earth-fixed E of the site, metres.")
    F = property(lambda self: self._site.F, doc="Earth-fixed F of the site, metres.")
    G = property(lambda self: self._site.G, doc="Earth-fixed G of the site, metres.")


for _routine in _ROUTINES.values():
    globals()[_routine["name"]] = _define(_routine)
    if _routine["site"]:
        setattr(Site, _routine["name"], _define(_routine, on_site=True))
del _routine

__all__ = ["ConversionError", "Site", *_ROUTINES, "STRtoINT", *_CONSTANTS]

from . import ufuncs  # noqa: E402  (the ufuncs: geoconv.ufuncs.<name>)
