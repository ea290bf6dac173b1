// Lanes of doubles for the elementary functions: a plain double (one lane) or
// a vector of 2, 4 or 8 with GCC's and clang's vector extensions. The
// functions are written once over a lane type V; every operation below is
// the same IEEE operation in each lane, so each width gives the bits that one
// lane gives. Selections take masks (all ones where a comparison holds). The
// library is compiled with -ffp-contract=off: no multiply and add is fused
// behind its back. Where the target has a fused multiply-add in hardware,
// the exact product's error term uses it explicitly (fms below); elsewhere
// Dekker's product does, with the same result wherever both are exact.

#ifndef GEOCONV_SRC_MATH_LANES_HPP
#define GEOCONV_SRC_MATH_LANES_HPP

#include "level.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#elif defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#endif

// 1 where the target multiplies and adds with one rounding in hardware
// (x86 with FMA, aarch64, s390x, POWER; GCC's __FP_FAST_FMA), else 0.
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA) || defined(__s390x__) || defined(__FP_FAST_FMA)
#define GEOCONV_MATH_FMA 1
#else
#define GEOCONV_MATH_FMA 0
#endif

// The kernels' helpers are small and called in the hot path of each
// function: always inlined.
#define GEOCONV_MATH_INLINE inline __attribute__((always_inline))
// The rare lanes' code, kept out of line so that the common path needs no
// stack frame of its own.
#define GEOCONV_MATH_COLD inline __attribute__((noinline, cold))

// Each operation rounded on its own, contraction off (begin.hpp).
#include "begin.hpp"

GEOCONV_LEVEL_BEGIN(math)

using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));
using V8 = double __attribute__((vector_size(64)));

using I2 = std::int64_t __attribute__((vector_size(16)));
using I4 = std::int64_t __attribute__((vector_size(32)));
using I8 = std::int64_t __attribute__((vector_size(64)));

namespace lanes_detail {
template <class V> struct Half;
template <> struct Half<V4> {
  using T = V2;
};
template <> struct Half<V8> {
  using T = V4;
};
// f(a, b, c) on the low and on the high halves of the lanes, for a width
// that the target has no instruction for.
template <class V, class F, std::size_t... kI>
GEOCONV_MATH_INLINE V by_halves(F f, V a, V b, V c, std::index_sequence<kI...>) {
  using H = typename Half<V>::T;
  constexpr std::size_t n = sizeof...(kI);
  H lo = f(H{a[kI]...}, H{b[kI]...}, H{c[kI]...});
  H hi = f(H{a[kI + n]...}, H{b[kI + n]...}, H{c[kI + n]...});
  return V{lo[kI]..., hi[kI]...};
}
template <class V, class F> GEOCONV_MATH_INLINE V by_halves(F f, V a, V b, V c) {
  return by_halves(f, a, b, c, std::make_index_sequence<sizeof(V) / sizeof(double) / 2>{});
}
}  // namespace lanes_detail

// Square roots lane by lane, by the vector instruction where there is one:
// IEEE's square root is correctly rounded, so each lane has the bits of
// std::sqrt (which the fallback calls; never of a negative number here).
GEOCONV_MATH_INLINE V2 vsqrt(V2 v) {
#if defined(__SSE2__)
  return _mm_sqrt_pd(v);
#elif defined(__aarch64__) && defined(__ARM_NEON)
  return vsqrtq_f64(v);
#else
  return V2{std::sqrt(v[0]), std::sqrt(v[1])};
#endif
}
GEOCONV_MATH_INLINE V4 vsqrt(V4 v) {
#if defined(__AVX__)
  return _mm256_sqrt_pd(v);
#else
  return lanes_detail::by_halves([](V2 a, V2, V2) __attribute__((always_inline)) { return vsqrt(a); }, v, v, v);
#endif
}
GEOCONV_MATH_INLINE V8 vsqrt(V8 v) {
#if defined(__AVX512F__)
  // Masked, every lane kept: GCC 12 warns of the unmasked form's undefined
  // pass-through operand.
  return _mm512_mask_sqrt_pd(v, static_cast<__mmask8>(0xff), v);
#else
  return lanes_detail::by_halves([](V4 a, V4, V4) __attribute__((always_inline)) { return vsqrt(a); }, v, v, v);
#endif
}

