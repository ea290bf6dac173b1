// geoconv._core: the compiled half of the Python package geoconv.
//
// Every routine of the library's registry (<geoconv/registry.hpp>) is one
// conversion here: a few doubles in, one or three doubles out and a Fault,
// run over the broadcast of its inputs by the registry's array entry
// (geoconv::run_array, one call per innermost run of points; point by point
// through Routine::run where an operand is not aligned to 8 bytes).
// Arguments are read and checked with the GIL held; the points are then
// converted with the GIL released, split over threads when there are many.
// In mode "exact" every point has the point routine's bits whatever the
// shape, strides or thread count ("fast" is geoconv::fast's, within the
// bounds of <geoconv/fast.hpp>, when it is linked), and a
// failure's text is the library's reason() for the point's Fault.
//
// out= arrays may share memory with the inputs in any way, with the results
// of converting copies of the inputs: an input is copied unless it is read
// exactly in place, and with errors="raise" an output over an input gets
// the results only once every point has converted, so that a failure leaves
// it as it was. Outputs whose elements meet, and masked arrays, are refused.
//
// The public, documented and picklable functions are made from the registry
// in geoconv/__init__.py; this module gives them one entry per routine taking
// (*inputs, out, errors, threads, mode), site_<name>(site, *inputs, out,
// errors, threads, mode) for a Site's conversions, and routines() describing
// them.

#include <geoconv/geoconv.hpp>
#include <geoconv/lines.hpp>
#include <geoconv/registry.hpp>
#if defined(GEOCONV_PYTHON_FAST)
#include <geoconv/fast.hpp>
#endif
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#ifndef GEOCONV_VERSION
#define GEOCONV_VERSION "unknown"
#endif

namespace py = pybind11;

namespace {

using geoconv::Fault;
using geoconv::Routine;
using Index = std::int64_t;

constexpr int kMaxDims = 64;          // NumPy allows 32 (64 from NumPy 2)
constexpr int kMaxOperands = 9;       // six inputs and three outputs at most
constexpr Index kMinPointsPerThread = 16384;  // below this a thread costs more than it saves
constexpr int kMaxThreads = 256;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The arguments after a site routine's point: its base site, named as the
// Python functions name them.
constexpr geoconv::Quantity kSiteInputs[3] = {{"base_lat", geoconv::Unit::kDegrees},
                                              {"base_lon", geoconv::Unit::kDegrees},
                                              {"base_alt", geoconv::Unit::kFeet}};

int input_count(const Routine& r) { return r.inputs + (r.site ? 3 : 0); }

const char* input_name(const Routine& r, int i) {
  return i < r.inputs ? r.in[i].name : kSiteInputs[i - r.inputs].name;
}

// ---------------------------------------------------------------------------
// A call's points: the broadcast shape (adjacent dimensions merged where every
// operand steps through them evenly) and each operand's base and byte strides
// (0 along broadcast dimensions). Operands are the inputs, then the outputs.

struct Plan {
  int ndim = 1;
  Index shape[kMaxDims] = {1};
  int nin = 0, nout = 0;
  char* data[kMaxOperands] = {};
  Index strides[kMaxOperands][kMaxDims] = {};
  Index size = 1;
  bool nan_on_failure = false;
  bool columns = false;  // every operand's base and strides multiples of 8 bytes
  bool fresh[3] = {};    // an output is a new array, its pages never written
  geoconv::Mode mode = geoconv::Mode::kExact;
  const Routine* routine = nullptr;
  const geoconv::Site* site = nullptr;  // one site for every point, or null
};

// Faults in the pages of a new output array's bytes [begin, begin + bytes)
// with one call, where writing them would trap once per 4 KiB page: on a
// virtual machine each trap costs microseconds, several times the conversion
// of the 170 points a page holds. The pages around the range are the array's
// own or the allocator's, and populating keeps their contents; where the
// kernel cannot, the conversion's writes fault them in as before.
void populate(char* begin, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(begin) / page * page;
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(begin) + bytes;
  madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)bytes;
#endif
}

// A new float64 array of the shape for results. One of 4 MiB or more lies on
// 2 MiB boundaries with transparent huge pages asked for: where the kernel
// gives them, its pages cost one fault and one clearing per 2 MiB instead of
// a fault per 4 KiB page, which on a virtual machine can cost more than the
// conversion itself. Freed with the array.
py::array new_results(const std::vector<Index>& shape, Index size) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  const std::size_t bytes = static_cast<std::size_t>(size) * sizeof(double);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes >= 2 * kHuge) {
    void* data = nullptr;
    const std::size_t whole = (bytes + kHuge - 1) / kHuge * kHuge;
    if (posix_memalign(&data, kHuge, whole) == 0) {
      madvise(data, whole, MADV_HUGEPAGE);  // a hint: without it, 4 KiB pages
      py::capsule owner(data, [](void* d) { std::free(d); });
      return py::array(py::dtype("float64"), shape, {}, data, owner);
    }
  }
#endif
  return py::array(py::dtype("float64"), shape);
}

// The first failing point of a run (its flat C-order index, -1 for none) and
// why it failed; or, with status, the block from `at` that run_array refused
// whole (a layout the checks before it should have kept from it).
struct Failure {
  Index at = -1;
  Fault fault = Fault::kNone;
  std::size_t status = 0;
};

