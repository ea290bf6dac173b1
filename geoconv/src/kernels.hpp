// The array kernels: each routine of conversions.hpp over a whole column of
// points, a lane width at a time. Included by each processor level's source
// (kernels_*.cpp), which is compiled for that level, and instantiated with
// the level's widest lanes; the one-lane instance comes from the baseline's.
// Every function here lives in that level's namespace (math/level.hpp).
//
// A kernel computes every lane and a fault code per lane; a refused point's
// outputs stay as they were (but for a zero range, whose outputs hand back
// the site), as the point routines leave them. An approximate set of
// functions (geoconv::fast) may also mark a lane kRedo: that point goes
// through the registry's exact run() instead.

#ifndef GEOCONV_SRC_KERNELS_HPP
#define GEOCONV_SRC_KERNELS_HPP

#include <cstring>
#include <type_traits>

#include "conversions.hpp"
#include "job.hpp"

#include "math/begin.hpp"

GEOCONV_LEVEL_BEGIN(kernels)

using conv::Mask;
using conv::select;
using conv::splat;

// A lane's fault code (a Fault), or kRedo.
constexpr std::int64_t kRedo = 255;

template <class V> using Codes = typename math::Lanes<V>::I;

template <class V> Codes<V> code(Mask<V> where, std::int64_t fault, Codes<V> elsewhere) {
  using L = math::Lanes<V>;
  return L::iselect(where, L::isplat(fault), elsewhere);
}
template <class V> Codes<V> none() { return math::Lanes<V>::isplat(0); }

// Points i .. i + lanes - 1 of a column; lanes past the end repeat point i,
// whose results for them are never written.
template <class V> GEOCONV_MATH_INLINE V load(const Column& c, std::size_t i, int lanes) {
  using L = math::Lanes<V>;
  if (c.stride == 1 && lanes == L::kCount) return L::load(c.data + i);
  const auto at = static_cast<std::ptrdiff_t>(i);
  return L::make([&](int j) { return c.data[(at + (j < lanes ? j : 0)) * c.stride]; });
}

// Converts the job's points a block of lanes at a time: body(in, out)
// computes a block's results from its kIn input columns and returns the
// lanes' codes. All of a block's inputs are read before any of its outputs is
// written, so a conversion may be done in place.
template <class V, int kIn, int kOut, class Body>
std::size_t blocks(const Job& job, Body body) {
  using L = math::Lanes<V>;
  constexpr int kWidth = L::kCount;
  bool contiguous = true;
  for (int k = 0; k < kOut; ++k) contiguous = contiguous && job.out[k].stride == 1;
  std::size_t failed = 0;
  for (std::size_t i = 0; i < job.n; i += kWidth) {
    const std::size_t left = job.n - i;
    const int lanes = left < kWidth ? static_cast<int>(left) : kWidth;
    V in[kIn], out[kOut];
    for (int k = 0; k < kIn; ++k) in[k] = load<V>(job.in[k], i, lanes);
    const Codes<V> codes = body(in, out);
    if (lanes == kWidth && contiguous && !L::any(codes != 0)) {
      for (int k = 0; k < kOut; ++k) std::memcpy(job.out[k].data + i, &out[k], sizeof(V));
      if (job.faults != nullptr) std::memset(job.faults + i, 0, kWidth * sizeof(Fault));
      continue;
    }
    for (int j = 0; j < lanes; ++j) {
      const std::size_t point = i + static_cast<std::size_t>(j);
      const auto at = static_cast<std::ptrdiff_t>(point);
      double result[kOut];
      for (int k = 0; k < kOut; ++k) result[k] = L::get(out[k], j);
      std::int64_t c = L::iget(codes, j);
      if (c == kRedo) {
        double a[kIn];
        for (int k = 0; k < kIn; ++k) a[k] = L::get(in[k], j);
        c = static_cast<std::int64_t>(job.site != nullptr ? job.routine->run_on_site(*job.site, a, result)
                                                          : job.routine->run(a, result));
      }
      const auto f = static_cast<Fault>(c);
      if (f == Fault::kNone || f == Fault::kRange) {
        for (int k = 0; k < kOut; ++k) job.out[k].data[at * job.out[k].stride] = result[k];
      }
      if (job.faults != nullptr) job.faults[point] = f;
      failed += f != Fault::kNone;
    }
  }
  return failed;
}

// What a set of functions cannot vouch for: nothing for the exact ones. An
// approximate set says which angles (degrees) it reduces badly and which
// solutions of EFG84toLLA84 (by q, m^2, and the squared distance from the
// centre, m^2) may be refused differently from the exact routine's.
template <class Fn, class V> Mask<V> unsure_angle(V d) {
  if constexpr (Fn::kApproximate) return Fn::unsure_angle(d);
  return Mask<V>{};  // no lane
}
template <class Fn, class V> Mask<V> unsure_solution(V q, V r2) {
  if constexpr (Fn::kApproximate) return Fn::unsure_solution(q, r2);
  return Mask<V>{};
}
template <class V> Codes<V> redo_where(Mask<V> m, Codes<V> codes) { return code<V>(m, kRedo, codes); }

