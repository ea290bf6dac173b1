/* geoconv::fast from C: the array calls of <geoconv/geoconv.h> in the fast
 * mode, SLEEF's vector functions in the conversions' template, within the
 * bounds <geoconv/fast.hpp> states, at the best level the processor has
 * (geoconv::fast::mode()). A program that calls them links geoconv-fast
 * (pkg-config geoconv-fast, or CMake's geoconv::fast), or does not link.
 *
 * Each takes the arguments of its geoconv.h counterpart but the mode, and
 * gives its statuses and failing points: the same points fail, with the same
 * faults and outputs left as the exact call leaves them; the other points'
 * results differ from the exact bits only within those bounds, and only for
 * the routines whose fast kernels are kept (the others, and a processor
 * without AVX2 and FMA, give the exact bits). */

#ifndef GEOCONV_FAST_H
#define GEOCONV_FAST_H

#include <geoconv/geoconv.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t geoconv_fast_convert_array(int routine, size_t n, const double* const* in,
                                  const ptrdiff_t* in_stride, double* const* out,
                                  const ptrdiff_t* out_stride, unsigned char* faults);
size_t geoconv_fast_site_convert_array(const geoconv_site* site, int routine, size_t n,
                                       const double* const* in, const ptrdiff_t* in_stride,
                                       double* const* out, const ptrdiff_t* out_stride,
                                       unsigned char* faults);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* GEOCONV_FAST_H */
