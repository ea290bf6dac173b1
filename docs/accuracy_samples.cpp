// Samples of the library's error against GeographicLib's exact conversion,
// for docs/accuracy.png (drawn by docs/figures.py). One line per point on
// standard output:
//
//   SERIES X LAT_ERROR ALT_ERROR
//
// SERIES is "reverse" (EFG84toLLA84 against GeographicLib's Geocentric::
// Reverse of the same E, F, G) or "round" (LLA84toEFG84 then EFG84toLLA84,
// against the starting point, which is what an exact round trip returns),
// each followed by "-height" (X: altitude, ft, -1e7 to 1e8, latitudes
// anywhere below 89.9) or "-latitude" (X: 90 - |lat|, degrees, 1e-6 to 90,
// altitudes from -1,000 to 40,000 ft). Errors are absolute: latitude in
// degrees, altitude in feet. Points the library refuses (status 1) are
// counted on standard error.
//
// GeographicLib's latitude is scaled by RAD2DEG / (180/pi) before the
// comparison: the library turns angles into degrees with RAD2DEG, which alone
// moves a latitude by up to 2.9e-10 degree, a deliberate, documented
// scaling; what remains is the error of its two Newton passes.

#include <GeographicLib/Geocentric.hpp>
#include <geoconv/geoconv.hpp>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr int kSamples = 40000;   // per series

double feet_to_metres_above_ellipsoid(double feet) { return feet * 0.3048 - 24.764; }
double metres_above_ellipsoid_to_feet(double metres) { return (metres + 24.764) / 0.3048; }

// A magnitude spread evenly in its logarithm between lo and hi.
double log_uniform(std::mt19937_64& rng, double lo, double hi) {
  return lo * std::pow(hi / lo, std::uniform_real_distribution<double>(0.0, 1.0)(rng));
}

}  // namespace

int main() {
  const GeographicLib::Geocentric& earth = GeographicLib::Geocentric::WGS84();
  const long double scale =
      static_cast<long double>(geoconv::RAD2DEG) * 3.141592653589793238462643383279502884L / 180.0L;
  std::mt19937_64 rng(15);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  int refused = 0;
  for (const char* sweep : {"height", "latitude"}) {
    const bool by_height = sweep[0] == 'h';
    for (int i = 0; i < kSamples; ++i) {
      double lat, alt, x;
      const double lon = uniform(-180.0, 180.0);
      const double sign = (i % 2) ? -1.0 : 1.0;
      if (by_height) {
        // Heights above the ellipsoid up to 1e8 ft, and depths down to 1e7 ft.
        alt = (i % 4 < 3) ? log_uniform(rng, 1.0, 1e8) : -log_uniform(rng, 1.0, 1e7);
        lat = sign * uniform(0.0, 89.9);
        x = alt;
      } else {
        x = log_uniform(rng, 1e-6, 90.0);
        lat = sign * (90.0 - x);
        alt = uniform(-1000.0, 40000.0);
      }
      double X, Y, Z, glat, glon, gh, olat, olon, oalt;
      earth.Forward(lat, lon, feet_to_metres_above_ellipsoid(alt), X, Y, Z);
      earth.Reverse(X, Y, Z, glat, glon, gh);
      if (geoconv::EFG84toLLA84(nullptr, X, Y, Z, &olat, &olon, &oalt) == 0) {
        std::printf("reverse-%s %.17g %.17g %.17g\n", sweep, x,
                    std::fabs(olat - static_cast<double>(glat * scale)),
                    std::fabs(oalt - metres_above_ellipsoid_to_feet(gh)));
      } else {
        ++refused;
      }
      double e, f, g;
      if (geoconv::LLA84toEFG84(nullptr, lat, lon, alt, &e, &f, &g) == 0 &&
          geoconv::EFG84toLLA84(nullptr, e, f, g, &olat, &olon, &oalt) == 0) {
        std::printf("round-%s %.17g %.17g %.17g\n", sweep, x, std::fabs(olat - lat),
                    std::fabs(oalt - alt));
      } else {
        ++refused;
      }
    }
  }
  std::fprintf(stderr, "accuracy_samples: %d of %d conversions refused\n", refused, 4 * kSamples);
  return 0;
}
