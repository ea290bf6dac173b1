// Linked with geoconv::fast through its CMake target or its .pc file and
// nothing of it named here: the hook must still be in the program, so that
// Mode::kFast is fast.

#include <geoconv/geoconv.hpp>
#include <geoconv/registry.hpp>

#include <cstdio>

extern "C" const geoconv::detail::FastTable* geoconv_fast_table() __attribute__((weak));

int main() {
  const double lat = 51.47222222, lon = 0.0, alt = 10.0;
  double e, f, g;
  geoconv::LLA84toEFG84(1, &lat, &lon, &alt, &e, &f, &g, nullptr, geoconv::Mode::kFast);
  std::printf("%s %.3f %.3f %.3f\n", geoconv_fast_table != nullptr ? "fast" : "exact", e, f, g);
  return 0;
}
