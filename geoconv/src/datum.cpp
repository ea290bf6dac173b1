// WGS 84 -> WGS 72 datum shift of Earth-fixed coordinates.
//
// The published relation between the datums (no shift along E and F, 4.5 m
// along G, a scale difference of 0.2263 ppm and a rotation of 0.554 arc-second
// about the polar axis) applied backwards: remove the translation, turn the
// point back about G, divide by the scale factor. Works in radians with the
// library's sine and cosine; the degree helpers are not involved.

#include "internal.hpp"

namespace geoconv {

int EFG84toEFG72(std::FILE* /*stream*/, double E, double F, double G, double* E72, double* F72,
                 double* G72) {
  using detail::conv::Exact;
  const double n = Exact::sin(detail::conv::datum::kRotation);
  const double c = Exact::cos(detail::conv::datum::kRotation);
  double e, f, g;
  detail::conv::efg84_to_efg72(E, F, G, n, c, e, f, g);
  *E72 = e, *F72 = f, *G72 = g;
  return 0;
}

}  // namespace geoconv
