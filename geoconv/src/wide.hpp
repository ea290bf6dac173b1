// Two lanes at once with GCC's and clang's vector extensions, for the
// WebAssembly build's exact path (128-bit SIMD): the lanes' bits are exactly
// those the scalar code gets from the module's own libm (musl, compiled with
// it). WebAssembly has no fused multiply-add, so each lane's operations
// below, written in the order musl writes them, round exactly as the scalar
// ones do; only the branches musl takes per argument become selections.
// Arguments that would take a branch not copied here make the caller use the
// scalar routine. Compiled natively (by the tests), the same code is held
// within an ulp of the platform's libm.

#ifndef GEOCONV_SRC_WIDE_HPP
#define GEOCONV_SRC_WIDE_HPP

#include <geoconv/registry.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "internal.hpp"

namespace geoconv::detail::wide {

using D2 = double __attribute__((vector_size(16)));
using M2 = decltype(D2{} < D2{});  // lanes of all ones where a comparison holds

inline D2 splat(double v) { return D2{v, v}; }
inline D2 select(M2 where, D2 yes, D2 no) { return (D2)((where & (M2)yes) | (~where & (M2)no)); }
inline D2 abs(D2 x) { return (D2)((M2)x & INT64_MAX); }
#if defined(__wasm_simd128__)
inline bool all(M2 m) { return wasm_i64x2_all_true((v128_t)m); }
inline D2 sqrt(D2 x) { return (D2)wasm_f64x2_sqrt((v128_t)x); }
#else
inline bool all(M2 m) { return m[0] != 0 && m[1] != 0; }
inline D2 sqrt(D2 x) { return D2{std::sqrt(x[0]), std::sqrt(x[1])}; }
#endif

// musl's sincos for |x| below 5pi/4 (its __rem_pio2 reduces these by n = 0,
// +-1 or +-2 quarter turns with pi/2 in two parts, without a second round),
// the sine and cosine kernels of fdlibm with musl's coefficients. Bounds are
// on the high word of |x| as musl tests them: high word <= H is
// |x| < the double whose high word is H + 1 (and low word 0).
// False, writing nothing, when a lane is NaN or infinite, beyond musl's
// 5pi/4 (high word above 0x400f6a7a), or within 2^-20 (relative) of pi/2 or
// pi, where musl reduces in its general way instead to avoid cancellation.
inline bool sincos(D2 x, D2& sin, D2& cos) {
  const D2 ax = abs(x);
  const M2 inside = (ax < splat(0x1.f6a7bp+1)) &                                   // 0x400f6a7a
                    ~((ax >= splat(0x1.921fbp+0)) & (ax < splat(0x1.921fcp+0))) &  // ~pi/2
                    ~((ax >= splat(0x1.921fbp+1)) & (ax < splat(0x1.921fcp+1)));   // ~pi
  if (!all(inside)) return false;

  // The quarter turns n, as a double of the sign of x: 0 up to pi/4
  // (0x3fe921fb), 1 up to 3pi/4 (0x4002d97c), else 2.
  const M2 none = ax < splat(0x1.921fcp-1);
  const M2 one = ax < splat(0x1.2d97dp+1);
  const D2 turns = select(none, splat(0.0), select(one, splat(1.0), splat(2.0)));
  const D2 n = select(x < splat(0.0), -turns, turns);
  // x - n pi/2 as y0 + y1; n pio2_1 and n pio2_1t are exact (n is 0, +-1,
  // +-2), so these are musl's x -+ k*pio2_1 and its tails.
  constexpr double pio2_1 = 0x1.921fb544p+0;         // first 33 bits of pi/2
  constexpr double pio2_1t = 0x1.0b4611a626331p-34;  // pi/2 - pio2_1
  const D2 z = x - n * splat(pio2_1);
  const D2 r0 = z - n * splat(pio2_1t);
  const D2 y0 = select(none, x, r0);
  const D2 y1 = select(none, splat(0.0), (z - r0) - n * splat(pio2_1t));

  // __sin(y0, y1, iy): iy is 0 where no reduction was made.
  constexpr double S1 = -0x1.5555555555549p-3, S2 = 0x1.111111110f8a6p-7,
                   S3 = -0x1.a01a019c161d5p-13, S4 = 0x1.71de357b1fe7dp-19,
                   S5 = -0x1.ae5e68a2b9cebp-26, S6 = 0x1.5d93a5acfd57cp-33;
  const D2 zz = y0 * y0;
  const D2 ww = zz * zz;
  const D2 rs =
      (splat(S2) + zz * (splat(S3) + zz * splat(S4))) + (zz * ww) * (splat(S5) + zz * splat(S6));
  const D2 v = zz * y0;
  const D2 unreduced = y0 + v * (splat(S1) + zz * rs);
  const D2 reduced = y0 - ((zz * (splat(0.5) * y1 - v * rs) - y1) - v * splat(S1));
  const D2 s = select(none, unreduced, reduced);

  // __cos(y0, y1).
  constexpr double C1 = 0x1.555555555554cp-5, C2 = -0x1.6c16c16c15177p-10,
                   C3 = 0x1.a01a019cb159p-16, C4 = -0x1.27e4f809c52adp-22,
                   C5 = 0x1.1ee9ebdb4b1c4p-29, C6 = -0x1.8fae9be8838d4p-37;
  const D2 rc = zz * (splat(C1) + zz * (splat(C2) + zz * splat(C3))) +
                (ww * ww) * (splat(C4) + zz * (splat(C5) + zz * splat(C6)));
  const D2 hz = splat(0.5) * zz;
  const D2 w = splat(1.0) - hz;
  const D2 c = w + (((splat(1.0) - w) - hz) + (zz * rc - y0 * y1));

  // The quadrant (n & 3): 0 (s, c), 1 (c, -s), 2 or -2 (-s, -c), -1 (-c, s);
  // below 2^-27 sqrt(2) (0x3e46a09e) musl returns x and 1 untouched.
  const M2 zero = n == splat(0.0), plus = n == splat(1.0), minus = n == splat(-1.0);
  const M2 tiny = ax < splat(0x1.6a09ep-27);
  sin = select(tiny, x, select(zero, s, select(plus, c, select(minus, -c, -s))));
  cos = select(tiny, splat(1.0), select(zero, c, select(plus, -s, select(minus, s, -c))));
  return true;
}

// musl's atan for |x| below 2^66: the reduction to one of five intervals
// (by fdlibm's table of atan(0.5), atan(1), atan(1.5) and atan(inf), each
// in a high and a low part) and its polynomial. Each lane's reduced argument
// is its interval's quotient, the numerator and denominator chosen first, so
// that one division serves both lanes. False, writing nothing, when a lane
// is NaN or 2^66 or more in size.
inline bool atan(D2 x, D2& result) {
  const D2 ax = abs(x);
  if (!all(ax < splat(0x1p66))) return false;  // 0x44100000
  const M2 small = ax < splat(0x1.cp-2);       // 0x3fdc0000, 0.4375: no reduction
  const M2 id0 = ax < splat(0x1.6p-1);         // 0x3fe60000, 0.6875
  const M2 id1 = ax < splat(0x1.3p+0);         // 0x3ff30000, 1.1875
  const M2 id2 = ax < splat(0x1.38p+1);        // 0x40038000, 2.4375
  const D2 num = select(id0, splat(2.0) * ax - splat(1.0),
                        select(id1, ax - splat(1.0), select(id2, ax - splat(1.5), splat(-1.0))));
  const D2 den =
      select(id0, splat(2.0) + ax,
             select(id1, ax + splat(1.0), select(id2, splat(1.0) + splat(1.5) * ax, ax)));
  const D2 xr = select(small, x, num / den);

  constexpr double aT[] = {0x1.555555555550dp-2,  -0x1.999999998ebc4p-3, 0x1.24924920083ffp-3,
                           -0x1.c71c6fe231671p-4, 0x1.745cdc54c206ep-4,  -0x1.3b0f2af749a6dp-4,
                           0x1.10d66a0d03d51p-4,  -0x1.dde2d52defd9ap-5, 0x1.97b4b24760debp-5,
                           -0x1.2b4442c6a6c2fp-5, 0x1.0ad3ae322da11p-6};
  const D2 z = xr * xr;
  const D2 w = z * z;
  const D2 s1 =
      z * (splat(aT[0]) +
           w * (splat(aT[2]) +
                w * (splat(aT[4]) + w * (splat(aT[6]) + w * (splat(aT[8]) + w * splat(aT[10]))))));
  const D2 s2 =
      w * (splat(aT[1]) +
           w * (splat(aT[3]) + w * (splat(aT[5]) + w * (splat(aT[7]) + w * splat(aT[9])))));

  // atan(hi) + atan(lo) of the interval (atan(0.5), atan(1), atan(1.5), pi/2).
  const D2 hi =
      select(id0, splat(0x1.dac670561bb4fp-2),
             select(id1, splat(0x1.921fb54442d18p-1),
                    select(id2, splat(0x1.f730bd281f69bp-1), splat(0x1.921fb54442d18p+0))));
  const D2 lo =
      select(id0, splat(0x1.a2b7f222f65e2p-56),
             select(id1, splat(0x1.1a62633145c07p-55),
                    select(id2, splat(0x1.007887af0cbbdp-56), splat(0x1.1a62633145c07p-54))));
  const D2 reduced = hi - ((xr * (s1 + s2) - lo) - xr);
  const D2 unreduced = xr - xr * (s1 + s2);
  // Below 2^-27 (0x3e400000) musl returns x itself.
  result = select(small, select(ax < splat(0x1p-27), x, unreduced),
                  select(x < splat(0.0), -reduced, reduced));
  return true;
}

// Points i and i + 1 of the columns through a kernel below, which reads
// their inputs in its lanes and writes its results over them. False,
// writing nothing, when the kernel declines the pair.
inline bool pair(bool (*kernel)(D2 (&)[3]), std::size_t i, const Column* in,
                 const OutColumn* out) {
  const auto at = static_cast<std::ptrdiff_t>(i);
  D2 v[3];
  for (std::size_t k = 0; k < std::size(v); ++k) {
    v[k] = D2{in[k].data[at * in[k].stride], in[k].data[(at + 1) * in[k].stride]};
  }
  if (!kernel(v)) return false;
  for (std::size_t k = 0; k < std::size(v); ++k) {
    out[k].data[at * out[k].stride] = v[k][0];
    out[k].data[(at + 1) * out[k].stride] = v[k][1];
  }
  return true;
}

// place_site's E, F, G of two points (lat, lon, alt in v[0..2]), written
// over v. False, writing nothing, when a latitude is refused or an angle
// lies outside what sincos copies.
inline bool forward(D2 (&v)[3]) {
  const D2 lat = v[0], lon = v[1], alt = v[2];
  if (!all((lat >= splat(-90.0)) & (lat <= splat(90.0)))) return false;
  D2 sl, cl, so, co;
  if (!sincos(lat * DEG2RAD, sl, cl) || !sincos(lon * DEG2RAD, so, co)) return false;
  constexpr double kPolarFactor = (1.0 - WGS84_E2) * WGS84_A;
  const D2 h = alt * FEET_TO_METRES + WGS84_HEIGHT_OFFSET;
  const D2 w = sqrt(1.0 - (sl * sl) * WGS84_E2);
  v[0] = (WGS84_A * cl) / w * co + h * cl * co;
  v[1] = (WGS84_A * cl) / w * so + h * cl * so;
  v[2] = (kPolarFactor * sl) / w + h * sl;
  return true;
}

// solve_lla's lat, lon, alt of two points (E, F, G in v[0..2]), written over
// v, with its branches as selections. False, writing nothing, when either
// point is refused (q not positive) or an arc tangent's argument or the
// latitude's sine lies outside what atan and sincos copy.
inline bool reverse(D2 (&v)[3]) {
  using namespace quartic;
  const D2 E = v[0], F = v[1], G = v[2];
  const D2 p2 = F * F + E * E;
  const D2 G2 = G * G;
  D2 t = sqrt(m / (G2 + m * p2)) * (a * G);
  const D2 k2 = (G2 * c2g + c2) - p2;
  const D2 c3G = c3 * G;
  const D2 c1G = c1 * G;
  const D2 c0G2 = G2 * c0;
  const D2 dG = c3x3 * G;
  for (int pass = 0; pass < 2; ++pass) {
    const D2 t2 = t * t;
    const D2 t3 = t * t * t;
    const D2 f = c0G2 + ((t2 * k2 + (t3 * c3G + t2 * (t2 * c4))) + c1G * t);
    const D2 d = ((k2 + k2) * t + (t2 * dG + t3 * c4x4)) + c1G;
    t = select(d != 0.0, t - f / d, t);
  }
  const D2 q = (a2m - t * t) * m;
  if (!all(q > 0.0)) return false;

  // Where the scalar code takes a constant instead of an arc tangent (G or F
  // zero), the lane's argument is 0 so that it cannot send the pair away.
  const M2 equator = G == 0.0, meridian = F == 0.0;
  D2 atans[2];
  if (!atan(select(equator, splat(0.0), t / sqrt(q)), atans[0]) ||
      !atan(select(meridian, splat(0.0), E / F), atans[1])) {
    return false;
  }
  const D2 la = select(equator, splat(0.0), atans[0] * RAD2DEG);
  const D2 turned = atans[1] * RAD2DEG + 90.0;
  const D2 lo = select(meridian, select(E < 0.0, splat(180.0), splat(0.0)),
                       select(F > 0.0, 180.0 - turned, -turned));

  D2 s, c;
  if (!sincos(la * DEG2RAD, s, c)) return false;
  const D2 h = select(la == 0.0, sqrt(p2) - a, G / s - am / sqrt((s * s) * m_minus_1 + 1.0));
  v[0] = la;
  v[1] = lo;
  v[2] = (h - WGS84_HEIGHT_OFFSET) / FEET_TO_METRES;
  return true;
}

}  // namespace geoconv::detail::wide

#endif  // GEOCONV_SRC_WIDE_HPP
