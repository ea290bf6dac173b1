// Site-relative conversions: a target seen from a base site (latitude,
// longitude, altitude) at azimuth, elevation and range, to and from global
// coordinates. A Site places its site once, with the arithmetic of
// LLA84toEFG84, and keeps the sines and cosines of its frame; the free
// functions build one for each call, so both give the same bits.

#include "internal.hpp"

#include <limits>

namespace geoconv {

Site::Site(std::FILE* stream, double lat, double lon, double alt) noexcept
    : lat_(lat), lon_(lon), alt_(alt) {
  detail::Frame f;
  valid_ = detail::place_site(stream, lat, lon, alt, f, E0_, F0_, G0_);
  if (!valid_) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    f = {kNaN, kNaN, kNaN, kNaN};
    E0_ = F0_ = G0_ = kNaN;
  }
  sl_ = f.sl;
  cl_ = f.cl;
  so_ = f.so;
  co_ = f.co;
}

int Site::AERtoEFG84(std::FILE* stream, double az, double el, double range, double* E,
                     double* F, double* G) const noexcept {
  if (!valid_) {
    detail::report(stream, detail::kLatitudeMessage);
    return 1;
  }
  // Local components in metres, as AERtoXYZ computes them.
  const double r = range * FEET_TO_METRES;
  const double x = detail::sind(az) * (detail::cosd(el) * r);
  const double y = detail::cosd(az) * (detail::cosd(el) * r);
  const double z = detail::sind(el) * r;
  *E = (-so_ * x) - (co_ * sl_ * y) + (co_ * cl_ * z) + E0_;
  *F = (co_ * x) - (so_ * sl_ * y) + (so_ * cl_ * z) + F0_;
  *G = (cl_ * y) + (sl_ * z) + G0_;
  return 0;
}

int Site::AERtoLLA84(std::FILE* stream, double az, double el, double range, double* lat,
                     double* lon, double* alt) const noexcept {
  if (range == 0.0) {
    // No direction can be taken from a zero range: hand back the site itself.
    *lat = lat_;
    *lon = lon_;
    *alt = alt_;
    detail::report(stream, detail::kRangeMessage);
    return 1;
  }
  double E, F, G;
  if (AERtoEFG84(stream, az, el, range, &E, &F, &G) != 0) return 1;
  return detail::solve_lla(stream, E, F, G, *lat, *lon, *alt) ? 0 : 1;
}

int Site::EFG84toAER(std::FILE* stream, double E, double F, double G, double* az, double* el,
                     double* range) const noexcept {
  if (!valid_) {
    detail::report(stream, detail::kLatitudeMessage);
    return 1;
  }
  const double dE = E - E0_, dF = F - F0_, dG = G - G0_;
  const double east = dE * (-so_) + dF * co_;
  const double north = dE * (-co_ * sl_) + dF * (-so_ * sl_) + dG * cl_;
  const double up = dE * (co_ * cl_) + dF * (so_ * cl_) + dG * sl_;
  *range = std::sqrt(sqr(east) + sqr(north) + sqr(up)) / FEET_TO_METRES;

  const double hz = std::sqrt(sqr(east) + sqr(north));
  if (hz != 0.0) {
    double a = detail::atan2d(east, north);
    if (a < 0.0) a = a + 360.0;
    *az = a;
    *el = detail::atand(up / hz);
  } else {
    // On the site's vertical the azimuth is undefined and reported as 0. The
    // elevation is atand of an infinite ratio with the sign of up, the same
    // value XYZtoAER gives straight up; at the site itself it is 0.
    *az = 0.0;
    *el = (up == 0.0) ? 0.0 : detail::atand(up / hz);
  }
  return 0;
}

int AERtoEFG84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* E, double* F, double* G) {
  return Site(baseLat, baseLon, baseAlt).AERtoEFG84(stream, az, el, range, E, F, G);
}

int AERtoLLA84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* lat, double* lon, double* alt) {
  return Site(baseLat, baseLon, baseAlt).AERtoLLA84(stream, az, el, range, lat, lon, alt);
}

int EFG84toAER(std::FILE* stream, double E, double F, double G, double baseLat, double baseLon,
               double baseAlt, double* az, double* el, double* range) {
  return Site(baseLat, baseLon, baseAlt).EFG84toAER(stream, E, F, G, az, el, range);
}

}  // namespace geoconv