// Converts points begin..end-1 (flat C-order indexes) and returns the first
// failure. A failing point's outputs are left alone, except with
// nan_on_failure, where they become NaN and the run goes on. The operand
// counts are template arguments so that the copies in and out unroll (the
// helpers cost a few nanoseconds a point); the routine is the registry's.
template <int kIn, int kOut, bool kOnSite>
Failure run_chunk(const Plan& p, Index begin, Index end) {
  const Routine& r = *p.routine;
  const int last = p.ndim - 1;
  constexpr int ops = kIn + kOut;
  Index index[kMaxDims];
  char* ptr[kMaxOperands];
  Index rest = begin;
  for (int d = last; d >= 0; --d) {
    index[d] = rest % p.shape[d];
    rest /= p.shape[d];
  }
  for (int o = 0; o < ops; ++o) {
    ptr[o] = p.data[o];
    for (int d = 0; d <= last; ++d) ptr[o] += index[d] * p.strides[o][d];
  }
  Index step[kMaxOperands];
  for (int o = 0; o < ops; ++o) step[o] = p.strides[o][last];

  Index k = begin;
  while (k < end) {
    const Index count = std::min(p.shape[last] - index[last], end - k);
    if (p.columns) {
      // The run through run_array, a block at a time (the faults of a block
      // on the stack). With errors="raise" the block's points after the
      // first failing one may have been written too.
      constexpr Index kBlock = 2048;
      constexpr Index kPopulate = 8 * kBlock;  // points whose output pages are faulted at once
      Fault faults[kBlock];
      for (Index done = 0; done < count;) {
        const Index n = std::min(kBlock, count - done);
        if (done % kPopulate == 0) {
          const Index ahead = std::min(kPopulate, count - done);
          for (int o = 0; o < kOut; ++o) {
            if (p.fresh[o] && step[kIn + o] == Index{sizeof(double)}) {
              populate(ptr[kIn + o] + done * step[kIn + o],
                       static_cast<std::size_t>(ahead) * sizeof(double));
            }
          }
        }
        geoconv::Column in[kIn];
        geoconv::OutColumn out[kOut];
        for (int i = 0; i < kIn; ++i) {
          in[i] = {reinterpret_cast<const double*>(ptr[i] + done * step[i]),
                   static_cast<std::ptrdiff_t>(step[i] / Index{sizeof(double)})};
        }
        for (int o = 0; o < kOut; ++o) {
          out[o] = {reinterpret_cast<double*>(ptr[kIn + o] + done * step[kIn + o]),
                    static_cast<std::ptrdiff_t>(step[kIn + o] / Index{sizeof(double)})};
        }
        std::size_t failed;
        if constexpr (kOnSite) {
          failed = geoconv::run_array(r, *p.site, static_cast<std::size_t>(n), in, out, faults,
                                      p.mode);
        } else {
          failed = geoconv::run_array(r, static_cast<std::size_t>(n), in, out, faults, p.mode);
        }
        if (failed > static_cast<std::size_t>(n)) return {k + done, Fault::kNone, failed};
        for (Index j = 0; failed > 0 && j < n; ++j) {
          if (faults[j] == Fault::kNone) continue;
          if (!p.nan_on_failure) return {k + done + j, faults[j]};
          for (int o = 0; o < kOut; ++o) out[o].data[j * out[o].stride] = kNaN;
          --failed;
        }
        done += n;
      }
      k += count;
      for (int o = 0; o < ops; ++o) ptr[o] += count * step[o];
    } else {  // point by point, for operands not aligned to 8 bytes
      for (Index j = 0; j < count; ++j, ++k) {
        double in[kIn], out[kOut];
        for (int i = 0; i < kIn; ++i) std::memcpy(&in[i], ptr[i], sizeof(double));
        Fault fault;
        if constexpr (kOnSite) {
          fault = r.run_on_site(*p.site, in, out);
        } else {
          fault = r.run(in, out);
        }
        if (fault != Fault::kNone) {
          if (!p.nan_on_failure) return {k, fault};
          std::fill(out, out + kOut, kNaN);
        }
        for (int o = 0; o < kOut; ++o) std::memcpy(ptr[kIn + o], &out[o], sizeof(double));
        for (int o = 0; o < ops; ++o) ptr[o] += step[o];
      }
    }
    if (k == end) break;
    // The row is done: back to its start, then carry into the outer indexes.
    index[last] = 0;
    for (int o = 0; o < ops; ++o) ptr[o] -= p.shape[last] * step[o];
    for (int d = last - 1; d >= 0; --d) {
      for (int o = 0; o < ops; ++o) ptr[o] += p.strides[o][d];
      if (++index[d] < p.shape[d]) break;
      index[d] = 0;
      for (int o = 0; o < ops; ++o) ptr[o] -= p.shape[d] * p.strides[o][d];
    }
  }
  return {};
}

using ChunkRun = Failure (*)(const Plan&, Index, Index);

// The chunk runner for the plan's operands: up to six inputs (three of a
// point and three of a site) and up to three outputs.
ChunkRun chunk_runner(const Plan& p) {
  static constexpr ChunkRun kRunners[2][6][3] = {
#define GEOCONV_RUNNERS(site, in) \
  {&run_chunk<in, 1, site>, &run_chunk<in, 2, site>, &run_chunk<in, 3, site>}
      {GEOCONV_RUNNERS(false, 1), GEOCONV_RUNNERS(false, 2), GEOCONV_RUNNERS(false, 3),
       GEOCONV_RUNNERS(false, 4), GEOCONV_RUNNERS(false, 5), GEOCONV_RUNNERS(false, 6)},
      {GEOCONV_RUNNERS(true, 1), GEOCONV_RUNNERS(true, 2), GEOCONV_RUNNERS(true, 3),
       GEOCONV_RUNNERS(true, 4), GEOCONV_RUNNERS(true, 5), GEOCONV_RUNNERS(true, 6)},
#undef GEOCONV_RUNNERS
  };
  return kRunners[p.site != nullptr][p.nin - 1][p.nout - 1];
}

// Runs the chunks on up to `threads` threads (the calling one among them).
// Returns the first failure over all points: chunks are in index order, so
// it is the same for any number of threads.
Failure run_threads(const Plan& p, int threads) {
  const Index chunks = std::max<Index>(
      1, std::min<Index>({threads, p.size / kMinPointsPerThread, kMaxThreads}));
  const ChunkRun run = chunk_runner(p);
  if (chunks == 1) return run(p, 0, p.size);
  auto bound = [&](Index c) { return p.size / chunks * c + std::min(c, p.size % chunks); };
  std::vector<Failure> first(static_cast<std::size_t>(chunks));
  std::vector<std::thread> workers;
  workers.reserve(static_cast<std::size_t>(chunks));
  for (Index c = 1; c < chunks; ++c) {
    auto work = [&p, run, &first, c, b = bound(c), e = bound(c + 1)] {
      first[static_cast<std::size_t>(c)] = run(p, b, e);
    };
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      work();  // no thread to be had: do this chunk here
    }
  }
  first[0] = run(p, 0, bound(1));
  for (std::thread& w : workers) w.join();
  for (const Failure& f : first) {
    if (f.at >= 0) return f;
  }
  return {};
}

// ---------------------------------------------------------------------------
// Reading arguments.

py::object numpy_function(const char* name) {
  static py::module_* numpy = new py::module_(py::module_::import("numpy"));  // kept for life
  return numpy->attr(name);
}

std::string type_name(py::handle h) { return Py_TYPE(h.ptr())->tp_name; }

// A value for a message: its repr, shortened in the middle past 60
// characters, and described where Python will not write it (an int beyond
// its limit of digits).
std::string shown(py::handle h) {
  PyObject* text = PyObject_Repr(h.ptr());
  if (text == nullptr) {  // an int past Python's limit of digits, or a failing __repr__
    PyErr_Clear();
    if (!PyLong_Check(h.ptr())) return "a " + type_name(h);
    const bool negative = PyObject_RichCompareBool(h.ptr(), py::int_(0).ptr(), Py_LT) == 1;
    return std::string(negative ? "a negative" : "an") + " int of " +
           std::string(py::str(h.attr("bit_length")())) + " bits";
  }
  const py::str repr = py::reinterpret_steal<py::str>(text);
  const Py_ssize_t n = PyUnicode_GetLength(repr.ptr());
  if (n <= 60) return repr;
  auto part = [&](Py_ssize_t from, Py_ssize_t to) {
    PyObject* piece = PyUnicode_Substring(repr.ptr(), from, to);
    if (piece == nullptr) throw py::error_already_set();
    return std::string(py::reinterpret_steal<py::str>(piece));
  };
  return part(0, 24) + "..." + part(n - 12, n) + " (" + std::to_string(n) + " characters)";
}

