// The converter's line engine on arbitrary bytes: one output line for every
// input line, ERROR lines free of control bytes, the same output however the
// input is split into reads, and every converted line made of finite
// numbers.
//
// Input: byte 0 picks the command, byte 1 the decimals, byte 2 where the
// input is split; the rest is the input.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "check.hpp"
#include <geoconv/lines.hpp>

namespace {

const char* const kCommands[] = {"lla2efg", "efg2lla",   "aer2xyz", "xyz2aer", "aer2lla",
                                 "aer2efg", "efg2aer",   "efg84to72", "dms"};

std::size_t lines_in(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t n = 0;
  for (char c : text) n += c == '\n';
  return n + (!text.empty() && text.back() != '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const auto* command = geoconv::lines::find_command(kCommands[data[0] % 9]);
  const geoconv::Site site(51.47222222, -1.25, 300.0);
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

  std::string whole, split;
  geoconv::lines::Converter one(*command, site, data[1] % 21), two(*command, site, data[1] % 21);
  const std::size_t errors = one.convert_text(text, &whole);
  // The same input fed in pieces of 1 to 8 bytes, then the rest at once.
  std::size_t at = 0;
  for (std::size_t piece = 1 + data[2] % 8; at + piece < text.size() && at < 64; at += piece) {
    two.feed(text.substr(at, piece), &split);
  }
  two.feed(text.substr(at), &split);
  two.finish(&split);
  FUZZ_CHECK(split == whole);
  FUZZ_CHECK(two.errors() == errors);

  std::size_t lines = 0, error_lines = 0;
  for (std::size_t start = 0; start < whole.size(); ++lines) {
    const std::size_t end = whole.find('\n', start);
    FUZZ_CHECK(end != std::string::npos);
    const std::string_view line(whole.data() + start, end - start);
    if (line.substr(0, 7) == "ERROR: ") {
      ++error_lines;
      for (char c : line) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    } else if (line.find_first_not_of(" \t") != std::string_view::npos &&
               line[line.find_first_not_of(" \t")] != '#') {
      // Three numbers in fixed notation: digits, one point, a leading sign.
      FUZZ_CHECK(line.find_first_not_of("0123456789.- ") == std::string_view::npos);
      FUZZ_CHECK(line.find("nan") == std::string_view::npos);
    }
    start = end + 1;
  }
  FUZZ_CHECK(lines == lines_in(text));
  FUZZ_CHECK(error_lines == errors);
  return 0;
}
