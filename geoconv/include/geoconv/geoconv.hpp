// geoconv: coordinate conversions on the WGS 84 ellipsoid.
//
// Four descriptions of a position, and the routines between them:
//
//   LLA  geodetic latitude and longitude (degrees) and altitude (feet);
//   EFG  Earth-centred Earth-fixed Cartesian coordinates (metres): E in the
//        equatorial plane towards longitude 0, F in the equatorial plane
//        towards longitude 90 east, G along the rotation axis towards the
//        north pole;
//   XYZ  a site's local tangent frame: x east, y north, z up, in the unit of
//        the range they come from;
//   AER  azimuth (degrees clockwise from north), elevation (degrees above the
//        local horizontal plane) and slant range (feet for the site-relative
//        routines, any unit for the local-frame ones).
//
// Units. Angles are decimal degrees, latitude positive north, longitude
// positive east. Altitudes and slant ranges are feet (FEET_TO_METRES = 0.3048).
// An altitude is measured from a level WGS84_HEIGHT_OFFSET (-24.764 m) away
// from the ellipsoid: height above the ellipsoid = alt * 0.3048 - 24.764 m.
// Earth-fixed coordinates are metres.
//
// Degree factors. Every conversion turns degrees into radians by multiplying
// by DEG2RAD = 0.01745329252 and radians into degrees by multiplying by
// RAD2DEG = 57.295779512896. Neither is the exact pi/180 or 180/pi (relative
// errors of +3.25e-12 and -3.25e-12), and their product falls short of 1 by
// about 3e-15. So angles carry a relative error of a few parts in 1e12:
// cosd(90) is about -5.1e-12 rather than 0, an inverse function never returns
// exactly 90 or 180 (asind(1) = 90 - 2.9e-10), and a longitude of 45 comes
// back from a round trip as about 45 + 2.9e-10. Positions, distances and
// heights are affected only at the level of these angle errors times the
// lever arm (up to about 7e-5 m at the Earth's radius).
//
// Exactness. Results are defined to the last bit: IEEE double, every
// operation rounded to double in the grouping documented by each routine,
// around the library's own sin, cos, tan, asin, acos, atan and atan2, which
// are correctly rounded (the double nearest the exact value, for every
// argument), and IEEE sqrt. So the results are the same on every platform
// with IEEE doubles rounding to nearest, whatever its math library (32-bit
// x87 arithmetic excepted); make test-cross and the WebAssembly tests check
// that on aarch64, s390x, Windows and WebAssembly beside x86-64 Linux. The
// library is always compiled without fused multiply-add contraction and
// without fast-math, whatever flags the enclosing build adds; outcomes near
// the poles depend on it. A build with -O3 -march=native -mfma gives the same bits. One
// limit no library can lift: a program linked with -ffast-math (or -Ofast)
// sets the processor to flush subnormal numbers to zero when it starts, which
// changes results whose inputs or intermediate values are subnormal (for
// example DEGtoDMS(4.9e-324) then gives 0 seconds instead of 1.8e-320).
//
// Errors. The conversions report through an int status (0 success, 1
// failure) and, on failure, one message line written with one formatted write
// to the diagnostic stream the caller passes first. The stream may be null:
// the message is then dropped and everything else is unchanged. The library
// never flushes or closes the stream. Each failure is also a code, a Fault
// below, with message(fault) the line the stream gets; the routines of
// <geoconv/registry.hpp> return the code and write nothing. No routine
// allocates, keeps state or throws; every routine may be called from any
// thread. Output pointers must point to writable doubles.
//
// Example:
//
//   #include <geoconv/geoconv.hpp>
//   double e, f, g;
//   if (geoconv::LLA84toEFG84(stderr, 51.47222222, 0.0, 10.0, &e, &f, &g) == 0)
//     std::printf("%.6f %.6f %.6f\n", e, f, g);

#ifndef GEOCONV_GEOCONV_HPP
#define GEOCONV_GEOCONV_HPP

#include <cmath>
#include <cstddef>
#include <cstdio>

