/* geoconv: coordinate conversions on the WGS 84 ellipsoid, the C interface.
 *
 * Valid C99 and C++. Every function here is the C++ routine of the same name
 * in <geoconv/geoconv.hpp> (read that header for the formulas, accuracy and
 * edge cases) with a geoconv_ prefix: the same arguments in the same order,
 * the same statuses (0 success, 1 failure), the same message lines on the
 * diagnostic stream (which may be NULL) and the same bits, since each one
 * calls the C++ routine. Outputs are left unwritten on failure, except
 * geoconv_AERtoLLA84 with a range of exactly 0, which hands back the site.
 *
 * Units: angles in decimal degrees, altitudes and slant ranges in feet,
 * Earth-fixed E, F, G in metres. Nothing allocates, keeps state or blocks;
 * every function may be called from any thread. Output pointers must point to
 * writable doubles.
 *
 * The library needs no C++ runtime, so a C program builds with
 *   cc -std=c11 prog.c $(pkg-config --cflags --libs geoconv)
 *
 * Example:
 *   #include <geoconv/geoconv.h>
 *   double e, f, g;
 *   if (geoconv_LLA84toEFG84(stderr, 51.47222222, 0.0, 10.0, &e, &f, &g) == 0)
 *     printf("%.6f %.6f %.6f\n", e, f, g);
 */

#ifndef GEOCONV_GEOCONV_H
#define GEOCONV_GEOCONV_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Constants: exactly these doubles, the values of the C++ constants of the
 * same names (checked at compile time by the library). */
#define GEOCONV_WGS72_E2 0.006694317778            /* WGS 72 first eccentricity squared */
#define GEOCONV_WGS84_E2 0.006694379990141317      /* WGS 84 first eccentricity squared */
#define GEOCONV_WGS72_A 6378135.0                  /* WGS 72 semi-major axis, m */
#define GEOCONV_WGS84_A 6378137.0                  /* WGS 84 semi-major axis, m */
#define GEOCONV_EARTH_EQ_RADIUS 6378137.0          /* equatorial radius, m */
#define GEOCONV_WGS84_B 6356752.0                  /* WGS 84 semi-minor axis to the metre, m */
#define GEOCONV_WGS72_HEIGHT_OFFSET (-28.764)      /* m, paired with WGS 72 */
#define GEOCONV_WGS84_HEIGHT_OFFSET (-24.764)      /* m, added to alt*0.3048 for ellipsoid height */
#define GEOCONV_PI 3.14159265359                   /* pi to 11 decimals */
#define GEOCONV_DEG2RAD 0.01745329252              /* rad per degree (not pi/180) */
#define GEOCONV_RAD2DEG 57.295779512896            /* degrees per rad (not 180/pi) */
#define GEOCONV_FEET_TO_METRES 0.3048              /* m per international foot */

/* Helpers: one rounded multiplication around the library's own correctly
 * rounded function, as compiled into the library. */
double geoconv_sqr(double x);              /* x*x */
double geoconv_cube(double x);             /* x*x*x */
double geoconv_sind(double d);             /* sin(d * DEG2RAD) */
double geoconv_cosd(double d);             /* cos(d * DEG2RAD) */
double geoconv_tand(double d);             /* tan(d * DEG2RAD) */
double geoconv_asind(double v);            /* asin(v) * RAD2DEG */
double geoconv_acosd(double v);            /* acos(v) * RAD2DEG */
double geoconv_atand(double v);            /* atan(v) * RAD2DEG */
double geoconv_atan2d(double y, double x); /* atan2(y, x) * RAD2DEG, ordinate first */

/* Geodetic lat, lon (degrees), alt (feet) <-> Earth-fixed E, F, G (metres). */
int geoconv_LLA84toEFG84(FILE* stream, double lat, double lon, double alt, double* E,
                         double* F, double* G);
int geoconv_EFG84toLLA84(FILE* stream, double E, double F, double G, double* lat, double* lon,
                         double* alt);

/* Local frame: az, el (degrees) and range <-> x east, y north, z up, all
 * lengths in one unit. Never write to the stream. */
void geoconv_AERtoXYZ(FILE* stream, double az, double el, double range, double* x, double* y,
                      double* z);
void geoconv_XYZtoAER(FILE* stream, double x, double y, double z, double* az, double* el,
                      double* range);

