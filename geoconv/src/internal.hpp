// Internal pieces shared by the library's sources: inline copies of the
// degree helpers, the message writer, the placement of a site, the rotation
// between Earth-fixed and local axes, and the solution for latitude,
// longitude and altitude.
//
// Every expression keeps the grouping of the documented formulas; the sources
// are compiled with -ffp-contract=off so that no multiply-add is fused.

#ifndef GEOCONV_SRC_INTERNAL_HPP
#define GEOCONV_SRC_INTERNAL_HPP

#include <geoconv/geoconv.hpp>

#include <cmath>
#include <cstdio>

namespace geoconv::detail {

// The helpers as the public ones define them (helpers.cpp), inline here so
// that the conversions do not pay a call for each; both are compiled with the
// library's flags, so they give the same bits.
inline double sind(double d) { return std::sin(d * DEG2RAD); }
inline double cosd(double d) { return std::cos(d * DEG2RAD); }
inline double tand(double d) { return std::tan(d * DEG2RAD); }
inline double asind(double v) { return std::asin(v) * RAD2DEG; }
inline double acosd(double v) { return std::acos(v) * RAD2DEG; }
inline double atand(double v) { return std::atan(v) * RAD2DEG; }
inline double atan2d(double y, double x) { return std::atan2(y, x) * RAD2DEG; }

inline constexpr const char* kLatitudeMessage = "(LLA84toEFG84) problem: lat>90 \n";
inline constexpr const char* kSolveMessage = "(EFG84toLLA84) error: negative or zero sqrt value\n";
inline constexpr const char* kRangeMessage = "(AERtoLLA84) problem: input range=0 \n";

// One formatted write of a message line; a null stream drops it.
inline void report(std::FILE* stream, const char* message) {
  if (stream != nullptr) std::fprintf(stream, "%s", message);
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
// Returns false, with the message written and nothing else, for a latitude
// above 90, below -90 or NaN.
inline bool place_site(std::FILE* stream, double lat, double lon, double alt, Frame& s,
                       double& E, double& F, double& G) {
  if (!(lat >= -90.0 && lat <= 90.0)) {
    report(stream, kLatitudeMessage);
    return false;
  }
  constexpr double kPolarFactor = (1.0 - WGS84_E2) * WGS84_A;
  s = {sind(lat), cosd(lat), sind(lon), cosd(lon)};
  const double h = alt * FEET_TO_METRES + WGS84_HEIGHT_OFFSET;
  const double w = std::sqrt(1.0 - sqr(s.sl) * WGS84_E2);
  E = (WGS84_A * s.cl) / w * s.co + h * s.cl * s.co;
  F = (WGS84_A * s.cl) / w * s.so + h * s.cl * s.so;
  G = (kPolarFactor * s.sl) / w + h * s.sl;
  return true;
}

// Coefficients of the quartic solved by efg_to_lla, folded at compile time
// with the same roundings as at run time (e2 = WGS84_E2, a = WGS84_A).
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
// of the Earth-fixed point E, F, G (metres). Returns false, with the message
// written and nothing else, when the foot point's q is not positive (on and
// near the polar axis, at the centre, where the passes run away, and for NaN
// input).
inline bool solve_lla(std::FILE* stream, double E, double F, double G, double& lat,
                      double& lon, double& alt) {
  using namespace quartic;
  const double p2 = sqr(F) + sqr(E);
  const double G2 = sqr(G);
  // t: the G coordinate (m) of the foot of the normal through the point,
  // started where the line to the centre meets the ellipsoid.
  double t = std::sqrt(m / (G2 + m * p2)) * (a * G);
  // Two Newton passes, no tolerance test: the cost is fixed.
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
    if (d != 0.0) t = t - f / d;
  }
  const double q = (a2m - sqr(t)) * m;
  if (!(q > 0.0)) {
    report(stream, kSolveMessage);
    return false;
  }

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
  return true;
}

}  // namespace geoconv::detail

#endif  // GEOCONV_SRC_INTERNAL_HPP
