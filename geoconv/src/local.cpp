// Azimuth/elevation/range <-> x east, y north, z up in a site's local tangent
// frame. Pure geometry: no ellipsoid, and x, y, z take the unit of the range.

#include "internal.hpp"

namespace geoconv {

void AERtoXYZ(std::FILE* /*stream*/, double az, double el, double range, double* x, double* y,
              double* z) {
  detail::conv::aer_to_xyz<detail::conv::Exact>(az, el, range, *x, *y, *z);
}

void XYZtoAER(std::FILE* /*stream*/, double x, double y, double z, double* az, double* el,
              double* range) {
  double a, e, r;
  detail::conv::xyz_to_aer<detail::conv::Exact>(x, y, z, a, e, r);
  *range = r, *el = e, *az = a;  // in this order, should two of them be one double
}

}  // namespace geoconv
