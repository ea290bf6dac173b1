// Datum shift, degrees-minutes-seconds and digit fields.

#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "support.hpp"

using namespace geoconv;

namespace {

struct Shifted {
  int status;
  double e, f, g;
};

Shifted shift(double e, double f, double g) {
  Shifted r{};
  r.status = EFG84toEFG72(nullptr, e, f, g, &r.e, &r.f, &r.g);
  return r;
}

// The platform's sine and cosine of the rotation, taken at run time.
volatile double rotation = 2.686e-6;
constexpr double kScale = 1.0 + 2.263e-7;

TEST(EFG84toEFG72, AxisPointsTurnWestAndShrink) {
  const double n = std::sin(rotation), c = std::cos(rotation);
  const Shifted x = shift(6378137.0, 0.0, 0.0);
  EXPECT_EQ(x.status, 0);
  EXPECT_EQ(x.e, 6378137.0 * c / kScale);
  EXPECT_EQ(x.f, -6378137.0 * n / kScale);
  EXPECT_EQ(x.g, -4.5 / kScale);
  EXPECT_NEAR(6378137.0 - x.e, 1.44, 0.01);
  EXPECT_NEAR(x.f, -17.1, 0.05);

  const Shifted y = shift(0.0, 6378137.0, 0.0);
  EXPECT_NEAR(y.e, 17.1, 0.05);
  EXPECT_NEAR(6378137.0 - y.f, 1.44, 0.01);

  const Shifted pole = shift(0.0, 0.0, 6356752.0);
  EXPECT_EQ(pole.e, 0.0);
  EXPECT_EQ(pole.f, 0.0);
  EXPECT_EQ(pole.g, (6356752.0 - 4.5) / kScale);
  EXPECT_NEAR(6356752.0 - pole.g, 5.94, 0.01);

  const Shifted origin = shift(0.0, 0.0, 0.0);
  EXPECT_EQ(origin.e, 0.0);
  EXPECT_EQ(origin.f, 0.0);
  EXPECT_EQ(origin.g, -4.5 / kScale);
}

TEST(EFG84toEFG72, LongitudeTurnsBackByTheRotation) {
  geoconv_test::Random rng(13);
  for (int i = 0; i < 1000; ++i) {
    const double lon = rng.uniform(-3.1, 3.1);
    const double r = rng.uniform(6.3e6, 6.4e6);
    const Shifted s = shift(r * std::cos(lon), r * std::sin(lon), rng.uniform(-6e6, 6e6));
    const double turned = std::atan2(s.f, s.e) - std::atan2(r * std::sin(lon), r * std::cos(lon));
    EXPECT_NEAR(std::remainder(turned, 2.0 * M_PI), -2.686e-6, 1e-15);
  }
  const Shifted bad = shift(std::nan(""), 0.0, INFINITY);
  EXPECT_EQ(bad.status, 0);
  EXPECT_TRUE(std::isnan(bad.e));
  EXPECT_TRUE(std::isinf(bad.g));
}

struct Dms {
  double d, m, s;
};

Dms dms(double angle) {
  Dms r{};
  DEGtoDMS(angle, &r.d, &r.m, &r.s);
  return r;
}

TEST(DEGtoDMS, SignRidesOnTheDegreesAndWholePartsAreTruncated) {
  const struct {
    double angle, d, m, s;
    bool negative_degrees;
  } cases[] = {
      {10.5, 10, 30, 0, false},  {-45.5, -45, 30, 0, true}, {-1.5, -1, 30, 0, true},
      {-0.5, 0, 30, 0, true},    {-0.0, 0, 0, 0, false},    {3e9 + 0.5, 3e9, 30, 0, false},
      {-1e300, -1e300, 0, 0, true},
  };
  for (const auto& c : cases) {
    const Dms r = dms(c.angle);
    EXPECT_EQ(r.d, c.d) << c.angle;
    EXPECT_EQ(std::signbit(r.d), c.negative_degrees) << c.angle;  // -0.5 gives -0
    EXPECT_EQ(r.m, c.m) << c.angle;
    EXPECT_EQ(r.s, c.s) << c.angle;
  }
}

TEST(DEGtoDMS, SecondsAreNeitherRoundedNorClamped) {
  EXPECT_NEAR(dms(0.1).s, 0.0, 1e-12);
  EXPECT_EQ(dms(0.1).m, 6.0);
  const Dms b = dms(1.23);
  EXPECT_EQ(b.m, 13.0);
  EXPECT_LT(b.s, 48.0);
  EXPECT_NEAR(b.s, 48.0, 1e-12);
  // A fraction whose product with 60 rounds up to whole minutes: the seconds
  // come out a hair below zero.
  int negative = 0;
  for (int k = 1; k < 60; ++k) {
    const Dms r = dms(7.0 + std::nextafter(k / 60.0, 0.0));
    if (r.s < 0.0) {
      ++negative;
      EXPECT_EQ(r.m, static_cast<double>(k));
      EXPECT_GT(r.s, -1e-12);
    }
  }
  EXPECT_GT(negative, 0);
}

TEST(DEGtoDMS, NonFiniteAnglesAreDefined) {
  const Dms n = dms(NAN), p = dms(INFINITY), m = dms(-INFINITY);
  EXPECT_TRUE(std::isnan(n.d) && std::isnan(n.m) && std::isnan(n.s));
  EXPECT_EQ(p.d, INFINITY);
  EXPECT_TRUE(std::isnan(p.m) && std::isnan(p.s));
  EXPECT_EQ(m.d, -INFINITY);
}

TEST(STRtoINT, ValueIsTheLastRunOfDigitsWithinSafeBounds) {
  // An exactly-sized buffer, so that AddressSanitizer sees any read past the
  // terminator.
  char* n51 = new char[8]{'N', '5', '1', 'W', '0', '0', '2', '\0'};
  const struct {
    const char* text;
    int first, last, value;
  } cases[] = {
      {"123", 0, 2, 123},        {"-123", 0, 3, -123},      {"+123", 0, 3, 123},
      {"  42", 0, 3, 42},        {"12 34", 0, 4, 34},       {"42 ", 0, 2, 0},
      {" -5", 0, 2, 5},          {"--5", 0, 2, -5},         {"-", 0, 0, 0},
      {"4\xb2", 0, 1, 0},        {n51, 1, 2, 51},           {n51, 4, 6, 2},
      {n51, 3, 2, 0},            {n51, 0, 1000, 0},         {n51, 10, 20, 0},
      {n51, INT_MAX - 1, INT_MAX, 0}, {nullptr, 0, 3, 0},   {"123", -1, 2, 0},
      {"2147483647", 0, 9, INT_MAX},  {"2147483648", 0, 9, INT_MAX},
      {"99999999999999999999", 0, 19, INT_MAX},             {"-2147483648", 0, 10, INT_MIN},
      {"-99999999999999999999", 0, 20, INT_MIN},            {"99999999999 12", 0, 13, 12},
      {"-99999999999 12", 0, 14, -12},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(STRtoINT(c.text, c.first, c.last), c.value)
        << (c.text ? c.text : "null") << " " << c.first << " " << c.last;
  }
  delete[] n51;
}

}  // namespace
