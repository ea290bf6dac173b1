// The converter's line engine: commands, field reading, lines, results and
// ERROR lines. Number reading and writing are in numbers.cpp.

#include <geoconv/lines.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace geoconv::lines {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The reason an over-long line gives.
const std::string& too_long() {
  static const std::string reason =
      "line longer than " + std::to_string(kMaxLineLength) + " characters";
  return reason;
}

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

// Quantities as --help names them: the names, each run of one unit followed
// by it in parentheses ("lat lon (deg) alt (ft)"). A unit that is the
// quantity's own name ("deg"), a pure number's and the shared length of
// AERtoXYZ and XYZtoAER are not written.
std::string named(const Quantity* q, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += (i > 0 ? " " : "") + std::string(q[i].name);
    const std::string unit = symbol(q[i].unit);
    if ((i + 1 == n || q[i + 1].unit != q[i].unit) && q[i].unit != Unit::kLength &&
        !unit.empty() && unit != q[i].name) {
      text += " (" + unit + ")";
    }
  }
  return text;
}

// A JSON string of text, which holds no character that needs escaping.
std::string json_string(const char* text) {
  return text == nullptr ? "null" : std::string("\"") + text + "\"";
}

std::string json_quantities(const Quantity* q, int n) {
  std::string text = "[";
  for (int i = 0; i < n; ++i) {
    text += std::string(i > 0 ? ", " : "") + "{\"name\": " + json_string(q[i].name) +
            ", \"unit\": " + json_string(symbol(q[i].unit)) + "}";
  }
  return text + "]";
}

// A worked example's inputs, each in the fewest significant digits (15 to
// 17) that read back as the same double.
std::string json_numbers(const double* v, int n) {
  std::string text = "[";
  for (int i = 0; i < n; ++i) {
    char number[40];
    for (int digits = 15; digits <= 17; ++digits) {
      std::snprintf(number, sizeof number, "%.*g", digits, v[i]);
      if (std::strtod(number, nullptr) == v[i]) break;
    }
    text += std::string(i > 0 ? ", " : "") + number;
  }
  return text + "]";
}

// The faults a routine may give: each one's code and the reason shown.
std::string json_faults(const Fault (&faults)[3]) {
  std::string text = "[";
  for (Fault f : faults) {
    if (f == Fault::kNone) break;
    text += std::string(text.size() > 1 ? ", " : "") + "{\"code\": " +
            std::to_string(static_cast<int>(f)) + ", \"reason\": " + json_string(reason(f)) + "}";
  }
  return text + "]";
}

}  // namespace

const Routine* find_command(std::string_view name) {
  for (int i = 0; i < routine_count(); ++i) {
    const Routine& r = routines()[i];
    if (r.command != nullptr && name == r.command) return &r;
  }
  return nullptr;
}

std::string command_list() {
  // The commands' column fits the longest; inputs that overrun theirs put
  // the outputs on a line of their own, and no line passes 79 characters.
  std::size_t width = 0;
  for (int i = 0; i < routine_count(); ++i) {
    if (routines()[i].command != nullptr) width = std::max(width, std::strlen(routines()[i].command));
  }
  const std::size_t inputs_at = 2 + width + 2, arrow_at = inputs_at + 24;

  std::string text;
  for (int i = 0; i < routine_count(); ++i) {
    const Routine& r = routines()[i];
    if (r.command == nullptr) continue;
    std::string line = "  ";
    line += r.command;
    line.resize(inputs_at, ' ');
    line += named(r.in, r.inputs);
    if (line.size() + 1 > arrow_at) {  // the arrow under the inputs, on a line of its own
      text += line + "\n";
      line.assign(inputs_at, ' ');
    } else {
      line.resize(arrow_at, ' ');
    }
    line += "->";
    const std::size_t indent = line.size() + 1;
    const std::string outputs = named(r.out, r.outputs) + (r.site ? ", from --site" : "");
    for (std::size_t start = 0; start < outputs.size();) {  // word by word, wrapped
      std::size_t end = outputs.find(' ', start);
      if (end == std::string::npos) end = outputs.size();
      if (line.size() + 1 + (end - start) > 79) {
        text += line + "\n";
        line.assign(indent - 1, ' ');
      }
      line += ' ';
      line.append(outputs, start, end - start);
      start = end + 1;
    }
    text += line + "\n";
  }
  return text;
}

std::string site_commands() {
  std::vector<const char*> commands;
  for (int i = 0; i < routine_count(); ++i) {
    const Routine& r = routines()[i];
    if (r.site && r.command != nullptr) commands.push_back(r.command);
  }
  std::string text;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    text += i == 0 ? "" : i + 1 == commands.size() ? " and " : ", ";
    text += commands[i];
  }
  return text;
}

