// The WebAssembly module's exports beside the C interface (geoconv.h): a
// diagnostic stream whose messages JavaScript reads back, the converter's
// whole-text conversion (tools/convert.hpp) and the demonstration's report
// (demo/report.hpp), each rendered into memory that JavaScript copies out.

#include <geoconv/geoconv.hpp>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "convert.hpp"
#include "report.hpp"

#define GEOCONV_JS_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

char g_message[512];
std::FILE* g_stream = nullptr;  // writes into g_message
std::string g_output;           // the last conversion's or report's text

}  // namespace

// The diagnostic stream for the next call, emptied; null if it cannot be
// made (messages are then dropped, as with a null stream).
GEOCONV_JS_EXPORT std::FILE* geoconv_js_stream() {
  if (g_stream == nullptr) g_stream = fmemopen(g_message, sizeof g_message, "w");
  if (g_stream != nullptr) std::rewind(g_stream);
  return g_stream;
}

// What the calls since geoconv_js_stream() wrote: its length in bytes, and
// where it is.
GEOCONV_JS_EXPORT long geoconv_js_message_length() {
  if (g_stream == nullptr) return 0;
  std::fflush(g_stream);
  return std::ftell(g_stream);
}
GEOCONV_JS_EXPORT const char* geoconv_js_message() { return g_message; }

// The converter's commands, one line each: name, what it reads, "->", what
// it writes. Returns the length; the text is at geoconv_js_output().
GEOCONV_JS_EXPORT long geoconv_js_commands() {
  g_output = geoconv_tool::command_list();
  return static_cast<long>(g_output.size());
}

// 1 when the converter's command takes a site, 0 when not, -1 for no such
// command. command is zero-terminated.
GEOCONV_JS_EXPORT int geoconv_js_needs_site(const char* command) {
  const geoconv_tool::Command* c = geoconv_tool::find_command(command);
  return c == nullptr ? -1 : geoconv_tool::needs_site(*c) ? 1 : 0;
}

// Converts text (length bytes) as the converter geoconv converts a file:
// one output line for each line, with the command, the site (degrees,
// degrees, feet) and decimals of its --site and --precision. A line longer
// than the converter's limit gives the converter's ERROR line for it.
// Returns the number of ERROR lines, -1 for an unknown command, -2 for
// decimals outside 0 to 20. The output is at geoconv_js_output().
GEOCONV_JS_EXPORT long geoconv_js_convert(const char* command, const char* text,
                                          std::size_t length, double lat, double lon,
                                          double alt, int decimals) {
  using geoconv_tool::Converter;
  const geoconv_tool::Command* c = geoconv_tool::find_command(command);
  if (c == nullptr) return -1;
  if (decimals < 0 || decimals > 20) return -2;
  Converter converter(*c, geoconv::Site(lat, lon, alt), decimals);
  g_output.clear();
  long errors = 0;
  // Runs of lines within the limit go to the converter whole; an over-long
  // line is answered here, as the converter's reader does.
  std::string_view rest(text, length);
  std::size_t run = 0;  // bytes of rest checked and within the limit
  while (run < rest.size()) {
    const std::size_t nl = rest.find('\n', run);
    const std::size_t end = nl == std::string_view::npos ? rest.size() : nl;
    if (end - run <= Converter::kMaxLineLength) {
      run = nl == std::string_view::npos ? rest.size() : nl + 1;
      continue;
    }
    errors += static_cast<long>(converter.convert_text(rest.substr(0, run), &g_output));
    g_output += "ERROR: line longer than 65536 characters\n";
    ++errors;
    rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    run = 0;
  }
  errors += static_cast<long>(converter.convert_text(rest, &g_output));
  return errors;
}

// The demonstration's report, exactly as the demonstration program writes
// it to standard error. Returns its length; the text is at
// geoconv_js_output().
GEOCONV_JS_EXPORT long geoconv_js_demo() {
  static char report[4096];
  std::FILE* stream = fmemopen(report, sizeof report, "w");
  if (stream == nullptr) return -1;
  geoconv_demo::write_report(stream);
  std::fflush(stream);
  const long length = std::ftell(stream);
  std::fclose(stream);
  g_output.assign(report, static_cast<std::size_t>(length));
  return length;
}

GEOCONV_JS_EXPORT const char* geoconv_js_output() { return g_output.data(); }
GEOCONV_JS_EXPORT std::size_t geoconv_js_output_length() { return g_output.size(); }
