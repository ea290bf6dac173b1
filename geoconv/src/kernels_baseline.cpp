// The exact kernels for the processor the library is compiled for (its own
// vectors: SSE2 on x86-64, NEON on aarch64, SIMD128 in WebAssembly), and the
// one-lane instance.

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "kernels.hpp"

namespace geoconv::detail {

#if defined(__x86_64__) || defined(_M_X64)
#define GEOCONV_BASELINE_NAME "sse2"
#elif defined(__aarch64__)
#define GEOCONV_BASELINE_NAME "neon"
#elif defined(__wasm__)
#define GEOCONV_BASELINE_NAME "simd128"
#else
#define GEOCONV_BASELINE_NAME "baseline"
#endif

const KernelSet kScalarKernels = kernels::kernel_set<double, conv::Exact>("scalar");
const KernelSet kBaselineKernels =
    kernels::kernel_set<kernels::Widest, conv::Exact>(GEOCONV_BASELINE_NAME);

namespace {

// The levels from the best down; each with whether this processor runs it.
struct Level {
  const KernelSet* set;
  bool runs;
};

template <int kCount> const KernelSet* best(const Level (&levels)[kCount], const char* cap) {
  bool capped = cap == nullptr;  // no cap: the best the processor runs
  for (const Level& l : levels) {
    capped = capped || std::strcmp(cap, l.set->name) == 0;
    if (capped && l.runs) return l.set;
  }
  return &kScalarKernels;
}

const KernelSet* choose(const char* cap) {
#if defined(GEOCONV_HAVE_X86_LEVELS)
  __builtin_cpu_init();
  const Level levels[] = {
      {&kAvx512Kernels, __builtin_cpu_supports("avx512f") != 0},
      {&kAvx2Kernels, __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")},
      {&kBaselineKernels, true},
      {&kScalarKernels, true}};
#else
  const Level levels[] = {{&kBaselineKernels, true}, {&kScalarKernels, true}};
#endif
  return best(levels, cap);
}

}  // namespace

// The level in force, or null before the first call. Two threads finding it
// at once store the same pointer; no lock, so that C programs linking the
// library need no C++ runtime for a guarded static.
static std::atomic<const KernelSet*> in_force{nullptr};

const KernelSet& exact_kernels() noexcept {
  const KernelSet* set = in_force.load(std::memory_order_acquire);
  if (set == nullptr) {
#if defined(__wasm__)
    set = choose(nullptr);  // a standalone module reads no environment
#else
    set = choose(std::getenv("GEOCONV_ISA"));
#endif
    in_force.store(set, std::memory_order_release);
  }
  return *set;
}

const KernelSet* kernels_named(const char* name) noexcept {
  const KernelSet* set = choose(name);
  return std::strcmp(set->name, name) == 0 ? set : nullptr;
}

}  // namespace geoconv::detail