// --- the kernels -------------------------------------------------------------

template <class V, class Fn, V (*f)(V)> std::size_t helper(const Job& job) {
  return blocks<V, 1, 1>(job, [](const V* in, V* out) {
    out[0] = f(in[0]);
    return none<V>();
  });
}

template <class V, class Fn> std::size_t atan2d(const Job& job) {
  return blocks<V, 2, 1>(job, [](const V* in, V* out) {
    out[0] = conv::atan2d<Fn>(in[0], in[1]);
    return none<V>();
  });
}

template <class V, class Fn> std::size_t LLA84toEFG84(const Job& job) {
  return blocks<V, 3, 3>(job, [](const V* in, V* out) {
    conv::Frame<V> s;
    const Mask<V> refused = conv::place<Fn>(in[0], in[1], in[2], s);
    out[0] = s.E0, out[1] = s.F0, out[2] = s.G0;
    return redo_where<V>(unsure_angle<Fn>(in[1]), code<V>(refused, 1, none<V>()));
  });
}

template <class V, class Fn> std::size_t EFG84toLLA84(const Job& job) {
  return blocks<V, 3, 3>(job, [](const V* in, V* out) {
    V q;
    const Mask<V> refused = conv::solve<Fn>(in[0], in[1], in[2], out[0], out[1], out[2], q);
    return code<V>(refused, 2, none<V>());
  });
}

template <class V, class Fn> std::size_t AERtoXYZ(const Job& job) {
  return blocks<V, 3, 3>(job, [](const V* in, V* out) {
    conv::aer_to_xyz<Fn>(in[0], in[1], in[2], out[0], out[1], out[2]);
    const Mask<V> unsure = conv::either<V>(unsure_angle<Fn>(in[0]), unsure_angle<Fn>(in[1]));
    return redo_where<V>(unsure, none<V>());
  });
}

template <class V, class Fn> std::size_t XYZtoAER(const Job& job) {
  return blocks<V, 3, 3>(job, [](const V* in, V* out) {
    conv::xyz_to_aer<Fn>(in[0], in[1], in[2], out[0], out[1], out[2]);
    return none<V>();
  });
}

// The site routines: on the job's placed site, or on one per point (the
// input columns after the point's). The site's codes: kLatitude where it was
// refused.
template <class V, class Fn, bool kPlaced>
Codes<V> site_of(const Job& job, const V* in, conv::Frame<V>& s) {
  if constexpr (kPlaced) {
    s = {splat<V>(job.sl), splat<V>(job.cl), splat<V>(job.so), splat<V>(job.co),
         splat<V>(job.E0), splat<V>(job.F0), splat<V>(job.G0)};
    return math::Lanes<V>::isplat(job.valid ? 0 : 1);
  } else {
    const Mask<V> refused = conv::place<Fn>(in[0], in[1], in[2], s);
    return redo_where<V>(unsure_angle<Fn>(in[1]), code<V>(refused, 1, none<V>()));
  }
}

// The site's latitude, longitude (degrees) or altitude (feet) as given: k = 0, 1, 2.
template <class V, bool kPlaced> V given(const Job& job, const V* in, int k) {
  if constexpr (kPlaced) {
    return splat<V>(k == 0 ? job.lat : k == 1 ? job.lon : job.alt);
  } else {
    return in[3 + k];
  }
}

// body(placed, frame, site's codes, in, out), placed a std::bool_constant,
// for a routine of kIn numbers in and kOut out.
template <class V, class Fn, class Body, int kIn = 3, int kOut = 3>
std::size_t on_site(const Job& job, Body body) {
  if (job.placed) {
    return blocks<V, kIn, kOut>(job, [&job, &body](const V* in, V* out) {
      conv::Frame<V> s;
      const Codes<V> site = site_of<V, Fn, true>(job, in + kIn, s);
      return body(std::true_type{}, s, site, in, out);
    });
  }
  return blocks<V, kIn + 3, kOut>(job, [&job, &body](const V* in, V* out) {
    conv::Frame<V> s;
    const Codes<V> site = site_of<V, Fn, false>(job, in + kIn, s);
    return body(std::false_type{}, s, site, in, out);
  });
}

template <class V, class Fn> std::size_t AERtoEFG84(const Job& job) {
  return on_site<V, Fn>(job, [](auto, const conv::Frame<V>& s, Codes<V> site, const V* in, V* out) {
    conv::site_to_efg<Fn>(s, in[0], in[1], in[2], out[0], out[1], out[2]);
    const Mask<V> unsure = conv::either<V>(unsure_angle<Fn>(in[0]), unsure_angle<Fn>(in[1]));
    return redo_where<V>(unsure, site);
  });
}

