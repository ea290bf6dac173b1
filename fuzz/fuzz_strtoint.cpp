// STRtoINT on arbitrary bytes (embedded zero bytes included) with arbitrary
// indexes around the text, compared with a model that reads the field
// backwards: the value is the run of digits that ends at `last`.

#include <geoconv/geoconv.hpp>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "check.hpp"

namespace {

int model(const char* s, int first, int last) {
  if (s == nullptr || first < 0 || last < first) return 0;
  const long long length = static_cast<long long>(std::strlen(s));
  if (last >= length) return 0;  // the terminator is inside the field
  long long start = last + 1;
  while (start > first && s[start - 1] >= '0' && s[start - 1] <= '9') --start;
  long long value = 0;
  for (long long i = start; i <= last; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  if (s[first] == '-') return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The text is the rest of the input in a buffer of exactly its size plus
  // the terminator, so AddressSanitizer flags any read beyond it.
  const std::size_t n = size - 2;
  std::vector<char> text(data + 2, data + size);
  text.push_back('\0');
  const int span = static_cast<int>(n) + 4;
  const int first = data[0] % span - 2;  // -2 .. n+1
  const int last = data[1] % span - 2;
  const int value = geoconv::STRtoINT(text.data(), first, last);
  FUZZ_CHECK(value == model(text.data(), first, last));
  FUZZ_CHECK(geoconv::STRtoINT(nullptr, first, last) == 0);
  return 0;
}
