// geoconv::fast against Mode::kExact, at every processor level this machine
// has: every conversion (a site routine free, on a Site and with one site
// repeated by a stride of 0) over its rows of tests/data/expected.txt and
// random points, as the bounds of <geoconv/fast.hpp> state them. The faults
// must be the exact mode's, and a failing point's outputs the exact mode's
// bits. Prints the worst difference of each output as a fraction of its
// bound.

#include <geoconv/fast.h>
#include <geoconv/fast.hpp>
#include <geoconv/geoconv.h>
#include <geoconv/registry.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace geoconv;
using Point = std::vector<double>;  // the inputs, a site routine's site last

// How far an output may be from the exact one (see fast.hpp).
enum Kind { kMetres, kDegrees, kFeet, kBits, kLength, kLatitude, kLongitude, kAzimuth, kElevation };
enum class Way { kFree, kPlaced, kRepeated };  // a site per point, a Site, a stride of 0

double bound(Kind kind, const double* in, const double* exact) {
  const double lat = std::fabs(exact[0]);
  constexpr double kBands[][2] = {{85, 1e-12}, {89, 3e-12},   {89.9, 2e-11}, {89.99, 2e-10},
                                  {89.999, 2e-9}, {89.9999, 2e-8}, {90, 2e-7}};
  const double range_m = exact[2] * FEET_TO_METRES;
  switch (kind) {
    case kMetres: return 1e-8;
    case kDegrees: return 1e-12;
    case kFeet: return 1e-7;
    case kBits: return 0;
    case kLength: return 6e-16 * std::fabs(in[2]);
    case kLatitude:
    case kLongitude:
      for (const auto& band : kBands) {
        if (lat <= band[0]) return band[1];
      }
      return 2e-7;
    case kAzimuth: {
      // Due south, an east offset of a rounding's worth puts the azimuth on
      // either side of the cut: pi*RAD2DEG or 360 - pi*RAD2DEG.
      const double cut = std::fabs(exact[0] - 180.0) < 1e-9 ? 2 * (180.0 - M_PI * RAD2DEG) : 0.0;
      return cut + 1e-12 + 1e-8 / std::fabs(range_m * std::cos(exact[1] * DEG2RAD)) * RAD2DEG;
    }
    case kElevation: return 1e-12 + 1e-8 / range_m * RAD2DEG;
  }
  return 0;
}

// --- points -----------------------------------------------------------------

std::mt19937_64 rng(20240601);
double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
bool chance(double p) { return uniform(0, 1) < p; }

// Now and then a value the routines must refuse or carry through.
double odd(double value) {
  const double kOdd[] = {NAN, INFINITY, -INFINITY, -0.0};
  return chance(0.002) ? kOdd[rng() % 4] : value;
}
// An angle, now and then beyond SLEEF's argument reduction.
double angle(double lo, double hi) { return odd(chance(0.002) ? 1e302 : uniform(lo, hi)); }
double latitude() {
  if (chance(0.03)) return (chance(0.5) ? 1 : -1) * (90 - std::pow(10, uniform(-9, 0.5)));
  if (chance(0.01)) return chance(0.5) ? 90.0 : std::nextafter(-90.0, -100);
  return uniform(-90, 90);
}
double altitude() { return chance(0.5) ? uniform(-1e4, 1e5) : uniform(-1e7, 3e7); }
double range() { return chance(0.01) ? 0.0 : std::pow(10, uniform(-2, 7)); }
Point efg() {
  double p[3];
  if (chance(0.05)) {  // on and near the polar axis, and deep inside
    p[0] = uniform(-1, 1) * std::pow(10, uniform(-3, 1)), p[1] = uniform(-1, 1);
    p[2] = (chance(0.5) ? 1 : -1) * uniform(6.0e6, 6.5e6);
  } else if (chance(0.02)) {
    p[0] = uniform(-3e6, 3e6), p[1] = uniform(-3e6, 3e6), p[2] = uniform(-3e6, 3e6);
  } else {
    LLA84toEFG84(nullptr, uniform(-90, 90), uniform(-180, 180), altitude(), &p[0], &p[1], &p[2]);
  }
  return {odd(p[0]), p[1], p[2]};
}

