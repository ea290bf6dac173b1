// geoconv._core: the compiled half of the Python package geoconv.
//
// Every routine of the library's registry (<geoconv/registry.hpp>) is a NumPy
// ufunc here, named as the routine: its inputs (a site routine's base site
// last), its outputs and, for a routine that can fail, each point's Fault.
// NumPy broadcasts, casts and copies an input that overlaps an output; the
// ufunc's loop converts each run of points NumPy hands it through the
// registry's array entry (geoconv::run_array), split over threads when it
// is long.
//
// The functions of the package call them through one entry per routine,
// taking (*inputs, out, errors, threads, mode), and site_<name>(site,
// *inputs, out, errors, threads, mode) for a Site's conversions. An entry
// reads and checks the arguments, converts Python numbers with the point
// routine itself, and gives arrays to the ufunc with the mode and thread
// count for its loops; then raises ConversionError for the first failing
// point (the library's reason() for its Fault, and its flat index), unless
// errors="nan", where a failing point's outputs are NaN. In mode "exact"
// every point has the point routine's bits whatever the shape, strides or
// thread count ("fast" is geoconv::fast's, within the bounds of
// <geoconv/fast.hpp>, when it is linked).
//
// out= arrays may share memory with the inputs in any way, with the results
// of converting copies of the inputs (NumPy's copies); with errors="raise" an
// output over an input gets the results only once every point has
// converted, so that a failure leaves it as it was. Outputs whose elements
// meet, and masked arrays, are refused.

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

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>

#include <algorithm>
#include <climits>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <stdexcept>
#include <string_view>
#include <system_error>
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
// The ufuncs' loop. A routine's ufunc has float64 operands, its inputs then
// its outputs, and for a routine that can fail a last uint8 operand, each
// point's Fault (0 for none); a failing point's outputs are NaN.

// How the loops on this thread convert: the entries set the mode and the most
// threads for the length of their call and read back how many points failed.
// A ufunc called directly converts exactly, on one thread.
struct Settings {
  geoconv::Mode mode = geoconv::Mode::kExact;
  int threads = 1;
  Index failed = 0;
};
thread_local Settings settings;

// One call of the loop: a run of points, operand o of point k at
// args[o] + k * steps[o].
struct Run {
  const Routine* routine;
  int nin, nout;  // the inputs (a site's included) and the outputs, not the faults
  char* const* args;
  const npy_intp* steps;
  geoconv::Mode mode;
};

constexpr Index kBlock = 2048;  // points per run_array call with their faults on the stack
constexpr Index kCopied = 256;  // points per call through copies on the stack

