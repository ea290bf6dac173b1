// Site-relative conversions: the demonstration's airplane, the failure rules,
// targets on the site's vertical, and a cross-check with GeographicLib's
// LocalCartesian.

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>

#include "support.hpp"

using namespace geoconv;
using geoconv_test::Capture;
using geoconv_test::kUntouched;

namespace {

constexpr double kBaseLat = 51.47222222, kBaseLon = 0.0, kBaseAlt = 10.0;
constexpr double kPi = 3.141592653589793;

struct Triple {
  int status;
  double a, b, c;
};

Triple aer_to_lla(double az, double el, double range, double lat, double lon, double alt,
                  std::FILE* log = nullptr) {
  Triple r{0, kUntouched, kUntouched, kUntouched};
  r.status = AERtoLLA84(log, az, el, range, lat, lon, alt, &r.a, &r.b, &r.c);
  return r;
}

Triple efg_to_aer(double e, double f, double g, double lat, double lon, double alt,
                  std::FILE* log = nullptr) {
  Triple r{0, kUntouched, kUntouched, kUntouched};
  r.status = EFG84toAER(log, e, f, g, lat, lon, alt, &r.a, &r.b, &r.c);
  return r;
}

Triple site_efg(double lat, double lon, double alt) {
  Triple r{0, 0, 0, 0};
  r.status = LLA84toEFG84(nullptr, lat, lon, alt, &r.a, &r.b, &r.c);
  return r;
}

TEST(SiteRelative, DemonstrationAirplaneRoundTrip) {
  const Triple plane = aer_to_lla(180.0, 45.0, 10000.0, kBaseLat, kBaseLon, kBaseAlt);
  ASSERT_EQ(plane.status, 0);
  EXPECT_NEAR(plane.a, kBaseLat - 0.0194, 0.001);
  EXPECT_NEAR(plane.b, -2.9e-10, 0.05e-10);  // the degree factors, not 0
  EXPECT_NEAR(plane.c, 7082.26, 0.01);
  const Triple efg = site_efg(plane.a, plane.b, plane.c);
  EXPECT_NEAR(efg.b, -2e-5, 0.1e-5);
  const Triple back = efg_to_aer(efg.a, efg.b, efg.c, kBaseLat, kBaseLon, kBaseAlt);
  ASSERT_EQ(back.status, 0);
  EXPECT_NEAR(back.a - 180.0, 5.4e-7, 0.1e-7);
  EXPECT_NEAR(back.b, 45.0, 1e-6);
  EXPECT_NEAR(back.c, 10000.0, 1e-6);
}

TEST(SiteRelative, ZeroRangeHandsBackTheSite) {
  Capture log;
  const Triple r = aer_to_lla(10.0, 20.0, 0.0, kBaseLat, 3.0, kBaseAlt, log.stream());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(log.text(), "(AERtoLLA84) problem: input range=0 \n");
  EXPECT_EQ(r.a, kBaseLat);
  EXPECT_EQ(r.b, 3.0);
  EXPECT_EQ(r.c, kBaseAlt);
  EXPECT_EQ(aer_to_lla(10.0, 20.0, -0.0, kBaseLat, 3.0, kBaseAlt).status, 1);
}

TEST(SiteRelative, RejectedBaseLatitudeLeavesOutputsUntouched) {
  for (double lat : {91.0, -91.0, std::nan("")}) {
    Capture log1, log2;
    const Triple a = aer_to_lla(10.0, 20.0, 1000.0, lat, 0.0, 0.0, log1.stream());
    const Triple b = efg_to_aer(4e6, 0.0, 4e6, lat, 0.0, 0.0, log2.stream());
    for (const Triple& r : {a, b}) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.a, kUntouched);
      EXPECT_EQ(r.b, kUntouched);
      EXPECT_EQ(r.c, kUntouched);
    }
    EXPECT_EQ(log1.text(), "(LLA84toEFG84) problem: lat>90 \n");
    EXPECT_EQ(log2.text(), "(LLA84toEFG84) problem: lat>90 \n");
    EXPECT_EQ(aer_to_lla(10.0, 20.0, 1000.0, lat, 0.0, 0.0).status, 1);
  }
}

TEST(SiteRelative, TargetNearThePolarAxisFailsWithTheSolversMessage) {
  // Looking north along the horizon from 11 m short of the pole, some range
  // puts the target within a decimetre of the axis.
  int failures = 0;
  for (double range = 30.0; range < 45.0; range += 0.01) {
    Capture log;
    const Triple r = aer_to_lla(0.0, 0.0, range, 90.0 - 1e-4, 0.0, 0.0, log.stream());
    if (r.status == 0) continue;
    ++failures;
    EXPECT_EQ(log.text(), "(EFG84toLLA84) error: negative or zero sqrt value\n");
    EXPECT_EQ(r.a, kUntouched);
    EXPECT_EQ(r.c, kUntouched);
  }
  EXPECT_GT(failures, 0);
}