/* Site-relative conversions, the base site given on every call: baseLat,
 * baseLon (degrees), baseAlt (feet); az, el in degrees, range in feet. */
int geoconv_AERtoEFG84(FILE* stream, double az, double el, double range, double baseLat,
                       double baseLon, double baseAlt, double* E, double* F, double* G);
int geoconv_AERtoLLA84(FILE* stream, double az, double el, double range, double baseLat,
                       double baseLon, double baseAlt, double* lat, double* lon, double* alt);
int geoconv_EFG84toAER(FILE* stream, double E, double F, double G, double baseLat,
                       double baseLon, double baseAlt, double* az, double* el, double* range);

/* WGS 84 Earth-fixed to WGS 72 Earth-fixed, metres. Always returns 0. */
int geoconv_EFG84toEFG72(FILE* stream, double E, double F, double G, double* E72, double* F72,
                         double* G72);

/* Angle to whole degrees, whole minutes and seconds; a signed integer read
 * from str[first..last]. Neither takes a stream nor fails. */
void geoconv_DEGtoDMS(double angle, double* deg, double* min, double* sec);
int geoconv_STRtoINT(const char* str, int first, int last);

/* Faults: why a conversion failed, as the codes of geoconv::Fault. */
#define GEOCONV_FAULT_NONE 0     /* success */
#define GEOCONV_FAULT_LATITUDE 1 /* a latitude above 90, below -90 or NaN */
#define GEOCONV_FAULT_SOLVE 2    /* EFG84toLLA84 found no foot point */
#define GEOCONV_FAULT_RANGE 3    /* AERtoLLA84 with a range of exactly 0 */
#define GEOCONV_FAULT_AT_SITE 4  /* EFG84toAERrates with the target at the site */
/* The exact line a routine writes to its stream for the fault, and the same
 * line without its newline and the blank before it ("" for no fault). */
const char* geoconv_message(int fault);
const char* geoconv_reason(int fault);

/* Any routine of <geoconv/registry.hpp> by its index there, found by name
 * or converter command (-1 for none): the point's inputs in in[], then the
 * base site's lat, lon, alt for a site routine; its outputs in out[]. Returns
 * the fault code and writes no message; -1, writing nothing, for an index
 * that names no routine, and -2 for a null in or out. */
int geoconv_find_routine(const char* name);
int geoconv_convert(int routine, const double* in, double* out);

/* Arrays: the routine over n points, as geoconv::run_array. in[k] is the
 * k-th input's array (a site routine's base site last), element i at
 * in[k][i * in_stride[k]] (strides in doubles, 0 repeating one value); out
 * and out_stride likewise. faults, when not NULL, gets each point's fault
 * code. mode: GEOCONV_EXACT (each point's bits are geoconv_convert's) or
 * GEOCONV_FAST, accepted with the same bits (the fast mode is geoconv::fast's:
 * <geoconv/fast.h>'s calls, linked with geoconv-fast). Returns the number of points that failed; a failing point's
 * outputs are left as geoconv_convert leaves them (unwritten, or the site
 * for AERtoLLA84's range of exactly 0).
 *
 * Outputs may overlap inputs in any way (in place, shifted, interleaved):
 * the results are those of converting a copy of the inputs, and only a call
 * whose results land on both earlier and later points' inputs allocates
 * that copy. Two results may not share memory: an output of stride 0 (with
 * n > 1), outputs that overlap one another or the faults. n = 0 converts
 * nothing and returns 0, whatever the pointers. Instead of a count, writing
 * nothing, it returns one of these statuses (geoconv_array_reason gives
 * each one's text): */
#define GEOCONV_EXACT 0
#define GEOCONV_FAST 1
#define GEOCONV_ARRAY_NO_ROUTINE ((size_t)-1)           /* no routine of that index */
#define GEOCONV_ARRAY_BAD_MODE ((size_t)-2)             /* mode is neither of the two */
#define GEOCONV_ARRAY_NULL_POINTER ((size_t)-3)         /* n > 0 and a null site, in, */
                                                        /* out, stride array or column */
#define GEOCONV_ARRAY_OVERLAPPING_OUTPUTS ((size_t)-4)  /* two results would share memory */
#define GEOCONV_ARRAY_NO_MEMORY ((size_t)-5)            /* the inputs' copy failed */
size_t geoconv_convert_array(int routine, size_t n, const double* const* in,
                             const ptrdiff_t* in_stride, double* const* out,
                             const ptrdiff_t* out_stride, unsigned char* faults, int mode);
