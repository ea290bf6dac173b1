// The elementary functions of geoconv/src/math against MPFR, correctly
// rounded at 53 bits (subnormals included): every result must have the same
// bits (any NaN for NaN). Per function, GEOCONV_MATH_COUNT arguments (one
// million unless set; CI sets 50 million) drawn from every binade, near
// multiples of pi/4 and pi/2, degrees times 0.01745329252, subnormals and the
// largest doubles, plus the special values and the published hardest-to-round
// arguments of tests/data/math_hard.txt with their neighbours. Then the
// 2-, 4- and 8-lane instances must give the one-lane bits.

#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "math/math.hpp"

// The lanes are passed by value to inline code only: no ABI is at stake.
#if defined(__GNUC__)
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

namespace gm = geoconv::detail::math;
using Args = std::vector<std::pair<double, double>>;  // (x, y); atan2 takes (y=first, x=second)

enum class Family { kTrig, kUnit, kAny, kPair };  // argument ranges: R, [-1, 1], R, R^2

struct Function {
  const char* name;
  Family family;
  double (*one)(double, double);
  int (*mpfr1)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  int (*mpfr2)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);
};

const Function kFunctions[] = {
    {"sin", Family::kTrig, [](double a, double) { return gm::sin(a); }, mpfr_sin, nullptr},
    {"cos", Family::kTrig, [](double a, double) { return gm::cos(a); }, mpfr_cos, nullptr},
    {"tan", Family::kTrig, [](double a, double) { return gm::tan(a); }, mpfr_tan, nullptr},
    {"asin", Family::kUnit, [](double a, double) { return gm::asin(a); }, mpfr_asin, nullptr},
    {"acos", Family::kUnit, [](double a, double) { return gm::acos(a); }, mpfr_acos, nullptr},
    {"atan", Family::kAny, [](double a, double) { return gm::atan(a); }, mpfr_atan, nullptr},
    {"atan2", Family::kPair, [](double a, double b) { return gm::atan2(a, b); }, nullptr, mpfr_atan2},
    // sincos: its sine here, its cosine checked beside it (Reference below).
    {"sincos", Family::kTrig, [](double a, double) { double s, c; gm::sincos(a, s, c); return s; },
     mpfr_sin, nullptr},
};

template <class V> V lanes_of(int which, V a, V b) {
  switch (which) {
    case 0: return gm::sin(a);
    case 1: return gm::cos(a);
    case 2: return gm::tan(a);
    case 3: return gm::asin(a);
    case 4: return gm::acos(a);
    case 5: return gm::atan(a);
    case 6: return gm::atan2(a, b);
    default: {
      V s, c;
      gm::sincos(a, s, c);
      return s + c * 0x1p-60;  // both parts' bits feed the comparison
    }
  }
}

// f rounded to nearest double, exactly as IEEE double precision would.
double reference(const Function& f, double a, double b, bool cosine = false) {
  mpfr_t x, y, r;
  mpfr_inits2(53, x, y, r, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(x, a, MPFR_RNDN);
  mpfr_set_d(y, b, MPFR_RNDN);
  mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  int t = cosine ? mpfr_cos(r, x, MPFR_RNDN) : f.mpfr1 ? f.mpfr1(r, x, MPFR_RNDN) : f.mpfr2(r, x, y, MPFR_RNDN);
  t = mpfr_check_range(r, t, MPFR_RNDN);
  mpfr_subnormalize(r, t, MPFR_RNDN);
  double d = mpfr_get_d(r, MPFR_RNDN);
  mpfr_set_emin(emin);
  mpfr_set_emax(emax);
  mpfr_clears(x, y, r, static_cast<mpfr_ptr>(nullptr));
  return d;
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

long count_from_environment() {
  const char* s = std::getenv("GEOCONV_MATH_COUNT");
  long n = s ? std::atol(s) : 0;
  return n > 0 ? n : 1000000;
}

double nearest_to_multiple(std::mt19937_64& g, double quarters) {
  // The double nearest k pi/4 for a random k of up to `quarters` bits.
  mpfr_t p;
  mpfr_init2(p, 1200);
  mpfr_const_pi(p, MPFR_RNDN);
  double k = std::floor(std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(g), static_cast<int>(quarters)));
  mpfr_mul_d(p, p, k, MPFR_RNDN);
  mpfr_div_ui(p, p, 4, MPFR_RNDN);
  double d = mpfr_get_d(p, MPFR_RNDN);
  mpfr_clear(p);
  return d;
}

// One argument (or pair) of family `fam`, by kind: every binade, near
// multiples of pi/4 (pi/2 among them), degrees, subnormals and the largest
// doubles, then a random sign and a few ulps' offset.
std::pair<double, double> draw(Family fam, std::mt19937_64& g) {
  auto unit = [&] { return std::uniform_real_distribution<double>(1, 2)(g); };
  auto integer = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); };
  auto binade = [&](int lo, int hi) { return std::ldexp(unit(), integer(lo, hi)); };
  int top = fam == Family::kUnit ? 0 : 1023;
  double x;
  switch (integer(0, 9)) {
    case 0: case 1: case 2: x = binade(-1074, top); break;
    case 3: x = binade(-30, fam == Family::kUnit ? 0 : 12); break;  // the library's ranges
    case 4: x = fam == Family::kTrig ? nearest_to_multiple(g, integer(1, 60))
                                     : binade(-2, 0) * (fam == Family::kUnit ? 0.5 : 1); break;
    case 5: x = fam == Family::kTrig ? nearest_to_multiple(g, integer(1, 1000)) : 1 - std::ldexp(unit(), -integer(2, 53)); break;
    case 6: x = integer(-720, 720) * 0.01745329252; break;
    case 7: x = std::ldexp(std::uniform_real_distribution<double>(0, 1)(g), integer(-40, 60)) * 0.01745329252; break;
    case 8: x = std::ldexp(unit(), integer(0, 51)) * 0x1p-1074; break;  // subnormal
    default: x = fam == Family::kUnit ? binade(-1074, 0) : std::ldexp(unit(), integer(1000, 1023)); break;
  }
  if (fam == Family::kUnit && std::fabs(x) > 1) x = std::ldexp(x, -1 - std::ilogb(x));
  for (int k = integer(-2, 2); k != 0; k += k > 0 ? -1 : 1) x = std::nextafter(x, k > 0 ? 1e308 : -1e308);
  if (g() & 1) x = -x;
  double y = 0;
  if (fam == Family::kPair) {  // the other coordinate: any binade, or near x's
    y = (g() & 1) ? binade(-1074, 1023) : x * binade(-60, 60);
    if (g() & 1) y = -y;
    if (g() % 8 == 0) std::swap(x, y);
  }
  return {x, y};
}

