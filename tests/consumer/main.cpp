// Converts the Greenwich base site there and back with the installed library.
#include <geoconv/geoconv.hpp>

#include <cstdio>

int main() {
  double e, f, g, lat, lon, alt;
  if (geoconv::LLA84toEFG84(stderr, 51.47222222, 0.0, 10.0, &e, &f, &g) != 0) return 1;
  if (geoconv::EFG84toLLA84(stderr, e, f, g, &lat, &lon, &alt) != 0) return 1;
  std::printf("%.6f %.6f %.6f -> %.9f %.9f %.6f\n", e, f, g, lat, lon, alt);
  return 0;
}
