// geoconv::fast's dispatcher, compiled for any x86-64 processor: finds the
// processor's best level once and hands out a Mode that carries that level's
// kernels (sleef.hpp, compiled once per level).

#include <geoconv/fast.hpp>

#include "../../geoconv/src/job.hpp"

namespace geoconv::detail {
extern const KernelSet kFastAvx512Kernels;
extern const KernelSet kFastAvx2Kernels;
extern const KernelSet kFastSse2Kernels;
}  // namespace geoconv::detail

namespace geoconv::fast {

namespace {

using detail::KernelSet;

// The routines (by their place in the registry) whose fast kernels are
// kept: LLA84toEFG84 to EFG84toAER, where SLEEF's functions are at least
// 1.5 times as fast as the exact kernels (docs/speed.md). The helpers,
// EFG84toEFG72 (no function of SLEEF's in it) and DEGtoDMS are exact.
constexpr int kFirstKept = 9, kLastKept = 15;

// A level's kernels: SLEEF's where kept, else the exact kernels of the
// processor (the same bits as the point routines).
struct Levels {
  KernelSet avx512, avx2, sse2;
};

KernelSet mixed(const KernelSet& fast) {
  KernelSet set = detail::exact_kernels();
  set.name = fast.name;
  for (int k = kFirstKept; k <= kLastKept; ++k) set.run[k] = fast.run[k];
  return set;
}

const Levels& levels() {
  // Built once; a static's initialisation is thread-safe.
  static const Levels built{mixed(detail::kFastAvx512Kernels), mixed(detail::kFastAvx2Kernels),
                            mixed(detail::kFastSse2Kernels)};
  return built;
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
  switch (level) {
    case Level::kAVX512: return Mode(&levels().avx512);
    case Level::kAVX2: return Mode(&levels().avx2);
    case Level::kSSE2: return Mode(&levels().sse2);
    case Level::kScalar: break;
  }
  return Mode::kExact;
}

Level level(Mode mode) noexcept {
  const KernelSet* set = mode.fast_kernels();
  if (set == &levels().avx512) return Level::kAVX512;
  if (set == &levels().avx2) return Level::kAVX2;
  if (set == &levels().sse2) return Level::kSSE2;
  return Level::kScalar;
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