// A point for the routine, with a site from `site` (lat, lon, alt).
Point random_point(const std::string& routine, const double* site) {
  Point p;
  if (routine == "LLA84toEFG84") p = {odd(latitude()), angle(-720, 720), odd(altitude())};
  if (routine == "EFG84toLLA84" || routine == "EFG84toEFG72" || routine == "EFG84toAER") p = efg();
  if (routine == "AERtoXYZ" || routine == "AERtoEFG84" || routine == "AERtoLLA84") {
    p = {angle(-360, 720), angle(-90, 90), odd(range())};
  }
  if (routine == "XYZtoAER") {
    p = {odd(uniform(-1e7, 1e7)), chance(0.05) ? 0.0 : uniform(-1e7, 1e7), uniform(-1e7, 1e7)};
  }
  p.insert(p.end(), site, site + 3);
  // Targets on the site's own meridian, ahead and behind, whose east is a
  // signed zero; azimuths due north and south.
  if (chance(0.05)) {
    if (routine == "EFG84toAER") {
      LLA84toEFG84(nullptr, uniform(-90, 90), site[1], altitude(), &p[0], &p[1], &p[2]);
    } else if (routine != "LLA84toEFG84" && routine != "XYZtoAER") {
      p[0] = chance(0.5) ? (chance(0.5) ? -0.0 : 0.0) : 180.0;
    }
  }
  // Targets aimed at the polar axis, where AERtoLLA84's refusals are decided.
  if (routine == "AERtoLLA84" && chance(0.05)) {
    const Point axis = efg();
    EFG84toAER(nullptr, axis[0], axis[1], axis[2], site[0], site[1], site[2], &p[0], &p[1], &p[2]);
  }
  return p;
}

// The routine's rows of the table: the inputs before "->".
std::vector<Point> table_rows(const std::string& routine) {
  std::ifstream file(GEOCONV_EXPECTED);
  std::vector<Point> rows;
  for (std::string line, word; std::getline(file, line);) {
    std::istringstream words(line);
    if (!(words >> word) || word != routine) continue;
    rows.emplace_back();
    while (words >> word && word != "->") rows.back().push_back(std::strtod(word.c_str(), nullptr));
    rows.back().resize(6);  // zeros for the site a routine does not take
  }
  return rows;
}

std::vector<Point> points(const std::string& routine, Way way, std::size_t n) {
  rng.seed(20240601);  // the same points whichever tests run
  std::vector<Point> all;
  if (way == Way::kFree) {
    all = table_rows(routine);
    while (all.size() < n) {
      const double site[3] = {odd(latitude()), uniform(-180, 180), altitude()};
      all.push_back(random_point(routine, site));
    }
    return all;
  }
  // Runs of points sharing a site: the table's own (one point each), and a
  // few sites with many points each.
  all = table_rows(routine);
  const double kSites[][3] = {{51.4722, 0, 328},      {-33.86, 151.21, 100},   {89.9999, 30, 0},
                              {-89.99, -120, 5000},   {0, 0, 0},               {45, -179.99, 1e5},
                              {90, 0, 0},             {91, 0, 0},
                              {45, -0.0, 0},          {-0.0, -0.0, -0.0}};
  for (const auto& site : kSites) {
    for (std::size_t i = 0; i < n / 10; ++i) all.push_back(random_point(routine, site));
  }
  return all;
}

// --- runs -------------------------------------------------------------------

constexpr std::uint64_t kUnwritten = 0x7ff4dead0000beefULL;

struct Results {
  std::vector<double> out[3];
  std::vector<Fault> faults;
  std::size_t failed = 0;
};

