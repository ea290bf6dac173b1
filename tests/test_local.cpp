// Local frame: azimuth/elevation/range <-> east/north/up.

#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>

using namespace geoconv;

namespace {

struct Aer {
  double az, el, range;
};

Aer to_aer(double x, double y, double z) {
  Aer r{};
  XYZtoAER(nullptr, x, y, z, &r.az, &r.el, &r.range);
  return r;
}

TEST(AERtoXYZ, DegreeFactorLeavesSmallResiduesOnTheAxes) {
  double x, y, z;
  AERtoXYZ(nullptr, 180.0, 45.0, 10000.0, &x, &y, &z);
  EXPECT_NEAR(x, -7.2e-8, 0.05e-8);  // sind(180) is about -1.0e-11
  // The feet of the range, not metres; cosd(45) and sind(45) are off by the
  // degree factor (about 2.6e-12).
  EXPECT_NEAR(y, -10000.0 / std::sqrt(2.0), 3e-8);
  EXPECT_NEAR(z, 10000.0 / std::sqrt(2.0), 3e-8);

  AERtoXYZ(nullptr, 90.0, 0.0, 1.0, &x, &y, &z);
  EXPECT_EQ(x, 1.0);
  EXPECT_NEAR(y, -5.1e-12, 0.05e-12);
  EXPECT_EQ(z, 0.0);
}

TEST(XYZtoAER, QuadrantsAreNotNormalised) {
  const Aer nw = to_aer(-1.0, 1.0, 0.0);
  EXPECT_NEAR(nw.az, -45.0, 1e-9);
  EXPECT_EQ(nw.el, 0.0);
  EXPECT_EQ(nw.range, std::sqrt(2.0));
  EXPECT_NEAR(to_aer(1.0, 1.0, 0.0).az, 45.0, 1e-9);
  EXPECT_NEAR(to_aer(1.0, -1.0, 0.0).az, 135.0, 1e-9);
  EXPECT_NEAR(to_aer(-1.0, -1.0, 0.0).az, 225.0, 1e-9);
}

TEST(XYZtoAER, AxesAndOrigin) {
  EXPECT_EQ(to_aer(3.0, 0.0, 0.0).az, 90.0);
  EXPECT_EQ(to_aer(-3.0, 0.0, 0.0).az, 270.0);
  const Aer up = to_aer(0.0, 0.0, 5.0);
  EXPECT_EQ(up.az, 0.0);
  EXPECT_EQ(up.el, asind(1.0));
  EXPECT_NEAR(90.0 - up.el, 2.9e-10, 0.05e-10);
  EXPECT_EQ(up.range, 5.0);
  const Aer down = to_aer(0.0, 0.0, -5.0);
  EXPECT_EQ(down.el, -asind(1.0));
  const Aer origin = to_aer(0.0, 0.0, 0.0);
  EXPECT_EQ(origin.az, 0.0);
  EXPECT_EQ(origin.el, 0.0);
  EXPECT_EQ(origin.range, 0.0);
}

TEST(LocalFrame, RoundTrip) {
  double x, y, z;
  AERtoXYZ(nullptr, 180.0, 45.0, 10000.0, &x, &y, &z);
  const Aer back = to_aer(x, y, z);
  EXPECT_NEAR(back.az, 180.0, 1e-9);
  EXPECT_NEAR(back.el, 45.0, 1e-12);
  EXPECT_NEAR(back.range, 10000.0, 1e-11);

  // Over the whole sphere the azimuth comes back modulo 360, within the
  // degree factors' few parts in 1e12.
  for (double az = 5.0; az < 360.0; az += 10.0) {
    for (double el = -85.0; el <= 85.0; el += 10.0) {
      AERtoXYZ(nullptr, az, el, 250.0, &x, &y, &z);
      const Aer r = to_aer(x, y, z);
      EXPECT_NEAR(std::fmod(r.az + 360.0, 360.0), az, 2e-9) << az << " " << el;
      EXPECT_NEAR(r.el, el, 1e-9) << az << " " << el;
      EXPECT_NEAR(r.range, 250.0, 1e-11);
    }
  }
}

}  // namespace
