// geoconv._core: the compiled half of the Python package geoconv.
//
// Each conversion is one "kernel": a few doubles in, one or three doubles
// out and a status, run point by point over the broadcast of its inputs.
// Arguments are read and checked with the GIL held; the points are then
// converted with the GIL released, split over threads when there are many.
// Every point is converted by the library's own routine, so a result has the
// library's bits whatever the shape, strides or thread count.
//
// The public, documented and picklable functions are the thin wrappers in
// geoconv/__init__.py; this module gives them one entry per kernel taking
// (*inputs, out, errors, threads), and site_<name>(site, *inputs, out,
// errors, threads) for a Site's conversions.

#include <geoconv/geoconv.hpp>
#include <geoconv/lines.hpp>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sched.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

namespace py = pybind11;

namespace {

using Index = std::int64_t;

constexpr int kMaxDims = 64;          // NumPy allows 32 (64 from NumPy 2)
constexpr int kMaxOperands = 9;       // six inputs and three outputs at most
constexpr Index kMinPointsPerThread = 16384;  // below this a thread costs more than it saves
constexpr int kMaxThreads = 256;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// Kernels. run() is the library's routine on one point (site inputs last);
// the site kernels also have run_site() for a site placed once.

struct Sind {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::sind(i[0]), 0; }
};
struct Cosd {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::cosd(i[0]), 0; }
};
struct Tand {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::tand(i[0]), 0; }
};
struct Asind {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::asind(i[0]), 0; }
};
struct Acosd {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::acosd(i[0]), 0; }
};
struct Atand {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::atand(i[0]), 0; }
};
struct Atan2d {
  static constexpr int nin = 2, nout = 1;
  static int run(std::FILE*, const double* i, double* o) {
    return o[0] = geoconv::atan2d(i[0], i[1]), 0;
  }
};
struct Sqr {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::sqr(i[0]), 0; }
};
struct Cube {
  static constexpr int nin = 1, nout = 1;
  static int run(std::FILE*, const double* i, double* o) { return o[0] = geoconv::cube(i[0]), 0; }
};

struct LLA84toEFG84 {
  static constexpr int nin = 3, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    return geoconv::LLA84toEFG84(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
  }
};
struct EFG84toLLA84 {
  static constexpr int nin = 3, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    return geoconv::EFG84toLLA84(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
  }
};
struct AERtoXYZ {
  static constexpr int nin = 3, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    geoconv::AERtoXYZ(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
    return 0;
  }
};
struct XYZtoAER {
  static constexpr int nin = 3, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    geoconv::XYZtoAER(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
    return 0;
  }
};
struct EFG84toEFG72 {
  static constexpr int nin = 3, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    return geoconv::EFG84toEFG72(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
  }
};
struct DEGtoDMS {
  static constexpr int nin = 1, nout = 3;
  static int run(std::FILE*, const double* i, double* o) {
    geoconv::DEGtoDMS(i[0], &o[0], &o[1], &o[2]);
    return 0;
  }
};
struct AERtoLLA84 {
  static constexpr int nin = 6, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    return geoconv::AERtoLLA84(s, i[0], i[1], i[2], i[3], i[4], i[5], &o[0], &o[1], &o[2]);
  }
  static int run_site(const geoconv::Site& site, std::FILE* s, const double* i, double* o) {
    return site.AERtoLLA84(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
  }
};
struct AERtoEFG84 {
  static constexpr int nin = 6, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    return geoconv::AERtoEFG84(s, i[0], i[1], i[2], i[3], i[4], i[5], &o[0], &o[1], &o[2]);
  }
  static int run_site(const geoconv::Site& site, std::FILE* s, const double* i, double* o) {
    return site.AERtoEFG84(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
  }
};
struct EFG84toAER {
  static constexpr int nin = 6, nout = 3;
  static int run(std::FILE* s, const double* i, double* o) {
    return geoconv::EFG84toAER(s, i[0], i[1], i[2], i[3], i[4], i[5], &o[0], &o[1], &o[2]);
  }
  static int run_site(const geoconv::Site& site, std::FILE* s, const double* i, double* o) {
    return site.EFG84toAER(s, i[0], i[1], i[2], &o[0], &o[1], &o[2]);
  }
};

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
  const geoconv::Site* site = nullptr;  // one site for every point, or null
};

// Converts points begin..end-1 (flat C-order indexes). Returns the first
// failing index, or -1. A failing point's outputs are left alone, except with
// nan_on_failure, where they become NaN and the run goes on.
using ChunkRun = Index (*)(const Plan&, Index, Index);

