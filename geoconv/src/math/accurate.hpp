// The accurate path of the elementary functions: binary floating-point
// numbers of 256 bits (eight 32-bit limbs, products of 32 x 32 -> 64 bits
// only), the Payne-Hanek reduction, sine and cosine by their Taylor series,
// and the inverse functions by Newton's iteration on them. It runs for the
// few arguments whose fast evaluation cannot be rounded with certainty (one
// in ten thousand or so), one lane at a time; its results are good to about
// 2^-150 relative, past the hardest cases known for these functions: in the
// published searches for sin, cos, tan, asin, acos and atan in double, no
// value lies closer to a midpoint between two doubles than about 2^-132
// relative (tan's worst: 78 identical bits after the rounding bit). atan2
// has no such search; its results are right wherever it keeps 2^-150 away.

#ifndef GEOCONV_SRC_MATH_ACCURATE_HPP
#define GEOCONV_SRC_MATH_ACCURATE_HPP

#include "level.hpp"

#include <cstdint>
#include <cstring>

#include "tables.hpp"

#include "begin.hpp"

GEOCONV_LEVEL_BEGIN(math)
namespace tables = math_tables;
namespace accurate {

constexpr int kLimbs = 8;

// sign * 0.m * 2^e, m of kLimbs limbs, least significant first, with the top
// bit of m[kLimbs - 1] set unless the number is zero (sign 0). Operations
// truncate: each loses less than 2^-255 relative to its largest operand.
struct Mp {
  int sign = 0;
  std::int64_t e = 0;
  std::uint32_t m[kLimbs] = {};
};

inline std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}
inline double from_bits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}
// 2^s for -1074 <= s <= 1023, exactly.
inline double pow2(int s) {
  return s >= -1022 ? from_bits(static_cast<std::uint64_t>(s + 1023) << 52)
                    : from_bits(std::uint64_t{1} << (s + 1074));
}

// Limb arrays shifted by s >= 0 bits, in place; bits shifted out are lost.
inline void shift_left(std::uint32_t* m, int n, int s) {
  int w = s / 32, b = s % 32;
  for (int k = n - 1; k >= 0; --k) {
    std::uint32_t hi = k - w >= 0 ? m[k - w] : 0;
    std::uint32_t lo = k - w - 1 >= 0 ? m[k - w - 1] : 0;
    m[k] = b ? (hi << b) | (lo >> (32 - b)) : hi;
  }
}
inline void shift_right(std::uint32_t* m, int n, int s) {
  int w = s / 32, b = s % 32;
  for (int k = 0; k < n; ++k) {
    std::uint32_t lo = k + w < n ? m[k + w] : 0;
    std::uint32_t hi = k + w + 1 < n ? m[k + w + 1] : 0;
    m[k] = b ? (lo >> b) | (hi << (32 - b)) : lo;
  }
}

inline void normalize(Mp& a) {
  int top = kLimbs - 1;
  while (top >= 0 && a.m[top] == 0) --top;
  if (top < 0) {
    a.sign = 0;
    a.e = 0;
    return;
  }
  int s = 32 * (kLimbs - 1 - top) + __builtin_clz(a.m[top]);
  if (s) {
    shift_left(a.m, kLimbs, s);
    a.e -= s;
  }
}

// The number sum v[k] 2^(32k) * 2^scale, of n limbs, its lowest limbs
// truncated.
inline Mp from_integer(const std::uint32_t* v, int n, std::int64_t scale, int sign) {
  Mp r;
  int top = n - 1;
  while (top >= 0 && v[top] == 0) --top;
  if (top < 0) return r;
  for (int k = 0; k < kLimbs; ++k) {
    int src = top - (kLimbs - 1) + k;
    r.m[k] = src >= 0 ? v[src] : 0;
  }
  r.sign = sign;
  r.e = 32 * static_cast<std::int64_t>(top + 1) + scale;
  normalize(r);
  return r;
}

// A finite double's bits b as the integer mant times 2^e (subnormals
// included).
inline void split(std::uint64_t b, std::uint64_t& mant, int& e) {
  const int be = static_cast<int>((b >> 52) & 0x7ff);
  mant = b & ((std::uint64_t{1} << 52) - 1);
  e = -1074;
  if (be) {
    mant |= std::uint64_t{1} << 52;
    e = be - 1075;
  }
}

inline Mp from_double(double d) {
  Mp r;
  if (d == 0) return r;
  std::uint64_t b = bits_of(d), mant;
  int e;
  split(b, mant, e);
  std::uint64_t top = mant << 11;
  r.m[kLimbs - 1] = static_cast<std::uint32_t>(top >> 32);
  r.m[kLimbs - 2] = static_cast<std::uint32_t>(top);
  r.sign = (b >> 63) ? -1 : 1;
  r.e = e + 53;
  normalize(r);
  return r;
}

