// Internal pieces shared by the library's sources: inline copies of the
// degree helpers, the fault writer, the placement of a site, and the
// solution for latitude, longitude and altitude. The conversions here yield
// a Fault and write nothing; the public routines write its message.
//
// Every expression keeps the grouping of the documented formulas; the sources
// are compiled with -ffp-contract=off so that no multiply-add is fused.

#ifndef GEOCONV_SRC_INTERNAL_HPP
#define GEOCONV_SRC_INTERNAL_HPP

#include <geoconv/geoconv.hpp>

#include <cmath>
#include <cstdio>

#include "math/math.hpp"

namespace geoconv::detail {

// The elementary functions: the library's own, correctly rounded (math/), so
// that every platform gets the same bits. GEOCONV_PLATFORM_LIBM swaps in the
// platform's for one purpose only: scripts/table-moves recomputes the table
// of expected results with them, to show what changed when they went.
#if defined(GEOCONV_PLATFORM_LIBM)
namespace elementary {
using std::acos, std::asin, std::atan, std::atan2, std::cos, std::sin, std::tan;
inline void sincos(double x, double& s, double& c) { s = std::sin(x), c = std::cos(x); }
}  // namespace elementary
#else
namespace elementary = math;
#endif

// The helpers as the public ones define them (helpers.cpp), inline here so
// that the conversions do not pay a call for each; both are compiled with the
// library's flags, so they give the same bits.
inline double sind(double d) { return elementary::sin(d * DEG2RAD); }
inline double cosd(double d) { return elementary::cos(d * DEG2RAD); }
inline double tand(double d) { return elementary::tan(d * DEG2RAD); }
inline double asind(double v) { return elementary::asin(v) * RAD2DEG; }
inline double acosd(double v) { return elementary::acos(v) * RAD2DEG; }
inline double atand(double v) { return elementary::atan(v) * RAD2DEG; }
inline double atan2d(double y, double x) { return elementary::atan2(y, x) * RAD2DEG; }
// sind(d) and cosd(d) at once: one reduction of the angle (the same bits as
// the two calls, both being correctly rounded).
inline void sincosd(double d, double& s, double& c) { elementary::sincos(d * DEG2RAD, s, c); }

// A routine's status for a fault: 0 for none, else 1 after one formatted
// write of the fault's message line (a null stream drops it).
inline int reported(std::FILE* stream, Fault fault) {
  if (fault == Fault::kNone) return 0;
  if (stream != nullptr) std::fprintf(stream, "%s", message(fault));
  return 1;
}

// Sines and cosines of a site's latitude and longitude: the rotation between
// Earth-fixed axes and the site's local east/north/up axes.
struct Frame {
  double sl, cl, so, co;
};

// LLA84toEFG84: the Earth-fixed position (metres) of latitude lat, longitude
// lon (degrees) and altitude alt (feet), keeping the sines and cosines for
// callers that rotate into the site's frame. With h = alt*0.3048 - 24.764 and
// w = sqrt(1 - sl^2 e2):
//   E = (A cl)/w co + h cl co,  F = (A cl)/w so + h cl so,
//   G = ((1 - e2) A sl)/w + h sl.
// Yields kLatitude, writing nothing, for a latitude above 90, below -90 or
// NaN.
inline Fault place_site(double lat, double lon, double alt, Frame& s, double& E, double& F,
                        double& G) {
  if (!(lat >= -90.0 && lat <= 90.0)) return Fault::kLatitude;
  constexpr double kPolarFactor = (1.0 - WGS84_E2) * WGS84_A;
  sincosd(lat, s.sl, s.cl);
  sincosd(lon, s.so, s.co);
  const double h = alt * FEET_TO_METRES + WGS84_HEIGHT_OFFSET;
  const double w = std::sqrt(1.0 - sqr(s.sl) * WGS84_E2);
  E = (WGS84_A * s.cl) / w * s.co + h * s.cl * s.co;
  F = (WGS84_A * s.cl) / w * s.so + h * s.cl * s.so;
  G = (kPolarFactor * s.sl) / w + h * s.sl;
  return Fault::kNone;
}

// The quartic solved by solve_lla. In the meridian plane of a point at
// distance p from the axis and height G above the equator, the foot of the
// ellipsoid normal through it is (p0, t) with p0^2/a^2 + t^2/b^2 = 1
// (b^2 = m a^2, m = 1 - e2). The normal there passes through the point when
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
inline constexpr double c4 = (-sqr(e2)) / (1.0 - e2);                   // t^4
inline constexpr double c3 = -2.0 * e2;                                 // t^3, times G
inline constexpr double c2 = sqr(e2) * sqr(a);                          // t^2, constant part
inline constexpr double c2g = -(1.0 - e2);                              // t^2, times G^2
inline constexpr double c1 = ((sqr(a) + sqr(a)) * e2) * (1.0 - e2);     // t, times G
inline constexpr double c0 = sqr(1.0 - e2) * sqr(a);                    // constant, times G^2
inline constexpr double c3x3 = 3.0 * c3;                                // derivative, t^2
inline constexpr double c4x4 = 4.0 * c4;                                // derivative, t^3
inline constexpr double a2m = sqr(a) * m;                               // a^2 (b/a)^2
inline constexpr double am = a * m;
inline constexpr double m_minus_1 = m - 1.0;                            // not exactly -e2
}  // namespace quartic

