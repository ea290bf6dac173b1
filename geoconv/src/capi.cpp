// The C interface (geoconv.h): each function calls the C++ routine of the
// same name, so arguments, statuses, messages and bits are the same by
// construction. A geoconv_site is storage of the size and alignment of a
// geoconv::Site, which is placed into it; the Site is trivially copyable, so
// C code may copy the storage freely.

#include <geoconv/geoconv.h>

#include <geoconv/geoconv.hpp>
#include <geoconv/registry.hpp>

#include <new>
#include <type_traits>

#include "c_arrays.hpp"

// The C macros name exactly the C++ constants.
#define GEOCONV_CONSTANT(name, value, about) \
  static_assert(GEOCONV_##name == geoconv::name, "GEOCONV_" #name);
#include <geoconv/constants.def>

static_assert(GEOCONV_FAULT_NONE == static_cast<int>(geoconv::Fault::kNone) &&
                  GEOCONV_FAULT_LATITUDE == static_cast<int>(geoconv::Fault::kLatitude) &&
                  GEOCONV_FAULT_SOLVE == static_cast<int>(geoconv::Fault::kSolve) &&
                  GEOCONV_FAULT_RANGE == static_cast<int>(geoconv::Fault::kRange) &&
                  GEOCONV_FAULT_AT_SITE == static_cast<int>(geoconv::Fault::kAtSite),
              "fault codes");

static_assert(sizeof(geoconv_site) == sizeof(geoconv::Site), "geoconv_site holds a Site");
static_assert(alignof(geoconv_site) == alignof(geoconv::Site), "geoconv_site aligns a Site");
static_assert(std::is_trivially_copyable_v<geoconv::Site> &&
                  std::is_trivially_destructible_v<geoconv::Site>,
              "a geoconv_site is copied and dropped without calls");

namespace {

// A null site reads as the site of all zero bytes, which is invalid.
const geoconv::Site& site_of(const geoconv_site* site) {
  static const geoconv_site kZero = {{0}};
  return *std::launder(reinterpret_cast<const geoconv::Site*>(site != nullptr ? site : &kZero));
}

const geoconv::Routine* routine_at(int index) {
  return index >= 0 && index < geoconv::routine_count() ? &geoconv::routines()[index] : nullptr;
}

// C's array modes as C++'s; kArrayBadMode for neither.
bool c_mode(int mode, geoconv::Mode& how) {
  if (mode != GEOCONV_EXACT && mode != GEOCONV_FAST) return false;
  how = mode == GEOCONV_FAST ? geoconv::Mode::kFast : geoconv::Mode::kExact;
  return true;
}

}  // namespace

// An array call of routine r, free or on a site: the site and the column
// arrays checked, then geoconv::run_array, which checks the rest.
size_t geoconv::detail::c_array(int routine, bool on_site, const geoconv_site* site, size_t n,
                                const double* const* data, const ptrdiff_t* in_stride,
                                double* const* results, const ptrdiff_t* out_stride,
                                unsigned char* faults, Mode how) noexcept {
  const geoconv::Routine* r = routine_at(routine);
  if (r == nullptr || (on_site && r->run_on_site == nullptr)) return GEOCONV_ARRAY_NO_ROUTINE;
  if (how != Mode::kExact && how != Mode::kFast) return GEOCONV_ARRAY_BAD_MODE;
  if (n == 0) return 0;
  if (data == nullptr || in_stride == nullptr || results == nullptr || out_stride == nullptr ||
      (on_site && site == nullptr)) {
    return GEOCONV_ARRAY_NULL_POINTER;
  }
  geoconv::Column in[geoconv::kMaxInputs];
  geoconv::OutColumn out[geoconv::kMaxOutputs];
  const int inputs = r->inputs + (r->site && !on_site ? 3 : 0);
  for (int k = 0; k < inputs; ++k) in[k] = {data[k], in_stride[k]};
  for (int k = 0; k < r->outputs; ++k) out[k] = {results[k], out_stride[k]};
  auto* f = reinterpret_cast<geoconv::Fault*>(faults);
  return on_site ? geoconv::run_array(*r, site_of(site), n, in, out, f, how)
                 : geoconv::run_array(*r, n, in, out, f, how);
}

namespace {

static_assert(sizeof(geoconv::Fault) == sizeof(unsigned char), "a fault is one byte in C");
static_assert(GEOCONV_ARRAY_BAD_MODE == geoconv::kArrayBadMode &&
                  GEOCONV_ARRAY_NULL_POINTER == geoconv::kArrayNullPointer &&
                  GEOCONV_ARRAY_OVERLAPPING_OUTPUTS == geoconv::kArrayOverlappingOutputs &&
                  GEOCONV_ARRAY_NO_MEMORY == geoconv::kArrayNoMemory,
              "array statuses");

}  // namespace

extern "C" {

// Each routine under its C name, made from the list of routines: a
// definition whose type differs from geoconv.h's declaration fails to build.
#define GEOCONV_HELPER(name, summary, q_in, in_unit, q_out, out_unit, example) \
  double geoconv_##name(double v) { return geoconv::name(v); }
#define GEOCONV_HELPER2(name, summary, in1, unit1, in2, unit2, q_out, out_unit, ex1, ex2) \
  double geoconv_##name(double u, double v) { return geoconv::name(u, v); }
#define GEOCONV_CONVERSION(name, command, fault, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                           ea, eb, ec)                                                             \
  auto geoconv_##name(FILE* stream, double a, double b, double c, double* x, double* y, double* z)  \
      ->decltype(geoconv::name(stream, a, b, c, x, y, z)) {                                        \
    return geoconv::name(stream, a, b, c, x, y, z);                                                \
  }
#define GEOCONV_SITE_CONVERSION(name, command, refusals, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz,  \
                                ea, eb, ec, lat, lon, alt)                                         \
  int geoconv_##name(FILE* stream, double a, double b, double c, double baseLat, double baseLon,  \
                     double baseAlt, double* x, double* y, double* z) {                           \
    return geoconv::name(stream, a, b, c, baseLat, baseLon, baseAlt, x, y, z);                    \
  }                                                                                               \
  int geoconv_site_##name(const geoconv_site* site, FILE* stream, double a, double b, double c,   \
                          double* x, double* y, double* z) {                                      \
    return site_of(site).name(stream, a, b, c, x, y, z);                                          \
  }