// Four consecutive values per lane: col[k] = base[index + k] lane by lane
// (every index + 3 inside the table), the lanes' rows read whole and
// transposed where the target has the shuffles (a row's four values in one
// load; the processors' gathers cost more than that), else one load per
// value. Loads and shuffles only: every width reads the values one lane
// reads.
template <class V, class I, std::size_t... kI>
GEOCONV_MATH_INLINE void gather4_lanes(const double* base, I index, V (&col)[4], std::index_sequence<kI...>) {
  for (int k = 0; k < 4; ++k) col[k] = V{base[index[kI] + k]...};
}
GEOCONV_MATH_INLINE void vgather4(const double* base, I2 index, V2 (&col)[4]) {
#if defined(__SSE2__)
  const double* r0 = base + index[0];
  const double* r1 = base + index[1];
  for (int k = 0; k < 4; k += 2) {
    __m128d a = _mm_loadu_pd(r0 + k), b = _mm_loadu_pd(r1 + k);
    col[k] = _mm_unpacklo_pd(a, b);
    col[k + 1] = _mm_unpackhi_pd(a, b);
  }
#else
  gather4_lanes(base, index, col, std::make_index_sequence<2>{});
#endif
}
#if defined(__AVX__)
// Rows r0..r3 (four values each) to their four columns.
GEOCONV_MATH_INLINE void transpose4(__m256d r0, __m256d r1, __m256d r2, __m256d r3, V4 (&col)[4]) {
  __m256d t0 = _mm256_unpacklo_pd(r0, r1);  // r0c0 r1c0 r0c2 r1c2
  __m256d t1 = _mm256_unpackhi_pd(r0, r1);  // r0c1 r1c1 r0c3 r1c3
  __m256d t2 = _mm256_unpacklo_pd(r2, r3);
  __m256d t3 = _mm256_unpackhi_pd(r2, r3);
  col[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
  col[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
  col[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
  col[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}
#endif
GEOCONV_MATH_INLINE void vgather4(const double* base, I4 index, V4 (&col)[4]) {
#if defined(__AVX__)
  transpose4(_mm256_loadu_pd(base + index[0]), _mm256_loadu_pd(base + index[1]), _mm256_loadu_pd(base + index[2]),
             _mm256_loadu_pd(base + index[3]), col);
#else
  gather4_lanes(base, index, col, std::make_index_sequence<4>{});
#endif
}
// (GCC 12's AVX-512 intrinsics pass an undefined operand through, of which
// it warns where they are inlined: not a fault.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
GEOCONV_MATH_INLINE void vgather4(const double* base, I8 index, V8 (&col)[4]) {
#if defined(__AVX512F__)
  // Two rows per register (0 and 2, 1 and 3, 4 and 6, 5 and 7); unpacking
  // pairs the lanes' values within each 128 bits, and the 128-bit blocks
  // then fall into lane order.
  auto two = [&](int a, int b) __attribute__((always_inline)) {
    return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(base + index[a])),
                              _mm256_loadu_pd(base + index[b]), 1);
  };
  __m512d p0 = two(0, 2), p1 = two(1, 3), p2 = two(4, 6), p3 = two(5, 7);
  __m512d u0 = _mm512_unpacklo_pd(p0, p1);  // r0c0 r1c0 r0c2 r1c2 r2c0 r3c0 r2c2 r3c2
  __m512d u1 = _mm512_unpacklo_pd(p2, p3);  // the same for rows 4 to 7
  __m512d h0 = _mm512_unpackhi_pd(p0, p1);  // columns 1 and 3
  __m512d h1 = _mm512_unpackhi_pd(p2, p3);
  col[0] = _mm512_shuffle_f64x2(u0, u1, 0x88);  // 128-bit blocks 0, 2 of u0, then of u1
  col[1] = _mm512_shuffle_f64x2(h0, h1, 0x88);
  col[2] = _mm512_shuffle_f64x2(u0, u1, 0xdd);  // blocks 1, 3
  col[3] = _mm512_shuffle_f64x2(h0, h1, 0xdd);
#elif defined(__AVX__)
  V4 lo[4], hi[4];
  vgather4(base, I4{index[0], index[1], index[2], index[3]}, lo);
  vgather4(base, I4{index[4], index[5], index[6], index[7]}, hi);
  for (int k = 0; k < 4; ++k) col[k] = V8{lo[k][0], lo[k][1], lo[k][2], lo[k][3], hi[k][0], hi[k][1], hi[k][2], hi[k][3]};
#else
  gather4_lanes(base, index, col, std::make_index_sequence<8>{});
#endif
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Whether any lane of a mask (0 or -1 per lane) is set: the sign bits at
// once where the target has the instruction, else the lanes or-ed together.
GEOCONV_MATH_INLINE bool vany(I2 m) {
#if defined(__SSE2__)
  return _mm_movemask_pd((__m128d)m) != 0;
#elif defined(__aarch64__) && defined(__ARM_NEON)
  return vmaxvq_u32((uint32x4_t)m) != 0;
#else
  return (m[0] | m[1]) != 0;
#endif
}
GEOCONV_MATH_INLINE bool vany(I4 m) {
#if defined(__AVX__)
  return _mm256_movemask_pd((__m256d)m) != 0;
#else
  return vany(I2{m[0] | m[2], m[1] | m[3]});
#endif
}
GEOCONV_MATH_INLINE bool vany(I8 m) {
#if defined(__AVX512F__)
  return _mm512_test_epi64_mask((__m512i)m, (__m512i)m) != 0;
#else
  return vany(I4{m[0] | m[4], m[1] | m[5], m[2] | m[6], m[3] | m[7]});
#endif
}

#if GEOCONV_MATH_FMA
// a * b - c rounded once, lane by lane: the hardware's fused multiply-add.
GEOCONV_MATH_INLINE double fms(double a, double b, double c) { return __builtin_fma(a, b, -c); }
GEOCONV_MATH_INLINE V2 fms(V2 a, V2 b, V2 c) {
#if defined(__FMA__)
  return _mm_fmsub_pd(a, b, c);
#elif defined(__aarch64__) && defined(__ARM_NEON)
  return vfmaq_f64(-c, a, b);  // -c + a * b
#else
  return V2{__builtin_fma(a[0], b[0], -c[0]), __builtin_fma(a[1], b[1], -c[1])};
#endif
}
GEOCONV_MATH_INLINE V4 fms(V4 a, V4 b, V4 c) {
#if defined(__FMA__) && defined(__AVX__)
  return _mm256_fmsub_pd(a, b, c);
#else
  return lanes_detail::by_halves([](V2 x, V2 y, V2 z) __attribute__((always_inline)) { return fms(x, y, z); }, a, b, c);
#endif
}
GEOCONV_MATH_INLINE V8 fms(V8 a, V8 b, V8 c) {
#if defined(__AVX512F__)
  return _mm512_fmsub_pd(a, b, c);
#else
  return lanes_detail::by_halves([](V4 x, V4 y, V4 z) __attribute__((always_inline)) { return fms(x, y, z); }, a, b, c);
#endif
}
#endif

// Per lane type: the number of lanes, the integer lanes of the same width and
// the mask type (bool for one lane, integer lanes of 0 or -1 otherwise).
template <class V, class IV> struct VectorLanes {
  static constexpr int kCount = sizeof(V) / sizeof(double);
  using I = IV;
  using M = IV;
  static V splat(double c) { return c - V{}; }  // c - 0 keeps the sign of a zero; 0 + c would not
  static I bits(V v) { return (I)v; }
  static V from_bits(I i) { return (V)i; }
  static I isplat(std::int64_t c) { return I{} + c; }
  static V select(M m, V a, V b) { return (V)((m & (I)a) | (~m & (I)b)); }
  static I iselect(M m, I a, I b) { return (m & a) | (~m & b); }
  static M mand(M a, M b) { return a & b; }
  static M mor(M a, M b) { return a | b; }
  static M mnot(M a) { return ~a; }
  // a < b ? a : b and a > b ? a : b, lane by lane (b where unordered).
  static V min(V a, V b) { return select(a < b, a, b); }
  static V max(V a, V b) { return select(a > b, a, b); }
  static V unit(M m) { return select(m, splat(1.0), splat(0.0)); }  // 1 or 0
  GEOCONV_MATH_INLINE static bool any(M m) { return vany(m); }
  static bool lane(M m, int i) { return m[i] != 0; }
  static double get(V v, int i) { return v[i]; }
  static void set(V& v, int i, double d) { v[i] = d; }
  static V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  // {f(0), f(1), ...}: lanes gathered one by one in registers (an array
  // written by lanes and loaded whole would stall the store forwarding).
  template <class F> GEOCONV_MATH_INLINE static V make(F f) { return make(f, std::make_index_sequence<kCount>{}); }
  template <class F, std::size_t... kI> GEOCONV_MATH_INLINE static V make(F f, std::index_sequence<kI...>) {
    return V{f(int(kI))...};
  }
  static std::int64_t iget(I v, int i) { return v[i]; }
  static void iset(I& v, int i, std::int64_t d) { v[i] = d; }
  static V sqrt(V v) { return vsqrt(v); }
  GEOCONV_MATH_INLINE static void gather4(const double* base, I index, V (&col)[4]) { vgather4(base, index, col); }
};

template <class V> struct Lanes;
template <> struct Lanes<V2> : VectorLanes<V2, I2> {};
template <> struct Lanes<V4> : VectorLanes<V4, I4> {};
template <> struct Lanes<V8> : VectorLanes<V8, I8> {};
template <> struct Lanes<double> {
  static constexpr int kCount = 1;
  using I = std::int64_t;
  using M = bool;
  static double splat(double c) { return c; }
  static I bits(double v) {
    I i;
    std::memcpy(&i, &v, sizeof i);
    return i;
  }
  static double from_bits(I i) {
    double v;
    std::memcpy(&v, &i, sizeof v);
    return v;
  }
  static I isplat(I c) { return c; }
  // By the bits, so that no compiler turns a selection into a branch.
  static double select(M m, double a, double b) {
    I mask = -static_cast<I>(m);
    return from_bits((mask & bits(a)) | (~mask & bits(b)));
  }
  static I iselect(M m, I a, I b) {
    I mask = -static_cast<I>(m);
    return (mask & a) | (~mask & b);
  }
  // Bitwise, not short-circuit: no branch on data.
  static M mand(M a, M b) { return a & b; }
  static M mor(M a, M b) { return a | b; }
  static M mnot(M a) { return !a; }
  // The same expressions, which compilers make minsd and maxsd.
  static double min(double a, double b) { return a < b ? a : b; }
  static double max(double a, double b) { return a > b ? a : b; }
  static double unit(M m) { return m; }
  static bool any(M m) { return m; }
  static bool lane(M m, int) { return m; }
  static double get(double v, int) { return v; }
  static void set(double& v, int, double d) { v = d; }
  static double load(const double* p) { return *p; }
  template <class F> GEOCONV_MATH_INLINE static double make(F f) { return f(0); }
  static I iget(I v, int) { return v; }
  static void iset(I& v, int, I d) { v = d; }
  static double sqrt(double v) { return std::sqrt(v); }
  GEOCONV_MATH_INLINE static void gather4(const double* base, I index, double (&col)[4]) {
    for (int k = 0; k < 4; ++k) col[k] = base[index + k];
  }
};

// |v| and the sign bit of v, by their bits (so that -0 and NaN are handled
// as data, not compared).
template <class V> GEOCONV_MATH_INLINE V vabs(V v) {
  using L = Lanes<V>;
  return L::from_bits(L::bits(v) & L::isplat(INT64_MAX));
}
template <> GEOCONV_MATH_INLINE double vabs(double v) { return std::fabs(v); }  // the same bits
template <class V> GEOCONV_MATH_INLINE typename Lanes<V>::I sign_bit(V v) {
  using L = Lanes<V>;
  return L::bits(v) & L::isplat(INT64_MIN);
}
template <class V> GEOCONV_MATH_INLINE V xor_sign(V v, typename Lanes<V>::I s) {
  using L = Lanes<V>;
  return L::from_bits(L::bits(v) ^ s);
}

// Error-free transformations. two_sum: s + e = a + b exactly (Knuth).
// fast_two_sum: the same when |a| >= |b| or a = 0 (Dekker). two_prod:
// p + e = a * b exactly by Veltkamp's splitting into 26-bit halves, when
// |a|, |b| < 2^995 and no partial product falls below 2^-969 (Dekker); with
// a fused multiply-add, e = a * b - p rounded once, exact whenever a * b is
// at least 2^-969 (its error is then a multiple of 2^-1074) and finite, so
// wherever Dekker's is. Below that the two error terms may differ; every
// caller's bound has an absolute or a relative term that dwarfs them there.
template <class V> GEOCONV_MATH_INLINE void two_sum(V a, V b, V& s, V& e) {
  s = a + b;
  V bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}
template <class V> GEOCONV_MATH_INLINE void fast_two_sum(V a, V b, V& s, V& e) {
  s = a + b;
  e = b - (s - a);
}
template <class V> GEOCONV_MATH_INLINE void split(V a, V& hi, V& lo) {
  V c = a * 134217729.0;  // 2^27 + 1
  hi = c - (c - a);
  lo = a - hi;
}
template <class V> GEOCONV_MATH_INLINE void two_prod(V a, V b, V& p, V& e) {
  p = a * b;
#if GEOCONV_MATH_FMA
  e = fms(a, b, p);
#else
  V ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
#endif
}

// The same when a has at most 26 significant bits (a multiple of 2^-7 up
// to 1, say): a * b's halves are then exact without splitting a.
template <class V> GEOCONV_MATH_INLINE void two_prod_short(V a, V b, V& p, V& e) {
#if GEOCONV_MATH_FMA
  two_prod(a, b, p, e);
#else
  V bh, bl;
  split(b, bh, bl);
  p = a * b;
  e = (a * bh - p) + a * bl;
#endif
}

// x rounded to an integer (ties to even) for |x| < 2^51, and the same integer
// modulo 2^51 in the low bits of the returned bits, by adding and removing
// 1.5 * 2^52.
template <class V> GEOCONV_MATH_INLINE V round_int(V x, typename Lanes<V>::I& low_bits) {
  using L = Lanes<V>;
  V t = x + 0x1.8p52;
  low_bits = L::bits(t);
  return t - 0x1.8p52;
}

GEOCONV_LEVEL_END  // math

#include "end.hpp"

#endif  // GEOCONV_SRC_MATH_LANES_HPP
