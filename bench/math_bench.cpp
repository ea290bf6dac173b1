// Time per call of the library's elementary functions (geoconv/src/math),
// one lane and per argument at 4 and 8 lanes, beside the platform's libm
// and, when built with GEOCONV_BENCH_LLVM_LIBC, LLVM libc's correctly
// rounded ones, on the same arguments. Rounds are
// interleaved and the fastest of each is kept. Plain main, not built by
// default; see bench/CMakeLists.txt or:
//   g++ -std=c++17 -O2 -ffp-contract=off -Igeoconv/src bench/math_bench.cpp
//   [-DGEOCONV_BENCH_LLVM_LIBC /usr/lib/llvm-22/lib/libllvmlibc.a]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "math/math.hpp"

// The lanes are passed by value to inline code only: no ABI is at stake.
#if defined(__GNUC__)
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#if defined(GEOCONV_BENCH_LLVM_LIBC)
namespace __llvm_libc_22_1_8_ {
double sin(double);
double cos(double);
double tan(double);
double asin(double);
double acos(double);
double atan(double);
double atan2(double, double);
}  // namespace __llvm_libc_22_1_8_
namespace llvm_libc = __llvm_libc_22_1_8_;
#endif

// The platform's libm. libllvmlibc.a defines the public names too (sin, cos,
// ...), and a static link takes those for std::sin: on x86-64 glibc, bind
// libm's own by their symbol versions instead.
#if defined(GEOCONV_BENCH_LLVM_LIBC) && defined(__GLIBC__) && defined(__x86_64__)
extern "C" {
double glibc_sin(double);
double glibc_cos(double);
void glibc_sincos(double, double*, double*);
double glibc_tan(double);
double glibc_asin(double);
double glibc_acos(double);
double glibc_atan(double);
double glibc_atan2(double, double);
}
__asm__(".symver glibc_sin, sin@GLIBC_2.2.5\n.symver glibc_cos, cos@GLIBC_2.2.5\n"
        ".symver glibc_sincos, sincos@GLIBC_2.2.5\n.symver glibc_tan, tan@GLIBC_2.2.5\n"
        ".symver glibc_asin, asin@GLIBC_2.2.5\n.symver glibc_acos, acos@GLIBC_2.2.5\n"
        ".symver glibc_atan, atan@GLIBC_2.2.5\n.symver glibc_atan2, atan2@GLIBC_2.2.5");
namespace libm {
inline double sin(double x) { return glibc_sin(x); }
inline double cos(double x) { return glibc_cos(x); }
inline double tan(double x) { return glibc_tan(x); }
inline double asin(double x) { return glibc_asin(x); }
inline double acos(double x) { return glibc_acos(x); }
inline double atan(double x) { return glibc_atan(x); }
inline double atan2(double y, double x) { return glibc_atan2(y, x); }
// What GCC makes of sin(x) + cos(x): one call of sincos.
inline double sin_plus_cos(double x) {
  double s, c;
  glibc_sincos(x, &s, &c);
  return s + c;
}
}  // namespace libm
#else
#if defined(GEOCONV_BENCH_LLVM_LIBC)
#error "libm's sin would be libllvmlibc's here: bind the platform's by its symbol versions"
#endif
namespace libm {
using std::acos;
using std::asin;
using std::atan;
using std::atan2;
using std::cos;
using std::sin;
using std::tan;
inline double sin_plus_cos(double x) { return std::sin(x) + std::cos(x); }
}  // namespace libm
#endif

namespace {

namespace gm = geoconv::detail::math;
constexpr int kCount = 4096;
constexpr int kRounds = 25;

struct Case {
  const char* name;
  std::vector<double> x, y;
};

volatile double g_sink;

template <class F> double time_one(const Case& c, F f) {
  auto t0 = std::chrono::steady_clock::now();
  double s = 0;
  for (int i = 0; i < kCount; ++i) s += f(c.x[i], c.y[i]);
  auto t1 = std::chrono::steady_clock::now();
  g_sink = s;
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / kCount;
}

// Four or eight lanes at a time through the V4 or V8 instance, per argument.
template <class V, class F> double time_lanes(const Case& c, F f) {
  constexpr int n = sizeof(V) / sizeof(double);
  auto t0 = std::chrono::steady_clock::now();
  V s{};
  for (int i = 0; i < kCount; i += n) {
    V x, y;
    std::memcpy(&x, &c.x[i], sizeof x);
    std::memcpy(&y, &c.y[i], sizeof y);
    s += f(x, y);
  }
  auto t1 = std::chrono::steady_clock::now();
  double sum = 0;
  for (int k = 0; k < n; ++k) sum += s[k];
  g_sink = sum;
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / kCount;
}
// Both widths of one generic lambda: t[1] for 4 lanes, t[4] for 8.
template <class F> void time_v4_v8(const Case& c, F f, double* t) {
  t[1] = time_lanes<gm::V4>(c, f);
  t[4] = time_lanes<gm::V8>(c, f);
}

}  // namespace

