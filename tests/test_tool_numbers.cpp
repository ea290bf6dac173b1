// The converter's own number reading and writing against the standard ones:
// reading must give what std::from_chars gives, writing what printf's "%.*f"
// writes, for every double and decimal count, ties and negative zeros
// included.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "../tools/convert.hpp"
#include "support.hpp"

using geoconv_tool::format_fixed;
using geoconv_tool::parse_number;

namespace {

std::string ours(double v, int decimals) {
  char text[512];
  return std::string(text, format_fixed(text, v, decimals));
}

std::string printf_fixed(double v, int decimals) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

TEST(ToolNumbers, FixedNotationIsPrintfsForEveryKindOfDouble) {
  const double special[] = {0.0,     -0.0,    0.5,      1.5,   2.5,     -2.5,    0.125,
                            0.375,   1e-7,    -7e-8,    5e-7,  4.9999999999999996e-7,
                            1e22,    9.5e18,  1.8e19,   -1e300, 5e-324, 2.2250738585072014e-308,
                            6378137.0, 0.1,   0.7,      123456789.123456789};
  for (double v : special) {
    for (int d = 0; d <= 23; ++d) EXPECT_EQ(ours(v, d), printf_fixed(v, d)) << v << " " << d;
  }
  geoconv_test::Random rng(17);
  for (int i = 0; i < 200000; ++i) {
    // Random bit patterns cover every exponent; scaled uniforms cover the
    // values the converter usually writes.
    double v;
    if (i % 2 == 0) {
      const std::uint64_t b = rng.next();
      std::memcpy(&v, &b, sizeof v);
      if (!std::isfinite(v)) continue;
    } else {
      v = rng.uniform(-1.0, 1.0) * std::pow(10.0, static_cast<double>(rng.next() % 22) - 8.0);
    }
    const int d = static_cast<int>(rng.next() % 24);
    ASSERT_EQ(ours(v, d), printf_fixed(v, d)) << v << " " << d;
  }
  // Exact ties at the last decimal go to even, as printf does.
  EXPECT_EQ(ours(0.5, 0), "0");
  EXPECT_EQ(ours(1.5, 0), "2");
  EXPECT_EQ(ours(0.125, 2), "0.12");
  EXPECT_EQ(ours(-0.0000001, 6), "-0.000000");
}

TEST(ToolNumbers, ReadingMatchesFromChars) {
  const char alphabet[] = "0123456789.-+eE";
  geoconv_test::Random rng(19);
  int compared = 0;
  for (int i = 0; i < 300000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(rng.next() % 22);
    for (int k = 0; k < length; ++k) {
      // Mostly digits, so that most strings are numbers.
      const std::uint64_t r = rng.next() % 40;
      text += r < 30 ? alphabet[r % 10] : alphabet[10 + r % 5];
    }
    double ours_value = 0.0, theirs = 0.0;
    const char* why = nullptr;
    const bool ok = parse_number(text, &ours_value, &why);
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+') ++b;
    const auto r = std::from_chars(b, e, theirs, std::chars_format::general);
    const bool theirs_ok = r.ec == std::errc() && r.ptr == e;
    ASSERT_EQ(ok, theirs_ok) << text;
    if (ok) {
      ++compared;
      ASSERT_EQ(geoconv_test::bits(ours_value), geoconv_test::bits(theirs)) << text;
    }
  }
  EXPECT_GT(compared, 10000);
  double v;
  const char* why = nullptr;
  for (const char* good : {"1.", ".5", "-.5", "+0.25", "-0", "9007199254740993", "1e5"}) {
    EXPECT_TRUE(parse_number(good, &v, &why)) << good;
  }
  EXPECT_EQ(std::signbit((parse_number("-0", &v, &why), v)), true);
  EXPECT_EQ((parse_number("9007199254740993", &v, &why), v), 9007199254740992.0);
  for (const char* bad : {"", "+", "-", ".", "+-1", "++1", "1.2.3", "1e", "0x10", " 1"}) {
    EXPECT_FALSE(parse_number(bad, &v, &why)) << bad;
  }
}

}  // namespace
