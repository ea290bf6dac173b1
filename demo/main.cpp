// geoconv-demo: converts a fixed base site at Greenwich from latitude,
// longitude and altitude to Earth-fixed coordinates and writes the results as
// a fixed-width report on standard error. Takes no input of any kind; ends
// with "Program done." on standard output once standard error is closed.

#include <geoconv/geoconv.hpp>

#include <cstdio>

namespace {

// Value lines: three values, each "%20.6f", at columns 5-24, 31-50 and 57-76.
constexpr const char* kLlaLine = "lat %20.6f  lon %20.6f  alt %20.6f\n";
constexpr const char* kEfgLine = "  E %20.6f    F %20.6f    G %20.6f\n";

}  // namespace

int main() {
  std::FILE* report = stderr;

  std::fprintf(report,
               "All these coordinate transformations are being done in the WGS 84 ellipsoid.\n");
  std::fprintf(report,
               "We will now convert Greenwich, England known latitude - longitude - altitude "
               "to EFG...\n");

  // Base site: 51 28' 20" cut to eight decimals of a degree; altitude in feet.
  const double base_lat = 51.47222222;
  const double base_lon = 0.0;
  const double base_alt = 10.0;
  double base_e = 0.0, base_f = 0.0, base_g = 0.0;
  geoconv::LLA84toEFG84(report, base_lat, base_lon, base_alt, &base_e, &base_f, &base_g);

  std::fprintf(report, "Greenwich, England: \n");
  std::fprintf(report, kLlaLine, base_lat, base_lon, base_alt);
  std::fprintf(report, kEfgLine, base_e, base_f, base_g);

  std::fclose(report);
  std::printf("Program done.\n");
  return 0;
}
