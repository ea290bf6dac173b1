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
- local x (east), y (north), z (up): the unit of the range they come from.

Inputs and outputs
------------------
Every argument may be a number, a sequence, a NumPy array or anything with
``__array__`` (pandas, xarray); the arguments are broadcast together as NumPy
ufuncs broadcast, read as float64 and never modified. When every argument is
a scalar the results are Python floats, otherwise float64 arrays of the
broadcast shape. Keywords common to the conversions:

- ``out=(a, b, c)``: float64 arrays of the broadcast shape to fill in place
  (and return) instead of new ones;
- ``errors="raise"`` (default) or ``"nan"``: what a failing point does (below);
- ``threads=None``: how many threads may share a large array (default: all
  cores); results are the same bits for any number.

Failures
--------
A point the library refuses (status 1) raises :class:`ConversionError`, a
``ValueError`` carrying the library's message and, for arrays, the flat index
of the first failing point. With ``errors="nan"`` the failing points' outputs
are NaN instead and nothing is raised for them. Arguments that cannot be used
(text where numbers belong, shapes that do not broadcast, a wrong ``out``)
raise ``TypeError`` or ``ValueError``.

Example
-------
>>> import geoconv
>>> geoconv.LLA84toEFG84(51.47222222, 0.0, 10.0)        # lat, lon (deg), alt (ft)
(3981053.1787552065, 0.0, 4966421.008340718)
"""

import re

from . import _core

__all__ = [
    "ConversionError", "Site",
    "LLA84toEFG84", "EFG84toLLA84", "AERtoXYZ", "XYZtoAER", "AERtoLLA84", "AERtoEFG84",
    "EFG84toAER", "EFG84toEFG72", "DEGtoDMS", "STRtoINT",
    "sind", "cosd", "tand", "asind", "acosd", "atand", "atan2d", "sqr", "cube",
    "WGS72_E2", "WGS84_E2", "WGS72_A", "WGS84_A", "EARTH_EQ_RADIUS", "WGS84_B",
    "WGS72_HEIGHT_OFFSET", "WGS84_HEIGHT_OFFSET", "PI", "DEG2RAD", "RAD2DEG", "FEET_TO_METRES",
]

__version__ = _core.__version__

# The library's constants, exactly its doubles.
WGS72_E2 = _core.WGS72_E2                        #: WGS 72 first eccentricity squared
WGS84_E2 = _core.WGS84_E2                        #: WGS 84 first eccentricity squared
WGS72_A = _core.WGS72_A                          #: WGS 72 semi-major axis, m
WGS84_A = _core.WGS84_A                          #: WGS 84 semi-major axis, m
EARTH_EQ_RADIUS = _core.EARTH_EQ_RADIUS          #: equatorial radius, m
WGS84_B = _core.WGS84_B                          #: WGS 84 semi-minor axis to the metre, m
WGS72_HEIGHT_OFFSET = _core.WGS72_HEIGHT_OFFSET  #: m, paired with WGS 72
WGS84_HEIGHT_OFFSET = _core.WGS84_HEIGHT_OFFSET  #: m, added to alt*0.3048 for ellipsoid height
PI = _core.PI                                    #: pi to 11 decimals
DEG2RAD = _core.DEG2RAD                          #: rad per degree (not pi/180)
RAD2DEG = _core.RAD2DEG                          #: degrees per rad (not 180/pi)
FEET_TO_METRES = _core.FEET_TO_METRES            #: m per international foot


class ConversionError(ValueError):
    """A point the library refused (the routine returned status 1).

    Attributes
    ----------
    message : str
        The library's reason (its line without the blank and newline that
        end it), for example
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

# Docstring pieces shared by the conversions, put in place of %(name)s lines
# at those lines' indentation.
_SHARED = {
    "keywords": """\
out : tuple of ndarray, optional
    Float64 arrays of the broadcast shape to write the results into; they
    are returned. An input that shares memory with them is read first.
errors : {"raise", "nan"}, optional
    On a point the library refuses: raise ConversionError (default), or
    set that point's outputs to NaN and go on.
threads : int, optional
    Most threads to split a large array over (default: all cores). The
    results are the same bits for any number.""",
    "broadcast": """\
Arguments broadcast together: all scalars give Python floats, otherwise
float64 arrays of the broadcast shape.""",
    "bad": """\
TypeError, ValueError
    An argument is not numbers, the shapes do not broadcast, or ``out``
    does not fit.""",
}
_SHARED["keyword"] = _SHARED["keywords"].replace(
    "out : tuple of ndarray", "out : ndarray").replace(
    "Float64 arrays of the broadcast shape to write the results into; they\n    are returned. "
    "An input that shares memory with them is read first.",
    "Float64 array of the broadcast shape to write the result into; it is\n    returned. "
    "An input that shares memory with it is read first.")