// Converts points [begin, end) of a run and returns how many failed. Where
// every operand is aligned and steps whole doubles, run_array reads and
// writes them in place; otherwise (or where it refuses their layout) the
// points go through copies on the stack. A site the same for every point is
// placed once, as Site places it.
Index convert(const Run& u, Index begin, Index end) {
  const Routine& r = *u.routine;
  const int ops = u.nin + u.nout;
  bool direct = true;
  for (int o = 0; o < ops; ++o) {
    direct = direct && reinterpret_cast<std::uintptr_t>(u.args[o]) % sizeof(double) == 0 &&
             u.steps[o] % Index{sizeof(double)} == 0;
  }
  auto point = [&](int o, Index k) { return u.args[o] + k * u.steps[o]; };
  auto value = [&](int o) {
    double v;
    std::memcpy(&v, point(o, begin), sizeof v);
    return v;
  };
  const int s = r.inputs;  // the site's first operand
  const bool placed = r.site && u.steps[s] == 0 && u.steps[s + 1] == 0 && u.steps[s + 2] == 0;
  const geoconv::Site site = placed ? geoconv::Site(value(s), value(s + 1), value(s + 2))
                                    : geoconv::Site(0.0, 0.0, 0.0);
  const int nin = placed ? r.inputs : u.nin;
  // Where the faults lie one byte after another, or there are none, the
  // whole run goes to run_array in one call, which writes them in place.
  bool whole = direct && (!r.fails || u.steps[ops] == 1);
  Fault faults[kBlock];
  // The inputs' copies, then the outputs': at most 15 columns, 30 KiB.
  double copies[geoconv::kMaxInputs + geoconv::kMaxOutputs][kCopied];
  Index failed = 0;
  for (Index k = begin; k < end;) {
    const Index n = whole ? end - k : std::min(direct ? kBlock : kCopied, end - k);
    Fault* const fault = !whole ? faults
                         : r.fails ? reinterpret_cast<Fault*>(point(ops, k)) : nullptr;
    geoconv::Column in[geoconv::kMaxInputs];
    geoconv::OutColumn out[geoconv::kMaxOutputs];
    for (int i = 0; i < nin; ++i) {
      if (direct) {
        in[i] = {reinterpret_cast<const double*>(point(i, k)),
                 static_cast<std::ptrdiff_t>(u.steps[i] / Index{sizeof(double)})};
        continue;
      }
      for (Index j = 0; j < n; ++j) std::memcpy(&copies[i][j], point(i, k + j), sizeof(double));
      in[i] = {copies[i], 1};
    }
    for (int o = 0; o < u.nout; ++o) {
      out[o] = direct ? geoconv::OutColumn{reinterpret_cast<double*>(point(u.nin + o, k)),
                                           static_cast<std::ptrdiff_t>(u.steps[u.nin + o] /
                                                                       Index{sizeof(double)})}
                      : geoconv::OutColumn{copies[geoconv::kMaxInputs + o], 1};
    }
    const auto count = static_cast<std::size_t>(n);
    const std::size_t bad = placed ? geoconv::run_array(r, site, count, in, out, fault, u.mode)
                                   : geoconv::run_array(r, count, in, out, fault, u.mode);
    if (bad > count && direct) {  // a layout it refuses: through copies, which it never refuses
      whole = direct = false;
      continue;
    }
    for (Index j = 0; bad > 0 && j < n; ++j) {
      if (fault[j] == Fault::kNone) continue;
      for (int o = 0; o < u.nout; ++o) out[o].data[j * out[o].stride] = kNaN;
    }
    if (!direct) {
      for (int o = 0; o < u.nout; ++o) {
        for (Index j = 0; j < n; ++j) {
          std::memcpy(point(u.nin + o, k + j), &copies[geoconv::kMaxInputs + o][j], sizeof(double));
        }
      }
    }
    if (r.fails && !whole) {
      char* const to = point(ops, k);
      const Index step = u.steps[ops];
      if (bad == 0 && step == 1) {
        std::memset(to, 0, static_cast<std::size_t>(n));
      } else {
        for (Index j = 0; j < n; ++j) to[j * step] = static_cast<char>(faults[j]);
      }
    }
    failed += static_cast<Index>(bad);
    k += n;
  }
  return failed;
}

// Whether a run's points may be split: no operand written overlaps another
// (NumPy lets an output trail an input it overlaps, which is right only
// point after point), unless it is the same memory stepped alike (in place).
bool splittable(const Run& u, bool faults, Index n) {
  const int ops = u.nin + u.nout + (faults ? 1 : 0);
  auto low = [&](int o) { return u.args[o] + std::min<Index>(0, (n - 1) * u.steps[o]); };
  auto high = [&](int o) { return u.args[o] + std::max<Index>(0, (n - 1) * u.steps[o]) + 8; };
  for (int w = u.nin; w < ops; ++w) {
    for (int o = 0; o < ops; ++o) {
      if (o == w || (u.args[o] == u.args[w] && u.steps[o] == u.steps[w])) continue;
      if (low(o) < high(w) && low(w) < high(o)) return false;
    }
  }
  return true;
}

