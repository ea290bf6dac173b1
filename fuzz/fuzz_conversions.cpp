// Every conversion and DEGtoDMS fed arbitrary doubles, NaN and infinities
// included, checking what must hold for any input: statuses are 0 or 1,
// failing calls leave their outputs untouched (AERtoLLA84's zero range hands
// back the site), successful geodetic results lie in their ranges, and DMS
// minutes lie within 0..59 for finite angles.

#include <geoconv/geoconv.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "check.hpp"

namespace {

constexpr double kMark = -98765.4321;

bool untouched(const double* v) { return v[0] == kMark && v[1] == kMark && v[2] == kMark; }

void check_lla(const double* v) {
  if (!std::isnan(v[0])) FUZZ_CHECK(v[0] > -90.0 && v[0] < 90.0);
  if (!std::isnan(v[1])) FUZZ_CHECK(v[1] > -180.0 && v[1] <= 180.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  double in[9] = {0};
  std::memcpy(in, data, size < sizeof in ? size : sizeof in);
  static std::FILE* sink = std::fopen("/dev/null", "w");
  std::FILE* stream = (size % 2 == 0) ? sink : nullptr;

  double out[3] = {kMark, kMark, kMark};
  int s = geoconv::LLA84toEFG84(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
  FUZZ_CHECK(s == 0 || s == 1);
  FUZZ_CHECK(s == 0 ? in[0] >= -90.0 && in[0] <= 90.0 : untouched(out));

  out[0] = out[1] = out[2] = kMark;
  s = geoconv::EFG84toLLA84(stream, in[3], in[4], in[5], &out[0], &out[1], &out[2]);
  FUZZ_CHECK(s == 0 || s == 1);
  if (s == 1) FUZZ_CHECK(untouched(out));
  if (s == 0) check_lla(out);

  out[0] = out[1] = out[2] = kMark;
  s = geoconv::AERtoLLA84(stream, in[3], in[4], in[5], in[0], in[1], in[2], &out[0], &out[1],
                          &out[2]);
  FUZZ_CHECK(s == 0 || s == 1);
  if (in[5] == 0.0) {
    FUZZ_CHECK(s == 1);
    FUZZ_CHECK(std::memcmp(&out[0], &in[0], sizeof(double)) == 0);
    FUZZ_CHECK(std::memcmp(&out[2], &in[2], sizeof(double)) == 0);
  } else if (s == 1) {
    FUZZ_CHECK(untouched(out));
  } else {
    check_lla(out);
  }

  out[0] = out[1] = out[2] = kMark;
  s = geoconv::EFG84toAER(stream, in[3], in[4], in[5], in[6], in[7], in[8], &out[0], &out[1],
                          &out[2]);
  FUZZ_CHECK(s == 0 || s == 1);
  if (s == 1) FUZZ_CHECK(untouched(out));
  if (s == 0 && !std::isnan(out[0])) FUZZ_CHECK(out[0] >= 0.0 && out[0] <= 360.0);
  if (s == 0 && !std::isnan(out[1])) FUZZ_CHECK(out[1] >= -90.0 && out[1] <= 90.0);

  s = geoconv::EFG84toEFG72(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
  FUZZ_CHECK(s == 0);

  geoconv::AERtoXYZ(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
  geoconv::XYZtoAER(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
  if (!std::isnan(out[0])) FUZZ_CHECK(out[0] > -90.0 && out[0] <= 270.0);

  for (int i = 0; i < 9; ++i) {
    geoconv::DEGtoDMS(in[i], &out[0], &out[1], &out[2]);
    if (std::isfinite(in[i])) {
      FUZZ_CHECK(out[1] >= 0.0 && out[1] <= 59.0 && out[1] == std::trunc(out[1]));
      FUZZ_CHECK(out[0] == std::trunc(out[0]));
    }
  }
  return 0;
}
