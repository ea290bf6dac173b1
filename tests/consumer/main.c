/* Converts the Greenwich base site there and back with the installed library
 * through its C interface, the outward trip through a placed site. */
#include <geoconv/geoconv.h>

#include <stdio.h>

int main(void) {
  double e, f, g, lat, lon, alt, az, el, range;
  geoconv_site site;
  if (geoconv_site_init(&site, stderr, 51.47222222, 0.0, 10.0) != 0) return 1;
  if (geoconv_site_AERtoEFG84(&site, stderr, 0.0, 0.0, 0.0, &e, &f, &g) != 0) return 1;
  if (geoconv_EFG84toLLA84(stderr, e, f, g, &lat, &lon, &alt) != 0) return 1;
  if (geoconv_site_EFG84toAER(&site, stderr, e, f, g, &az, &el, &range) != 0) return 1;
  if (az != 0.0 || el != 0.0 || range != 0.0) return 1;
  if (geoconv_LLA84toEFG84(NULL, 91.0, 0.0, 0.0, &az, &el, &range) != 1) return 1;
  printf("%.6f %.6f %.6f -> %.9f %.9f %.6f\n", e, f, g, lat, lon, alt);
  return 0;
}
