// Geodetic to Earth-fixed: fixed points, the pole, the latitude check, and an
// independent comparison with GeographicLib.

#include <GeographicLib/Geocentric.hpp>
#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support.hpp"

using namespace geoconv;
using geoconv_test::Capture;
using geoconv_test::kUntouched;

namespace {

constexpr double kSurfaceFeet = 24.764 / 0.3048;  // altitude of the ellipsoid surface

TEST(LLA84toEFG84, EquatorAndPrimeMeridian) {
  double e, f, g;
  ASSERT_EQ(LLA84toEFG84(nullptr, 0.0, 0.0, 0.0, &e, &f, &g), 0);
  EXPECT_EQ(e, WGS84_A + WGS84_HEIGHT_OFFSET);
  EXPECT_EQ(f, 0.0);
  EXPECT_EQ(g, 0.0);

  ASSERT_EQ(LLA84toEFG84(nullptr, 0.0, 0.0, kSurfaceFeet, &e, &f, &g), 0);
  EXPECT_NEAR(e, WGS84_A, 2e-9);
}

TEST(LLA84toEFG84, PoleIsAcceptedAndOffTheAxisByTheDegreeFactor) {
  double e, f, g;
  ASSERT_EQ(LLA84toEFG84(nullptr, 90.0, 0.0, 0.0, &e, &f, &g), 0);
  // cosd(90) is about -5.1e-12, times the polar radius of curvature.
  EXPECT_NEAR(e, -3.3e-5, 0.05e-5);
  EXPECT_EQ(f, 0.0);
  EXPECT_NEAR(g, WGS84_A * std::sqrt(1.0 - WGS84_E2) - 24.764, 1e-8);

  ASSERT_EQ(LLA84toEFG84(nullptr, -90.0, 0.0, 0.0, &e, &f, &g), 0);
  EXPECT_NEAR(g, -(WGS84_A * std::sqrt(1.0 - WGS84_E2) - 24.764), 1e-8);
}

TEST(LLA84toEFG84, LongitudeWrapsThroughItsSine) {
  double e0, f0, g0, e, f, g;
  ASSERT_EQ(LLA84toEFG84(nullptr, 0.0, 0.0, 0.0, &e0, &f0, &g0), 0);
  ASSERT_EQ(LLA84toEFG84(nullptr, 0.0, 360.0, 0.0, &e, &f, &g), 0);
  EXPECT_NEAR(e, e0, 1e-8);
  EXPECT_EQ(g, g0);
  // sind(360) is about 2e-11, not 0: F is about 1.3e-4 m.
  EXPECT_NEAR(f, 1.3e-4, 0.05e-4);
}

TEST(LLA84toEFG84, RejectsLatitudesBeyondThePolesAndNaN) {
  const double bad[] = {90.5, -90.5, std::nextafter(90.0, 91.0), -std::nextafter(90.0, 91.0),
                        std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double lat : bad) {
    Capture log;
    double e = kUntouched, f = kUntouched, g = kUntouched;
    EXPECT_EQ(LLA84toEFG84(log.stream(), lat, 0.0, 0.0, &e, &f, &g), 1) << lat;
    EXPECT_EQ(log.text(), "(LLA84toEFG84) problem: lat>90 \n") << lat;
    EXPECT_EQ(e, kUntouched);
    EXPECT_EQ(f, kUntouched);
    EXPECT_EQ(g, kUntouched);
    // A null stream drops the message; status and outputs are the same.
    EXPECT_EQ(LLA84toEFG84(nullptr, lat, 0.0, 0.0, &e, &f, &g), 1);
    EXPECT_EQ(e, kUntouched);
  }
}

TEST(LLA84toEFG84, WritesNothingOnSuccess) {
  Capture log;
  double e, f, g;
  EXPECT_EQ(LLA84toEFG84(log.stream(), 45.0, 45.0, 1000.0, &e, &f, &g), 0);
  EXPECT_EQ(log.text(), "");
}

// GeographicLib converts exactly. The library's degree factor differs from
// pi/180 by 3.25e-12 relative, so an angle of up to 180 degrees is off by up
// to 1.02e-11 rad, which moves a point by that times its distance from the
// centre (6.4e6 m plus the height): about 7e-5 m at worst.
TEST(LLA84toEFG84, AgreesWithGeographicLib) {
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  geoconv_test::Random rng(2);
  for (int i = 0; i < 20000; ++i) {
    const double lat = rng.uniform(-90.0, 90.0);
    const double lon = rng.uniform(-180.0, 180.0);
    const double alt = rng.uniform(-1e6, 1e6);
    double e, f, g, X, Y, Z;
    ASSERT_EQ(LLA84toEFG84(nullptr, lat, lon, alt, &e, &f, &g), 0);
    wgs84.Forward(lat, lon, alt * 0.3048 - 24.764, X, Y, Z);
    const double bound = 1.03e-11 * (6.4e6 + std::fabs(alt) * 0.3048) + 1e-8;
    EXPECT_NEAR(e, X, bound) << lat << " " << lon << " " << alt;
    EXPECT_NEAR(f, Y, bound) << lat << " " << lon << " " << alt;
    EXPECT_NEAR(g, Z, bound) << lat << " " << lon << " " << alt;
  }
}

}  // namespace
