// No routine touches the heap: malloc (which operator new calls) is
// interposed in this program and counted across calls of every routine,
// failing calls and calls that write a message included, and every
// routine's array form in both modes (the fast one through geoconv::fast
// where it is built), results overlapping inputs included.

#include <geoconv/geoconv.hpp>
#include <geoconv/registry.hpp>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "modes.hpp"

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

extern "C" void* malloc(std::size_t n) { return allocations += counting, __libc_malloc(n); }
extern "C" void* calloc(std::size_t n, std::size_t size) { return allocations += counting, __libc_calloc(n, size); }
extern "C" void* realloc(void* p, std::size_t n) { return allocations += counting, __libc_realloc(p, n); }

int main() {
  using namespace geoconv;
  // A stream with its own buffer, written once already, so that writing a
  // message costs the stream nothing either.
  static char buffer[1 << 16];
  std::FILE* sink = std::fopen("/dev/null", "w");
  std::setvbuf(sink, buffer, _IOFBF, sizeof buffer);
  std::fprintf(sink, "warm\n");

  counting = true;  // the counter counts
  std::free(std::malloc(16));
  delete new int(1);
  const long probe = allocations;

  double a, b, c;
  for (int i = 0; i < 2000; ++i) {
    std::FILE* s = (i % 2 == 0) ? sink : nullptr;
    const double lat = -95.0 + 0.095 * i, lon = -180.0 + 0.18 * i, alt = 10.0 * i;
    const double range = (i % 10 == 0) ? 0.0 : 1e4;
    LLA84toEFG84(s, lat, lon, alt, &a, &b, &c);
    EFG84toLLA84(s, (i % 7 == 0) ? 0.0 : a, (i % 7 == 0) ? 0.0 : b, c, &a, &b, &c);
    AERtoLLA84(s, lon, lat / 2, range, lat, lon, alt, &a, &b, &c);
    EFG84toAER(s, 4e6, 1e5, 4.9e6, lat, lon, alt, &a, &b, &c);
    AERtoEFG84(s, lon, lat / 2, range, lat, lon, alt, &a, &b, &c);
    const Site site(s, lat, lon, alt);
    site.AERtoLLA84(s, lon, lat / 2, range, &a, &b, &c);
    site.EFG84toAER(s, 4e6, 1e5, 4.9e6, &a, &b, &c);
    site.AERtoEFG84(s, lon, lat / 2, range, &a, &b, &c);
    AERtoXYZ(s, lon, lat, range, &a, &b, &c);
    XYZtoAER(s, lat, lon, alt, &a, &b, &c);
    EFG84toEFG72(s, lat, lon, alt, &a, &b, &c);
    DEGtoDMS(lon, &a, &b, &c);
    STRtoINT("N51W002", 1, 2);
    sqr(cube(tand(lat)) + acosd(0.5) + atan2d(lat, lon) + sind(a) + cosd(b) + asind(c / 1e9));
  }
  // Every routine of the registry over 64 points, exact and fast, free and
  // through a placed site.
  constexpr int kIn = kMaxInputs, kOut = kMaxOutputs;
  static double in[kIn][64], out[kOut][64];
  for (int k = 0; k < kIn; ++k) {
    for (int i = 0; i < 64; ++i) in[k][i] = 30.0 * k - 91.0 + i;
  }
  Column columns[kIn];
  OutColumn results[kOut];
  for (int k = 0; k < kIn; ++k) columns[k] = {in[k], 1};
  for (int k = 0; k < kOut; ++k) results[k] = {out[k], 1};
  Fault faults[64];
  const Site site(10.0, 20.0, 30.0);
  // Results one point on from their inputs (taken last to first through
  // the stack) and exactly in place.
  static double shifted[kIn * 64 + kIn];
  Column on[kIn];
  OutColumn ahead[kOut], over[kOut];
  for (int k = 0; k < kIn; ++k) on[k] = {shifted + k, kIn};
  for (int k = 0; k < kOut; ++k) ahead[k] = {shifted + kIn + k, kIn}, over[k] = {shifted + k, kIn};
  for (int r = 0; r < routine_count(); ++r) {
    const Mode fast = fast_mode();
    for (Mode mode : {Mode(Mode::kExact), fast}) {
      run_array(routines()[r], 64, columns, results, faults, mode);
      run_array(routines()[r], site, 64, columns, results, nullptr, mode);
      run_array(routines()[r], 64, on, ahead, faults, mode);
      run_array(routines()[r], 64, on, over, faults, mode);
      // A site repeated from the last point's inputs, which its results replace.
      const int inputs = routines()[r].inputs;
      Column last_site[kIn];
      for (int k = 0; k < kIn; ++k) {
        last_site[k] = k < inputs ? on[k] : Column{shifted + kIn * 63 + k - inputs, 0};
      }
      if (routines()[r].site) run_array(routines()[r], 64, last_site, over, faults, mode);
    }
  }
  counting = false;
  std::printf("counter check: %ld allocations; routines: %ld\n", probe, allocations - probe);
  return probe == 2 && allocations == probe ? 0 : 1;
}
