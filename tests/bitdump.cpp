// Prints the exact bits of every routine's results over a fixed set of a few
// thousand varied inputs, so that two builds of the library (say a default one
// and one with -O3 -march=native) can be compared bit for bit.

#include <geoconv/geoconv.hpp>

#include <cinttypes>
#include <cstdio>

#include "support.hpp"

namespace {

void put(double x) { std::printf(" %016" PRIx64, geoconv_test::bits(x)); }

}  // namespace

int main() {
  geoconv_test::Random rng(20261206);
  const int kPoints = 4000;
  for (int i = 0; i < kPoints; ++i) {
    const double lat = rng.uniform(-90.5, 90.5);
    const double lon = rng.uniform(-400.0, 400.0);
    const double alt = rng.uniform(-2e6, 2e7);
    double e = 0, f = 0, g = 0;
    const int s = geoconv::LLA84toEFG84(nullptr, lat, lon, alt, &e, &f, &g);
    std::printf("lla2efg %d", s);
    put(e), put(f), put(g);
    std::printf("\n");

    // Earth-fixed points from the centre out to 20 Earth radii, near the axis
    // and in the equatorial plane included.
    const double r = rng.uniform(0.0, 1.3e8);
    const double scale = (i % 7 == 0) ? 1e-6 : 1.0;
    const double ex = rng.uniform(-1.0, 1.0) * r * scale, fx = rng.uniform(-1.0, 1.0) * r * scale;
    const double gx = (i % 11 == 0) ? 0.0 : rng.uniform(-1.0, 1.0) * r;
    double la = 0, lo = 0, al = 0;
    const int s2 = geoconv::EFG84toLLA84(nullptr, ex, fx, gx, &la, &lo, &al);
    std::printf("efg2lla %d", s2);
    put(la), put(lo), put(al);
    std::printf("\n");
  }
  return 0;
}
