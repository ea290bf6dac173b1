// Site-relative conversions: a target seen from a base site (latitude,
// longitude, altitude) at azimuth, elevation and range, to and from global
// coordinates. A Site places its site once, with the arithmetic of
// LLA84toEFG84, and keeps the sines and cosines of its frame; the free
// functions build one for each call, so both give the same bits.

#include "internal.hpp"

#include <limits>

namespace geoconv {

Site::Site(std::FILE* stream, double lat, double lon, double alt) noexcept
    : lat_(lat), lon_(lon), alt_(alt) {
  detail::Frame f;
  valid_ = detail::reported(stream, detail::place_site(lat, lon, alt, f, E0_, F0_, G0_)) == 0;
  if (!valid_) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    f = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    E0_ = F0_ = G0_ = kNaN;
  }
  sl_ = f.sl;
  cl_ = f.cl;
  so_ = f.so;
  co_ = f.co;
}

namespace detail {

Fault SiteKernels::AERtoEFG84(const Site& s, double az, double el, double range, double& E,
                          double& F, double& G) {
  if (!s.valid_) return Fault::kLatitude;
  conv::site_to_efg<conv::Exact>(frame(s), az, el, range, E, F, G);
  return Fault::kNone;
}

Fault SiteKernels::AERtoLLA84(const Site& s, double az, double el, double range, double& lat,
                          double& lon, double& alt) {
  if (range == 0.0) {
    // No direction can be taken from a zero range: hand back the site itself.
    lat = s.lat_;
    lon = s.lon_;
    alt = s.alt_;
    return Fault::kRange;
  }
  double E, F, G;
  const Fault placed = AERtoEFG84(s, az, el, range, E, F, G);
  return placed != Fault::kNone ? placed : solve_lla(E, F, G, lat, lon, alt);
}

Fault SiteKernels::EFG84toAER(const Site& s, double E, double F, double G, double& az, double& el,
                          double& range) {
  if (!s.valid_) return Fault::kLatitude;
  conv::site_to_aer<conv::Exact>(frame(s), E, F, G, az, el, range);
  return Fault::kNone;
}

}  // namespace detail

int Site::AERtoEFG84(std::FILE* stream, double az, double el, double range, double* E,
                     double* F, double* G) const noexcept {
  return detail::reported(stream, detail::SiteKernels::AERtoEFG84(*this, az, el, range, *E, *F, *G));
}

int Site::AERtoLLA84(std::FILE* stream, double az, double el, double range, double* lat,
                     double* lon, double* alt) const noexcept {
  return detail::reported(stream,
                          detail::SiteKernels::AERtoLLA84(*this, az, el, range, *lat, *lon, *alt));
}

int Site::EFG84toAER(std::FILE* stream, double E, double F, double G, double* az, double* el,
                     double* range) const noexcept {
  return detail::reported(stream,
                          detail::SiteKernels::EFG84toAER(*this, E, F, G, *az, *el, *range));
}

int AERtoEFG84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* E, double* F, double* G) {
  return Site(baseLat, baseLon, baseAlt).AERtoEFG84(stream, az, el, range, E, F, G);
}

int AERtoLLA84(std::FILE* stream, double az, double el, double range, double baseLat,
               double baseLon, double baseAlt, double* lat, double* lon, double* alt) {
  return Site(baseLat, baseLon, baseAlt).AERtoLLA84(stream, az, el, range, lat, lon, alt);
}

int EFG84toAER(std::FILE* stream, double E, double F, double G, double baseLat, double baseLon,
               double baseAlt, double* az, double* el, double* range) {
  return Site(baseLat, baseLon, baseAlt).EFG84toAER(stream, E, F, G, az, el, range);
}

// The routines made from their entries alone: each Site member runs the
// entry's arithmetic through SiteKernels::run and writes its outputs on
// success, and the free form places the site first.
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)         \
  int Site::name(std::FILE* stream, GEOCONV_EACH(GEOCONV_VALUE, inputs),                        \
                 GEOCONV_EACH(GEOCONV_RESULT, outputs)) const noexcept {                        \
    using namespace detail::fault_names;                                                           \
    const double in[] = {GEOCONV_EACH(GEOCONV_NAME, inputs)};                                   \
    double* const to[] = {GEOCONV_EACH(GEOCONV_NAME, outputs)};                                 \
    constexpr int kOut = static_cast<int>(sizeof to / sizeof to[0]);                            \
    double out[kOut];                                                                           \
    const Fault f = detail::SiteKernels::run<detail::conv::name<detail::conv::Exact, double>,   \
                                             kOut, detail::own_fault(GEOCONV_UNPAREN refusals)>( \
        *this, in, out);                                                                        \
    if (f == Fault::kNone) {                                                                    \
      for (int k = 0; k < kOut; ++k) *to[k] = out[k];                                           \
    }                                                                                           \
    return detail::reported(stream, f);                                                         \
  }                                                                                             \
  int name(std::FILE* stream, GEOCONV_EACH(GEOCONV_VALUE, inputs), double baseLat,             \
           double baseLon, double baseAlt, GEOCONV_EACH(GEOCONV_RESULT, outputs)) {             \
    return Site(baseLat, baseLon, baseAlt)                                                      \
        .name(stream, GEOCONV_EACH(GEOCONV_NAME, inputs), GEOCONV_EACH(GEOCONV_NAME, outputs));  \
  }
#include <geoconv/routines.def>

}  // namespace geoconv
