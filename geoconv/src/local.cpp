// Azimuth/elevation/range <-> x east, y north, z up in a site's local tangent
// frame. Pure geometry: no ellipsoid, and x, y, z take the unit of the range.

#include "internal.hpp"

namespace geoconv {

void AERtoXYZ(std::FILE* /*stream*/, double az, double el, double range, double* x, double* y,
              double* z) {
  const double horizontal = detail::cosd(el) * range;
  *z = detail::sind(el) * range;
  *y = detail::cosd(az) * horizontal;
  *x = detail::sind(az) * horizontal;
}

void XYZtoAER(std::FILE* /*stream*/, double x, double y, double z, double* az, double* el,
              double* range) {
  const double r = std::sqrt(sqr(x) + sqr(y) + sqr(z));
  *range = r;
  if (r == 0.0) {
    *az = 0.0;
    *el = 0.0;
  } else {
    *el = detail::asind(z / r);
  }
  // The azimuth is decided by y alone and is not normalised: points west of
  // north (x < 0 < y) get azimuths just above -90 down to 0.
  if (y == 0.0) {
    *az = (x > 0.0) ? 90.0 : (x < 0.0) ? 270.0 : 0.0;
  } else {
    double a = detail::atand(x / y);
    if (y < 0.0) a = a + 180.0;
    *az = a;
  }
}

}  // namespace geoconv