// A Python float or int (bool included) as a double. False for any other
// type; an int too large for a double is a ValueError.
bool read_python_number(py::handle h, const char* name, double* value) {
  PyObject* o = h.ptr();
  if (PyFloat_Check(o)) {
    *value = PyFloat_AS_DOUBLE(o);
    return true;
  }
  if (PyLong_Check(o)) {
    *value = PyLong_AsDouble(o);
    if (*value == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      throw py::value_error(std::string(name) + ": integer too large for a float64: " + shown(h));
    }
    return true;
  }
  return false;
}

// NumPy's masked arrays are refused: read as arrays they would lose their
// mask, and masked values would be converted as data. `instead` says what
// to pass.
bool masked(py::handle h) {
  static PyObject* type = [] {  // kept for life
    return py::object(py::module_::import("numpy.ma").attr("MaskedArray")).release().ptr();
  }();
  return PyObject_TypeCheck(h.ptr(), reinterpret_cast<PyTypeObject*>(type));
}

[[noreturn]] void refuse_masked(const std::string& name, const std::string& instead) {
  throw py::type_error(name + ": masked arrays are not supported (the mask would be lost); " +
                       instead);
}

// Any number, sequence or array-like (anything with __array__) as a float64
// array, never the caller's object when a conversion is needed; *given gets
// the array before that conversion (which may share memory with the
// caller's). Text, complex numbers, objects, dates and masked arrays are
// refused rather than coerced.
py::array read_array(py::handle h, const char* name, py::object* given = nullptr) {
  if (masked(h)) {
    refuse_masked(name, "pass " + std::string(name) + ".filled(np.nan) with errors=\"nan\"");
  }
  py::object a;
  try {
    a = numpy_function("asarray")(h);
  } catch (py::error_already_set& e) {
    const std::string why = py::str(e.value());
    if (e.matches(PyExc_TypeError)) throw py::type_error(std::string(name) + ": " + why);
    throw py::value_error(std::string(name) + ": cannot be read as numbers: " + why);
  }
  if (!py::isinstance<py::array>(a)) throw py::type_error(std::string(name) + ": not an array");
  py::array array = py::reinterpret_borrow<py::array>(a);
  if (given != nullptr) *given = array;
  const py::dtype dtype = array.dtype();
  const char kind = dtype.kind();
  if (kind == 'f' && dtype.itemsize() == 8 && dtype.attr("isnative").cast<bool>()) return array;
  if (kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f') {
    return py::reinterpret_steal<py::array>(array.attr("astype")("float64").release());
  }
  std::string what;
  switch (kind) {
    case 'U':
    case 'S': what = "text"; break;
    case 'c': what = "complex numbers"; break;
    default: what = "values of dtype " + dtype.attr("name").cast<std::string>(); break;
  }
  if (array.ndim() == 0 && kind != 'O') what += " (" + type_name(h) + ")";
  if (kind == 'O' && array.ndim() == 0) what = "a " + type_name(h);
  throw py::type_error(std::string(name) + ": expected numbers, got " + what);
}

bool read_errors(py::handle errors) {
  if (PyUnicode_Check(errors.ptr())) {
    if (PyUnicode_CompareWithASCIIString(errors.ptr(), "raise") == 0) return false;
    if (PyUnicode_CompareWithASCIIString(errors.ptr(), "nan") == 0) return true;
  }
  throw py::value_error("errors must be 'raise' or 'nan', not " + shown(errors));
}

geoconv::Mode read_mode(py::handle mode) {
  if (PyUnicode_Check(mode.ptr())) {
    if (PyUnicode_CompareWithASCIIString(mode.ptr(), "exact") == 0) return geoconv::Mode::kExact;
    if (PyUnicode_CompareWithASCIIString(mode.ptr(), "fast") == 0) {
#if defined(GEOCONV_PYTHON_FAST)
      static const geoconv::Mode fast = geoconv::fast::mode();
      return fast;
#else
      return geoconv::Mode::kFast;  // the exact bits
#endif
    }
  }
  throw py::value_error("mode must be 'exact' or 'fast', not " + shown(mode));
}

int available_cores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int read_threads(py::handle threads) {
  if (threads.is_none()) return available_cores();
  if (!PyLong_Check(threads.ptr()) || PyBool_Check(threads.ptr())) {
    throw py::type_error("threads must be None or an int, not " + type_name(threads));
  }
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(threads.ptr(), &overflow);
  if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow > 0) return kMaxThreads;  // any count beyond the cap is the cap
  if (overflow < 0 || n < 1) {
    throw py::value_error("threads must be at least 1, not " + shown(threads));
  }
  return static_cast<int>(std::min<long long>(n, kMaxThreads));
}

// ---------------------------------------------------------------------------
// Which elements of arrays share memory. An array's elements are the byte
// ranges [low + offset, + item) where each offset is a sum of index * stride
// over its dimensions; whether two such sets meet is a bounded integer
// problem, decided exactly where that is cheap and otherwise "maybe".

enum class Sharing { kNo, kYes, kMaybe };

constexpr Index kListedElements = Index{1} << 22;  // most offsets listed and sorted for an answer
constexpr Index kFarBytes = Index{1} << 60;        // beyond the span of any array in memory

struct Layout {
  std::uintptr_t low = 0;  // its lowest byte
  Index span = 0;          // from its lowest element's offset to its highest's
  Index item = 8;
  Index size = 0;          // its elements
  Index distinct = 1;      // the product of the extents below: offsets to list
  bool repeats = false;    // a dimension of stride 0 and more than one element
  bool far = false;        // a span beyond kFarBytes: no valid array, not examined
  int ndim = 0;
  struct Dim {
    Index n, step;
  } dims[kMaxDims];  // ndim of them: extent n > 1, |stride| step > 0, by step ascending
  const Dim* begin() const { return dims; }
  const Dim* end() const { return dims + ndim; }
};

Layout layout_of(const py::array& a) {
  Layout l;
  l.item = a.itemsize();
  l.size = a.size();
  std::uintptr_t low = reinterpret_cast<std::uintptr_t>(a.data());
  for (py::ssize_t d = 0; d < a.ndim(); ++d) {
    const Index n = a.shape(d), s = a.strides(d);
    if (n <= 1) continue;
    if (s == 0) {
      l.repeats = true;
      continue;
    }
    if (s < -kFarBytes || s > kFarBytes || (s < 0 ? -s : s) > kFarBytes / (n - 1)) {
      l.far = true;
      continue;
    }
    const Index step = s < 0 ? -s : s, reach = step * (n - 1);
    if (s < 0) low -= static_cast<std::uintptr_t>(reach);
    l.span += reach;
    l.far = l.far || l.span > kFarBytes;
    l.distinct *= n;
    l.dims[l.ndim++] = {n, step};
  }
  l.low = low;
  std::sort(l.dims, l.dims + l.ndim,
            [](const Layout::Dim& x, const Layout::Dim& y) { return x.step < y.step; });
  return l;
}