namespace geoconv {

// ---------------------------------------------------------------------------
// Constants: WGS72_E2, WGS84_E2, WGS72_A, WGS84_A, EARTH_EQ_RADIUS, WGS84_B,
// WGS72_HEIGHT_OFFSET, WGS84_HEIGHT_OFFSET, PI, DEG2RAD, RAD2DEG and
// FEET_TO_METRES, each an inline constexpr double whose value and meaning
// <geoconv/constants.def> gives.

#define GEOCONV_CONSTANT(name, value, about) inline constexpr double name = value;
#include <geoconv/constants.def>

// ---------------------------------------------------------------------------
// Faults: why a conversion failed.

enum class Fault : unsigned char {
  kNone = 0,      // success
  kLatitude = 1,  // a latitude above 90, below -90 or NaN (a point's or a site's)
  kSolve = 2,     // EFG84toLLA84 found no foot point (on or near the polar axis, ...)
  kRange = 3,     // AERtoLLA84 with a range of exactly 0
  kAtSite = 4,    // EFG84toAERrates with the target at the site: no direction, no rates
};

// The exact line a routine writes to its stream for the fault:
//   kLatitude  "(LLA84toEFG84) problem: lat>90 \n"
//   kSolve     "(EFG84toLLA84) error: negative or zero sqrt value\n"
//   kRange     "(AERtoLLA84) problem: input range=0 \n"
//   kAtSite    "(EFG84toAERrates) problem: target at site \n"
// and "" for kNone or a value that names no fault.
const char* message(Fault fault) noexcept;

// The same line as front ends show it: without its newline and the blank
// before it ("(LLA84toEFG84) problem: lat>90").
const char* reason(Fault fault) noexcept;

namespace detail {
struct KernelSet;
}

// How an array routine (see "Arrays" below) computes. Mode::kExact gives
// every point the bits of the point routine. The fast mode, within the
// bounds <geoconv/fast.hpp> states, is the Mode that geoconv::fast::mode()
// returns: a program asks for it by name and links geoconv::fast, or does
// not compile. Mode::kFast alone (as the C and JavaScript interfaces pass
// it) is accepted and gives the exact bits.
class Mode {
 public:
  enum Value : unsigned char { kExact = 0, kFast = 1 };
  constexpr Mode(Value value = kExact) noexcept : value_(value) {}  // NOLINT: implicit on purpose
  constexpr operator Value() const noexcept { return value_; }      // NOLINT
  // For geoconv::fast: its kernels for the processor, chosen once.
  constexpr explicit Mode(const detail::KernelSet* fast) noexcept : value_(kFast), fast_(fast) {}
  constexpr const detail::KernelSet* fast_kernels() const noexcept { return fast_; }

