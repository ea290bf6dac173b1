// The kernels of geoconv::fast, written once over a processor level's vector
// type and included by each level's source (avx512.cpp, avx2.cpp, sse2.cpp),
// which is compiled for that level and first defines Isa:
//   Isa::kWidth          doubles in a vector (at most 8)
//   Isa::V               GCC's vector of kWidth doubles
//   Isa::sincos, sin, atan, atan2, asin   SLEEF's functions with 1-ulp bounds
//                        (radians); sincos gives {sin, cos}
//   Isa::sqrt            the processor's square root, correctly rounded
//   Isa::bits(M)         a comparison's lanes as bits, lane 0 lowest
//
// The arithmetic is the exact routines' own, operation for operation and in
// their grouping, and the sources are compiled without contraction into
// fused multiply-adds: +, -, *, / and sqrt are correctly rounded in a vector
// lane as in a scalar, so everything but the sines, cosines and inverse
// tangents gives the exact mode's bits from the same operands. EFG84toLLA84
// computes its Newton passes and q from its inputs alone, so it refuses
// exactly the points the exact routine refuses.
//
// A kernel returns the lanes it cannot vouch for: every point the exact
// routine refuses (for a refusal or a zero range the exact routine itself
// decides, and so writes what it writes), an angle beyond SLEEF's reduction
// (|radians| > 1e299), and in AERtoLLA84 targets near the polar axis or deep
// inside the Earth (see there). The block loop converts those points with the
// registry's exact run().
//
// Everything here has internal linkage and calls no inline function of
// another header: a copy compiled for AVX-512 must never be the one a linker
// keeps for code that runs on a processor without it.

#ifndef GEOCONV_FAST_SRC_KERNELS_HPP
#define GEOCONV_FAST_SRC_KERNELS_HPP

#include "../../geoconv/src/internal.hpp"  // for its constants only
#include "job.hpp"

