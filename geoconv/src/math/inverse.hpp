// atan, atan2, asin and acos, correctly rounded to nearest, over lanes of
// doubles (lanes.hpp).
//
// atan and atan2 are angles K +- atan(n/d) with 0 <= n <= d and K in {0,
// pi/2, pi}: atan x with (n, d) = (|x|, 1) or (1, |x|), atan2 with (|y|,
// |x|) in order. q = n/d is taken to double-double with one division, then
// atan q by the Taylor polynomial at the nearest i/256 (a table of 257
// polynomials, the leading terms in double-double, the rest in double).
// asin and acos go through asin z by the same means (129 polynomials on
// [0, 1/2]), z = |y| or sqrt((1 - |y|) / 2). The sum is carried as hi + lo
// with an error bound for the rounding test; rejected arguments (one in
// 20000 to 80000) take the accurate path (accurate.hpp), which refines the
// angle by Newton's iteration.

#ifndef GEOCONV_SRC_MATH_INVERSE_HPP
#define GEOCONV_SRC_MATH_INVERSE_HPP

#include "level.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

#include "accurate.hpp"
#include "lanes.hpp"
#include "tables.hpp"

// Each operation rounded on its own, contraction off (begin.hpp).
#include "begin.hpp"

GEOCONV_LEVEL_BEGIN(math)