 private:
  Value value_;
  const detail::KernelSet* fast_ = nullptr;
};

// ---------------------------------------------------------------------------
// Helpers. Each is one rounded multiplication around one of the library's
// correctly rounded functions (sind(d) is sin(d * DEG2RAD) with the product
// rounded, then the sine rounded). They are defined in the library and
// compiled with its flags, so a caller's flags (fast-math, or a loop
// vectorised into a vector math library) cannot change their results. The
// inverse functions are not normalised: atan2d returns the principal value
// (-pi, pi] times RAD2DEG, asind and atand [-pi/2, pi/2] times RAD2DEG, so
// their extremes fall a few parts in 1e12 short of 180 and 90. Arguments
// outside a function's domain (asind(2), sind(inf)) give NaN.

constexpr double sqr(double x) { return x * x; }
constexpr double cube(double x) { return x * x * x; }
double sind(double d);           // sin(d * DEG2RAD)
double cosd(double d);           // cos(d * DEG2RAD)
double tand(double d);           // tan(d * DEG2RAD)
double asind(double v);          // asin(v) * RAD2DEG
double acosd(double v);          // acos(v) * RAD2DEG
double atand(double v);          // atan(v) * RAD2DEG
double atan2d(double y, double x);  // atan2(y, x) * RAD2DEG, ordinate first

// ---------------------------------------------------------------------------
// Geodetic <-> Earth-fixed.

// Geodetic latitude lat (degrees, -90..90 inclusive), longitude lon (degrees,
// any value: only its sine and cosine are used) and altitude alt (feet) to
// Earth-fixed *E, *F, *G (metres). With h = alt*0.3048 + WGS84_HEIGHT_OFFSET,
// sl = sind(lat), cl = cosd(lat), so = sind(lon), co = cosd(lon) and
// w = sqrt(1 - sqr(sl)*WGS84_E2):
//   E = (A*cl)/w*co + h*cl*co,  F = (A*cl)/w*so + h*cl*so,
//   G = ((1 - e2)*A*sl)/w + h*sl          (left to right, each rounded).
// Returns 0. A latitude above 90, below -90 or NaN is rejected: writes
// "(LLA84toEFG84) problem: lat>90 \n" (for either bound), returns 1 and leaves
// *E, *F, *G unwritten. Latitude +-90 is accepted (E is then about -3.3e-5 m,
// since cosd(90) is not 0).
int LLA84toEFG84(std::FILE* stream, double lat, double lon, double alt, double* E, double* F,
                 double* G);

// Earth-fixed E, F, G (metres) to geodetic *lat (degrees), *lon (degrees,
// (-180, 180]) and *alt (feet). Finds the foot of the ellipsoid normal through
// the point by exactly two Newton passes on a quartic in the foot point's G
// coordinate, started from the geocentric intersection; the cost is fixed and
// there is no tolerance test.
//
// Accuracy, checked by the tests against GeographicLib's exact geocentric
// conversion for |latitude| <= 89.9. Latitudes are first scaled by
// RAD2DEG/(180/pi), the shift of up to 2.9e-10 degree that the degree factor
// gives every angle; the errors left are those of the two passes:
//
//   height (ft)          latitude (deg)   altitude (ft)
//   -2e6 .. +2e6         1e-11            1e-6
//   -5e6                 5e-11            6e-5
//   -1e7                 3e-9             3e-3
//   +5e6                 1e-11            1.5e-5
//   +1e7                 5e-11            1.5e-4
//   +1e8                 2e-9             2e-2
//
// The longitude is within 3e-10 degree of the exact one (the degree factor
// again; a round trip through LLA84toEFG84 moves it outward by up to 5.9e-10).
// A round trip through LLA84toEFG84 for |altitude| <= 1e6 ft returns the
// altitude within 1e-7 ft and the latitude within, by band of |latitude|:
//
//   0 .. 85          1e-12 degree      89.99 .. 89.999      2e-9
//   85 .. 89         3e-12             89.999 .. 89.9999    2e-8
//   89 .. 89.9       2e-11             89.9999 .. 89.99999  2e-7
//   89.9 .. 89.99    2e-10
//
// (about 1.2e-12 / (90 - |latitude|) near a pole). Within about 1e-6 degree
// of a pole (a decimetre from the axis) the conversion may fail, and the
// latitude never reaches +-90 (at most 90 - 2.9e-10). Longitude 0 (F exactly
// 0, E >= 0) comes back exactly 0.
//
// Returns 0 with all three outputs written. Returns 1, writing
// "(EFG84toLLA84) error: negative or zero sqrt value\n" and leaving the
// outputs unwritten, when the foot point's q = (A^2 m - t^2) m (m = 1 - e2) is
// not positive: on the polar axis and within about a decimetre of it
// (including LLA84toEFG84's output for latitude +-90), at the centre, for
// some points deep inside the Earth where the passes run away (such as
// E = 1000, F = 0, G = 1000), and for NaN or infinite input.
int EFG84toLLA84(std::FILE* stream, double E, double F, double G, double* lat, double* lon,
                 double* alt);

// ---------------------------------------------------------------------------
// Local frame: azimuth/elevation/range <-> x east, y north, z up. Pure
// geometry; x, y, z and the range share one length unit, whatever it is. The
// stream is accepted for uniformity and never written.

// az, el (degrees) and range to *x, *y, *z:
//   z = sind(el)*range, y = cosd(az)*(cosd(el)*range), x = sind(az)*(cosd(el)*range).
// Nothing is validated. Because sind(180) is not 0, az 180, el 45,
// range 10000 gives x of about -7.2e-8.
void AERtoXYZ(std::FILE* stream, double az, double el, double range, double* x, double* y,
              double* z);

// x, y, z to *az, *el (degrees) and *range. range = sqrt(x^2 + y^2 + z^2);
// el = asind(z/range), or 0 when the range is 0 (so the origin gives 0, 0, 0).
// The azimuth is decided by y alone and is not normalised: y = 0 gives 90
// (x > 0), 270 (x < 0) or 0 (x = 0); otherwise az = atand(x/y), plus 180 when
// y < 0. So it lies from just above -90 (west of north gives negative values,
// x = -1, y = 1 gives about -45) up to 270. Straight up is el = 90 - 2.9e-10.
void XYZtoAER(std::FILE* stream, double x, double y, double z, double* az, double* el,
              double* range);

// ---------------------------------------------------------------------------
// Site-relative conversions. The base site is baseLat, baseLon (degrees) and
// baseAlt (feet); it is placed as LLA84toEFG84 places a point, and the local
// frame at it has x east, y north, z up. A Site holds a placed site for many
// targets; the free functions below place their site on every call and give
// exactly the bits, statuses and messages of the Site's conversions (but for
// the sign and payload of a NaN result: when both operands of an addition are
// NaN, which one it passes on is the processor's choice, and s390x takes
// whichever the compiler put first).
//
// The rotation from the site's east/north/up axes (x, y, z) into Earth-fixed
// axes, with sl, cl, so, co the sind and cosd of the site's latitude and
// longitude, and E0, F0, G0 the site's Earth-fixed position:
//   E = (-so*x) - (co*sl*y) + (co*cl*z) + E0
//   F = (co*x) - (so*sl*y) + (so*cl*z) + F0
//   G = (cl*y) + (sl*z) + G0                 (left to right, each rounded)
// and a target's local components in metres from az, el (degrees) and range
// (feet), r = range*0.3048:
//   x = sind(az)*(cosd(el)*r),  y = cosd(az)*(cosd(el)*r),  z = sind(el)*r.
//
// Accuracy, checked against GeographicLib's LocalCartesian: a target's
// Earth-fixed position lies within 1e-4 m + 4e-11 * r of the exact one (the
// degree factors turn the site's frame and the direction by up to 2e-11 rad
// and place the site up to 7e-5 m off).

namespace detail {
struct SiteKernels;
}

class Site {
 public:
  // Places the site at latitude lat (degrees, -90..90 inclusive), longitude
  // lon (degrees) and altitude alt (feet). A latitude above 90, below -90 or
  // NaN gives an invalid site: "(LLA84toEFG84) problem: lat>90 \n" is written
  // to stream (dropped when it is null), and every conversion through the
  // site then writes that message again, returns 1 and leaves its outputs
  // unwritten (AERtoLLA84's zero-range rule, checked first, still applies).
  // Never allocates; a Site is trivially copyable and its conversions may be
  // called from many threads at once.
  Site(std::FILE* stream, double lat, double lon, double alt) noexcept;
  Site(double lat, double lon, double alt) noexcept : Site(nullptr, lat, lon, alt) {}