// A zero range (checked first) hands back the site as given; then a refused
// site; then the solution's own refusal.
template <class V, class Fn> std::size_t AERtoLLA84(const Job& job) {
  return on_site<V, Fn>(job, [&job](auto placed, const conv::Frame<V>& s, Codes<V> site,
                                    const V* in, V* out) {
    using L = math::Lanes<V>;
    constexpr bool kPlaced = decltype(placed)::value;
    V E, F, G, q;
    conv::site_to_efg<Fn>(s, in[0], in[1], in[2], E, F, G);
    const Mask<V> refused = conv::solve<Fn>(E, F, G, out[0], out[1], out[2], q);
    Codes<V> codes = L::iselect(site != 0, site, code<V>(refused, 2, none<V>()));
    const Mask<V> zero = in[2] == 0.0;
    for (int k = 0; k < 3; ++k) out[k] = select<V>(zero, given<V, kPlaced>(job, in, k), out[k]);
    codes = code<V>(zero, 3, codes);
    // An approximate target decides q differently near the axis and deep
    // inside the Earth: there the exact routine decides.
    const V r2 = (E * E + F * F) + G * G;
    Mask<V> unsure = conv::either<V>(unsure_angle<Fn>(in[0]), unsure_angle<Fn>(in[1]));
    unsure = conv::either<V>(unsure, unsure_solution<Fn>(q, r2));
    return redo_where<V>(conv::both<V>(unsure, conv::negated<V>(zero)), codes);
  });
}

template <class V, class Fn> std::size_t EFG84toAER(const Job& job) {
  return on_site<V, Fn>(job, [](auto, const conv::Frame<V>& s, Codes<V> site, const V* in, V* out) {
    conv::site_to_aer<Fn>(s, in[0], in[1], in[2], out[0], out[1], out[2]);
    return site;
  });
}

// The rotation's sine and cosine by the library's own functions whatever Fn
// is, as the point routine takes them.
template <class V, class Fn> std::size_t EFG84toEFG72(const Job& job) {
  const double n = conv::Exact::sin(conv::datum::kRotation);
  const double c = conv::Exact::cos(conv::datum::kRotation);
  return blocks<V, 3, 3>(job, [n, c](const V* in, V* out) {
    conv::efg84_to_efg72(in[0], in[1], in[2], n, c, out[0], out[1], out[2]);
    return none<V>();
  });
}

// A site routine made from its entry alone: its arithmetic f (a template of
// conversions.hpp) on the site's frame, a refused site first, then f's own
// refusal (fault kOwn). An approximate set of functions gives its exact
// bits: no such routine has a fast kernel.
template <class V, class Fn, int kIn, int kOut, Fault kOwn,
          Mask<V> (*f)(const conv::Frame<V>&, const V*, V*)>
std::size_t site_routine(const Job& job) {
  auto body = [](auto, const conv::Frame<V>& s, Codes<V> site, const V* in, V* out) {
    const Mask<V> refused = f(s, in, out);
    return math::Lanes<V>::iselect(site != 0, site,
                                   code<V>(refused, static_cast<std::int64_t>(kOwn), none<V>()));
  };
  return on_site<V, Fn, decltype(body), kIn, kOut>(job, body);
}

// Each routine's kernel, in the registry's order: a helper's by its
// function over lanes, the others by their names above (DEGtoDMS has none).
template <class V, class Fn> constexpr KernelSet kernel_set(const char* name) {
  using namespace geoconv::detail::fault_names;
  return {name,
          math::Lanes<V>::kCount,
          {
#define GEOCONV_HELPER(routine, ...) helper<V, Fn, conv::routine<Fn, V>>,
#define GEOCONV_HELPER2(routine, ...) routine<V, Fn>,
#define GEOCONV_CONVERSION(routine, ...) routine<V, Fn>,
#define GEOCONV_SITE_CONVERSION(routine, ...) routine<V, Fn>,
#define GEOCONV_SPLIT(routine, ...) nullptr,
#define GEOCONV_SITE_ROUTINE(routine, command, refusals, summary, inputs, outputs, example) \
  site_routine<V, Fn, count_of(GEOCONV_EACH(GEOCONV_ONE, inputs)),                        \
               count_of(GEOCONV_EACH(GEOCONV_ONE, outputs)),                              \
               own_fault(GEOCONV_UNPAREN refusals), conv::routine<Fn, V>>,
#include <geoconv/routines.def>
          }};
}

// The lanes the level's source converts with: its widest vectors, and two
// SIMD128 vectors in WebAssembly (whose engines interleave the pair: 0.8 of
// one vector's time for EFG84toLLA84).
#if defined(__AVX512F__)
using Widest = math::V8;
#elif defined(__AVX__)
using Widest = math::V4;
#elif defined(__wasm_simd128__)
using Widest = math::V4;
#elif defined(__SSE2__) || defined(__ARM_NEON) || defined(__VEC__)
using Widest = math::V2;
#else
using Widest = double;
#endif

GEOCONV_LEVEL_END  // kernels

#include "math/end.hpp"

#endif  // GEOCONV_SRC_KERNELS_HPP
