// The two-lane kernels of the WebAssembly build (src/wide.hpp) compiled
// natively. In the module they give musl's bits, which the package's tests
// pin; musl's sine, cosine and arc tangent and this platform's are each
// within an ulp of the truth, so here the kernels must come within an ulp
// of the platform's libm, and the geodetic pairs within a few of the point
// routines, declining exactly the arguments they do not copy.

#include "wide.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <geoconv/geoconv.hpp>
#include <limits>
#include <random>

using namespace geoconv;
using detail::wide::D2;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double ulps(double a, double b) {
  const auto ordinal = [](double x) {
    std::int64_t i;
    std::memcpy(&i, &x, sizeof i);
    return i < 0 ? -(i & INT64_MAX) : i;
  };
  return std::fabs(static_cast<double>(ordinal(a) - ordinal(b)));
}

TEST(Wide, SineCosineAndArcTangentAtTheEdgesOfWhatTheyCopy) {
  // Taken, within an ulp of the libm: zeros, tiny arguments, musl's interval
  // edges and the last arguments before each declined interval. Declined,
  // beside a taken lane: NaN, infinity, from just above 5 pi/4 (high word
  // 0x400f6a7b), the windows of pi/2 and pi (0x3ff921fb, 0x400921fb), and
  // for the arc tangent 2^66 and beyond.
  const auto below = [](double x) { return std::nextafter(x, 0.0); };
  for (const double x : {0.0, -0.0, 1e-300, 1e-8, -kPi / 4, -1.0, 0x1.921fcp-1, 0x1.2d97dp+1, 2.0,
                         3.0, -below(0x1.f6a7bp+1), below(0x1.921fbp+0), -below(0x1.921fbp+1),
                         0x1.921fcp+0, -0x1.921fcp+1}) {
    D2 s, c;
    ASSERT_TRUE(detail::wide::sincos(D2{x, 0.5}, s, c)) << x;
    EXPECT_LE(ulps(s[0], std::sin(x)), 1) << "sin " << x;
    EXPECT_LE(ulps(c[0], std::cos(x)), 1) << "cos " << x;
  }
  for (const double x :
       {kNaN, kInf, -0x1.f6a7bp+1, 4.0, 0x1.921fbp+0, -kPi / 2, below(0x1.921fcp+1), kPi}) {
    D2 s{}, c{};
    EXPECT_FALSE(detail::wide::sincos(D2{0.5, x}, s, c)) << x;
  }
  for (const double x : {0.0, -1e-300, 1e-8, 0.3, below(0.4375), -0.4375, 0.6875, 1.0, 1.1875, -2.0,
                         2.4375, 1e10, -below(0x1p66)}) {
    D2 a;
    ASSERT_TRUE(detail::wide::atan(D2{0.5, x}, a)) << x;
    EXPECT_LE(ulps(a[1], std::atan(x)), 1) << "atan " << x;
  }
  for (const double x : {kNaN, -kInf, 0x1p66, -1e300}) {
    D2 a{};
    EXPECT_FALSE(detail::wide::atan(D2{x, 0.5}, a)) << x;
  }
}

TEST(Wide, GeodeticPairsAsThePointRoutines) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double bound[2][3] = {{1e-8, 1e-8, 1e-8}, {1e-12, 1e-12, 1e-7}};  // m; degrees, ft
  int taken[2] = {0, 0};
  for (int i = 0; i < 20000; ++i) {
    // Two points, the second in every fiftieth pair refused (latitude 90.5)
    // or refused on the way back (the pole); the routines' arrays give the
    // point routines' results.
    double lla[3][2], efg[3][2] = {}, back[3][2], got[3][2];
    for (int p = 0; p < 2; ++p) {
      lla[0][p] = 90 * u(rng), lla[1][p] = 200 * u(rng), lla[2][p] = 1e5 * u(rng) * u(rng);
      if (i % 8 == 0) lla[1][p] *= 1e-15;  // F of micrometres
    }
    if (i % 50 == 0) lla[0][1] = 90.5;
    if (i % 50 == 1) lla[0][1] = 90, lla[1][1] = 0;
    Fault faults[2][2];
    LLA84toEFG84(2, lla[0], lla[1], lla[2], efg[0], efg[1], efg[2], faults[0]);
    EFG84toLLA84(2, efg[0], efg[1], efg[2], back[0], back[1], back[2], faults[1]);
    const double(*const ins[2])[2] = {lla, efg}, (*const wants[2])[2] = {efg, back};
    for (int kernel = 0; kernel < 2; ++kernel) {
      const Column in[3] = {{ins[kernel][0], 1}, {ins[kernel][1], 1}, {ins[kernel][2], 1}};
      const OutColumn out[3] = {{got[0], 1}, {got[1], 1}, {got[2], 1}};
      const bool took = detail::wide::pair(
          kernel == 0 ? detail::wide::forward : detail::wide::reverse, 0, in, out);
      EXPECT_TRUE(!took || faults[kernel][1] == Fault::kNone) << lla[0][1] << " " << lla[1][1];
      if (!took) continue;
      ++taken[kernel];
      for (int k = 0; k < 3; ++k) {
        for (int p = 0; p < 2; ++p) {
          EXPECT_NEAR(got[k][p], wants[kernel][k][p], bound[kernel][k])
              << lla[0][p] << " " << lla[1][p];
        }
      }
    }
  }
  EXPECT_GT(taken[0], 19000);
  EXPECT_GT(taken[1], 19000);
}

}  // namespace
