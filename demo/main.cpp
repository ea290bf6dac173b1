// geoconv-demo: converts a fixed base site at Greenwich from latitude,
// longitude and altitude to Earth-fixed coordinates, then an airplane seen
// from it at a fixed azimuth, elevation and range to local x, y, z, to
// latitude, longitude and altitude and to E, F, G, and last converts the
// airplane's E, F, G back to azimuth, elevation and range. Writes the results
// as a fixed-width report on standard error. Takes no input of any kind; ends
// with "Program done." on standard output once standard error is closed.

#include <cstdio>

#include "report.hpp"

int main() {
  geoconv_demo::write_report(stderr);
  std::fclose(stderr);
  std::printf("Program done.\n");
  return 0;
}
