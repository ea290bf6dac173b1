// The array calls as a careless or hostile caller uses them. Outputs laid
// over inputs (in place, shifted either way, reversed, over a repeated site,
// faults over input bytes) must give, in both modes and through C++ and C,
// exactly a run on copies: every byte of the buffer, the faults and the
// count. Misuse (overlapping outputs, null pointers, an unknown mode) gets its
// status and writes nothing.

#include <geoconv/geoconv.h>
#include <geoconv/registry.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "modes.hpp"

namespace {

using namespace geoconv;

constexpr std::size_t kPoints = 700;  // more than one backward chunk
constexpr std::size_t kBuffer = 16 * kPoints;

// Columns in one buffer of doubles: input slot k at in[k] with in_step,
// output k at out[k] with out_step (offsets in doubles; a negative step runs
// down from its offset); faults at byte `faults` of the buffer, or apart
// (-1); a site's inputs repeated by a stride of 0 where site_repeated has
// their bit (1 latitude, 2 longitude, 4 altitude), else stepped as the
// others. A routine's point inputs take the first slots, a base site's the
// last three, whatever the routine's arity.
constexpr int kSlots = kMaxInputs, kOuts = kMaxOutputs;
struct Layout {
  const char* name;
  int in[kSlots];
  int in_step;
  int out[kOuts];
  int out_step;
  long faults = -1;
  int site_repeated = 0;
};

// Input k's stride: 0 for a repeated site column.
long step(const Layout& l, const Routine& r, int k) {
  return k >= r.inputs && (l.site_repeated >> (k - r.inputs) & 1) ? 0 : l.in_step;
}

int slot(const Routine& r, int k) { return k < r.inputs ? k : kMaxPointInputs + (k - r.inputs); }

constexpr int N = static_cast<int>(kPoints);
const Layout kLayouts[] = {
    {"Apart", {0, 1, 2, 3, 4, 5, 6, 7, 8}, 9, {9 * N, 9 * N + 1, 9 * N + 2, 9 * N + 3, 9 * N + 4, 9 * N + 5}, 6},
    {"InPlace", {0, 1, 2, 3, 4, 5, 6, 7, 8}, 9, {0, 1, 2, 3, 4, 5}, 9},
    {"InPlaceColumns", {0, N, 2 * N, 3 * N, 4 * N, 5 * N, 6 * N, 7 * N, 8 * N}, 1,
     {0, N, 2 * N, 3 * N, 4 * N, 5 * N}, 1},
    {"OneElementOn", {0, 1, 2, 3, 4, 5, 6, 7, 8}, 6, {1, 2, 3, 4, 5, 6}, 6},
    {"OnePointOn", {0, 1, 2, 3, 4, 5, 6, 7, 8}, 6, {6, 7, 8, 9, 10, 11}, 6},
    {"OnePointBack", {6, 7, 8, 9, 10, 11, 12, 13, 14}, 6, {0, 1, 2, 3, 4, 5}, 6},
    {"TwoPointsOn", {0, N, 2 * N, 3 * N, 4 * N, 5 * N, 6 * N, 7 * N, 8 * N}, 1,
     {2, N + 2, 2 * N + 2, 3 * N + 2, 4 * N + 2, 5 * N + 2}, 1},
    {"Reversed", {0, N, 2 * N, 3 * N, 4 * N, 5 * N, 6 * N, 7 * N, 8 * N}, 1,
     {N - 1, 2 * N - 1, 3 * N - 1, 4 * N - 1, 5 * N - 1, 6 * N - 1}, -1},
    {"OnAndBack", {0, N, 2 * N, 3 * N, 4 * N, 5 * N, 6 * N, 7 * N, 8 * N}, 1,
     {1, 2 * N - 1, 4 * N, 6 * N, 7 * N + 1, 9 * N}, 1},
    {"Stride2Over1", {0, N, 2 * N, 3 * N, 4 * N, 5 * N, 6 * N, 7 * N, 8 * N}, 1,
     {0, 2 * N + 1, 4 * N + 1, 6 * N + 1, 8 * N + 1, 10 * N + 1}, 2},
    {"FaultsOverInputs", {0, N, 2 * N, 3 * N, 4 * N, 5 * N, 6 * N, 7 * N, 8 * N}, 1,
     {9 * N, 9 * N + 1, 9 * N + 2, 9 * N + 3, 9 * N + 4, 9 * N + 5}, 6, 8 * 100},
    // The middle point's results over the repeated site.
    {"SiteOverwrittenHalfway", {0, 1, 2, 3, 4, 5, 6 * N, 6 * N + 1, 6 * N + 2}, 6,
     {6 * N - 6 * (N / 2), 6 * N - 6 * (N / 2) + 1, 6 * N - 6 * (N / 2) + 2,
      6 * N - 6 * (N / 2) + 3, 6 * N - 6 * (N / 2) + 4, 6 * N - 6 * (N / 2) + 5}, 6, -1, 7},
    // One latitude and altitude, a longitude per point: no single site.
    {"SiteLongitudePerPoint", {0, 1, 2, 3, 4, 5, 6, 7, 8}, 9,
     {9 * N, 9 * N + 1, 9 * N + 2, 9 * N + 3, 9 * N + 4, 9 * N + 5}, 6, -1, 5},
};

// The buffer's start: degrees, Earth-fixed metres, ranges, refusals, NaN.
std::vector<double> fresh_buffer() {
  std::mt19937_64 rng(7);
  std::vector<double> b(kBuffer);
  for (double& v : b) {
    const double u = std::uniform_real_distribution<double>(-1, 1)(rng);
    switch (rng() % 8) {
      case 0: v = 6.4e6 * u; break;
      case 1: v = 1e5 * u; break;
      case 2: v = rng() % 4 == 0 ? 91.0 : 0.0; break;
      case 3: v = rng() % 2 == 0 ? NAN : -0.0; break;
      default: v = 90 * u; break;
    }
  }
  return b;
}

struct Call {
  Column in[kSlots];
  OutColumn out[kOuts];
  Fault* faults;
};

Call columns(const Layout& l, const Routine& r, int inputs, int outputs, double* b, Fault* apart) {
  Call c{};
  for (int k = 0; k < inputs; ++k) {
    c.in[k] = {b + l.in[slot(r, k)], step(l, r, k)};
  }
  for (int k = 0; k < outputs; ++k) c.out[k] = {b + l.out[k], l.out_step};
  c.faults = l.faults < 0 ? apart : reinterpret_cast<Fault*>(reinterpret_cast<char*>(b) + l.faults);
  return c;
}

// What a run on copies leaves: each point converted from the untouched
// buffer, its results then written in point order, outputs before fault.
std::vector<double> expected(const Layout& l, const Routine& r, int inputs, Mode mode,
                             std::vector<Fault>* faults, std::size_t* failed) {
  std::vector<double> b = fresh_buffer(), original = b;
  std::vector<double> in[kSlots], out[kOuts];
  Column ci[kSlots];
  OutColumn co[kOuts];
  for (int k = 0; k < inputs; ++k) {
    for (std::size_t i = 0; i < kPoints; ++i) {
      in[k].push_back(original[l.in[slot(r, k)] + static_cast<long>(i) * step(l, r, k)]);
    }
    ci[k] = {in[k].data(), 1};
  }
  for (int k = 0; k < r.outputs; ++k) {
    for (std::size_t i = 0; i < kPoints; ++i) out[k].push_back(original[l.out[k] + static_cast<long>(i) * l.out_step]);
    co[k] = {out[k].data(), 1};
  }
  faults->assign(kPoints, Fault::kNone);
  *failed = run_array(r, kPoints, ci, co, faults->data(), mode);
  Call c = columns(l, r, inputs, r.outputs, b.data(), nullptr);
  for (std::size_t i = 0; i < kPoints; ++i) {
    for (int k = 0; k < r.outputs; ++k) c.out[k].data[static_cast<long>(i) * c.out[k].stride] = out[k][i];
    if (c.faults != nullptr) c.faults[i] = (*faults)[i];
  }
  return b;
}

TEST(Hostile, OverlappingColumnsGiveTheResultsOfCopies) {
  for (const Layout& l : kLayouts) {
    for (int index = 0; index < routine_count(); ++index) {
      const Routine& r = routines()[index];
      const int inputs = r.inputs + (r.site ? 3 : 0);
      const Mode fast = fast_mode();
      for (Mode mode : {Mode(Mode::kExact), fast}) {
        std::vector<Fault> want_faults;
        std::size_t want_failed;
        const std::vector<double> want = expected(l, r, inputs, mode, &want_faults, &want_failed);
        for (bool through_c : {false, true}) {
          if (through_c && mode.fast_kernels() != nullptr) continue;  // C's fast mode is exact
          std::vector<double> b = fresh_buffer();
          std::vector<Fault> apart(kPoints, Fault::kNone);
          const Call c = columns(l, r, inputs, r.outputs, b.data(), apart.data());
          std::size_t failed;
          if (through_c) {
            const double* ins[kSlots];
            double* outs[kOuts];
            std::ptrdiff_t in_stride[kSlots], out_stride[kOuts];
            for (int k = 0; k < inputs; ++k) ins[k] = c.in[k].data, in_stride[k] = c.in[k].stride;
            for (int k = 0; k < r.outputs; ++k) outs[k] = c.out[k].data, out_stride[k] = c.out[k].stride;
            failed = geoconv_convert_array(index, kPoints, ins, in_stride, outs, out_stride,
                                           reinterpret_cast<unsigned char*>(c.faults),
                                           mode == Mode::kFast ? GEOCONV_FAST : GEOCONV_EXACT);
          } else {
            failed = run_array(r, kPoints, c.in, c.out, c.faults, mode);
          }
          const std::string what = std::string(l.name) + " " + r.name + (mode == Mode::kFast ? " fast" : " exact") +
                                   (through_c ? " C" : " C++");
          EXPECT_EQ(failed, want_failed) << what;
          // The fast mode's vector functions reduce every lane alike when
          // one lane needs their long reduction, so a fast result's last bits
          // may follow its neighbours in the vector, which the chunks of an
          // overlapping call change: there the fast results need only agree
          // to far below any misplaced or stale value.
          for (std::size_t d = 0; d < kBuffer; ++d) {
            if (std::memcmp(&b[d], &want[d], sizeof(double)) == 0) continue;
            ASSERT_TRUE(mode == Mode::kFast && std::fabs(b[d] - want[d]) <= 1e-12 * std::fabs(want[d]))
                << what << ": element " << d << " is " << b[d] << ", not " << want[d];
          }
          if (l.faults < 0) {
            EXPECT_EQ(apart, want_faults) << what;
          }
        }
      }
    }
  }
}

// Misuse: the status, and not a byte written.
TEST(Hostile, MisuseGetsItsStatusAndWritesNothing) {
  const Routine& r = *find_routine("LLA84toEFG84");
  const int index = geoconv_find_routine("LLA84toEFG84"), on_site = geoconv_find_routine("EFG84toAER");
  std::vector<double> b = fresh_buffer();
  const std::vector<double> before = b;
  double* d = b.data();
  Fault* f = reinterpret_cast<Fault*>(d + 5 * N);
  const Column in[3] = {{d, 1}, {d + N, 1}, {d + 2 * N, 1}};
  const OutColumn apart[3] = {{d + 3 * N, 1}, {d + 4 * N, 1}, {d + 5 * N, 1}};
  const OutColumn zero_stride[3] = {{d + 3 * N, 0}, {d + 4 * N, 1}, {d + 6 * N, 1}};
  const OutColumn twice[3] = {{d + 3 * N, 1}, {d + 4 * N, 1}, {d + 3 * N + 1, 1}};
  const Column null_in[3] = {{d, 1}, {nullptr, 1}, {d + 2 * N, 1}};
  const double* ins[3] = {d, d + N, d + 2 * N};
  double* outs[3] = {d + 3 * N, d + 4 * N, d + 5 * N};
  const std::ptrdiff_t strides[3] = {1, 1, 1};
  const geoconv_site zero = {{0}};
  const int sind = geoconv_find_routine("sind");
  const struct {
    std::size_t got, want;
  } kCases[] = {
      {run_array(r, kPoints, in, zero_stride, nullptr), kArrayOverlappingOutputs},
      {run_array(r, kPoints, in, twice, nullptr), kArrayOverlappingOutputs},
      {run_array(r, kPoints, in, apart, f), kArrayOverlappingOutputs},  // faults over an output
      {run_array(r, kPoints, null_in, apart, nullptr), kArrayNullPointer},
      {run_array(r, kPoints, nullptr, apart, nullptr), kArrayNullPointer},
      {run_array(r, kPoints, in, apart, nullptr, static_cast<Mode::Value>(2)), kArrayBadMode},
      {run_array(r, 0, null_in, nullptr, nullptr), 0},
      {geoconv_convert_array(index, kPoints, nullptr, nullptr, nullptr, nullptr, nullptr, 0), GEOCONV_ARRAY_NULL_POINTER},
      {geoconv_convert_array(index, kPoints, ins, strides, outs, nullptr, nullptr, 0), GEOCONV_ARRAY_NULL_POINTER},
      {geoconv_convert_array(index, kPoints, ins, strides, nullptr, strides, nullptr, 0), GEOCONV_ARRAY_NULL_POINTER},
      {geoconv_convert_array(index, kPoints, ins, nullptr, outs, strides, nullptr, 0), GEOCONV_ARRAY_NULL_POINTER},
      {geoconv_convert_array(index, kPoints, nullptr, strides, outs, strides, nullptr, 0), GEOCONV_ARRAY_NULL_POINTER},
      {static_cast<std::size_t>(geoconv_find_routine("LLA84toEFG85")), static_cast<std::size_t>(-1)},
      {geoconv_convert_array(index, kPoints, nullptr, nullptr, nullptr, nullptr, nullptr, 2), GEOCONV_ARRAY_BAD_MODE},
      {geoconv_convert_array(index, kPoints, nullptr, nullptr, nullptr, nullptr, nullptr, -1), GEOCONV_ARRAY_BAD_MODE},
      {geoconv_convert_array(index, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 0},
      {geoconv_convert_array(-5, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0), GEOCONV_ARRAY_NO_ROUTINE},
      {geoconv_site_convert_array(nullptr, on_site, 3, nullptr, nullptr, nullptr, nullptr, nullptr, 0), GEOCONV_ARRAY_NULL_POINTER},
      {geoconv_site_convert_array(nullptr, on_site, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0},
      {static_cast<std::size_t>(geoconv_convert(index, nullptr, d)), static_cast<std::size_t>(-2)},
      {static_cast<std::size_t>(geoconv_convert(index, d, nullptr)), static_cast<std::size_t>(-2)},
      {static_cast<std::size_t>(geoconv_site_convert(nullptr, on_site, d, d + 8)), static_cast<std::size_t>(-2)},
      {static_cast<std::size_t>(geoconv_site_convert(&zero, on_site, nullptr, d + 8)), static_cast<std::size_t>(-2)},
      {static_cast<std::size_t>(geoconv_site_convert(&zero, on_site, d, nullptr)), static_cast<std::size_t>(-2)},
      {static_cast<std::size_t>(geoconv_site_init(nullptr, stderr, 0, 0, 0)), 1},
      {static_cast<std::size_t>(geoconv_site_valid(nullptr)), 0},
      {static_cast<std::size_t>(geoconv_site_valid(&zero)), 0},
      // Indexes that name no routine, or (on a site) none that takes one.
      {static_cast<std::size_t>(geoconv_convert(-1, d, d + 8)), static_cast<std::size_t>(-1)},
      {static_cast<std::size_t>(geoconv_convert(routine_count(), d, d + 8)), static_cast<std::size_t>(-1)},
      {static_cast<std::size_t>(geoconv_site_convert(&zero, routine_count(), d, d + 8)), static_cast<std::size_t>(-1)},
      {static_cast<std::size_t>(geoconv_site_convert(&zero, sind, d, d + 8)), static_cast<std::size_t>(-1)},
      {geoconv_convert_array(routine_count(), 1, ins, strides, outs, strides, nullptr, 0), GEOCONV_ARRAY_NO_ROUTINE},
      {geoconv_site_convert_array(&zero, sind, 1, ins, strides, outs, strides, nullptr, 0), GEOCONV_ARRAY_NO_ROUTINE},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) EXPECT_EQ(kCases[i].got, kCases[i].want) << "case " << i;
  EXPECT_EQ(std::memcmp(b.data(), before.data(), kBuffer * sizeof(double)), 0);
  // One point to an output of stride 0 is no overlap.
  EXPECT_EQ(run_array(r, 1, in, zero_stride, nullptr), 0u);
  // Each status has its own text; a count has none.
  const std::size_t kStatuses[] = {GEOCONV_ARRAY_NO_ROUTINE, GEOCONV_ARRAY_BAD_MODE, GEOCONV_ARRAY_NULL_POINTER,
                                   GEOCONV_ARRAY_OVERLAPPING_OUTPUTS, GEOCONV_ARRAY_NO_MEMORY};
  for (std::size_t s : kStatuses) {
    for (std::size_t t : kStatuses) EXPECT_EQ(std::strcmp(geoconv_array_reason(s), geoconv_array_reason(t)) == 0, s == t);
  }
  EXPECT_STREQ(geoconv_array_reason(3), "");
  for (int fault : {-1, 5, 63}) EXPECT_EQ(*geoconv_message(fault) + *geoconv_reason(fault), 0);
  geoconv_site placed;
  EXPECT_EQ(geoconv_site_init(&placed, nullptr, 10.0, 20.0, 30.0) + 2 * geoconv_site_valid(&placed), 2);
}

}  // namespace
