// sin, cos, sincos and tan, correctly rounded to nearest, over lanes of
// doubles (lanes.hpp).
//
// x = j pi/512 + r, |r| <= pi/1024 (j modulo 1024): by Cody and Waite with
// pi/512 in three pieces for |x| <= 2^16, by Payne and Hanek (one lane at a
// time) above. With (S, C) = (sin, cos)(i pi/512), i = j mod 256, from a
// table of 256 rows (each value as a double-double and as a 26-bit upper
// part plus the rest, so that its product with r is exact with one split)
// and the quadrant j / 256,
//   sin x = +-(S cos r + C sin r) or +-(C cos r - S sin r),
// where cos r - 1 and sin r - r are short polynomials in double. The sum is
// carried as hi + lo; the error bound below gives the rounding test, and the
// arguments it rejects (about one in 10000 for sin and cos, 5500 for tan,
// and those within 2^-40 or so of a zero of the function) take the middle
// tier (middle.hpp: double-double, to about 2^-100), and the very few that
// cannot round there either the accurate path (accurate.hpp). Infinities,
// NaN, |x| below 2^-45 or so (where the bound's absolute term rejects them;
// sin x and tan x round to x below 2^-27, cos x to 1) and |x| above 2^16
// leave the common path too, one lane at a time.

#ifndef GEOCONV_SRC_MATH_TRIG_HPP
#define GEOCONV_SRC_MATH_TRIG_HPP

#include "level.hpp"

#include <cstdint>

#include "accurate.hpp"
#include "lanes.hpp"
#include "middle.hpp"
#include "tables.hpp"

// Each operation rounded on its own, contraction off (begin.hpp).
#include "begin.hpp"

GEOCONV_LEVEL_BEGIN(math)

