// Each conversion's arithmetic, written once over a lane type V (a double, or
// a vector of 2, 4 or 8 doubles; see math/lanes.hpp) and a set of elementary
// functions Fn. The point routines are the one-lane instances with the
// library's correctly rounded functions (Exact below); the exact arrays are
// the widest instance the processor has with the same functions, so both
// give the same bits; geoconv::fast instantiates the same text with SLEEF's
// vector functions.
//
// Every expression keeps the grouping of the documented formulas, and the
// sources are compiled without contraction into fused multiply-adds: +, -, *,
// / and sqrt round alike in any lane. Branches of the formulas are
// selections: both sides are computed and each lane takes its own. A refusal
// is a mask; the caller writes nothing for a refused lane.
//
// Fn provides, over any lane type V, in radians:
//   sincos(x, s, c), sin, cos, tan, asin, acos, atan, atan2(y, x), sqrt.

#ifndef GEOCONV_SRC_CONVERSIONS_HPP
#define GEOCONV_SRC_CONVERSIONS_HPP

#include <geoconv/geoconv.hpp>

#include <cmath>
#include <type_traits>

#include "math/math.hpp"

// Each operation rounded on its own, contraction off.
#include "math/begin.hpp"

GEOCONV_LEVEL_BEGIN(conv)

// The library's own correctly rounded functions (math/). GEOCONV_PLATFORM_LIBM
// swaps in the platform's for one purpose only: scripts/table-moves
// recomputes the table of expected results with them, to show what changed
// when they went.
struct Exact {
  static constexpr bool kApproximate = false;  // the same bits as the point routines
  // One lane takes the sines and cosines of two independent arguments as the
  // lanes of a pair (about an eighth cheaper than two calls; the same bits,
  // each being correctly rounded). The arc tangents stay one by one: their
  // pairs cost more than two calls.
  static constexpr bool kPairs = true;
#if defined(GEOCONV_PLATFORM_LIBM)
  template <class V, class F> static V each(V x, F f) {
    for (int i = 0; i < math::Lanes<V>::kCount; ++i) math::Lanes<V>::set(x, i, f(math::Lanes<V>::get(x, i)));
    return x;
  }
  template <class V> static V sin(V x) { return each(x, [](double v) { return std::sin(v); }); }
  template <class V> static V cos(V x) { return each(x, [](double v) { return std::cos(v); }); }
  template <class V> static V tan(V x) { return each(x, [](double v) { return std::tan(v); }); }
  template <class V> static V asin(V x) { return each(x, [](double v) { return std::asin(v); }); }
  template <class V> static V acos(V x) { return each(x, [](double v) { return std::acos(v); }); }
  template <class V> static V atan(V x) { return each(x, [](double v) { return std::atan(v); }); }
  template <class V> static void sincos(V x, V& s, V& c) { s = sin(x), c = cos(x); }
  template <class V> static V atan2(V y, V x) {
    for (int i = 0; i < math::Lanes<V>::kCount; ++i) {
      math::Lanes<V>::set(y, i, std::atan2(math::Lanes<V>::get(y, i), math::Lanes<V>::get(x, i)));
    }
    return y;
  }
#else
  template <class V> static V sin(V x) { return math::sin(x); }
  template <class V> static V cos(V x) { return math::cos(x); }
  template <class V> static V tan(V x) { return math::tan(x); }
  template <class V> static V asin(V x) { return math::asin(x); }
  template <class V> static V acos(V x) { return math::acos(x); }
  template <class V> static V atan(V x) { return math::atan(x); }
  template <class V> static void sincos(V x, V& s, V& c) { math::sincos(x, s, c); }
  template <class V> static V atan2(V y, V x) { return math::atan2(y, x); }
#endif
  template <class V> static V sqrt(V x) { return math::Lanes<V>::sqrt(x); }
};

