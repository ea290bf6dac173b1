// The fast mode's kernels for one processor level: the exact kernels'
// template (geoconv/src/kernels.hpp), the conversions' one text, with SLEEF's
// vector functions (1-ulp bounds) in place of the correctly rounded ones.
// Each level's source defines, before including this:
//   GEOCONV_LEVEL        its namespace (math/level.hpp)
//   GEOCONV_SLEEF(f)     SLEEF's name of function f for its vectors
//   GEOCONV_SLEEF_PAIR   SLEEF's type of a sine and cosine pair
//   GEOCONV_FAST_SET     the name of the KernelSet it defines
// and is compiled for that level.

#include <sleef.h>

#include "../../geoconv/src/kernels.hpp"

GEOCONV_LEVEL_BEGIN(kernels)

struct Sleef {
  // Lanes the exact routine decides instead: see unsure_angle and
  // unsure_solution.
  static constexpr bool kApproximate = true;
  static constexpr bool kPairs = false;

  template <class V> static V sin(V x) { return GEOCONV_SLEEF(sin)(x); }
  template <class V> static V cos(V x) { return GEOCONV_SLEEF(cos)(x); }
  template <class V> static V tan(V x) { return GEOCONV_SLEEF(tan)(x); }
  template <class V> static V asin(V x) { return GEOCONV_SLEEF(asin)(x); }
  template <class V> static V acos(V x) { return GEOCONV_SLEEF(acos)(x); }
  template <class V> static V atan(V x) { return GEOCONV_SLEEF(atan)(x); }
  template <class V> static V atan2(V y, V x) { return GEOCONV_SLEEF(atan2)(y, x); }
  template <class V> static void sincos(V x, V& s, V& c) {
    const GEOCONV_SLEEF_PAIR r = GEOCONV_SLEEF(sincos)(x);
    s = r.x, c = r.y;
  }
  template <class V> static V sqrt(V x) { return math::Lanes<V>::sqrt(x); }

  // SLEEF's sine and cosine are within 1 ulp for |x| <= 1e299 rad only;
  // beyond that (and for an infinity) the exact routine decides.
  template <class V> static Mask<V> unsure_angle(V d) {
    const V x = d * DEG2RAD;
    return conv::either<V>(x > 1e299, x < -1e299);
  }

  // AERtoLLA84's target comes from SLEEF's sines and cosines, so its E, F, G
  // (and q) differ from the exact routine's in the last bits, and on the
  // polar axis that decides whether q is positive. A target whose q is below
  // kAxisMargin (within about 2 m of the axis; the two modes' q differ by a
  // few hundredths of a square metre there) goes to the exact routine, as
  // does one within kDeep of the centre, where the two passes run away and
  // no margin holds; so both modes refuse the same targets.
  template <class V> static Mask<V> unsure_solution(V q, V r2) {
    constexpr double kAxisMargin = 4.0;  // m^2
    constexpr double kDeep = 2.0e6;      // m
    return conv::either<V>(q < kAxisMargin, r2 < kDeep * kDeep);
  }
};

GEOCONV_LEVEL_END  // kernels

namespace geoconv::detail {
extern const KernelSet GEOCONV_FAST_SET;
const KernelSet GEOCONV_FAST_SET = kernels::kernel_set<kernels::Widest, kernels::Sleef>(GEOCONV_FAST_NAME);
}  // namespace geoconv::detail