namespace trig_detail {

template <class V> struct Reduced {
  typename Lanes<V>::I j;  // modulo 1024 in the low bits
  V rh, rl;
  V k;  // |k| 2^-117 + 2^-114 bounds the error of rh + rl
};

// |x| <= 2^16 gives |k| < 2^24, so k * kStep1 and k * kStep2 are exact and
// x - k kStep1 is exact (Sterbenz). The third piece leaves 2^-121 |k|, its
// product rounds within 2^-120 |k|, the low part's sum within
// 2^-115 + 2^-120 |k|: below 2^-114 + 2^-117 |k| in all.
template <class V> GEOCONV_MATH_INLINE Reduced<V> reduce_cody_waite(V x) {
  using namespace tables;
  Reduced<V> out;
  V k = round_int(x * kInvStep, out.j);
  V a = x - k * kStep1;
  V s, e, b = -(k * kStep2);
  if constexpr (Lanes<V>::kCount == 1) {
    // One lane: fast-two-sum, two operations shorter, where it is exact
    // (|a| >= |b|: nearly always, as |b| <= 2^-13.9 |k| 2^-24).
    if (__builtin_expect(vabs(a) >= vabs(b), 1))
      fast_two_sum(a, b, s, e);
    else
      two_sum(a, b, s, e);
  } else {
    two_sum(a, b, s, e);
  }
  fast_two_sum(s, e - k * kStep3, out.rh, out.rl);
  out.k = k;
  return out;
}

// One lane by Payne-Hanek: x 512/pi = j + f (f to 2^-280 absolute, and as
// a 256-bit number relative), r = f pi/512 to 2^-104 relative, so within
// 2^-112 absolute (|r| <= pi/1024), which the error term with k = 2^5
// covers.
inline void reduce_large(double x, std::int64_t& j, double& rh, double& rl) {
  accurate::Mp f;
  accurate::reduce(x, 8, 10, j, f);
  double fh = accurate::to_double(f);
  double fl = accurate::to_double(accurate::sub(f, accurate::from_double(fh)));
  double p, e;
  two_prod(fh, tables::kStepHi, p, e);
  fast_two_sum(p, e + (fh * tables::kStepLo + fl * tables::kStepHi), rh, rl);
}

template <class V> GEOCONV_MATH_INLINE Reduced<V> reduce(V x) {
  using L = Lanes<V>;
  Reduced<V> red = reduce_cody_waite(x);
  V ax = vabs(x);
  auto large = L::mand(ax > 0x1p16, ax <= 0x1.fffffffffffffp1023);
  if (L::any(large)) {
    for (int i = 0; i < L::kCount; ++i) {
      if (!L::lane(large, i)) continue;
      std::int64_t j;
      double rh, rl;
      reduce_large(L::get(x, i), j, rh, rl);
      L::iset(red.j, i, j);
      L::set(red.rh, i, rh);
      L::set(red.rl, i, rl);
      L::set(red.k, i, 0x1p5);
    }
  }
  return red;
}

// sin r = rh + sl and cos r = 1 + cl, for |r| <= pi/1024 (1.0001 times
// that, the rounding of j included): Taylor polynomials whose first left-out
// terms are below 2^-85 |r| and 2^-82. sl is within 2^-70.3 |r| of its
// value, cl within 2^-69.1 (roundings of rh^2, of the polynomials and of the
// products, a few half-ulps of terms below 2^-19.3 |r| and 2^-17.7).
template <class V> struct Small {
  V rh, sl, cl, abs_err;
};
template <class V> GEOCONV_MATH_INLINE Small<V> small_sincos(const Reduced<V>& red) {
  // Estrin's scheme: the square of t beside the inner terms.
  V t = red.rh * red.rh;
  V t2 = t * t;
  V ps = t * -0x1.5555555555555p-3 + t2 * (0x1.1111111111111p-7 + t * -0x1.a01a01a01a01ap-13);
  V pc = t * -0.5 + t2 * (0x1.5555555555555p-5 + t * -0x1.6c16c16c16c17p-10);
  // The bound of r's error, 1.0078125 times (see combine).
  return {red.rh, red.rl + red.rh * ps, pc - red.rh * red.rl, vabs(red.k) * 0x1.02p-117 + 0x1.02p-114};
}

// A cos r + B sin r as hi + lo, with the bound of its error: A as a
// double-double (ah, al), B as bh (B rounded) and b26 + brest (b26 of 26
// significant bits, brest within 2^-79 |B| of B - b26), so that b26 rh is
// exact as p + pe with one split (of rh). |A| >= |B r| or A = 0 (|r| <=
// pi/1024 and |A| >= sin(pi/512) unless A = 0), so A + p by fast-two-sum.
// Relative to |A| + |B r| the errors are: A cl 2^-68.7 (cl's and the
// product's), B sl 2^-69.9 (bh within 2^-53 of B adds 2^-72.3), A's low
// part times cl and sl 2^-70.6, the sum of the small terms 2^-70.1,
// brest's and its product's 2^-78, truncations 2^-81; together below
// 2^-67.5, taken as 2^-67 to cover the bound's own roundings (measured
// against MPFR, the largest error seen is 0.35 of that). The error of r
// adds at most 1 + 2^-7 times its own size (|B| <= 1, |A r| <= 2^-8 |r|);
// small_sincos scales its bound so. hi + lo is left unnormalized (|lo| <
// 2^-16 |hi|): rounds_surely and the result need only hi + lo rounded.
template <class V> struct Result {
  V hi, lo, err;
};
template <class V>
GEOCONV_MATH_INLINE Result<V> combine(V ah, V al, V bh, V b26, V brest, const Small<V>& sm) {
  V p, pe, sh, se;
  two_prod_short(b26, sm.rh, p, pe);
  fast_two_sum(ah, p, sh, se);
  V small = (bh * sm.sl + ah * sm.cl);
  Result<V> out;
  out.hi = sh;
  out.lo = ((se + pe) + (al + brest * sm.rh)) + small;
  out.err = (vabs(ah) + vabs(p)) * 0x1p-67 + sm.abs_err;
  return out;
}

// With x = j pi/512 + r and j = 256 q + i, 0 <= i < 256, the table's row i
// gives S = sin(i pi/512) and C = cos(i pi/512), and sin x is
//   S cos r + C sin r, C cos r - S sin r, -(S cos r + C sin r),
//   -(C cos r - S sin r)   for q = 0, 1, 2, 3,
// and cos x is sin x with j + 256: (A, B) are the row's columns, swapped
// for odd q, with signs. The lanes gather their values by flat indices into
// the table (8 i + the column), and the signs flip the values' sign bits
// (exactly what a product by -1 does), off the dependent path of r.
template <class V> struct Row {
  V ah, al, bh, b26, brest;
};
template <class V> struct RowPlace {
  typename Lanes<V>::I a, b;      // flat indices of A's and B's columns
  typename Lanes<V>::I sa, sb;    // their sign bits: q = 2, 3 and q = 1, 2
};
template <class V> GEOCONV_MATH_INLINE RowPlace<V> row_place(typename Lanes<V>::I j) {
  using L = Lanes<V>;
  // Only j's low ten bits count: masked first (a NaN lane's j is garbage).
  auto row = (j & L::isplat(255)) << 3;
  auto a = (j >> 6) & L::isplat(4);  // the column of A (B's is 4 - a): swapped for odd q
  return {row + a, row + (L::isplat(4) - a), (j & L::isplat(512)) << 54, ((j ^ (j >> 1)) & L::isplat(256)) << 55};
}
// The four values of A's column (hi, lo, hi26, rest) and of B's, signed.
template <class V> GEOCONV_MATH_INLINE void columns(typename Lanes<V>::I j, V (&a)[4], V (&b)[4]) {
  using L = Lanes<V>;
  RowPlace<V> w = row_place<V>(j);
  L::gather4(&tables::kSinCos[0][0], w.a, a);
  L::gather4(&tables::kSinCos[0][0], w.b, b);
  if constexpr (L::kCount == 1) {
    // One lane: the signs looked up as +-1 and multiplied (the same bits),
    // fewer moves between the integer and the floating-point registers.
    static constexpr double kPlusMinus[2] = {1.0, -1.0};
    V sa = kPlusMinus[(j >> 9) & 1], sb = kPlusMinus[((j >> 8) ^ (j >> 9)) & 1];
    for (int k = 0; k < 4; ++k) {
      a[k] = a[k] * sa;
      b[k] = b[k] * sb;
    }
  } else {
    for (int k = 0; k < 4; ++k) {
      a[k] = xor_sign(a[k], w.sa);
      b[k] = xor_sign(b[k], w.sb);
    }
  }
}
template <class V> GEOCONV_MATH_INLINE Row<V> table_row(typename Lanes<V>::I j) {
  V a[4], b[4];
  columns<V>(j, a, b);
  return {a[0], a[1], b[0], b[2], b[3]};
}

// The rows of sin and cos together, from one table row: cos x is sin x
// with j + 256, whose columns are sin's swapped (cos's A is sin's B column
// with B's sign, its B sin's A column with the opposite of A's sign).
template <class V> GEOCONV_MATH_INLINE void table_rows(typename Lanes<V>::I j, Row<V>& rs, Row<V>& rc) {
  V a[4], b[4];
  columns<V>(j, a, b);
  rs = {a[0], a[1], b[0], b[2], b[3]};
  rc = {b[0], b[1], -a[0], -a[2], -a[3]};
}

// hi + lo rounded, if every value within err of it rounds the same way.
// err is above the true bound by more than 2^-68.5 (|A| + |B r|), which
// covers the roundings of lo +- err (below 2^-53 (2^-16 |hi| + err), with
// |hi| <= 3 (|A| + |B r|)). Rounding is monotonic, so hi + (lo - err) and
// hi + (lo + err) bracket both hi + lo and the true value. False for NaN.
template <class V> GEOCONV_MATH_INLINE typename Lanes<V>::M rounds_surely(const Result<V>& r) {
  return (r.hi + (r.lo + r.err)) == (r.hi + (r.lo - r.err));
}

enum class Kind { kSin, kCos, kTan };

// The fast path from x's reduction: hi + lo and the bound of its error.
template <Kind kKind, class V> GEOCONV_MATH_INLINE Result<V> fast_reduced(const Reduced<V>& red) {
  using L = Lanes<V>;
  Small<V> sm = small_sincos(red);
  // Only j's low ten bits count: masked first, so that the garbage j of a
  // NaN or infinite lane (taken by the slow path) cannot overflow.
  auto j_cos = (red.j & L::isplat(1023)) + L::isplat(256);
  if constexpr (kKind == Kind::kSin || kKind == Kind::kCos) {
    Row<V> w = table_row<V>(kKind == Kind::kSin ? red.j : j_cos);
    return combine(w.ah, w.al, w.bh, w.b26, w.brest, sm);
  } else {
    // tan = sin / cos: th = s/c to an ulp or two, the exact residual s - th c
    // divided again gives tl; the relative errors of s and c add. One lane
    // divides s by c itself, beside 1/c, rather than after it (th then the
    // quotient rounded, within the same bounds: one product fewer on the
    // path; the vectors gained nothing from a second division).
    Row<V> rs, rc;
    table_rows<V>(red.j, rs, rc);
    Result<V> s = combine(rs.ah, rs.al, rs.bh, rs.b26, rs.brest, sm);
    Result<V> c = combine(rc.ah, rc.al, rc.bh, rc.b26, rc.brest, sm);
    fast_two_sum(s.hi, s.lo, s.hi, s.lo);  // normalized: |lo| <= ulp(hi) / 2
    fast_two_sum(c.hi, c.lo, c.hi, c.lo);
    V inv = 1.0 / c.hi;
    V th;
    if constexpr (L::kCount == 1) {
      th = s.hi / c.hi;
    } else {
      th = s.hi * inv;
    }
    V ph, pl;
    two_prod(th, c.hi, ph, pl);
    V tl = (((s.hi - ph) - pl) + (s.lo - th * c.lo)) * inv;
    Result<V> r;
    r.hi = th;  // |tl| <= 2^-51 |th|: no need to normalize for the rounding test
    r.lo = tl;
    r.err = (s.err + vabs(th) * c.err) * vabs(inv) * (1 + 0x1p-40) + vabs(th) * 0x1p-100;
    return r;
  }
}

// The same for any finite x (Payne-Hanek above 2^16, one lane at a time).
template <Kind kKind, class V> GEOCONV_MATH_INLINE Result<V> fast(V x) {
  return fast_reduced<kKind>(reduce(x));
}

// One lane the common path leaves: tiny, infinite or NaN arguments, those
// above 2^16 (their own reduction, then the same fast path), and the rest
// by the middle tier (middle.hpp), then, where that cannot round either, the
// accurate path. |x| < 2^-27: sin x and tan x round to x, cos x to 1.
template <Kind kKind> GEOCONV_MATH_COLD double slow(double x) {
  double ax = x < 0 ? -x : x;
  if (!(ax <= 0x1.fffffffffffffp1023)) return x - x;
  if (ax < 0x1p-27) return kKind == Kind::kCos ? 1.0 : x;
  if (ax > 0x1p16) {
    Result<double> r = fast<kKind>(x);
    if (rounds_surely(r)) return r.hi + r.lo;
  }
  double res;
  if (middle::rounds(kKind == Kind::kTan ? middle::tan(x) : middle::sin_cos(x, 0.0, kKind == Kind::kCos ? 1 : 0), res))
    return res;
  return kKind == Kind::kTan ? accurate::tan(x) : accurate::sin_or_cos(x, kKind == Kind::kCos ? 1 : 0);
}

// The common path: Cody-Waite's reduction, valid to 2^16; larger
// arguments go the slow way with the rest.
template <Kind kKind, class V> GEOCONV_MATH_INLINE V evaluate(V x) {
  using L = Lanes<V>;
  Result<V> r = fast_reduced<kKind>(reduce_cody_waite(x));
  V res = r.hi + r.lo;
  auto redo = L::mor(L::mnot(rounds_surely(r)), vabs(x) > 0x1p16);
  if (__builtin_expect(L::any(redo), 0)) {
    for (int i = 0; i < L::kCount; ++i)
      if (L::lane(redo, i)) L::set(res, i, slow<kKind>(L::get(x, i)));
  }
  return res;
}

}  // namespace trig_detail

