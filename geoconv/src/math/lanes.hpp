// Lanes of doubles for the elementary functions: a plain double (one lane) or
// a vector of 2, 4 or 8 with GCC's and clang's vector extensions. The
// functions are written once over a lane type V; every operation below is
// the same IEEE operation in each lane, so each width gives the bits that one
// lane gives. Selections take masks (all ones where a comparison holds); the
// error-free transformations use only +, - and * (no fused multiply-add: the
// library is compiled with -ffp-contract=off).

#ifndef GEOCONV_SRC_MATH_LANES_HPP
#define GEOCONV_SRC_MATH_LANES_HPP

#include "level.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

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
  static bool any(M m) {
    std::int64_t r = 0;
    for (int i = 0; i < kCount; ++i) r |= m[i];
    return r != 0;
  }
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
  static V sqrt(V v) {
    for (int i = 0; i < kCount; ++i) v[i] = std::sqrt(v[i]);
    return v;
  }
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
  static M mand(M a, M b) { return a && b; }
  static M mor(M a, M b) { return a || b; }
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
// |a|, |b| < 2^995 and no partial product falls below 2^-969 (Dekker).
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
  V ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  p = a * b;
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// The same when a has at most 26 significant bits (a multiple of 2^-7 up
// to 1, say): a * b's halves are then exact without splitting a.
template <class V> GEOCONV_MATH_INLINE void two_prod_short(V a, V b, V& p, V& e) {
  V bh, bl;
  split(b, bh, bl);
  p = a * b;
  e = (a * bh - p) + a * bl;
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
