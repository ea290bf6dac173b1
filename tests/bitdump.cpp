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

    // Local frame and site-relative conversions from varied sites.
    const double az = rng.uniform(-360.0, 720.0), el = rng.uniform(-90.0, 90.0);
    const double range = (i % 13 == 0) ? 0.0 : rng.uniform(-1e3, 1e7);
    double x = 0, y = 0, z = 0;
    geoconv::AERtoXYZ(nullptr, az, el, range, &x, &y, &z);
    std::printf("aer2xyz");
    put(x), put(y), put(z);
    double a2 = 0, e2 = 0, r2 = 0;
    geoconv::XYZtoAER(nullptr, (i % 5 == 0) ? 0.0 : x, (i % 3 == 0) ? 0.0 : y, z, &a2, &e2, &r2);
    std::printf(" xyz2aer");
    put(a2), put(e2), put(r2);
    la = lo = al = 0;
    const int s3 = geoconv::AERtoLLA84(nullptr, az, el, range, lat, lon, alt, &la, &lo, &al);
    std::printf(" aer2lla %d", s3);
    put(la), put(lo), put(al);
    a2 = e2 = r2 = 0;
    const int s4 = geoconv::EFG84toAER(nullptr, ex, fx, gx, lat, lon, alt, &a2, &e2, &r2);
    std::printf(" efg2aer %d", s4);
    put(a2), put(e2), put(r2);
    double e72 = 0, f72 = 0, g72 = 0;
    geoconv::EFG84toEFG72(nullptr, ex, fx, gx, &e72, &f72, &g72);
    std::printf(" efg84to72");
    put(e72), put(f72), put(g72);
    double d = 0, m = 0, sec = 0;
    geoconv::DEGtoDMS(lon, &d, &m, &sec);
    std::printf(" dms");
    put(d), put(m), put(sec);
    std::printf("\n");
  }
  // Digit fields: integers only, but every routine is in the set.
  const char* texts[] = {"N51W002", "  -2147483648", "99999999999", "12 34", "--5", "+7"};
  for (const char* t : texts) {
    for (int first = -1; first < 8; ++first) {
      for (int last = first - 1; last < 14; ++last) std::printf("%d ", geoconv::STRtoINT(t, first, last));
    }
    std::printf("\n");
  }
  return 0;
}
