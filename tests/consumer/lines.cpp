// Converts a line with the installed line engine, as the converter would.
#include <geoconv/lines.hpp>

#include <cstdio>

int main() {
  std::string why, out;
  const auto converter = geoconv::lines::Converter::make("efg2lla", nullptr, 6, &why);
  if (converter == nullptr) return 1;
  converter->convert_text("3981053.178755 0 4966421.008341\n", &out);
  std::fputs(out.c_str(), stdout);
  return 0;
}
