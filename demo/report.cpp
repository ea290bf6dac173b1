// The demonstration's report: a fixed base site at Greenwich converted from
// latitude, longitude and altitude to Earth-fixed coordinates, then an
// airplane seen from it at a fixed azimuth, elevation and range converted to
// local x, y, z, to latitude, longitude and altitude and to E, F, G, and last
// the airplane's E, F, G converted back to azimuth, elevation and range.

#include "report.hpp"

#include <geoconv/geoconv.hpp>

namespace {

// Value lines: three values, each "%20.6f", at columns 5-24, 31-50 and 57-76.
constexpr const char* kLlaLine = "lat %20.6f  lon %20.6f  alt %20.6f\n";
constexpr const char* kEfgLine = "  E %20.6f    F %20.6f    G %20.6f\n";
constexpr const char* kAerLine = " az %20.6f   el %20.6f   rg %20.6f\n";
constexpr const char* kXyzLine = "  x %20.6f    y %20.6f    z %20.6f\n";

}  // namespace

void geoconv_demo::write_report(std::FILE* report) {
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

  // Airplane stage: everything is converted before anything is printed, so a
  // library message would stand between the banner and the results.
  std::fprintf(report,
               "Now using Greenwich as a base site, we will convert an airplane flying overhead\n");
  std::fprintf(report, "at a known azimuth, elevation, range to XYZ, LLA, EFG ...\n");
  double az = 180.0, el = 45.0, range = 10000.0;  // degrees, degrees, feet
  double x = 0.0, y = 0.0, z = 0.0;               // feet, the unit of the range
  double lat = 0.0, lon = 0.0, alt = 0.0;
  double e = 0.0, f = 0.0, g = 0.0;
  geoconv::AERtoXYZ(report, az, el, range, &x, &y, &z);
  geoconv::AERtoLLA84(report, az, el, range, base_lat, base_lon, base_alt, &lat, &lon, &alt);
  geoconv::LLA84toEFG84(report, lat, lon, alt, &e, &f, &g);
  std::fprintf(report, "Airplane flying overhead:\n");
  std::fprintf(report, kAerLine, az, el, range);
  std::fprintf(report, kXyzLine, x, y, z);
  std::fprintf(report, kLlaLine, lat, lon, alt);
  std::fprintf(report, kEfgLine, e, f, g);

  // Backward check: the recomputed values replace the inputs.
  std::fprintf(report, "\nNow we will do a backward conversion to see if everything matches...\n");
  geoconv::EFG84toAER(report, e, f, g, base_lat, base_lon, base_alt, &az, &el, &range);
  std::fprintf(report, "Converted airplane E,F,G to airplane az-el-rg ....\n");
  std::fprintf(report, "Airplane flying overhead:\n");
  std::fprintf(report, kAerLine, az, el, range);
}