template <class V> using Mask = typename math::Lanes<V>::M;
template <class V> V select(Mask<V> m, V a, V b) { return math::Lanes<V>::select(m, a, b); }
template <class V> V splat(double c) { return math::Lanes<V>::splat(c); }
template <class V> Mask<V> either(Mask<V> a, Mask<V> b) { return math::Lanes<V>::mor(a, b); }
template <class V> Mask<V> both(Mask<V> a, Mask<V> b) { return math::Lanes<V>::mand(a, b); }
template <class V> Mask<V> negated(Mask<V> a) { return math::Lanes<V>::mnot(a); }

// The degree helpers: sind(d) = sin(d DEG2RAD) ..., asind(v) = asin(v) RAD2DEG ...
template <class Fn, class V> V sind(V d) { return Fn::sin(d * DEG2RAD); }
template <class Fn, class V> V cosd(V d) { return Fn::cos(d * DEG2RAD); }
template <class Fn, class V> V tand(V d) { return Fn::tan(d * DEG2RAD); }
template <class Fn, class V> V asind(V v) { return Fn::asin(v) * RAD2DEG; }
template <class Fn, class V> V acosd(V v) { return Fn::acos(v) * RAD2DEG; }
template <class Fn, class V> V atand(V v) { return Fn::atan(v) * RAD2DEG; }
template <class Fn, class V> V atan2d(V y, V x) { return Fn::atan2(y, x) * RAD2DEG; }
// sqr and cube over lanes (Fn unused: the same products everywhere).
template <class Fn, class V> V sqr(V x) { return x * x; }
template <class Fn, class V> V cube(V x) { return x * x * x; }
// sind(d) and cosd(d) at once: one reduction of the angle (the same bits as
// the two calls where the functions are correctly rounded).
template <class Fn, class V> void sincosd(V d, V& s, V& c) { Fn::sincos(d * DEG2RAD, s, c); }

// Where one lane takes pairs (Fn::kPairs), two independent angles go through
// sincos together; wider lanes call it once for each.
template <class Fn, class V> constexpr bool kPaired = std::is_same_v<V, double> && Fn::kPairs;

// sincosd of a and of b.
template <class Fn, class V> void sincosd(V a, V b, V& sa, V& ca, V& sb, V& cb) {
  if constexpr (kPaired<Fn, V>) {
    math::V2 s, c;
    Fn::sincos(math::V2{a * DEG2RAD, b * DEG2RAD}, s, c);
    sa = s[0], ca = c[0], sb = s[1], cb = c[1];
  } else {
    sincosd<Fn>(a, sa, ca);
    sincosd<Fn>(b, sb, cb);
  }
}

// Sines and cosines of a site's latitude and longitude (the rotation between
// Earth-fixed axes and the site's east/north/up), and its Earth-fixed
// position (m).
template <class V> struct Frame {
  V sl, cl, so, co;
  V E0, F0, G0;
};

// LLA84toEFG84: the Earth-fixed position (metres) of latitude lat, longitude
// lon (degrees) and altitude alt (feet), in s with the sines and cosines.
// With h = alt*0.3048 - 24.764 and w = sqrt(1 - sl^2 e2):
//   E = (A cl)/w co + h cl co,  F = (A cl)/w so + h cl so,
//   G = ((1 - e2) A sl)/w + h sl.
// Refuses a latitude above 90, below -90 or NaN.
template <class Fn, class V> GEOCONV_MATH_INLINE Mask<V> place(V lat, V lon, V alt, Frame<V>& s) {
  constexpr double kPolarFactor = (1.0 - WGS84_E2) * WGS84_A;
  sincosd<Fn>(lat, lon, s.sl, s.cl, s.so, s.co);
  const V h = alt * FEET_TO_METRES + WGS84_HEIGHT_OFFSET;
  const V w = Fn::sqrt(1.0 - (s.sl * s.sl) * WGS84_E2);
  s.E0 = (WGS84_A * s.cl) / w * s.co + h * s.cl * s.co;
  s.F0 = (WGS84_A * s.cl) / w * s.so + h * s.cl * s.so;
  s.G0 = (kPolarFactor * s.sl) / w + h * s.sl;
  return negated<V>(both<V>(lat >= -90.0, lat <= 90.0));
}

