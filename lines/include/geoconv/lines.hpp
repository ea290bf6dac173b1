// geoconv::lines, the converter's line engine as a library: splits input into
// lines, a line into numbers, runs one routine of the registry and writes its
// results (or an ERROR line). The converter geoconv, the Python module and its
// batch command, the WebAssembly build and the page all convert through it, so
// they follow the same rules.
//
// A command is a routine of <geoconv/registry.hpp> that names one
// ("lla2efg" for LLA84toEFG84): its inputs are a line's numbers, its outputs
// the numbers written, lengths with the chosen decimals and angles with three
// more. DMS ("dms") writes whole degrees and minutes and seconds carried at
// the printed decimals.
//
// Example:
//
//   #include <geoconv/lines.hpp>
//   std::string why, out;
//   auto converter = geoconv::lines::Converter::make("efg2lla", nullptr, 6, &why);
//   if (converter) converter->convert_text("3981053.178755 0 4966421.008341\n", &out);
//   // out is "51.472222220 0.000000000 10.000000\n"

#ifndef GEOCONV_LINES_HPP
#define GEOCONV_LINES_HPP

#include <geoconv/registry.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace geoconv::lines {

// The most decimals a length is written with, and the default.
inline constexpr int kMaxDecimals = 20;
inline constexpr int kDefaultDecimals = 6;

// The longest line converted, without its line end; a longer one gives
// "ERROR: line longer than N characters", N this limit.
inline constexpr std::size_t kMaxLineLength = 65536;

// The UTF-8 byte-order mark that an input may start with; it is skipped.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The routine of a converter command; null when there is none.
const Routine* find_command(std::string_view name);

// The command list for --help: one line per command, what it reads and what
// it writes with their units.
std::string command_list();

// The commands that take a site, in the registry's order, as a sentence
// does: "aer2lla, aer2efg and efg2aer".
std::string site_commands();

// The commands and every routine of the registry as JSON, for front ends that
// cannot read the registry itself (the WebAssembly build), with the version
// and the library's constants (17 significant digits, exactly the doubles):
//   {"version": "3.0.0", "maxDecimals": 20, "defaultDecimals": 6,
//    "constants": {"WGS72_E2": 0.0066943177780000004, ...},
//    "routines": [{"name": "LLA84toEFG84", "summary": "...", "command": "lla2efg",
//                  "site": false, "fails": true,
//                  "inputs": [{"name": "lat", "unit": "deg"}, ...],
//                  "outputs": [{"name": "E", "unit": "m"}, ...],
//                  "example": [51.47222222, 0, 10],
//                  "faults": [{"code": 1, "reason": "(LLA84toEFG84) problem: lat>90"}]},
//                 ...]}
// "command" is null for a routine without one; "example" holds a worked
// example's inputs, the base site's last for a site routine; "faults" the
// faults it may give, in the order it checks them.
std::string describe_json();

// Reads a number as the converter does: std::from_chars in general format,
// optionally preceded by '+', taking up the whole text, and finite. Returns
// false, with the reason in *why, otherwise.
bool parse_number(std::string_view text, double* value, const char** why);

// Reads the converter's precision argument (-p N): one or two digits, at
// most kMaxDecimals. Returns false otherwise, with the converter's reason in
// *why: "bad precision 'TEXT': expected a whole number from 0 to N", N
// kMaxDecimals.
bool parse_decimals(std::string_view text, int* decimals, std::string* why);

// Writes value in fixed notation with the given decimals (0 to 23), correctly
// rounded as printf's "%.*f" does, minus sign kept for values that round to
// zero. Returns the number of characters written (at most 400).
std::size_t format_fixed(char* out, double value, int decimals);

// Splits a line into fields and reads up to max_fields numbers. Runs of
// blanks and tabs separate fields; a comma, with any blanks around it, is
// exactly one separator, so two commas in a row, a leading or a trailing
// comma make an empty field. Returns the number of fields (which may exceed
// max_fields), or -1 with the reason in *why.
int parse_fields(std::string_view text, double* values, int max_fields, std::string* why);

// Splits a line into its fields by the rules above, empty ones included
// (for a header line).
void split_fields(std::string_view text, std::vector<std::string_view>* fields);

// Reads LAT,LON,ALT (the field rules above) into a site. Returns false, with
// the reason in *why, unless there are three finite numbers and the library
// accepts the latitude.
bool parse_site(std::string_view text, Site* site, std::string* why);

class Converter {
 public:
  // command: a routine that has a command (find_command). site: the base
  // site of the site commands (any site for the others). decimals: places
  // for lengths, 0 to kMaxDecimals; angles get three more.
  Converter(const Routine& command, const Site& site, int decimals);

  // A converter made from a front end's words, checked as the converter
  // geoconv checks its arguments: the command's name, the site as LAT,LON,ALT
  // (null when none was given) and the decimals. Null, with the reason in
  // *why, for an unknown command, decimals outside 0..kMaxDecimals, a site
  // command without a site or with one that cannot be read, or a site given
  // to a command that takes none. The reasons:
  //   unknown command 'NAME'
  //   precision must be a whole number from 0 to 20
  //   this command needs a site LAT,LON,ALT
  //   bad site 'TEXT': REASON
  //   a site applies only to COMMANDS (site_commands())
  static std::unique_ptr<Converter> make(std::string_view command, const char* site, int decimals,
                                         std::string* why);

  // Converts the next bytes of the current input: the output of every line
  // they complete is appended to *out. A line is its bytes up to '\n'; a
  // '\r' before the '\n' is dropped; a UTF-8 byte-order mark that starts the
  // input is skipped.
  void feed(std::string_view bytes, std::string* out);
  // Ends the current input, converting a last line that has no '\n'. The
  // next feed starts a new input.
  void finish(std::string* out);
  // The current input has begun already (its first line was read elsewhere,
  // such as a header line): no byte-order mark is skipped from what follows.
  void resume() { at_start_ = false; }
  // Converts text as one whole input. Returns the number of its ERROR lines.
  std::size_t convert_text(std::string_view text, std::string* out);
  // ERROR lines written so far.
  std::size_t errors() const { return errors_; }
  // Converts the fields at these positions (from 0) of every line, in this
  // order, instead of the line's fields: the other fields may hold anything,
  // and a picked field that is missing counts as empty. False, changing
  // nothing, unless there is one position per input of the command.
  bool pick_columns(const std::vector<std::size_t>& positions);

 private:
  void line(std::string_view text, std::string* out);
  std::size_t dms(const double* value, char* out);
  void error(std::string* out, std::string_view reason, std::string_view shown = {});

  const Routine& command_;
  const Site site_;
  int length_decimals_;
  int angle_decimals_;
  std::size_t errors_ = 0;
  std::vector<std::size_t> columns_;        // picked columns, if any
  std::vector<std::string_view> fields_;    // a line's fields, when picking
  std::string pending_;     // the start of a line that the last bytes did not end
  bool skipping_ = false;   // discarding the rest of an over-long line
  bool at_start_ = true;    // no byte of the current input seen yet
};

}  // namespace geoconv::lines

#endif  // GEOCONV_LINES_HPP
