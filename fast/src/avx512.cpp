// The kernels for processors with AVX-512 (8 doubles a vector), compiled with
// -mavx512f: reached only after the dispatcher has found AVX-512.

#include <immintrin.h>
#include <sleef.h>

namespace geoconv::fast_detail {
namespace {
struct Isa {
  static constexpr int kWidth = 8;
  using V = double __attribute__((vector_size(64)));
  struct SinCos {
    V s, c;
  };
  static SinCos sincos(V x) {
    const Sleef___m512d_2 r = Sleef_sincosd8_u10avx512f(x);
    return {r.x, r.y};
  }
  static V sin(V x) { return Sleef_sind8_u10avx512f(x); }
  static V atan(V x) { return Sleef_atand8_u10avx512f(x); }
  static V atan2(V y, V x) { return Sleef_atan2d8_u10avx512f(y, x); }
  static V asin(V x) { return Sleef_asind8_u10avx512f(x); }
  // (GCC 12 warns about _mm512_sqrt_pd's undefined operand; with every lane
  // selected this is the same instruction.)
  static V sqrt(V x) { return _mm512_maskz_sqrt_pd(0xFF, x); }
  template <class M>
  static unsigned bits(M m) {
    return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(m), reinterpret_cast<__m512i>(m));
  }
};
}  // namespace
}  // namespace geoconv::fast_detail

#include "kernels.hpp"

namespace geoconv::fast_detail {
const KernelSet kAvx512Kernels = kKernels;
}