// The quartic solved by solve. In the meridian plane of a point at distance p
// from the axis and height G above the equator, the foot of the ellipsoid
// normal through it is (p0, t) with p0^2/a^2 + t^2/b^2 = 1 (b^2 = m a^2,
// m = 1 - e2). The normal there passes through the point when
// p0 = p t / (e2 t + m G); putting that into the ellipsoid's equation and
// clearing the denominators (then dividing by -m) gives
//   f(t) = c4 t^4 + c3 G t^3 + (c2 + c2g G^2 - p^2) t^2 + c1 G t + c0 G^2 = 0,
// with the coefficients below. The latitude of the foot point follows from
// tan(lat) = t / (m p0) = t / sqrt(q), q = (a^2 m - t^2) m.
//
// The coefficients are folded at compile time with the same roundings as at
// run time (e2 = WGS84_E2, a = WGS84_A).
namespace quartic {
inline constexpr double e2 = WGS84_E2;
inline constexpr double a = WGS84_A;
inline constexpr double m = 1.0 - e2;                                   // (b/a)^2
inline constexpr double c4 = (-geoconv::sqr(e2)) / (1.0 - e2);          // t^4
inline constexpr double c3 = -2.0 * e2;                                 // t^3, times G
inline constexpr double c2 = geoconv::sqr(e2) * geoconv::sqr(a);        // t^2, constant part
inline constexpr double c2g = -(1.0 - e2);                              // t^2, times G^2
inline constexpr double c1 = ((geoconv::sqr(a) + geoconv::sqr(a)) * e2) * (1.0 - e2); // t, times G
inline constexpr double c0 = geoconv::sqr(1.0 - e2) * geoconv::sqr(a);  // constant, times G^2
inline constexpr double c3x3 = 3.0 * c3;                                // derivative, t^2
inline constexpr double c4x4 = 4.0 * c4;                                // derivative, t^3
inline constexpr double a2m = geoconv::sqr(a) * m;                      // a^2 (b/a)^2
inline constexpr double am = a * m;
inline constexpr double m_minus_1 = m - 1.0;                            // not exactly -e2
}  // namespace quartic

