// Earth-fixed to geodetic: round trips, the equatorial plane, the date line,
// the polar axis and the interior, and accuracy against GeographicLib.

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

constexpr double kSurfaceFeet = 24.764 / 0.3048;
const double kPolarSemiAxis = WGS84_A * std::sqrt(1.0 - WGS84_E2);
constexpr const char* kMessage = "(EFG84toLLA84) error: negative or zero sqrt value\n";

struct Lla {
  int status;
  double lat, lon, alt;
};

Lla to_lla(double e, double f, double g) {
  Lla r{0, kUntouched, kUntouched, kUntouched};
  r.status = EFG84toLLA84(nullptr, e, f, g, &r.lat, &r.lon, &r.alt);
  return r;
}

Lla round_trip(double lat, double lon, double alt) {
  double e, f, g;
  EXPECT_EQ(LLA84toEFG84(nullptr, lat, lon, alt, &e, &f, &g), 0);
  return to_lla(e, f, g);
}

TEST(EFG84toLLA84, GreenwichRoundTrip) {
  const Lla r = round_trip(51.47222222, 0.0, 10.0);
  ASSERT_EQ(r.status, 0);
  EXPECT_NEAR(r.lat, 51.47222222, 2e-13);
  EXPECT_EQ(r.lon, 0.0);
  EXPECT_NEAR(r.alt, 10.0, 1e-7);
}

TEST(EFG84toLLA84, RoundTripsAwayFromThePoles) {
  geoconv_test::Random rng(3);
  for (int i = 0; i < 20000; ++i) {
    const double lat = rng.uniform(-89.9, 89.9);
    const double lon = rng.uniform(-179.0, 179.0);
    const double alt = rng.uniform(-1e6, 1e6);
    const Lla r = round_trip(lat, lon, alt);
    ASSERT_EQ(r.status, 0);
    // Within a few degrees of a pole the latitude comes from the arc tangent
    // of a large ratio and loses a few bits.
    const double lat_bound = std::fabs(lat) <= 85.0 ? 2e-12 : 1e-11;
    EXPECT_NEAR(r.lat, lat, lat_bound) << lat << " " << lon << " " << alt;
    EXPECT_NEAR(r.alt, alt, 1e-7) << lat << " " << lon << " " << alt;
    // The degree factors push the longitude outward by up to 5.9e-10 degree.
    EXPECT_NEAR(r.lon, lon, 6e-10) << lat << " " << lon << " " << alt;
  }
}

TEST(EFG84toLLA84, LongitudeComesBackLargerByTheDegreeFactors) {
  EXPECT_NEAR(round_trip(30.0, 45.0, 0.0).lon - 45.0, 2.9e-10, 0.05e-10);
  EXPECT_NEAR(round_trip(30.0, -45.0, 0.0).lon + 45.0, -2.9e-10, 0.05e-10);
  // sind(180) makes F slightly negative: 180 comes back just above -180.
  const double lon = round_trip(30.0, 180.0, 0.0).lon;
  EXPECT_LT(lon, 0.0);
  EXPECT_NEAR(lon + 180.0, 9e-10, 0.5e-10);
}

TEST(EFG84toLLA84, EquatorialPlane) {
  const Lla east = to_lla(WGS84_A, 0.0, 0.0);
  ASSERT_EQ(east.status, 0);
  EXPECT_EQ(east.lat, 0.0);
  EXPECT_EQ(east.lon, 0.0);
  EXPECT_EQ(east.alt, kSurfaceFeet);
  EXPECT_EQ(to_lla(-WGS84_A, 0.0, 0.0).lon, 180.0);
  EXPECT_EQ(to_lla(0.0, WGS84_A, 0.0).lon, 90.0);
  EXPECT_EQ(to_lla(0.0, -WGS84_A, 0.0).lon, -90.0);
  const Lla diagonal = to_lla(WGS84_A, WGS84_A, 0.0);
  EXPECT_EQ(diagonal.lat, 0.0);
  EXPECT_NEAR(diagonal.lon - 45.0, 1.5e-10, 0.05e-10);
  EXPECT_NEAR(diagonal.alt, (WGS84_A * std::sqrt(2.0) - WGS84_A + 24.764) / 0.3048, 1e-6);
}

TEST(EFG84toLLA84, DateLine) {
  EXPECT_EQ(to_lla(-WGS84_A, 0.0, 1000.0).lon, 180.0);
  EXPECT_NEAR(to_lla(-WGS84_A, -1e-9, 1000.0).lon, -180.0 + 2.9e-10, 0.05e-10);
  EXPECT_NEAR(to_lla(-WGS84_A, 1e-9, 1000.0).lon, 180.0 - 2.9e-10, 0.05e-10);
}