  bool valid() const noexcept { return valid_; }
  // The site as given, and its Earth-fixed position in metres (NaN when the
  // site is invalid).
  double latitude() const noexcept { return lat_; }
  double longitude() const noexcept { return lon_; }
  double altitude() const noexcept { return alt_; }
  double E() const noexcept { return E0_; }
  double F() const noexcept { return F0_; }
  double G() const noexcept { return G0_; }

  // A target at az, el (degrees) and range (feet) from the site to its
  // Earth-fixed *E, *F, *G (metres): the local components above rotated and
  // added to the site's position. Returns 0; any range is accepted (0 gives
  // the site's own position) and NaN or infinite input gives NaN or infinite
  // output. Returns 1 only for an invalid site.
  int AERtoEFG84(std::FILE* stream, double az, double el, double range, double* E, double* F,
                 double* G) const noexcept;

  // A target at az, el (degrees) and range (feet) from the site to its *lat,
  // *lon (degrees) and *alt (feet): AERtoEFG84, then EFG84toLLA84. Returns 0
  // on success. Failures, each returning 1:
  //   range exactly 0 (checked first): writes
  //     "(AERtoLLA84) problem: input range=0 \n" and hands back the site as
  //     given in *lat, *lon, *alt;
  //   invalid site: "(LLA84toEFG84) problem: lat>90 \n", outputs unwritten;
  //   the target on or near the polar axis (and the other EFG84toLLA84
  //     failures): "(EFG84toLLA84) error: negative or zero sqrt value\n",
  //     outputs unwritten.
  // The latitude and longitude carry EFG84toLLA84's error and its 2.9e-10
  // degree scaling besides the position error above.
  int AERtoLLA84(std::FILE* stream, double az, double el, double range, double* lat,
                 double* lon, double* alt) const noexcept;

