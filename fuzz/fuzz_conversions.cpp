// Every conversion and DEGtoDMS fed arbitrary doubles, NaN and infinities
// included, checking what must hold for any input: a status is 0 or 1; a
// failing call leaves its outputs alone (AERtoLLA84's zero range hands back
// the site); geodetic results lie in their ranges; DMS minutes are whole and
// within 0..59 for finite angles; and a Site gives the free functions' bits.
// The moving-target routines: their positions are those of the position
// routines to the bit, angles and rates are in range or NaN, a failure
// leaves all six outputs alone.

#include <geoconv/geoconv.hpp>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <utility>

#include "check.hpp"

namespace {

constexpr double kMark = -98765.4321;

// Checks a call's status and outputs; true when it succeeded.
bool ok(int status, const double* out) {
  FUZZ_CHECK(status == 0 || status == 1);
  if (status == 1) FUZZ_CHECK(out[0] == kMark && out[1] == kMark && out[2] == kMark);
  return status == 0;
}

bool within(double v, double lo, double hi) { return std::isnan(v) || (v >= lo && v <= hi); }

// Three results alike to the bit, but for a NaN's sign and payload (which of
// two NaN operands an operation passes on is the processor's choice).
bool same(const double* a, const double* b) {
  for (int i = 0; i < 3; ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof a[i]) != 0 && !(std::isnan(a[i]) && std::isnan(b[i]))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  double in[9] = {0};
  std::memcpy(in, data, size < sizeof in ? size : sizeof in);
  static std::FILE* sink = std::fopen("/dev/null", "w");
  std::FILE* stream = (size % 2 == 0) ? sink : nullptr;
  using namespace geoconv;

  double o[3] = {kMark, kMark, kMark};
  if (ok(LLA84toEFG84(stream, in[0], in[1], in[2], &o[0], &o[1], &o[2]), o)) {
    FUZZ_CHECK(in[0] >= -90.0 && in[0] <= 90.0);
  }
  o[0] = o[1] = o[2] = kMark;
  if (ok(EFG84toLLA84(stream, in[3], in[4], in[5], &o[0], &o[1], &o[2]), o)) {
    FUZZ_CHECK(within(o[0], -90.0, 90.0) && o[0] != 90.0 && o[0] != -90.0);
    FUZZ_CHECK(within(o[1], -180.0, 180.0) && o[1] != -180.0);
  }
  o[0] = o[1] = o[2] = kMark;
  if (in[5] == 0.0) {  // the zero range hands back the site
    FUZZ_CHECK(AERtoLLA84(stream, in[3], in[4], in[5], in[0], in[1], in[2], &o[0], &o[1], &o[2]) == 1);
    FUZZ_CHECK(std::memcmp(o, in, sizeof o) == 0);
  } else if (ok(AERtoLLA84(stream, in[3], in[4], in[5], in[0], in[1], in[2], &o[0], &o[1], &o[2]), o)) {
    FUZZ_CHECK(within(o[0], -90.0, 90.0) && within(o[1], -180.0, 180.0));
  }
  o[0] = o[1] = o[2] = kMark;
  if (ok(EFG84toAER(stream, in[3], in[4], in[5], in[6], in[7], in[8], &o[0], &o[1], &o[2]), o)) {
    FUZZ_CHECK(within(o[0], 0.0, 360.0) && within(o[1], -90.0, 90.0));
  }

  // A Site built from in[6..8] against the free functions.
  const Site site(in[6], in[7], in[8]);
  using Free = int (*)(std::FILE*, double, double, double, double, double, double, double*,
                       double*, double*);
  using Member = int (Site::*)(std::FILE*, double, double, double, double*, double*, double*) const;
  const std::pair<Free, Member> pairs[] = {{AERtoLLA84, &Site::AERtoLLA84},
                                           {AERtoEFG84, &Site::AERtoEFG84},
                                           {EFG84toAER, &Site::EFG84toAER}};
  for (const auto& [free, member] : pairs) {
    double a[3] = {kMark, kMark, kMark}, b[3] = {kMark, kMark, kMark};
    const int sa = free(stream, in[3], in[4], in[5], in[6], in[7], in[8], &a[0], &a[1], &a[2]);
    const int sb = (site.*member)(stream, in[3], in[4], in[5], &b[0], &b[1], &b[2]);
    // The same bits, but for a NaN's sign and payload: which NaN operand an
    // addition passes on is the processor's choice (s390x takes the first),
    // and the compiler may order the operands of the inlined Site
    // differently from the member's.
    for (int i = 0; i < 3; ++i) {
      FUZZ_CHECK(sa == sb && (std::memcmp(&a[i], &b[i], sizeof a[i]) == 0 ||
                              (std::isnan(a[i]) && std::isnan(b[i]))));
    }
  }

  // Positions with velocities: the position routine's bits, whether free or
  // through the Site.
  double m[6], p[3] = {kMark, kMark, kMark};
  std::fill(m, m + 6, kMark);
  const int rates = EFG84toAERrates(stream, in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7],
                                    in[8], &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]);
  const int position = EFG84toAER(stream, in[0], in[1], in[2], in[6], in[7], in[8], &p[0], &p[1], &p[2]);
  FUZZ_CHECK(rates == 0 || rates == 1);
  if (rates == 1) {
    for (double v : m) FUZZ_CHECK(v == kMark);
  } else {
    FUZZ_CHECK(position == 0 && same(m, p) && within(m[0], 0.0, 360.0) && within(m[1], -90.0, 90.0));
  }
  // At the site only where the position routine has the target there too.
  FUZZ_CHECK(rates == position || (p[0] == 0.0 && p[1] == 0.0 && p[2] == 0.0));
  std::fill(m, m + 6, kMark);
  const int back = site.AERratesToEFG84(stream, in[0], in[1], in[2], in[3], in[4], in[5], &m[0],
                                        &m[1], &m[2], &m[3], &m[4], &m[5]);
  p[0] = p[1] = p[2] = kMark;
  FUZZ_CHECK(back == site.AERtoEFG84(stream, in[0], in[1], in[2], &p[0], &p[1], &p[2]));
  FUZZ_CHECK(same(m, p));

  FUZZ_CHECK(EFG84toEFG72(stream, in[0], in[1], in[2], &o[0], &o[1], &o[2]) == 0);
  XYZtoAER(stream, in[0], in[1], in[2], &o[0], &o[1], &o[2]);
  FUZZ_CHECK(within(o[0], -90.0, 270.0) && o[0] != -90.0);
  for (double angle : in) {
    DEGtoDMS(angle, &o[0], &o[1], &o[2]);
    if (std::isfinite(angle)) FUZZ_CHECK(within(o[1], 0.0, 59.0) && o[1] == std::trunc(o[1]) && o[0] == std::trunc(o[0]));
  }
  return 0;
}
