// WGS 84 -> WGS 72 datum shift of Earth-fixed coordinates.
//
// The published relation between the datums (no shift along E and F, 4.5 m
// along G, a scale difference of 0.2263 ppm and a rotation of 0.554 arc-second
// about the polar axis) applied backwards: remove the translation, turn the
// point back about G, divide by the scale factor. Works in radians with the
// library's sine and cosine; the degree helpers are not involved.

#include "internal.hpp"

namespace geoconv {

using namespace detail::datum;

int EFG84toEFG72(std::FILE* /*stream*/, double E, double F, double G, double* E72, double* F72,
                 double* G72) {
  const double n = detail::elementary::sin(kRotation);
  const double c = detail::elementary::cos(kRotation);
  const double e = E - kShiftE;
  const double f = F - kShiftF;
  const double g = G - kShiftG;
  const double s = 1.0 + kScale;
  *E72 = (e * c + f * n) / s;
  *F72 = ((-e) * n + f * c) / s;
  *G72 = g / s;
  return 0;
}

}  // namespace geoconv
