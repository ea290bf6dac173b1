// Invariant check for the fuzz targets: a violation aborts, which libFuzzer
// reports as a finding with the input that caused it.

#ifndef GEOCONV_FUZZ_CHECK_HPP
#define GEOCONV_FUZZ_CHECK_HPP

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                      \
  do {                                                                        \
    if (!(cond)) {                                                            \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                           \
    }                                                                         \
  } while (0)

#endif