Args specials(Family fam) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> v = {0.0, 1.0, 0.5, 2.0, 0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp-1023,
                           0x1.fffffffffffffp1023, 0x1p-27, 0x1p-26, 0x1p16, 0x1.0000000000001p16,
                           0x1.fffffffffffffp-1, 0x1.0000000000001p0, inf, nan};
  for (size_t i = 0, n = v.size(); i < n; ++i) v.push_back(-v[i]);
  Args out;
  for (double a : v) {
    if (fam == Family::kPair) {
      for (double b : v) out.push_back({a, b});
    } else {
      out.push_back({a, 0.0});
    }
  }
  return out;
}

// The cases of math_hard.txt for `name`, with neighbours and negations.
Args hard_cases(const std::string& name) {
  std::ifstream in(GEOCONV_MATH_HARD);
  Args out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ss(line);
    std::string f, a, b;
    if (line.empty() || line[0] == '#' || !(ss >> f >> a) || (f != name && !(name == "sincos" && (f == "sin" || f == "cos"))))
      continue;
    ss >> b;
    double x = std::strtod(a.c_str(), nullptr), y = b.empty() ? 0.0 : std::strtod(b.c_str(), nullptr);
    for (double s : {1.0, -1.0})
      for (double xx : {x, std::nextafter(x, 0.0), std::nextafter(x, 2 * x)}) out.push_back({s * xx, y});
  }
  return out;
}

class Math : public ::testing::TestWithParam<int> {};

// Every result equals MPFR's; the first few differences are printed.
TEST_P(Math, CorrectlyRoundedAgainstMpfr) {
  const Function& f = kFunctions[GetParam()];
  bool sincos = std::string(f.name) == "sincos";
  Args fixed = specials(f.family), hard = hard_cases(f.name);
  fixed.insert(fixed.end(), hard.begin(), hard.end());
  ASSERT_FALSE(hard.empty()) << "no cases in " << GEOCONV_MATH_HARD;
  long total = count_from_environment();
  unsigned workers = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  std::vector<long> bad(workers, 0);
  std::vector<std::string> notes(workers);
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      std::mt19937_64 g(0x9e3779b97f4a7c15u * (GetParam() + 1) + w);
      long n = total / workers + (w == 0 ? total % workers : 0);
      auto check = [&](double a, double b) {
        double got = f.one(a, b), want = reference(f, a, b);
        double got_c = 0, want_c = 0;
        if (sincos) {
          double s;
          gm::sincos(a, s, got_c);
          want_c = reference(f, a, b, true);
        }
        if (!same(got, want) || !same(got_c, want_c)) {
          if (bad[w]++ < 5) {
            char text[160];
            std::snprintf(text, sizeof text, "%s(%a, %a) = %a (cos %a), MPFR %a (cos %a)\n", f.name, a, b, got, got_c, want, want_c);
            notes[w] += text;
          }
        }
      };
      if (w == 0)
        for (const auto& ab : fixed) check(ab.first, ab.second);
      for (long i = 0; i < n; ++i) {
        auto ab = draw(f.family, g);
        check(ab.first, ab.second);
      }
      mpfr_free_cache();  // this thread's constants (pi)
    });
  }
  for (auto& t : threads) t.join();
  long sum = 0;
  for (unsigned w = 0; w < workers; ++w) sum += bad[w];
  std::string all;
  for (const auto& n : notes) all += n;
  EXPECT_EQ(sum, 0) << all;
}

