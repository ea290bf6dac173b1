// The native exact loop beside which make bench-js times the WebAssembly
// package: geoconv_convert_array in exact mode over the points bench.mjs
// wrote to the file named by its argument (n points of lat, lon, alt, then
// their n of E, F, G, each interleaved, as doubles of this machine), handed
// over interleaved with a fault byte per point as the package's Float64Array
// calls hand them. For each line read from standard input (one per round:
// bench.mjs starts this program once, since every new process forks Node
// and makes it fault on each page it writes next), prints one line: the
// nanoseconds of one forward and one reverse pass, elapsed and of processor
// time, each the least of two passes (the first also touches the output
// pages).

#include <geoconv/geoconv.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <vector>

int main(int argc, char** argv) {
  std::FILE* file = argc == 2 ? std::fopen(argv[1], "rb") : nullptr;
  if (file == nullptr) {
    std::fprintf(stderr, "usage: %s POINTS-FILE\n", argv[0]);
    return 2;
  }
  std::vector<double> points;
  double buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, sizeof(double), 4096, file)) > 0;) {
    points.insert(points.end(), buffer, buffer + got);
  }
  std::fclose(file);
  const std::size_t n = points.size() / 6;
  std::vector<double> out(3 * n);
  std::vector<unsigned char> faults(n);

  auto pass = [&](const char* name, const double* in) {
    const int routine = geoconv_find_routine(name);
    const double* const ins[3] = {in, in + 1, in + 2};
    double* const outs[3] = {out.data(), out.data() + 1, out.data() + 2};
    const std::ptrdiff_t strides[3] = {3, 3, 3};
    struct { double elapsed, processor; } best = {1e300, 1e300};
    for (int k = 0; k < 2; ++k) {
      const auto start = std::chrono::steady_clock::now();
      const std::clock_t processor = std::clock();
      const std::size_t failed =
          geoconv_convert_array(routine, n, ins, strides, outs, strides, faults.data(), GEOCONV_EXACT);
      const double cpu = 1e9 * static_cast<double>(std::clock() - processor) / CLOCKS_PER_SEC;
      const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
      if (failed != 0) std::fprintf(stderr, "%s: %zu points failed\n", name, failed);
      if (took.count() < best.elapsed) best.elapsed = took.count();
      if (cpu < best.processor) best.processor = cpu;
    }
    return best;
  };
  for (int c; (c = std::getchar()) != EOF;) {
    if (c != '\n') continue;
    const auto forward = pass("LLA84toEFG84", points.data());
    const auto reverse = pass("EFG84toLLA84", points.data() + 3 * n);
    std::printf("{\"points\": %zu, \"forward\": [%.0f, %.0f], \"reverse\": [%.0f, %.0f]}\n", n,
                forward.elapsed, forward.processor, reverse.elapsed, reverse.processor);
    std::fflush(stdout);
  }
}
