// The table of routines (registry.hpp), made from routines.def. Each
// entry's call() is the public routine of its name and its run() that
// routine without a stream (a site routine's, the Site member's own
// arithmetic), so its bits are that routine's by construction.

#include <cstring>
#include <type_traits>
#include <utility>
#include <geoconv/registry.hpp>

#include "calls.hpp"
#include "internal.hpp"

namespace geoconv {

namespace {

using detail::SiteKernels;

// The table's entry points from the routines' own: the inputs unpacked
// from in[], the outputs written to out[], the status returned (0 for a
// routine that returns nothing).
template <class F> int status_of(F f) {
  if constexpr (std::is_void_v<decltype(f())>) {
    f();
    return 0;
  } else {
    return f();
  }
}
// The routines that cannot fail run as they are called; a free conversion
// that can has one fault, which a status of 1 means.
template <Fault kFault, int (*call)(std::FILE*, const double*, double*)>
Fault run_by_status(const double* in, double* out) {
  return call(nullptr, in, out) == 0 ? Fault::kNone : kFault;
}

// The site routines on a placed site, and on one placed for the call as the
// free functions place it.
using Kernel = Fault (*)(const Site&, double, double, double, double&, double&, double&);
template <Kernel k>
Fault on_site(const Site& site, const double* in, double* out) {
  return k(site, in[0], in[1], in[2], out[0], out[1], out[2]);
}
template <Kernel k>
Fault at_site(const double* in, double* out) {
  return k(Site(in[3], in[4], in[5]), in[0], in[1], in[2], out[0], out[1], out[2]);
}

// A public routine f of inputs in[I...] and outputs &out[O...].
template <class F, std::size_t... I, std::size_t... O>
int unpacked(F f, const double* in, double* out, std::index_sequence<I...>, std::index_sequence<O...>) {
  return f(in[I]..., &out[O]...);
}
template <int kIn, int kOut, class F> int unpacked(F f, const double* in, double* out) {
  return unpacked(f, in, out, std::make_index_sequence<kIn>(), std::make_index_sequence<kOut>());
}
using detail::count_of;
using detail::own_fault;

// Each routine's call(): its arguments from in[] and out[], its status.
#define GEOCONV_HELPER(name, summary, q_in, in_unit, q_out, out_unit, example) \
  int call_##name(std::FILE*, const double* in, double* out) {            \
    out[0] = name(in[0]);                                                 \
    return 0;                                                             \
  }
#define GEOCONV_HELPER2(name, summary, in1, unit1, in2, unit2, q_out, out_unit, ex1, ex2) \
  int call_##name(std::FILE*, const double* in, double* out) {                         \
    out[0] = name(in[0], in[1]);                                                       \
    return 0;                                                                          \
  }
#define GEOCONV_CONVERSION(name, command, fault, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                           ea, eb, ec)                                                             \
  int call_##name(std::FILE* stream, const double* in, double* out) {                              \
    return status_of([&] { return name(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]); }); \
  }
#define GEOCONV_SITE_CONVERSION(name, command, refusals, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                                ea, eb, ec, lat, lon, alt)                                        \
  int call_##name(std::FILE* stream, const double* in, double* out) {                            \
    return name(stream, in[0], in[1], in[2], in[3], in[4], in[5], &out[0], &out[1], &out[2]);    \
  }                                                                                              \
  int call_site_##name(const Site& site, std::FILE* stream, const double* in, double* out) {     \
    return site.name(stream, in[0], in[1], in[2], &out[0], &out[1], &out[2]);                    \
  }
#define GEOCONV_SPLIT(name, command, summary, a, ua, x, ux, y, uy, z, uz, ea) \
  int call_##name(std::FILE*, const double* in, double* out) {               \
    name(in[0], &out[0], &out[1], &out[2]);                                  \
    return 0;                                                                \
  }
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)         \
  constexpr int kIn_##name = count_of(GEOCONV_EACH(GEOCONV_ONE, inputs));                       \
  constexpr int kOut_##name = count_of(GEOCONV_EACH(GEOCONV_ONE, outputs));                     \
  int call_##name(std::FILE* stream, const double* in, double* out) {                           \
    return unpacked<kIn_##name + 3, kOut_##name>(                                               \
        [stream](auto... a) { return name(stream, a...); }, in, out);                           \
  }                                                                                             \
  int call_site_##name(const Site& site, std::FILE* stream, const double* in, double* out) {    \
    return unpacked<kIn_##name, kOut_##name>(                                                   \
        [&site, stream](auto... a) { return site.name(stream, a...); }, in, out);               \
  }
#include <geoconv/routines.def>

