// The middle tier of the elementary functions: one lane, in double-double
// arithmetic throughout, for the arguments whose fast evaluation cannot be
// rounded with certainty. Its results come with error bounds near 2^-100
// relative and their own rounding test; only the arguments that fail that
// one too (the hardest to round, far below one in a billion of random ones)
// go on to the 256-bit accurate path (accurate.hpp), some fifty times
// dearer.
//
// sin, cos and tan: x = j pi/512 + r with pi/512 in four pieces (two of 29
// bits, then two doubles; Payne-Hanek above 2^16), r as a double-double; sin
// r and cos r - 1 by their Taylor polynomials, the leading terms with
// double-double coefficients; then A cos r + B sin r with the table's (A, B)
// as double-doubles, every product exact in its upper part (two_prod).

#ifndef GEOCONV_SRC_MATH_MIDDLE_HPP
#define GEOCONV_SRC_MATH_MIDDLE_HPP

#include "level.hpp"

#include <cmath>
#include <cstdint>

#include "accurate.hpp"
#include "lanes.hpp"
#include "tables.hpp"

// Each operation rounded on its own, contraction off (begin.hpp).
#include "begin.hpp"

GEOCONV_LEVEL_BEGIN(math)

namespace middle {

struct DD {
  double hi, lo;
};
// hi + lo within err of the function's value.
struct Value {
  double hi, lo, err;
};

// (ah + al)(bh + bl) as hi + lo: ah bh exact as p + e, the cross terms
// rounded, al bl left out. With |al| <= 2^-51.4 |ah| and |bl| <= 2^-51.4
// |bh| (the low parts here), within 2^-101.8 |ah bh| (two products and two
// sums rounded, each within 2^-53 of terms below 2^-49.4 |ah bh|, and al
// bl); within 2^-103 where one factor is a table's double-double (|lo| <=
// 2^-53 |hi|).
inline DD mul(DD a, DD b) {
  DD out;
  double e;
  two_prod(a.hi, b.hi, out.hi, e);
  out.lo = e + (a.hi * b.lo + a.lo * b.hi);
  return out;
}
// c + t q, t = th + tl, for a double-double c with |t q| <= |c| / 2^8 or so:
// the product in double (tl left out); its error is that of a term 2^-8
// times smaller than c, which callers scale down further.
inline DD add_small(const double (&c)[2], double tq) {
  DD out;
  fast_two_sum(c[0], tq, out.hi, out.lo);
  out.lo += c[1];
  return out;
}

// x = j pi/512 + r (j modulo 2^10 in the low bits), r = rh + rl within err.
struct Reduced {
  std::int64_t j;
  double rh, rl, err;
};

// For x = xh + xl, |xl| <= 2^-52 |xh|, and |xh| <= 2^16, or xl = 0 and any
// finite xh. Below 2^16, k = j has |k| < 2^24: k kStep1 and k kStep2 are
// exact, and so is xh - k kStep1 (as in trig.hpp), k kStep3 is exact as p3
// + e3 (two_prod), and the sums of the upper parts are exact by two_sum;
// left are the four roundings of the low sum (each within 2^-53 of the sum
// of the magnitudes of its terms, so 2^-51 of that in all, with p4's own
// rounding), and kStep4's truncation of pi/512 (2^-174 |k| <= 2^-150).
// Above, Payne-Hanek gives x 512/pi - j to 2^-280 absolute, and r to 2^-250
// relative in 256 bits, rounded to rh and rl within 2^-106 |r|.
inline Reduced reduce(double xh, double xl) {
  using namespace tables;
  Reduced out;
  if (std::fabs(xh) > 0x1p16) {
    accurate::Mp f;
    accurate::reduce(xh, 8, 10, out.j, f);
    accurate::Mp r = accurate::scale2(accurate::mul(f, accurate::half_pi()), -8);
    out.rh = accurate::to_double(r);
    out.rl = accurate::to_double(accurate::sub(r, accurate::from_double(out.rh)));
    out.err = std::fabs(out.rh) * 0x1p-105 + 0x1p-270;
    return out;
  }
  double k = round_int(xh * kInvStep, out.j);
  double a = xh - k * kStep1;
  double s1, t1, s2, t2, s3, t3, p3, e3;
  two_sum(a, -(k * kStep2), s1, t1);
  two_prod(k, kStep3, p3, e3);
  two_sum(s1, -p3, s2, t2);
  two_sum(s2, xl, s3, t3);
  double p4 = k * kStep4;
  double low = (((t1 + t2) + t3) - e3) - p4;
  two_sum(s3, low, out.rh, out.rl);
  out.err = ((((std::fabs(t1) + std::fabs(t2)) + std::fabs(t3)) + std::fabs(e3)) + std::fabs(p4)) * 0x1p-50 + 0x1p-149;
  return out;
}

// sin r = s and cos r - 1 = cm for |r| <= 1.0001 pi/1024 < 2^-8.34 (t = r^2
// < 2^-16.68), r = rh + rl taken as exact here.
//   sin r = r + r t S(t), S(t) = -1/3! + t (1/5! + t q), q = -1/7! + t
//     (1/9! - t/11!) in double;
//   cos r - 1 = t C(t), C(t) = -1/2 + t (1/4! + t qc), qc = -1/6! + t (1/8!
//     + t (-1/10! + t/12!)) in double.
// The terms left out are below 2^-132 |r| and 2^-128. t = th + tl is within
// 2^-103.5 t (2 rh rl rounded, the sum, rl^2). q and qc in double, their
// products with th rounded and tl q left out: within 2^-114 |r| of sin r and
// 2^-112 of cos r - 1 once scaled by t^2. S and C are within 2^-101 of
// themselves (the double-double constants to 2^-106, the products of mul(),
// the sums), and t S, r t S and t C add 2^-101.8 each (mul()): below
// 2^-117 |r| and 2^-115 for sin r and cos r - 1. Last, r + r t S by fast-two-sum (|r t S| < 2^-19 |r|)
// with the low parts summed: two roundings, within 2^-53 of terms below
// 2^-52 |r|, 2^-104.4 |r| in all. So s is within 2^-104.3 |r| of sin r,
// cm within 2^-100 |cos r - 1| < 2^-117 of cos r - 1.
struct Small {
  DD s, cm;
};
inline Small small(double rh, double rl) {
  using namespace tables;
  DD t;
  double te;
  two_prod(rh, rh, t.hi, te);
  t.lo = te + (2.0 * rh) * rl;
  Small out;
  double q = kMidS3 + t.hi * (kMidS4 + t.hi * kMidS5);
  DD ts = mul(t, add_small(kMidS2, t.hi * q));
  DD sp;  // S(t): |t (1/5! + ...)| < 2^-23.5 < |1/3!|
  fast_two_sum(kMidS1[0], ts.hi, sp.hi, sp.lo);
  sp.lo += kMidS1[1] + ts.lo;
  DD v = mul(DD{rh, rl}, mul(t, sp));
  fast_two_sum(rh, v.hi, out.s.hi, out.s.lo);
  out.s.lo += rl + v.lo;
  double qc = kMidC3 + t.hi * (kMidC4 + t.hi * (kMidC5 + t.hi * kMidC6));
  DD tc = mul(t, add_small(kMidC2, t.hi * qc));
  DD cp;  // C(t): |t (1/4! + ...)| < 2^-21.2 < 1/2
  fast_two_sum(-0.5, tc.hi, cp.hi, cp.lo);
  cp.lo += tc.lo;
  out.cm = mul(t, cp);
  return out;
}

// With j = 256 q + i (0 <= i < 256) and the table's S, C of i pi/512,
// sin x = A cos r + B sin r with (A, B) = (S, C), (C, -S), (-S, -C), (-C,
// S) for q = 0..3; cos x is sin x with j + 256.
//
// The value A + (A (cos r - 1) + B sin r): A and B as double-doubles (within
// 2^-106 of themselves); the products by mul() and their sum w with two_sum
// of the upper parts and the low parts summed, then A + w by fast-two-sum
// (A = 0, or |A| >= sin(pi/512) > 2^-7.4 > |w|, as |w| <= 2^-8.3 |B| +
// 2^-17 |A|) and the low parts summed. Relative to U = |A| + |B r|: the
// table's values 2^-106, sin r 2^-104.3 (small()), cos r - 1 2^-117, the
// products 2^-103 (mul()), w's low sum 2^-103.1 (two roundings, within
// 2^-53 of terms below 2^-50.4 U and 2^-50.9 U), the last low sum 2^-102.5
// (the same, with A's low part): below 2^-101.1 U in all, 2^-100.9 U with
// the roundings of lo +- err in the rounding test (within 2^-53 of |lo| +
// err < 2^-51 U). The bound takes 2^-100 U. r's error, times |d/dr (A cos r
// + B sin r)| <= 1 + 2^-100, is added apart. The value itself is at least
// U / 3 (|B r| <= |A| / 2 unless A = 0): 2^-98.4 relative at worst.
inline Value combine(std::int64_t j, const Reduced& red, const Small& sm) {
  const double* row = tables::kSinCos[j & 255];
  int q = static_cast<int>((j >> 8) & 3);
  DD s{row[0], row[1]}, c{row[4], row[5]};
  DD a = (q & 1) ? c : s, b = (q & 1) ? s : c;
  if (q >= 2) a = {-a.hi, -a.lo};
  if (q == 1 || q == 2) b = {-b.hi, -b.lo};
  DD w1 = mul(a, sm.cm), w2 = mul(b, sm.s);
  DD w;
  two_sum(w1.hi, w2.hi, w.hi, w.lo);
  w.lo += w1.lo + w2.lo;
  Value out;
  double e;
  fast_two_sum(a.hi, w.hi, out.hi, e);
  out.lo = e + (a.lo + w.lo);
  out.err = (std::fabs(a.hi) + std::fabs(b.hi * red.rh)) * 0x1p-100 + red.err * (1 + 0x1p-20);
  return out;
}

// sin (cosine = 0) or cos (cosine = 1) of x = xh + xl as above, |xh| >= 2^-30.
inline Value sin_cos(double xh, double xl, int cosine) {
  Reduced red = reduce(xh, xl);
  Small sm = small(red.rh, red.rl);
  return combine(red.j + 256 * cosine, red, sm);
}

// tan x = sin x / cos x: th = s / c rounded, the exact residual s - th c
// (p + pe by two_prod; sh - p exact by Sterbenz's lemma) with the low parts
// divided again, tl. The division's roundings (five, each within 2^-53 of
// terms below 2^-51 |t|) and the left-out tl cl keep within 2^-102.3 |t|;
// the relative errors of s and c add (to first order; 2^-40 covers the
// rest and the bound's own roundings). 2^-101 |t| also covers the
// rounding test's own roundings (|tl| < 2^-51 |t|).
inline Value tan(double x) {
  Reduced red = reduce(x, 0.0);
  Small sm = small(red.rh, red.rl);
  Value s = combine(red.j, red, sm), c = combine(red.j + 256, red, sm);
  fast_two_sum(s.hi, s.lo, s.hi, s.lo);
  fast_two_sum(c.hi, c.lo, c.hi, c.lo);
  Value out;
  out.hi = s.hi / c.hi;
  double p, pe;
  two_prod(out.hi, c.hi, p, pe);
  out.lo = (((s.hi - p) - pe) + (s.lo - out.hi * c.lo)) / c.hi;
  double at = std::fabs(out.hi);
  out.err = at * ((s.err / std::fabs(s.hi) + c.err / std::fabs(c.hi)) * (1 + 0x1p-40) + 0x1p-101);
  return out;
}

// hi + lo rounded, if every value within err of it rounds alike (err
// covers the roundings of lo +- err: see the bounds above).
inline bool rounds(const Value& v, double& out) {
  out = v.hi + v.lo;
  return v.hi + (v.lo + v.err) == v.hi + (v.lo - v.err);
}

}  // namespace middle

GEOCONV_LEVEL_END  // math

#include "end.hpp"

#endif  // GEOCONV_SRC_MATH_MIDDLE_HPP