TEST(EFG84toLLA84, NearThePoleLatitudeLosesPrecisionButStaysBelowNinety) {
  const Lla near_axis = to_lla(0.3, 0.0, kPolarSemiAxis);
  ASSERT_EQ(near_axis.status, 0);
  EXPECT_NEAR(near_axis.lat, 90.0 - 2.6e-6, 0.05e-6);
  EXPECT_EQ(near_axis.lon, 0.0);
  EXPECT_NEAR(near_axis.alt, kSurfaceFeet, 1e-7);

  const Lla near_pole = round_trip(90.0 - 1e-6, 0.0, 0.0);
  ASSERT_EQ(near_pole.status, 0);
  EXPECT_NEAR(std::fabs(near_pole.lat - (90.0 - 1e-6)), 1.1e-7, 0.3e-7);
  EXPECT_LT(near_pole.lat, 90.0);
}

TEST(EFG84toLLA84, FailsOnAndNearThePolarAxisAndInTheInterior) {
  double pole_e, pole_f, pole_g;
  ASSERT_EQ(LLA84toEFG84(nullptr, 90.0, 0.0, 0.0, &pole_e, &pole_f, &pole_g), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double failing[][3] = {
      {0.0, 0.0, kPolarSemiAxis},           {0.0, 0.0, -(kPolarSemiAxis + 1000.0)},
      {0.1, 0.0, kPolarSemiAxis},           {pole_e, pole_f, pole_g},
      {0.0, 0.0, 0.0},                      {1000.0, 0.0, 1000.0},
      {nan, 0.0, 1e6},                      {1e6, inf, 1e6},
      {1e6, 0.0, -inf},
  };
  for (const auto& p : failing) {
    Capture log;
    double lat = kUntouched, lon = kUntouched, alt = kUntouched;
    EXPECT_EQ(EFG84toLLA84(log.stream(), p[0], p[1], p[2], &lat, &lon, &alt), 1)
        << p[0] << " " << p[1] << " " << p[2];
    EXPECT_EQ(log.text(), kMessage);
    EXPECT_EQ(lat, kUntouched);
    EXPECT_EQ(lon, kUntouched);
    EXPECT_EQ(alt, kUntouched);
    EXPECT_EQ(EFG84toLLA84(nullptr, p[0], p[1], p[2], &lat, &lon, &alt), 1);
    EXPECT_EQ(lat, kUntouched);
  }
}

TEST(EFG84toLLA84, DeepInteriorMayReturnAMeaninglessResult) {
  // Two passes from the geocentric start do not converge this deep; the
  // result is returned with status 0 all the same.
  const Lla r = to_lla(1e5, 0.0, 1e5);
  ASSERT_EQ(r.status, 0);
  EXPECT_NEAR(r.lat, 53.4, 0.1);
  EXPECT_NEAR(r.alt, -2.04e7, 0.01e7);
}

// GeographicLib's Reverse is exact to a few nanometres. To compare latitudes,
// the oracle's value is scaled by RAD2DEG / (180/pi): the library turns the
// exact angle into degrees with RAD2DEG, which alone shifts a latitude by up
// to 2.9e-10 degree. What remains is the error of the two Newton passes.
// Longitudes are compared directly: the shift is at most 90 * 3.25e-12.
struct Band {
  double height_ft, lat_bound, alt_bound;
};

TEST(EFG84toLLA84, AccuracyAgainstGeographicLib) {
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  const long double scale =
      static_cast<long double>(RAD2DEG) * 3.141592653589793238462643383279502884L / 180.0L;
  const Band bands[] = {
      {-1e7, 3e-9, 3e-3},   {-5e6, 5e-11, 6e-5},  {-2e6, 1e-11, 1e-6},  {-1e6, 1e-11, 1e-6},
      {0.0, 1e-11, 1e-6},   {1e6, 1e-11, 1e-6},   {2e6, 1e-11, 1e-6},   {5e6, 1e-11, 1.5e-5},
      {1e7, 5e-11, 1.5e-4}, {1e8, 2e-9, 2e-2},
  };
  geoconv_test::Random rng(5);
  for (const Band& band : bands) {
    for (int i = 0; i < 4000; ++i) {
      const double lat = rng.uniform(-89.9, 89.9);
      const double lon = rng.uniform(-179.9, 179.9);
      const double alt = band.height_ft + rng.uniform(-0.01, 0.01) * std::fabs(band.height_ft);
      double X, Y, Z;
      wgs84.Forward(lat, lon, alt * 0.3048 - 24.764, X, Y, Z);
      double glat, glon, gh;
      wgs84.Reverse(X, Y, Z, glat, glon, gh);
      const Lla r = to_lla(X, Y, Z);
      ASSERT_EQ(r.status, 0);
      EXPECT_NEAR(r.lat, static_cast<double>(glat * scale), band.lat_bound) << lat << " " << alt;
      EXPECT_NEAR(r.alt, (gh + 24.764) / 0.3048, band.alt_bound) << lat << " " << alt;
      EXPECT_NEAR(r.lon, glon, 3e-10) << lon;
    }
  }
}

}  // namespace
