// The library's routines as data: one entry per routine of <geoconv/geoconv.hpp>
// that takes and gives numbers (the helpers, every conversion, DEGtoDMS), with
// its inputs and outputs and their units, whether it takes a base site and
// whether it can fail, the converter command that runs it, and entry points
// that take the inputs as an array and return a Fault instead of writing a
// message.
//
// Front ends convert through this table instead of naming each routine: the
// converter's commands, the C interface's generic calls, the Python module,
// the WebAssembly build and the test drivers all iterate it. The table, like
// the array overloads of geoconv.hpp, is made from the one list of routines
// in <geoconv/routines.def>.
//
// An entry's run() gives exactly the bits and outputs of the routine it
// names, and the Fault whose message() that routine writes; run_on_site()
// gives those of the Site member. Neither allocates nor writes anywhere but
// its outputs, and both may be called from any thread.
//
// Example:
//
//   #include <geoconv/registry.hpp>
//   const geoconv::Routine* r = geoconv::find_routine("EFG84toLLA84");
//   double in[3] = {0.0, 0.0, 0.0}, out[3];
//   if (geoconv::Fault f = r->run(in, out); f != geoconv::Fault::kNone)
//     std::printf("%s\n", geoconv::reason(f));   // the centre has no foot point

#ifndef GEOCONV_REGISTRY_HPP
#define GEOCONV_REGISTRY_HPP

#include <geoconv/geoconv.hpp>

#include <cstddef>

namespace geoconv {

// What a quantity is measured in. kLength is the one unit x, y, z and the
// range share in AERtoXYZ and XYZtoAER, whatever it is; kNone a pure number.
enum class Unit : unsigned char {
  kNone, kDegrees, kFeet, kMetres, kLength, kMinutes, kSeconds,
  kDegreesPerSecond, kFeetPerSecond, kMetresPerSecond,
};

// The unit's short name: "", "deg", "ft", "m", "length", "min", "s",
// "deg/s", "ft/s", "m/s".
const char* symbol(Unit unit) noexcept;

struct Quantity {
  const char* name;  // as the header names the argument: "lat", "E", "range"
  Unit unit;
};

// The most numbers a routine takes for its point, with a base site's three
// besides, and the most it gives.
constexpr int kMaxPointInputs = 6;
constexpr int kMaxInputs = kMaxPointInputs + 3;
constexpr int kMaxOutputs = 6;

struct Routine {
  const char* name;     // the routine's name in the header: "LLA84toEFG84"
  const char* summary;  // one line: "geodetic latitude, longitude, altitude to Earth-fixed"
  int inputs;           // 1 to kMaxPointInputs numbers of the point
  int outputs;          // 1 to kMaxOutputs
  Quantity in[kMaxPointInputs];
  Quantity out[kMaxOutputs];
  bool site;            // after the point's inputs come the base site's lat, lon (deg), alt (ft)
  bool fails;           // may give a Fault other than kNone
  const char* command;  // the converter's command for it, or null
  // The routine on one point: in[0 .. inputs-1], then the site's three when
  // it takes one; writes out[0 .. outputs-1] as the routine does.
  Fault (*run)(const double* in, double* out);
  // The Site member of the same name on a placed site (site routines only,
  // else null).
  Fault (*run_on_site)(const Site& site, const double* in, double* out);
  // A worked example: the inputs as run() takes them (the base site last),
  // which the documentation and the front ends show.
  double example[kMaxInputs];
  // The faults it may give, in the order it checks them, then kNone (all
  // kNone for a routine that cannot fail).
  Fault faults[3];
};

// An array of a batch: element i at data[i * stride] (stride in doubles; 0
// repeats one value for every point).
struct Column {
  const double* data;
  std::ptrdiff_t stride;
};
struct OutColumn {
  double* data;
  std::ptrdiff_t stride;
};

// The routine over n points: in[] holds its inputs' columns (a site
// routine's base site last, unless a placed site is given), out[] its
// outputs'; faults, when not null, gets each point's Fault (faults[i]).
// Returns the number of points that failed; their outputs are left as run()
// leaves them. Mode::kExact gives each point run()'s bits, as does
// Mode::kFast; geoconv::fast::mode() gives the fast mode. With a placed
// site, a routine that takes none converts nothing and returns n.
//
// Outputs may overlap inputs in any way: the results are those of converting
// a copy of the inputs (in place, shifted or interleaved alike). Where no
// result lands on another point's input nothing is copied; where results
// land only on earlier points' inputs, or only on later ones', the points are
// taken in the order that reads each input first, a chunk at a time through
// the stack. Only a call whose results land on both earlier and later
// points' inputs copies every input to the heap first (the one case that
// allocates). Instead of a count, and converting nothing, it returns
//   kArrayBadMode             mode is neither Mode::kExact nor Mode::kFast
//   kArrayNullPointer         n > 0 and in, out or a column's data is null
//   kArrayOverlappingOutputs  two results (outputs, or faults) would share a
//                             byte: an output of stride 0, or overlapping
//                             outputs; nothing is written
//   kArrayNoMemory            that copy could not be allocated
// array_reason() gives each one's text. n = 0 converts nothing and returns 0.
std::size_t run_array(const Routine& routine, std::size_t n, const Column* in,
                      const OutColumn* out, Fault* faults, Mode mode = Mode::kExact) noexcept;
std::size_t run_array(const Routine& routine, const Site& site, std::size_t n, const Column* in,
                      const OutColumn* out, Fault* faults, Mode mode = Mode::kExact) noexcept;

constexpr std::size_t kArrayBadMode = ~std::size_t{0} - 1;
constexpr std::size_t kArrayNullPointer = ~std::size_t{0} - 2;
constexpr std::size_t kArrayOverlappingOutputs = ~std::size_t{0} - 3;
constexpr std::size_t kArrayNoMemory = ~std::size_t{0} - 4;

// What a status of run_array means ("mode must be exact or fast", ...); ""
// for a count of failed points.
const char* array_reason(std::size_t status) noexcept;

// Every routine, in the header's order: routines()[0 .. routine_count()-1].
const Routine* routines() noexcept;
int routine_count() noexcept;

// The routine of that name, or of that converter command; null for none.
const Routine* find_routine(const char* name) noexcept;

}  // namespace geoconv

#endif  // GEOCONV_REGISTRY_HPP
