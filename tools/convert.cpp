#include "convert.hpp"

#include <geoconv/geoconv.hpp>

#include <charconv>
#include <cstdint>
#include <cstring>

namespace geoconv_tool {

namespace {

// How a result is written: lengths with N decimals, angles with N + 3, whole
// numbers (DMS degrees and minutes) with none.
enum class Unit { kLength, kAngle, kWhole };

using Run = int (*)(std::FILE* diagnostics, const double* in, const geoconv::Site& site,
                   double* out);

}  // namespace

struct Command {
  const char* name;
  const char* reads;
  const char* writes;
  int inputs;
  bool site;
  Unit units[3];
  Run run;
};

namespace {

using geoconv::FEET_TO_METRES;

const Command kCommands[] = {
    {"lla2efg", "lat lon alt(ft)", "E F G (m)", 3, false,
     {Unit::kLength, Unit::kLength, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       return geoconv::LLA84toEFG84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"efg2lla", "E F G (m)", "lat lon alt(ft)", 3, false,
     {Unit::kAngle, Unit::kAngle, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       return geoconv::EFG84toLLA84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"aer2xyz", "az el range", "x y z (unit of range)", 3, false,
     {Unit::kLength, Unit::kLength, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       geoconv::AERtoXYZ(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
       return 0;
     }},
    {"xyz2aer", "x y z", "az el range", 3, false, {Unit::kAngle, Unit::kAngle, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       geoconv::XYZtoAER(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
       return 0;
     }},
    {"aer2lla", "az el range(ft)", "lat lon alt(ft), seen from --site", 3, true,
     {Unit::kAngle, Unit::kAngle, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site& s, double* out) {
       return s.AERtoLLA84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"aer2efg", "az el range(ft)", "E F G (m), seen from --site", 3, true,
     {Unit::kLength, Unit::kLength, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site& s, double* out) {
       return s.AERtoEFG84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"efg2aer", "E F G (m)", "az el range(ft), seen from --site", 3, true,
     {Unit::kAngle, Unit::kAngle, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site& s, double* out) {
       return s.EFG84toAER(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"efg84to72", "E F G (m)", "E72 F72 G72 (m)", 3, false,
     {Unit::kLength, Unit::kLength, Unit::kLength},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       return geoconv::EFG84toEFG72(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"dms", "angle (deg)", "deg min sec", 1, false, {Unit::kWhole, Unit::kWhole, Unit::kLength},
     [](std::FILE*, const double* in, const geoconv::Site&, double* out) {
       geoconv::DEGtoDMS(in[0], &out[0], &out[1], &out[2]);
       return 0;
     }},
};

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

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
std::size_t format_fixed_exact(char*, double, int) { return 0; }  // to_chars does it all
#endif

}  // namespace

const Command* find_command(std::string_view name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

bool needs_site(const Command& command) { return command.site; }

std::string command_list() {
  std::string text;
  for (const Command& c : kCommands) {
    std::string line = "  ";
    line += c.name;
    line.resize(13, ' ');
    line += c.reads;
    line.resize(31, ' ');
    line += "-> ";
    line += c.writes;
    text += line + "\n";
  }
  return text;
}

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
  const auto [stop, ec] = std::from_chars(begin, end, *value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range && stop == end) {
    *why = "number out of range";
    return false;
  }
  if (ec != std::errc() || stop != end) {
    *why = "not a number";
    return false;
  }
  return true;
}

int parse_fields(std::string_view text, double* values, int max_fields, std::string_view* bad,
                 const char** why) {
  int count = 0;
  std::size_t i = 0;
  const std::size_t n = text.size();
  for (;;) {
    while (i < n && is_separator(text[i])) ++i;
    if (i == n) return count;
    std::size_t j = i;
    while (j < n && !is_separator(text[j])) ++j;
    if (count < max_fields) {
      const std::string_view field = text.substr(i, j - i);
      if (!parse_number(field, &values[count], why)) {
        *bad = field;
        return -1;
      }
    }
    ++count;
    i = j;
  }
}

Converter::Converter(const Command& command, const geoconv::Site& site, int decimals)
    : command_(command),
      site_(site),
      length_decimals_(decimals),
      angle_decimals_(decimals + 3),
      diagnostics_(fmemopen(message_, sizeof message_, "w")) {}

Converter::~Converter() {
  if (diagnostics_ != nullptr) std::fclose(diagnostics_);
}

std::size_t Converter::error(char* out, std::string_view reason, std::string_view detail) {
  char* p = out;
  std::memcpy(p, "ERROR: ", 7);
  p += 7;
  std::memcpy(p, reason.data(), reason.size());
  p += reason.size();
  if (!detail.empty()) {
    constexpr std::size_t kShown = 40;
    std::memcpy(p, ": '", 3);
    p += 3;
    const std::size_t shown = detail.size() > kShown ? kShown : detail.size();
    std::memcpy(p, detail.data(), shown);
    p += shown;
    if (shown < detail.size()) {
      std::memcpy(p, "...", 3);
      p += 3;
    }
    *p++ = '\'';
  }
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

std::size_t format_fixed(char* out, double value, int decimals) {
  const std::size_t n = format_fixed_exact(out, value, decimals);
  if (n != 0) return n;
  // 400 bytes hold any double at 23 decimals.
  const auto result = std::to_chars(out, out + 400, value, std::chars_format::fixed, decimals);
  return static_cast<std::size_t>(result.ptr - out);
}

std::size_t Converter::convert_line(std::string_view line, char* out, bool* failed) {
  *failed = false;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::size_t first = 0;
  while (first < line.size() && (line[first] == ' ' || line[first] == '\t')) ++first;
  if (first == line.size() || line[first] == '#') {
    std::memcpy(out, line.data(), line.size());
    out[line.size()] = '\n';
    return line.size() + 1;
  }

  double in[3];
  std::string_view bad;
  const char* why = nullptr;
  const int found = parse_fields(line, in, command_.inputs, &bad, &why);
  *failed = true;
  if (found < 0) return error(out, why, bad);
  if (found != command_.inputs) {
    char reason[64];
    std::snprintf(reason, sizeof reason, "expected %d number%s, found %d", command_.inputs,
                  command_.inputs == 1 ? "" : "s", found);
    return error(out, reason);
  }

  double result[3];
  if (command_.run(diagnostics_, in, site_, result) != 0) {
    std::string_view message = "conversion failed";
    if (diagnostics_ != nullptr) {
      std::fflush(diagnostics_);
      const long length = std::ftell(diagnostics_);
      std::rewind(diagnostics_);
      if (length > 0) message = std::string_view(message_, static_cast<std::size_t>(length));
      // The library's line without its newline (and the blank before it).
      while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.remove_suffix(1);
      }
    }
    return error(out, message);
  }
  *failed = false;

  char* p = out;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) *p++ = ' ';
    const Unit unit = command_.units[i];
    const int decimals = unit == Unit::kAngle    ? angle_decimals_
                         : unit == Unit::kLength ? length_decimals_
                                                 : 0;
    p += format_fixed(p, result[i], decimals);
  }
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

std::size_t Converter::convert_text(std::string_view text, std::string* out) {
  std::size_t errors = 0;
  std::string line_out(kMaxOutputLine, '\0');
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    bool failed = false;
    out->append(line_out.data(), convert_line(line, line_out.data(), &failed));
    errors += failed ? 1 : 0;
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
  }
  return errors;
}

}  // namespace geoconv_tool
