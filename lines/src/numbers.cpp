// The converter's number reading and writing: exact and fast. Reading gives
// what std::from_chars gives; writing gives what printf's "%.*f" writes.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include <geoconv/lines.hpp>

namespace geoconv::lines {

namespace {

constexpr std::uint64_t kPow10[] = {1ULL,
                                    10ULL,
                                    100ULL,
                                    1000ULL,
                                    10000ULL,
                                    100000ULL,
                                    1000000ULL,
                                    10000000ULL,
                                    100000000ULL,
                                    1000000000ULL,
                                    10000000000ULL,
                                    100000000000ULL,
                                    1000000000000ULL,
                                    10000000000000ULL,
                                    100000000000000ULL,
                                    1000000000000000ULL,
                                    10000000000000000ULL,
                                    100000000000000000ULL,
                                    1000000000000000000ULL,
                                    10000000000000000000ULL};

// Exact powers of ten as doubles (10^22 is the last one).
constexpr double kPow10Double[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals ("-51.4722", "10", ".5") whose digits form an integer of at
// most 2^53 and that have at most 22 decimals: the integer and the power of
// ten are exact doubles, so one correctly rounded division gives the correctly
// rounded value, the same as from_chars. Anything else returns false.
bool parse_plain_decimal(const char* p, const char* end, double* value) {
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  std::uint64_t digits = 0;
  int count = 0, decimals = 0;
  bool point = false;
  for (; p != end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      if (++count > 16) return false;
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      if (point) ++decimals;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (count == 0 || digits > (1ULL << 53)) return false;
  const double d = static_cast<double>(digits) / kPow10Double[decimals];
  *value = negative ? -d : d;
  return true;
}

// Correctly rounded fixed notation of a finite double with at most 19
// decimals, exactly as printf's "%.*f" writes it (ties to even, the minus
// sign kept for values that round to zero): value = m * 2^e exactly, so
// m * 10^decimals / 2^-e is rounded in 128-bit integers. Returns 0 when the
// value is out of this path's reach (large, non-finite, too many decimals).
#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 u128;

std::size_t format_fixed_exact(char* out, double value, int decimals) {
  if (decimals < 0 || decimals > 19) return 0;
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const int exponent_field = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t fraction = bits & ((1ULL << 52) - 1);
  if (exponent_field == 0x7ff) return 0;
  const std::uint64_t m = exponent_field == 0 ? fraction : fraction | (1ULL << 52);
  const int shift = exponent_field == 0 ? 1074 : 1075 - exponent_field;  // value = m / 2^shift
  if (shift < 0) return 0;
  const u128 scaled = static_cast<u128>(m) * kPow10[decimals];  // below 2^117
  u128 q;
  if (shift == 0) {
    q = scaled;
  } else if (shift >= 118) {
    q = 0;  // below 2^(shift-1): less than one half
  } else {
    q = scaled >> shift;
    const u128 rest = scaled & ((static_cast<u128>(1) << shift) - 1);
    const u128 half = static_cast<u128>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  }
  if (q >> 64 != 0) return 0;
  // Digits from the last, two at a time, at least decimals + 1 of them.
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  std::uint64_t n = static_cast<std::uint64_t>(q);
  char digits[24];
  int len = 0;
  while (n >= 100) {
    const std::size_t pair = static_cast<std::size_t>(n % 100) * 2;
    n /= 100;
    digits[len++] = kPairs[pair + 1];
    digits[len++] = kPairs[pair];
  }
  digits[len++] = static_cast<char>('0' + n % 10);
  if (n >= 10) digits[len++] = static_cast<char>('0' + n / 10);
  while (len <= decimals) digits[len++] = '0';
  char* p = out;
  if (negative) *p++ = '-';
  for (int i = len - 1; i >= decimals; --i) *p++ = digits[i];
  if (decimals > 0) {
    *p++ = '.';
    for (int i = decimals - 1; i >= 0; --i) *p++ = digits[i];
  }
  return static_cast<std::size_t>(p - out);
}
#else
std::size_t format_fixed_exact(char*, double, int) { return 0; }  // write_fixed does it all
#endif

// The standard library's from_chars (general format) and to_chars (fixed
// notation with a precision) for double, where it has them. A standard library
// without them (the libc++ of emscripten 3.1.6, which compiles this engine
// into WebAssembly) gets the same results from the C library: musl's strtod,
// correctly rounded, of the text from_chars would take, and its snprintf
// "%.*f", which is exact.
#if defined(__cpp_lib_to_chars)
std::from_chars_result read_general(const char* first, const char* last, double* value) {
  return std::from_chars(first, last, *value, std::chars_format::general);
}
std::to_chars_result write_fixed(char* first, char* last, double value, int decimals) {
  return std::to_chars(first, last, value, std::chars_format::fixed, decimals);
}
#else
bool same_letters(const char* p, const char* end, const char* word) {
  for (; *word != '\0'; ++p, ++word) {
    if (p == end || (*p | 0x20) != *word) return false;
  }
  return true;
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_payload(char c) {  // what may stand in "nan(...)"
  return is_digit(c) || c == '_' || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// What libstdc++'s from_chars takes: an optional '-', then "inf" or
// "infinity", "nan" or "nan(chars)" (any case), or decimal digits with an
// optional point and an optional exponent (taken only when it has digits). A
// finite text whose value overflows to infinity or underflows to zero is out
// of range (a subnormal value is not).
std::from_chars_result read_general(const char* first, const char* last, double* value) {
  const char* p = first;
  const bool negative = p != last && *p == '-';
  if (negative) ++p;
  if (same_letters(p, last, "inf")) {
    *value = negative ? -HUGE_VAL : HUGE_VAL;
    return {p + (same_letters(p, last, "infinity") ? 8 : 3), std::errc()};
  }
  if (same_letters(p, last, "nan")) {
    p += 3;
    if (p != last && *p == '(') {
      const char* q = p + 1;
      while (q != last && is_payload(*q)) ++q;
      if (q != last && *q == ')') p = q + 1;
    }
    *value = negative ? -NAN : NAN;
    return {p, std::errc()};
  }
  bool any_digit = false, nonzero = false;
  for (; p != last && is_digit(*p); ++p) any_digit = true, nonzero |= *p != '0';
  if (p != last && *p == '.') {
    for (++p; p != last && is_digit(*p); ++p) any_digit = true, nonzero |= *p != '0';
  }
  if (!any_digit) return {first, std::errc::invalid_argument};
  if (p != last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q != last && (*q == '+' || *q == '-')) ++q;
    if (q != last && is_digit(*q)) {
      while (q != last && is_digit(*q)) ++q;
      p = q;
    }
  }
  const double parsed = std::strtod(std::string(first, p).c_str(), nullptr);
  if (std::isinf(parsed) || (parsed == 0.0 && nonzero)) return {p, std::errc::result_out_of_range};
  *value = parsed;
  return {p, std::errc()};
}

std::to_chars_result write_fixed(char* first, char* last, double value, int decimals) {
  char text[512];  // any double at up to 100 decimals
  const int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
  if (n < 0 || n >= static_cast<int>(sizeof text) || n > last - first) {
    return {last, std::errc::value_too_large};
  }
  std::memcpy(first, text, static_cast<std::size_t>(n));
  return {first + n, std::errc()};
}
#endif

}  // namespace

bool parse_number(std::string_view text, double* value, const char** why) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  // from_chars takes a '-' of its own; a second sign after '+' is not a number.
  if (begin == end || (begin != text.data() && *begin == '-')) {
    *why = "not a number";
    return false;
  }
  if (parse_plain_decimal(begin, end, value)) return true;
  const auto [stop, ec] = read_general(begin, end, value);
  if (ec == std::errc::result_out_of_range && stop == end) {
    *why = "number out of range";
    return false;
  }
  if (ec != std::errc() || stop != end) {
    *why = "not a number";
    return false;
  }
  if (!std::isfinite(*value)) {  // "nan", "inf", "infinity" read as numbers
    *why = "not a finite number";
    return false;
  }
  return true;
}

bool parse_decimals(std::string_view text, int* decimals, std::string* why) {
  int value = 0;
  bool good = !text.empty() && text.size() <= 2;
  for (std::size_t i = 0; good && i < text.size(); ++i) {
    good = text[i] >= '0' && text[i] <= '9';
    value = value * 10 + (text[i] - '0');
  }
  if (!good || value > kMaxDecimals) {
    *why = "bad precision '" + std::string(text) + "': expected a whole number from 0 to " +
           std::to_string(kMaxDecimals);
    return false;
  }
  *decimals = value;
  return true;
}

std::size_t format_fixed(char* out, double value, int decimals) {
  const std::size_t n = format_fixed_exact(out, value, decimals);
  if (n != 0) return n;
  // 400 bytes hold any double at 23 decimals.
  const auto result = write_fixed(out, out + 400, value, decimals);
  return static_cast<std::size_t>(result.ptr - out);
}

}  // namespace geoconv::lines
