// What the array dispatcher (arrays.cpp) hands a processor level's kernels
// (kernels.hpp, compiled once per level): the points' columns, where the
// results and faults go, and a placed site. Plain data only: this header is
// shared by code compiled with every level's flags.

#ifndef GEOCONV_SRC_JOB_HPP
#define GEOCONV_SRC_JOB_HPP

#include <geoconv/registry.hpp>

#include <cstddef>

namespace geoconv::detail {

struct Job {
  std::size_t n;
  const Column* in;      // the point's columns, then a per-point site's three
  const OutColumn* out;  // one per output
  Fault* faults;         // may be null
  // A site routine on one site placed once for the whole call (a Site, or one
  // site repeated by a stride of 0): its frame, whether its latitude was
  // accepted, and its coordinates as given (a zero range hands them back).
  bool placed;
  bool valid;
  double sl, cl, so, co, E0, F0, G0;
  double lat, lon, alt;
  // Points an approximate kernel cannot vouch for go through this routine's
  // exact run(), or run_on_site() on *site when one is given.
  const Routine* routine;
  const Site* site;
};

using KernelFn = std::size_t (*)(const Job& job);

// The names a routine's list of refusals uses, and what a generic site
// routine's list says: how many numbers it takes or gives, and the fault its
// own refusals give (the one after the site's kLatitude; kNone for none).
namespace fault_names {
constexpr Fault kLatitude = Fault::kLatitude, kSolve = Fault::kSolve, kRange = Fault::kRange,
                kAtSite = Fault::kAtSite;
}
template <class... T> constexpr int count_of(T...) { return static_cast<int>(sizeof...(T)); }
constexpr Fault own_fault(Fault /*site*/, Fault own = Fault::kNone) { return own; }
#define GEOCONV_ONE(n, u) 1

// One kernel per routine, in the registry's order (null for a routine
// without one, which the dispatcher converts point by point).
constexpr int kKernelCount = 0
#define GEOCONV_HELPER(...) +1
#define GEOCONV_HELPER2(...) +1
#define GEOCONV_CONVERSION(...) +1
#define GEOCONV_SITE_CONVERSION(...) +1
#define GEOCONV_SPLIT(...) +1
#define GEOCONV_SITE_ROUTINE(...) +1
#include <geoconv/routines.def>
    ;
struct KernelSet {
  const char* name;  // "avx512", "avx2", "sse2", "neon", "simd128", "scalar", ...
  int lanes;         // doubles a kernel converts at once
  KernelFn run[kKernelCount];
};

// The exact kernels of each level the library was built with: the one-lane
// instance and the baseline (the target's own vectors) everywhere; on x86-64
// with GCC or clang, AVX2 (with FMA) and AVX-512 too. Call a level's only
// where the processor has it.
extern const KernelSet kScalarKernels;
extern const KernelSet kBaselineKernels;
#if defined(GEOCONV_HAVE_X86_LEVELS)
extern const KernelSet kAvx2Kernels;
extern const KernelSet kAvx512Kernels;
#endif

// The best exact kernels this processor runs, found once (thread-safe), at
// most the level named by the environment variable GEOCONV_ISA
// ("avx512", "avx2", "sse2", "scalar" on x86-64) when it is set.
const KernelSet& exact_kernels() noexcept;

// A level's kernels if the library has them and the processor runs them,
// else null: for tests that compare every level with one lane.
const KernelSet* kernels_named(const char* name) noexcept;

}  // namespace geoconv::detail

#endif  // GEOCONV_SRC_JOB_HPP