def _documented(function):
    """Fills the shared pieces into a function's docstring."""
    def fill(match):
        indent, name = match.group(1), match.group(2)
        return "\n".join(indent + line if line else line
                         for line in _SHARED[name].splitlines())
    function.__doc__ = re.sub(r"(?m)^( *)%\((\w+)\)s$", fill, function.__doc__)
    return function


# --- geodetic <-> Earth-fixed ----------------------------------------------

@_documented
def LLA84toEFG84(lat, lon, alt, *, out=None, errors="raise", threads=None):
    """Geodetic latitude, longitude, altitude to Earth-fixed E, F, G.

    Parameters
    ----------
    lat : array_like
        Geodetic latitude, degrees, -90 to 90 inclusive.
    lon : array_like
        Longitude, degrees, any value.
    alt : array_like
        Altitude, **feet** (height above the ellipsoid plus 24.764 m).
    %(keywords)s

    Returns
    -------
    E, F, G : float or ndarray
        Earth-fixed coordinates, metres.
        %(broadcast)s

    Raises
    ------
    ConversionError
        A latitude above 90, below -90 or NaN:
        "(LLA84toEFG84) problem: lat>90".
    %(bad)s

    Examples
    --------
    >>> E, F, G = LLA84toEFG84(51.47222222, 0.0, 10.0)   # 3981053.18 m, 0 m, 4966421.01 m
    """
    return _core.LLA84toEFG84(lat, lon, alt, out, errors, threads)


@_documented
def EFG84toLLA84(E, F, G, *, out=None, errors="raise", threads=None):
    """Earth-fixed E, F, G to geodetic latitude, longitude, altitude.

    Two fixed Newton passes on the foot of the ellipsoid normal: a fixed cost
    and no tolerance test. Latitudes never reach +-90.

    Parameters
    ----------
    E, F, G : array_like
        Earth-fixed coordinates, metres.
    %(keywords)s

    Returns
    -------
    lat, lon, alt : float or ndarray
        Latitude (degrees), longitude (degrees, (-180, 180]) and altitude
        (**feet**).
        %(broadcast)s

    Raises
    ------
    ConversionError
        On or within about a decimetre of the polar axis, at the centre, for
        some points deep inside the Earth, and for NaN or infinite input:
        "(EFG84toLLA84) error: negative or zero sqrt value".
    %(bad)s

    Examples
    --------
    >>> lat, lon, alt = EFG84toLLA84(3981053.178755, 0.0, 4966421.008341)  # 51.47222222, 0, 10 ft
    """
    return _core.EFG84toLLA84(E, F, G, out, errors, threads)


# --- local frame ------------------------------------------------------------

@_documented
def AERtoXYZ(az, el, range, *, out=None, errors="raise", threads=None):
    """Azimuth, elevation, range to local x (east), y (north), z (up).

    Pure geometry: x, y, z come out in the unit of the range. Never fails.

    Parameters
    ----------
    az : array_like
        Azimuth, degrees clockwise from north.
    el : array_like
        Elevation above the horizontal plane, degrees.
    range : array_like
        Slant range, any length unit.
    %(keywords)s

    Returns
    -------
    x, y, z : float or ndarray
        East, north, up, in the unit of ``range``.
        %(broadcast)s

    Raises
    ------
    %(bad)s

    Examples
    --------
    >>> x, y, z = AERtoXYZ(180.0, 45.0, 10000.0)     # -7.2e-08, -7071.07, 7071.07
    """
    return _core.AERtoXYZ(az, el, range, out, errors, threads)


@_documented
def XYZtoAER(x, y, z, *, out=None, errors="raise", threads=None):
    """Local x (east), y (north), z (up) to azimuth, elevation, range.

    The azimuth is not normalised: it lies from just above -90 (points west
    of north) up to 270. The origin gives 0, 0, 0. Never fails.

    Parameters
    ----------
    x, y, z : array_like
        East, north, up, any one length unit.
    %(keywords)s

    Returns
    -------
    az, el, range : float or ndarray
        Azimuth and elevation (degrees) and range (the unit of x, y, z).
        %(broadcast)s

    Raises
    ------
    %(bad)s

    Examples
    --------
    >>> az, el, range = XYZtoAER(0.0, -7071.067812, 7071.067812)   # 180, 45, 10000
    """
    return _core.XYZtoAER(x, y, z, out, errors, threads)