// Every element's offset from the lowest, sorted (l.distinct of them).
std::vector<Index> offsets(const Layout& l) {
  std::vector<Index> v{0};
  v.reserve(static_cast<std::size_t>(l.distinct));
  for (const auto& [n, step] : l) {
    const std::size_t m = v.size();
    for (Index i = 1; i < n; ++i) {
      for (std::size_t j = 0; j < m; ++j) v.push_back(v[j] + i * step);
    }
  }
  std::sort(v.begin(), v.end());
  return v;
}

// Whether two elements of one array share a byte.
Sharing self_overlap(const Layout& l) {
  if (l.size == 0) return Sharing::kNo;
  if (l.repeats) return Sharing::kYes;
  if (l.far) return Sharing::kMaybe;
  // Enough: each stride passes the span of the smaller ones and an element.
  Index below = 0;
  bool apart = true;
  for (const auto& [n, step] : l) {
    apart = apart && step >= below + l.item;
    below += step * (n - 1);
  }
  if (apart) return Sharing::kNo;
  if (l.distinct > kListedElements) return Sharing::kMaybe;
  const std::vector<Index> v = offsets(l);
  for (std::size_t i = 1; i < v.size(); ++i) {
    if (v[i] - v[i - 1] < l.item) return Sharing::kYes;
  }
  return Sharing::kNo;
}

// A sum's term k * stride, k from low to high.
struct Term {
  Index low, high, stride;
};

Index floor_div(Index a, Index b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
Index ceil_div(Index a, Index b) { return -floor_div(-a, b); }

// Whether a sum of terms[t..] (by stride descending) lies in [lo, hi]; least
// and most hold the smallest and largest sum of terms[t..] at [t]. Each k
// tried costs one of budget: kMaybe once it is spent.
Sharing reach(const std::vector<Term>& terms, const std::vector<Index>& least,
              const std::vector<Index>& most, std::size_t t, Index lo, Index hi, Index* budget) {
  if (t == terms.size()) return lo <= 0 && 0 <= hi ? Sharing::kYes : Sharing::kNo;
  const Term& term = terms[t];
  const Index first = std::max(term.low, ceil_div(lo - most[t + 1], term.stride));
  const Index last = std::min(term.high, floor_div(hi - least[t + 1], term.stride));
  for (Index k = first; k <= last; ++k) {
    if (--*budget < 0) return Sharing::kMaybe;
    const Sharing r = reach(terms, least, most, t + 1, lo - k * term.stride, hi - k * term.stride,
                            budget);
    if (r != Sharing::kNo) return r;
  }
  return Sharing::kNo;
}

// Whether an element of a and one of b share a byte.
Sharing share(const Layout& a, const Layout& b) {
  if (a.size == 0 || b.size == 0) return Sharing::kNo;
  if (a.far || b.far) return Sharing::kMaybe;
  const std::uintptr_t a_end = a.low + static_cast<std::uintptr_t>(a.span + a.item);
  const std::uintptr_t b_end = b.low + static_cast<std::uintptr_t>(b.span + b.item);
  if (a_end <= b.low || b_end <= a.low) return Sharing::kNo;
  // The ranges meet, so the lows are within a span of each other. Offsets x
  // of a and y of b meet where x - y lies in [lo, hi]; x - y is a sum of
  // terms, a's strides with k from 0 up and b's from 0 down (one term per
  // stride: sums of whole ranges are whole ranges).
  const auto gap = static_cast<Index>(b.low - a.low);
  const Index lo = gap - a.item + 1, hi = gap + b.item - 1;
  std::vector<Term> terms;
  auto add = [&terms](Index n, Index step, bool down) {
    for (Term& t : terms) {
      if (t.stride == step) {
        (down ? t.low : t.high) += down ? 1 - n : n - 1;
        return;
      }
    }
    terms.push_back({down ? 1 - n : 0, down ? 0 : n - 1, step});
  };
  for (const auto& [n, step] : a) add(n, step, false);
  for (const auto& [n, step] : b) add(n, step, true);
  std::sort(terms.begin(), terms.end(),
            [](const Term& x, const Term& y) { return x.stride > y.stride; });
  std::vector<Index> least(terms.size() + 1, 0), most(terms.size() + 1, 0);
  for (std::size_t t = terms.size(); t-- > 0;) {
    least[t] = least[t + 1] + terms[t].low * terms[t].stride;
    most[t] = most[t + 1] + terms[t].high * terms[t].stride;
  }
  Index budget = Index{1} << 16;
  const Sharing found = reach(terms, least, most, 0, lo, hi, &budget);
  if (found != Sharing::kMaybe) return found;
  // Too many ways to try: every offset listed, where there are few enough.
  if (a.distinct + b.distinct > kListedElements) return Sharing::kMaybe;
  const std::vector<Index> xs = offsets(a), ys = offsets(b);
  for (Index x : xs) {
    const auto y = std::lower_bound(ys.begin(), ys.end(), x - hi);
    if (y != ys.end() && *y <= x - lo) return Sharing::kYes;
  }
  return Sharing::kNo;
}

// Whether every point reads input `in` from the very element it writes in
// output `out`: the same first element and the same strides along every
// dimension of the broadcast shape with more than one point.
bool in_place(const py::array& in, const py::array& out, const std::vector<Index>& shape) {
  if (in.data() != out.data() || in.itemsize() != out.itemsize()) return false;
  const auto ndim = static_cast<py::ssize_t>(shape.size()), offset = ndim - in.ndim();
  for (py::ssize_t d = 0; d < ndim; ++d) {
    if (shape[static_cast<std::size_t>(d)] <= 1) continue;
    const Index s = d < offset || in.shape(d - offset) == 1 ? 0 : in.strides(d - offset);
    if (s != out.strides(d)) return false;
  }
  return true;
}

std::string shape_text(const std::vector<Index>& shape) {
  std::string s = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    s += std::to_string(shape[i]);
    if (i + 1 < shape.size() || shape.size() == 1) s += ",";
    if (i + 1 < shape.size()) s += " ";
  }
  return s + ")";
}

std::vector<Index> shape_of(const py::array& a) {
  return std::vector<Index>(a.shape(), a.shape() + a.ndim());
}

// ---------------------------------------------------------------------------
// Failures.

py::object& conversion_error() {
  static py::object* cls = new py::object(py::reinterpret_borrow<py::object>(PyExc_ValueError));
  return *cls;
}

// The library's reason for the fault (its message without the line end), and
// the failing point's flat index or None.
[[noreturn]] void raise_conversion_error(Fault fault, py::object index) {
  PyErr_SetObject(conversion_error().ptr(),
                  py::make_tuple(geoconv::reason(fault), index).ptr());
  throw py::error_already_set();
}

// ---------------------------------------------------------------------------
// One call of a routine.

py::object results(const double* values, int n) {
  if (n == 1) return py::float_(values[0]);
  return py::make_tuple(values[0], values[1], values[2]);
}

