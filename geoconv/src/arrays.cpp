// Array forms of the conversions. The exact loop converts each point with the
// registry's run(), so every point gets the point routine's bits by
// construction; inputs are read before outputs are written, so a conversion
// may be done in place. The WebAssembly build converts the geodetic routines
// two points at a time with the same bits (wide.hpp). Mode::kFast hands the
// points to geoconv::fast when a program links it (it defines
// geoconv_fast_table); otherwise the weak reference below is null and the
// exact loop runs.

#include <geoconv/registry.hpp>

#include "internal.hpp"

#if defined(__wasm_simd128__)
#include "wide.hpp"
#endif

#if defined(__GNUC__)
extern "C" const geoconv::detail::FastTable* geoconv_fast_table() __attribute__((weak));
#else
static const geoconv::detail::FastTable* (*const geoconv_fast_table)() = nullptr;
#endif

namespace geoconv {

namespace {

// Point i of the columns through the registry's run(): its fault, and its
// outputs written unless it failed.
Fault one(const Routine& r, const Site* site, int inputs, std::size_t i, const Column* in,
          const OutColumn* out) {
  const auto at = static_cast<std::ptrdiff_t>(i);
  double a[6], b[3];
  for (int k = 0; k < inputs; ++k) a[k] = in[k].data[at * in[k].stride];
  const Fault f = site != nullptr ? r.run_on_site(*site, a, b) : r.run(a, b);
  // A failing point's outputs stay as they were, but for a zero range,
  // whose outputs hand back the site.
  if (f == Fault::kNone || f == Fault::kRange) {
    for (int k = 0; k < r.outputs; ++k) out[k].data[at * out[k].stride] = b[k];
  }
  return f;
}

#if defined(__wasm_simd128__)
namespace wide = detail::wide;

// The routines converted two points at a time, by kernel.
bool (*pair_kernel(const Routine& r))(wide::D2 (&)[3]) {
  if (r.run == find_routine("LLA84toEFG84")->run) return wide::forward;
  if (r.run == find_routine("EFG84toLLA84")->run) return wide::reverse;
  return nullptr;
}
#endif

std::size_t exact(const Routine& r, const Site* site, std::size_t n, const Column* in,
                  const OutColumn* out, Fault* faults) {
  const int inputs = r.inputs + (r.site && site == nullptr ? 3 : 0);
#if defined(__wasm_simd128__)
  // The geodetic conversions two points at a time where the kernel takes
  // them (wide.hpp), with the same bits; the others one at a time.
  auto kernel = site == nullptr && n > 1 ? pair_kernel(r) : nullptr;
  if (kernel != nullptr && !wide::pairs_allowed(n, inputs, in, r.outputs, out)) kernel = nullptr;
#endif
  std::size_t failed = 0;
  for (std::size_t i = 0; i < n; ++i) {
#if defined(__wasm_simd128__)
    if (kernel != nullptr && i + 1 < n && wide::pair(kernel, i, in, out)) {
      if (faults != nullptr) faults[i] = faults[i + 1] = Fault::kNone;
      ++i;
      continue;
    }
#endif
    const Fault f = one(r, site, inputs, i, in, out);
    if (faults != nullptr) faults[i] = f;
    failed += f != Fault::kNone;
  }
  return failed;
}

std::size_t dispatch(const Routine& r, const Site* site, std::size_t n, const Column* in,
                     const OutColumn* out, Fault* faults, Mode mode) {
  if (mode == Mode::kFast && geoconv_fast_table != nullptr) {
    const detail::FastTable* fast = geoconv_fast_table();
    const std::size_t failed = fast->run(r, site, n, in, out, faults);
    if (failed != detail::FastTable::kDeclined) return failed;
  }
  return exact(r, site, n, in, out, faults);
}

// The routine of a name (a short search, once per call).
const Routine& named(const char* name) { return *find_routine(name); }

template <std::size_t I, std::size_t O>
std::size_t contiguous(const Routine& r, const Site* site, std::size_t n,
                       const double* const (&in)[I], double* const (&out)[O], Fault* faults,
                       Mode mode) {
  Column columns[I];
  OutColumn results[O];
  for (std::size_t k = 0; k < I; ++k) columns[k] = {in[k], 1};
  for (std::size_t k = 0; k < O; ++k) results[k] = {out[k], 1};
  return dispatch(r, site, n, columns, results, faults, mode);
}

}  // namespace

std::size_t run_array(const Routine& routine, std::size_t n, const Column* in,
                      const OutColumn* out, Fault* faults, Mode mode) noexcept {
  return dispatch(routine, nullptr, n, in, out, faults, mode);
}

std::size_t run_array(const Routine& routine, const Site& site, std::size_t n, const Column* in,
                      const OutColumn* out, Fault* faults, Mode mode) noexcept {
  return routine.run_on_site == nullptr ? n : dispatch(routine, &site, n, in, out, faults, mode);
}

#define GEOCONV_ARRAY3(name, a, b, c, x, y, z)                                                  \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c, double* x, \
                   double* y, double* z, Fault* faults, Mode mode) noexcept {                  \
    const Routine& r = named(#name);  /* once per call, not per point */              \
    return contiguous(r, nullptr, n, {a, b, c}, {x, y, z}, faults, mode);                      \
  }
GEOCONV_ARRAY3(LLA84toEFG84, lat, lon, alt, E, F, G)
GEOCONV_ARRAY3(EFG84toLLA84, E, F, G, lat, lon, alt)
GEOCONV_ARRAY3(AERtoXYZ, az, el, range, x, y, z)
GEOCONV_ARRAY3(XYZtoAER, x, y, z, az, el, range)
GEOCONV_ARRAY3(EFG84toEFG72, E, F, G, E72, F72, G72)
#undef GEOCONV_ARRAY3

#define GEOCONV_ARRAY_SITE(name, a, b, c, x, y, z)                                              \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c,           \
                   const double* baseLat, const double* baseLon, const double* baseAlt,        \
                   double* x, double* y, double* z, Fault* faults, Mode mode) noexcept {       \
    const Routine& r = named(#name);  /* once per call, not per point */              \
    return contiguous(r, nullptr, n, {a, b, c, baseLat, baseLon, baseAlt}, {x, y, z}, faults,  \
                      mode);                                                                   \
  }                                                                                            \
  std::size_t Site::name(std::size_t n, const double* a, const double* b, const double* c,     \
                         double* x, double* y, double* z, Fault* faults, Mode mode)            \
      const noexcept {                                                                         \
    const Routine& r = named(#name);  /* once per call, not per point */              \
    return contiguous(r, this, n, {a, b, c}, {x, y, z}, faults, mode);                         \
  }
GEOCONV_ARRAY_SITE(AERtoEFG84, az, el, range, E, F, G)
GEOCONV_ARRAY_SITE(AERtoLLA84, az, el, range, lat, lon, alt)
GEOCONV_ARRAY_SITE(EFG84toAER, E, F, G, az, el, range)
#undef GEOCONV_ARRAY_SITE

}  // namespace geoconv