// The fast path's and the middle tier's errors stay within the bounds their
// rounding tests use (measured against MPFR at 300 bits): the bounds that
// decide which results are returned without the next tier.
TEST_P(Math, TiersWithinTheirErrorBounds) {
  namespace t = gm::trig_detail;
  namespace v = gm::inverse_detail;
  namespace m = gm::middle;
  const Function& f = kFunctions[GetParam()];
  for (int tier = 0; tier < 2; ++tier) {
    std::mt19937_64 g(GetParam() + 100);
    double worst = 0, worst_at = 0;
    for (int i = 0; i < 200000; ++i) {
      auto ab = draw(f.family, g);
      double a = ab.first, b = ab.second;
      if (!(std::fabs(a) >= 0x1p-27 && std::fabs(a) <= 0x1.fffffffffffffp1023)) continue;
      double hi = 0, lo = 0, err = 0;
      bool covered = true;
      auto take = [&](const auto& r) { hi = r.hi, lo = r.lo, err = r.err; };
      auto take_inverse = [&](const v::Fast<double>& r) { take(r.a), covered = !r.special && !r.tiny; };
      switch (GetParam() + 10 * tier) {
        case 0: case 7: take(t::fast<t::Kind::kSin>(a)); break;
        case 1: take(t::fast<t::Kind::kCos>(a)); break;
        case 2: take(t::fast<t::Kind::kTan>(a)); break;
        case 3: take_inverse(v::fast_asin_acos<false>(a)); break;
        case 4: take_inverse(v::fast_asin_acos<true>(a)); break;
        case 5: take_inverse(v::fast_atan(a)); break;
        case 6: take_inverse(v::fast_atan2(a, b)); break;
        case 10: case 11: case 17: take(m::sin_cos(a, 0.0, GetParam() == 1)); break;
        case 12: take(m::tan(a)); break;
        default: covered = false; break;
      }
      if (!covered) continue;
      mpfr_t x, y, r;
      mpfr_inits2(300, x, y, r, static_cast<mpfr_ptr>(nullptr));
      mpfr_set_d(x, a, MPFR_RNDN);
      mpfr_set_d(y, b, MPFR_RNDN);
      f.mpfr1 ? f.mpfr1(r, x, MPFR_RNDN) : f.mpfr2(r, x, y, MPFR_RNDN);
      mpfr_sub_d(r, r, hi, MPFR_RNDN);
      mpfr_sub_d(r, r, lo, MPFR_RNDN);
      double ratio = std::fabs(mpfr_get_d(r, MPFR_RNDN)) / err;
      mpfr_clears(x, y, r, static_cast<mpfr_ptr>(nullptr));
      if (!(ratio <= 1))
        ADD_FAILURE() << f.name << " tier " << tier << " (" << std::hexfloat << a << ", " << b << "): error " << ratio << " of the bound";
      if (ratio > worst) worst = ratio, worst_at = a;
    }
    std::printf("%s, %s: largest error %.3f of the bound, at %a\n", f.name, tier ? "middle tier" : "fast path", worst, worst_at);
  }
  mpfr_free_cache();
}

// The 2-, 4- and 8-lane instances give the one-lane bits, lanes mixing the
// fast path with the special values, the hard cases and Payne-Hanek's range.
TEST_P(Math, LanesGiveTheOneLaneBits) {
  const Function& f = kFunctions[GetParam()];
  std::mt19937_64 g(GetParam());
  Args args = specials(f.family), hard = hard_cases(f.name);
  args.insert(args.end(), hard.begin(), hard.end());
  while (args.size() < 40000) args.push_back(draw(f.family, g));
  std::shuffle(args.begin(), args.end(), g);
  std::vector<double> one(args.size());
  for (size_t i = 0; i < args.size(); ++i) one[i] = lanes_of(GetParam(), args[i].first, args[i].second);
  long bad = 0;
  auto run = [&](auto lane_type) {
    using V = decltype(lane_type);
    constexpr int n = sizeof(V) / sizeof(double);
    for (size_t i = 0; i + n <= args.size(); i += n) {
      V a{}, b{};
      for (int k = 0; k < n; ++k) {
        a[k] = args[i + k].first;
        b[k] = args[i + k].second;
      }
      V r = lanes_of(GetParam(), a, b);
      for (int k = 0; k < n; ++k)
        if (!same(r[k], one[i + k]) && bad++ < 5)
          ADD_FAILURE() << f.name << " lane " << k << " of " << n << " at " << args[i + k].first;
    }
  };
  run(gm::V2{});
  run(gm::V4{});
  run(gm::V8{});
  EXPECT_EQ(bad, 0);
}

INSTANTIATE_TEST_SUITE_P(Functions, Math, ::testing::Range(0, 8),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kFunctions[i.param].name); });

}  // namespace