template <class K, bool kSite>
Index run_chunk(const Plan& p, Index begin, Index end) {
  constexpr int nops = K::nin + K::nout;
  constexpr int nin = kSite ? K::nin - 3 : K::nin;  // the site's inputs are not operands
  const int last = p.ndim - 1;
  Index index[kMaxDims];
  char* ptr[nops];
  Index rest = begin;
  for (int d = last; d >= 0; --d) {
    index[d] = rest % p.shape[d];
    rest /= p.shape[d];
  }
  const int ops = nin + K::nout;
  for (int o = 0; o < ops; ++o) {
    ptr[o] = p.data[o];
    for (int d = 0; d <= last; ++d) ptr[o] += index[d] * p.strides[o][d];
  }
  Index step[nops];
  for (int o = 0; o < ops; ++o) step[o] = p.strides[o][last];

  Index k = begin;
  while (k < end) {
    const Index count = std::min(p.shape[last] - index[last], end - k);
    for (Index j = 0; j < count; ++j, ++k) {
      double in[K::nin], out[K::nout];
      for (int i = 0; i < nin; ++i) std::memcpy(&in[i], ptr[i], sizeof(double));
      int status;
      if constexpr (kSite) {
        status = K::run_site(*p.site, nullptr, in, out);
      } else {
        status = K::run(nullptr, in, out);
      }
      if (status != 0) {
        if (!p.nan_on_failure) return k;
        for (int o = 0; o < K::nout; ++o) out[o] = kNaN;
      }
      for (int o = 0; o < K::nout; ++o) std::memcpy(ptr[nin + o], &out[o], sizeof(double));
      for (int o = 0; o < ops; ++o) ptr[o] += step[o];
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
  return -1;
}

// Runs the chunks on up to `threads` threads (the calling one among them).
// Returns the first failing index over all points: chunks are in index
// order, so it is the same for any number of threads.
Index run_threads(const Plan& p, ChunkRun run, int threads) {
  const Index chunks = std::max<Index>(
      1, std::min<Index>({threads, p.size / kMinPointsPerThread, kMaxThreads}));
  if (chunks == 1) return run(p, 0, p.size);
  auto bound = [&](Index c) { return p.size / chunks * c + std::min(c, p.size % chunks); };
  std::vector<Index> first(static_cast<std::size_t>(chunks), -1);
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
  for (Index f : first) {
    if (f >= 0) return f;
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Reading arguments.

py::object numpy_function(const char* name) {
  static py::module_* numpy = new py::module_(py::module_::import("numpy"));  // kept for life
  return numpy->attr(name);
}

std::string type_name(py::handle h) { return Py_TYPE(h.ptr())->tp_name; }

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
      throw py::value_error(std::string(name) + ": integer too large for a float64");
    }
    return true;
  }
  return false;
}

// Any number, sequence or array-like (anything with __array__) as a float64
// array, never the caller's object when a conversion is needed. Text, complex
// numbers, objects and dates are refused rather than coerced.
py::array read_array(py::handle h, const char* name) {
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
  throw py::value_error("errors must be 'raise' or 'nan', not " + std::string(py::repr(errors)));
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
  const long long n = PyLong_AsLongLong(threads.ptr());
  if (n == -1 && PyErr_Occurred()) PyErr_Clear();
  if (n < 1) throw py::value_error("threads must be at least 1, not " + std::string(py::repr(threads)));
  return static_cast<int>(std::min<long long>(n, kMaxThreads));
}

// [first, last] byte range an array's elements occupy.
std::pair<std::uintptr_t, std::uintptr_t> extent(const py::array& a) {
  auto low = reinterpret_cast<std::uintptr_t>(a.data()), high = low;
  if (a.size() == 0) return {low, low};
  for (py::ssize_t d = 0; d < a.ndim(); ++d) {
    const auto reach = static_cast<std::uintptr_t>((a.shape(d) - 1) * std::abs(a.strides(d)));
    if (a.strides(d) < 0) low -= reach; else high += reach;
  }
  return {low, high + static_cast<std::uintptr_t>(a.itemsize()) - 1};
}

bool overlap(const py::array& a, const py::array& b) {
  const auto x = extent(a), y = extent(b);
  return a.size() != 0 && b.size() != 0 && x.first <= y.second && y.first <= x.second;
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

// The library's message for one failing point, without its newline: the
// point is converted again with a stream to catch it (routines keep no state,
// so the second run fails as the first did).
template <class Run>
std::string message_of(Run run) {
  char text[512] = {};
  std::FILE* stream = fmemopen(text, sizeof text - 1, "w");
  if (stream == nullptr) return "conversion failed";
  run(stream);
  std::fclose(stream);
  std::string message(text);
  if (!message.empty() && message.back() == '\n') message.pop_back();
  return message;
}

[[noreturn]] void raise_conversion_error(const std::string& message, py::object index) {
  PyErr_SetObject(conversion_error().ptr(), py::make_tuple(message, index).ptr());
  throw py::error_already_set();
}

// ---------------------------------------------------------------------------
// One call of a kernel.

struct Kernel {
  const char* name;
  int nin, nout;
  const char* params[6];
  bool has_site;
  int (*point)(std::FILE*, const double*, double*);
  int (*site_point)(const geoconv::Site&, std::FILE*, const double*, double*);
  ChunkRun chunk, site_chunk;
};

template <class K>
constexpr bool kHasSite = K::nin == 6;

template <class K>
Kernel make_kernel(const char* name, std::initializer_list<const char*> params) {
  Kernel k{name, K::nin, K::nout, {}, kHasSite<K>, &K::run, nullptr, &run_chunk<K, false>,
           nullptr};
  int i = 0;
  for (const char* p : params) k.params[i++] = p;
  if constexpr (kHasSite<K>) {
    k.site_point = &K::run_site;
    k.site_chunk = &run_chunk<K, true>;
  }
  return k;
}

py::object results(const double* values, int n) {
  if (n == 1) return py::float_(values[0]);
  return py::make_tuple(values[0], values[1], values[2]);
}

// One conversion: args are the inputs (without the site for a Site's
// conversion, whose site is `site`).
py::object call(const Kernel& k, const geoconv::Site* site, PyObject* const* args,
                py::handle out, py::handle errors, py::handle threads) {
  const int nin = site != nullptr ? k.nin - 3 : k.nin;
  const bool nan_on_failure = read_errors(errors);

  // All plain Python numbers and no out=: the scalar path.
  double in[6], res[3];
  bool plain = out.is_none();
  for (int i = 0; plain && i < nin; ++i) plain = read_python_number(args[i], k.params[i], &in[i]);

  std::vector<py::array> arrays;
  if (!plain) {
    for (int i = 0; i < nin; ++i) arrays.push_back(read_array(args[i], k.params[i]));
    bool all_scalars = out.is_none();
    for (const py::array& a : arrays) all_scalars = all_scalars && a.ndim() == 0;
    if (all_scalars) {
      for (int i = 0; i < nin; ++i) in[i] = *static_cast<const double*>(arrays[i].data());
      plain = true;
    }
  }
  if (plain) {
    auto run = [&](std::FILE* s) {
      return site != nullptr ? k.site_point(*site, s, in, res) : k.point(s, in, res);
    };
    if (run(nullptr) != 0) {
      if (!nan_on_failure) raise_conversion_error(message_of(run), py::none());
      std::fill(res, res + k.nout, kNaN);
    }
    return results(res, k.nout);
  }

  // A site given by scalars is placed once for every point.
  geoconv::Site one_site(0.0, 0.0, 0.0);
  int operands_in = nin;
  if (site == nullptr && k.has_site && arrays[3].ndim() == 0 && arrays[4].ndim() == 0 &&
      arrays[5].ndim() == 0) {
    auto value = [&](int i) { return *static_cast<const double*>(arrays[i].data()); };
    one_site = geoconv::Site(value(3), value(4), value(5));
    site = &one_site;
    operands_in = 3;
  }

  // The broadcast shape.
  int ndim = 0;
  for (const py::array& a : arrays) ndim = std::max(ndim, static_cast<int>(a.ndim()));
  if (ndim > kMaxDims) throw py::value_error("too many dimensions");
  std::vector<Index> shape(static_cast<std::size_t>(ndim), 1);
  for (const py::array& a : arrays) {
    const int offset = ndim - static_cast<int>(a.ndim());
    for (int d = 0; d < a.ndim(); ++d) {
      Index& s = shape[static_cast<std::size_t>(offset + d)];
      const Index n = a.shape(d);
      if (n == s || n == 1) continue;
      if (s != 1) {
        std::string text = "the shapes of";
        for (int i = 0; i < nin; ++i) {
          text += std::string(i == 0 ? " " : ", ") + k.params[i] + " " +
                  shape_text(shape_of(arrays[static_cast<std::size_t>(i)]));
        }
        throw py::value_error(text + " cannot be broadcast together");
      }
      s = n;
    }
  }
  Index size = 1;
  for (Index s : shape) {
    if (s != 0 && size > std::numeric_limits<Index>::max() / s) {
      throw py::value_error("broadcast shape too large");
    }
    size *= s;
  }

  // The outputs: new arrays, or out= checked.
  std::vector<py::array> outs;
  py::tuple given;
  const bool have_out = !out.is_none();
  if (have_out) {
    if (k.nout == 1 && py::isinstance<py::array>(out)) {
      given = py::make_tuple(out);
    } else if (py::isinstance<py::tuple>(out) || py::isinstance<py::list>(out)) {
      given = py::tuple(py::reinterpret_borrow<py::object>(out));
    } else {
      throw py::type_error("out must be a tuple of " + std::to_string(k.nout) +
                           " float64 arrays, not " + type_name(out));
    }
    if (static_cast<int>(given.size()) != k.nout) {
      throw py::value_error("out must hold " + std::to_string(k.nout) + " arrays, not " +
                            std::to_string(given.size()));
    }
    for (int o = 0; o < k.nout; ++o) {
      const std::string which = "out[" + std::to_string(o) + "]";
      if (!py::isinstance<py::array>(given[o])) {
        throw py::type_error(which + " must be a NumPy array, not " + type_name(given[o]));
      }
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
      for (const py::array& b : outs) {
        if (overlap(a, b)) throw py::value_error("out arrays must not overlap one another");
      }
      outs.push_back(a);
    }
    // An input sharing memory with an output is read from a copy.
    for (py::array& a : arrays) {
      for (const py::array& b : outs) {
        if (overlap(a, b)) {
          a = py::reinterpret_steal<py::array>(a.attr("copy")().release());
          break;
        }
      }
    }
  } else {
    for (int o = 0; o < k.nout; ++o) outs.emplace_back(py::dtype("float64"), shape);
  }

  // The plan: operands' strides in the broadcast shape, dimensions of one
  // dropped, then neighbours merged where every operand allows it.
  Plan p;
  p.nin = operands_in;
  p.nout = k.nout;
  p.size = size;
  p.nan_on_failure = nan_on_failure;
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

  Index failed = -1;
  if (size > 0) {
    const int nthreads = read_threads(threads);
    const ChunkRun chunk = site != nullptr ? k.site_chunk : k.chunk;
    py::gil_scoped_release release;
    failed = run_threads(p, chunk, nthreads);
  } else {
    read_threads(threads);
  }
  if (failed >= 0) {
    // The failing point's inputs, found from its flat index.
    Index rest = failed;
    Index offset[kMaxOperands] = {};
    for (int d = p.ndim - 1; d >= 0; --d) {
      const Index i = rest % p.shape[d];
      rest /= p.shape[d];
      for (int o = 0; o < p.nin; ++o) offset[o] += i * p.strides[o][d];
    }
    for (int i = 0; i < p.nin; ++i) std::memcpy(&in[i], p.data[i] + offset[i], sizeof(double));
    raise_conversion_error(message_of([&](std::FILE* s) {
                             return site != nullptr ? k.site_point(*site, s, in, res)
                                                    : k.point(s, in, res);
                           }),
                           py::int_(failed));
  }
  if (have_out) return k.nout == 1 ? py::object(given[0]) : py::object(given);
  if (k.nout == 1) return outs[0];
  return py::make_tuple(outs[0], outs[1], outs[2]);
}

const std::vector<Kernel>& kernels() {
  static const std::vector<Kernel> list = {
      make_kernel<Sind>("sind", {"d"}),
      make_kernel<Cosd>("cosd", {"d"}),
      make_kernel<Tand>("tand", {"d"}),
      make_kernel<Asind>("asind", {"v"}),
      make_kernel<Acosd>("acosd", {"v"}),
      make_kernel<Atand>("atand", {"v"}),
      make_kernel<Atan2d>("atan2d", {"y", "x"}),
      make_kernel<Sqr>("sqr", {"x"}),
      make_kernel<Cube>("cube", {"x"}),
      make_kernel<LLA84toEFG84>("LLA84toEFG84", {"lat", "lon", "alt"}),
      make_kernel<EFG84toLLA84>("EFG84toLLA84", {"E", "F", "G"}),
      make_kernel<AERtoXYZ>("AERtoXYZ", {"az", "el", "range"}),
      make_kernel<XYZtoAER>("XYZtoAER", {"x", "y", "z"}),
      make_kernel<EFG84toEFG72>("EFG84toEFG72", {"E", "F", "G"}),
      make_kernel<DEGtoDMS>("DEGtoDMS", {"angle"}),
      make_kernel<AERtoLLA84>("AERtoLLA84",
                              {"az", "el", "range", "base_lat", "base_lon", "base_alt"}),
      make_kernel<AERtoEFG84>("AERtoEFG84",
                              {"az", "el", "range", "base_lat", "base_lon", "base_alt"}),
      make_kernel<EFG84toAER>("EFG84toAER",
                              {"E", "F", "G", "base_lat", "base_lon", "base_alt"}),
  };
  return list;
}

// ---------------------------------------------------------------------------
// Site, STRtoINT and the converter's line engine.

double read_site_value(py::handle h, const char* name) {
  double v;
  if (read_python_number(h, name, &v)) return v;
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

// The converter's line engine for a command, with its site read as the
// converter reads --site (from the numbers written exactly), and only for the
// commands that take one.
std::unique_ptr<geoconv::lines::Converter> make_converter(const std::string& command,
                                                          py::handle site, int precision) {
  const geoconv::Routine* c = geoconv::lines::find_command(command);
  char fields[128];
  if (c != nullptr && c->site) {
    py::tuple s;
    try {
      s = py::tuple(py::reinterpret_borrow<py::object>(site));
    } catch (py::error_already_set&) {
      throw py::type_error("site must be (lat, lon, alt)");
    }
    if (s.size() != 3) throw py::type_error("site must be (lat, lon, alt)");
    std::snprintf(fields, sizeof fields, "%.17g,%.17g,%.17g", read_site_value(s[0], "lat"),
                  read_site_value(s[1], "lon"), read_site_value(s[2], "alt"));
  }
  std::string why;
  auto converter = geoconv::lines::Converter::make(command, c != nullptr && c->site ? fields : nullptr,
                                                   precision, &why);
  if (converter == nullptr) throw py::value_error(why);
  return converter;
}

std::string_view view(const py::bytes& bytes) {
  return {PyBytes_AS_STRING(bytes.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))};
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

const geoconv::Routine& command_named(const std::string& command) {
  const geoconv::Routine* c = geoconv::lines::find_command(command);
  if (c == nullptr) throw py::value_error("unknown command '" + command + "'");
  return *c;
}

// LAT,LON,ALT read as the converter reads --site; ValueError with its reason.
py::tuple parse_site(py::handle text) {
  const py::bytes bytes = read_text(text, "site");
  geoconv::Site site(0.0, 0.0, 0.0);
  std::string why;
  if (!geoconv::lines::parse_site(view(bytes), &site, &why)) throw py::value_error(why);
  return py::make_tuple(site.latitude(), site.longitude(), site.altitude());
}

// The plain C++ loop the benchmark compares with: one routine over
// contiguous 1-d arrays straight into contiguous outputs, no checks per
// point. LLA84toEFG84 and EFG84toLLA84, or a Site's EFG84toAER and
// AERtoLLA84 when a site (lat, lon, alt) is given.
void reference_loop(const std::string& routine, py::array_t<double> a, py::array_t<double> b,
                    py::array_t<double> c, py::array_t<double> x, py::array_t<double> y,
                    py::array_t<double> z, py::object site) {
  const py::ssize_t n = a.size();
  for (const py::array_t<double>* v : {&a, &b, &c, &x, &y, &z}) {
    if (v->ndim() != 1 || v->size() != n || v->strides(0) != sizeof(double)) {
      throw py::value_error("reference_loop takes six contiguous 1-d arrays of one size");
    }
  }
  const double *pa = a.data(), *pb = b.data(), *pc = c.data();
  double *px = x.mutable_data(), *py_ = y.mutable_data(), *pz = z.mutable_data();
  if (!site.is_none()) {
    const auto s = site.cast<std::tuple<double, double, double>>();
    const geoconv::Site placed(std::get<0>(s), std::get<1>(s), std::get<2>(s));
    auto f = routine == "EFG84toAER"   ? &geoconv::Site::EFG84toAER
             : routine == "AERtoLLA84" ? &geoconv::Site::AERtoLLA84
                                       : nullptr;
    if (f == nullptr) throw py::value_error("no reference loop for Site." + routine);
    py::gil_scoped_release release;
    for (py::ssize_t i = 0; i < n; ++i) {
      (placed.*f)(nullptr, pa[i], pb[i], pc[i], &px[i], &py_[i], &pz[i]);
    }
    return;
  }
  auto f = routine == "LLA84toEFG84"   ? &geoconv::LLA84toEFG84
           : routine == "EFG84toLLA84" ? &geoconv::EFG84toLLA84
                                       : nullptr;
  if (f == nullptr) throw py::value_error("no reference loop for " + routine);
  py::gil_scoped_release release;
  for (py::ssize_t i = 0; i < n; ++i) f(nullptr, pa[i], pb[i], pc[i], &px[i], &py_[i], &pz[i]);
}

// ---------------------------------------------------------------------------
// Entry points. The conversions are plain vectorcall functions rather than
// pybind11 ones: a scalar call is then about 100 ns cheaper, which is most of
// its cost. Each function's self is its kernel's index.

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

const Kernel& kernel_of(PyObject* self) {
  return kernels()[PyLong_AsSize_t(self)];
}

// name(*inputs, out, errors, threads), all positional.
PyObject* convert_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return guarded([&] {
    const Kernel& k = kernel_of(self);
    if (nargs != k.nin + 3) throw py::type_error(std::string(k.name) + ": wrong number of arguments");
    return call(k, nullptr, args, args[k.nin], args[k.nin + 1], args[k.nin + 2]);
  });
}

// site_name(site, *inputs, out, errors, threads): a Site's conversion.
PyObject* site_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return guarded([&] {
    const Kernel& k = kernel_of(self);
    if (nargs != k.nin + 1) throw py::type_error(std::string(k.name) + ": wrong number of arguments");
    if (!py::isinstance<geoconv::Site>(args[0])) throw py::type_error("not a geoconv._core.Site");
    const auto& site = py::cast<const geoconv::Site&>(py::handle(args[0]));
    return call(k, &site, args + 1, args[4], args[5], args[6]);
  });
}

void add_entries(py::module_& m) {
  // Method definitions must outlive the functions: kept for the process.
  static std::vector<PyMethodDef>* defs = new std::vector<PyMethodDef>();
  static std::vector<std::string>* names = new std::vector<std::string>();
  const std::vector<Kernel>& list = kernels();
  names->reserve(2 * list.size());
  defs->reserve(2 * list.size());
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
  for (std::size_t i = 0; i < list.size(); ++i) {
    add(list[i].name, &convert_entry, i);
    if (list[i].has_site) add(std::string("site_") + list[i].name, &site_entry, i);
  }
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Compiled conversions behind geoconv; use the geoconv package instead.";

  add_entries(m);

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
        py::arg("site") = py::make_tuple(0.0, 0.0, 0.0), py::arg("precision") = 6,
        "Converts text as the converter geoconv does: (output, number of ERROR lines).");
  py::class_<Lines>(m, "Lines",
                    "The converter's line engine fed one input in pieces (bytes).")
      .def(py::init<const std::string&, py::handle, int, py::handle, bool>(),
           py::arg("command"), py::arg("site") = py::make_tuple(0.0, 0.0, 0.0),
           py::arg("precision") = 6, py::arg("columns") = py::none(), py::arg("begun") = false)
      .def("feed", &Lines::feed, py::arg("data"))
      .def("finish", &Lines::finish)
      .def_property_readonly("errors", &Lines::errors);
  m.def("split_fields", &split_fields, py::arg("text"),
        "A line's fields as the converter splits them, empty ones included.");
  m.def("result_names",
        [](const std::string& c) {
          const geoconv::Routine& r = command_named(c);
          std::string names;
          for (int i = 0; i < r.outputs; ++i) names += std::string(i ? " " : "") + r.out[i].name;
          return names;
        },
        py::arg("command"), "The names of a converter command's results, separated by blanks.");
  m.def("needs_site", [](const std::string& c) { return command_named(c).site; },
        py::arg("command"), "Whether a converter command takes --site.");
  m.def("parse_site", &parse_site, py::arg("text"),
        "LAT,LON,ALT read as the converter reads --site: (lat, lon, alt).");
  m.def("reference_loop", &reference_loop, py::arg("routine"), py::arg("a"), py::arg("b"),
        py::arg("c"), py::arg("x"), py::arg("y"), py::arg("z"), py::arg("site") = py::none());
  m.def("set_conversion_error", [](py::object cls) { conversion_error() = std::move(cls); });
  m.def("available_cores", &available_cores);

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
}