# --- site-relative ----------------------------------------------------------

@_documented
def AERtoLLA84(az, el, range, base_lat, base_lon, base_alt, *, out=None, errors="raise",
               threads=None):
    """A target seen from a site at azimuth, elevation, range to its latitude, longitude, altitude.

    A site given by scalars is placed once for the whole call (as
    :class:`Site` does); site arrays broadcast with the targets.

    Parameters
    ----------
    az : array_like
        Azimuth, degrees clockwise from north.
    el : array_like
        Elevation, degrees.
    range : array_like
        Slant range, **feet**.
    base_lat, base_lon : array_like
        The site's latitude (-90 to 90) and longitude, degrees.
    base_alt : array_like
        The site's altitude, **feet**.
    %(keywords)s

    Returns
    -------
    lat, lon, alt : float or ndarray
        The target's latitude and longitude (degrees) and altitude (**feet**).
        %(broadcast)s

    Raises
    ------
    ConversionError
        Range exactly 0: "(AERtoLLA84) problem: input range=0"; a site
        latitude beyond +-90 or NaN: "(LLA84toEFG84) problem: lat>90"; a
        target on or near the polar axis: "(EFG84toLLA84) error: negative or
        zero sqrt value".
    %(bad)s

    Examples
    --------
    >>> lat, lon, alt = AERtoLLA84(180.0, 45.0, 10000.0, 51.47222222, 0.0, 10.0)  # 51.4529, -0, 7082.26 ft
    """
    return _core.AERtoLLA84(az, el, range, base_lat, base_lon, base_alt, out, errors, threads)


@_documented
def AERtoEFG84(az, el, range, base_lat, base_lon, base_alt, *, out=None, errors="raise",
               threads=None):
    """A target seen from a site at azimuth, elevation, range to its Earth-fixed E, F, G.

    A site given by scalars is placed once for the whole call.

    Parameters
    ----------
    az : array_like
        Azimuth, degrees clockwise from north.
    el : array_like
        Elevation, degrees.
    range : array_like
        Slant range, **feet** (any value; 0 gives the site's own position).
    base_lat, base_lon : array_like
        The site's latitude (-90 to 90) and longitude, degrees.
    base_alt : array_like
        The site's altitude, **feet**.
    %(keywords)s

    Returns
    -------
    E, F, G : float or ndarray
        The target's Earth-fixed coordinates, metres.
        %(broadcast)s

    Raises
    ------
    ConversionError
        A site latitude beyond +-90 or NaN: "(LLA84toEFG84) problem: lat>90".
    %(bad)s

    Examples
    --------
    >>> E, F, G = AERtoEFG84(180.0, 45.0, 10000.0, 51.47222222, 0.0, 10.0)  # 3984081.75, -2.2e-08, 4966764.58 m
    """
    return _core.AERtoEFG84(az, el, range, base_lat, base_lon, base_alt, out, errors, threads)


@_documented
def EFG84toAER(E, F, G, base_lat, base_lon, base_alt, *, out=None, errors="raise",
               threads=None):
    """A target at Earth-fixed E, F, G to the azimuth, elevation, range a site sees it at.

    A site given by scalars is placed once for the whole call. A target on
    the site's vertical gets azimuth 0; the site itself gives 0, 0, 0.

    Parameters
    ----------
    E, F, G : array_like
        The target's Earth-fixed coordinates, metres.
    base_lat, base_lon : array_like
        The site's latitude (-90 to 90) and longitude, degrees.
    base_alt : array_like
        The site's altitude, **feet**.
    %(keywords)s

    Returns
    -------
    az, el, range : float or ndarray
        Azimuth (degrees, 0 to 360), elevation (degrees) and slant range
        (**feet**).
        %(broadcast)s

    Raises
    ------
    ConversionError
        A site latitude beyond +-90 or NaN: "(LLA84toEFG84) problem: lat>90".
    %(bad)s

    Examples
    --------
    >>> az, el, rng = EFG84toAER(3984081.752697, -2e-05, 4966764.583483, 51.47222222, 0.0, 10.0)  # 180, 45, 10000 ft
    """
    return _core.EFG84toAER(E, F, G, base_lat, base_lon, base_alt, out, errors, threads)