  // A target at Earth-fixed E, F, G (metres) to the *az (degrees, 0 to 360),
  // *el (degrees, -90..90) and *range (feet) at which the site sees it. With
  // dE, dF, dG = E - E0, F - F0, G - G0 and the rows of the rotation,
  //   east = dE*(-so) + dF*co
  //   north = dE*(-co*sl) + dF*(-so*sl) + dG*cl
  //   up = dE*(co*cl) + dF*(so*cl) + dG*sl,
  // range = sqrt(east^2 + north^2 + up^2) / 0.3048, and with
  // hz = sqrt(east^2 + north^2): az = atan2d(east, north) (plus 360 when
  // negative), el = atand(up / hz). A target on the site's vertical (east and
  // north exactly 0, so hz = 0) gets az 0 and el of about +-(90 - 2.9e-10)
  // with the sign of up, the value XYZtoAER gives straight up; the site
  // itself gets az 0, el 0, range 0. Returns 0; returns 1, with the message
  // and the outputs unwritten, for an invalid site. Angles are within the
  // position error over the lever arm (in radians) plus 1.2e-9 degree of
  // degree-factor scaling.
  int EFG84toAER(std::FILE* stream, double E, double F, double G, double* az, double* el,
                 double* range) const noexcept;

  // Each of them over n targets, as the array routines below:
  //   std::size_t AERtoEFG84(std::size_t n, const double* az, const double* el,
  //                          const double* range, double* E, double* F, double* G,
  //                          Fault* faults = nullptr, Mode mode = Mode::kExact) const noexcept;
#define GEOCONV_SITE_CONVERSION(name, command, refusals, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                                ea, eb, ec, lat, lon, alt)                                        \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c, double* x,  \
                   double* y, double* z, Fault* faults = nullptr, Mode mode = Mode::kExact)     \
      const noexcept;
// The moving-target routines (below), point and array forms.
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)         \
  int name(std::FILE* stream, GEOCONV_EACH(GEOCONV_VALUE, inputs),                              \
           GEOCONV_EACH(GEOCONV_RESULT, outputs)) const noexcept;                               \
  std::size_t name(std::size_t n, GEOCONV_EACH(GEOCONV_COLUMN, inputs),                         \
                   GEOCONV_EACH(GEOCONV_RESULT, outputs), Fault* faults = nullptr,              \
                   Mode mode = Mode::kExact) const noexcept;
#include <geoconv/routines.def>

 private:
  friend struct detail::SiteKernels;
  double lat_, lon_, alt_;    // as given: degrees, degrees, feet
  double sl_, cl_, so_, co_;  // sind and cosd of latitude and longitude
  double E0_, F0_, G0_;       // metres
  bool valid_;
};

// The free forms: the same conversions from a site given on each call.
int AERtoEFG84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* E, double* F, double* G);
int AERtoLLA84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* lat, double* lon, double* alt);
int EFG84toAER(std::FILE* stream, double E, double F, double G, double baseLat, double baseLon,
               double baseAlt, double* az, double* el, double* range);

// ---------------------------------------------------------------------------
// Moving targets: velocities, and azimuth, elevation and range with their
// rates, each on a Site (above) and free from a site given on each call
// after the point's inputs. They are declared here from their entries in
// <geoconv/routines.def>, where each one's formulas, units, faults and
// accuracy are documented beside its entry, such as
//   int EFG84toAERrates(std::FILE* stream, double E, double F, double G, double vE,
//                       double vF, double vG, double baseLat, double baseLon,
//                       double baseAlt, double* az, double* el, double* range,
//                       double* azRate, double* elRate, double* rangeRate);
// and its array form, which takes arrays where this takes numbers.
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)   \
  int name(std::FILE* stream, GEOCONV_EACH(GEOCONV_VALUE, inputs), double baseLat,        \
           double baseLon, double baseAlt, GEOCONV_EACH(GEOCONV_RESULT, outputs));        \
  std::size_t name(std::size_t n, GEOCONV_EACH(GEOCONV_COLUMN, inputs),                   \
                   const double* baseLat, const double* baseLon, const double* baseAlt,  \
                   GEOCONV_EACH(GEOCONV_RESULT, outputs), Fault* faults = nullptr,        \
                   Mode mode = Mode::kExact) noexcept;
#include <geoconv/routines.def>

// ---------------------------------------------------------------------------
// Datum shift.

// WGS 84 Earth-fixed E, F, G (metres) to WGS 72 Earth-fixed *E72, *F72, *G72
// (metres): with n, c the platform sine and cosine of 2.686e-6 rad (0.554
// arc-second), s = 1 + 2.263e-7 and g = G - 4.5,
//   E72 = (E*c + F*n)/s,  F72 = ((-E)*n + F*c)/s,  G72 = g/s.
// A point's longitude turns back (west) by 2.686e-6 rad, G drops 4.5 m and
// everything shrinks by 1/s (about 1.44 m at the Earth's radius). Always
// returns 0 and never writes to the stream; NaN or infinite input gives NaN
// or infinite output.
int EFG84toEFG72(std::FILE* stream, double E, double F, double G, double* E72, double* F72,
                 double* G72);