namespace inverse_detail {

template <class V> struct Angle {
  V hi, lo, err;
};

// f(z) for z = zh + zl (|zl| <= 2^-51 zh), f = asin on [0, 1/2] or atan on
// [0, 1], given as 256 zh and 256 zl (exact scalings), as hi + lo (|lo| <
// 2^-16.5 |hi|) with e, the bound of the error relative to f(z), by the
// Taylor polynomial of the table's row at c = i/256 nearest zh: H = 256 zh - i
// = 256 (zh - c) is exact (Sterbenz's lemma, or i = 0), |H| <= 1/2, and the
// table's coefficients are those in H (2^-8k times those in h = zh - c).
// T0 + T1 h in double-double (T1's upper half times h exact), the terms of
// degree 2 and up in double by Estrin's scheme, zl to first order; E per row
// (gen_tables.py derives it; 2^-66.1 at most, 2^-68.5 for most rows) bounds
// the roundings, the terms left out and the rounding test's own roundings.
// With kLow false, zl is 0 and its term is left out (one lane's exact
// arguments: the same sum without the operations on a zero).
template <bool kLow = true, class V, int kRows>
GEOCONV_MATH_INLINE void taylor(const double (&table)[kRows][12], V zh256, V zl256, V& hi, V& lo, V& e) {
  using L = Lanes<V>;
  typename L::I ibits;
  V h = zh256 - round_int(zh256, ibits);
  // Row i's flat index 12 i, the lanes gathering its coefficients four by four; an index
  // past the table (a lane the slow path takes) reads the last row.
  using I = typename L::I;
  I idx = ibits & L::isplat(511), at;
  if constexpr (L::kCount == 1) {
    at = (idx < kRows ? idx : kRows - 1) * 12;
  } else {
    idx = L::iselect(idx < L::isplat(kRows), idx, L::isplat(kRows - 1));
    at = (idx << 3) + (idx << 2);
  }
  V c[12];
  for (int m = 0; m < 12; m += 4) L::gather4(&table[0][0] + m, at, *reinterpret_cast<V(*)[4]>(c + m));
  auto t = [&](int m) __attribute__((always_inline)) { return c[m]; };
  V p, pe, sh, se;
  V t1 = t(2);
  two_prod_short(t1, h, p, pe);
  // T0 = 0, or T0 >= f(2^-8) > |p|: fast-two-sum.
  fast_two_sum(t(0), p, sh, se);
  V h2 = h * h, h4 = h2 * h2;
  V t2 = t(4);
  V q = ((t2 + t(5) * h) + h2 * (t(6) + t(7) * h)) + h4 * ((t(8) + t(9) * h) + h2 * t(10));
  V first = t(1) + t(3) * h;
  if constexpr (kLow) first = first + zl256 * (t1 + 2.0 * t2 * h);
  hi = sh;
  lo = ((se + pe) + first) + h2 * q;
  e = t(11);
}

// K +- atan(n/d) for 0 <= n <= d <= 2^900 and n = 0 or n, n/d >= 2^-900 so
// that no product below underflows or overflows (where K is not 0, n may be
// smaller: what its products lose is far below K's ulp). K is pi/2 where
// `half`, pi where `full` (`half` takes precedence), else 0; atan(n/d) is
// subtracted where `minus`, and the whole negated where `negate`.
//
// One division: 256 q = 256 n/d as zh + zl, zh = (256 n) (1/d) within
// 2^-52 relative of 256 n/d, zl from the exact residual 256 n - zh d (its
// high part exact by Sterbenz's lemma) times 1/d, to 2^-103 relative; then
// atan q by taylor().
// Its error E |atan q|, K's 2^-107 relative and the final sums' 2^-105
// relative: E |hi_q| + 2^-100 |hi| bounds it all.
template <class V> GEOCONV_MATH_INLINE Angle<V> atan_of(V qh, V ql, typename Lanes<V>::M half,
                                                       typename Lanes<V>::M full, typename Lanes<V>::M minus,
                                                       typename Lanes<V>::M negate);
template <class V> GEOCONV_MATH_INLINE Angle<V> atan_ratio(V n, V d, typename Lanes<V>::M half,
                                                           typename Lanes<V>::M full, typename Lanes<V>::M minus,
                                                           typename Lanes<V>::M negate) {
  V inv = 1.0 / d;
  V n256 = n * 256.0;
  V qh = n256 * inv;  // 256 n/d
  V p, pe;
  two_prod(qh, d, p, pe);
  return atan_of(qh, ((n256 - p) - pe) * inv, half, full, minus, negate);
}

// The same from 256 n/d = qh + ql.
template <class V> GEOCONV_MATH_INLINE Angle<V> atan_of(V qh, V ql, typename Lanes<V>::M half,
                                                       typename Lanes<V>::M full, typename Lanes<V>::M minus,
                                                       typename Lanes<V>::M negate) {
  using L = Lanes<V>;
  V th, tl, e_rel;
  taylor(tables::kAtanTaylor, qh, ql, th, tl, e_rel);
  // K = kf pi/2 (kf = 0, 1 or 2: pi's double-double is twice pi/2's) and
  // the signs as factors +-1, all exact products: one lane by looking them
  // up, wider lanes by arithmetic on the masks (no lane taken apart).
  V k_sign, r_sign, kf;
  if constexpr (L::kCount == 1) {
    static constexpr double kSigns[2] = {1.0, -1.0};
    static constexpr double kKf[2][2] = {{0.0, 2.0}, {1.0, 1.0}};  // [half][full]
    k_sign = kSigns[negate];
    r_sign = kSigns[minus ^ negate];
    kf = kKf[half][full] * k_sign;
  } else {
    k_sign = 1.0 - 2.0 * L::unit(negate);
    r_sign = (1.0 - 2.0 * L::unit(minus)) * k_sign;
    kf = (L::unit(half) + 2.0 * L::unit(L::mand(full, L::mnot(half)))) * k_sign;
  }
  // +-(K +- (th + tl)); K = 0 or |K| >= pi/2 > |th|: fast-two-sum.
  V u, ue;
  fast_two_sum(kf * tables::kHalfPiHi, th * r_sign, u, ue);
  Angle<V> out;
  out.hi = u;
  out.lo = ue + (kf * tables::kHalfPiLo + tl * r_sign);
  out.err = e_rel * vabs(th) + vabs(u) * 0x1p-100;
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
  auto negx = sign_bit(x) != L::isplat(0);
  auto minus = L::mand(L::mnot(L::mand(swap, negx)), L::mor(swap, negx));
  Fast<V> out;
  if constexpr (L::kCount == 1) {
    // One lane, nearly always: n and d need no scaling when 2^-900 <= n,
    // d <= 2^900 and n/d >= 2^-899 (which also rules out the special and
    // tiny cases below): the scaled d would be in [1, 2) and the scaled n
    // above 2^-900, and atan_ratio's products are as far from underflow
    // and overflow either way. (x NaN makes n = d = |y|: tested apart.)
    if (__builtin_expect(n >= 0x1p-900 && d <= 0x1p900 && n >= d * 0x1p-899 && ax == ax, 1)) {
      out.special = out.tiny = false;
      out.a = atan_ratio(n, d, swap, negx, minus, sign_bit(y) != 0);
      return out;
    }
  }
  // Scale both by the power of two that brings d to [1, 2) (d subnormal:
  // to [2^-52, 1)); the ratio is unchanged.
  I e = (L::bits(d) >> 52) & L::isplat(0x7ff);
  auto below = e <= L::isplat(2045);
  I shift = L::isplat(2046) - L::iselect(below, e, L::isplat(2045));  // 1..2046, never negative
  I sbits = L::iselect(below, shift << 52, L::isplat(std::int64_t{1} << 51));
  V sc = L::from_bits(sbits);
  n = n * sc;
  d = d * sc;
  // Zeros, infinities and NaN; and a ratio below 2^-900 with x > 0, where
  // the angle is that small too: one lane at a time.
  out.special = L::mor(L::mor(x == 0.0, y == 0.0),
                       L::mnot(L::mand(ax <= 0x1.fffffffffffffp1023, ay <= 0x1.fffffffffffffp1023)));
  out.tiny = L::mand(n < 0x1p-900, L::mnot(L::mor(swap, negx)));
  n = L::select(L::mor(out.special, out.tiny), L::splat(0.0), n);
  d = L::select(out.special, L::splat(1.0), d);
  out.a = atan_ratio(n, d, swap, negx, minus, sign_bit(y) != L::isplat(0));
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
  Fast<V> out;
  out.special = ax != ax;  // NaN
  out.tiny = ax < 0x1p-27;  // atan x rounds to x
  if constexpr (L::kCount == 1) {
    // One lane: the branch knows K and the signs, so atan_of's general sums
    // reduce to the operations that are not on zeros or units, with the
    // same values: for |x| <= 1 (or NaN, which the slow path takes), K = 0,
    // the ratio is |x| itself (no low part) and the angle is th + tl as it
    // stands (atan_of's fast-two-sum with K = 0 gives th and 0); above,
    // pi/2 - (th + tl) for the ratio 1/|x|, whose residual 256 - qh d is
    // atan_ratio's. th >= 0 and pi/2 - th > 0, so the bound E |th| +
    // 2^-100 |hi| needs no absolute values. x < 0 negates hi and lo, which
    // rounding to nearest does exactly (the vectors' signs as factors).
    V th, tl, e_rel, hi, lo;
    if (!big) {
      taylor<false>(tables::kAtanTaylor, ax * 256.0, 0.0, th, tl, e_rel);
      hi = th;
      lo = tl;
    } else {
      // 256/d rounded is 256 times 1/d rounded (d <= 2^200): the same qh
      // as atan_ratio's, one product sooner, and its inverse exactly.
      V qh = 256.0 / d;
      V inv = qh * 0x1p-8;
      V p, pe;
      two_prod(qh, d, p, pe);
      taylor(tables::kAtanTaylor, qh, ((256.0 - p) - pe) * inv, th, tl, e_rel);
      fast_two_sum(tables::kHalfPiHi, -th, hi, lo);
      lo = lo + (tables::kHalfPiLo - tl);
    }
    out.a.err = e_rel * th + hi * 0x1p-100;
    if (x < 0.0) {
      hi = -hi;
      lo = -lo;
    }
    out.a.hi = hi;
    out.a.lo = lo;
    return out;
  }
  out.a = atan_ratio(n, d, big, out.special, big, x < 0.0);
  return out;
}

// asin y and acos y from asin z: for |y| <= 1/2, z = |y|: asin y = +-asin z,
// acos y = pi/2 -+ asin z; above, z = sqrt((1 - |y|) / 2) (1 - |y| exact by
// Sterbenz's lemma), asin y = +-(pi/2 - 2 asin z), acos y = 2 asin z or
// pi - 2 asin z. Each is s (K + m asin z), K = 0, pi/2 or pi and m = +-1
// or +-2 exactly, s = +-1; K + m hi by fast-two-sum (|K| > |m asin z|
// where K is not 0). 256 z = sqrt(w), w = 2^15 (1 - |y|) exactly, as rh +
// rl: rl = (w - rh^2) / (2 rh) = (w - rh^2) rh / (2 w) to 2^-50 relative,
// the residual exact by Dekker's product, the division 0.5 / w beside the
// root instead of after it.
// The error: E |m asin z| (E from taylor()), K's 2^-107 relative and the
// sums' 2^-105 relative: E |m hi_z| + 2^-100 |hi|.
template <bool kAcos, class V> GEOCONV_MATH_INLINE Fast<V> fast_asin_acos(V y) {
  using L = Lanes<V>;
  V a = vabs(y);
  V ac = L::min(a, L::splat(1.0));
  auto big = ac > 0.5;
  auto root = [&](V& rh, V& rl) __attribute__((always_inline)) {
    V w = (1.0 - ac) * 32768.0;  // 2^16 (1 - ac) / 2: the root is then 256 z
    rh = L::sqrt(w);
    V half_inv = 0.5 / L::max(w, L::splat(0x1p-44));  // w = 0: rh = 0 and the low part 0
    V p, e;
    two_prod(rh, rh, p, e);
    rl = ((w - p) - e) * rh * half_inv;
  };
  V zh, zl;
  if constexpr (L::kCount == 1) {
    // One lane: the root only where it is needed.
    if (big) {
      root(zh, zl);
    } else {
      zh = ac * 256.0;
      zl = 0.0;
    }
  } else {
    V rh, rl;
    root(rh, rl);
    zh = L::select(big, rh, ac * 256.0);
    zl = L::select(big, rl, L::splat(0.0));
  }
  V th, tl, e_rel;
  taylor(tables::kAsinTaylor, zh, zl, th, tl, e_rel);
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
  out.a.err = e_rel * vabs(m * th) + vabs(u) * 0x1p-100;
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

template <class V> GEOCONV_MATH_INLINE V atan2(V y, V x) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_atan2(y, x), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_atan2(L::get(y, i), L::get(x, i), f);
  });
}
template <class V> GEOCONV_MATH_INLINE V atan(V x) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_atan(x), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_atan(L::get(x, i), f);
  });
}
template <class V> GEOCONV_MATH_INLINE V asin(V y) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_asin_acos<false>(y), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_asin_acos<false>(L::get(y, i), f);
  });
}
template <class V> GEOCONV_MATH_INLINE V acos(V y) {
  using L = Lanes<V>;
  return inverse_detail::finish(inverse_detail::fast_asin_acos<true>(y), [&](int i, const inverse_detail::Fast<double>& f) {
    return inverse_detail::slow_asin_acos<true>(L::get(y, i), f);
  });
}

GEOCONV_LEVEL_END  // math

#include "end.hpp"

#endif  // GEOCONV_SRC_MATH_INVERSE_HPP
