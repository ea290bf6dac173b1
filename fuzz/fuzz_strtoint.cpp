// STRtoINT on arbitrary bytes (embedded zero bytes included) with arbitrary
// indexes around the text, against a model that reads the field backwards:
// the value is the run of digits that ends at `last`, and a field that
// reaches the terminator (or starts outside the text) gives 0.

#include <geoconv/geoconv.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The text in a buffer of exactly its size plus the terminator, so that
  // AddressSanitizer flags any read beyond it.
  std::vector<char> text(data + 2, data + size);
  text.push_back('\0');
  const long long span = static_cast<long long>(size) + 2, length = std::strlen(text.data());
  const int first = static_cast<int>(data[0] % span) - 2, last = static_cast<int>(data[1] % span) - 2;
  long long value = 0, start = last + 1;
  if (first >= 0 && last >= first && last < length) {
    while (start > first && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
    for (long long i = start; i <= last; ++i) value = std::min(value * 10 + (text[i] - '0'), 2147483648LL);
    if (text[first] == '-') value = -value;
  }
  FUZZ_CHECK(geoconv::STRtoINT(text.data(), first, last) == std::min(value, 2147483647LL));
  FUZZ_CHECK(geoconv::STRtoINT(nullptr, first, last) == 0);
  return 0;
}