int main() {
  std::mt19937_64 gen(2024);
  auto uniform = [&](double lo, double hi) {
    std::vector<double> v(kCount);
    std::uniform_real_distribution<double> u(lo, hi);
    for (double& d : v) d = u(gen);
    return v;
  };
  const double pi = 3.141592653589793;
  std::vector<double> zeros(kCount, 0.0);
  enum Fn { kSin, kCos, kTan, kSinCos, kAtan, kAtan2, kAsin, kAcos };
  struct Row {
    Fn fn;
    Case c;
  };
  std::vector<Row> rows = {
      {kSin, {"sin [-pi,pi]", uniform(-pi, pi), zeros}},
      {kSin, {"sin [-3000,3000]", uniform(-3000, 3000), zeros}},
      {kCos, {"cos [-pi,pi]", uniform(-pi, pi), zeros}},
      {kCos, {"cos [-3000,3000]", uniform(-3000, 3000), zeros}},
      {kSinCos, {"sincos [-pi,pi]", uniform(-pi, pi), zeros}},
      {kTan, {"tan [-pi/2,pi/2]", uniform(-pi / 2, pi / 2), zeros}},
      {kAtan, {"atan [-8,8]", uniform(-8, 8), zeros}},
      {kAtan2, {"atan2 [-1,1]^2", uniform(-1, 1), uniform(-1, 1)}},
      {kAsin, {"asin [-1,1]", uniform(-1, 1), zeros}},
      {kAcos, {"acos [-1,1]", uniform(-1, 1), zeros}},
  };
  std::printf("%-18s %9s %9s %9s %9s %9s %9s\n", "ns/call", "geoconv", "x4 lanes", "x8 lanes", "libm", "llvm", "ratio");
  for (Row& r : rows) {
    double best[5] = {1e30, 1e30, 1e30, 1e30, 1e30};
    for (int round = 0; round < kRounds; ++round) {
      double t[5] = {1e30, 1e30, 1e30, 1e30, 1e30};
      switch (r.fn) {
        case kSin:
          t[0] = time_one(r.c, [](double x, double) { return gm::sin(x); });
          time_v4_v8(r.c, [](auto x, auto) { return gm::sin(x); }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::sin(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::sin(x); });
#endif
          break;
        case kCos:
          t[0] = time_one(r.c, [](double x, double) { return gm::cos(x); });
          time_v4_v8(r.c, [](auto x, auto) { return gm::cos(x); }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::cos(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::cos(x); });
#endif
          break;
        case kSinCos:
          // Against the two calls sin and cos, which is what callers replace.
          t[0] = time_one(r.c, [](double x, double) {
            double s, c;
            gm::sincos(x, s, c);
            return s + c;
          });
          time_v4_v8(r.c, [](auto x, auto) {
            decltype(x) s, c;
            gm::sincos(x, s, c);
            return s + c;
          }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::sin_plus_cos(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::sin(x) + llvm_libc::cos(x); });
#endif
          break;
        case kTan:
          t[0] = time_one(r.c, [](double x, double) { return gm::tan(x); });
          time_v4_v8(r.c, [](auto x, auto) { return gm::tan(x); }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::tan(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::tan(x); });
#endif
          break;
        case kAtan:
          t[0] = time_one(r.c, [](double x, double) { return gm::atan(x); });
          time_v4_v8(r.c, [](auto x, auto) { return gm::atan(x); }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::atan(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::atan(x); });
#endif
          break;
        case kAtan2:
          t[0] = time_one(r.c, [](double x, double y) { return gm::atan2(x, y); });
          time_v4_v8(r.c, [](auto x, auto y) { return gm::atan2(x, y); }, t);
          t[2] = time_one(r.c, [](double x, double y) { return libm::atan2(x, y); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double y) { return llvm_libc::atan2(x, y); });
#endif
          break;
        case kAsin:
          t[0] = time_one(r.c, [](double x, double) { return gm::asin(x); });
          time_v4_v8(r.c, [](auto x, auto) { return gm::asin(x); }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::asin(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::asin(x); });
#endif
          break;
        case kAcos:
          t[0] = time_one(r.c, [](double x, double) { return gm::acos(x); });
          time_v4_v8(r.c, [](auto x, auto) { return gm::acos(x); }, t);
          t[2] = time_one(r.c, [](double x, double) { return libm::acos(x); });
#if defined(GEOCONV_BENCH_LLVM_LIBC)
          t[3] = time_one(r.c, [](double x, double) { return llvm_libc::acos(x); });
#endif
          break;
      }
      for (int k = 0; k < 5; ++k) best[k] = std::fmin(best[k], t[k]);
    }
    std::printf("%-18s %9.2f %9.2f %9.2f %9.2f", r.c.name, best[0], best[1], best[4], best[2]);
    if (best[3] < 1e29)
      std::printf(" %9.2f", best[3]);
    else
      std::printf(" %9s", "-");
    std::printf(" %9.2f\n", best[0] / best[2]);
  }
}