template <class V> GEOCONV_MATH_INLINE V sin(V x) { return trig_detail::evaluate<trig_detail::Kind::kSin>(x); }
template <class V> GEOCONV_MATH_INLINE V cos(V x) { return trig_detail::evaluate<trig_detail::Kind::kCos>(x); }
template <class V> GEOCONV_MATH_INLINE V tan(V x) { return trig_detail::evaluate<trig_detail::Kind::kTan>(x); }

// sin x and cos x together: one reduction, one pair of polynomials, one
// table row. cos x is sin x with j + 256, whose columns are sin's swapped:
// cos's A is sin's B column and its B sin's A column, with their own signs.
template <class V> GEOCONV_MATH_INLINE void sincos(V x, V& s, V& c) {
  using namespace trig_detail;
  using L = Lanes<V>;
  Reduced<V> red = reduce_cody_waite(x);
  Small<V> sm = small_sincos(red);
  Row<V> ws, wc;
  table_rows<V>(red.j, ws, wc);
  Result<V> rs = combine(ws.ah, ws.al, ws.bh, ws.b26, ws.brest, sm);
  Result<V> rc = combine(wc.ah, wc.al, wc.bh, wc.b26, wc.brest, sm);
  s = rs.hi + rs.lo;
  c = rc.hi + rc.lo;
  auto redo = L::mor(L::mnot(L::mand(rounds_surely(rs), rounds_surely(rc))), vabs(x) > 0x1p16);
  if (__builtin_expect(L::any(redo), 0)) {
    for (int i = 0; i < L::kCount; ++i) {
      if (!L::lane(redo, i)) continue;
      double xi = L::get(x, i);
      L::set(s, i, slow<Kind::kSin>(xi));
      L::set(c, i, slow<Kind::kCos>(xi));
    }
  }
}

GEOCONV_LEVEL_END  // math

#include "end.hpp"

#endif  // GEOCONV_SRC_MATH_TRIG_HPP
