// The same bits everywhere, for the routines: every routine of the registry
// over POINTS pseudo-random points (degrees within +-120, feet from -2e5 to
// 5e7, metres and lengths within +-8e6, plain numbers within +-1.2; a site
// routine's site as degrees, degrees, feet), one 32-bit FNV-1a digest of each
// routine's result bits (a refused point's outputs NaN, every NaN one
// pattern), against tests/data/routines_digest.txt. The generator is a
// 32-bit xorshift that the package's test repeats in JavaScript, so the
// WebAssembly build is held to these digests too; cross builds run this
// under their emulator.
//
//   geoconv-routines-digest [--update] FILE

#include <geoconv/registry.hpp>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace geoconv;

std::uint32_t state;
std::uint32_t next() {
  state ^= state << 13, state ^= state >> 17, state ^= state << 5;
  return state;
}
// A double in [lo, hi) from 53 random bits: 32 of one draw, 21 of the next.
double uniform(double lo, double hi) {
  const double high = next(), low = next() >> 11;
  return lo + (hi - lo) * ((high * 2097152.0 + low) * 0x1p-53);
}

double draw(Unit unit) {
  switch (unit) {
    case Unit::kDegrees: return uniform(-120, 120);
    case Unit::kFeet: return uniform(-2e5, 5e7);
    case Unit::kMetres:
    case Unit::kLength: return uniform(-8e6, 8e6);
    case Unit::kMetresPerSecond:
    case Unit::kFeetPerSecond: return uniform(-3e3, 3e3);
    case Unit::kDegreesPerSecond: return uniform(-5, 5);
    default: return uniform(-1.2, 1.2);
  }
}

std::string digest(const Routine& r, std::size_t points) {
  state = 2463534242u;
  const int inputs = r.inputs + (r.site ? 3 : 0);
  std::vector<double> in(points * static_cast<std::size_t>(inputs)), out(points * static_cast<std::size_t>(r.outputs));
  for (std::size_t i = 0; i < points; ++i) {
    for (int k = 0; k < inputs; ++k) {
      const Unit unit = k < r.inputs ? r.in[k].unit : k < r.inputs + 2 ? Unit::kDegrees : Unit::kFeet;
      in[i * static_cast<std::size_t>(inputs) + static_cast<std::size_t>(k)] = draw(unit);
    }
  }
  Column c[kMaxInputs];
  OutColumn o[kMaxOutputs];
  for (int k = 0; k < inputs; ++k) c[k] = {in.data() + k, inputs};
  for (int k = 0; k < r.outputs; ++k) o[k] = {out.data() + k, r.outputs};
  std::vector<Fault> faults(points);
  run_array(r, points, c, o, faults.data());
  // 32-bit FNV-1a over the results' low and high 32-bit halves.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < points; ++i) {
    for (int k = 0; k < r.outputs; ++k) {
      const double v = faults[i] != Fault::kNone ? NAN : out[i * static_cast<std::size_t>(r.outputs) + static_cast<std::size_t>(k)];
      std::uint64_t bits = 0x7ff8000000000000ULL;
      if (!std::isnan(v)) std::memcpy(&bits, &v, sizeof bits);
      hash = (hash ^ static_cast<std::uint32_t>(bits)) * 16777619u;
      hash = (hash ^ static_cast<std::uint32_t>(bits >> 32)) * 16777619u;
    }
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08" PRIx32, hash);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const bool update = argc == 3 && std::string(argv[1]) == "--update";
  if (argc != 2 && !update) {
    std::fprintf(stderr, "usage: geoconv-routines-digest [--update] FILE\n");
    return 2;
  }
  std::ifstream file(argv[argc - 1]);
  std::string header, line;
  std::size_t points = 0;
  std::map<std::string, std::string> want;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string key, value;
    if (line.empty() || line[0] == '#') {
      header += line + "\n";
    } else if (words >> key >> value) {
      if (key == "points") points = std::stoul(value);
      else want[key] = value;
    }
  }
  if (points == 0) {
    std::fprintf(stderr, "%s: no points line\n", argv[argc - 1]);
    return 2;
  }
  int problems = 0;
  std::string rewritten = header + "points " + std::to_string(points) + "\n";
  for (int i = 0; i < routine_count(); ++i) {
    const Routine& r = routines()[i];
    const std::string got = digest(r, points);
    rewritten += std::string(r.name) + " " + got + "\n";
    if (!update && want[r.name] != got) {
      std::printf("%s: digest %s, the file has %s\n", r.name, got.c_str(), want[r.name].c_str());
      ++problems;
    }
  }
  if (update) std::ofstream(argv[argc - 1]) << rewritten;
  std::printf("%d routines over %zu points each: %d differ\n", routine_count(), points, problems);
  return problems == 0 ? 0 : 1;
}
