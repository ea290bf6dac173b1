// The fast mode's kernels are the exact kernels' template with SLEEF's
// functions. Given the library's own functions instead, with lanes marked
// for the exact routine as the fast mode marks its unsure ones, the template
// must give the exact arrays' bits: results, faults, counts and the
// untouched outputs of refused points, in one lane and in the baseline's
// vectors.

#include <geoconv/registry.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "../geoconv/src/kernels.hpp"

namespace {

using namespace geoconv;
namespace conv = detail::conv;
namespace kernels = detail::kernels;

// Exact functions, with angles beyond 100 degrees and solutions whose q is
// below 1e12 m^2 (and, with them, NaN) left to the exact routine.
struct Marked : conv::Exact {
  static constexpr bool kApproximate = true;
  static constexpr bool kPairs = false;
  template <class V> static conv::Mask<V> unsure_angle(V d) { return d > 100.0; }
  template <class V> static conv::Mask<V> unsure_solution(V q, V) { return q < 1e12; }
};

constexpr std::size_t kPoints = 4099;  // not a multiple of any width
constexpr std::uint64_t kUnwritten = 0x7ff4dead0000beefULL;

struct Results {
  std::vector<double> out[kMaxOutputs];
  std::vector<Fault> faults;
  std::size_t failed;
};

Results run(const Routine& r, const std::vector<double> (&in)[kMaxInputs], detail::KernelFn kernel) {
  Results got;
  Column c[kMaxInputs];
  OutColumn o[kMaxOutputs];
  for (int k = 0; k < kMaxInputs; ++k) c[k] = {in[k].data(), 1};
  for (int k = 0; k < kMaxOutputs; ++k) {
    got.out[k].resize(kPoints);
    for (double& d : got.out[k]) std::memcpy(&d, &kUnwritten, sizeof d);
    o[k] = {got.out[k].data(), 1};
  }
  got.faults.assign(kPoints, Fault::kNone);
  const detail::Job job{kPoints, c, o, got.faults.data(), false, false, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, &r, nullptr};
  got.failed = kernel != nullptr ? kernel(job) : run_array(r, kPoints, c, o, got.faults.data());
  return got;
}

TEST(Lanes, TemplateWithExactFunctionsGivesExactBits) {
  const detail::KernelSet sets[] = {kernels::kernel_set<double, Marked>("one lane"),
                                    kernels::kernel_set<kernels::Widest, Marked>("widest")};
  std::mt19937_64 rng(7);
  for (int index = 0; index < routine_count(); ++index) {
    const Routine& r = routines()[index];
    std::vector<double> in[kMaxInputs];
    for (int k = 0; k < kMaxInputs; ++k) {
      const Unit unit = k < r.inputs ? r.in[k].unit : k < r.inputs + 2 ? Unit::kDegrees : Unit::kFeet;
      for (std::size_t i = 0; i < kPoints; ++i) {
        const double u = std::uniform_real_distribution<double>(-1, 1)(rng);
        double v = unit == Unit::kDegrees ? 150 * u : unit == Unit::kFeet ? 1e5 * u : 8e6 * u;
        if (i % 97 == 0) v = NAN;
        if (i % 89 == 0) v = 0.0;  // zero ranges, points on the axes
        in[k].push_back(v);
      }
    }
    const Results want = run(r, in, nullptr);
    for (const detail::KernelSet& set : sets) {
      if (set.run[index] == nullptr) continue;
      const Results got = run(r, in, set.run[index]);
      EXPECT_EQ(got.failed, want.failed) << r.name << " " << set.name;
      EXPECT_EQ(got.faults, want.faults) << r.name << " " << set.name;
      for (int k = 0; k < r.outputs; ++k) {
        EXPECT_EQ(std::memcmp(got.out[k].data(), want.out[k].data(), kPoints * sizeof(double)), 0)
            << r.name << " " << set.name << " output " << k;
      }
    }
  }
}

}  // namespace
