// The converter's line engine: splits input into lines, a line into numbers,
// runs one library routine and writes the results (or an ERROR line). The
// converter, the Python module and the web page all convert through it, so
// they follow the same rules.

#ifndef GEOCONV_TOOLS_CONVERT_HPP
#define GEOCONV_TOOLS_CONVERT_HPP

#include <geoconv/geoconv.hpp>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace geoconv_tool {

struct Command;

// Looks a command up by name; null when there is none.
const Command* find_command(std::string_view name);

// True when the command takes the site from --site.
bool needs_site(const Command& command);

// The command list for --help: one line per command.
std::string command_list();

// Reads a number as the converter does: std::from_chars in general format,
// optionally preceded by '+', taking up the whole text, and finite. Returns
// false, with the reason in *why, otherwise.
bool parse_number(std::string_view text, double* value, const char** why);

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

// The names of the command's results, separated by blanks ("E F G").
std::string result_names(const Command& command);

// Reads LAT,LON,ALT (the field rules above) into a site. Returns false, with
// the reason in *why, unless there are three finite numbers and the library
// accepts the latitude.
bool parse_site(std::string_view text, geoconv::Site* site, std::string* why);

// The most decimals a length is written with.
inline constexpr int kMaxDecimals = 20;

class Converter {
 public:
  // site: the base site of the site commands (any site for the others).
  // decimals: places for lengths, 0 to kMaxDecimals; angles get three more.
  Converter(const Command& command, const geoconv::Site& site, int decimals);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

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

  // Longest line converted, without its line end; longer ones give ERROR.
  static constexpr std::size_t kMaxLineLength = 65536;

 private:
  void line(std::string_view text, std::string* out);
  std::size_t dms(const double* value, char* out);
  void error(std::string* out, const char* reason, std::string_view shown = {});

  const Command& command_;
  const geoconv::Site site_;
  int length_decimals_;
  int angle_decimals_;
  std::size_t errors_ = 0;
  std::vector<std::size_t> columns_;        // picked columns, if any
  std::vector<std::string_view> fields_;    // a line's fields, when picking
  std::string pending_;     // the start of a line that the last bytes did not end
  bool skipping_ = false;   // discarding the rest of an over-long line
  bool at_start_ = true;    // no byte of the current input seen yet
  char message_[512];
  std::FILE* diagnostics_;  // captures the library's message on failure
};

}  // namespace geoconv_tool

#endif
