// atan, atan2, asin and acos, correctly rounded to nearest, over lanes of
// doubles (lanes.hpp).
//
// Each is an angle K +- atan(n/d) with 0 <= n <= d and K in {0, pi/2, pi}:
// atan x with (n, d) = (|x|, 1) or (1, |x|), atan2 with (|y|, |x|) in
// order, asin y = atan2(y, sqrt(1 - y^2)) and acos y = atan2(sqrt(1 - y^2), y),
// the root a double-double. With c = i/128 nearest n/d,
//   atan(n/d) = atan c + atan delta,   delta = (n - c d) / (d + c n),
// |delta| <= 1/256, atan c from a table of double-double values and atan
// delta an odd polynomial. The sum is carried as hi + lo with an error bound
// for the rounding test; rejected arguments take the accurate path
// (accurate.hpp), which refines the angle by Newton's iteration.

#ifndef GEOCONV_SRC_MATH_INVERSE_HPP
#define GEOCONV_SRC_MATH_INVERSE_HPP

#include <cmath>
#include <cstdint>
#include <limits>

#include "accurate.hpp"
#include "lanes.hpp"
#include "tables.hpp"

// Every operation below is rounded on its own: a multiply-add contracted
// into one fused operation (GCC's default wherever the target has one) would
// break the error-free transformations and change bits from one platform to
// another. The library compiles with -ffp-contract=off; these headers say so
// themselves too. And lanes wider than the target's vectors are passed by
// value between inline functions only: GCC's note on their ABI does not
// apply.
#if defined(__clang__)
#pragma float_control(push)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC optimize("fp-contract=off")
#endif
#if defined(__GNUC__)
#pragma GCC diagnostic push
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace geoconv::detail::math {

namespace inverse_detail {

template <class V> struct Angle {
  V hi, lo, err;
};

// K +- atan(n/d) for 0 <= n <= d, n and d double-double (low parts zero or
// below 2^-52 of their high parts), 2^-60 <= d <= 2^200 and n = 0 or
// n >= 2^-920 so that no product below underflows or overflows (where K is
// not 0, n may be smaller: what its products lose is far below K's ulp). K is pi/2
// where `half`, pi where `full` (`half` takes precedence), else 0; atan(n/d)
// is subtracted where `minus`, and the whole negated where `negate`.
//
// Errors: n - c d is exact up to its low part's roundings (2^-104 d; the
// subtraction of the high parts is exact by Sterbenz's lemma), the quotient
// carries 2^-104 relative more, so that delta is within 2^-103 absolute, or
// 2^-104 relative when c = 0; that is below 2^-95 |atan c| where c > 0. The
// cubic and higher terms (below 2^-17.58 |delta|) are within 2^-51.2 of
// their value (the roundings of delta^2, of the polynomial and its two
// products: 2^-76.4 where |delta| = 2^-8), the four additions that carry
// them to the result round within 2^-77.3 there, the next term left out is
// below 2^-83 |delta|: 2^-67.8 |delta| in all, taken as 2^-66.5 |delta|
// (measured against MPFR, the largest error seen is 0.53 of that). The
// table's values are within 2^-106, K's within 2^-106 of theirs, the final
// sums round within 2^-104 |result|.
template <class V> GEOCONV_MATH_INLINE Angle<V> atan_ratio(V nh, V nl, V dh, V dl, typename Lanes<V>::M half,
                                              typename Lanes<V>::M full, typename Lanes<V>::M minus,
                                              typename Lanes<V>::M negate) {
  using L = Lanes<V>;
  typename L::I ibits;
  V k = round_int(nh / dh * 128.0, ibits);
  V c = k * 0x1p-7;
  V p, e, num_h, num_l, den_h, den_s;
  two_prod_short(c, dh, p, e);
  two_sum(nh - p, (nl - e) - c * dl, num_h, num_l);
  two_prod_short(c, nh, p, e);
  two_sum(dh, p, den_h, den_s);
  V den_l = den_s + ((e + dl) + c * nl);
  V inv = 1.0 / den_h;
  V qh = num_h * inv;
  two_prod(qh, den_h, p, e);
  V ql = (((num_h - p) - e) + (num_l - qh * den_l)) * inv;
  V t = qh * qh;
  V t2 = t * t;
  V poly = t * -0x1.5555555555555p-2 + t2 * ((0x1.999999999999ap-3 + t * -0x1.2492492492492p-3) +
                                             t2 * 0x1.c71c71c71c71cp-4);
  // Per lane: atan c from the table (i = k, 0..128), K, and the signs as
  // factors +-1 (exact products, no selections through integer registers).
  static constexpr double kK[3][2] = {
      {0.0, 0.0}, {tables::kHalfPiHi, tables::kHalfPiLo}, {tables::kPiHi, tables::kPiLo}};
  static constexpr double kSigns[2] = {1.0, -1.0};
  double a_th[L::kCount], a_tl[L::kCount], a_kh[L::kCount], a_kl[L::kCount], a_rs[L::kCount], a_ks[L::kCount];
  typename L::I idx = ibits & L::isplat(255);
  for (int n = 0; n < L::kCount; ++n) {
    std::int64_t i = L::iget(idx, n);
    const double* row = tables::kAtan[i <= 128 ? i : 128];
    a_th[n] = row[0];
    a_tl[n] = row[1];
    int h = L::lane(half, n), f = L::lane(full, n), m = L::lane(minus, n), g = L::lane(negate, n);
    const double* kn = kK[h + 2 * (f & (1 - h))];
    a_kh[n] = kn[0];
    a_kl[n] = kn[1];
    a_rs[n] = kSigns[m ^ g];
    a_ks[n] = kSigns[g];
  }
  V th = L::load(a_th), tl = L::load(a_tl), kh = L::load(a_kh), kl = L::load(a_kl);
  V r_sign = L::load(a_rs), k_sign = L::load(a_ks);
  // atan c = 0 or |atan c| >= atan(1/128) > 2^-8 >= |qh|: fast-two-sum.
  V rh, re;
  fast_two_sum(th, qh, rh, re);
  V rl = (re + tl) + (ql + qh * poly);
  V err = vabs(qh) * 0x1.6a09e667f3bcdp-67 + vabs(th) * 0x1p-95;  // 2^-66.5, 2^-95
  // +-(K +- (rh + rl)); K = 0 or |K| >= pi/2 > |rh|: fast-two-sum.
  V u, ue;
  fast_two_sum(kh * k_sign, rh * r_sign, u, ue);
  Angle<V> out;
  fast_two_sum(u, ue + (kl * k_sign + rl * r_sign), out.hi, out.lo);
  out.err = err + vabs(out.hi) * 0x1p-100;
  return out;
}

template <class V> GEOCONV_MATH_INLINE typename Lanes<V>::M rounds_surely(const Angle<V>& a) {
  return (a.hi + (a.lo + a.err)) == (a.hi + (a.lo - a.err));
}

// Exact-result and special arguments of atan2, Annex F of C.
inline double atan2_special(double y, double x) {
  using namespace tables;
  if (std::isnan(x) || std::isnan(y)) return x + y;
  if (y == 0) return std::signbit(x) ? std::copysign(kPiHi, y) : y;
  if (std::isinf(y)) {
    if (std::isinf(x)) return std::copysign(x > 0 ? kQuarterPiHi : kThreeQuarterPiHi, y);
    return std::copysign(kHalfPiHi, y);
  }
  if (std::isinf(x)) return x > 0 ? std::copysign(0.0, y) : std::copysign(kPiHi, y);
  return std::copysign(kHalfPiHi, y);  // x = +-0
}

}  // namespace inverse_detail

namespace inverse_detail {

// The fast paths: hi + lo with the bound of its error, and the lanes the
// fast path does not cover.
template <class V> struct Fast {
  Angle<V> a;
  typename Lanes<V>::M special, tiny;
};

template <class V> GEOCONV_MATH_INLINE Fast<V> fast_atan2(V y, V x) {
  using L = Lanes<V>;
  using I = typename L::I;
  V ax = vabs(x), ay = vabs(y);
  auto swap = ay > ax;
  V n = L::min(ax, ay), d = L::max(ax, ay);
  // Scale both by the power of two that brings d to [1, 2) (d subnormal:
  // to [2^-52, 1)); the ratio is unchanged.
  I e = (L::bits(d) >> 52) & L::isplat(0x7ff);
  auto below = e <= L::isplat(2045);
  I shift = L::isplat(2046) - L::iselect(below, e, L::isplat(2045));  // 1..2046, never negative
  I sbits = L::iselect(below, shift << 52, L::isplat(std::int64_t{1} << 51));
  V sc = L::from_bits(sbits);
  n = n * sc;
  d = d * sc;
  auto negx = sign_bit(x) != L::isplat(0);
  Fast<V> out;
  // Zeros, infinities and NaN; and a ratio below 2^-920 with x > 0, where
  // the angle is that small too: one lane at a time.
  out.special = L::mor(L::mor(x == 0.0, y == 0.0),
                       L::mnot(L::mand(ax <= 0x1.fffffffffffffp1023, ay <= 0x1.fffffffffffffp1023)));
  out.tiny = L::mand(n < 0x1p-920, L::mnot(L::mor(swap, negx)));
  n = L::select(L::mor(out.special, out.tiny), L::splat(0.0), n);
  d = L::select(out.special, L::splat(1.0), d);
  V zero = L::splat(0.0);
  out.a = atan_ratio(n, zero, d, zero, swap, negx, L::mand(L::mnot(L::mand(swap, negx)), L::mor(swap, negx)),
                     sign_bit(y) != L::isplat(0));
  return out;
}

template <class V> GEOCONV_MATH_INLINE Fast<V> fast_atan(V x) {
  using L = Lanes<V>;
  V ax = vabs(x);
  auto big = ax > 1.0;
  V n = L::min(ax, L::splat(1.0));
  // Past 2^200, atan x = pi/2 - 1/x + ... moves by less than 2^-200: the
  // ratio 1/2^200 stands for every larger |x| (infinity included).
  V d = L::max(L::min(ax, L::splat(0x1p200)), L::splat(1.0));
  V zero = L::splat(0.0);
  Fast<V> out;
  out.special = ax != ax;  // NaN
  out.tiny = ax < 0x1p-27;  // atan x rounds to x
  out.a = atan_ratio(n, zero, d, zero, big, out.special, big, x < 0.0);
  return out;
}

// asin z for z = zh + zl in [0, 1/2] (|zl| <= 2^-53 zh), as hi + lo
// (|lo| < 2^-16.5 |hi|), by the Taylor polynomial of kAsinTaylor at c = i/256
// nearest zh: h = zh - c is exact (Sterbenz's lemma, or c = 0), |h| <= 2^-9.
// T0 + T1 h in double-double (T1's upper half times h exact, its rest's
// product within 2^-79 |T1 h|), the terms of degree 2 and up in double by
// Estrin's scheme. Relative to asin z, the errors are: those terms' roundings
// below 2^-68.1 (gen_tables.py checks it per row), the table's 2^-106, the
// terms left out 2^-77; and with zl, zl (T1 + 2 T2 h) stands for the first
// order in zl, the rest (3 T3 h^2 zl and smaller) below 2^-70.4 relative:
// 2^-67.8 in all.
template <class V> GEOCONV_MATH_INLINE void asin_taylor(V zh, V zl, V& hi, V& lo) {
  using L = Lanes<V>;
  typename L::I ibits;
  V k = round_int(zh * 256.0, ibits);  // zh * 256 exact
  V h = zh - k * 0x1p-8;
  double t[12][L::kCount];
  typename L::I idx = ibits & L::isplat(255);
  for (int n = 0; n < L::kCount; ++n) {
    std::int64_t i = L::iget(idx, n);
    const double* row = tables::kAsinTaylor[i <= 128 ? i : 128];  // i > 128: a lane left to the slow path
    for (int m = 0; m < 12; ++m) t[m][n] = row[m];
  }
  V p, pe, sh, se;
  two_prod_short(L::load(t[2]), h, p, pe);
  // T0 = 0, or T0 >= 2^-8 > |p|: fast-two-sum.
  fast_two_sum(L::load(t[0]), p, sh, se);
  V h2 = h * h, h4 = h2 * h2;
  V q = ((L::load(t[5]) + L::load(t[6]) * h) + h2 * (L::load(t[7]) + L::load(t[8]) * h)) +
        h4 * ((L::load(t[9]) + L::load(t[10]) * h) + h2 * L::load(t[11]));
  V first = L::load(t[1]) + L::load(t[3]) * h + zl * (L::load(t[4]) + 2.0 * L::load(t[5]) * h);
  hi = sh;
  lo = ((se + pe) + first) + h2 * q;
}

// asin y and acos y from asin z: for |y| <= 1/2, z = |y|: asin y = +-asin z,
// acos y = pi/2 -+ asin z; above, z = sqrt((1 - |y|) / 2) (1 - |y| exact by
// Sterbenz's lemma), asin y = +-(pi/2 - 2 asin z), acos y = 2 asin z or
// pi - 2 asin z. Each is s (K + m asin z), K = 0, pi/2 or pi and m = +-1
// or +-2 exactly, s = +-1; K + m hi by fast-two-sum (|K| > |m asin z|
// where K is not 0). z's low part is (w - zh^2) / (2 zh) = (w - zh^2) zh /
// (2 w) to 2^-50 relative, the residual exact by Dekker's product, the
// division 0.5 / w beside the root instead of after it.
// Bounds relative to the result: asin z's 2^-67.8, doubled and against
// pi/2 - 2 asin z >= asin z for asin above 1/2: 2^-66.8; elsewhere at most
// 2^-67.8 (acos y = pi/2 -+ asin y: 2^-68.8). The sums carrying K round
// within 2^-104, and the rounding test's own roundings of lo +- err take
// 2^-69.5 |hi|: err = 2^-66 |hi| for asin above 1/2, 2^-67 |hi| elsewhere.
template <bool kAcos, class V> GEOCONV_MATH_INLINE Fast<V> fast_asin_acos(V y) {
  using L = Lanes<V>;
  V a = vabs(y);
  V ac = L::min(a, L::splat(1.0));
  auto big = ac > 0.5;
  V w = (1.0 - ac) * 0.5;
  V rh = L::sqrt(w);
  V half_inv = 0.5 / L::max(w, L::splat(0x1p-60));  // w = 0: rh = 0 and the low part 0
  V p, e;
  two_prod(rh, rh, p, e);
  V rl = ((w - p) - e) * rh * half_inv;
  V th, tl;
  asin_taylor(L::select(big, rh, ac), L::select(big, rl, L::splat(0.0)), th, tl);
  V ub = L::unit(big), neg = L::unit(y < 0.0);
  V kf, m;  // K in units of pi/2, and m
  if constexpr (!kAcos) {
    V sign = 1.0 - 2.0 * neg;
    kf = ub * sign;
    m = (1.0 - 3.0 * ub) * sign;
  } else {
    kf = (1.0 - ub) + 2.0 * (ub * neg);
    m = (1.0 - ub) * (2.0 * neg - 1.0) + ub * (2.0 - 4.0 * neg);
  }
  Fast<V> out;
  V u, ue;
  fast_two_sum(kf * tables::kHalfPiHi, m * th, u, ue);
  out.a.hi = u;
  out.a.lo = ue + (kf * tables::kHalfPiLo + m * tl);
  out.a.err = vabs(u) * (kAcos ? L::splat(0x1p-67) : 0x1p-67 + ub * 0x1p-67);
  // |y| >= 1 and NaN; asin y for |y| < 2^-27, which rounds to y.
  out.special = kAcos ? L::mnot(a < 1.0) : L::mor(L::mnot(a < 1.0), a < 0x1p-27);
  out.tiny = out.special;
  return out;
}

// One lane the fast path left: special values, tiny arguments, and those
// whose rounding it could not decide.
GEOCONV_MATH_COLD double slow_atan2(double y, double x, const Fast<double>& f) {
  if (f.special) return atan2_special(y, x);
  if (f.tiny) return accurate::atan2(y, x, nullptr);
  const double start[2] = {f.a.hi, f.a.lo};
  return accurate::atan2(y, x, start);
}
GEOCONV_MATH_COLD double slow_atan(double x, const Fast<double>& f) {
  if (f.special) return x + x;
  if (f.tiny) return x;
  const double start[2] = {f.a.hi, f.a.lo};
  return accurate::atan2(x, 1.0, start);
}
template <bool kAcos> GEOCONV_MATH_COLD double slow_asin_acos(double y, const Fast<double>& f) {
  double a = std::fabs(y);
  if (!(a <= 1)) return (y - y) / 0.0;  // NaN: outside the domain, or NaN
  if (a == 1) return kAcos ? (y > 0 ? 0.0 : tables::kPiHi) : std::copysign(tables::kHalfPiHi, y);
  if (!kAcos && a < 0x1p-27) return y;
  const double start[2] = {f.a.hi, f.a.lo};
  return kAcos ? accurate::acos(y, start) : accurate::asin(y, start);
}

// The fast result where it rounds surely, else the lane's slow one.
template <class V, class Slow> GEOCONV_MATH_INLINE V finish(const Fast<V>& f, Slow slow) {
  using L = Lanes<V>;
  V res = f.a.hi + f.a.lo;
  auto redo = L::mor(L::mnot(rounds_surely(f.a)), L::mor(f.special, f.tiny));
  if (__builtin_expect(L::any(redo), 0)) {
    for (int i = 0; i < L::kCount; ++i) {
      if (!L::lane(redo, i)) continue;
      Fast<double> one{{L::get(f.a.hi, i), L::get(f.a.lo, i), L::get(f.a.err, i)},
                       L::lane(f.special, i), L::lane(f.tiny, i)};
      L::set(res, i, slow(i, one));
    }
  }
  return res;
}

}  // namespace inverse_detail

template <class V> inline V atan2(V y, V x) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_atan2(y, x), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_atan2(L::get(y, i), L::get(x, i), f);
  });
}
template <class V> inline V atan(V x) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_atan(x), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_atan(L::get(x, i), f);
  });
}
template <class V> inline V asin(V y) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_asin_acos<false>(y), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_asin_acos<false>(L::get(y, i), f);
  });
}
template <class V> inline V acos(V y) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_asin_acos<true>(y), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_asin_acos<true>(L::get(y, i), f);
  });
}

}  // namespace geoconv::detail::math

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
#if defined(__clang__)
#pragma float_control(pop)
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif  // GEOCONV_SRC_MATH_INVERSE_HPP