std::string describe_json() {
  std::string text = "{\"version\": \"" GEOCONV_VERSION "\", \"maxDecimals\": " +
                     std::to_string(kMaxDecimals) +
                     ", \"defaultDecimals\": " + std::to_string(kDefaultDecimals) +
                     ", \"constants\": {";
  // Constants with 17 significant digits, which name each double exactly.
  const char* separator = "";
#define GEOCONV_CONSTANT(name, value, about)                                     \
  {                                                                              \
    char number[40];                                                             \
    std::snprintf(number, sizeof number, "%.17g", name);                         \
    text += separator + json_string(#name) + ": " + number;                      \
    separator = ", ";                                                            \
  }
#include <geoconv/constants.def>
  text += "}, \"routines\": [";
  for (int i = 0; i < routine_count(); ++i) {
    const Routine& r = routines()[i];
    text += std::string(i > 0 ? ",\n  " : "\n  ") + "{\"name\": " + json_string(r.name) +
            ", \"summary\": " + json_string(r.summary) + ", \"command\": " +
            json_string(r.command) + ", \"site\": " + (r.site ? "true" : "false") +
            ", \"fails\": " + (r.fails ? "true" : "false") +
            ", \"inputs\": " + json_quantities(r.in, r.inputs) +
            ", \"outputs\": " + json_quantities(r.out, r.outputs) +
            ", \"example\": " + json_numbers(r.example, r.inputs + (r.site ? 3 : 0)) +
            ", \"faults\": " + json_faults(r.faults) + "}";
  }
  return text + "]}";
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

bool parse_site(std::string_view text, Site* site, std::string* why) {
  double v[3];
  const int found = parse_fields(text, v, 3, why);
  if (found < 0) return false;
  if (found != 3) {
    *why = "expected LAT,LON,ALT";
    return false;
  }
  const Site placed(v[0], v[1], v[2]);
  if (!placed.valid()) {
    *why = reason(Fault::kLatitude);
    return false;
  }
  *site = placed;
  return true;
}

Converter::Converter(const Routine& command, const Site& site, int decimals)
    : command_(command), site_(site), length_decimals_(decimals), angle_decimals_(decimals + 3) {}

std::unique_ptr<Converter> Converter::make(std::string_view command, const char* site,
                                           int decimals, std::string* why) {
  const Routine* r = find_command(command);
  Site placed(0.0, 0.0, 0.0);
  if (r == nullptr) {
    *why = "unknown command '" + std::string(command) + "'";
  } else if (decimals < 0 || decimals > kMaxDecimals) {
    *why = "precision must be a whole number from 0 to " + std::to_string(kMaxDecimals);
  } else if (r->site && site == nullptr) {
    *why = "this command needs a site LAT,LON,ALT";
  } else if (!r->site && site != nullptr) {
    *why = "a site applies only to " + site_commands();
  } else if (r->site && !parse_site(site, &placed, why)) {
    *why = "bad site '" + std::string(site) + "': " + *why;
  } else {
    return std::make_unique<Converter>(*r, placed, decimals);
  }
  return nullptr;
}

bool Converter::pick_columns(const std::vector<std::size_t>& positions) {
  if (positions.size() != static_cast<std::size_t>(command_.inputs)) return false;
  columns_ = positions;
  return true;
}

void Converter::error(std::string* out, std::string_view reason, std::string_view shown) {
  *out += "ERROR: ";
  *out += reason;
  *out += shown;
  *out += '\n';
  ++errors_;
}

void Converter::feed(std::string_view bytes, std::string* out) {
  // A byte-order mark may arrive split over several reads: its bytes wait in
  // pending_ until they are known to be one.
  while (at_start_ && !bytes.empty()) {
    if (bytes[0] != kByteOrderMark[pending_.size()]) {
      at_start_ = false;  // what is pending is the start of the first line
      break;
    }
    pending_ += bytes[0];
    bytes.remove_prefix(1);
    if (pending_.size() == kByteOrderMark.size()) {
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
        error(out, too_long());
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
      error(out, too_long());
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
  if (text.size() > kMaxLineLength) return error(out, too_long());
  std::size_t first = 0;
  while (first < text.size() && is_blank(text[first])) ++first;
  if (first == text.size() || text[first] == '#') {
    *out += text;
    *out += '\n';
    return;
  }

  double in[kMaxPointInputs];
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
  if (found < 0) return error(out, why);
  if (found != command_.inputs) {
    char reason[64];
    std::snprintf(reason, sizeof reason, "expected %d number%s, found %d", command_.inputs,
                  command_.inputs == 1 ? "" : "s", found);
    return error(out, reason);
  }

  double result[kMaxOutputs];
  const Fault fault =
      command_.site ? command_.run_on_site(site_, in, result) : command_.run(in, result);
  if (fault != Fault::kNone) return error(out, reason(fault));
  for (int i = 0; i < command_.outputs; ++i) {
    if (!std::isfinite(result[i])) {
      return error(out, std::string("result not finite: ") + command_.out[i].name + " = " +
                            (std::isnan(result[i]) ? "nan" : result[i] > 0 ? "inf" : "-inf"));
    }
  }
  char buffer[kMaxOutputs * 400 + 8];
  char* p = buffer;
  if (command_.outputs == 3 && command_.out[2].unit == Unit::kSeconds) {
    p += dms(result, p);
  } else {
    for (int i = 0; i < command_.outputs; ++i) {
      if (i > 0) *p++ = ' ';
      const bool angle = command_.out[i].unit == Unit::kDegrees ||
                         command_.out[i].unit == Unit::kDegreesPerSecond;
      p += format_fixed(p, result[i], angle ? angle_decimals_ : length_decimals_);
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

}  // namespace geoconv::lines