#define GEOCONV_SPLIT(name, command, summary, a, ua, x, ux, y, uy, z, uz, ea) \
  void geoconv_##name(double a, double* x, double* y, double* z) { geoconv::name(a, x, y, z); }
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)          \
  int geoconv_##name(FILE* stream, GEOCONV_EACH(GEOCONV_VALUE, inputs), double baseLat,          \
                     double baseLon, double baseAlt, GEOCONV_EACH(GEOCONV_RESULT, outputs)) {    \
    return geoconv::name(stream, GEOCONV_EACH(GEOCONV_NAME, inputs), baseLat, baseLon, baseAlt,  \
                         GEOCONV_EACH(GEOCONV_NAME, outputs));                                   \
  }                                                                                              \
  int geoconv_site_##name(const geoconv_site* site, FILE* stream,                                \
                          GEOCONV_EACH(GEOCONV_VALUE, inputs),                                   \
                          GEOCONV_EACH(GEOCONV_RESULT, outputs)) {                               \
    return site_of(site).name(stream, GEOCONV_EACH(GEOCONV_NAME, inputs),                        \
                              GEOCONV_EACH(GEOCONV_NAME, outputs));                              \
  }
#include <geoconv/routines.def>

int geoconv_STRtoINT(const char* str, int first, int last) {
  return geoconv::STRtoINT(str, first, last);
}

const char* geoconv_message(int fault) {
  return geoconv::message(static_cast<geoconv::Fault>(fault));
}
const char* geoconv_reason(int fault) {
  return geoconv::reason(static_cast<geoconv::Fault>(fault));
}

int geoconv_find_routine(const char* name) {
  const geoconv::Routine* r = geoconv::find_routine(name);
  return r == nullptr ? -1 : static_cast<int>(r - geoconv::routines());
}

int geoconv_convert(int routine, const double* in, double* out) {
  const geoconv::Routine* r = routine_at(routine);
  if (r == nullptr) return -1;
  if (in == nullptr || out == nullptr) return -2;
  return static_cast<int>(r->run(in, out));
}

size_t geoconv_convert_array(int routine, size_t n, const double* const* in,
                             const ptrdiff_t* in_stride, double* const* out,
                             const ptrdiff_t* out_stride, unsigned char* faults, int mode) {
  geoconv::Mode how;
  if (routine_at(routine) == nullptr) return GEOCONV_ARRAY_NO_ROUTINE;
  if (!c_mode(mode, how)) return GEOCONV_ARRAY_BAD_MODE;
  return geoconv::detail::c_array(routine, false, nullptr, n, in, in_stride, out, out_stride, faults,
                                  how);
}

const char* geoconv_array_reason(size_t status) {
  return status == GEOCONV_ARRAY_NO_ROUTINE ? "no routine has that index"
                                            : geoconv::array_reason(status);
}

size_t geoconv_site_size(void) { return sizeof(geoconv_site); }

int geoconv_site_init(geoconv_site* site, FILE* stream, double lat, double lon, double alt) {
  if (site == nullptr) return 1;
  const geoconv::Site* placed =
      ::new (static_cast<void*>(site)) geoconv::Site(stream, lat, lon, alt);
  return placed->valid() ? 0 : 1;
}

int geoconv_site_valid(const geoconv_site* site) { return site_of(site).valid() ? 1 : 0; }
double geoconv_site_latitude(const geoconv_site* site) { return site_of(site).latitude(); }
double geoconv_site_longitude(const geoconv_site* site) { return site_of(site).longitude(); }
double geoconv_site_altitude(const geoconv_site* site) { return site_of(site).altitude(); }
double geoconv_site_E(const geoconv_site* site) { return site_of(site).E(); }
double geoconv_site_F(const geoconv_site* site) { return site_of(site).F(); }
double geoconv_site_G(const geoconv_site* site) { return site_of(site).G(); }

int geoconv_site_convert(const geoconv_site* site, int routine, const double* in, double* out) {
  const geoconv::Routine* r = routine_at(routine);
  if (r == nullptr || r->run_on_site == nullptr) return -1;
  if (site == nullptr || in == nullptr || out == nullptr) return -2;
  return static_cast<int>(r->run_on_site(site_of(site), in, out));
}

size_t geoconv_site_convert_array(const geoconv_site* site, int routine, size_t n,
                                  const double* const* in, const ptrdiff_t* in_stride,
                                  double* const* out, const ptrdiff_t* out_stride,
                                  unsigned char* faults, int mode) {
  const geoconv::Routine* r = routine_at(routine);
  geoconv::Mode how;
  if (r == nullptr || r->run_on_site == nullptr) return GEOCONV_ARRAY_NO_ROUTINE;
  if (!c_mode(mode, how)) return GEOCONV_ARRAY_BAD_MODE;
  return geoconv::detail::c_array(routine, true, site, n, in, in_stride, out, out_stride, faults, how);
}

}  // extern "C"
