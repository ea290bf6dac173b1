// Constants and degree helpers: the values every conversion is built on.

#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "support.hpp"

using namespace geoconv;
using geoconv_test::bits;

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

TEST(Constants, AreTheStatedDoublesBitForBit) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {WGS72_E2, "0.006694317778"},         {WGS84_E2, "0.006694379990141317"},
      {WGS72_A, "6378135.0"},               {WGS84_A, "6378137.0"},
      {EARTH_EQ_RADIUS, "6378137.0"},       {WGS84_B, "6356752.0"},
      {WGS72_HEIGHT_OFFSET, "-28.764"},     {WGS84_HEIGHT_OFFSET, "-24.764"},
      {PI, "3.14159265359"},                {DEG2RAD, "0.01745329252"},
      {RAD2DEG, "57.295779512896"},         {FEET_TO_METRES, "0.3048"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bits(c.value), bits(std::strtod(c.text, nullptr))) << c.text;
  }
}

TEST(Helpers, ForwardTrigUsesTheStatedDegreeFactor) {
  // With pi/180 these would be 0; with 0.01745329252 they are off by the
  // factor's error times the angle.
  const long double err = static_cast<long double>(DEG2RAD) - kPi / 180.0L;
  EXPECT_NEAR(cosd(90.0), static_cast<double>(-90.0L * err), 1e-16);
  EXPECT_NEAR(sind(180.0), static_cast<double>(-180.0L * err), 1e-16);
  EXPECT_NEAR(cosd(90.0), -5.1e-12, 0.05e-12);
  EXPECT_NEAR(sind(180.0), -1.02e-11, 0.01e-11);
  EXPECT_EQ(sind(90.0), 1.0);
  EXPECT_EQ(sind(0.0), 0.0);
  EXPECT_EQ(cosd(0.0), 1.0);
  EXPECT_NEAR(tand(45.0), 1.0, 1e-11);
}

TEST(Helpers, InverseTrigScalesTheResultAfterTheCall) {
  // Multiplying by RAD2DEG after the call: the extremes fall short of 90 and
  // 180 by RAD2DEG's relative error (about 3.25e-12).
  const long double rel = 1.0L - static_cast<long double>(RAD2DEG) * kPi / 180.0L;
  EXPECT_NEAR(90.0 - asind(1.0), static_cast<double>(90.0L * rel), 2e-14);
  EXPECT_NEAR(45.0 - atand(1.0), static_cast<double>(45.0L * rel), 2e-14);
  EXPECT_NEAR(180.0 - atan2d(0.0, -1.0), static_cast<double>(180.0L * rel), 3e-14);
  EXPECT_NEAR(90.0 - asind(1.0), 2.9e-10, 0.05e-10);
  EXPECT_NEAR(45.0 - atand(1.0), 1.5e-10, 0.05e-10);
  EXPECT_NEAR(180.0 - atan2d(0.0, -1.0), 5.9e-10, 0.05e-10);
  EXPECT_EQ(acosd(0.0), asind(1.0));
  EXPECT_EQ(acosd(1.0), 0.0);
}

TEST(Helpers, Atan2dTakesTheOrdinateFirst) {
  EXPECT_EQ(atan2d(1.0, 0.0), asind(1.0));
  EXPECT_EQ(atan2d(0.0, 1.0), 0.0);
  EXPECT_LT(atan2d(-1.0, 0.0), 0.0);
}

TEST(Helpers, PowersAndDomainErrors) {
  EXPECT_EQ(cube(-2.0), -8.0);
  EXPECT_EQ(sqr(-3.0), 9.0);
  EXPECT_TRUE(std::isnan(asind(1.5)));
  EXPECT_TRUE(std::isnan(acosd(-1.5)));
}

}  // namespace