// The loop NumPy calls with a run of dims[0] points: split over up to
// settings.threads threads (this one among them), the same bits for any
// number as every point is converted alone.
void loop(char** args, const npy_intp* dims, const npy_intp* steps, void* data) {
  const Routine& r = *static_cast<const Routine*>(data);
  const Run u{&r, input_count(r), r.outputs, args, steps, settings.mode};
  const Index n = dims[0];
  Index chunks = std::clamp<Index>(std::min<Index>(settings.threads, n / kMinPointsPerThread), 1,
                                   kMaxThreads);
  if (chunks > 1 && !splittable(u, r.fails, n)) chunks = 1;
  auto bound = [&](Index c) { return n / chunks * c + std::min(c, n % chunks); };
  Index failed[kMaxThreads] = {};
  std::thread workers[kMaxThreads];
  for (Index c = 1; c < chunks; ++c) {
    auto work = [&u, &failed, c, b = bound(c), e = bound(c + 1)] { failed[c] = convert(u, b, e); };
    try {
      workers[c] = std::thread(work);
    } catch (const std::system_error&) {
      work();  // no thread to be had: this chunk here
    }
  }
  failed[0] = convert(u, 0, bound(1));
  for (Index c = 0; c < chunks; ++c) {
    if (workers[c].joinable()) workers[c].join();
    settings.failed += failed[c];
  }
  // NumPy warns of the floating-point flags a loop leaves raised; the
  // routines raise them on the way to their results, which are what count.
  std::feclearexcept(FE_ALL_EXCEPT);
}

// The routine's ufunc, named as the routine.
py::object make_ufunc(const Routine& r) {
  static PyUFuncGenericFunction functions[] = {&loop};
  const int nin = input_count(r), nout = r.outputs + (r.fails ? 1 : 0);
  // NumPy keeps pointers to these for the ufunc's life: kept for the process.
  auto* types = new std::vector<char>(static_cast<std::size_t>(nin + nout), NPY_DOUBLE);
  if (r.fails) types->back() = NPY_UBYTE;
  auto* data = new void*[1]{const_cast<Routine*>(&r)};
  auto* doc = new std::string(std::string(r.summary) + ", with the bits of geoconv." + r.name +
                              (r.fails ? " with errors=\"nan\"; the last output is each "
                                         "point's fault code, 0 for none" : "") + ".");
  PyObject* u = PyUFunc_FromFuncAndData(functions, data, types->data(), 1, nin, nout,
                                        PyUFunc_None, r.name, doc->c_str(), 0);
  if (u == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(u);
}

// Each routine's ufunc, by its index in the registry.
std::vector<py::object>& ufuncs() {
  static auto* all = new std::vector<py::object>();  // kept for life
  return *all;
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

// Any number, sequence or array-like (anything with __array__) as an array
// of numbers (bool, int, unsigned or float, which the ufuncs cast to
// float64), never modified. Text, complex numbers, objects, dates and masked
// arrays are refused rather than coerced.
py::array read_array(py::handle h, const char* name) {
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
  const py::dtype dtype = array.dtype();
  const char kind = dtype.kind();
  if (kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f') return array;
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
// Which out= elements share memory: two points writing one element would
// leave the results to the order of the points.

enum class Sharing { kNo, kYes, kMaybe };

constexpr Index kListedElements = Index{1} << 22;  // most offsets listed and sorted for an answer
constexpr Index kWork = Index{1} << 16;            // np.shares_memory's effort between two arrays

// Whether two elements of an array share a byte: yes along a zero stride;
// no where each stride, smallest first, steps past the span of the smaller
// ones and an element; else every element's offset is listed and sorted,
// where there are few enough.
Sharing self_overlap(const py::array& a) {
  if (a.size() == 0) return Sharing::kNo;
  std::vector<std::pair<Index, Index>> dims;  // |stride|, extent
  for (py::ssize_t d = 0; d < a.ndim(); ++d) {
    if (a.shape(d) <= 1) continue;
    if (a.strides(d) == 0) return Sharing::kYes;
    dims.emplace_back(std::abs(a.strides(d)), a.shape(d));
  }
  std::sort(dims.begin(), dims.end());
  const Index item = a.itemsize();
  double below = 0.0;  // the span of the smaller strides (a double cannot overflow)
  bool apart = true;
  for (const auto& [step, n] : dims) {
    apart = apart && static_cast<double>(step) >= below + static_cast<double>(item);
    below += static_cast<double>(step) * static_cast<double>(n - 1);
  }
  if (apart) return Sharing::kNo;
  if (a.size() > kListedElements || below > 0x1p60) return Sharing::kMaybe;
  std::vector<Index> offsets{0};
  for (const auto& [step, n] : dims) {
    const std::size_t m = offsets.size();
    for (Index i = 1; i < n; ++i) {
      for (std::size_t j = 0; j < m; ++j) offsets.push_back(offsets[j] + i * step);
    }
  }
  std::sort(offsets.begin(), offsets.end());
  for (std::size_t i = 1; i < offsets.size(); ++i) {
    if (offsets[i] - offsets[i - 1] < item) return Sharing::kYes;
  }
  return Sharing::kNo;
}

// Whether an element of a and one of b share a byte, as np.shares_memory
// decides it with bounded effort.
Sharing share(py::handle a, py::handle b) {
  try {
    return numpy_function("shares_memory")(a, b, py::arg("max_work") = kWork).cast<bool>()
               ? Sharing::kYes
               : Sharing::kNo;
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_RuntimeError)) throw;  // NumPy's TooHardError
    return Sharing::kMaybe;
  }
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
  py::tuple t(n);
  for (int o = 0; o < n; ++o) t[o] = py::float_(values[o]);
  return t;
}

// A new array for results. One of 4 MiB or more lies on 2 MiB boundaries
// with transparent huge pages asked for: where the kernel gives them, its
// pages cost one fault and one clearing per 2 MiB instead of a fault per
// 4 KiB page, which on a virtual machine can cost more than the conversion
// itself (NumPy asks for them too, but its arrays start anywhere in a 2 MiB
// page). Freed with the array.
py::array new_results(const std::vector<Index>& shape, const char* dtype, std::size_t item) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  std::size_t bytes = item;
  for (Index n : shape) bytes *= static_cast<std::size_t>(n);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes >= 2 * kHuge) {
    void* data = nullptr;
    const std::size_t whole = (bytes + kHuge - 1) / kHuge * kHuge;
    if (posix_memalign(&data, kHuge, whole) == 0) {
      madvise(data, whole, MADV_HUGEPAGE);  // a hint: without it, 4 KiB pages
      py::capsule owner(data, [](void* d) { std::free(d); });
      return py::array(py::dtype(dtype), shape, {}, data, owner);
    }
  }
#endif
  return py::array(py::dtype(dtype), shape);
}