// The routine over the points, by columns; with a placed or repeated site,
// one call per run of points that share a site. Through the C interface's
// array calls when asked (<geoconv/fast.h>'s for geoconv::fast's mode).
Results convert(const Routine& r, Way way, const std::vector<Point>& pts, Mode mode,
                bool through_c = false) {
  const std::size_t n = pts.size();
  const int inputs = r.inputs + (r.site ? 3 : 0);
  std::vector<double> in[6];
  Results res;
  for (int k = 0; k < inputs; ++k) {
    for (const Point& p : pts) in[k].push_back(p[k]);
  }
  for (auto& o : res.out) {
    o.resize(n);
    for (double& d : o) std::memcpy(&d, &kUnwritten, sizeof d);
  }
  res.faults.assign(n, Fault::kNone);
  for (std::size_t from = 0, to; from < n; from = to) {
    to = way == Way::kFree ? n : from + 1;
    while (to < n && std::equal(&pts[to][3], &pts[to][6], &pts[from][3])) ++to;
    Column c[6];
    OutColumn o[3];
    for (int k = 0; k < inputs; ++k) c[k] = {in[k].data() + from, 1};
    for (int k = 0; k < 3; ++k) o[k] = {res.out[k].data() + from, 1};
    Fault* f = res.faults.data() + from;
    if (through_c && way != Way::kRepeated) {
      const double* ins[6];
      double* outs[3];
      std::ptrdiff_t strides[6] = {1, 1, 1, 1, 1, 1};
      for (int k = 0; k < inputs; ++k) ins[k] = c[k].data;
      for (int k = 0; k < 3; ++k) outs[k] = o[k].data;
      const int index = geoconv_find_routine(r.name), m = mode == Mode::kFast ? GEOCONV_FAST : GEOCONV_EXACT;
      auto* faults = reinterpret_cast<unsigned char*>(f);
      geoconv_site s;
      geoconv_site_init(&s, nullptr, pts[from][3], pts[from][4], pts[from][5]);
      const std::size_t k = to - from;
      if (mode.fast_kernels() != nullptr) {
        res.failed += way == Way::kFree
                          ? geoconv_fast_convert_array(index, k, ins, strides, outs, strides, faults)
                          : geoconv_fast_site_convert_array(&s, index, k, ins, strides, outs, strides, faults);
      } else {
        res.failed += way == Way::kFree
                          ? geoconv_convert_array(index, k, ins, strides, outs, strides, faults, m)
                          : geoconv_site_convert_array(&s, index, k, ins, strides, outs, strides, faults, m);
      }
    } else if (way == Way::kPlaced) {
      res.failed += run_array(r, Site(pts[from][3], pts[from][4], pts[from][5]), to - from, c, o, f, mode);
    } else {
      for (int k = 3; way == Way::kRepeated && k < 6; ++k) c[k].stride = 0;
      res.failed += run_array(r, to - from, c, o, f, mode);
    }
  }
  return res;
}

struct Case {
  const char* routine;
  Way way;
  Kind kinds[3];
};

class Fast : public testing::TestWithParam<Case> {};

// A case's name: its routine and way, so that names do not depend on memory.
std::string name_of(const testing::TestParamInfo<Case>& param) {
  static const char* const kWays[] = {"Free", "Placed", "Repeated"};
  return std::string(param.param.routine) + "_" + kWays[static_cast<int>(param.param.way)];
}

