// What the dispatcher (fast.cpp) hands a processor level's kernels
// (kernels.hpp, compiled once per level): the points' columns, where the
// results and faults go, the routine for the points the kernels leave to the
// exact code, and a placed site's frame. Plain data only: this header is
// compiled with every level's flags.

#ifndef GEOCONV_FAST_SRC_JOB_HPP
#define GEOCONV_FAST_SRC_JOB_HPP

#include <geoconv/registry.hpp>

#include <cstddef>

namespace geoconv::fast_detail {

// One kernel per conversion, and per way of giving a site routine its site:
// placed once (a Site, or one site repeated by a stride of 0) or one per
// point.
enum Kernel : int {
  kLLA84toEFG84,
  kEFG84toLLA84,
  kAERtoXYZ,
  kXYZtoAER,
  kEFG84toEFG72,
  kAERtoEFG84Placed,
  kAERtoLLA84Placed,
  kEFG84toAERPlaced,
  kAERtoEFG84PerPoint,
  kAERtoLLA84PerPoint,
  kEFG84toAERPerPoint,
  kKernelCount
};

struct Job {
  std::size_t n;
  const Column* in;      // the point's three columns, then a per-point site's three
  const OutColumn* out;  // three
  Fault* faults;         // may be null
  // Points a kernel cannot vouch for go through this routine's exact run()
  // (or run_on_site() on *site when the site is placed).
  const Routine* routine;
  const Site* site;
  // A placed site: sind and cosd of its latitude and longitude and its
  // Earth-fixed position (m), the very values the Site holds. For
  // EFG84toEFG72: the sine and cosine of the datum's rotation in sl and cl.
  double sl, cl, so, co, E0, F0, G0;
};

using KernelFn = std::size_t (*)(const Job& job);
struct KernelSet {
  KernelFn run[kKernelCount];
};

// Each defined by the source compiled for that level; call only where the
// processor has it.
extern const KernelSet kAvx512Kernels;
extern const KernelSet kAvx2Kernels;
extern const KernelSet kSse2Kernels;

}  // namespace geoconv::fast_detail

#endif  // GEOCONV_FAST_SRC_JOB_HPP