inline Mp constant(int e, const std::uint32_t* limbs, int sign) {
  Mp r;
  r.sign = sign;
  r.e = e;
  for (int k = 0; k < kLimbs; ++k) r.m[k] = limbs[k];
  return r;
}
inline Mp one() { return from_double(1.0); }
inline Mp half_pi() { return constant(tables::kHalfPiExp, tables::kHalfPiLimbs, 1); }
inline Mp neg(Mp a) {
  a.sign = -a.sign;
  return a;
}

// |a| compared with |b|, both nonzero.
inline int compare_magnitudes(const Mp& a, const Mp& b) {
  if (a.e != b.e) return a.e < b.e ? -1 : 1;
  for (int k = kLimbs - 1; k >= 0; --k)
    if (a.m[k] != b.m[k]) return a.m[k] < b.m[k] ? -1 : 1;
  return 0;
}

inline Mp add(const Mp& a, const Mp& b) {
  if (b.sign == 0) return a;
  if (a.sign == 0) return b;
  const Mp* x = &a;
  const Mp* y = &b;
  if (compare_magnitudes(a, b) < 0) {
    x = &b;
    y = &a;
  }
  Mp r = *x;
  std::int64_t d = x->e - y->e;
  if (d >= 32 * kLimbs) return r;
  std::uint32_t t[kLimbs];
  std::memcpy(t, y->m, sizeof t);
  shift_right(t, kLimbs, static_cast<int>(d));
  if (x->sign == y->sign) {
    std::uint64_t carry = 0;
    for (int k = 0; k < kLimbs; ++k) {
      std::uint64_t s = std::uint64_t{r.m[k]} + t[k] + carry;
      r.m[k] = static_cast<std::uint32_t>(s);
      carry = s >> 32;
    }
    if (carry) {
      shift_right(r.m, kLimbs, 1);
      r.m[kLimbs - 1] |= 0x80000000u;
      r.e += 1;
    }
  } else {
    std::uint64_t borrow = 0;
    for (int k = 0; k < kLimbs; ++k) {
      std::uint64_t s = std::uint64_t{r.m[k]} - t[k] - borrow;
      r.m[k] = static_cast<std::uint32_t>(s);
      borrow = (s >> 32) ? 1 : 0;
    }
    normalize(r);
  }
  return r;
}
inline Mp sub(const Mp& a, const Mp& b) { return add(a, neg(b)); }

inline Mp mul(const Mp& a, const Mp& b) {
  Mp r;
  if (a.sign == 0 || b.sign == 0) return r;
  std::uint32_t p[2 * kLimbs] = {};
  for (int i = 0; i < kLimbs; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < kLimbs; ++j) {
      std::uint64_t t = std::uint64_t{a.m[i]} * b.m[j] + p[i + j] + carry;
      p[i + j] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    p[i + kLimbs] = static_cast<std::uint32_t>(carry);
  }
  r.sign = a.sign * b.sign;
  r.e = a.e + b.e;
  if (!(p[2 * kLimbs - 1] & 0x80000000u)) {  // the product of two halves or more
    shift_left(p, 2 * kLimbs, 1);
    r.e -= 1;
  }
  std::memcpy(r.m, p + kLimbs, sizeof r.m);
  return r;
}
inline Mp scale2(Mp a, int k) {
  a.e += k;
  return a;
}

// a as m * 2^e with m a double of magnitude in [1/2, 1) (0 for zero), to
// about 2^-53.
inline double approx(const Mp& a, std::int64_t& e) {
  e = a.e;
  if (a.sign == 0) return 0.0;
  std::uint64_t top = (std::uint64_t{a.m[kLimbs - 1]} << 32) | a.m[kLimbs - 2];
  double m = static_cast<double>(top) * 0x1p-64;
  return a.sign < 0 ? -m : m;
}
// a / b to about 2^-52 relative, whatever their exponents.
inline Mp divide_roughly(const Mp& a, const Mp& b) {
  std::int64_t ea, eb;
  double ma = approx(a, ea), mb = approx(b, eb);
  Mp q = from_double(ma / mb);
  q.e += ea - eb;
  return q;
}
// a / b to about 2^-250 relative: each step of q += (a - q b) / b gains the
// 52 bits of the rough quotient.
inline Mp divide(const Mp& a, const Mp& b) {
  Mp q = divide_roughly(a, b);
  for (int k = 0; k < 4; ++k) {
    Mp rho = sub(a, mul(q, b));
    if (rho.sign == 0) break;
    q = add(q, divide_roughly(rho, b));
  }
  return q;
}

