// Accuracy against an independent oracle, GeographicLib, whose conversions
// are exact to nanometres: the bounds the header states, for varied points.
// The table of expected results pins the bits; this catches a table that was
// wrong from the start.

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace geoconv;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = 180.0 / kPi;

class Uniform {
 public:
  explicit Uniform(unsigned seed) : rng_(seed) {}
  double operator()(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

 private:
  std::mt19937_64 rng_;
};

const GeographicLib::Geocentric& earth() { return GeographicLib::Geocentric::WGS84(); }
double metres(double feet) { return feet * 0.3048 - 24.764; }  // height above the ellipsoid

// The oracle's latitude is scaled by RAD2DEG / (180/pi): the library turns the
// exact angle into degrees with RAD2DEG, which alone moves a latitude by up
// to 2.9e-10 degree. What remains is the error of the two Newton passes.
TEST(Accuracy, EarthFixedToGeodeticByHeight) {
  const long double scale =
      static_cast<long double>(RAD2DEG) * 3.141592653589793238462643383279502884L / 180.0L;
  const struct {
    double height_ft, lat_bound, alt_bound;
  } bands[] = {
      {-1e7, 3e-9, 3e-3}, {-5e6, 5e-11, 6e-5}, {-2e6, 1e-11, 1e-6}, {0.0, 1e-11, 1e-6},
      {2e6, 1e-11, 1e-6}, {5e6, 1e-11, 1.5e-5}, {1e7, 5e-11, 1.5e-4}, {1e8, 2e-9, 2e-2},
  };
  Uniform u(5);
  for (const auto& band : bands) {
    for (int i = 0; i < 4000; ++i) {
      const double alt = band.height_ft + u(-0.01, 0.01) * std::fabs(band.height_ft);
      double X, Y, Z, glat, glon, gh, lat, lon, out_alt;
      earth().Forward(u(-89.9, 89.9), u(-179.9, 179.9), metres(alt), X, Y, Z);
      earth().Reverse(X, Y, Z, glat, glon, gh);
      ASSERT_EQ(EFG84toLLA84(nullptr, X, Y, Z, &lat, &lon, &out_alt), 0);
      EXPECT_NEAR(lat, static_cast<double>(glat * scale), band.lat_bound) << alt;
      EXPECT_NEAR(out_alt, (gh + 24.764) / 0.3048, band.alt_bound) << alt;
      EXPECT_NEAR(lon, glon, 3e-10);
    }
  }
}

// Geodetic to Earth-fixed and back, by band of latitude: the error of the
// latitude grows as 1.2e-12 / (90 - |lat|) degree near the poles.
TEST(Accuracy, RoundTripByLatitude) {
  const struct {
    double from, to, lat_bound;
  } bands[] = {
      {0, 85, 1e-12},          {85, 89, 3e-12},         {89, 89.9, 2e-11},
      {89.9, 89.99, 2e-10},    {89.99, 89.999, 2e-9},   {89.999, 89.9999, 2e-8},
      {89.9999, 89.99999, 2e-7},
  };
  Uniform u(3);
  for (const auto& band : bands) {
    for (int i = 0; i < 4000; ++i) {
      const double lat = (i % 2 ? -1 : 1) * u(band.from, band.to), lon = u(-179.0, 179.0);
      const double alt = u(-1e6, 1e6);
      double e, f, g, lat2, lon2, alt2;
      ASSERT_EQ(LLA84toEFG84(nullptr, lat, lon, alt, &e, &f, &g), 0);
      ASSERT_EQ(EFG84toLLA84(nullptr, e, f, g, &lat2, &lon2, &alt2), 0) << lat;
      EXPECT_NEAR(lat2, lat, band.lat_bound) << lat;
      EXPECT_NEAR(alt2, alt, 1e-7) << lat;
      EXPECT_NEAR(lon2, lon, 6e-10) << lat;  // the degree factors push it outward
    }
  }
}

// A target seen from a site, against GeographicLib's LocalCartesian. The
// degree factors turn every direction by up to 2e-11 rad and place the site up
// to 7e-5 m off, so a target r metres away is within 1e-4 + 4e-11 r metres,
// and an angle within that over the lever arm plus the 1.2e-9 degree the
// factor gives an angle of 360.
TEST(Accuracy, SiteConversionsAgainstLocalCartesian) {
  Uniform u(11);
  for (int i = 0; i < 5000; ++i) {
    const double lat0 = u(-80.0, 80.0), lon0 = u(-180.0, 180.0), alt0 = u(-1000.0, 30000.0);
    const Site site(lat0, lon0, alt0);
    const GeographicLib::LocalCartesian local(lat0, lon0, metres(alt0));
    const double r = std::pow(10.0, u(1.0, 6.0));  // metres
    const double az = u(0.0, 360.0), el = u(-10.0, 80.0);
    const double hz = r * std::cos(el / kDeg);
    const double error = 1e-4 + 4e-11 * r;
    double lat, lon, h, X, Y, Z;
    local.Reverse(hz * std::sin(az / kDeg), hz * std::cos(az / kDeg), r * std::sin(el / kDeg), lat,
                  lon, h);
    earth().Forward(lat, lon, h, X, Y, Z);

    double E, F, G;
    ASSERT_EQ(site.AERtoEFG84(nullptr, az, el, r / 0.3048, &E, &F, &G), 0);
    EXPECT_LE(std::hypot(E - X, F - Y, G - Z), error) << i;

    double t[3];
    ASSERT_EQ(site.AERtoLLA84(nullptr, az, el, r / 0.3048, &t[0], &t[1], &t[2]), 0);
    const double lat_bound = error / 6.3e6 * kDeg + 3e-10;
    EXPECT_NEAR(t[0], lat, lat_bound) << i;
    EXPECT_NEAR(std::remainder(t[1] - lon, 360.0), 0.0,
                lat_bound / std::cos(std::fmax(std::fabs(lat0), std::fabs(lat)) / kDeg))
        << i;
    EXPECT_NEAR(t[2], (h + 24.764) / 0.3048, error / 0.3048 + 2e-5) << i;

    double a[3];
    ASSERT_EQ(site.EFG84toAER(nullptr, X, Y, Z, &a[0], &a[1], &a[2]), 0);
    EXPECT_NEAR(std::remainder(a[0] - az, 360.0), 0.0, error / hz * kDeg + 1.2e-9) << i;
    EXPECT_NEAR(a[1], el, error / r * kDeg + 3e-10) << i;
    EXPECT_NEAR(a[2], r / 0.3048, error / 0.3048 + 1e-12 * r) << i;
  }
}

// Moving targets: the rates are the derivatives of the positions, checked
// against centred differences of EFG84toAER along the velocity, and the
// inverse returns the target. The step moves the target 1e-4 of its
// horizontal distance, so the differences' own error (the third derivative,
// about (1e-4 r / h)^2 / 6 of the rate, and rounding of positions near
// 6.4e6 m, about 1e-9 m over the step) stays below 1e-6 of |v| / h (the
// worst seen is 2.2e-7, at 100 m). The round trip returns the position
// within 1e-10 of the range and the velocity within 1e-10 of its speed
// (worst seen 2.6e-11: the degree factors are not exact inverses).
TEST(Accuracy, RatesAreDerivativesOfPositions) {
  Uniform u(12);
  for (int i = 0; i < 100000; ++i) {
    const Site site(u(-89.9, 89.9), u(-180.0, 180.0), u(-1000.0, 30000.0));
    const double r = std::pow(10.0, u(2.0, 6.0));  // metres
    const double az = u(0.0, 360.0), el = u(-80.0, 80.0);
    double P[3], v[3], m[6];
    site.AERtoEFG84(nullptr, az, el, r / 0.3048, &P[0], &P[1], &P[2]);
    const double speed = std::pow(10.0, u(-1.0, 3.0));  // m/s, any direction
    const double vaz = u(0.0, 2 * kPi), vel = std::asin(u(-1.0, 1.0));
    v[0] = speed * std::cos(vel) * std::cos(vaz), v[1] = speed * std::cos(vel) * std::sin(vaz);
    v[2] = speed * std::sin(vel);
    ASSERT_EQ(site.EFG84toAERrates(nullptr, P[0], P[1], P[2], v[0], v[1], v[2], &m[0], &m[1], &m[2],
                                   &m[3], &m[4], &m[5]), 0);
    const double hz = r * std::cos(el / kDeg), step = 1e-4 * hz / speed;
    double ahead[3], behind[3];
    site.EFG84toAER(nullptr, P[0] + v[0] * step, P[1] + v[1] * step, P[2] + v[2] * step, &ahead[0],
                    &ahead[1], &ahead[2]);
    site.EFG84toAER(nullptr, P[0] - v[0] * step, P[1] - v[1] * step, P[2] - v[2] * step, &behind[0],
                    &behind[1], &behind[2]);
    const double scale[3] = {speed / hz * kDeg, speed / r * kDeg, speed / 0.3048};
    for (int k = 0; k < 3; ++k) {
      double change = ahead[k] - behind[k];
      if (k == 0) change = std::remainder(change, 360.0);
      EXPECT_LE(std::fabs(m[3 + k] - change / (2 * step)), 1e-6 * scale[k]) << i << " rate " << k;
    }
    double back[6];
    ASSERT_EQ(site.AERratesToEFG84(nullptr, m[0], m[1], m[2], m[3], m[4], m[5], &back[0], &back[1],
                                   &back[2], &back[3], &back[4], &back[5]), 0);
    const double moved = std::hypot(back[0] - P[0], back[1] - P[1], back[2] - P[2]) / r;
    const double turned = std::hypot(back[3] - v[0], back[4] - v[1], back[5] - v[2]) / speed;
    EXPECT_LE(moved, 1e-10) << i;
    EXPECT_LE(turned, 1e-10) << i;
  }
}

}  // namespace
