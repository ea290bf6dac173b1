// The library's own elementary functions: sin, cos, sincos, tan, asin, acos,
// atan and atan2 of doubles, correctly rounded to nearest for every
// argument, the same bits on every platform (IEEE operations only, no fused
// multiply-add), over one lane (double) or 2, 4 or 8 (V2, V4, V8). Special
// values follow Annex F of C: signed zeros kept, NaN for NaN and outside the
// domain.

#ifndef GEOCONV_SRC_MATH_MATH_HPP
#define GEOCONV_SRC_MATH_MATH_HPP

#include "inverse.hpp"
#include "trig.hpp"

#endif  // GEOCONV_SRC_MATH_MATH_HPP
