// geoconv::fast's dispatcher, compiled for any x86-64 processor: picks the
// processor level once, matches a routine to its kernel and hands the points
// over, or declines to the exact loop (the helpers, DEGtoDMS, an invalid
// site, or no vector level at all).

#include <geoconv/fast.hpp>
#include <geoconv/registry.hpp>

#include <atomic>
#include <initializer_list>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "../../geoconv/src/internal.hpp"
#include "job.hpp"

namespace geoconv::fast {

namespace {

// The level in force, or -1 before the first use. Finding it twice at once
// is harmless: both threads store the same value.
std::atomic<int> in_force{-1};

Level capped(Level wanted) {
  const Level best = best_level();
  return wanted < best ? wanted : best;
}

}  // namespace

Level best_level() noexcept {
  if (__builtin_cpu_supports("avx512f")) return Level::kAVX512;
  // SLEEF's AVX2 functions use FMA as well.
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Level::kAVX2;
  return Level::kSSE2;
}

Level level() noexcept {
  int now = in_force.load(std::memory_order_relaxed);
  if (now < 0) {
    Level wanted = Level::kAVX512;
    if (const char* text = std::getenv("GEOCONV_FAST_ISA")) {
      for (Level l : {Level::kScalar, Level::kSSE2, Level::kAVX2, Level::kAVX512}) {
        if (std::strcmp(text, name(l)) == 0) wanted = l;
      }
    }
    now = static_cast<int>(capped(wanted));
    in_force.store(now, std::memory_order_relaxed);
  }
  return static_cast<Level>(now);
}

Level use_level(Level wanted) noexcept {
  const Level now = capped(wanted);
  in_force.store(static_cast<int>(now), std::memory_order_relaxed);
  return now;
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

namespace geoconv::fast_detail {

namespace {

constexpr std::size_t kDeclined = detail::FastTable::kDeclined;

// A placed site's frame: the public degree helpers give the very bits the
// Site computed, so the kernels rotate with the exact routine's frame.
std::size_t on_site(const KernelSet& set, Kernel kernel, Job job, const Site& site) {
  if (!site.valid()) return kDeclined;
  job.site = &site;
  job.sl = sind(site.latitude()), job.cl = cosd(site.latitude());
  job.so = sind(site.longitude()), job.co = cosd(site.longitude());
  job.E0 = site.E(), job.F0 = site.F(), job.G0 = site.G();
  return set.run[kernel](job);
}

std::size_t run(const Routine& r, const Site* site, std::size_t n, const Column* in,
                const OutColumn* out, Fault* faults) {
  const KernelSet* set = nullptr;
  switch (fast::level()) {
    case fast::Level::kAVX512: set = &kAvx512Kernels; break;
    case fast::Level::kAVX2: set = &kAvx2Kernels; break;
    case fast::Level::kSSE2: set = &kSse2Kernels; break;
    case fast::Level::kScalar: return kDeclined;
  }
  Job job{n, in, out, faults, &r, nullptr, 0, 0, 0, 0, 0, 0, 0};
  static const char* const kNames[] = {"LLA84toEFG84", "EFG84toLLA84", "AERtoXYZ", "XYZtoAER",
                                       "EFG84toEFG72", "AERtoEFG84", "AERtoLLA84", "EFG84toAER"};
  int k = 0;
  while (k < 8 && std::strcmp(r.name, kNames[k]) != 0) ++k;
  if (k == 8) return kDeclined;
  if (k == kEFG84toEFG72) {
    job.sl = detail::Exact::sin(detail::conv::datum::kRotation);
    job.cl = detail::Exact::cos(detail::conv::datum::kRotation);
  }
  if (k < kAERtoEFG84Placed) return set->run[k](job);
  // A site routine: on a placed site, on one site repeated for every point
  // (placed here once, as the exact loop would place it for each), or with a
  // site per point.
  const Kernel placed = static_cast<Kernel>(k);
  const Kernel per_point = static_cast<Kernel>(k + (kAERtoEFG84PerPoint - kAERtoEFG84Placed));
  if (site != nullptr) return on_site(*set, placed, job, *site);
  if (n > 0 && in[3].stride == 0 && in[4].stride == 0 && in[5].stride == 0) {
    return on_site(*set, placed, job, Site(in[3].data[0], in[4].data[0], in[5].data[0]));
  }
  return set->run[per_point](job);
}

constexpr detail::FastTable kTable{run};

}  // namespace

}  // namespace geoconv::fast_detail

extern "C" const geoconv::detail::FastTable* geoconv_fast_table() {
  return &geoconv::fast_detail::kTable;
}
