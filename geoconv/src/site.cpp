// Site-relative conversions: a target seen from a base site (latitude,
// longitude, altitude) at azimuth, elevation and range, to and from global
// coordinates. The site is placed with the same arithmetic as LLA84toEFG84 and
// its sines and cosines are computed once per call.

#include "internal.hpp"

namespace geoconv {

int AERtoLLA84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* lat, double* lon, double* alt) {
  if (range == 0.0) {
    // No direction can be taken from a zero range: hand back the site itself.
    *lat = baseLat;
    *lon = baseLon;
    *alt = baseAlt;
    detail::report(stream, "(AERtoLLA84) problem: input range=0 \n");
    return 1;
  }
  const double r = range * FEET_TO_METRES;
  detail::Frame site;
  double E0, F0, G0;
  if (!detail::place_site(stream, baseLat, baseLon, baseAlt, site, E0, F0, G0)) return 1;

  // Local components in metres, as AERtoXYZ computes them.
  const double x = sind(az) * (cosd(el) * r);
  const double y = cosd(az) * (cosd(el) * r);
  const double z = sind(el) * r;

  double E, F, G;
  detail::local_to_efg(site, x, y, z, E0, F0, G0, E, F, G);
  return detail::solve_lla(stream, E, F, G, *lat, *lon, *alt) ? 0 : 1;
}

int EFG84toAER(std::FILE* stream, double E, double F, double G, double baseLat, double baseLon,
               double baseAlt, double* az, double* el, double* range) {
  detail::Frame site;
  double E0, F0, G0;
  if (!detail::place_site(stream, baseLat, baseLon, baseAlt, site, E0, F0, G0)) return 1;

  double east, north, up;
  detail::efg_to_local(site, E - E0, F - F0, G - G0, east, north, up);
  *range = std::sqrt(sqr(east) + sqr(north) + sqr(up)) / FEET_TO_METRES;

  const double hz = std::sqrt(sqr(east) + sqr(north));
  if (hz != 0.0) {
    double a = atan2d(east, north);
    if (a < 0.0) a = a + 360.0;
    *az = a;
    *el = atand(up / hz);
  } else {
    // On the site's vertical the azimuth is undefined and reported as 0. The
    // elevation is atand of an infinite ratio with the sign of up, the same
    // value XYZtoAER gives straight up; at the site itself it is 0.
    *az = 0.0;
    *el = (up == 0.0) ? 0.0 : atand(up / hz);
  }
  return 0;
}

}  // namespace geoconv
