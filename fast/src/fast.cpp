// geoconv::fast's dispatcher, compiled for any x86-64 processor: finds the
// processor's best level once and hands out a Mode that carries AVX-512's
// kernels (sleef.hpp, compiled for it) where the processor has it.

#include <geoconv/fast.hpp>

#include "../../geoconv/src/job.hpp"

namespace geoconv::detail {
extern const KernelSet kFastAvx512Kernels;
}  // namespace geoconv::detail

namespace geoconv::fast {

namespace {

using detail::KernelSet;

// The routines (by their place in the registry) whose fast kernels are
// kept, where SLEEF's functions made them at least 1.5 times as fast as the
// exact arrays on the same processor (docs/speed.md): LLA84toEFG84,
// EFG84toLLA84, AERtoXYZ, XYZtoAER, AERtoEFG84 and EFG84toAER, with AVX-512.
// With AVX2 or SSE2 no routine gained that much, nor did AERtoLLA84 (1.4
// times on a Site), EFG84toEFG72 (no function of SLEEF's in it) or the
// helpers: they give the exact bits.
constexpr bool kKept[detail::kKernelCount] = {false, false, false, false, false, false,
                                              false, false, false, true,  true,  true,
                                              true,  false, true,  true,  false, false};

// AVX-512's kernels: SLEEF's where kept, else the exact kernels of the
// processor (the same bits as the point routines).
const KernelSet& avx512() {
  // Built once; a static's initialisation is thread-safe.
  static const KernelSet mixed = [] {
    KernelSet set = detail::exact_kernels();
    set.name = detail::kFastAvx512Kernels.name;
    for (int k = 0; k < detail::kKernelCount; ++k) {
      if (kKept[k]) set.run[k] = detail::kFastAvx512Kernels.run[k];
    }
    return set;
  }();
  return mixed;
}

}  // namespace

Level best_level() noexcept {
  static const Level best = [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return Level::kAVX512;
    // SLEEF's AVX2 functions use FMA as well.
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Level::kAVX2;
    return Level::kSSE2;
  }();
  return best;
}

Mode mode(Level cap) noexcept {
  const Level level = cap < best_level() ? cap : best_level();
  return level == Level::kAVX512 ? Mode(&avx512()) : Mode(Mode::kFast);
}

Level level(Mode mode) noexcept {
  return mode.fast_kernels() == &avx512() ? Level::kAVX512 : Level::kScalar;
}

const char* name(Level level) noexcept {
  switch (level) {
    case Level::kScalar: return "scalar";
    case Level::kSSE2: return "sse2";
    case Level::kAVX2: return "avx2";
    case Level::kAVX512: return "avx512";
  }
  return "";
}

}  // namespace geoconv::fast