const char* geoconv_array_reason(size_t status); /* "" for a count */

/* A site placed once for many targets: the C form of geoconv::Site, with its
 * size and alignment. Declare one anywhere (stack, static, inside a struct),
 * fill it with geoconv_site_init and pass its address; it may be copied by
 * assignment or memcpy and needs no clean-up. Its contents are private. A
 * site of all zero bytes (`geoconv_site s = {{0}};`) is invalid: its
 * conversions fail as those of an invalid site do. */
typedef struct geoconv_site {
  double private_[11];
} geoconv_site;

/* sizeof(geoconv_site) as the library was built: for bindings that allocate
 * sites themselves (the npm package) instead of restating the size. */
size_t geoconv_site_size(void);

/* Places the site at lat, lon (degrees) and alt (feet). Returns 0 for a valid
 * site; for a latitude above 90, below -90 or NaN returns 1 and writes
 * "(LLA84toEFG84) problem: lat>90 \n" to stream, and every conversion
 * through the site then writes that message again and returns 1. A null
 * site returns 1 and writes nothing; the functions below read a null site
 * as the invalid site of all zero bytes. */
int geoconv_site_init(geoconv_site* site, FILE* stream, double lat, double lon, double alt);

/* 1 for a valid site, else 0; the site as given (degrees, degrees, feet) and
 * its Earth-fixed position (metres; NaN when geoconv_site_init found the site
 * invalid). */
int geoconv_site_valid(const geoconv_site* site);
double geoconv_site_latitude(const geoconv_site* site);
double geoconv_site_longitude(const geoconv_site* site);
double geoconv_site_altitude(const geoconv_site* site);
double geoconv_site_E(const geoconv_site* site);
double geoconv_site_F(const geoconv_site* site);
double geoconv_site_G(const geoconv_site* site);

/* The conversions of a placed site: the same bits, statuses and messages as
 * the free functions above given the site's latitude, longitude, altitude. */
int geoconv_site_AERtoEFG84(const geoconv_site* site, FILE* stream, double az, double el,
                            double range, double* E, double* F, double* G);
int geoconv_site_AERtoLLA84(const geoconv_site* site, FILE* stream, double az, double el,
                            double range, double* lat, double* lon, double* alt);
int geoconv_site_EFG84toAER(const geoconv_site* site, FILE* stream, double E, double F,
                            double G, double* az, double* el, double* range);
/* The moving-target routines (velocities; azimuth, elevation, range and
 * their rates), free and through a placed site, made from the list of
 * routines in <geoconv/routines.def>, such as
 *   int geoconv_EFG84toXYZvelocity(FILE* stream, double vE, double vF, double vG,
 *                                  double baseLat, double baseLon, double baseAlt,
 *                                  double* vx, double* vy, double* vz);
 *   int geoconv_site_EFG84toXYZvelocity(const geoconv_site* site, FILE* stream,
 *                                       double vE, double vF, double vG,
 *                                       double* vx, double* vy, double* vz); */
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)       \
  int geoconv_##name(FILE* stream, GEOCONV_EACH(GEOCONV_VALUE, inputs), double baseLat,       \
                     double baseLon, double baseAlt, GEOCONV_EACH(GEOCONV_RESULT, outputs));  \
  int geoconv_site_##name(const geoconv_site* site, FILE* stream,                             \
                          GEOCONV_EACH(GEOCONV_VALUE, inputs),                                \
                          GEOCONV_EACH(GEOCONV_RESULT, outputs));
#include <geoconv/routines.def>

/* A site routine of the registry (as geoconv_convert, without the site's
 * inputs) through a placed site; -1 for an index that names no site routine,
 * -2 for a null site, in or out. */
int geoconv_site_convert(const geoconv_site* site, int routine, const double* in, double* out);
/* The same over n targets of a placed site (the routine's own inputs only),
 * as geoconv_convert_array, statuses included. */
size_t geoconv_site_convert_array(const geoconv_site* site, int routine, size_t n,
                                  const double* const* in, const ptrdiff_t* in_stride,
                                  double* const* out, const ptrdiff_t* out_stride,
                                  unsigned char* faults, int mode);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* GEOCONV_GEOCONV_H */