// a rounded to the nearest double (ties to even), subnormals included. a is
// taken as exact: the caller's error bound keeps it away from midpoints.
inline double to_double(const Mp& a) {
  if (a.sign == 0) return 0.0;
  std::uint64_t top = (std::uint64_t{a.m[kLimbs - 1]} << 32) | a.m[kLimbs - 2];
  bool rest = false;
  for (int k = 0; k < kLimbs - 2; ++k) rest = rest || a.m[k] != 0;
  std::int64_t ev = a.e - 1;  // a in [2^ev, 2^(ev+1))
  double r;
  if (ev > 1023) {
    r = 0x1p1023 * 2.0;
  } else {
    std::int64_t p = ev >= -1022 ? 53 : 53 - (-1022 - ev);  // bits kept
    if (p <= 0) {
      // Below 2^-1074: 2^-1074 if above its half, else 0.
      bool above = p == 0 && (top != (std::uint64_t{1} << 63) || rest);
      r = above ? 0x1p-1074 : 0.0;
    } else {
      int drop = static_cast<int>(64 - p);
      std::uint64_t mant = top >> drop;
      std::uint64_t rem = top & ((std::uint64_t{1} << drop) - 1);
      std::uint64_t half = std::uint64_t{1} << (drop - 1);
      if (rem > half || (rem == half && (rest || (mant & 1)))) mant += 1;
      r = static_cast<double>(mant) * pow2(static_cast<int>(ev + 1 - p));
    }
  }
  return a.sign < 0 ? -r : r;
}

// sin r and cos r for |r| <= 0.8: the Taylor series of r/16 (terms up to
// the 35th power, the first left out below 2^-290), then four doublings.
inline void sincos_small(const Mp& r, Mp& s, Mp& c) {
  if (r.sign == 0) {
    s = r;
    c = one();
    return;
  }
  Mp h = scale2(r, -4);
  Mp u = mul(h, h);
  auto inv_fact = [](int n, int sign) {
    return constant(tables::kInvFactExp[n], tables::kInvFactLimbs[n], sign);
  };
  Mp ps = inv_fact(35, -1), pc = inv_fact(34, -1);
  for (int k = 16; k >= 0; --k) {
    int sign = (k & 1) ? -1 : 1;
    ps = add(mul(ps, u), inv_fact(2 * k + 1, sign));
    pc = add(mul(pc, u), inv_fact(2 * k, sign));
  }
  s = mul(ps, h);
  c = pc;
  for (int k = 0; k < 4; ++k) {
    Mp s2 = scale2(mul(s, c), 1);
    c = sub(one(), scale2(mul(s, s), 1));
    s = s2;
  }
}

// The quadrant q (0..3) turns (sin r, cos r) into (sin, cos) of r + q pi/2.
inline void rotate(int q, Mp& s, Mp& c) {
  Mp s0 = s, c0 = c;
  switch (q & 3) {
    case 0: break;
    case 1: s = c0; c = neg(s0); break;
    case 2: s = neg(s0); c = neg(c0); break;
    default: s = neg(c0); c = s0; break;
  }
}

// sin a and cos a for |a| up to a few units (the inverse functions' angles).
inline void sincos(const Mp& a, Mp& s, Mp& c) {
  std::int64_t e;
  double m = approx(a, e);
  double v = e < -60 ? 0.0 : m * pow2(static_cast<int>(e < 60 ? e : 60));
  double k = v * 0.63661977236758134 + 0x1.8p52 - 0x1.8p52;  // round(a 2/pi)
  Mp r = a;
  if (k != 0) r = sub(a, mul(from_double(k), half_pi()));
  sincos_small(r, s, c);
  rotate(static_cast<int>(k) & 3, s, c);
}