// EFG84toLLA84: geodetic latitude and longitude (degrees) and altitude (feet)
// of the Earth-fixed point E, F, G (metres); q gets the foot point's q (m^2).
// Refuses a point whose q is not positive (on and near the polar axis, at the
// centre, where the passes run away, and NaN input).
template <class Fn, class V> GEOCONV_MATH_INLINE Mask<V> solve(V E, V F, V G, V& lat, V& lon, V& alt, V& q) {
  using namespace quartic;
  const V p2 = F * F + E * E;
  const V G2 = G * G;
  // t: the G coordinate (m) of the foot of the normal through the point,
  // started where the line to the centre meets the ellipsoid.
  V t = Fn::sqrt(m / (G2 + m * p2)) * (a * G);
  // Two Newton passes, no tolerance test: the cost is fixed. Newton's method
  // converges quadratically, and the start lies within the 0.19 degree that
  // separates geocentric from geodetic latitude, so two passes reach the
  // accuracy the header tabulates for heights from -1e7 to +1e8 ft (checked
  // against GeographicLib by the tests).
  const V k2 = (G2 * c2g + c2) - p2;
  const V c3G = c3 * G;
  const V c1G = c1 * G;
  const V c0G2 = G2 * c0;
  const V dG = c3x3 * G;
  for (int pass = 0; pass < 2; ++pass) {
    const V t2 = t * t;
    const V t3 = t * t * t;
    const V f = c0G2 + ((t2 * k2 + (t3 * c3G + t2 * (t2 * c4))) + c1G * t);
    const V d = ((k2 + k2) * t + (t2 * dG + t3 * c4x4)) + c1G;
    // d is exactly 0 for a point in the equatorial plane (G = 0), where the
    // start t = 0 is already the root (f(0) = c0 G^2 = 0): the pass keeps t.
    t = select<V>(d != 0.0, t - f / d, t);
  }
  // q = m p0^2 (see the quartic). Near the axis t^2 approaches a^2 m = b^2,
  // about 4.0e13 m^2, whose unit in the last place is 0.0078 m^2, while
  // m p0^2 is 0.0099 m^2 a decimetre from the axis: the difference is lost
  // to cancellation there, and on the axis itself q is 0. Refusing q <= 0
  // (and NaN) keeps a latitude from coming out of sqrt of nothing.
  q = (a2m - t * t) * m;
  const V zero = splat<V>(0.0);
  const V la = select<V>(G == 0.0, zero, atand<Fn>(t / Fn::sqrt(q)));

  // The longitude from atand(E/F): 0 or 180 on F = 0.
  const V v = atand<Fn>(E / F) + 90.0;
  lon = select<V>(F == 0.0, select<V>(E < 0.0, splat<V>(180.0), zero),
                  select<V>(F > 0.0, 180.0 - v, -v));

  const V s = sind<Fn>(la);
  const V h = select<V>(la == 0.0, Fn::sqrt(p2) - a,
                        G / s - am / Fn::sqrt(s * s * m_minus_1 + 1.0));
  lat = la;
  alt = (h - WGS84_HEIGHT_OFFSET) / FEET_TO_METRES;
  return negated<V>(q > 0.0);
}

// AERtoXYZ: z = sind(el) range, y = cosd(az) (cosd(el) range),
// x = sind(az) (cosd(el) range); x, y, z in the range's unit.
template <class Fn, class V> void aer_to_xyz(V az, V el, V range, V& x, V& y, V& z) {
  V sa, ca, se, ce;
  sincosd<Fn>(az, el, sa, ca, se, ce);
  const V horizontal = ce * range;
  z = se * range;
  y = ca * horizontal;
  x = sa * horizontal;
}

// XYZtoAER: range = sqrt(x^2 + y^2 + z^2), el = asind(z / range) (0 at the
// origin). The azimuth is decided by y alone and is not normalised: 90, 270
// or 0 on y = 0, else atand(x / y), plus 180 when y < 0, so points west of
// north (x < 0 < y) get azimuths just above -90 up to 0.
template <class Fn, class V> void xyz_to_aer(V x, V y, V z, V& az, V& el, V& range) {
  const V zero = splat<V>(0.0);
  const V r = Fn::sqrt(x * x + y * y + z * z);
  const V a = atand<Fn>(x / y);
  const V on_axis = select<V>(x > 0.0, splat<V>(90.0), select<V>(x < 0.0, splat<V>(270.0), zero));
  az = select<V>(y == 0.0, on_axis, select<V>(y < 0.0, a + 180.0, a));
  el = select<V>(r == 0.0, zero, asind<Fn>(z / r));
  range = r;
}

// EFG84toEFG72's datum shift: the WGS 84 -> WGS 72 relation (a translation
// along G, a rotation about G, a scale difference) applied backwards.
namespace datum {
inline constexpr double kShiftE = 0.0;         // m
inline constexpr double kShiftF = 0.0;         // m
inline constexpr double kShiftG = 4.5;         // m
inline constexpr double kRotation = 2.686e-6;  // rad about G, about 0.554 arc-second
inline constexpr double kScale = 2.263e-7;     // scale difference, 0.2263 ppm
}  // namespace datum

// Remove the translation, turn the point back about G by the rotation whose
// sine is n and cosine c, divide by the scale factor.
template <class V> void efg84_to_efg72(V E, V F, V G, double n, double c, V& E72, V& F72, V& G72) {
  using namespace datum;
  const V e = E - kShiftE;
  const V f = F - kShiftF;
  const V g = G - kShiftG;
  const double s = 1.0 + kScale;
  E72 = (e * c + f * n) / s;
  F72 = ((-e) * n + f * c) / s;
  G72 = g / s;
}