// One conversion: args are the inputs (without the site for a Site's
// conversion, whose site is `site`). Scalars are converted by the point
// routine whatever the mode.
py::object call(const Routine& r, const geoconv::Site* site, PyObject* const* args,
                py::handle out, py::handle errors, py::handle threads, py::handle mode) {
  const int nin = site != nullptr ? r.inputs : input_count(r);
  const int nout = r.outputs;
  const bool nan_on_failure = read_errors(errors);
  const geoconv::Mode how = read_mode(mode);

  // All plain Python numbers and no out=: the scalar path.
  double in[6], res[3];
  bool plain = out.is_none();
  for (int i = 0; plain && i < nin; ++i) {
    plain = read_python_number(args[i], input_name(r, i), &in[i]);
  }

  std::vector<py::array> arrays;
  py::object as_given[6];  // the inputs' arrays as the caller gave them
  if (!plain) {
    arrays.reserve(static_cast<std::size_t>(nin));
    for (int i = 0; i < nin; ++i) {
      arrays.push_back(read_array(args[i], input_name(r, i), &as_given[i]));
    }
    bool all_scalars = out.is_none();
    for (const py::array& a : arrays) all_scalars = all_scalars && a.ndim() == 0;
    if (all_scalars) {
      for (int i = 0; i < nin; ++i) in[i] = *static_cast<const double*>(arrays[i].data());
      plain = true;
    }
  }
  if (plain) {
    const Fault fault = site != nullptr ? r.run_on_site(*site, in, res) : r.run(in, res);
    if (fault != Fault::kNone) {
      if (!nan_on_failure) raise_conversion_error(fault, py::none());
      std::fill(res, res + nout, kNaN);
    }
    return results(res, nout);
  }

  // In fast mode an input not aligned to 8 bytes (as Dask's workers may
  // receive chunks) is read from an aligned copy, so that it is converted
  // with the others through run_array.
  if (how == geoconv::Mode::kFast) {
    for (py::array& a : arrays) {
      if (reinterpret_cast<std::uintptr_t>(a.data()) % sizeof(double) != 0 ||
          !a.attr("flags").attr("aligned").cast<bool>()) {
        a = py::reinterpret_steal<py::array>(a.attr("copy")().release());
      }
    }
  }

  // A site given by scalars is placed once for every point.
  geoconv::Site one_site(0.0, 0.0, 0.0);
  int operands_in = nin;
  const int s = r.inputs;  // where the site's arguments start
  if (site == nullptr && r.site && arrays[s].ndim() == 0 && arrays[s + 1].ndim() == 0 &&
      arrays[s + 2].ndim() == 0) {
    auto value = [&](int i) { return *static_cast<const double*>(arrays[i].data()); };
    one_site = geoconv::Site(value(s), value(s + 1), value(s + 2));
    site = &one_site;
    operands_in = r.inputs;
  }

  // The broadcast shape.
  int ndim = 0;
  for (const py::array& a : arrays) ndim = std::max(ndim, static_cast<int>(a.ndim()));
  if (ndim > kMaxDims) {
    throw py::value_error("too many dimensions: " + std::to_string(ndim) + ", at most " +
                          std::to_string(kMaxDims));
  }
  std::vector<Index> shape(static_cast<std::size_t>(ndim), 1);
  for (const py::array& a : arrays) {
    const int offset = ndim - static_cast<int>(a.ndim());
    for (int d = 0; d < a.ndim(); ++d) {
      Index& extent = shape[static_cast<std::size_t>(offset + d)];
      const Index n = a.shape(d);
      if (n == extent || n == 1) continue;
      if (extent != 1) {
        std::string text = "the shapes of";
        for (int i = 0; i < nin; ++i) {
          text += std::string(i == 0 ? " " : ", ") + input_name(r, i) + " " +
                  shape_text(shape_of(arrays[static_cast<std::size_t>(i)]));
        }
        throw py::value_error(text + " cannot be broadcast together");
      }
      extent = n;
    }
  }
  Index size = 1;
  for (Index n : shape) {
    if (n != 0 && size > std::numeric_limits<Index>::max() / n) {
      throw py::value_error("broadcast shape too large: " + shape_text(shape));
    }
    size *= n;
  }

  // The outputs: new arrays, or out= checked (scratch[o]: a new array in
  // place of out[o] until the end).
  std::vector<py::array> outs;
  bool scratch[3] = {}, fresh[3] = {};
  py::tuple given;
  const bool have_out = !out.is_none();
  if (have_out) {
    if (nout == 1 && py::isinstance<py::array>(out)) {
      given = py::make_tuple(out);
    } else if (py::isinstance<py::tuple>(out) || py::isinstance<py::list>(out)) {
      given = py::tuple(py::reinterpret_borrow<py::object>(out));
    } else {
      throw py::type_error("out must be a tuple of " + std::to_string(nout) +
                           " float64 arrays, not " + type_name(out));
    }
    if (static_cast<int>(given.size()) != nout) {
      throw py::value_error("out must hold " + std::to_string(nout) + " arrays, not " +
                            std::to_string(given.size()));
    }
    Layout layouts[3];
    for (int o = 0; o < nout; ++o) {
      const std::string which = "out[" + std::to_string(o) + "]";
      if (!py::isinstance<py::array>(given[o])) {
        throw py::type_error(which + " must be a NumPy array, not " + type_name(given[o]));
      }
      if (masked(given[o])) refuse_masked(which, "pass a plain ndarray");
      py::array a = py::reinterpret_borrow<py::array>(given[o]);
      const py::dtype dt = a.dtype();
      if (!(dt.kind() == 'f' && dt.itemsize() == 8 && dt.attr("isnative").cast<bool>())) {
        throw py::type_error(which + " must have dtype float64, not " + dt.attr("name").cast<std::string>());
      }
      if (!a.writeable()) throw py::value_error(which + " is read-only");
      if (shape_of(a) != shape) {
        throw py::value_error(which + " has shape " + shape_text(shape_of(a)) +
                              ", the inputs broadcast to " + shape_text(shape));
      }
      // Two points writing one element would leave the results to the order
      // of the points: refused, as is an output that may do so.
      layouts[o] = layout_of(a);
      const Sharing self = self_overlap(layouts[o]);
      if (self == Sharing::kYes) {
        throw py::value_error(which + ": its elements overlap one another (a zero stride or "
                              "overlapping strides)");
      }
      if (self == Sharing::kMaybe) {
        throw py::value_error(which + ": its elements may share memory (strides too irregular "
                              "to check over more than " + std::to_string(kListedElements) +
                              " elements)");
      }
      for (int b = 0; b < o; ++b) {
        const Sharing both = share(layouts[b], layouts[o]);
        if (both == Sharing::kYes) throw py::value_error("out arrays must not overlap one another");
        if (both == Sharing::kMaybe) {
          throw py::value_error("out[" + std::to_string(b) + "] and " + which + " may share memory "
                                "(strides too irregular to check over more than " +
                                std::to_string(kListedElements) + " elements)");
        }
      }
      outs.push_back(a);
    }
    // With errors="raise", an output sharing memory with an input (as the
    // caller gave it) gets the results in a new array first, copied over it
    // only once every point has converted: a failure leaves the caller's
    // arrays as they were. A routine that never fails needs no such copy.
    if (!nan_on_failure && r.fails) {
      Layout inputs[6];
      for (int i = 0; i < nin; ++i) {
        inputs[i] = layout_of(py::reinterpret_borrow<py::array>(as_given[i]));
      }
      for (int o = 0; o < nout; ++o) {
        bool shared = false;
        for (int i = 0; i < nin; ++i) {
          shared = shared || share(inputs[i], layouts[o]) != Sharing::kNo;
        }
        if (!shared) continue;
        py::array& a = outs[static_cast<std::size_t>(o)];
        a = a.flags() & py::array::c_style
                ? new_results(shape, size)
                : py::reinterpret_steal<py::array>(
                      numpy_function("empty_like")(a, py::arg("subok") = false).release());
        scratch[o] = fresh[o] = true;
      }
    }
    // The results are those of converting a copy of the inputs: an input
    // sharing memory with an output is read from a copy, unless it is read
    // exactly in place (each point's input the element its result goes to,
    // no other point's), which threads split safely.
    for (py::array& a : arrays) {
      const Layout l = layout_of(a);
      for (int o = 0; o < nout; ++o) {
        const py::array& b = outs[static_cast<std::size_t>(o)];
        if (!scratch[o] && !in_place(a, b, shape) && share(l, layouts[o]) != Sharing::kNo) {
          a = py::reinterpret_steal<py::array>(a.attr("copy")().release());
          break;
        }
      }
    }
  } else {
    for (int o = 0; o < nout; ++o) {
      outs.push_back(new_results(shape, size));
      fresh[o] = true;
    }
  }

  // The plan: operands' strides in the broadcast shape, dimensions of one
  // dropped, then neighbours merged where every operand allows it.
  Plan p;
  p.nin = operands_in;
  p.nout = nout;
  p.size = size;
  p.nan_on_failure = nan_on_failure;
  for (int o = 0; o < nout; ++o) p.fresh[o] = fresh[o] && size >= kMinPointsPerThread;
  p.mode = how;
  p.routine = &r;
  p.site = site;
  std::vector<py::array> ops(arrays.begin(), arrays.begin() + operands_in);
  ops.insert(ops.end(), outs.begin(), outs.end());
  std::vector<Index> strides[kMaxOperands];
  for (std::size_t o = 0; o < ops.size(); ++o) {
    const py::array& a = ops[o];
    const int offset = ndim - static_cast<int>(a.ndim());
    strides[o].assign(static_cast<std::size_t>(ndim), 0);
    for (int d = 0; d < a.ndim(); ++d) {
      if (a.shape(d) != 1) strides[o][static_cast<std::size_t>(offset + d)] = a.strides(d);
    }
    p.data[o] = static_cast<char*>(const_cast<void*>(a.data()));
  }
  int nd = 0;
  for (int d = 0; d < ndim; ++d) {
    const Index n = shape[static_cast<std::size_t>(d)];
    if (n == 1) continue;
    bool merge = nd > 0;
    for (std::size_t o = 0; merge && o < ops.size(); ++o) {
      merge = p.strides[o][nd - 1] == strides[o][static_cast<std::size_t>(d)] * n;
    }
    if (merge) {
      p.shape[nd - 1] *= n;
      for (std::size_t o = 0; o < ops.size(); ++o) {
        p.strides[o][nd - 1] = strides[o][static_cast<std::size_t>(d)];
      }
    } else {
      p.shape[nd] = n;
      for (std::size_t o = 0; o < ops.size(); ++o) p.strides[o][nd] = strides[o][static_cast<std::size_t>(d)];
      ++nd;
    }
  }
  p.ndim = std::max(nd, 1);
  p.columns = true;
  for (std::size_t o = 0; o < ops.size(); ++o) {
    p.columns = p.columns && reinterpret_cast<std::uintptr_t>(p.data[o]) % sizeof(double) == 0;
    for (int d = 0; d < p.ndim; ++d) p.columns = p.columns && p.strides[o][d] % 8 == 0;
  }

  Failure failed;
  const int nthreads = read_threads(threads);
  if (size > 0) {
    py::gil_scoped_release release;
    failed = run_threads(p, nthreads);
  }
  if (failed.status != 0) {
    throw std::runtime_error(std::string("geoconv: ") + geoconv::array_reason(failed.status));
  }
  if (failed.at >= 0) raise_conversion_error(failed.fault, py::int_(failed.at));
  for (int o = 0; o < nout; ++o) {
    if (scratch[o]) numpy_function("copyto")(given[o], outs[static_cast<std::size_t>(o)]);
  }
  if (have_out) return nout == 1 ? py::object(given[0]) : py::object(given);
  if (nout == 1) return outs[0];
  return py::make_tuple(outs[0], outs[1], outs[2]);
}

