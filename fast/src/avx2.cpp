// The kernels for processors with AVX2 and FMA (4 doubles a vector; SLEEF's
// AVX2 functions use FMA), compiled with -mavx2 -mfma: reached only after the
// dispatcher has found both.

#include <immintrin.h>
#include <sleef.h>

namespace geoconv::fast_detail {
namespace {
struct Isa {
  static constexpr int kWidth = 4;
  using V = double __attribute__((vector_size(32)));
  struct SinCos {
    V s, c;
  };
  static SinCos sincos(V x) {
    const Sleef___m256d_2 r = Sleef_sincosd4_u10avx2(x);
    return {r.x, r.y};
  }
  static V sin(V x) { return Sleef_sind4_u10avx2(x); }
  static V atan(V x) { return Sleef_atand4_u10avx2(x); }
  static V atan2(V y, V x) { return Sleef_atan2d4_u10avx2(y, x); }
  static V asin(V x) { return Sleef_asind4_u10avx2(x); }
  static V sqrt(V x) { return _mm256_sqrt_pd(x); }
  template <class M>
  static unsigned bits(M m) {
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
  }
};
}  // namespace
}  // namespace geoconv::fast_detail

#include "kernels.hpp"

namespace geoconv::fast_detail {
const KernelSet kAvx2Kernels = kKernels;
}