// The rotation between a site's east, north, up axes and Earth-fixed ones:
// local x, y, z to Earth-fixed components (to_fixed), and Earth-fixed
// differences to east, north, up (to_local), each in the unit it is given.
template <class V> GEOCONV_MATH_INLINE void to_fixed(const Frame<V>& s, V x, V y, V z, V& E, V& F, V& G) {
  E = (-s.so * x) - (s.co * s.sl * y) + (s.co * s.cl * z);
  F = (s.co * x) - (s.so * s.sl * y) + (s.so * s.cl * z);
  G = (s.cl * y) + (s.sl * z);
}
template <class V> GEOCONV_MATH_INLINE void to_local(const Frame<V>& s, V dE, V dF, V dG, V& east, V& north, V& up) {
  east = dE * (-s.so) + dF * s.co;
  north = dE * (-s.co * s.sl) + dF * (-s.so * s.sl) + dG * s.cl;
  up = dE * (s.co * s.cl) + dF * (s.so * s.cl) + dG * s.sl;
}

// A target at az, el (degrees) and range (feet) from the site, to
// Earth-fixed E, F, G (m): its local components in metres, as AERtoXYZ
// computes them, rotated and added to the site's position. The sines and
// cosines of az and el, and the horizontal part ce*r (m), are left in the
// last five arguments for the rates.
template <class Fn, class V>
GEOCONV_MATH_INLINE void site_to_efg(const Frame<V>& s, V az, V el, V range, V& E, V& F, V& G, V& sa, V& ca, V& se,
                 V& ce, V& h) {
  sincosd<Fn>(az, el, sa, ca, se, ce);
  const V r = range * FEET_TO_METRES;
  h = ce * r;
  to_fixed(s, sa * h, ca * h, se * r, E, F, G);
  E = E + s.E0;
  F = F + s.F0;
  G = G + s.G0;
}
template <class Fn, class V>
GEOCONV_MATH_INLINE void site_to_efg(const Frame<V>& s, V az, V el, V range, V& E, V& F, V& G) {
  V sa, ca, se, ce, h;
  site_to_efg<Fn>(s, az, el, range, E, F, G, sa, ca, se, ce, h);
}

// Where the site sees the Earth-fixed target E, F, G (m): the difference
// rotated into east, north and up (left in the last three arguments), the
// range in feet, the azimuth by atan2 (plus 360 when negative) and the
// elevation by atand. On the site's vertical the azimuth is undefined and
// reported as 0, and the elevation is atand of an infinite ratio with the
// sign of up (the value XYZtoAER gives straight up); at the site itself both
// are 0.
template <class Fn, class V>
GEOCONV_MATH_INLINE void site_to_aer(const Frame<V>& s, V E, V F, V G, V& az, V& el, V& range, V& east, V& north,
                 V& up) {
  to_local(s, E - s.E0, F - s.F0, G - s.G0, east, north, up);
  range = Fn::sqrt(east * east + north * north + up * up) / FEET_TO_METRES;
  const V hz = Fn::sqrt(east * east + north * north);
  const V zero = splat<V>(0.0);
  const V a = atan2d<Fn>(east, north);
  az = select<V>(hz != 0.0, select<V>(a < 0.0, a + 360.0, a), zero);
  el = select<V>(both<V>(hz == 0.0, up == 0.0), zero, atand<Fn>(up / hz));
}
template <class Fn, class V>
GEOCONV_MATH_INLINE void site_to_aer(const Frame<V>& s, V E, V F, V G, V& az, V& el, V& range) {
  V east, north, up;
  site_to_aer<Fn>(s, E, F, G, az, el, range, east, north, up);
}