// ---------------------------------------------------------------------------
// Arrays: every conversion over n points at once. Each input and output is an
// array of n doubles (the base site's too, in the free site routines);
// faults, when not null, gets each point's Fault; the return value is the
// number of points that failed. A failing point's outputs are left as the
// point routine leaves them (unwritten, or the site itself for AERtoLLA84's
// range of exactly 0). Nothing is written to any stream. In Mode::kExact
// every point gets exactly the point routine's bits and fault (but for the
// sign and payload of a NaN result, as between a Site and the free site
// routines above): each conversion is one text over lanes of doubles,
// converted here with the widest vectors the processor runs (AVX-512, AVX2
// with FMA or SSE2 on x86-64, found once; GEOCONV_ISA=avx512|avx2|sse2|scalar
// caps the level; NEON on aarch64, SIMD128 in WebAssembly), whose one-lane
// instance is the point routine. Inputs and
// outputs may overlap in any way (the same arrays, a conversion in place, or
// shifted): the results are those of converting a copy of the inputs.
// Outputs may not overlap one another or the faults. Safe from many threads;
// allocates only to copy inputs that results overlap at both earlier and
// later points. A call that converts nothing returns a status of
// <geoconv/registry.hpp> instead of a count (kArrayBadMode for a Mode that
// is neither of the two, kArrayNullPointer for a null array with n > 0,
// kArrayOverlappingOutputs, kArrayNoMemory). Strided arrays go through
// <geoconv/registry.hpp>.

// Made from <geoconv/routines.def>, one for each conversion, such as
//   std::size_t LLA84toEFG84(std::size_t n, const double* lat, const double* lon,
//                            const double* alt, double* E, double* F, double* G,
//                            Fault* faults = nullptr, Mode mode = Mode::kExact) noexcept;
//   std::size_t AERtoLLA84(std::size_t n, const double* az, const double* el,
//                          const double* range, const double* baseLat,
//                          const double* baseLon, const double* baseAlt, double* lat,
//                          double* lon, double* alt, Fault* faults = nullptr,
//                          Mode mode = Mode::kExact) noexcept;
#define GEOCONV_CONVERSION(name, command, fault, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                           ea, eb, ec)                                                             \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c, double* x,   \
                   double* y, double* z, Fault* faults = nullptr, Mode mode = Mode::kExact) noexcept;
#define GEOCONV_SITE_CONVERSION(name, command, refusals, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                                ea, eb, ec, lat, lon, alt)                                        \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c,             \
                   const double* baseLat, const double* baseLon, const double* baseAlt,         \
                   double* x, double* y, double* z, Fault* faults = nullptr,                    \
                   Mode mode = Mode::kExact) noexcept;
#include <geoconv/routines.def>

// ---------------------------------------------------------------------------
// Text and angle utilities. They take no stream and cannot fail.

// Splits angle (decimal degrees) into *deg whole degrees carrying the angle's
// sign, *min whole minutes (0..59) and *sec seconds with their fraction.
// Whole parts are truncated toward zero; minutes and seconds come from the
// magnitude: sec = ((|a| - D) - M/60) * 3600, neither rounded nor clamped (so
// 1.23 gives 1, 13, 47.99999999999991, and a fraction whose minutes round up
// gives seconds of about -1e-13). For -1 < angle < 0 the degrees are -0.0, the
// only mark of the sign; -0.0 itself gives +0, 0, 0. NaN gives NaN in all
// three; +-infinity gives +-infinity degrees and NaN minutes and seconds.
void DEGtoDMS(double angle, double* deg, double* min, double* sec);

// Reads a signed decimal integer from str[first..last] (indexes from 0, last
// inclusive). The field is negative when str[first] is '-'. Every non-digit
// (sign, blank, anything from 128 up) sets the value back to 0, so the result
// is the value of the last run of digits: "  42" gives 42, "12 34" gives 34,
// "42 " gives 0, " -5" gives 5 and "--5" gives -5. A run's value saturates at
// 2147483647 (or -2147483648 for a negative field) rather than overflowing.
// A null str, a negative first, last < first, or a first index beyond the
// text give 0. Reading stops at the text's zero terminator, which counts as a
// non-digit (so a field running past the end of the text gives 0): nothing
// beyond the terminator is ever read.
int STRtoINT(const char* str, int first, int last);

}  // namespace geoconv

#endif  // GEOCONV_GEOCONV_HPP
