// Geodetic latitude/longitude/altitude <-> Earth-fixed E, F, G on WGS 84.
//
// The forward direction is closed form. The reverse solves a quartic for the
// foot of the ellipsoid normal with two Newton passes (see internal.hpp); on
// and within about a decimetre of the polar axis the foot point's q rounds to
// 0 or below and the conversion is refused rather than returning a latitude
// from a square root of a non-positive number.

#include "internal.hpp"

namespace geoconv {

int LLA84toEFG84(std::FILE* stream, double lat, double lon, double alt, double* E, double* F,
                 double* G) {
  if (!detail::latitude_ok(lat)) {
    detail::report(stream, "(LLA84toEFG84) problem: lat>90 \n");
    return 1;
  }
  detail::lla_to_efg(sind(lat), cosd(lat), sind(lon), cosd(lon), alt, *E, *F, *G);
  return 0;
}

int EFG84toLLA84(std::FILE* stream, double E, double F, double G, double* lat, double* lon,
                 double* alt) {
  if (!detail::efg_to_lla(E, F, G, *lat, *lon, *alt)) {
    detail::report(stream, "(EFG84toLLA84) error: negative or zero sqrt value\n");
    return 1;
  }
  return 0;
}

}  // namespace geoconv
