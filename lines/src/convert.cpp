// The converter's line engine: commands, field reading, lines, results and
// ERROR lines. Number reading and writing are in numbers.cpp.

#include "convert.hpp"

#include <cmath>
#include <cstring>
#include <vector>

namespace geoconv_tool {

namespace {

// How a result is written: lengths with N decimals, angles with N + 3, whole
// numbers (DMS degrees and minutes) with none, DMS seconds with N and carried
// into the minutes when they round to 60.
enum class Unit { kLength, kAngle, kWhole, kSeconds };

using Run = int (*)(std::FILE* diagnostics, const double* in, const geoconv::Site& site,
                    double* out);

}  // namespace

struct Command {
  const char* name;
  const char* reads;
  const char* writes;
  const char* results[3];  // the results' names, for ERROR lines
  int inputs;
  bool site;
  Unit units[3];
  Run run;
};

namespace {

constexpr Unit kL = Unit::kLength, kA = Unit::kAngle;

const Command kCommands[] = {
    {"lla2efg", "lat lon alt(ft)", "E F G (m)", {"E", "F", "G"}, 3, false, {kL, kL, kL},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       return geoconv::LLA84toEFG84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"efg2lla", "E F G (m)", "lat lon alt(ft)", {"lat", "lon", "alt"}, 3, false, {kA, kA, kL},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       return geoconv::EFG84toLLA84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"aer2xyz", "az el range", "x y z (unit of range)", {"x", "y", "z"}, 3, false, {kL, kL, kL},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       geoconv::AERtoXYZ(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
       return 0;
     }},
    {"xyz2aer", "x y z", "az el range", {"az", "el", "range"}, 3, false, {kA, kA, kL},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       geoconv::XYZtoAER(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
       return 0;
     }},
    {"aer2lla", "az el range(ft)", "lat lon alt(ft), seen from --site", {"lat", "lon", "alt"}, 3,
     true, {kA, kA, kL},
     [](std::FILE* d, const double* in, const geoconv::Site& s, double* out) {
       return s.AERtoLLA84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"aer2efg", "az el range(ft)", "E F G (m), seen from --site", {"E", "F", "G"}, 3, true,
     {kL, kL, kL},
     [](std::FILE* d, const double* in, const geoconv::Site& s, double* out) {
       return s.AERtoEFG84(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"efg2aer", "E F G (m)", "az el range(ft), seen from --site", {"az", "el", "range"}, 3,
     true, {kA, kA, kL},
     [](std::FILE* d, const double* in, const geoconv::Site& s, double* out) {
       return s.EFG84toAER(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"efg84to72", "E F G (m)", "E72 F72 G72 (m)", {"E72", "F72", "G72"}, 3, false, {kL, kL, kL},
     [](std::FILE* d, const double* in, const geoconv::Site&, double* out) {
       return geoconv::EFG84toEFG72(d, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
     }},
    {"dms", "angle (deg)", "deg min sec", {"deg", "min", "sec"}, 1, false,
     {Unit::kWhole, Unit::kWhole, Unit::kSeconds},
     [](std::FILE*, const double* in, const geoconv::Site&, double* out) {
       geoconv::DEGtoDMS(in[0], &out[0], &out[1], &out[2]);
       return 0;
     }},
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Bytes that end a field: blanks and commas (a table: this scan is the
// converter's hottest loop).
struct FieldEnds {
  bool table[256] = {};
  constexpr FieldEnds() : table{} {
    table[static_cast<unsigned char>(' ')] = table[static_cast<unsigned char>('\t')] =
        table[static_cast<unsigned char>(',')] = true;
  }
};
constexpr FieldEnds kFieldEnd;

// Appends a field as an ERROR line shows it: quoted, at most its first 40
// bytes (not cutting a UTF-8 sequence), with control bytes and backslashes
// escaped so that the line stays one readable line.
void append_shown(std::string* s, std::string_view field) {
  constexpr std::size_t kShown = 40;
  std::size_t shown = field.size();
  if (shown > kShown) {
    shown = kShown;
    while (shown > 0 && (static_cast<unsigned char>(field[shown]) & 0xC0) == 0x80) --shown;
  }
  *s += '\'';
  for (std::size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(field[i]);
    if (c == '\\') {
      *s += "\\\\";
    } else if (c == '\r') {
      *s += "\\r";
    } else if (c == '\t') {
      *s += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      *s += "\\x";
      *s += kHex[c >> 4];
      *s += kHex[c & 15];
    } else {
      *s += static_cast<char>(c);
    }
  }
  if (shown < field.size()) *s += "...";
  *s += '\'';
}

void empty_field(std::string* why, int number) {
  *why = "field " + std::to_string(number) + " is empty";
}

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

namespace {

// Calls field(text) for each field of a line in order, empty ones included,
// and stops early when it returns false. Returns false when it stopped.
template <class Field>
bool each_field(std::string_view text, Field&& field) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && is_blank(text[i])) ++i;
  if (i == n) return true;
  for (;;) {
    std::size_t j = i;
    while (j < n && !kFieldEnd.table[static_cast<unsigned char>(text[j])]) ++j;
    if (!field(std::string_view(text.data() + i, j - i))) return false;
    // One separator: blanks, or a comma with any blanks around it.
    while (j < n && is_blank(text[j])) ++j;
    if (j == n) return true;
    if (text[j] == ',') {
      ++j;
      while (j < n && is_blank(text[j])) ++j;
      if (j == n) return field(std::string_view());  // a trailing comma
    }
    i = j;
  }
}

// Why a field (the number-th of its line) is refused, for an ERROR line:
// empty, or not a number for the reason given. Always false.
bool refuse(std::string* why, std::string_view field, int number, const char* reason) {
  if (field.empty()) {
    empty_field(why, number);
  } else {
    *why = reason;
    *why += ": ";
    append_shown(why, field);
  }
  return false;
}

}  // namespace

int parse_fields(std::string_view text, double* values, int max_fields, std::string* why) {
  int count = 0;
  const bool whole = each_field(text, [&](std::string_view field) {
    const char* reason = nullptr;
    ++count;
    return (!field.empty() &&
            (count > max_fields || parse_number(field, &values[count - 1], &reason))) ||
           refuse(why, field, count, reason);
  });
  return whole ? count : -1;
}

void split_fields(std::string_view text, std::vector<std::string_view>* fields) {
  fields->clear();
  each_field(text, [fields](std::string_view field) { return fields->push_back(field), true; });
}

std::string result_names(const Command& command) {
  return std::string(command.results[0]) + " " + command.results[1] + " " + command.results[2];
}

bool parse_site(std::string_view text, geoconv::Site* site, std::string* why) {
  double v[3];
  const int found = parse_fields(text, v, 3, why);
  if (found < 0) return false;
  if (found != 3) {
    *why = "expected LAT,LON,ALT";
    return false;
  }
  char message[256] = "";
  std::FILE* capture = fmemopen(message, sizeof message - 1, "w");
  const geoconv::Site placed(capture, v[0], v[1], v[2]);
  if (capture != nullptr) std::fclose(capture);
  if (!placed.valid()) {
    *why = message;
    while (!why->empty() && (why->back() == '\n' || why->back() == ' ')) why->pop_back();
    return false;
  }
  *site = placed;
  return true;
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

bool Converter::pick_columns(const std::vector<std::size_t>& positions) {
  if (positions.size() != static_cast<std::size_t>(command_.inputs)) return false;
  columns_ = positions;
  return true;
}

void Converter::error(std::string* out, const char* reason, std::string_view shown) {
  *out += "ERROR: ";
  *out += reason;
  *out += shown;
  *out += '\n';
  ++errors_;
}

void Converter::feed(std::string_view bytes, std::string* out) {
  // A byte-order mark may arrive split over several reads: its bytes wait in
  // pending_ until they are known to be one.
  static constexpr char kBom[] = "\xEF\xBB\xBF";
  while (at_start_ && !bytes.empty()) {
    if (bytes[0] != kBom[pending_.size()]) {
      at_start_ = false;  // what is pending is the start of the first line
      break;
    }
    pending_ += bytes[0];
    bytes.remove_prefix(1);
    if (pending_.size() == 3) {
      pending_.clear();
      at_start_ = false;
    }
  }
  // The longest a line can be before its '\n': the limit, plus a '\r'.
  constexpr std::size_t kMaxPending = kMaxLineLength + 1;
  while (!bytes.empty()) {
    const void* nl = std::memchr(bytes.data(), '\n', bytes.size());
    if (nl == nullptr) {
      if (skipping_) return;
      if (pending_.size() + bytes.size() > kMaxPending) {
        error(out, "line longer than 65536 characters");
        pending_.clear();
        skipping_ = true;
      } else {
        pending_.append(bytes);
      }
      return;
    }
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(nl) - bytes.data());
    if (skipping_) {
      skipping_ = false;
    } else if (pending_.empty()) {
      line(bytes.substr(0, length), out);
    } else if (pending_.size() + length > kMaxPending) {
      error(out, "line longer than 65536 characters");
      pending_.clear();
    } else {
      pending_.append(bytes.data(), length);
      line(pending_, out);
      pending_.clear();
    }
    bytes.remove_prefix(length + 1);
  }
}

void Converter::finish(std::string* out) {
  if (!skipping_ && !pending_.empty()) line(pending_, out);
  pending_.clear();
  skipping_ = false;
  at_start_ = true;
}

std::size_t Converter::convert_text(std::string_view text, std::string* out) {
  const std::size_t before = errors_;
  feed(text, out);
  finish(out);
  return errors_ - before;
}

void Converter::line(std::string_view text, std::string* out) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.size() > kMaxLineLength) return error(out, "line longer than 65536 characters");
  std::size_t first = 0;
  while (first < text.size() && is_blank(text[first])) ++first;
  if (first == text.size() || text[first] == '#') {
    *out += text;
    *out += '\n';
    return;
  }

  double in[3];
  std::string why;
  int found = command_.inputs;
  if (columns_.empty()) {
    found = parse_fields(text, in, command_.inputs, &why);
  } else {
    // Picked columns: a field the line lacks counts as empty.
    split_fields(text, &fields_);
    for (std::size_t i = 0; i < columns_.size() && found >= 0; ++i) {
      const std::size_t at = columns_[i];
      const std::string_view field = at < fields_.size() ? fields_[at] : std::string_view();
      const char* reason = nullptr;
      if (field.empty() || !parse_number(field, &in[i], &reason)) {
        refuse(&why, field, static_cast<int>(at) + 1, reason);
        found = -1;
      }
    }
  }
  if (found < 0) return error(out, why.c_str());
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
    return error(out, std::string(message).c_str());
  }
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(result[i])) {
      const std::string reason = std::string("result not finite: ") + command_.results[i] +
                                 " = " + (std::isnan(result[i]) ? "nan" : result[i] > 0 ? "inf" : "-inf");
      return error(out, reason.c_str());
    }
  }
  char buffer[3 * 400 + 8];
  char* p = buffer;
  if (command_.units[2] == Unit::kSeconds) {
    p += dms(result, p);
  } else {
    for (int i = 0; i < 3; ++i) {
      if (i > 0) *p++ = ' ';
      const int decimals = command_.units[i] == Unit::kAngle ? angle_decimals_ : length_decimals_;
      p += format_fixed(p, result[i], decimals);
    }
  }
  *p++ = '\n';
  out->append(buffer, static_cast<std::size_t>(p - buffer));
}

// Degrees, minutes and seconds as valid DMS text: the library's seconds come
// unrounded and may lie a hair below 0 (when the minutes rounded up) or round
// to 60; they are brought into [0, 60) at the printed decimals, the minutes
// and degrees adjusted, and the angle's sign stays on the degrees.
std::size_t Converter::dms(const double* value, char* out) {
  const bool negative = std::signbit(value[0]);
  double degrees = std::fabs(value[0]), minutes = value[1], seconds = value[2];
  if (seconds < 0.0) {  // only when minutes >= 1: take one back
    seconds += 60.0;
    minutes -= 1.0;
  }
  char sec[400];
  std::size_t n = format_fixed(sec, seconds, length_decimals_);
  // Seconds of two digits or more that start "60" round to 60: carry. (With
  // no decimals a single digit "6" is six seconds, and sec[1] is unwritten.)
  if (n >= 2 && sec[0] == '6' && sec[1] == '0') {
    seconds = std::fmax(seconds - 60.0, 0.0);
    n = format_fixed(sec, seconds, length_decimals_);
    minutes += 1.0;
    if (minutes == 60.0) {
      minutes = 0.0;
      degrees += 1.0;
    }
  }
  char* p = out;
  if (negative) *p++ = '-';
  p += format_fixed(p, degrees, 0);
  *p++ = ' ';
  p += format_fixed(p, minutes, 0);
  *p++ = ' ';
  std::memcpy(p, sec, n);
  return static_cast<std::size_t>(p + n - out);
}

}  // namespace geoconv_tool