# --- datum shift and utilities ---------------------------------------------

@_documented
def EFG84toEFG72(E, F, G, *, out=None, errors="raise", threads=None):
    """WGS 84 Earth-fixed E, F, G to WGS 72 Earth-fixed E, F, G.

    Turns longitude back 0.554 arc-second, lowers G by 4.5 m and shrinks by
    1/(1 + 2.263e-7). Never fails.

    Parameters
    ----------
    E, F, G : array_like
        WGS 84 Earth-fixed coordinates, metres.
    %(keywords)s

    Returns
    -------
    E72, F72, G72 : float or ndarray
        WGS 72 Earth-fixed coordinates, metres.
        %(broadcast)s

    Raises
    ------
    %(bad)s

    Examples
    --------
    >>> E72, F72, G72 = EFG84toEFG72(6378137.0, 0.0, 0.0)   # 6378135.56, -17.13, -4.50 m
    """
    return _core.EFG84toEFG72(E, F, G, out, errors, threads)


@_documented
def DEGtoDMS(angle, *, out=None, errors="raise", threads=None):
    """Decimal degrees to whole degrees, whole minutes and seconds.

    Degrees carry the sign (-0.0 for -1 < angle < 0), minutes and seconds
    come from the magnitude; seconds are neither rounded nor clamped. Never
    fails.

    Parameters
    ----------
    angle : array_like
        Angle, decimal degrees.
    %(keywords)s

    Returns
    -------
    deg, min, sec : float or ndarray
        Whole degrees, whole minutes (0 to 59) and seconds.
        %(broadcast)s

    Raises
    ------
    %(bad)s

    Examples
    --------
    >>> DEGtoDMS(1.23)
    (1.0, 13.0, 47.99999999999991)
    """
    return _core.DEGtoDMS(angle, out, errors, threads)


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


# --- the degree helpers -----------------------------------------------------

def _helper_doc(function, formula, params, example, result):
    """Gives one degree helper of the library its docstring."""
    arg_doc = "\n".join(f"    {p} : array_like\n        {d}" for p, d in params)
    function.__doc__ = f"""{formula}

    Parameters
    ----------
{arg_doc}
    %(keyword)s

    Returns
    -------
    float or ndarray
        %(broadcast)s

    Raises
    ------
    %(bad)s

    Examples
    --------
    >>> {example}
    {result}
    """
    _documented(function)


def sind(d, *, out=None, errors="raise", threads=None):
    return _core.sind(d, out, errors, threads)


def cosd(d, *, out=None, errors="raise", threads=None):
    return _core.cosd(d, out, errors, threads)


def tand(d, *, out=None, errors="raise", threads=None):
    return _core.tand(d, out, errors, threads)


def asind(v, *, out=None, errors="raise", threads=None):
    return _core.asind(v, out, errors, threads)


def acosd(v, *, out=None, errors="raise", threads=None):
    return _core.acosd(v, out, errors, threads)


def atand(v, *, out=None, errors="raise", threads=None):
    return _core.atand(v, out, errors, threads)


def atan2d(y, x, *, out=None, errors="raise", threads=None):
    return _core.atan2d(y, x, out, errors, threads)


def sqr(x, *, out=None, errors="raise", threads=None):
    return _core.sqr(x, out, errors, threads)


def cube(x, *, out=None, errors="raise", threads=None):
    return _core.cube(x, out, errors, threads)


_ANGLE = [("d", "Angle, degrees.")]
_helper_doc(sind, "Sine of an angle in degrees: sin(d * DEG2RAD).", _ANGLE, "sind(30.0)",
            "0.5000000000014733")
_helper_doc(cosd, "Cosine of an angle in degrees: cos(d * DEG2RAD); cosd(90) is -5.1e-12.",
            _ANGLE, "cosd(60.0)", "0.4999999999970535")
_helper_doc(tand, "Tangent of an angle in degrees: tan(d * DEG2RAD).", _ANGLE, "tand(45.0)",
            "1.0000000000051035")
_helper_doc(asind, "Arcsine in degrees: asin(v) * RAD2DEG; asind(1) is 90 - 2.9e-10.",
            [("v", "Sine, -1 to 1 (NaN outside).")], "asind(0.5)", "29.999999999902442")
