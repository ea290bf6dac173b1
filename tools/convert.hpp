// The converter's per-line work: split a line into numbers, run one library
// routine, and format the results (or an ERROR line) into an output buffer.

#ifndef GEOCONV_TOOLS_CONVERT_HPP
#define GEOCONV_TOOLS_CONVERT_HPP

#include <geoconv/geoconv.hpp>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace geoconv_tool {

struct Command;

// Looks a command up by name; null when there is none.
const Command* find_command(std::string_view name);

// True when the command takes the site from --site.
bool needs_site(const Command& command);

// The command list for --help: one line per command.
std::string command_list();

// Reads a number as the converter does: std::from_chars in general format,
// optionally preceded by '+', taking up the whole text. Returns false, with
// the reason in *why, otherwise.
bool parse_number(std::string_view text, double* value, const char** why);

// Writes value in fixed notation with the given decimals (0 to 23), correctly
// rounded as printf's "%.*f" does, minus sign kept for values that round to
// zero. Returns the number of characters written (at most 400).
std::size_t format_fixed(char* out, double value, int decimals);

// Splits text into fields separated by runs of blanks, tabs and commas and
// reads up to max_fields numbers. Returns the number of fields found (which
// may exceed max_fields), or -1 with *bad set to the first field that is not
// a number and *why to the reason.
int parse_fields(std::string_view text, double* values, int max_fields, std::string_view* bad,
                 const char** why);

class Converter {
 public:
  // site: the base site of the site commands (any site for the others).
  // decimals: places for lengths, 0 to 20; angles get three more.
  Converter(const Command& command, const geoconv::Site& site, int decimals);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Appends the output line for one input line (without its line end) to
  // out, which must have at least kMaxOutputLine bytes free. Returns the
  // number of bytes written; sets *failed when the line gave ERROR.
  std::size_t convert_line(std::string_view line, char* out, bool* failed);

  // Converts text as one whole input: every line, the last one also without
  // a final newline, each output line appended to *out. Returns the number of
  // ERROR lines.
  std::size_t convert_text(std::string_view text, std::string* out);

  static constexpr std::size_t kMaxLineLength = 65536;
  static constexpr std::size_t kMaxOutputLine = kMaxLineLength + 2048;

 private:
  std::size_t error(char* out, std::string_view reason, std::string_view detail = {});

  const Command& command_;
  geoconv::Site site_;
  int length_decimals_;
  int angle_decimals_;
  char message_[512];
  std::FILE* diagnostics_;  // captures the library's message on failure
};

}  // namespace geoconv_tool

#endif
