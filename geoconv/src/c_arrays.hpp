// The C interface's array calls with a Mode of C++'s: geoconv_convert_array
// and geoconv_site_convert_array give it their mode, geoconv::fast's C
// functions (<geoconv/fast.h>) the fast mode.

#ifndef GEOCONV_SRC_C_ARRAYS_HPP
#define GEOCONV_SRC_C_ARRAYS_HPP

#include <geoconv/geoconv.h>
#include <geoconv/geoconv.hpp>

namespace geoconv::detail {

// Routine number `routine` of the registry over n points, free or (on_site)
// through a placed site, with geoconv_convert_array's statuses: the
// routine's, then the mode's, then n = 0, then null pointers, then
// run_array's own.
size_t c_array(int routine, bool on_site, const geoconv_site* site, size_t n,
               const double* const* in, const ptrdiff_t* in_stride, double* const* out,
               const ptrdiff_t* out_stride, unsigned char* faults, Mode mode) noexcept;

}  // namespace geoconv::detail

#endif  // GEOCONV_SRC_C_ARRAYS_HPP
