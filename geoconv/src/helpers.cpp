// The degree helpers, defined here so that they are compiled with the
// library's flags (no contraction, no fast-math): a caller's flags cannot
// change their results, as they could if the caller's compiler inlined them
// into a vectorised loop.

#include "internal.hpp"

namespace geoconv {

double sind(double d) { return detail::sind(d); }
double cosd(double d) { return detail::cosd(d); }
double tand(double d) { return detail::tand(d); }
double asind(double v) { return detail::asind(v); }
double acosd(double v) { return detail::acosd(v); }
double atand(double v) { return detail::atand(v); }
double atan2d(double y, double x) { return detail::atan2d(y, x); }

}  // namespace geoconv