// ---------------------------------------------------------------------------
// Site, STRtoINT and the converter's line engine.

double read_site_value(py::handle h, const char* name) {
  double v;
  if (read_python_number(h, name, &v)) return v;
  if (masked(h)) refuse_masked(name, "pass a number");
  py::array a = read_array(h, name);
  if (a.ndim() != 0) {
    throw py::type_error(std::string("Site takes one position: ") + name +
                         " must be a number, not an array of shape " + shape_text(shape_of(a)));
  }
  return *static_cast<const double*>(a.data());
}

// An index clamped to the int range: STRtoINT gives the same result for any
// index beyond it (negative first gives 0; a first beyond the text gives 0; a
// last beyond the text stops at its terminator).
int read_index(py::handle h, const char* name) {
  PyObject* n = PyNumber_Index(h.ptr());
  if (n == nullptr) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + " must be an int, not " + type_name(h));
  }
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(n, &overflow);
  Py_DECREF(n);
  if (overflow != 0) return overflow > 0 ? INT_MAX : INT_MIN;
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// Text as bytes: str in UTF-8, or any bytes-like object as it is.
py::bytes read_text(py::handle text, const char* name) {
  if (PyUnicode_Check(text.ptr())) {
    PyObject* b = PyUnicode_AsUTF8String(text.ptr());
    if (b == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(b);
  }
  if (PyBytes_Check(text.ptr())) return py::reinterpret_borrow<py::bytes>(text);
  if (PyObject_CheckBuffer(text.ptr())) {
    PyObject* b = PyBytes_FromObject(text.ptr());
    if (b == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(b);
  }
  throw py::type_error(std::string(name) + " must be str or bytes, not " + type_name(text));
}

int str_to_int(py::handle text, py::handle first, py::handle last) {
  const py::bytes bytes = read_text(text, "text");
  const int f = read_index(first, "first"), l = read_index(last, "last");
  // The bytes object ends with a zero terminator; STRtoINT stops there.
  return geoconv::STRtoINT(PyBytes_AS_STRING(bytes.ptr()), f, l);
}

// The converter's line engine, made as the converter geoconv makes it from
// its arguments (Converter::make): the command, the site as --site's text
// LAT,LON,ALT (None for none) and the decimals. ValueError with make's
// reason when it refuses them.
std::string_view view(const py::bytes& bytes) {
  return {PyBytes_AS_STRING(bytes.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))};
}

std::unique_ptr<geoconv::lines::Converter> make_converter(const std::string& command,
                                                          py::handle site, int precision) {
  std::string text;
  if (!site.is_none()) {
    text = std::string(view(read_text(site, "site")));
    if (text.find('\0') != std::string::npos) throw py::value_error("site: a NUL character");
  }
  std::string why;
  auto converter = geoconv::lines::Converter::make(command, site.is_none() ? nullptr : text.c_str(),
                                                   precision, &why);
  if (converter == nullptr) throw py::value_error(why);
  return converter;
}

// The converter's output for a whole text, and its number of ERROR lines.
py::tuple convert_text(const std::string& command, py::handle text, py::handle site,
                       int precision) {
  const auto converter = make_converter(command, site, precision);
  const bool as_str = PyUnicode_Check(text.ptr());
  const py::bytes bytes = read_text(text, "text");
  std::string output;
  std::size_t errors = 0;
  {
    py::gil_scoped_release release;
    errors = converter->convert_text(view(bytes), &output);
  }
  py::object result = as_str ? py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
                                   output.data(), static_cast<Py_ssize_t>(output.size()), "replace"))
                             : py::bytes(output);
  if (!result) throw py::error_already_set();
  return py::make_tuple(result, errors);
}

