// The modes an array test runs: the exact one, and the fast mode where the
// test links geoconv::fast (GEOCONV_TEST_FAST), else Mode::kFast alone (the
// exact bits).
#ifndef GEOCONV_TESTS_MODES_HPP
#define GEOCONV_TESTS_MODES_HPP

#include <geoconv/geoconv.hpp>
#if defined(GEOCONV_TEST_FAST)
#include <geoconv/fast.hpp>
#endif

inline geoconv::Mode fast_mode() {
#if defined(GEOCONV_TEST_FAST)
  return geoconv::fast::mode();
#else
  return geoconv::Mode::kFast;
#endif
}

#endif  // GEOCONV_TESTS_MODES_HPP
