// The WebAssembly module's own exports, beside the functions of the C
// interface it exports by name (js/wasm/CMakeLists.txt): the registry as
// JSON, the converter's line engine and the demonstration's report, each text
// left in memory that JavaScript copies out. Conversions are the C
// interface's geoconv_convert and geoconv_site_convert, which return a fault
// code and write no message.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include <geoconv/lines.hpp>

#include "report.hpp"

#define GEOCONV_JS_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

std::string g_output;  // the last call's text

}  // namespace

// The registry, the version and the constants as JSON
// (geoconv::lines::describe_json). Returns the length; the text is at
// geoconv_js_output().
GEOCONV_JS_EXPORT long geoconv_js_describe() {
  g_output = geoconv::lines::describe_json();
  return static_cast<long>(g_output.size());
}

// A converter for one input, made as the converter geoconv makes it from its
// arguments: the command, the site in --site's LAT,LON,ALT form (null for
// none) and the decimals of --precision. Null when it refuses them, with the
// reason at geoconv_js_output(). Both texts are zero-terminated.
GEOCONV_JS_EXPORT geoconv::lines::Converter* geoconv_js_converter(const char* command,
                                                                  const char* site, int decimals) {
  auto converter = geoconv::lines::Converter::make(command, site, decimals, &g_output);
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
// it to standard error. Returns its length (-1 when no stream could be
// made); the text is at geoconv_js_output().
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
