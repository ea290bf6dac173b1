// No routine touches the heap: malloc and operator new are interposed in this
// binary and counted across many calls of every routine, failing ones and
// ones that write a message included.

#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "support.hpp"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {
bool counting = false;
long allocations = 0;
void note() {
  if (counting) ++allocations;
}
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
  note();
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  note();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  note();
  return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
}

void* operator new(std::size_t n) {
  note();
  if (void* p = __libc_malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t) noexcept { __libc_free(p); }

namespace {

using namespace geoconv;

TEST(Allocations, NoRoutineAllocates) {
  // A stream with its own buffer, written once already, so that writing a
  // message costs the stream nothing either.
  static char buffer[1 << 16];
  std::FILE* sink = std::fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  std::setvbuf(sink, buffer, _IOFBF, sizeof buffer);
  std::fprintf(sink, "warm\n");

  // The counter works.
  counting = true;
  std::free(std::malloc(16));
  delete new int(1);
  counting = false;
  ASSERT_EQ(allocations, 2);
  allocations = 0;

  geoconv_test::Random rng(23);
  double a, b, c;
  counting = true;
  for (int i = 0; i < 20000; ++i) {
    std::FILE* s = (i % 2 == 0) ? sink : nullptr;
    const double lat = rng.uniform(-95.0, 95.0), lon = rng.uniform(-180.0, 180.0);
    const double alt = rng.uniform(-1e4, 1e5), range = (i % 10 == 0) ? 0.0 : 1e4;
    LLA84toEFG84(s, lat, lon, alt, &a, &b, &c);
    EFG84toLLA84(s, (i % 7 == 0) ? 0.0 : a, (i % 7 == 0) ? 0.0 : b, c, &a, &b, &c);
    AERtoLLA84(s, lon, lat / 2, range, lat, lon, alt, &a, &b, &c);
    EFG84toAER(s, 4e6, 1e5, 4.9e6, lat, lon, alt, &a, &b, &c);
    AERtoXYZ(s, lon, lat, range, &a, &b, &c);
    XYZtoAER(s, lat, lon, alt, &a, &b, &c);
    EFG84toEFG72(s, lat, lon, alt, &a, &b, &c);
    DEGtoDMS(lon, &a, &b, &c);
    STRtoINT("N51W002", 1, 2);
    sqr(cube(tand(lat)) + acosd(0.5) + atan2d(lat, lon));
  }
  counting = false;
  EXPECT_EQ(allocations, 0);
  std::fclose(sink);
}

}  // namespace