// The table's entries.
#define GEOCONV_Q(name, unit) \
  { #name, Unit::unit }
#define GEOCONV_LIST(...) __VA_ARGS__
using namespace detail::fault_names;

#define GEOCONV_HELPER(name, summary, q_in, in_unit, q_out, out_unit, example)                     \
  {#name, summary, 1, 1, {GEOCONV_Q(q_in, in_unit)}, {GEOCONV_Q(q_out, out_unit)}, false, false, \
   nullptr, run_by_status<Fault::kNone, call_##name>, nullptr, {example}, {}},
#define GEOCONV_HELPER2(name, summary, in1, unit1, in2, unit2, q_out, out_unit, ex1, ex2)          \
  {#name, summary, 2, 1, {GEOCONV_Q(in1, unit1), GEOCONV_Q(in2, unit2)},                       \
   {GEOCONV_Q(q_out, out_unit)}, false, false, nullptr, run_by_status<Fault::kNone, call_##name>, \
   nullptr, {ex1, ex2}, {}},
#define GEOCONV_CONVERSION(name, command, fault, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                           ea, eb, ec)                                                             \
  {#name, summary, 3, 3,                                                                         \
   {GEOCONV_Q(a, ua), GEOCONV_Q(b, ub), GEOCONV_Q(c, uc)},                                        \
   {GEOCONV_Q(x, ux), GEOCONV_Q(y, uy), GEOCONV_Q(z, uz)}, false, Fault::fault != Fault::kNone,    \
   #command, run_by_status<Fault::fault, call_##name>, nullptr, {ea, eb, ec}, {Fault::fault}},
#define GEOCONV_SITE_CONVERSION(name, command, refusals, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                                ea, eb, ec, lat, lon, alt)                                        \
  {#name, summary, 3, 3,                                                                         \
   {GEOCONV_Q(a, ua), GEOCONV_Q(b, ub), GEOCONV_Q(c, uc)},                                        \
   {GEOCONV_Q(x, ux), GEOCONV_Q(y, uy), GEOCONV_Q(z, uz)}, true, true, #command,                  \
   at_site<SiteKernels::name>, on_site<SiteKernels::name>, {ea, eb, ec, lat, lon, alt},          \
   {GEOCONV_LIST refusals}},
#define GEOCONV_SPLIT(name, command, summary, a, ua, x, ux, y, uy, z, uz, ea)                      \
  {#name, summary, 1, 3, {GEOCONV_Q(a, ua)}, {GEOCONV_Q(x, ux), GEOCONV_Q(y, uy), GEOCONV_Q(z, uz)}, \
   false, false, #command, run_by_status<Fault::kNone, call_##name>, nullptr, {ea}, {}},
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)           \
  {#name, summary, kIn_##name, kOut_##name, {GEOCONV_EACH(GEOCONV_Q, inputs)},             \
   {GEOCONV_EACH(GEOCONV_Q, outputs)}, true, true, #command,                               \
   SiteKernels::run_at<detail::conv::name<detail::conv::Exact, double>, kIn_##name, kOut_##name,                  \
                       own_fault(GEOCONV_UNPAREN refusals)>,                                      \
   SiteKernels::run<detail::conv::name<detail::conv::Exact, double>, kOut_##name, own_fault(GEOCONV_UNPAREN refusals)>, \
   {GEOCONV_UNPAREN example}, {GEOCONV_UNPAREN refusals}},

const Routine kRoutines[] = {
#include <geoconv/routines.def>
};
#undef GEOCONV_Q
#undef GEOCONV_LIST

constexpr int kCount = static_cast<int>(sizeof kRoutines / sizeof kRoutines[0]);

// The public routines, in the same order.
#define GEOCONV_HELPER(name, ...) {call_##name, nullptr},
#define GEOCONV_HELPER2(name, ...) {call_##name, nullptr},
#define GEOCONV_CONVERSION(name, ...) {call_##name, nullptr},
#define GEOCONV_SITE_CONVERSION(name, ...) {call_##name, call_site_##name},
#define GEOCONV_SPLIT(name, ...) {call_##name, nullptr},
#define GEOCONV_SITE_ROUTINE(name, ...) {call_##name, call_site_##name},
const detail::PublicCall kPublicCalls[] = {
#include <geoconv/routines.def>
};
static_assert(sizeof kPublicCalls / sizeof kPublicCalls[0] == kCount, "one call per routine");


}  // namespace

const char* symbol(Unit unit) noexcept {
  switch (unit) {
    case Unit::kDegrees:
      return "deg";
    case Unit::kFeet:
      return "ft";
    case Unit::kMetres:
      return "m";
    case Unit::kLength:
      return "length";
    case Unit::kMinutes:
      return "min";
    case Unit::kSeconds:
      return "s";
    case Unit::kDegreesPerSecond:
      return "deg/s";
    case Unit::kFeetPerSecond:
      return "ft/s";
    case Unit::kMetresPerSecond:
      return "m/s";
    case Unit::kNone:
      break;
  }
  return "";
}

const Routine* routines() noexcept { return kRoutines; }

const detail::PublicCall& detail::public_call(const Routine& r) noexcept { return kPublicCalls[&r - kRoutines]; }
int routine_count() noexcept { return kCount; }

const Routine* find_routine(const char* name) noexcept {
  if (name == nullptr) return nullptr;
  for (const Routine& r : kRoutines) {
    if (std::strcmp(name, r.name) == 0 || (r.command && std::strcmp(name, r.command) == 0)) {
      return &r;
    }
  }
  return nullptr;
}

}  // namespace geoconv