// --- moving targets ------------------------------------------------------------
//
// Each takes the site's frame, its inputs in[] and writes every output out[]
// (units as geoconv.hpp documents them), and returns the lanes it refuses
// with its own fault (none for most).

// An Earth-fixed velocity (m/s) into the local frame (ft/s).
template <class Fn, class V> GEOCONV_MATH_INLINE Mask<V> EFG84toXYZvelocity(const Frame<V>& s, const V* in, V* out) {
  V east, north, up;
  to_local(s, in[0], in[1], in[2], east, north, up);
  out[0] = east / FEET_TO_METRES;
  out[1] = north / FEET_TO_METRES;
  out[2] = up / FEET_TO_METRES;
  return Mask<V>{};
}

// A local velocity (ft/s) into Earth-fixed axes (m/s).
template <class Fn, class V> GEOCONV_MATH_INLINE Mask<V> XYZtoEFG84velocity(const Frame<V>& s, const V* in, V* out) {
  to_fixed(s, in[0] * FEET_TO_METRES, in[1] * FEET_TO_METRES, in[2] * FEET_TO_METRES, out[0],
           out[1], out[2]);
  return Mask<V>{};
}

// Position and velocity (m, m/s) to az, el (deg), range (ft) and their rates
// (deg/s, deg/s, ft/s): the derivatives of EFG84toAER's formulas along the
// velocity. On the vertical (h2 = 0) the azimuth rate is 0 and the
// elevation rate the one-sided derivative away from +-90, -|horizontal
// velocity| / r with the sign of up. Refuses the target at the site (r2 = 0).
template <class Fn, class V> GEOCONV_MATH_INLINE Mask<V> EFG84toAERrates(const Frame<V>& s, const V* in, V* out) {
  V east, north, up, ve, vn, vu;
  site_to_aer<Fn>(s, in[0], in[1], in[2], out[0], out[1], out[2], east, north, up);
  to_local(s, in[3], in[4], in[5], ve, vn, vu);
  const V h2 = east * east + north * north;
  const V r2 = h2 + up * up;
  const V r = Fn::sqrt(r2);
  const V d = east * ve + north * vn;
  const V vertical = Fn::sqrt(ve * ve + vn * vn) / r * RAD2DEG;
  const V zero = splat<V>(0.0);
  const Mask<V> off_vertical = h2 != 0.0;
  out[3] = select<V>(off_vertical, (north * ve - east * vn) / h2 * RAD2DEG, zero);
  out[4] = select<V>(off_vertical, (vu * h2 - up * d) / (r2 * Fn::sqrt(h2)) * RAD2DEG,
                     select<V>(up > 0.0, zero - vertical, vertical));
  out[5] = (d + up * vu) / r / FEET_TO_METRES;
  return r2 == 0.0;
}

// az, el (deg), range (ft) and their rates (deg/s, deg/s, ft/s) to position
// and velocity (m, m/s): AERtoEFG84's position, and the derivative of its
// local components turned into Earth-fixed axes.
template <class Fn, class V> GEOCONV_MATH_INLINE Mask<V> AERratesToEFG84(const Frame<V>& s, const V* in, V* out) {
  V sa, ca, se, ce, h;
  site_to_efg<Fn>(s, in[0], in[1], in[2], out[0], out[1], out[2], sa, ca, se, ce, h);
  const V r = in[2] * FEET_TO_METRES;
  const V rr = in[5] * FEET_TO_METRES;
  const V wa = in[3] * DEG2RAD;
  const V we = in[4] * DEG2RAD;
  const V hr = rr * ce - (r * se) * we;
  to_fixed(s, sa * hr + (ca * h) * wa, ca * hr - (sa * h) * wa, se * rr + h * we, out[3], out[4],
           out[5]);
  return Mask<V>{};
}

GEOCONV_LEVEL_END  // conv

#include "math/end.hpp"

#endif  // GEOCONV_SRC_CONVERSIONS_HPP