TEST_P(Fast, WithinBoundsOfExact) {
  const Case& c = GetParam();
  const Routine& r = *find_routine(c.routine);
  const std::vector<Point> pts = points(c.routine, c.way, 250000);
  const Results exact = convert(r, c.way, pts, Mode::kExact);
  for (int l = static_cast<int>(fast::best_level()); l >= static_cast<int>(fast::Level::kSSE2); --l) {
    const Mode mode = fast::mode(static_cast<fast::Level>(l));
    const char* level = fast::name(fast::level(mode));
    const Results got = convert(r, c.way, pts, mode);
    EXPECT_EQ(got.failed, exact.failed) << level;
    double worst[3] = {0, 0, 0}, worst_diff[3] = {0, 0, 0};
    std::size_t disagreements = 0, refused = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
      disagreements += got.faults[i] != exact.faults[i];
      refused += exact.faults[i] != Fault::kNone;
      double e[3], g[3];
      for (int k = 0; k < 3; ++k) e[k] = exact.out[k][i], g[k] = got.out[k][i];
      if (exact.faults[i] != Fault::kNone || got.faults[i] != exact.faults[i]) {
        // Refused or handed back: the exact mode's outputs.
        for (int k = 0; k < 3; ++k) {
          ASSERT_EQ(std::memcmp(&e[k], &g[k], 8), 0) << c.routine << " " << level << " point " << i
                                                     << " output " << k << ": " << g[k] << " for " << e[k];
        }
        continue;
      }
      for (int k = 0; k < 3; ++k) {
        // Within the bound, or not finite where the exact result is not
        // (any NaN for a NaN).
        // Azimuths as directions: 360 is 0.
        double diff = std::fabs(g[k] - e[k]);
        if (c.kinds[k] == kAzimuth) diff = std::min(diff, std::fabs(360.0 - diff));
        const double b = bound(c.kinds[k], pts[i].data(), e);
        ASSERT_TRUE(std::isfinite(e[k]) ? diff <= b || std::isnan(b) : std::isnan(e[k]) ? std::isnan(g[k]) : g[k] == e[k])
            << c.routine << " " << level << " point " << i << " output " << k << ": " << g[k]
            << " for " << e[k] << ", bound " << b;
        if (std::isfinite(diff) && b > 0) worst[k] = std::max(worst[k], diff / b);
        if (std::isfinite(diff)) worst_diff[k] = std::max(worst_diff[k], diff);
      }
    }
    EXPECT_EQ(disagreements, 0u) << level;
    // C's fast calls are the fast mode at the processor's best level.
    if (l == static_cast<int>(fast::best_level()) && c.way != Way::kRepeated) {
      const Results from_c = convert(r, c.way, pts, mode, true);
      EXPECT_EQ(from_c.faults, got.faults);
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(std::memcmp(from_c.out[k].data(), got.out[k].data(), pts.size() * 8), 0) << level;
      }
    }
    // The C interface's array calls, and Mode::kFast without geoconv::fast's
    // kernels, give the exact bits.
    for (bool through_c : {false, true}) {
      const Results plain = convert(r, c.way, pts, Mode::kFast, through_c);
      EXPECT_EQ(plain.faults, exact.faults) << level;
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(std::memcmp(plain.out[k].data(), exact.out[k].data(), pts.size() * 8), 0) << level;
      }
    }
    std::printf("%-13s %-8s %-6s %zu points, %zu refused by both, %zu disagreements; worst "
                "%.2g %.2g %.2g (%.2f %.2f %.2f of the bounds)\n",
                c.routine, c.way == Way::kFree ? "free" : c.way == Way::kPlaced ? "Site" : "stride0",
                level, pts.size(), refused, disagreements, worst_diff[0], worst_diff[1],
                worst_diff[2], worst[0], worst[1], worst[2]);
  }
}

constexpr Kind kLLA[3] = {kLatitude, kLongitude, kFeet};
INSTANTIATE_TEST_SUITE_P(
    Routines, Fast,
    testing::Values(Case{"LLA84toEFG84", Way::kFree, {kMetres, kMetres, kMetres}},
                    Case{"EFG84toLLA84", Way::kFree, {kDegrees, kDegrees, kFeet}},
                    Case{"AERtoXYZ", Way::kFree, {kLength, kLength, kLength}},
                    Case{"XYZtoAER", Way::kFree, {kDegrees, kDegrees, kBits}},
                    Case{"EFG84toEFG72", Way::kFree, {kBits, kBits, kBits}},
                    Case{"AERtoEFG84", Way::kFree, {kMetres, kMetres, kMetres}},
                    Case{"AERtoEFG84", Way::kPlaced, {kMetres, kMetres, kMetres}},
                    Case{"AERtoLLA84", Way::kFree, {kLLA[0], kLLA[1], kLLA[2]}},
                    Case{"AERtoLLA84", Way::kPlaced, {kLLA[0], kLLA[1], kLLA[2]}},
                    Case{"AERtoLLA84", Way::kRepeated, {kLLA[0], kLLA[1], kLLA[2]}},
                    Case{"EFG84toAER", Way::kFree, {kAzimuth, kElevation, kFeet}},
                    Case{"EFG84toAER", Way::kPlaced, {kDegrees, kDegrees, kBits}},
                    Case{"EFG84toAER", Way::kRepeated, {kDegrees, kDegrees, kBits}}),
    name_of);

// mode() has kernels of its own with AVX-512 and AVX2, at most the cap and
// the processor's best; below them it is the exact mode.
TEST(FastLevel, CappedByTheCaller) {
  for (int l = 0; l < 4; ++l) {
    const auto cap = static_cast<fast::Level>(l);
    const fast::Level want = std::min(cap, fast::best_level());
    const bool fast = want >= fast::Level::kAVX2;
    EXPECT_EQ(fast::level(fast::mode(cap)), fast ? want : fast::Level::kScalar) << fast::name(cap);
    EXPECT_EQ(fast::mode(cap).fast_kernels() != nullptr, fast) << fast::name(cap);
  }
}

}  // namespace
