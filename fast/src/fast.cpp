// geoconv::fast's dispatcher, compiled for any x86-64 processor: finds the
// processor's best level once and hands out a Mode that carries that
// level's kernels (sleef.hpp, compiled for AVX-512 and for AVX2), and the
// C functions of fast.h.

#include <geoconv/fast.h>
#include <geoconv/fast.hpp>

#include "../../geoconv/src/c_arrays.hpp"
#include "../../geoconv/src/job.hpp"

namespace geoconv::detail {
extern const KernelSet kFastAvx512Kernels;
extern const KernelSet kFastAvx2Kernels;
}  // namespace geoconv::detail

namespace geoconv::fast {

namespace {

using detail::KernelSet;

// The routines whose fast kernels are kept, where SLEEF's functions made them at least 1.5 times as fast as the
// exact arrays of the same level (docs/speed.md). With AVX-512:
// LLA84toEFG84, EFG84toLLA84, AERtoXYZ, XYZtoAER, AERtoEFG84 and EFG84toAER;
// with AVX2 (and FMA), XYZtoAER alone. AERtoLLA84 (1.4 times on a Site),
// EFG84toEFG72 (no function of SLEEF's in it), the helpers and every routine
// with SSE2 give the exact bits.
constexpr const char* kKeptAvx512[] = {"LLA84toEFG84", "EFG84toLLA84", "AERtoXYZ",
                                       "XYZtoAER",     "AERtoEFG84",   "EFG84toAER"};
constexpr const char* kKeptAvx2[] = {"XYZtoAER"};

// A level's kernels: SLEEF's where kept, else the exact kernels of the
// processor (the same bits as the point routines).
template <std::size_t kCount>
KernelSet mixed(const KernelSet& fast, const char* const (&kept)[kCount]) {
  KernelSet set = detail::exact_kernels();
  set.name = fast.name;
  for (const char* name : kept) {
    // The kernels are in the registry's order.
    if (const Routine* r = find_routine(name)) set.run[r - routines()] = fast.run[r - routines()];
  }
  return set;
}

const KernelSet& avx512() {
  // Built once; a static's initialisation is thread-safe.
  static const KernelSet set = mixed(detail::kFastAvx512Kernels, kKeptAvx512);
  return set;
}
const KernelSet& avx2() {
  static const KernelSet set = mixed(detail::kFastAvx2Kernels, kKeptAvx2);
  return set;
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
  if (level == Level::kAVX512) return Mode(&avx512());
  if (level == Level::kAVX2) return Mode(&avx2());
  return Mode::kFast;
}

Level level(Mode mode) noexcept {
  if (mode.fast_kernels() == &avx512()) return Level::kAVX512;
  if (mode.fast_kernels() == &avx2()) return Level::kAVX2;
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

// The C interface (geoconv/fast.h): the C array calls with the fast mode.
extern "C" {

size_t geoconv_fast_convert_array(int routine, size_t n, const double* const* in,
                                  const ptrdiff_t* in_stride, double* const* out,
                                  const ptrdiff_t* out_stride, unsigned char* faults) {
  return geoconv::detail::c_array(routine, false, nullptr, n, in, in_stride, out, out_stride,
                                  faults, geoconv::fast::mode());
}

size_t geoconv_fast_site_convert_array(const geoconv_site* site, int routine, size_t n,
                                       const double* const* in, const ptrdiff_t* in_stride,
                                       double* const* out, const ptrdiff_t* out_stride,
                                       unsigned char* faults) {
  return geoconv::detail::c_array(routine, true, site, n, in, in_stride, out, out_stride, faults,
                                  geoconv::fast::mode());
}

}  // extern "C"
