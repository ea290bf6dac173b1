// The public routine behind each registry entry, stream and status included,
// for the tests that check an entry's run() against the routine itself.

#ifndef GEOCONV_SRC_CALLS_HPP
#define GEOCONV_SRC_CALLS_HPP

#include <geoconv/registry.hpp>

#include <cstdio>

namespace geoconv::detail {

struct PublicCall {
  // The routine: the status it returns (0 for the helpers and those that
  // return nothing) and its message on stream.
  int (*call)(std::FILE* stream, const double* in, double* out);
  // A site routine's Site member (null for the others).
  int (*on_site)(const Site& site, std::FILE* stream, const double* in, double* out);
};

// r must be an entry of routines().
const PublicCall& public_call(const Routine& r) noexcept;

}  // namespace geoconv::detail

#endif  // GEOCONV_SRC_CALLS_HPP