// For the length of a call, the settings of this thread's loops.
class Scoped {
 public:
  explicit Scoped(const Settings& s) : saved_(settings) { settings = s; }
  ~Scoped() { settings = saved_; }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

 private:
  Settings saved_;
};

// One conversion: args are the inputs (without the site for a Site's
// conversion, whose site is `site`). Scalars are converted by the point
// routine whatever the mode; arrays by the routine's ufunc.
py::object call(const Routine& r, const geoconv::Site* site, PyObject* const* args,
                py::handle out, py::handle errors, py::handle threads, py::handle mode) {
  const int nin = site != nullptr ? r.inputs : input_count(r);
  const int nout = r.outputs;
  const bool nan_on_failure = read_errors(errors);
  const geoconv::Mode how = read_mode(mode);

  // All plain Python numbers and no out=: the scalar path.
  double in[geoconv::kMaxInputs], res[geoconv::kMaxOutputs];
  bool plain = out.is_none();
  for (int i = 0; plain && i < nin; ++i) {
    plain = read_python_number(args[i], input_name(r, i), &in[i]);
  }
  std::vector<py::array> arrays;
  if (!plain) {
    for (int i = 0; i < nin; ++i) arrays.push_back(read_array(args[i], input_name(r, i)));
    bool all_scalars = out.is_none();
    for (const py::array& a : arrays) all_scalars = all_scalars && a.ndim() == 0;
    if (all_scalars) {
      for (int i = 0; i < nin; ++i) in[i] = py::float_(arrays[static_cast<std::size_t>(i)]);
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

  // The broadcast shape, for the messages and out='s shape.
  std::size_t ndim = 0;
  for (const py::array& a : arrays) ndim = std::max(ndim, static_cast<std::size_t>(a.ndim()));
  std::vector<Index> shape(ndim, 1);
  for (const py::array& a : arrays) {
    const std::size_t offset = ndim - static_cast<std::size_t>(a.ndim());
    for (py::ssize_t d = 0; d < a.ndim(); ++d) {
      Index& extent = shape[offset + static_cast<std::size_t>(d)];
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
    if (n != 0 && size > std::numeric_limits<Index>::max() / 8 / n) {
      throw py::value_error("broadcast shape too large: " + shape_text(shape));
    }
    size *= n;
  }

  // out= checked. With errors="raise", an output sharing memory with an
  // input gets the results in a new array first, copied
  // over it only once every point has converted: a failure leaves the
  // caller's arrays as they were. A routine that never fails needs no such
  // copy.
  py::tuple given;
  py::tuple outs(nout + (r.fails ? 1 : 0));  // to the ufunc; the faults always new
  bool copied[geoconv::kMaxOutputs] = {};  // out[o] gets the results of a new array
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
    for (int o = 0; o < nout; ++o) {
      const std::string which = "out[" + std::to_string(o) + "]";
      if (!py::isinstance<py::array>(given[o])) {
        throw py::type_error(which + " must be a NumPy array, not " + type_name(given[o]));
      }
      if (masked(given[o])) refuse_masked(which, "pass a plain ndarray");
      const py::array a = py::reinterpret_borrow<py::array>(given[o]);
      const py::dtype dt = a.dtype();
      if (!(dt.kind() == 'f' && dt.itemsize() == 8 && dt.attr("isnative").cast<bool>())) {
        throw py::type_error(which + " must have dtype float64, not " + dt.attr("name").cast<std::string>());
      }
      if (!a.writeable()) throw py::value_error(which + " is read-only");
      if (shape_of(a) != shape) {
        throw py::value_error(which + " has shape " + shape_text(shape_of(a)) +
                              ", the inputs broadcast to " + shape_text(shape));
      }
      const Sharing self = self_overlap(a);
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
        const Sharing both = share(given[b], a);
        if (both == Sharing::kYes) throw py::value_error("out arrays must not overlap one another");
        if (both == Sharing::kMaybe) {
          throw py::value_error("out[" + std::to_string(b) + "] and " + which +
                                " may share memory (strides too irregular to check)");
        }
      }
      bool scratch = false;
      for (std::size_t i = 0; !nan_on_failure && r.fails && !scratch && i < arrays.size(); ++i) {
        scratch = share(arrays[i], a) != Sharing::kNo;
      }
      copied[o] = scratch;
      if (!scratch) outs[o] = a;
    }
  }
  for (std::size_t o = 0; o < outs.size(); ++o) {
    if (o < static_cast<std::size_t>(nout) && have_out && !copied[o]) continue;
    outs[o] = new_results(shape, o < static_cast<std::size_t>(nout) ? "float64" : "uint8",
                          o < static_cast<std::size_t>(nout) ? sizeof(double) : 1);
  }

  // A Site's conversion is its routine's with the site's own position: the
  // loop places it again from the same numbers, the same site.
  py::tuple operands(input_count(r));
  for (int i = 0; i < nin; ++i) operands[i] = arrays[static_cast<std::size_t>(i)];
  if (site != nullptr) {
    operands[nin] = py::float_(site->latitude());
    operands[nin + 1] = py::float_(site->longitude());
    operands[nin + 2] = py::float_(site->altitude());
  }
  py::dict keywords;
  keywords["out"] = outs;
  const Settings call_settings{how, read_threads(threads), 0};
  py::object converted;
  Index failed = 0;
  {
    const Scoped scope(call_settings);
    PyObject* got = PyObject_Call(ufuncs()[static_cast<std::size_t>(&r - geoconv::routines())].ptr(),
                                  operands.ptr(), keywords.ptr());
    if (got == nullptr) throw py::error_already_set();
    converted = py::reinterpret_steal<py::object>(got);
    failed = settings.failed;
  }
  py::tuple results = outs.size() == 1 ? py::make_tuple(converted) : py::tuple(converted);
  if (failed > 0 && !nan_on_failure) {
    const py::object faults = results[static_cast<std::size_t>(nout)];
    const py::object at = numpy_function("flatnonzero")(faults)[py::int_(0)];
    const auto fault = static_cast<Fault>(faults.attr("flat")[at].cast<int>());
    raise_conversion_error(fault, py::int_(at));
  }
  if (!have_out) {
    if (nout == 1) return py::object(results[0]);
    return py::tuple(results[py::slice(0, nout, 1)]);  // without the faults
  }
  for (int o = 0; o < nout; ++o) {
    if (copied[o]) numpy_function("copyto")(given[o], results[o]);
  }
  return nout == 1 ? py::object(given[0]) : py::object(given);
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
  return py::float_(a);
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
    const int count = input_count(r);
    py::tuple example(count);
    for (int k = 0; k < count; ++k) example[k] = r.example[k];
    d["example"] = example;
    py::list faults;
    for (Fault f : r.faults) {
      if (f != Fault::kNone) faults.append(f);
    }
    d["faults"] = py::tuple(faults);
    list[i] = d;
  }
  return list;
}