_helper_doc(acosd, "Arccosine in degrees: acos(v) * RAD2DEG.",
            [("v", "Cosine, -1 to 1 (NaN outside).")], "acosd(0.5)", "59.999999999804885")
_helper_doc(atand, "Arctangent in degrees: atan(v) * RAD2DEG.", [("v", "Tangent.")],
            "atand(1.0)", "44.99999999985366")
_helper_doc(atan2d, "Angle of the point (x, y) in degrees, ordinate first: "
            "atan2(y, x) * RAD2DEG, within +-180.",
            [("y", "Ordinate, any unit."), ("x", "Abscissa, the unit of y.")], "atan2d(1.0, 1.0)",
            "44.99999999985366")
_helper_doc(sqr, "Square: x * x.", [("x", "Any number.")], "sqr(3.0)", "9.0")
_helper_doc(cube, "Cube: x * x * x.", [("x", "Any number.")], "cube(3.0)", "27.0")


# --- a site placed once -----------------------------------------------------

class Site:
    """A base site placed once, for converting many targets seen from it.

    Gives exactly the bits, statuses and messages of the free functions
    :func:`AERtoLLA84`, :func:`AERtoEFG84` and :func:`EFG84toAER` with the
    same site. A latitude beyond +-90 or NaN makes an invalid site (``valid``
    is False) whose every conversion raises ConversionError with
    "(LLA84toEFG84) problem: lat>90" (AERtoLLA84's range-0 rule, checked
    first, still applies). Sites pickle, and may be shared by threads.

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

    @_documented
    def AERtoLLA84(self, az, el, range, *, out=None, errors="raise", threads=None):
        """Targets at azimuth, elevation, range from the site to latitude, longitude, altitude.

        Parameters
        ----------
        az : array_like
            Azimuth, degrees clockwise from north.
        el : array_like
            Elevation, degrees.
        range : array_like
            Slant range, **feet**.
        %(keywords)s

        Returns
        -------
        lat, lon, alt : float or ndarray
            Latitude and longitude (degrees) and altitude (**feet**).
            %(broadcast)s

        Raises
        ------
        ConversionError
            Range exactly 0, an invalid site, a target on or near the polar
            axis (messages as for :func:`AERtoLLA84`).
        %(bad)s

        Examples
        --------
        >>> lat, lon, alt = Site(51.47222222, 0.0, 10.0).AERtoLLA84(180.0, 45.0, 10000.0)
        """
        return _core.site_AERtoLLA84(self._site, az, el, range, out, errors, threads)

    @_documented
    def AERtoEFG84(self, az, el, range, *, out=None, errors="raise", threads=None):
        """Targets at azimuth, elevation, range from the site to Earth-fixed E, F, G.

        Parameters
        ----------
        az : array_like
            Azimuth, degrees clockwise from north.
        el : array_like
            Elevation, degrees.
        range : array_like
            Slant range, **feet**.
        %(keywords)s

        Returns
        -------
        E, F, G : float or ndarray
            Earth-fixed coordinates, metres.
            %(broadcast)s

        Raises
        ------
        ConversionError
            An invalid site: "(LLA84toEFG84) problem: lat>90".
        %(bad)s

        Examples
        --------
        >>> E, F, G = Site(51.47222222, 0.0, 10.0).AERtoEFG84(180.0, 45.0, 10000.0)
        """
        return _core.site_AERtoEFG84(self._site, az, el, range, out, errors, threads)

    @_documented
    def EFG84toAER(self, E, F, G, *, out=None, errors="raise", threads=None):
        """Targets at Earth-fixed E, F, G to the azimuth, elevation, range the site sees.

        Parameters
        ----------
        E, F, G : array_like
            Earth-fixed coordinates, metres.
        %(keywords)s

        Returns
        -------
        az, el, range : float or ndarray
            Azimuth (degrees, 0 to 360), elevation (degrees), slant range
            (**feet**).
            %(broadcast)s

        Raises
        ------
        ConversionError
            An invalid site: "(LLA84toEFG84) problem: lat>90".
        %(bad)s

        Examples
        --------
        >>> az, el, rng = Site(51.47222222, 0.0, 10.0).EFG84toAER(3984081.75, 0.0, 4966764.58)
        """
        return _core.site_EFG84toAER(self._site, E, F, G, out, errors, threads)
