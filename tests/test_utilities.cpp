// Datum shift, degrees-minutes-seconds and digit fields.

#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

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

TEST(DEGtoDMS, SignRidesOnTheDegrees) {
  const Dms a = dms(10.5);
  EXPECT_EQ(a.d, 10.0);
  EXPECT_EQ(a.m, 30.0);
  EXPECT_EQ(a.s, 0.0);
  const Dms b = dms(-45.5);
  EXPECT_EQ(b.d, -45.0);
  EXPECT_EQ(b.m, 30.0);
  EXPECT_EQ(b.s, 0.0);
  EXPECT_EQ(dms(-1.5).d, -1.0);
  const Dms c = dms(-0.5);
  EXPECT_EQ(c.d, 0.0);
  EXPECT_TRUE(std::signbit(c.d));  // negative zero marks the sign
  EXPECT_EQ(c.m, 30.0);
  const Dms z = dms(-0.0);
  EXPECT_FALSE(std::signbit(z.d));
  EXPECT_EQ(z.m, 0.0);
  EXPECT_EQ(z.s, 0.0);
}

TEST(DEGtoDMS, SecondsAreNeitherRoundedNorClamped) {
  const Dms a = dms(0.1);
  EXPECT_EQ(a.d, 0.0);
  EXPECT_EQ(a.m, 6.0);
  EXPECT_NEAR(a.s, 0.0, 1e-12);
  const Dms b = dms(1.23);
  EXPECT_EQ(b.d, 1.0);
  EXPECT_EQ(b.m, 13.0);
  EXPECT_LT(b.s, 48.0);
  EXPECT_NEAR(b.s, 48.0, 1e-12);
  // Find a fraction whose product with 60 rounds up to whole minutes: the
  // seconds then come out a hair below zero.
  bool found = false;
  for (int k = 1; k < 60 && !found; ++k) {
    const double angle = 7.0 + std::nextafter(k / 60.0, 0.0);
    const Dms r = dms(angle);
    if (r.s < 0.0) {
      found = true;
      EXPECT_EQ(r.m, static_cast<double>(k));
      EXPECT_GT(r.s, -1e-12);
    }
  }
  EXPECT_TRUE(found);
}

TEST(DEGtoDMS, NonFiniteAndHugeAnglesAreDefined) {
  const Dms n = dms(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(std::isnan(n.d) && std::isnan(n.m) && std::isnan(n.s));
  const Dms p = dms(INFINITY);
  EXPECT_EQ(p.d, INFINITY);
  EXPECT_TRUE(std::isnan(p.m) && std::isnan(p.s));
  const Dms m = dms(-INFINITY);
  EXPECT_EQ(m.d, -INFINITY);
  const Dms big = dms(3e9 + 0.5);
  EXPECT_EQ(big.d, 3e9);
  EXPECT_EQ(big.m, 30.0);
  EXPECT_EQ(big.s, 0.0);
  EXPECT_EQ(dms(-1e300).d, -1e300);
}

int field(const std::string& text) {
  return STRtoINT(text.c_str(), 0, static_cast<int>(text.size()) - 1);
}

TEST(STRtoINT, ValueIsTheLastRunOfDigits) {
  EXPECT_EQ(field("123"), 123);
  EXPECT_EQ(field("-123"), -123);
  EXPECT_EQ(field("+123"), 123);
  EXPECT_EQ(field("  42"), 42);
  EXPECT_EQ(field("12 34"), 34);
  EXPECT_EQ(field("42 "), 0);
  EXPECT_EQ(field(" -5"), 5);
  EXPECT_EQ(field("--5"), -5);
  EXPECT_EQ(field("-"), 0);
  EXPECT_EQ(field("4\xb2"), 0);  // bytes from 128 up are not digits
  EXPECT_EQ(STRtoINT("N51W002", 1, 2), 51);
  EXPECT_EQ(STRtoINT("N51W002", 4, 6), 2);
  EXPECT_EQ(STRtoINT("N51W002", 3, 2), 0);
}

TEST(STRtoINT, NeverReadsOutsideTheTextOrItsIndexes) {
  EXPECT_EQ(STRtoINT(nullptr, 0, 3), 0);
  EXPECT_EQ(STRtoINT("123", -1, 2), 0);
  EXPECT_EQ(STRtoINT("-123", 3, 2), 0);
  // A field running past the terminator stops there with value 0. The text is
  // held in an exactly-sized buffer so that AddressSanitizer sees any read
  // beyond it.
  char* text = new char[4]{'1', '2', '3', '\0'};
  EXPECT_EQ(STRtoINT(text, 0, 1000), 0);
  EXPECT_EQ(STRtoINT(text, 1, 2), 23);
  EXPECT_EQ(STRtoINT(text, 3, 3), 0);
  EXPECT_EQ(STRtoINT(text, 10, 20), 0);
  EXPECT_EQ(STRtoINT(text, INT_MAX - 1, INT_MAX), 0);
  delete[] text;
}

TEST(STRtoINT, SaturatesInsteadOfOverflowing) {
  EXPECT_EQ(field("2147483647"), INT_MAX);
  EXPECT_EQ(field("2147483648"), INT_MAX);
  EXPECT_EQ(field("99999999999999999999"), INT_MAX);
  EXPECT_EQ(field("-2147483648"), INT_MIN);
  EXPECT_EQ(field("-2147483647"), -INT_MAX);
  EXPECT_EQ(field("-99999999999999999999"), INT_MIN);
  // A non-digit after a saturated run still starts again from 0.
  EXPECT_EQ(field("99999999999 12"), 12);
  EXPECT_EQ(field("-99999999999 12"), -12);
}

}  // namespace