// One input fed to the converter's line engine in pieces of bytes: feed()
// returns the output of the lines they complete, finish() that of a last
// line without a newline. Optionally it converts picked columns of each line.
class Lines {
 public:
  Lines(const std::string& command, py::handle site, int precision, py::handle columns,
        bool begun)
      : converter_(make_converter(command, site, precision)) {
    if (begun) converter_->resume();
    if (columns.is_none()) return;
    std::vector<std::size_t> positions;
    for (py::handle p : columns) positions.push_back(p.cast<std::size_t>());
    if (!converter_->pick_columns(positions)) {
      throw py::value_error("columns: " + command + " needs one position per input");
    }
  }
  py::bytes feed(py::handle data) {
    const py::bytes bytes = read_text(data, "data");
    std::string output;
    {
      py::gil_scoped_release release;
      converter_->feed(view(bytes), &output);
    }
    return py::bytes(output);
  }
  py::bytes finish() {
    std::string output;
    converter_->finish(&output);
    return py::bytes(output);
  }
  std::size_t errors() const { return converter_->errors(); }

 private:
  std::unique_ptr<geoconv::lines::Converter> converter_;
};

py::list split_fields(py::handle text) {
  const py::bytes bytes = read_text(text, "text");
  std::vector<std::string_view> fields;
  geoconv::lines::split_fields(view(bytes), &fields);
  py::list out;
  for (std::string_view f : fields) out.append(py::bytes(f.data(), f.size()));
  return out;
}

// Quantities as Python data: (name, unit symbol) pairs.
py::tuple quantities(const geoconv::Quantity* q, int n) {
  py::tuple t(n);
  for (int i = 0; i < n; ++i) t[i] = py::make_tuple(q[i].name, geoconv::symbol(q[i].unit));
  return t;
}

// The registry as Python data: a dict per routine with its name, summary,
// inputs and outputs, whether it takes a site and can fail, and its
// converter command (or None).
py::tuple describe_routines() {
  py::tuple list(geoconv::routine_count());
  for (int i = 0; i < geoconv::routine_count(); ++i) {
    const Routine& r = geoconv::routines()[i];
    py::dict d;
    d["name"] = r.name;
    d["summary"] = r.summary;
    d["inputs"] = quantities(r.in, r.inputs);
    d["outputs"] = quantities(r.out, r.outputs);
    d["site"] = r.site;
    d["fails"] = r.fails;
    d["command"] = r.command != nullptr ? py::object(py::str(r.command)) : py::none();
    list[i] = d;
  }
  return list;
}

// The plain C++ call the benchmark compares with: the library's array call
// over contiguous 1-d arrays straight into contiguous outputs, without the
// module around it. LLA84toEFG84 and EFG84toLLA84, or a Site's EFG84toAER and
// AERtoLLA84 when a site (lat, lon, alt) is given.
void reference_call(const std::string& routine, py::array_t<double> a, py::array_t<double> b,
                    py::array_t<double> c, py::array_t<double> x, py::array_t<double> y,
                    py::array_t<double> z, py::object site) {
  const py::ssize_t n = a.size();
  for (const py::array_t<double>* v : {&a, &b, &c, &x, &y, &z}) {
    if (v->ndim() != 1 || v->size() != n || v->strides(0) != sizeof(double)) {
      throw py::value_error("reference_call takes six contiguous 1-d arrays of one size");
    }
  }
  const Routine* r = geoconv::find_routine(routine.c_str());
  const bool on_site = !site.is_none();
  if (r == nullptr || r->outputs != 3 || r->site != on_site) {
    throw py::value_error("no reference call for " + routine);
  }
  const geoconv::Column in[3] = {{a.data(), 1}, {b.data(), 1}, {c.data(), 1}};
  const geoconv::OutColumn out[3] = {{x.mutable_data(), 1}, {y.mutable_data(), 1}, {z.mutable_data(), 1}};
  const auto count = static_cast<std::size_t>(n);
  if (on_site) {
    const auto s = site.cast<std::tuple<double, double, double>>();
    const geoconv::Site placed(std::get<0>(s), std::get<1>(s), std::get<2>(s));
    py::gil_scoped_release release;
    geoconv::run_array(*r, placed, count, in, out, nullptr);
    return;
  }
  py::gil_scoped_release release;
  geoconv::run_array(*r, count, in, out, nullptr);
}

// ---------------------------------------------------------------------------
// Entry points. The conversions are plain vectorcall functions rather than
// pybind11 ones: a scalar call is then about 100 ns cheaper, which is most of
// its cost. Each function's self is its routine's index in the registry.

template <class F>
PyObject* guarded(F&& f) {
  try {
    return f().release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const py::builtin_exception& e) {
    e.set_error();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
  return nullptr;
}

const Routine& routine_of(PyObject* self) { return geoconv::routines()[PyLong_AsSize_t(self)]; }

[[noreturn]] void wrong_count(const Routine& r) {
  throw py::type_error(std::string(r.name) + ": wrong number of arguments");
}

// name(*inputs, out, errors, threads, mode), all positional.
PyObject* convert_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return guarded([&] {
    const Routine& r = routine_of(self);
    const int n = input_count(r);
    if (nargs != n + 4) wrong_count(r);
    return call(r, nullptr, args, args[n], args[n + 1], args[n + 2], args[n + 3]);
  });
}