TEST(SiteRelative, AzimuthOfCompassPointsIsNeverNegative) {
  const Triple site = site_efg(kBaseLat, kBaseLon, kBaseAlt);
  // Offsets along the site's local east axis (-so, co, 0) = (0, 1, 0).
  EXPECT_NEAR(efg_to_aer(site.a, site.b - 1000.0, site.c, kBaseLat, 0.0, kBaseAlt).a, 270.0,
              1e-6);
  EXPECT_NEAR(efg_to_aer(site.a, site.b + 1000.0, site.c, kBaseLat, 0.0, kBaseAlt).a, 90.0,
              1e-6);
  for (double az : {0.5, 90.0, 135.0, 180.0, 225.0, 270.0, 315.0, 359.5}) {
    const Triple t = aer_to_lla(az, 0.0, 5000.0, kBaseLat, 20.0, kBaseAlt);
    const Triple e = site_efg(t.a, t.b, t.c);
    const Triple back = efg_to_aer(e.a, e.b, e.c, kBaseLat, 20.0, kBaseAlt);
    EXPECT_GE(back.a, 0.0);
    EXPECT_NEAR(back.a, az, 1e-6);
  }
}

TEST(SiteRelative, TargetOnTheVerticalIsReportedNearNinetyNotOnTheHorizon) {
  // At latitude 0, longitude 0 the local up axis is E: offsets along E leave
  // east and north exactly 0.
  const Triple site = site_efg(0.0, 0.0, 0.0);
  const Triple above = efg_to_aer(site.a + 1000.0, site.b, site.c, 0.0, 0.0, 0.0);
  ASSERT_EQ(above.status, 0);
  EXPECT_EQ(above.a, 0.0);
  EXPECT_EQ(above.b, atand(INFINITY));
  EXPECT_NEAR(90.0 - above.b, 2.9e-10, 0.05e-10);
  double az, el, range;
  XYZtoAER(nullptr, 0.0, 0.0, 1000.0, &az, &el, &range);
  EXPECT_EQ(above.b, el);  // the same value as straight up in the local frame
  EXPECT_NEAR(above.c, 1000.0 / 0.3048, 1e-8);

  const Triple below = efg_to_aer(site.a - 1000.0, site.b, site.c, 0.0, 0.0, 0.0);
  EXPECT_EQ(below.a, 0.0);
  EXPECT_EQ(below.b, -above.b);
  EXPECT_NEAR(below.c, 1000.0 / 0.3048, 1e-8);

  const Triple at_site = efg_to_aer(site.a, site.b, site.c, 0.0, 0.0, 0.0);
  EXPECT_EQ(at_site.status, 0);
  EXPECT_EQ(at_site.a, 0.0);
  EXPECT_EQ(at_site.b, 0.0);
  EXPECT_EQ(at_site.c, 0.0);
}

// GeographicLib's LocalCartesian is exact. The library's degree factors turn
// every direction by up to about 2e-11 rad (an angle of up to 360 degrees at
// 3.25e-12 relative), for the site's frame and the target's direction, and
// place the site up to 7e-5 m off. So a target at r metres is off by up to
// 1e-4 + 4e-11 r metres, and an angle read from it by that over the lever arm,
// plus the up to 1.2e-9 degree the factor gives an angle of 360.
TEST(SiteRelative, AgreesWithGeographicLibLocalCartesian) {
  geoconv_test::Random rng(11);
  for (int i = 0; i < 5000; ++i) {
    const double lat0 = rng.uniform(-80.0, 80.0), lon0 = rng.uniform(-180.0, 180.0);
    const double alt0 = rng.uniform(-1000.0, 30000.0);
    const GeographicLib::LocalCartesian local(lat0, lon0, alt0 * 0.3048 - 24.764);
    const double r = std::pow(10.0, rng.uniform(1.0, 6.0));  // metres
    const double az = rng.uniform(0.0, 360.0), el = rng.uniform(-10.0, 80.0);
    const double e = r * std::cos(el * kPi / 180) * std::sin(az * kPi / 180);
    const double n = r * std::cos(el * kPi / 180) * std::cos(az * kPi / 180);
    const double u = r * std::sin(el * kPi / 180);
    const double position_error = 1e-4 + 4e-11 * r;  // metres
    const double deg = 180.0 / kPi;

    double lat, lon, h;
    local.Reverse(e, n, u, lat, lon, h);
    const Triple t = aer_to_lla(az, el, r / 0.3048, lat0, lon0, alt0);
    ASSERT_EQ(t.status, 0);
    const double lat_bound = position_error / 6.3e6 * deg + 3e-10;
    EXPECT_NEAR(t.a, lat, lat_bound) << i;
    EXPECT_NEAR(std::remainder(t.b - lon, 360.0), 0.0,
                lat_bound / std::cos(std::fmax(std::fabs(lat0), std::fabs(lat)) / deg))
        << i;
    EXPECT_NEAR(t.c, (h + 24.764) / 0.3048, position_error / 0.3048 + 2e-5) << i;

    double X, Y, Z;
    GeographicLib::Geocentric::WGS84().Forward(lat, lon, h, X, Y, Z);
    const Triple a = efg_to_aer(X, Y, Z, lat0, lon0, alt0);
    ASSERT_EQ(a.status, 0);
    const double hz = r * std::cos(el * kPi / 180);
    EXPECT_NEAR(std::remainder(a.a - az, 360.0), 0.0, (position_error / hz) * deg + 1.2e-9) << i;
    EXPECT_NEAR(a.b, el, (position_error / r) * deg + 3e-10) << i;
    EXPECT_NEAR(a.c, r / 0.3048, position_error / 0.3048 + 1e-12 * r) << i;
  }
}

}  // namespace