// The plain C++ call the benchmark compares with: the library's array call
// over contiguous 1-d arrays straight into contiguous outputs, without the
// module around it. inputs and outputs are sequences of arrays, as many as
// the routine's; a site (lat, lon, alt) places one for a site routine's Site
// member instead of taking the site's columns.
void reference_call(const std::string& routine, std::vector<py::array_t<double>> inputs,
                    std::vector<py::array_t<double>> outputs, py::object site) {
  const Routine* r = geoconv::find_routine(routine.c_str());
  const bool on_site = !site.is_none();
  if (r == nullptr || (on_site && !r->site)) throw py::value_error("no reference call for " + routine);
  const int nin = on_site ? r->inputs : input_count(*r);
  if (static_cast<int>(inputs.size()) != nin || static_cast<int>(outputs.size()) != r->outputs) {
    throw py::value_error(routine + " takes " + std::to_string(nin) + " input arrays and " +
                          std::to_string(r->outputs) + " output arrays");
  }
  const py::ssize_t n = inputs[0].size();
  geoconv::Column in[geoconv::kMaxInputs];
  geoconv::OutColumn out[geoconv::kMaxOutputs];
  for (std::size_t i = 0; i < inputs.size() + outputs.size(); ++i) {
    const bool is_in = i < inputs.size();
    py::array_t<double>& v = is_in ? inputs[i] : outputs[i - inputs.size()];
    if (v.ndim() != 1 || v.size() != n || v.strides(0) != sizeof(double)) {
      throw py::value_error("reference_call takes contiguous 1-d arrays of one size");
    }
    if (is_in) {
      in[i] = {v.data(), 1};
    } else {
      out[i - inputs.size()] = {v.mutable_data(), 1};
    }
  }
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
  if (_import_array() < 0 || _import_umath() < 0) throw py::error_already_set();

  py::dict by_name;
  for (int i = 0; i < geoconv::routine_count(); ++i) {
    const Routine& r = geoconv::routines()[i];
    ufuncs().push_back(make_ufunc(r));
    by_name[r.name] = ufuncs().back();
  }
  m.attr("ufuncs") = by_name;

  add_entries(m);
  m.def("routines", &describe_routines,
        "The library's routines: a dict each, with name, summary, inputs and outputs as "
        "(name, unit) pairs, site, fails, command, example (a worked example's inputs, "
        "the base site's last) and faults (those it may give, in the order it checks them).");
  m.attr("SITE_INPUTS") = quantities(kSiteInputs, 3);

  py::enum_<Fault>(m, "Fault", "Why a conversion failed.")
      .value("none", Fault::kNone)
      .value("latitude", Fault::kLatitude)
      .value("solve", Fault::kSolve)
      .value("range", Fault::kRange)
      .value("at_site", Fault::kAtSite);
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
  m.def("reference_call", &reference_call, py::arg("routine"), py::arg("inputs"),
        py::arg("outputs"), py::arg("site") = py::none());
  m.def("set_conversion_error", [](py::object cls) { conversion_error() = std::move(cls); });
  m.def("available_cores", &available_cores);

  m.attr("__version__") = GEOCONV_VERSION;
  m.attr("MAX_PRECISION") = geoconv::lines::kMaxDecimals;
  // The library's constants, each under its name, and CONSTANTS: their names
  // and meanings in order.
  py::list constants;
#define GEOCONV_CONSTANT(name, value, about) \
  m.attr(#name) = geoconv::name;             \
  constants.append(py::make_tuple(#name, about));
#include <geoconv/constants.def>
  m.attr("CONSTANTS") = py::tuple(constants);

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