// site_name(site, *inputs, out, errors, threads, mode): a Site's conversion.
PyObject* site_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return guarded([&] {
    const Routine& r = routine_of(self);
    const int n = r.inputs + 1;
    if (nargs != n + 4) wrong_count(r);
    if (!py::isinstance<geoconv::Site>(args[0])) throw py::type_error("not a geoconv._core.Site");
    const auto& site = py::cast<const geoconv::Site&>(py::handle(args[0]));
    return call(r, &site, args + 1, args[n], args[n + 1], args[n + 2], args[n + 3]);
  });
}

void add_entries(py::module_& m) {
  // Method definitions must outlive the functions: kept for the process.
  const auto count = static_cast<std::size_t>(geoconv::routine_count());
  static std::vector<PyMethodDef>* defs = new std::vector<PyMethodDef>();
  static std::vector<std::string>* names = new std::vector<std::string>();
  names->reserve(2 * count);
  defs->reserve(2 * count);
  auto add = [&](std::string name, PyObject* (*entry)(PyObject*, PyObject* const*, Py_ssize_t),
                 std::size_t index) {
    names->push_back(std::move(name));
    defs->push_back({names->back().c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)),
                     METH_FASTCALL, nullptr});
    const py::object self = py::int_(index);
    PyObject* f = PyCFunction_NewEx(&defs->back(), self.ptr(), m.attr("__name__").ptr());
    if (f == nullptr) throw py::error_already_set();
    m.add_object(names->back().c_str(), py::reinterpret_steal<py::object>(f));
  };
  for (std::size_t i = 0; i < count; ++i) {
    const Routine& r = geoconv::routines()[i];
    add(r.name, &convert_entry, i);
    if (r.site) add(std::string("site_") + r.name, &site_entry, i);
  }
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Compiled conversions behind geoconv; use the geoconv package instead.";

  add_entries(m);
  m.def("routines", &describe_routines,
        "The library's routines: a dict each, with name, summary, inputs and outputs as "
        "(name, unit) pairs, site, fails and command.");
  m.attr("SITE_INPUTS") = quantities(kSiteInputs, 3);

  py::enum_<Fault>(m, "Fault", "Why a conversion failed.")
      .value("none", Fault::kNone)
      .value("latitude", Fault::kLatitude)
      .value("solve", Fault::kSolve)
      .value("range", Fault::kRange);
  m.def("message", &geoconv::message, py::arg("fault"), "The line a routine writes for the fault.");
  m.def("reason", &geoconv::reason, py::arg("fault"), "The line without its end, as shown.");

  py::class_<geoconv::Site>(m, "Site")
      .def(py::init([](py::handle lat, py::handle lon, py::handle alt) {
             return geoconv::Site(read_site_value(lat, "lat"), read_site_value(lon, "lon"),
                                  read_site_value(alt, "alt"));
           }),
           py::arg("lat"), py::arg("lon"), py::arg("alt"))
      .def_property_readonly("valid", &geoconv::Site::valid)
      .def_property_readonly("latitude", &geoconv::Site::latitude)
      .def_property_readonly("longitude", &geoconv::Site::longitude)
      .def_property_readonly("altitude", &geoconv::Site::altitude)
      .def_property_readonly("E", &geoconv::Site::E)
      .def_property_readonly("F", &geoconv::Site::F)
      .def_property_readonly("G", &geoconv::Site::G);

  m.def("STRtoINT", &str_to_int, py::arg("text"), py::arg("first"), py::arg("last"));
  m.def("convert_text", &convert_text, py::arg("command"), py::arg("text"),
        py::arg("site") = py::none(), py::arg("precision") = geoconv::lines::kDefaultDecimals,
        "Converts text as the converter geoconv does: (output, number of ERROR lines).");
  py::class_<Lines>(m, "Lines",
                    "The converter's line engine fed one input in pieces (bytes).")
      .def(py::init<const std::string&, py::handle, int, py::handle, bool>(),
           py::arg("command"), py::arg("site") = py::none(),
           py::arg("precision") = geoconv::lines::kDefaultDecimals,
           py::arg("columns") = py::none(), py::arg("begun") = false)
      .def("feed", &Lines::feed, py::arg("data"))
      .def("finish", &Lines::finish)
      .def_property_readonly("errors", &Lines::errors);
  m.def("split_fields", &split_fields, py::arg("text"),
        "A line's fields as the converter splits them, empty ones included.");
  // The level mode="fast" converts with: "avx512" or "avx2" where
  // geoconv::fast has kernels of its own there, else "scalar" (exact bits).
  m.def("fast_level", [] {
#if defined(GEOCONV_PYTHON_FAST)
    return std::string(geoconv::fast::name(geoconv::fast::level(geoconv::fast::mode())));
#else
    return std::string("scalar");
#endif
  });
  m.def("reference_call", &reference_call, py::arg("routine"), py::arg("a"), py::arg("b"),
        py::arg("c"), py::arg("x"), py::arg("y"), py::arg("z"), py::arg("site") = py::none());
  m.def("set_conversion_error", [](py::object cls) { conversion_error() = std::move(cls); });
  m.def("available_cores", &available_cores);

  m.attr("__version__") = GEOCONV_VERSION;
  m.attr("MAX_PRECISION") = geoconv::lines::kMaxDecimals;
  m.attr("WGS72_E2") = geoconv::WGS72_E2;
  m.attr("WGS84_E2") = geoconv::WGS84_E2;
  m.attr("WGS72_A") = geoconv::WGS72_A;
  m.attr("WGS84_A") = geoconv::WGS84_A;
  m.attr("EARTH_EQ_RADIUS") = geoconv::EARTH_EQ_RADIUS;
  m.attr("WGS84_B") = geoconv::WGS84_B;
  m.attr("WGS72_HEIGHT_OFFSET") = geoconv::WGS72_HEIGHT_OFFSET;
  m.attr("WGS84_HEIGHT_OFFSET") = geoconv::WGS84_HEIGHT_OFFSET;
  m.attr("PI") = geoconv::PI;
  m.attr("DEG2RAD") = geoconv::DEG2RAD;
  m.attr("RAD2DEG") = geoconv::RAD2DEG;
  m.attr("FEET_TO_METRES") = geoconv::FEET_TO_METRES;

  // The converter's rules, for the batch command: the longest line, the mark
  // an input may start with, and the precision argument read as it reads it.
  m.attr("LINE_LIMIT") = geoconv::lines::kMaxLineLength;
  m.attr("BYTE_ORDER_MARK") =
      py::bytes(geoconv::lines::kByteOrderMark.data(), geoconv::lines::kByteOrderMark.size());
  m.def(
      "parse_precision",
      [](const std::string& text) {
        int decimals = 0;
        std::string why;
        if (!geoconv::lines::parse_decimals(text, &decimals, &why)) throw py::value_error(why);
        return decimals;
      },
      py::arg("text"), "The converter's -p N read as it reads it; ValueError with its reason.");
}
