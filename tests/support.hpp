// Small helpers shared by the test suites.

#ifndef GEOCONV_TESTS_SUPPORT_HPP
#define GEOCONV_TESTS_SUPPORT_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace geoconv_test {

// A diagnostic stream whose text can be read back.
class Capture {
 public:
  Capture() : file_(open_memstream(&buffer_, &size_)) {}
  ~Capture() {
    std::fclose(file_);
    std::free(buffer_);
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  std::FILE* stream() const { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

inline std::uint64_t bits(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Marker left in outputs to show that a failing call did not write them.
inline constexpr double kUntouched = -12345.678;

// Deterministic generator of varied inputs (splitmix64).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [lo, hi).
  double uniform(double lo, double hi) {
    const double u = static_cast<double>(next() >> 11) * 0x1.0p-53;
    return lo + (hi - lo) * u;
  }

 private:
  std::uint64_t state_;
};

}  // namespace geoconv_test

#endif