// EFG84toLLA84: geodetic latitude and longitude (degrees) and altitude (feet)
// of the Earth-fixed point E, F, G (metres). Yields kSolve, writing nothing,
// when the foot point's q is not positive (on and near the polar axis, at the
// centre, where the passes run away, and for NaN input).
inline Fault solve_lla(double E, double F, double G, double& lat, double& lon, double& alt) {
  using namespace quartic;
  const double p2 = sqr(F) + sqr(E);
  const double G2 = sqr(G);
  // t: the G coordinate (m) of the foot of the normal through the point,
  // started where the line to the centre meets the ellipsoid.
  double t = std::sqrt(m / (G2 + m * p2)) * (a * G);
  // Two Newton passes, no tolerance test: the cost is fixed. Newton's method
  // converges quadratically, and the start lies within the 0.19 degree that
  // separates geocentric from geodetic latitude, so two passes reach the
  // accuracy the header tabulates for heights from -1e7 to +1e8 ft (checked
  // against GeographicLib by the tests).
  const double k2 = (G2 * c2g + c2) - p2;
  const double c3G = c3 * G;
  const double c1G = c1 * G;
  const double c0G2 = G2 * c0;
  const double dG = c3x3 * G;
  for (int pass = 0; pass < 2; ++pass) {
    const double t2 = sqr(t);
    const double t3 = cube(t);
    const double f = c0G2 + ((t2 * k2 + (t3 * c3G + t2 * (t2 * c4))) + c1G * t);
    const double d = ((k2 + k2) * t + (t2 * dG + t3 * c4x4)) + c1G;
    // d is exactly 0 for a point in the equatorial plane (G = 0), where the
    // start t = 0 is already the root (f(0) = c0 G^2 = 0): the pass keeps t.
    if (d != 0.0) t = t - f / d;
  }
  // q = m p0^2 (see the quartic). Near the axis t^2 approaches a^2 m = b^2,
  // about 4.0e13 m^2, whose unit in the last place is 0.0078 m^2, while
  // m p0^2 is 0.0099 m^2 a decimetre from the axis: the difference is lost
  // to cancellation there, and on the axis itself q is 0. Refusing q <= 0
  // (and NaN) keeps a latitude from coming out of sqrt of nothing.
  const double q = (a2m - sqr(t)) * m;
  if (!(q > 0.0)) return Fault::kSolve;

  const double la = (G == 0.0) ? 0.0 : atand(t / std::sqrt(q));

  double lo;
  if (F == 0.0) {
    lo = (E < 0.0) ? 180.0 : 0.0;
  } else {
    const double v = atand(E / F) + 90.0;
    lo = (F > 0.0) ? 180.0 - v : -v;
  }

  double h;
  if (la == 0.0) {
    h = std::sqrt(p2) - a;
  } else {
    const double s = sind(la);
    h = G / s - am / std::sqrt(sqr(s) * m_minus_1 + 1.0);
  }

  lat = la;
  lon = lo;
  alt = (h - WGS84_HEIGHT_OFFSET) / FEET_TO_METRES;
  return Fault::kNone;
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

// The conversions of a placed Site, which may read its private parts.
struct SiteKernels {
  static Fault to_efg(const Site& s, double az, double el, double range, double& E, double& F,
                      double& G);
  static Fault to_lla(const Site& s, double az, double el, double range, double& lat,
                      double& lon, double& alt);
  static Fault to_aer(const Site& s, double E, double F, double G, double& az, double& el,
                      double& range);
};

}  // namespace geoconv::detail

#endif  // GEOCONV_SRC_INTERNAL_HPP
