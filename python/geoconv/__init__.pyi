# Types of the geoconv package. Angles are degrees, altitudes and ranges
# FEET, Earth-fixed coordinates metres. Scalars in give floats out; any array
# argument gives float64 arrays of the broadcast shape.

from typing import Literal, Optional, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

from . import ufuncs as ufuncs  # each routine as a NumPy ufunc

__version__: str

WGS72_E2: float
WGS84_E2: float
WGS72_A: float
WGS84_A: float
EARTH_EQ_RADIUS: float
WGS84_B: float
WGS72_HEIGHT_OFFSET: float
WGS84_HEIGHT_OFFSET: float
PI: float
DEG2RAD: float
RAD2DEG: float
FEET_TO_METRES: float

Scalar = Union[float, int, np.floating, np.integer]
Array = npt.NDArray[np.float64]
ArrayLike = npt.ArrayLike
Errors = Literal["raise", "nan"]
# "fast": arrays with SIMD within the bounds of <geoconv/fast.hpp>; scalars stay exact.
Mode = Literal["exact", "fast"]
Out3 = Optional[Tuple[Array, Array, Array]]
Out1 = Optional[Array]
Triple = Tuple[float, float, float]
ArrayTriple = Tuple[Array, Array, Array]

class ConversionError(ValueError):
    message: str
    index: Optional[int]
    def __init__(self, message: str, index: Optional[int] = ...) -> None: ...

# A conversion of three inputs (or one, for DEGtoDMS) to three outputs.
@overload
def LLA84toEFG84(lat: Scalar, lon: Scalar, alt: Scalar, *, out: None = ...,
                 errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def LLA84toEFG84(lat: ArrayLike, lon: ArrayLike, alt: ArrayLike, *, out: Out3 = ...,
                 errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def EFG84toLLA84(E: Scalar, F: Scalar, G: Scalar, *, out: None = ..., errors: Errors = ...,
                 threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def EFG84toLLA84(E: ArrayLike, F: ArrayLike, G: ArrayLike, *, out: Out3 = ...,
                 errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def AERtoXYZ(az: Scalar, el: Scalar, range: Scalar, *, out: None = ..., errors: Errors = ...,
             threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def AERtoXYZ(az: ArrayLike, el: ArrayLike, range: ArrayLike, *, out: Out3 = ...,
             errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def XYZtoAER(x: Scalar, y: Scalar, z: Scalar, *, out: None = ..., errors: Errors = ...,
             threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def XYZtoAER(x: ArrayLike, y: ArrayLike, z: ArrayLike, *, out: Out3 = ..., errors: Errors = ...,
             threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def EFG84toEFG72(E: Scalar, F: Scalar, G: Scalar, *, out: None = ..., errors: Errors = ...,
                 threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def EFG84toEFG72(E: ArrayLike, F: ArrayLike, G: ArrayLike, *, out: Out3 = ...,
                 errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def DEGtoDMS(angle: Scalar, *, out: None = ..., errors: Errors = ...,
             threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def DEGtoDMS(angle: ArrayLike, *, out: Out3 = ..., errors: Errors = ...,
             threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...

# Site-relative conversions: three target inputs, then the site.
@overload
def AERtoLLA84(az: Scalar, el: Scalar, range: Scalar, base_lat: Scalar, base_lon: Scalar,
               base_alt: Scalar, *, out: None = ..., errors: Errors = ...,
               threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def AERtoLLA84(az: ArrayLike, el: ArrayLike, range: ArrayLike, base_lat: ArrayLike,
               base_lon: ArrayLike, base_alt: ArrayLike, *, out: Out3 = ...,
               errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def AERtoEFG84(az: Scalar, el: Scalar, range: Scalar, base_lat: Scalar, base_lon: Scalar,
               base_alt: Scalar, *, out: None = ..., errors: Errors = ...,
               threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def AERtoEFG84(az: ArrayLike, el: ArrayLike, range: ArrayLike, base_lat: ArrayLike,
               base_lon: ArrayLike, base_alt: ArrayLike, *, out: Out3 = ...,
               errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
@overload
def EFG84toAER(E: Scalar, F: Scalar, G: Scalar, base_lat: Scalar, base_lon: Scalar,
               base_alt: Scalar, *, out: None = ..., errors: Errors = ...,
               threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
@overload
def EFG84toAER(E: ArrayLike, F: ArrayLike, G: ArrayLike, base_lat: ArrayLike,
               base_lon: ArrayLike, base_alt: ArrayLike, *, out: Out3 = ...,
               errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...

def STRtoINT(text: Union[str, bytes], first: int, last: int) -> int: ...

# The degree helpers, one output each.
@overload
def sind(d: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def sind(d: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def cosd(d: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def cosd(d: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def tand(d: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def tand(d: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def asind(v: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def asind(v: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def acosd(v: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def acosd(v: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def atand(v: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def atand(v: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def atan2d(y: Scalar, x: Scalar, *, out: None = ..., errors: Errors = ...,
           threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def atan2d(y: ArrayLike, x: ArrayLike, *, out: Out1 = ..., errors: Errors = ...,
           threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def sqr(x: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def sqr(x: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...
@overload
def cube(x: Scalar, *, out: None = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> float: ...
@overload
def cube(x: ArrayLike, *, out: Out1 = ..., errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Array: ...

class Site:
    def __init__(self, lat: Scalar, lon: Scalar, alt: Scalar) -> None: ...
    @property
    def valid(self) -> bool: ...
    @property
    def latitude(self) -> float: ...
    @property
    def longitude(self) -> float: ...
    @property
    def altitude(self) -> float: ...
    @property
    def E(self) -> float: ...
    @property
    def F(self) -> float: ...
    @property
    def G(self) -> float: ...
    @overload
    def AERtoLLA84(self, az: Scalar, el: Scalar, range: Scalar, *, out: None = ...,
                   errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
    @overload
    def AERtoLLA84(self, az: ArrayLike, el: ArrayLike, range: ArrayLike, *, out: Out3 = ...,
                   errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
    @overload
    def AERtoEFG84(self, az: Scalar, el: Scalar, range: Scalar, *, out: None = ...,
                   errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
    @overload
    def AERtoEFG84(self, az: ArrayLike, el: ArrayLike, range: ArrayLike, *, out: Out3 = ...,
                   errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
    @overload
    def EFG84toAER(self, E: Scalar, F: Scalar, G: Scalar, *, out: None = ...,
                   errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> Triple: ...
    @overload
    def EFG84toAER(self, E: ArrayLike, F: ArrayLike, G: ArrayLike, *, out: Out3 = ...,
                   errors: Errors = ..., threads: Optional[int] = ..., mode: Mode = ...) -> ArrayTriple: ...