// Payne-Hanek: x * 2^shift * 2/pi = j + f with j an integer, |f| <= 1/2,
// j returned modulo 2^bits (bits <= 30, shift >= 0), f to about 2^-280
// absolute. The 2/pi words whose products with x are multiples of 2^bits are
// skipped; the next twelve give the rest.
inline void reduce(double x, int shift, int bits, std::int64_t& j, Mp& f) {
  constexpr int kWords = 12;
  const std::uint64_t b = bits_of(x);
  std::uint64_t mant;
  int e;
  split(b, mant, e);
  int e1 = e + shift;  // |x| 2^shift = mant * 2^e1
  int j0 = e1 - bits >= 0 ? (e1 - bits) / 32 : 0;
  std::uint32_t w[kWords];  // the 2/pi words, least significant first
  for (int t = 0; t < kWords; ++t) w[kWords - 1 - t] = tables::kTwoOverPi[j0 + t];
  std::uint32_t p[kWords + 2] = {};
  const std::uint32_t m2[2] = {static_cast<std::uint32_t>(mant), static_cast<std::uint32_t>(mant >> 32)};
  for (int i = 0; i < 2; ++i) {
    std::uint64_t carry = 0;
    for (int k = 0; k < kWords; ++k) {
      std::uint64_t t = std::uint64_t{m2[i]} * w[k] + p[i + k] + carry;
      p[i + k] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    p[i + kWords] = static_cast<std::uint32_t>(carry);
  }
  // p * 2^-sh is the product; its bits from sh up are the integer part.
  int sh = 32 * (j0 + kWords) - e1;
  constexpr int kBits = 32 * (kWords + 2);
  auto bit = [&](int pos) { return pos < kBits ? (p[pos / 32] >> (pos % 32)) & 1u : 0u; };
  std::int64_t jj = 0;
  for (int k = bits - 1; k >= 0; --k) jj = (jj << 1) | bit(sh + k);
  bool up = bit(sh - 1) != 0;
  // Keep the fraction's bits, and take 1 - fraction when rounding up.
  for (int pos = sh; pos < kBits; ++pos) p[pos / 32] &= ~(1u << (pos % 32));
  if (up) {
    jj += 1;
    // 2^sh - p, with sh <= kBits here (the rounding bit lies inside p).
    std::uint64_t borrow = 0;
    for (int k = 0; k < kWords + 2; ++k) {
      std::uint64_t s = std::uint64_t{0} - p[k] - borrow;
      p[k] = static_cast<std::uint32_t>(s);
      borrow = (s >> 32) ? 1 : 0;
    }
    for (int pos = sh; pos < kBits; ++pos) p[pos / 32] &= ~(1u << (pos % 32));
  }
  int sign = up ? -1 : 1;
  if (b >> 63) {
    sign = -sign;
    jj = -jj;
  }
  j = jj & ((std::int64_t{1} << bits) - 1);
  f = from_integer(p, kWords + 2, -sh, sign);
}

// sin x or cos x (cosine: quadrant 1), |x| >= 2^-27 finite.
inline double sin_or_cos(double x, int quadrant) {
  std::int64_t q;
  Mp f, s, c;
  reduce(x, 0, 2, q, f);
  sincos_small(mul(f, half_pi()), s, c);
  rotate(static_cast<int>(q) + quadrant, s, c);
  return to_double(s);
}
inline double tan(double x) {
  std::int64_t q;
  Mp f, s, c;
  reduce(x, 0, 2, q, f);
  sincos_small(mul(f, half_pi()), s, c);
  return to_double((q & 1) ? neg(divide(c, s)) : divide(s, c));
}

// Newton's iteration a += delta on an angle, from a start good to 2^-50 or
// better: delta's quotient is rough (2^-52), so each step gains 52 bits or
// doubles them, whichever is less. It stops once |delta| <= 2^-100 |a|; the
// angle is then right to about 2^-150 relative, even where the iteration's
// second derivative term is large (asin near 1, tan a up to 2^27).
template <class Step> inline double newton(Mp a, Step step) {
  for (int k = 0; k < 8; ++k) {
    Mp s, c;
    sincos(a, s, c);
    Mp d = step(s, c);
    if (d.sign == 0) break;
    a = add(a, d);
    if (a.sign == 0 || d.e < a.e - 100) break;
  }
  return to_double(a);
}

// atan2(y, x) for finite nonzero x and y, from the fast path's hi + lo, or
// (no start) from y / x when x > 0 and |y / x| is far below 2^-27. The angle
// solves x sin a - y cos a = 0: delta = (y cos a - x sin a) / (x cos a + y sin a).
inline double atan2(double y, double x, const double* start) {
  Mp yy = from_double(y), xx = from_double(x);
  Mp a = start ? add(from_double(start[0]), from_double(start[1])) : divide(yy, xx);
  return newton(a, [&](const Mp& s, const Mp& c) {
    return divide_roughly(sub(mul(yy, c), mul(xx, s)), add(mul(xx, c), mul(yy, s)));
  });
}
// asin y (|y| < 1): sin a = y. acos y (|y| < 1): cos a = y.
inline double asin(double y, const double* start) {
  Mp yy = from_double(y);
  return newton(add(from_double(start[0]), from_double(start[1])),
                [&](const Mp& s, const Mp& c) { return divide_roughly(sub(yy, s), c); });
}
inline double acos(double y, const double* start) {
  Mp yy = from_double(y);
  return newton(add(from_double(start[0]), from_double(start[1])),
                [&](const Mp& s, const Mp& c) { return divide_roughly(sub(c, yy), s); });
}

}  // namespace accurate
GEOCONV_LEVEL_END

#include "end.hpp"

#endif  // GEOCONV_SRC_MATH_ACCURATE_HPP
