// The kernels for any x86-64 processor (SSE2, 2 doubles a vector).

#include <immintrin.h>
#include <sleef.h>

namespace geoconv::fast_detail {
namespace {
struct Isa {
  static constexpr int kWidth = 2;
  using V = double __attribute__((vector_size(16)));
  struct SinCos {
    V s, c;
  };
  static SinCos sincos(V x) {
    const Sleef___m128d_2 r = Sleef_sincosd2_u10sse2(x);
    return {r.x, r.y};
  }
  static V sin(V x) { return Sleef_sind2_u10sse2(x); }
  static V atan(V x) { return Sleef_atand2_u10sse2(x); }
  static V atan2(V y, V x) { return Sleef_atan2d2_u10sse2(y, x); }
  static V asin(V x) { return Sleef_asind2_u10sse2(x); }
  static V sqrt(V x) { return _mm_sqrt_pd(x); }
  template <class M>
  static unsigned bits(M m) {
    return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(m)));
  }
};
}  // namespace
}  // namespace geoconv::fast_detail

#include "kernels.hpp"

namespace geoconv::fast_detail {
const KernelSet kSse2Kernels = kKernels;
}