namespace geoconv::fast_detail {
namespace {

using V = Isa::V;
using M = decltype(V{} < V{});  // -1 in a lane where the comparison holds
constexpr int kWidth = Isa::kWidth;

using SinCos = Isa::SinCos;
SinCos sincosd(V d) { return Isa::sincos(d * DEG2RAD); }

// SLEEF's sine and cosine are within 1 ulp for |x| <= 1e299 rad only; beyond
// that (and for an infinity) the exact routine decides.
M beyond_reduction(V d) {
  const V x = d * DEG2RAD;
  return (x > 1e299) | (x < -1e299);
}

V select(M m, V a, V b) { return m ? a : b; }

// A placed site or one site per lane: sines and cosines of its latitude and
// longitude and its Earth-fixed position, as place_site computes them.
struct Frame {
  V sl, cl, so, co, E0, F0, G0;
};

// place_site, lane by lane: w = sqrt(1 - sl^2 e2), E = (A cl)/w co + h cl co,
// F = (A cl)/w so + h cl so, G = ((1 - e2) A sl)/w + h sl. The lanes to leave
// to the exact routine are returned: a latitude outside -90..90 (or NaN) and
// a longitude beyond SLEEF's reduction.
M place(V lat, V lon, V alt, Frame& f) {
  constexpr double kPolarFactor = (1.0 - WGS84_E2) * WGS84_A;
  const SinCos a = sincosd(lat), o = sincosd(lon);
  f.sl = a.s, f.cl = a.c, f.so = o.s, f.co = o.c;
  const V h = alt * FEET_TO_METRES + WGS84_HEIGHT_OFFSET;
  const V w = Isa::sqrt(1.0 - (f.sl * f.sl) * WGS84_E2);
  f.E0 = (WGS84_A * f.cl) / w * f.co + h * f.cl * f.co;
  f.F0 = (WGS84_A * f.cl) / w * f.so + h * f.cl * f.so;
  f.G0 = (kPolarFactor * f.sl) / w + h * f.sl;
  return ~((lat >= -90.0) & (lat <= 90.0)) | beyond_reduction(lon);
}

// Every lane x, its sign included (0.0 + x would turn -0.0 into +0.0).
V splat(double x) {
  V v;
  for (int j = 0; j < kWidth; ++j) v[j] = x;
  return v;
}

Frame placed(const Job& job) {
  return {splat(job.sl), splat(job.cl), splat(job.so), splat(job.co),
          splat(job.E0), splat(job.F0), splat(job.G0)};
}

// A target at az, el (degrees) and range (feet) from the site, to
// Earth-fixed E, F, G (m) through the rotation of SiteKernels::to_efg.
M site_to_efg(const Frame& s, V az, V el, V range, V& E, V& F, V& G) {
  const SinCos a = sincosd(az), e = sincosd(el);
  const V r = range * FEET_TO_METRES;
  const V x = a.s * (e.c * r);
  const V y = a.c * (e.c * r);
  const V z = e.s * r;
  E = (-s.so * x) - (s.co * s.sl * y) + (s.co * s.cl * z) + s.E0;
  F = (s.co * x) - (s.so * s.sl * y) + (s.so * s.cl * z) + s.F0;
  G = (s.cl * y) + (s.sl * z) + s.G0;
  return beyond_reduction(az) | beyond_reduction(el);
}

// solve_lla, lane by lane: two Newton passes on the quartic in the foot
// point's G coordinate t, q = (a^2 m - t^2) m, then latitude, longitude and
// altitude with its rules for G = 0, F = 0 and a latitude of 0. Lanes where
// q is not positive (or NaN) are returned; the exact routine refuses them.
// q_out gets q and r2 the squared distance from the centre (m^2).
M solve(V E, V F, V G, V& lat, V& lon, V& alt, V& q_out, V& r2) {
  using namespace detail::conv::quartic;
  const V p2 = F * F + E * E;
  const V G2 = G * G;
  V t = Isa::sqrt(m / (G2 + m * p2)) * (a * G);
  const V k2 = (G2 * c2g + c2) - p2;
  const V c3G = c3 * G;
  const V c1G = c1 * G;
  const V c0G2 = G2 * c0;
  const V dG = c3x3 * G;
  for (int pass = 0; pass < 2; ++pass) {
    const V t2 = t * t;
    const V t3 = t * t * t;
    const V f = c0G2 + ((t2 * k2 + (t3 * c3G + t2 * (t2 * c4))) + c1G * t);
    const V d = ((k2 + k2) * t + (t2 * dG + t3 * c4x4)) + c1G;
    t = select(d != 0.0, t - f / d, t);  // d = 0 in the equatorial plane keeps t
  }
  const V q = (a2m - t * t) * m;
  const V zero{};
  const V la = select(G == 0.0, zero, Isa::atan(t / Isa::sqrt(q)) * RAD2DEG);

  const V v = Isa::atan(E / F) * RAD2DEG + 90.0;
  lon = select(F == 0.0, select(E < 0.0, zero + 180.0, zero), select(F > 0.0, 180.0 - v, -v));

  const V s = Isa::sin(la * DEG2RAD);
  const V h = select(la == 0.0, Isa::sqrt(p2) - a,
                     G / s - am / Isa::sqrt(s * s * m_minus_1 + 1.0));
  lat = la;
  alt = (h - WGS84_HEIGHT_OFFSET) / FEET_TO_METRES;
  q_out = q;
  r2 = p2 + G2;
  return ~(q > 0.0);
}

// AERtoLLA84's target comes from SLEEF's sines and cosines, so its E, F, G
// (and q) differ from the exact routine's in the last bits, and on the polar
// axis that decides whether q is positive. A target whose q is below
// kAxisMargin (within about 2 m of the axis; the two modes' q differ by a
// few hundredths of a square metre there) goes to the exact routine, as does
// one within kDeep of the centre, where the two passes run away and no
// margin holds; so both modes refuse the same targets.
constexpr double kAxisMargin = 4.0;    // m^2
constexpr double kDeep = 2.0e6;        // m
M near_axis_or_deep(V q, V r2) { return (q < kAxisMargin) | (r2 < kDeep * kDeep); }

// site_to_aer of SiteKernels::to_aer: the difference rotated into east, north
// and up, range in feet, azimuth by atan2 (plus 360 when negative) and
// elevation by atan, with its rules on the site's vertical.
void site_to_aer(const Frame& s, V E, V F, V G, V& az, V& el, V& range) {
  const V dE = E - s.E0, dF = F - s.F0, dG = G - s.G0;
  const V east = dE * (-s.so) + dF * s.co;
  const V north = dE * (-s.co * s.sl) + dF * (-s.so * s.sl) + dG * s.cl;
  const V up = dE * (s.co * s.cl) + dF * (s.so * s.cl) + dG * s.sl;
  range = Isa::sqrt(east * east + north * north + up * up) / FEET_TO_METRES;
  const V hz = Isa::sqrt(east * east + north * north);
  const V zero{};
  const V a = Isa::atan2(east, north) * RAD2DEG;
  const V e = Isa::atan(up / hz) * RAD2DEG;
  az = select(hz != 0.0, select(a < 0.0, a + 360.0, a), zero);
  el = select((hz != 0.0) | (up != 0.0), e, zero);
}

// --- the block loop ---------------------------------------------------------

V load(const Column& c, std::size_t i, int lanes) {
  V v;
  if (c.stride == 1 && lanes == kWidth) {
    __builtin_memcpy(&v, c.data + i, sizeof v);
    return v;
  }
  // Gathered; lanes past the end repeat the first point, whose results are
  // never written.
  for (int j = 0; j < kWidth; ++j) {
    v[j] = c.data[static_cast<std::ptrdiff_t>(i + static_cast<std::size_t>(j < lanes ? j : 0)) *
                  c.stride];
  }
  return v;
}

// Converts the job's points kWidth at a time: body(in, out) computes a
// block's three results from its `inputs` columns and returns the lanes to
// leave to the exact routine, which converts those points one by one from
// the same inputs (and writes what the exact loop writes). All of a block's
// inputs are read before any of its outputs is written, so a conversion may
// be done in place.
template <int inputs, class Body>
std::size_t blocks(const Job& job, Body body) {
  const bool contiguous = job.out[0].stride == 1 && job.out[1].stride == 1 &&
                          job.out[2].stride == 1;
  std::size_t failed = 0;
  for (std::size_t i = 0; i < job.n; i += kWidth) {
    const std::size_t left = job.n - i;
    const int lanes = left < kWidth ? static_cast<int>(left) : kWidth;
    V in[inputs], out[3];
    for (int k = 0; k < inputs; ++k) in[k] = load(job.in[k], i, lanes);
    const unsigned exact = body(in, out) & ((1u << lanes) - 1u);
    if (exact == 0 && lanes == kWidth && contiguous) {
      for (int k = 0; k < 3; ++k) __builtin_memcpy(job.out[k].data + i, &out[k], sizeof(V));
      if (job.faults != nullptr) {
        for (int j = 0; j < kWidth; ++j) job.faults[i + static_cast<std::size_t>(j)] = Fault::kNone;
      }
      continue;
    }
    for (int j = 0; j < lanes; ++j) {
      const std::size_t point = i + static_cast<std::size_t>(j);
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(point);
      double result[3] = {out[0][j], out[1][j], out[2][j]};
      Fault f = Fault::kNone;
      if ((exact >> j) & 1u) {
        double a[6];
        for (int k = 0; k < inputs; ++k) a[k] = in[k][j];
        f = job.site != nullptr ? job.routine->run_on_site(*job.site, a, result)
                                : job.routine->run(a, result);
      }
      // As in the exact loop: a failing point's outputs stay as they were,
      // but for a zero range, whose outputs hand back the site.
      if (f == Fault::kNone || f == Fault::kRange) {
        for (int k = 0; k < 3; ++k) job.out[k].data[at * job.out[k].stride] = result[k];
      }
      if (job.faults != nullptr) job.faults[point] = f;
      failed += f != Fault::kNone;
    }
  }
  return failed;
}

// --- the kernels ------------------------------------------------------------

std::size_t lla84_to_efg84(const Job& job) {
  return blocks<3>(job, [](const V* in, V* out) {
    Frame f;
    const M exact = place(in[0], in[1], in[2], f);
    out[0] = f.E0, out[1] = f.F0, out[2] = f.G0;
    return Isa::bits(exact);
  });
}

std::size_t efg84_to_lla84(const Job& job) {
  return blocks<3>(job, [](const V* in, V* out) {
    V q, r2;
    return Isa::bits(solve(in[0], in[1], in[2], out[0], out[1], out[2], q, r2));
  });
}

// AERtoXYZ: z = sind(el) range, y = cosd(az) (cosd(el) range),
// x = sind(az) (cosd(el) range).
std::size_t aer_to_xyz(const Job& job) {
  return blocks<3>(job, [](const V* in, V* out) {
    const SinCos a = sincosd(in[0]), e = sincosd(in[1]);
    const V horizontal = e.c * in[2];
    out[2] = e.s * in[2];
    out[1] = a.c * horizontal;
    out[0] = a.s * horizontal;
    return Isa::bits(beyond_reduction(in[0]) | beyond_reduction(in[1]));
  });
}

// XYZtoAER: range = sqrt(x^2 + y^2 + z^2), el = asind(z / range) (0 at the
// origin), and the azimuth decided by y alone: 90, 270 or 0 on y = 0, else
// atand(x / y), plus 180 when y < 0.
std::size_t xyz_to_aer(const Job& job) {
  return blocks<3>(job, [](const V* in, V* out) {
    const V x = in[0], y = in[1], z = in[2], zero{};
    const V r = Isa::sqrt(x * x + y * y + z * z);
    const V a = Isa::atan(x / y) * RAD2DEG;
    const V on_axis = select(x > 0.0, zero + 90.0, select(x < 0.0, zero + 270.0, zero));
    out[0] = select(y == 0.0, on_axis, select(y < 0.0, a + 180.0, a));
    out[1] = select(r == 0.0, zero, Isa::asin(z / r) * RAD2DEG);
    out[2] = r;
    return 0u;
  });
}

// EFG84toEFG72: E72 = (e c + f n)/s, F72 = ((-e) n + f c)/s, G72 = g/s with
// the rotation's sine n and cosine c from the job (the platform's, as the
// exact routine's): no SLEEF function, so the exact routine's bits.
std::size_t efg84_to_efg72(const Job& job) {
  using namespace detail::conv::datum;
  const double n = job.sl, c = job.cl;
  return blocks<3>(job, [n, c](const V* in, V* out) {
    const V e = in[0] - kShiftE, f = in[1] - kShiftF, g = in[2] - kShiftG;
    const double s = 1.0 + kScale;
    out[0] = (e * c + f * n) / s;
    out[1] = ((-e) * n + f * c) / s;
    out[2] = g / s;
    return 0u;
  });
}

// The site routines on a placed site (valid: the dispatcher declines an
// invalid one) and with a site per point (lanes 3 to 5).
std::size_t aer_to_efg84_placed(const Job& job) {
  const Frame s = placed(job);
  return blocks<3>(job, [&s](const V* in, V* out) {
    return Isa::bits(site_to_efg(s, in[0], in[1], in[2], out[0], out[1], out[2]));
  });
}
std::size_t aer_to_efg84_per_point(const Job& job) {
  return blocks<6>(job, [](const V* in, V* out) {
    Frame s;
    const M exact = place(in[3], in[4], in[5], s);
    return Isa::bits(exact | site_to_efg(s, in[0], in[1], in[2], out[0], out[1], out[2]));
  });
}

// AERtoLLA84: a zero range (checked first) hands back the site through the
// exact routine; the rest as AERtoEFG84, then EFG84toLLA84.
M aer_to_lla84(const Frame& s, const V* in, V* out) {
  V E, F, G, q, r2;
  M exact = (in[2] == 0.0) | site_to_efg(s, in[0], in[1], in[2], E, F, G);
  exact |= solve(E, F, G, out[0], out[1], out[2], q, r2);
  return exact | near_axis_or_deep(q, r2);
}
std::size_t aer_to_lla84_placed(const Job& job) {
  const Frame s = placed(job);
  return blocks<3>(job, [&s](const V* in, V* out) { return Isa::bits(aer_to_lla84(s, in, out)); });
}
std::size_t aer_to_lla84_per_point(const Job& job) {
  return blocks<6>(job, [](const V* in, V* out) {
    Frame s;
    const M exact = place(in[3], in[4], in[5], s);
    return Isa::bits(exact | aer_to_lla84(s, in, out));
  });
}

std::size_t efg84_to_aer_placed(const Job& job) {
  const Frame s = placed(job);
  return blocks<3>(job, [&s](const V* in, V* out) {
    site_to_aer(s, in[0], in[1], in[2], out[0], out[1], out[2]);
    return 0u;
  });
}
std::size_t efg84_to_aer_per_point(const Job& job) {
  return blocks<6>(job, [](const V* in, V* out) {
    Frame s;
    const M exact = place(in[3], in[4], in[5], s);
    site_to_aer(s, in[0], in[1], in[2], out[0], out[1], out[2]);
    return Isa::bits(exact);
  });
}

// In the order of enum Kernel.
constexpr KernelSet kKernels = {{lla84_to_efg84, efg84_to_lla84, aer_to_xyz, xyz_to_aer,
                                 efg84_to_efg72, aer_to_efg84_placed, aer_to_lla84_placed,
                                 efg84_to_aer_placed, aer_to_efg84_per_point,
                                 aer_to_lla84_per_point, efg84_to_aer_per_point}};

}  // namespace
}  // namespace geoconv::fast_detail

#endif  // GEOCONV_FAST_SRC_KERNELS_HPP
