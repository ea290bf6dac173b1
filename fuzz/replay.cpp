// Runs a fuzz target's entry point without libFuzzer, so that every build
// replays it: over each file of the given corpus folders, then over COUNT
// generated inputs of up to 200 bytes (a fixed sequence, the same each run).
//
//   replay COUNT FOLDER...

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: replay COUNT FOLDER...\n");
    return 2;
  }
  int files = 0;
  for (int i = 2; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), {}};
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++files;
    }
  }
  const long count = std::atol(argv[1]);
  std::uint64_t state = 20261206;
  auto next = [&state] {  // splitmix64
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  };
  std::vector<std::uint8_t> data;
  for (long n = 0; n < count; ++n) {
    data.resize(next() % 201);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(next());
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("%d corpus inputs and %ld generated ones: no finding\n", files, count);
  return 0;
}
