// Linked with geoconv::fast through its CMake target or its .pc file: the
// fast mode, asked for by name, converts.

#include <geoconv/fast.hpp>
#include <geoconv/geoconv.hpp>

#include <cstdio>

int main() {
  const double lat = 51.47222222, lon = 0.0, alt = 10.0;
  double e, f, g;
  const geoconv::Mode mode = geoconv::fast::mode();
  geoconv::LLA84toEFG84(1, &lat, &lon, &alt, &e, &f, &g, nullptr, mode);
  std::printf("%s %.3f %.3f %.3f\n", mode.fast_kernels() != nullptr ? "fast" : "exact", e, f, g);
  return 0;
}
