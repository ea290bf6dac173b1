// The WebAssembly module's exports beside the C interface (geoconv.h): a
// diagnostic stream whose messages JavaScript reads back, the converter's
// line engine (tools/convert.hpp) and the demonstration's report
// (demo/report.hpp), each rendered into memory that JavaScript copies out.

#include <geoconv/geoconv.hpp>

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include <geoconv/lines.hpp>

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
  g_output = geoconv::lines::command_list();
  return static_cast<long>(g_output.size());
}

// 1 when the converter's command takes a site, 0 when not, -1 for no such
// command. command is zero-terminated.
GEOCONV_JS_EXPORT int geoconv_js_needs_site(const char* command) {
  const geoconv::Routine* c = geoconv::lines::find_command(command);
  return c == nullptr ? -1 : c->site ? 1 : 0;
}

// A converter for one input, as the converter geoconv makes it from its
// arguments: the command, the site in --site's LAT,LON,ALT form (read only
// for the commands that take one) and the decimals of --precision (0 to 20).
// Null when it refuses them, with the reason at geoconv_js_output().
GEOCONV_JS_EXPORT geoconv::lines::Converter* geoconv_js_converter(const char* command,
                                                                  const char* site, int decimals) {
  const geoconv::Routine* c = geoconv::lines::find_command(command);
  std::string why;
  auto converter = geoconv::lines::Converter::make(command, c != nullptr && c->site ? site : nullptr,
                                                   decimals, &why);
  if (converter == nullptr) g_output = why;
  return converter.release();
}

// The next length bytes of the input; the output of the lines they complete
// is at geoconv_js_output().
GEOCONV_JS_EXPORT void geoconv_js_feed(geoconv::lines::Converter* converter, const char* bytes,
                                       std::size_t length) {
  g_output.clear();
  converter->feed(std::string_view(bytes, length), &g_output);
}

// Ends the input (a last line without '\n' is converted; its output is at
// geoconv_js_output()), frees the converter and returns its ERROR lines.
GEOCONV_JS_EXPORT long geoconv_js_finish(geoconv::lines::Converter* converter) {
  g_output.clear();
  converter->finish(&g_output);
  const long errors = static_cast<long>(converter->errors());
  delete converter;
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
