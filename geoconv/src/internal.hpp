// Internal pieces shared by the library's sources: the degree helpers, the
// fault writer, and the one-lane instances of the conversions of
// conversions.hpp that more than one source calls (the placement of a site,
// the solution for latitude, longitude and altitude, a Site's conversions).
// They yield a Fault and write nothing; the public routines write its
// message.

#ifndef GEOCONV_SRC_INTERNAL_HPP
#define GEOCONV_SRC_INTERNAL_HPP

#include <geoconv/geoconv.hpp>

#include <cmath>
#include <cstdio>

#include "conversions.hpp"
#include "job.hpp"

namespace geoconv::detail {

// The helpers as the public ones define them (helpers.cpp), inline here so
// that the conversions do not pay a call for each; both are compiled with the
// library's flags, so they give the same bits.
inline double sind(double d) { return conv::sind<conv::Exact>(d); }
inline double cosd(double d) { return conv::cosd<conv::Exact>(d); }
inline double tand(double d) { return conv::tand<conv::Exact>(d); }
inline double asind(double v) { return conv::asind<conv::Exact>(v); }
inline double acosd(double v) { return conv::acosd<conv::Exact>(v); }
inline double atand(double v) { return conv::atand<conv::Exact>(v); }
inline double atan2d(double y, double x) { return conv::atan2d<conv::Exact>(y, x); }

// A routine's status for a fault: 0 for none, else 1 after one formatted
// write of the fault's message line (a null stream drops it).
inline int reported(std::FILE* stream, Fault fault) {
  if (fault == Fault::kNone) return 0;
  if (stream != nullptr) std::fprintf(stream, "%s", message(fault));
  return 1;
}

using Frame = conv::Frame<double>;

// LLA84toEFG84 on one point (conv::place): kLatitude, writing nothing, for a
// latitude above 90, below -90 or NaN; else the frame s and E, F, G.
inline Fault place_site(double lat, double lon, double alt, Frame& s, double& E, double& F,
                        double& G) {
  Frame f;
  if (conv::place<conv::Exact>(lat, lon, alt, f)) return Fault::kLatitude;
  s = f;
  E = f.E0, F = f.F0, G = f.G0;
  return Fault::kNone;
}

// EFG84toLLA84 on one point (conv::solve): kSolve, writing nothing, where the
// foot point's q is not positive.
inline Fault solve_lla(double E, double F, double G, double& lat, double& lon, double& alt) {
  double la, lo, al, q;
  if (conv::solve<conv::Exact>(E, F, G, la, lo, al, q)) return Fault::kSolve;
  lat = la, lon = lo, alt = al;
  return Fault::kNone;
}

// The conversions of a placed Site, which may read its private parts.
struct SiteKernels {
  static Frame frame(const Site& s) { return {s.sl_, s.cl_, s.so_, s.co_, s.E0_, s.F0_, s.G0_}; }
  static Fault AERtoEFG84(const Site& s, double az, double el, double range, double& E, double& F,
                      double& G);
  static Fault AERtoLLA84(const Site& s, double az, double el, double range, double& lat,
                      double& lon, double& alt);
  static Fault EFG84toAER(const Site& s, double E, double F, double G, double& az, double& el,
                      double& range);

  // A site routine made from its entry (routines.def): its arithmetic f on
  // the site's frame, in[] its kIn inputs; out[] gets all kOut outputs, or
  // nothing when it fails (an invalid site first, then kOwn where f refuses
  // the point). in and out may be the same array.
  template <conv::Mask<double> (*f)(const Frame&, const double*, double*), int kOut, Fault kOwn>
  static Fault run(const Site& s, const double* in, double* out) {
    if (!s.valid_) return Fault::kLatitude;
    double result[kOut];
    if (f(frame(s), in, result)) return kOwn;
    for (int k = 0; k < kOut; ++k) out[k] = result[k];
    return Fault::kNone;
  }
  // The same on a site given after the inputs: in[kIn .. kIn + 2].
  template <conv::Mask<double> (*f)(const Frame&, const double*, double*), int kIn, int kOut,
            Fault kOwn>
  static Fault run_at(const double* in, double* out) {
    return run<f, kOut, kOwn>(Site(in[kIn], in[kIn + 1], in[kIn + 2]), in, out);
  }
};

}  // namespace geoconv::detail

#endif  // GEOCONV_SRC_INTERNAL_HPP
