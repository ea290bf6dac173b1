// Degrees-minutes-seconds split and the digit-field reader.
//
// DEGtoDMS truncates whole degrees and minutes toward zero in double
// precision, which is exact for every double and defined for NaN and the
// infinities (a round trip through a 32-bit integer would not be).
//
// STRtoINT reads a signed decimal field by index range and never reads past
// the text's zero terminator; the value of a run of digits saturates at the
// int range instead of overflowing.

#include "internal.hpp"

#include <climits>

namespace geoconv {

void DEGtoDMS(double angle, double* deg, double* min, double* sec) {
  const bool negative = angle < 0.0;  // -0.0 does not count
  const double a = std::fabs(angle);
  const double d = std::trunc(a);
  const double m = std::trunc((a - d) * 60.0);
  // Seconds from the fraction of a degree less the whole minutes: neither
  // rounded nor clamped, so they may be a hair below 0 or 60.
  const double s = ((a - d) - m / 60.0) * 3600.0;
  // The sign rides on the degrees alone; for -1 < angle < 0 that gives -0.0.
  *deg = negative ? -d : d;
  *min = m;
  *sec = s;
}

int STRtoINT(const char* str, int first, int last) {
  if (str == nullptr || first < 0 || last < first) return 0;
  // The field must start inside the text: nothing past the terminator is read.
  for (int i = 0; i < first; ++i) {
    if (str[i] == '\0') return 0;
  }
  const bool negative = str[first] == '-';
  // Magnitudes saturate at 2^31, which is -INT_MIN and one more than INT_MAX.
  constexpr long long kLimit = -static_cast<long long>(INT_MIN);
  long long value = 0;
  for (long long i = first; i <= last; ++i) {  // 64-bit: last may be INT_MAX
    const unsigned char c = static_cast<unsigned char>(str[i]);
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      if (value > kLimit) value = kLimit;
    } else {
      value = 0;  // any non-digit starts a new run
      if (c == '\0') break;
    }
  }
  if (negative) return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace geoconv
