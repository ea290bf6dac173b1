// Array forms of the conversions. Each routine of the registry has an array
// kernel (kernels.hpp): the conversion's one text over the widest lanes the
// processor runs, with the point routines' functions, so every point gets
// the point routine's bits. The fast mode's Mode carries geoconv::fast's
// kernels instead. A copy of a registry entry, and DEGtoDMS, convert point by
// point through run(). Whatever the mode, the results are those of
// converting a copy of the inputs (see "overlap" below).

#include <geoconv/registry.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "internal.hpp"
#include "job.hpp"



namespace geoconv {

namespace {

// --- overlap ------------------------------------------------------------------
//
// The results of a call are defined as those of copying its inputs first and
// then converting the points in order. Inputs that share no memory with the
// outputs, or share it only at the same point (a conversion exactly in
// place, or interleaved columns each converted into itself), are read
// straight from the caller's arrays. Where a point's results land on another
// point's inputs, the order of the points decides: a result that lands on an
// earlier point's inputs does no harm going forwards, one that lands on a
// later point's does no harm going backwards, a chunk at a time with the
// chunk's inputs copied to the stack. Only where both happen is a copy of
// every input made on the heap.

// Elements i = 0 .. n-1 of a column in bytes: [base + i*stride, + size).
// Addresses in 64 bits whatever the pointers' width, so that differences of
// 32-bit addresses (WebAssembly) keep their sign.
struct Span {
  std::uint64_t base;
  std::int64_t stride;
  std::int64_t size;
};

// Whether elements of two spans share a byte (meet): element i of w and
// element j of r, any i and j, and in particular some with j < i (before) or
// j > i (after).
struct Meeting {
  bool meet = false, before = false, after = false;
  void add(const Meeting& m) {
    meet |= m.meet, before |= m.before, after |= m.after;
  }
};

constexpr std::int64_t kFar = std::int64_t{1} << 61;  // beyond any valid extent

// A stride of doubles in bytes; one no valid array can have is held at kFar,
// whose extent the planner then cannot hold.
std::int64_t stride_bytes(std::ptrdiff_t stride) {
  const auto s = static_cast<std::int64_t>(stride);
  return s > kFar / 8 ? kFar : s < -kFar / 8 ? -kFar : s * 8;
}
Span span_of(const Column& c) {
  return {reinterpret_cast<std::uintptr_t>(c.data), stride_bytes(c.stride), 8};
}
Span span_of(const OutColumn& c) {
  return {reinterpret_cast<std::uintptr_t>(c.data), stride_bytes(c.stride), 8};
}

// The lowest byte and one past the highest of a span's n elements; false
// where the extent cannot be held (no valid array reaches that far).
bool extent(const Span& s, std::int64_t n, std::uint64_t* low, std::uint64_t* high) {
  const std::int64_t step = s.stride < 0 ? -s.stride : s.stride;
  if (step != 0 && n - 1 > kFar / step) return false;
  const auto reach = static_cast<std::uint64_t>(step * (n - 1));
  *low = s.stride < 0 ? s.base - reach : s.base;
  *high = (s.stride < 0 ? s.base : s.base + reach) + static_cast<std::uint64_t>(s.size);
  return *low <= s.base && *high > *low;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
std::int64_t ceil_div(std::int64_t a, std::int64_t b) { return -floor_div(-a, b); }

// a*b mod m for 0 <= a, b < m < 2^62, without overflow.
std::int64_t mul_mod(std::int64_t a, std::int64_t b, std::int64_t m) {
  std::int64_t r = 0;
  for (a %= m; b > 0; b >>= 1, a = (a * 2) % m) {
    if (b & 1) r = (r + a) % m;
  }
  return r;
}

// The pairs 0 <= i, j < n with a*i - b*j == c, by the sign of j - i.
Meeting solve(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t n) {
  Meeting m;
  if (a == 0 || b == 0) {
    // One index is free: the other is fixed, if it exists.
    const std::int64_t coef = a != 0 ? a : b;
    if (coef == 0) {
      if (c == 0) m.meet = true, m.before = m.after = n > 1;
      return m;
    }
    if (c % coef != 0) return m;
    const std::int64_t fixed = a != 0 ? c / a : -c / b;
    if (fixed < 0 || fixed >= n) return m;
    m.meet = true;
    // a fixed i: j free; a fixed j: i free.
    const bool low = fixed > 0, high = fixed < n - 1;
    m.before = a != 0 ? low : high;
    m.after = a != 0 ? high : low;
    return m;
  }
  // g = gcd(a, b) by Euclid, with x such that a*x == g (mod b).
  std::int64_t r0 = a < 0 ? -a : a, r1 = b < 0 ? -b : b, x0 = 1, x1 = 0;
  while (r1 != 0) {
    const std::int64_t q = r0 / r1;
    std::int64_t t = r0 - q * r1;
    r0 = r1, r1 = t;
    t = x0 - q * x1;
    x0 = x1, x1 = t;
  }
  const std::int64_t g = r0;
  if (c % g != 0) return m;
  const std::int64_t period = (b < 0 ? -b : b) / g;  // of i
  const std::int64_t inverse = ((a < 0 ? -x0 : x0) % period + period) % period;
  const std::int64_t residue = ((c / g) % period + period) % period;
  const std::int64_t i0 = mul_mod(residue, inverse, period);
  if (i0 >= n) return m;
  // i = i0 + period*k for k >= 0; j = (a*i - c)/b moves by step per k.
  const std::int64_t j0 = (a * i0 - c) / b, step = (a / g) * (b < 0 ? -1 : 1);
  std::int64_t k_low = 0, k_high = (n - 1 - i0) / period;
  if (step > 0) {
    k_low = std::max(k_low, ceil_div(-j0, step));
    k_high = std::min(k_high, floor_div(n - 1 - j0, step));
  } else {
    k_low = std::max(k_low, ceil_div(n - 1 - j0, step));
    k_high = std::min(k_high, floor_div(-j0, step));
  }
  if (k_low > k_high) return m;
  // j - i is linear in k: its signs over [k_low, k_high] are its ends'.
  const std::int64_t d0 = j0 - i0, slope = step - period;
  const std::int64_t at_low = d0 + slope * k_low, at_high = d0 + slope * k_high;
  m.meet = true;
  m.before = at_low < 0 || at_high < 0;
  m.after = at_low > 0 || at_high > 0;
  return m;
}

// Where element i of w and element j of r share a byte, 0 <= i, j < n.
Meeting meeting(const Span& w, const Span& r, std::size_t count) {
  Meeting all;
  const auto n = static_cast<std::int64_t>(count);
  std::uint64_t wl, wh, rl, rh;
  if (n == 0) return all;
  if (static_cast<std::uint64_t>(count) > static_cast<std::uint64_t>(kFar) ||
      !extent(w, n, &wl, &wh) || !extent(r, n, &rl, &rh)) {
    all.meet = all.before = all.after = true;  // no valid call: assume the worst
    return all;
  }
  if (wh <= rl || rh <= wl) return all;
  // Overlapping extents, so the bases are within kFar of each other. Bytes
  // meet where -w.size < (w.base + i*w.stride) - (r.base + j*r.stride) < r.size.
  const auto gap = static_cast<std::int64_t>(w.base - r.base);
  for (std::int64_t v = 1 - w.size; v < r.size; ++v) all.add(solve(w.stride, r.stride, v - gap, n));
  return all;
}

// Point i of the columns through the registry's run(): its fault, and its
// outputs written unless it failed.
Fault one(const Routine& r, const Site* site, int inputs, std::size_t i, const Column* in,
          const OutColumn* out) {
  const auto at = static_cast<std::ptrdiff_t>(i);
  double a[kMaxInputs], b[kMaxOutputs];
  for (int k = 0; k < inputs; ++k) a[k] = in[k].data[at * in[k].stride];
  const Fault f = site != nullptr ? r.run_on_site(*site, a, b) : r.run(a, b);
  // A failing point's outputs stay as they were, but for a zero range,
  // whose outputs hand back the site.
  if (f == Fault::kNone || f == Fault::kRange) {
    for (int k = 0; k < r.outputs; ++k) out[k].data[at * out[k].stride] = b[k];
  }
  return f;
}

std::size_t exact(const Routine& r, const Site* site, std::size_t n, const Column* in,
                  const OutColumn* out, Fault* faults) {
  const int inputs = r.inputs + (r.site && site == nullptr ? 3 : 0);
  std::size_t failed = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Fault f = one(r, site, inputs, i, in, out);
    if (faults != nullptr) faults[i] = f;
    failed += f != Fault::kNone;
  }
  return failed;
}

// A job for the kernels: a site routine's site placed once where it is one
// site for every point (a Site, or site columns of stride 0).
detail::Job job_for(const Routine& r, const Site* site, std::size_t n, const Column* in,
                    const OutColumn* out, Fault* faults, std::optional<Site>& placed) {
  detail::Job job{n, in, out, faults, false, false, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, &r, site};
  const Column* base = in + r.inputs;  // a free site routine's site columns
  if (r.site && site == nullptr && base[0].stride == 0 && base[1].stride == 0 &&
      base[2].stride == 0) {
    placed.emplace(base[0].data[0], base[1].data[0], base[2].data[0]);
    site = job.site = &*placed;
  }
  if (r.site && site != nullptr) {
    const detail::Frame f = detail::SiteKernels::frame(*site);
    job.placed = true;
    job.valid = site->valid();
    job.sl = f.sl, job.cl = f.cl, job.so = f.so, job.co = f.co;
    job.E0 = f.E0, job.F0 = f.F0, job.G0 = f.G0;
    job.lat = site->latitude(), job.lon = site->longitude(), job.alt = site->altitude();
  }
  return job;
}

// The points in the order they are given, read from wherever the columns say.
std::size_t convert(const Routine& r, const Site* site, std::size_t n, const Column* in,
                    const OutColumn* out, Fault* faults, Mode mode) {
  // The registry's routines have kernels (a copy of an entry converts point
  // by point).
  const auto at = reinterpret_cast<std::uintptr_t>(&r);
  const auto first = reinterpret_cast<std::uintptr_t>(routines());
  const std::uintptr_t index = (at - first) / sizeof(Routine);
  detail::KernelFn kernel = nullptr;
  if (at >= first && index < static_cast<std::uintptr_t>(detail::kKernelCount) &&
      &routines()[index] == &r) {
    const detail::KernelSet* fast = mode.fast_kernels();
    kernel = (fast != nullptr ? *fast : detail::exact_kernels()).run[index];
  }
  if (kernel == nullptr) return exact(r, site, n, in, out, faults);
  std::optional<Site> placed;
  return kernel(job_for(r, site, n, in, out, faults, placed));
}

enum class Order { kForward, kBackward, kCopy, kRefused };

// How the points can be converted so that each reads its own inputs as they
// were before the call; kRefused where two results would land on one byte.
Order plan(std::size_t n, int inputs, const Column* in, int outputs, const OutColumn* out,
           const Fault* faults) {
  Span writes[kMaxOutputs + 1];
  int count = 0;
  for (int k = 0; k < outputs; ++k) writes[count++] = span_of(out[k]);
  if (faults != nullptr) writes[count++] = {reinterpret_cast<std::uintptr_t>(faults), 1, 1};
  for (int a = 0; a < count; ++a) {
    for (int b = a; b < count; ++b) {
      const Meeting m = meeting(writes[a], writes[b], n);
      // One span with itself: before and after come in pairs.
      if (b == a ? m.before : m.meet) return Order::kRefused;
    }
  }
  Meeting hazards;
  for (int w = 0; w < count; ++w) {
    for (int k = 0; k < inputs; ++k) hazards.add(meeting(writes[w], span_of(in[k]), n));
  }
  // before: a result lands on an earlier point's input, read already when
  // going forwards; after: on a later point's, read already going backwards.
  if (!hazards.after) return Order::kForward;
  if (!hazards.before) return Order::kBackward;
  return Order::kCopy;
}

// Output columns from point `from` on.
void offset(int count, const OutColumn* out, std::size_t from, OutColumn* to) {
  for (int k = 0; k < count; ++k) {
    to[k] = {out[k].data + static_cast<std::ptrdiff_t>(from) * out[k].stride, out[k].stride};
  }
}

// Copies points [from, from + m) of the input columns into copy (m doubles a
// column; a column of stride 0 keeps its one value and its stride).
void copy_inputs(int inputs, const Column* in, std::size_t from, std::size_t m, double* copy,
                 std::size_t room, Column* to) {
  for (int k = 0; k < inputs; ++k) {
    double* column = copy + static_cast<std::size_t>(k) * room;
    const auto at = static_cast<std::ptrdiff_t>(from);
    if (in[k].stride == 0) {
      column[0] = in[k].data[0];
      to[k] = {column, 0};
      continue;
    }
    for (std::size_t i = 0; i < m; ++i) {
      column[i] = in[k].data[(at + static_cast<std::ptrdiff_t>(i)) * in[k].stride];
    }
    to[k] = {column, 1};
  }
}

std::size_t dispatch(const Routine& r, const Site* site, std::size_t n, const Column* in,
                     const OutColumn* out, Fault* faults, Mode mode) {
  if (mode != Mode::kExact && mode != Mode::kFast) return kArrayBadMode;
  if (n == 0) return 0;
  const int inputs = r.inputs + (r.site && site == nullptr ? 3 : 0);
  if (in == nullptr || out == nullptr) return kArrayNullPointer;
  for (int k = 0; k < inputs; ++k) {
    if (in[k].data == nullptr) return kArrayNullPointer;
  }
  for (int k = 0; k < r.outputs; ++k) {
    if (out[k].data == nullptr) return kArrayNullPointer;
  }
  switch (plan(n, inputs, in, r.outputs, out, faults)) {
    case Order::kForward: return convert(r, site, n, in, out, faults, mode);
    case Order::kRefused: return kArrayOverlappingOutputs;
    case Order::kBackward: {
      // A chunk at a time from the last, each read into the stack first.
      constexpr std::size_t kChunk = 256;
      double copy[kMaxInputs * kChunk];
      std::size_t failed = 0;
      for (std::size_t end = n; end > 0;) {
        const std::size_t m = std::min(kChunk, end), from = end - m;
        Column c[kMaxInputs];
        OutColumn o[kMaxOutputs];
        copy_inputs(inputs, in, from, m, copy, kChunk, c);
        offset(r.outputs, out, from, o);
        failed += convert(r, site, m, c, o, faults == nullptr ? nullptr : faults + from, mode);
        end = from;
      }
      return failed;
    }
    case Order::kCopy: break;
  }
  // Results land on earlier and later points' inputs alike: every input is
  // copied first. Only such a call allocates.
  if (n > SIZE_MAX / sizeof(double) / kMaxInputs) return kArrayNoMemory;
  auto* copy = static_cast<double*>(std::malloc(n * sizeof(double) * static_cast<std::size_t>(inputs)));
  if (copy == nullptr) return kArrayNoMemory;
  Column c[kMaxInputs];
  copy_inputs(inputs, in, 0, n, copy, n, c);
  const std::size_t failed = convert(r, site, n, c, out, faults, mode);
  std::free(copy);
  return failed;
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

#define GEOCONV_CONVERSION(name, command, fault, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                           ea, eb, ec)                                                             \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c, double* x,   \
                   double* y, double* z, Fault* faults, Mode mode) noexcept {                      \
    const Routine& r = named(#name); /* once per call, not per point */                           \
    return contiguous(r, nullptr, n, {a, b, c}, {x, y, z}, faults, mode);                          \
  }
#define GEOCONV_SITE_CONVERSION(name, command, refusals, summary, a, ua, b, ub, c, uc, x, ux, y, uy, z, uz, \
                                ea, eb, ec, lat, lon, alt)                                        \
  std::size_t name(std::size_t n, const double* a, const double* b, const double* c,             \
                   const double* baseLat, const double* baseLon, const double* baseAlt,         \
                   double* x, double* y, double* z, Fault* faults, Mode mode) noexcept {        \
    const Routine& r = named(#name); /* once per call, not per point */                          \
    return contiguous(r, nullptr, n, {a, b, c, baseLat, baseLon, baseAlt}, {x, y, z}, faults,    \
                      mode);                                                                     \
  }                                                                                              \
  std::size_t Site::name(std::size_t n, const double* a, const double* b, const double* c,       \
                         double* x, double* y, double* z, Fault* faults, Mode mode)              \
      const noexcept {                                                                           \
    const Routine& r = named(#name); /* once per call, not per point */                          \
    return contiguous(r, this, n, {a, b, c}, {x, y, z}, faults, mode);                           \
  }
#define GEOCONV_SITE_ROUTINE(name, command, refusals, summary, inputs, outputs, example)         \
  std::size_t name(std::size_t n, GEOCONV_EACH(GEOCONV_COLUMN, inputs), const double* baseLat,  \
                   const double* baseLon, const double* baseAlt,                               \
                   GEOCONV_EACH(GEOCONV_RESULT, outputs), Fault* faults, Mode mode) noexcept {  \
    const Routine& r = named(#name);                                                            \
    return contiguous(r, nullptr, n,                                                            \
                      {GEOCONV_EACH(GEOCONV_NAME, inputs), baseLat, baseLon, baseAlt},          \
                      {GEOCONV_EACH(GEOCONV_NAME, outputs)}, faults, mode);                     \
  }                                                                                             \
  std::size_t Site::name(std::size_t n, GEOCONV_EACH(GEOCONV_COLUMN, inputs),                   \
                         GEOCONV_EACH(GEOCONV_RESULT, outputs), Fault* faults, Mode mode)       \
      const noexcept {                                                                          \
    const Routine& r = named(#name);                                                            \
    return contiguous(r, this, n, {GEOCONV_EACH(GEOCONV_NAME, inputs)},                         \
                      {GEOCONV_EACH(GEOCONV_NAME, outputs)}, faults, mode);                     \
  }
#include <geoconv/routines.def>

}  // namespace geoconv
