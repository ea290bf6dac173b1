// sin, cos, sincos and tan, correctly rounded to nearest, over lanes of
// doubles (lanes.hpp).
//
// x = j pi/512 + r, |r| <= pi/1024 (j modulo 1024): by Cody and Waite with
// pi/512 in four pieces for |x| <= 2^16, by Payne and Hanek (one lane at a
// time) above. With (S, C) = (sin, cos)(j pi/512) from a table of 256
// double-double pairs and the quadrant j / 256,
//   sin x = S cos r + C sin r,   cos x = C cos r - S sin r,
// where cos r - 1 and sin r - r are short polynomials in double. The sum is
// carried as hi + lo; the error bound below gives the rounding test, and the
// arguments it rejects (about one in 20000, and those within 2^-40 or so of
// a zero of the function) take the accurate path (accurate.hpp).

#ifndef GEOCONV_SRC_MATH_TRIG_HPP
#define GEOCONV_SRC_MATH_TRIG_HPP

#include <cstdint>

#include "accurate.hpp"
#include "lanes.hpp"
#include "tables.hpp"

namespace geoconv::detail::math {

namespace trig_detail {

template <class V> struct Reduced {
  typename Lanes<V>::I j;  // modulo 1024 in the low bits
  V rh, rl;
};

// |x| <= 2^16 gives |j| < 2^24, so j * kStep1,2,3 are exact, x - j kStep1 is
// exact (Sterbenz), and the error of r is below 2^-113 absolute: the fourth
// piece leaves 2^-153 j, its product and the sum of the low parts round
// below 2^-114 each.
template <class V> inline Reduced<V> reduce_cody_waite(V x) {
  using namespace tables;
  Reduced<V> out;
  V k = round_int(x * kInvStep, out.j);
  V a = x - k * kStep1;
  V s, e, s2, e2;
  two_sum(a, -(k * kStep2), s, e);
  two_sum(s, -(k * kStep3), s2, e2);
  fast_two_sum(s2, (e + e2) - k * kStep4, out.rh, out.rl);
  return out;
}

// One lane by Payne-Hanek: x 512/pi = j + f, r = f pi/512 to 2^-104
// relative (|r| >= 2^-70 for every double, so 2^-113 absolute too).
inline void reduce_large(double x, std::int64_t& j, double& rh, double& rl) {
  accurate::Mp f;
  accurate::reduce(x, 8, 10, j, f);
  double fh = accurate::to_double(f);
  double fl = accurate::to_double(accurate::sub(f, accurate::from_double(fh)));
  double p, e;
  two_prod(fh, tables::kStepHi, p, e);
  fast_two_sum(p, e + (fh * tables::kStepLo + fl * tables::kStepHi), rh, rl);
}

template <class V> inline Reduced<V> reduce(V x, V ax) {
  using L = Lanes<V>;
  Reduced<V> red = reduce_cody_waite(x);
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
  V rh, sl, cl;
};
template <class V> inline Small<V> small_sincos(const Reduced<V>& red) {
  V t = red.rh * red.rh;
  V ps = t * (-0x1.5555555555555p-3 + t * (0x1.1111111111111p-7 + t * -0x1.a01a01a01a01ap-13));
  V pc = t * (-0.5 + t * (0x1.5555555555555p-5 + t * -0x1.6c16c16c16c17p-10));
  return {red.rh, red.rl + red.rh * ps, pc - red.rh * red.rl};
}

// A cos r + B sin r, (A, B) double-double, as hi + lo, with the bound of its
// error. Relative to |A| + |B r| the errors are: A cl 2^-68.7 (cl's and the
// product's), B sl 2^-69.9, A's and B's low parts times cl and sl 2^-70.6,
// the sum of the small terms 2^-70.1, truncations 2^-81; together below
// 2^-67.6, taken as 2^-67.2 to cover the bound's own roundings. The error
// of r adds |B| 2^-113 <= 2^-112.9.
template <class V> struct Result {
  V hi, lo, err;
};
template <class V>
inline Result<V> combine(V ah, V al, V bh, V bl, const Small<V>& sm) {
  V ph, pl, sh, se;
  two_prod(bh, sm.rh, ph, pl);
  two_sum(ah, ph, sh, se);
  V small = (bh * sm.sl + ah * sm.cl);
  V lo = ((se + pl) + (al + bl * sm.rh)) + small;
  Result<V> out;
  fast_two_sum(sh, lo, out.hi, out.lo);
  out.err = (vabs(ah) + vabs(ph)) * 0x1p-67 + 0x1p-112;
  return out;
}

// The table's pair for j, turned by its quadrant: sin and cos of j pi/512.
template <class V> struct Pair {
  V sh, sl, ch, cl;
};
template <class V> inline Pair<V> table_pair(typename Lanes<V>::I j) {
  using L = Lanes<V>;
  using I = typename L::I;
  I i = j & L::isplat(255);
  Pair<V> t;
  for (int n = 0; n < L::kCount; ++n) {
    const double* row = tables::kSinCos[L::iget(i, n)];
    L::set(t.sh, n, row[0]);
    L::set(t.sl, n, row[1]);
    L::set(t.ch, n, row[2]);
    L::set(t.cl, n, row[3]);
  }
  // Quadrant q: (sin, cos) of (q pi/2 + y) = (s, c), (c, -s), (-s, -c), (-c, s).
  I q = j >> 8;
  auto odd = (q & L::isplat(1)) != L::isplat(0);
  I neg_s = -((q >> 1) & L::isplat(1)) & L::isplat(INT64_MIN);  // q = 2, 3
  I neg_c = -(((q + L::isplat(1)) >> 1) & L::isplat(1)) & L::isplat(INT64_MIN);  // q = 1, 2
  Pair<V> r;
  r.sh = xor_sign(L::select(odd, t.ch, t.sh), neg_s);
  r.sl = xor_sign(L::select(odd, t.cl, t.sl), neg_s);
  r.ch = xor_sign(L::select(odd, t.sh, t.ch), neg_c);
  r.cl = xor_sign(L::select(odd, t.sl, t.cl), neg_c);
  return r;
}

// hi + lo rounded, if every value within err of it rounds the same way
// (err is at least 2^-20 above the true bound, which covers the roundings of
// lo +- err, below 2^-105 |hi|).
template <class V> inline typename Lanes<V>::M rounds_surely(const Result<V>& r) {
  return (r.hi + (r.lo + r.err)) == (r.hi + (r.lo - r.err));
}

enum class Kind { kSin, kCos, kTan };

template <Kind kKind, class V> inline V evaluate(V x) {
  using L = Lanes<V>;
  V ax = vabs(x);
  Reduced<V> red = reduce(x, ax);
  Small<V> sm = small_sincos(red);
  Pair<V> p = table_pair<V>(red.j);
  Result<V> r;
  if constexpr (kKind == Kind::kSin) {
    r = combine(p.sh, p.sl, p.ch, p.cl, sm);
  } else if constexpr (kKind == Kind::kCos) {
    r = combine(p.ch, p.cl, -p.sh, -p.sl, sm);
  } else {
    // tan = S / C: th = S/C to an ulp or two, the exact residual S - th C
    // divided again gives tl; the relative errors of S and C add.
    Result<V> s = combine(p.sh, p.sl, p.ch, p.cl, sm);
    Result<V> c = combine(p.ch, p.cl, -p.sh, -p.sl, sm);
    V inv = 1.0 / c.hi;
    V th = s.hi * inv;
    V ph, pl;
    two_prod(th, c.hi, ph, pl);
    V tl = (((s.hi - ph) - pl) + (s.lo - th * c.lo)) * inv;
    fast_two_sum(th, tl, r.hi, r.lo);
    r.err = (s.err + vabs(th) * c.err) * vabs(inv) * (1 + 0x1p-40) + vabs(th) * 0x1p-100;
  }
  V res = r.hi + r.lo;
  // |x| < 2^-27: sin x and tan x round to x, cos x to 1. Infinities and NaN
  // give NaN.
  auto tiny = ax < 0x1p-27;
  V tiny_res = kKind == Kind::kCos ? L::splat(1.0) : x;
  res = L::select(tiny, tiny_res, res);
  auto finite = ax <= 0x1.fffffffffffffp1023;
  res = L::select(finite, res, x - x);
  auto redo = L::mand(L::mnot(rounds_surely(r)), L::mand(finite, L::mnot(tiny)));
  if (L::any(redo)) {
    for (int i = 0; i < L::kCount; ++i) {
      if (!L::lane(redo, i)) continue;
      double xi = L::get(x, i);
      L::set(res, i, kKind == Kind::kTan ? accurate::tan(xi)
                                          : accurate::sin_or_cos(xi, kKind == Kind::kCos ? 1 : 0));
    }
  }
  return res;
}

}  // namespace trig_detail

template <class V> inline V sin(V x) { return trig_detail::evaluate<trig_detail::Kind::kSin>(x); }
template <class V> inline V cos(V x) { return trig_detail::evaluate<trig_detail::Kind::kCos>(x); }
template <class V> inline V tan(V x) { return trig_detail::evaluate<trig_detail::Kind::kTan>(x); }

// sin x and cos x together, one reduction and one pair of polynomials.
template <class V> inline void sincos(V x, V& s, V& c) {
  using namespace trig_detail;
  using L = Lanes<V>;
  V ax = vabs(x);
  Reduced<V> red = reduce(x, ax);
  Small<V> sm = small_sincos(red);
  Pair<V> p = table_pair<V>(red.j);
  Result<V> rs = combine(p.sh, p.sl, p.ch, p.cl, sm);
  Result<V> rc = combine(p.ch, p.cl, -p.sh, -p.sl, sm);
  auto tiny = ax < 0x1p-27;
  auto finite = ax <= 0x1.fffffffffffffp1023;
  s = L::select(finite, L::select(tiny, x, rs.hi + rs.lo), x - x);
  c = L::select(finite, L::select(tiny, L::splat(1.0), rc.hi + rc.lo), x - x);
  auto ok = L::mor(tiny, L::mnot(finite));
  auto redo_s = L::mnot(L::mor(ok, rounds_surely(rs)));
  auto redo_c = L::mnot(L::mor(ok, rounds_surely(rc)));
  if (L::any(L::mor(redo_s, redo_c))) {
    for (int i = 0; i < L::kCount; ++i) {
      double xi = L::get(x, i);
      if (L::lane(redo_s, i)) L::set(s, i, accurate::sin_or_cos(xi, 0));
      if (L::lane(redo_c, i)) L::set(c, i, accurate::sin_or_cos(xi, 1));
    }
  }
}

}  // namespace geoconv::detail::math

#endif  // GEOCONV_SRC_MATH_TRIG_HPP
