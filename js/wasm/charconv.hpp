// std::from_chars and std::to_chars for double, which the libc++ of
// emscripten 3.1.6 lacks, for compiling the converter's line engine
// (tools/convert.cpp) into WebAssembly. Force-included (-include) in that
// build only. They read and write exactly as libstdc++'s do for what the
// converter asks of them (general format in, fixed notation with a precision
// out), so the page gives the converter's lines and ERROR reasons:
//
//   from_chars: an optional '-', then "inf" or "infinity", "nan" or
//   "nan(chars)" (any case; chars of [A-Za-z0-9_]), or decimal digits with an
//   optional point and an optional exponent (taken only when it has digits).
//   The value is musl's strtod of that text, correctly rounded as
//   from_chars is. A finite text whose value overflows to infinity or
//   underflows to zero gives result_out_of_range, as libstdc++'s does (a
//   subnormal result is accepted).
//
//   to_chars fixed: musl's snprintf "%.*f", which is exact.

#ifndef GEOCONV_JS_CHARCONV_HPP
#define GEOCONV_JS_CHARCONV_HPP

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace geoconv_js {

inline bool same_letters(const char* p, const char* end, const char* word) {
  for (; *word != '\0'; ++p, ++word) {
    if (p == end || (*p | 0x20) != *word) return false;
  }
  return true;
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_payload(char c) {  // what may stand in "nan(...)"
  return is_digit(c) || c == '_' || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

}  // namespace geoconv_js

namespace std {

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format) {
  using geoconv_js::is_digit;
  using geoconv_js::same_letters;
  const char* p = first;
  const bool negative = p != last && *p == '-';
  if (negative) ++p;
  if (same_letters(p, last, "inf")) {
    p += same_letters(p, last, "infinity") ? 8 : 3;
    value = negative ? -HUGE_VAL : HUGE_VAL;
    return {p, errc()};
  }
  if (same_letters(p, last, "nan")) {
    p += 3;
    if (p != last && *p == '(') {
      const char* q = p + 1;
      while (q != last && geoconv_js::is_payload(*q)) ++q;
      if (q != last && *q == ')') p = q + 1;
    }
    value = negative ? -NAN : NAN;
    return {p, errc()};
  }
  bool any_digit = false, nonzero = false;
  for (; p != last && is_digit(*p); ++p) any_digit = true, nonzero |= *p != '0';
  if (p != last && *p == '.') {
    for (++p; p != last && is_digit(*p); ++p) any_digit = true, nonzero |= *p != '0';
  }
  if (!any_digit) return {first, errc::invalid_argument};
  if (p != last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q != last && (*q == '+' || *q == '-')) ++q;
    if (q != last && is_digit(*q)) {
      while (q != last && is_digit(*q)) ++q;
      p = q;
    }
  }
  const std::string text(first, p);  // strtod needs a terminator
  const double parsed = std::strtod(text.c_str(), nullptr);
  if (std::isinf(parsed) || (parsed == 0.0 && nonzero)) return {p, errc::result_out_of_range};
  value = parsed;
  return {p, errc()};
}

inline to_chars_result to_chars(char* first, char* last, double value, chars_format,
                                int precision) {
  char text[512];  // any double at up to 100 decimals
  const int n = std::snprintf(text, sizeof text, "%.*f", precision, value);
  if (n < 0 || n >= static_cast<int>(sizeof text) || n > last - first) {
    return {last, errc::value_too_large};
  }
  std::memcpy(first, text, static_cast<std::size_t>(n));
  return {first + n, errc()};
}

}  // namespace std

#endif
