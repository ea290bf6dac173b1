// The converter's own number reading and writing against the standard ones:
// reading must give what std::from_chars gives (an optional leading '+',
// the whole text, a finite value), writing what printf's "%.*f" writes.
//
// Input: byte 0 picks the test. Reading: the other bytes are the text, mapped
// onto digits, signs, points and exponents when byte 0 is even so that most
// texts are numbers. Writing: 8 bytes are a double (raw bits, or a decimal
// integer scaled by a power of ten, as the converter usually writes), then
// the decimals.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "check.hpp"
#include <geoconv/lines.hpp>

namespace {

void check_reading(const std::uint8_t* data, std::size_t size, bool number_like) {
  static const char kAlphabet[] = "0123456789012345678901234567890123456789.-+eE";
  std::string text;
  for (std::size_t i = 0; i < size && i < 40; ++i) {
    text += number_like ? kAlphabet[data[i] % (sizeof kAlphabet - 1)] : static_cast<char>(data[i]);
  }
  double ours = 0.0, theirs = 0.0;
  const char* why = nullptr;
  const bool ok = geoconv::lines::parse_number(text, &ours, &why);
  const char* b = text.data();
  const char* e = b + text.size();
  if (e - b > 1 && *b == '+' && b[1] != '-' && b[1] != '+') ++b;
  const auto r = std::from_chars(b, e, theirs, std::chars_format::general);
  const bool theirs_ok = r.ec == std::errc() && r.ptr == e && std::isfinite(theirs);
  FUZZ_CHECK(ok == theirs_ok);
  if (ok) FUZZ_CHECK(std::memcmp(&ours, &theirs, sizeof ours) == 0);
  if (!ok) FUZZ_CHECK(why != nullptr);
}

void check_writing(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return;
  std::uint64_t bits;
  std::memcpy(&bits, data, sizeof bits);
  double v;
  if (data[8] % 2 == 0) {
    std::memcpy(&v, &bits, sizeof v);
  } else {
    v = static_cast<double>(static_cast<std::int64_t>(bits) >> (data[8] % 40)) /
        std::pow(10.0, data[8] % 23);
  }
  if (!std::isfinite(v)) return;
  const int decimals = data[9] % 24;
  char ours[512], theirs[512];
  const std::size_t n = geoconv::lines::format_fixed(ours, v, decimals);
  std::snprintf(theirs, sizeof theirs, "%.*f", decimals, v);
  FUZZ_CHECK(std::string(ours, n) == theirs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 3 == 2) {
    check_writing(data + 1, size - 1);
  } else {
    check_reading(data + 1, size - 1, data[0] % 3 == 0);
  }
  return 0;
}
