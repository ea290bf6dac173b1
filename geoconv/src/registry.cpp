// The table of routines (registry.hpp). Each entry's run() calls the same
// internal arithmetic as the public routine of its name (or that routine
// itself, when it cannot fail), so its bits are that routine's by
// construction; call() is the public routine.

#include <cstring>
#include <geoconv/registry.hpp>

#include "internal.hpp"

namespace geoconv {

namespace {

using detail::SiteKernels;

constexpr Unit kDeg = Unit::kDegrees, kFt = Unit::kFeet, kM = Unit::kMetres, kLen = Unit::kLength,
               kNum = Unit::kNone;

// Adapters from the routines' own signatures to the table's.
using Three = int (*)(std::FILE*, double, double, double, double*, double*, double*);
using Local = void (*)(std::FILE*, double, double, double, double*, double*, double*);
using Six = int (*)(std::FILE*, double, double, double, double, double, double, double*, double*,
                    double*);
using Member = int (Site::*)(std::FILE*, double, double, double, double*, double*, double*) const;

template <double (*f)(double)>
int call_one(std::FILE*, const double* in, double* out) {
  out[0] = f(in[0]);
  return 0;
}
template <Three f>
int call_three(std::FILE* stream, const double* in, double* out) {
  return f(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
}
template <Local f>
int call_local(std::FILE* stream, const double* in, double* out) {
  f(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
  return 0;
}
template <Six f>
int call_six(std::FILE* stream, const double* in, double* out) {
  return f(stream, in[0], in[1], in[2], in[3], in[4], in[5], &out[0], &out[1], &out[2]);
}
template <Member f>
int call_member(const Site& site, std::FILE* stream, const double* in, double* out) {
  return (site.*f)(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);
}
// The routines that cannot fail run as they are called.
template <int (*call)(std::FILE*, const double*, double*)>
Fault never_fails(const double* in, double* out) {
  call(nullptr, in, out);
  return Fault::kNone;
}

// The site routines on a placed site, and on one placed for the call as the
// free functions place it.
using Kernel = Fault (*)(const Site&, double, double, double, double&, double&, double&);
template <Kernel k>
Fault on_site(const Site& site, const double* in, double* out) {
  return k(site, in[0], in[1], in[2], out[0], out[1], out[2]);
}
template <Kernel k>
Fault at_site(const double* in, double* out) {
  return k(Site(in[3], in[4], in[5]), in[0], in[1], in[2], out[0], out[1], out[2]);
}

double square(double x) { return sqr(x); }
double third(double x) { return cube(x); }
int atan2_call(std::FILE*, const double* in, double* out) {
  out[0] = atan2d(in[0], in[1]);
  return 0;
}
int dms_call(std::FILE*, const double* in, double* out) {
  DEGtoDMS(in[0], &out[0], &out[1], &out[2]);
  return 0;
}
Fault geodetic_run(const double* in, double* out) {
  detail::Frame frame;
  return detail::place_site(in[0], in[1], in[2], frame, out[0], out[1], out[2]);
}
Fault earth_fixed_run(const double* in, double* out) {
  return detail::solve_lla(in[0], in[1], in[2], out[0], out[1], out[2]);
}

// A helper: one number in, one out, never failing.
template <double (*f)(double)>
constexpr Routine helper(const char* name, const char* summary, Quantity in, Quantity out) {
  return {name, summary, 1, 1, {in}, {out}, false, false, nullptr,
          never_fails<call_one<f>>, nullptr, call_one<f>, nullptr};
}

const Routine kRoutines[] = {
    helper<sind>("sind", "sine of an angle", {"d", kDeg}, {"sin", kNum}),
    helper<cosd>("cosd", "cosine of an angle", {"d", kDeg}, {"cos", kNum}),
    helper<tand>("tand", "tangent of an angle", {"d", kDeg}, {"tan", kNum}),
    helper<asind>("asind", "arc sine in degrees", {"v", kNum}, {"angle", kDeg}),
    helper<acosd>("acosd", "arc cosine in degrees", {"v", kNum}, {"angle", kDeg}),
    helper<atand>("atand", "arc tangent in degrees", {"v", kNum}, {"angle", kDeg}),
    {"atan2d",
     "arc tangent of y/x in degrees, by quadrant",
     2,
     1,
     {{"y", kNum}, {"x", kNum}},
     {{"angle", kDeg}},
     false,
     false,
     nullptr,
     never_fails<atan2_call>,
     nullptr,
     atan2_call,
     nullptr},
    helper<square>("sqr", "square", {"x", kNum}, {"square", kNum}),
    helper<third>("cube", "cube", {"x", kNum}, {"cube", kNum}),
    {"LLA84toEFG84",
     "geodetic latitude, longitude, altitude to Earth-fixed",
     3,
     3,
     {{"lat", kDeg}, {"lon", kDeg}, {"alt", kFt}},
     {{"E", kM}, {"F", kM}, {"G", kM}},
     false,
     true,
     "lla2efg",
     geodetic_run,
     nullptr,
     call_three<LLA84toEFG84>,
     nullptr},
    {"EFG84toLLA84",
     "Earth-fixed to geodetic latitude, longitude, altitude",
     3,
     3,
     {{"E", kM}, {"F", kM}, {"G", kM}},
     {{"lat", kDeg}, {"lon", kDeg}, {"alt", kFt}},
     false,
     true,
     "efg2lla",
     earth_fixed_run,
     nullptr,
     call_three<EFG84toLLA84>,
     nullptr},
    {"AERtoXYZ",
     "azimuth, elevation, range to local east, north, up",
     3,
     3,
     {{"az", kDeg}, {"el", kDeg}, {"range", kLen}},
     {{"x", kLen}, {"y", kLen}, {"z", kLen}},
     false,
     false,
     "aer2xyz",
     never_fails<call_local<AERtoXYZ>>,
     nullptr,
     call_local<AERtoXYZ>,
     nullptr},
    {"XYZtoAER",
     "local east, north, up to azimuth, elevation, range",
     3,
     3,
     {{"x", kLen}, {"y", kLen}, {"z", kLen}},
     {{"az", kDeg}, {"el", kDeg}, {"range", kLen}},
     false,
     false,
     "xyz2aer",
     never_fails<call_local<XYZtoAER>>,
     nullptr,
     call_local<XYZtoAER>,
     nullptr},
    {"AERtoLLA84",
     "a target seen from a site to geodetic latitude, longitude, altitude",
     3,
     3,
     {{"az", kDeg}, {"el", kDeg}, {"range", kFt}},
     {{"lat", kDeg}, {"lon", kDeg}, {"alt", kFt}},
     true,
     true,
     "aer2lla",
     at_site<SiteKernels::to_lla>,
     on_site<SiteKernels::to_lla>,
     call_six<AERtoLLA84>,
     call_member<&Site::AERtoLLA84>},
    {"AERtoEFG84",
     "a target seen from a site to Earth-fixed",
     3,
     3,
     {{"az", kDeg}, {"el", kDeg}, {"range", kFt}},
     {{"E", kM}, {"F", kM}, {"G", kM}},
     true,
     true,
     "aer2efg",
     at_site<SiteKernels::to_efg>,
     on_site<SiteKernels::to_efg>,
     call_six<AERtoEFG84>,
     call_member<&Site::AERtoEFG84>},
    {"EFG84toAER",
     "an Earth-fixed target to where a site sees it",
     3,
     3,
     {{"E", kM}, {"F", kM}, {"G", kM}},
     {{"az", kDeg}, {"el", kDeg}, {"range", kFt}},
     true,
     true,
     "efg2aer",
     at_site<SiteKernels::to_aer>,
     on_site<SiteKernels::to_aer>,
     call_six<EFG84toAER>,
     call_member<&Site::EFG84toAER>},
    {"EFG84toEFG72",
     "WGS 84 Earth-fixed to WGS 72 Earth-fixed",
     3,
     3,
     {{"E", kM}, {"F", kM}, {"G", kM}},
     {{"E72", kM}, {"F72", kM}, {"G72", kM}},
     false,
     false,
     "efg84to72",
     never_fails<call_three<EFG84toEFG72>>,
     nullptr,
     call_three<EFG84toEFG72>,
     nullptr},
    {"DEGtoDMS",
     "an angle to whole degrees, whole minutes and seconds",
     1,
     3,
     {{"angle", kDeg}},
     {{"deg", kDeg}, {"min", Unit::kMinutes}, {"sec", Unit::kSeconds}},
     false,
     false,
     "dms",
     never_fails<dms_call>,
     nullptr,
     dms_call,
     nullptr},
};

constexpr int kCount = static_cast<int>(sizeof kRoutines / sizeof kRoutines[0]);

}  // namespace

const char* symbol(Unit unit) noexcept {
  switch (unit) {
    case Unit::kDegrees:
      return "deg";
    case Unit::kFeet:
      return "ft";
    case Unit::kMetres:
      return "m";
    case Unit::kLength:
      return "length";
    case Unit::kMinutes:
      return "min";
    case Unit::kSeconds:
      return "s";
    case Unit::kNone:
      break;
  }
  return "";
}

const Routine* routines() noexcept { return kRoutines; }
int routine_count() noexcept { return kCount; }

const Routine* find_routine(const char* name) noexcept {
  if (name == nullptr) return nullptr;
  for (const Routine& r : kRoutines) {
    if (std::strcmp(name, r.name) == 0 || (r.command && std::strcmp(name, r.command) == 0)) {
      return &r;
    }
  }
  return nullptr;
}

}  // namespace geoconv
