// Per-call times of every conversion next to its counterparts in GeographicLib
// and PROJ, in one run, on a few thousand varied points cycled through; and
// the converter's throughput next to PROJ's cct. Ends with a table of each one's
// fastest round and the ratios ours/peer against their targets. Then every
// array routine over 1,048,576 points, exact and (where geoconv::fast is
// linked) fast at each SIMD level up to the processor's best: the exact
// arrays against the point routine in a loop (GEOCONV_ISA caps the exact
// arrays' level), and the fast mode against the exact arrays.

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <geoconv/geoconv.hpp>
#if GEOCONV_BENCH_FAST
#include <geoconv/fast.hpp>
#endif
#include <proj.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kPoints = 4096;  // a power of two, cycled through
constexpr double kDeg = 3.14159265358979323846 / 180.0;

struct Point {
  double lat, lon, alt;     // degrees, degrees, feet
  double e, f, g;           // metres, the same point
  double az, el, range;     // degrees, degrees, feet, from the site below
  double site_lat, site_lon, site_alt;
};

const std::vector<Point>& points() {
  static const std::vector<Point> p = [] {
    std::mt19937_64 rng(42);
    auto u = [&](double lo, double hi) {
      return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    std::vector<Point> v(kPoints);
    for (Point& q : v) {
      q.lat = u(-89.0, 89.0), q.lon = u(-180.0, 180.0), q.alt = u(-1000.0, 40000.0);
      geoconv::LLA84toEFG84(nullptr, q.lat, q.lon, q.alt, &q.e, &q.f, &q.g);
      q.site_lat = q.lat + u(-0.5, 0.5), q.site_lon = q.lon + u(-0.5, 0.5);
      q.site_alt = u(0.0, 3000.0);
      q.az = u(0.0, 360.0), q.el = u(-5.0, 85.0), q.range = u(1000.0, 300000.0);
    }
    return v;
  }();
  return p;
}

template <class F>
void cycle(benchmark::State& state, F&& call) {
  const std::vector<Point>& p = points();
  std::size_t i = 0;
  for (auto _ : state) {
    call(p[i]);
    i = (i + 1) & (kPoints - 1);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// The same for a call with three results, kept from being optimised away.
template <class F>
void cycle3(benchmark::State& state, F&& call) {
  cycle(state, [&](const Point& p) {
    double out[3];
    call(p, out[0], out[1], out[2]);
    benchmark::DoNotOptimize(out);
  });
}

const GeographicLib::Geocentric& earth() { return GeographicLib::Geocentric::WGS84(); }
double metres_above_ellipsoid(double feet) { return feet * 0.3048 - 24.764; }

PJ* proj(const char* definition) {
  static PJ_CONTEXT* context = proj_context_create();
  PJ* p = proj_create(context, definition);
  if (p == nullptr) {
    std::fprintf(stderr, "PROJ cannot create '%s'\n", definition);
    std::exit(2);
  }
  return p;
}

// A point's target in the site's east/north/up axes, metres, for the peers
// (ours takes azimuth, elevation and range itself).
struct Enu {
  double e, n, u;
};
Enu enu(const Point& p) {
  const double r = p.range * 0.3048, ca = std::cos(p.el * kDeg) * r;
  return {ca * std::sin(p.az * kDeg), ca * std::cos(p.az * kDeg), r * std::sin(p.el * kDeg)};
}

// --- geodetic to Earth-fixed ---------------------------------------------

void Ours_LLA84toEFG84(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& e, double& f, double& g) {
    geoconv::LLA84toEFG84(nullptr, p.lat, p.lon, p.alt, &e, &f, &g);
  });
}
void GeographicLib_Forward(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& e, double& f, double& g) {
    earth().Forward(p.lat, p.lon, metres_above_ellipsoid(p.alt), e, f, g);
  });
}
void PROJ_cart_forward(benchmark::State& s) {
  static PJ* cart = proj("+proj=cart +ellps=WGS84");
  cycle(s, [](const Point& p) {
    PJ_COORD c = proj_coord(p.lon * kDeg, p.lat * kDeg, metres_above_ellipsoid(p.alt), 0);
    c = proj_trans(cart, PJ_FWD, c);
    benchmark::DoNotOptimize(c);
  });
}
// What LLA84toEFG84 cannot avoid: the sine and cosine of both angles and one
// square root.
void Floor_sincos_sqrt(benchmark::State& s) {
  cycle(s, [](const Point& p) {
    const double a = p.lat * geoconv::DEG2RAD, b = p.lon * geoconv::DEG2RAD;
    double r[5] = {std::sin(a), std::cos(a), std::sin(b), std::cos(b), std::sqrt(p.alt)};
    benchmark::DoNotOptimize(r);
  });
}

// --- Earth-fixed to geodetic -----------------------------------------------

void Ours_EFG84toLLA84(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& lat, double& lon, double& alt) {
    geoconv::EFG84toLLA84(nullptr, p.e, p.f, p.g, &lat, &lon, &alt);
  });
}
void GeographicLib_Reverse(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& lat, double& lon, double& h) {
    earth().Reverse(p.e, p.f, p.g, lat, lon, h);
  });
}
void PROJ_cart_inverse(benchmark::State& s) {
  static PJ* cart = proj("+proj=cart +ellps=WGS84");
  cycle(s, [](const Point& p) {
    PJ_COORD c = proj_coord(p.e, p.f, p.g, 0);
    c = proj_trans(cart, PJ_INV, c);
    benchmark::DoNotOptimize(c);
  });
}

// --- site-relative ---------------------------------------------------------

void Ours_AERtoLLA84(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& lat, double& lon, double& alt) {
    geoconv::AERtoLLA84(nullptr, p.az, p.el, p.range, p.site_lat, p.site_lon, p.site_alt, &lat,
                        &lon, &alt);
  });
}
// The site changes with every call, so the local frame is built every call.
void GeographicLib_LocalCartesian_Reverse(benchmark::State& s) {
  cycle(s, [](const Point& p) {
    const GeographicLib::LocalCartesian local(p.site_lat, p.site_lon,
                                              metres_above_ellipsoid(p.site_alt));
    const Enu t = enu(p);
    double lat, lon, h;
    local.Reverse(t.e, t.n, t.u, lat, lon, h);
    benchmark::DoNotOptimize(lat), benchmark::DoNotOptimize(lon), benchmark::DoNotOptimize(h);
  });
}
// PROJ's frame is built once for one fixed site, which favours PROJ.
void PROJ_topocentric_inverse(benchmark::State& s) {
  static PJ* pipeline = proj(
      "+proj=pipeline +step +inv +proj=topocentric +ellps=WGS84 +lat_0=51.4722 +lon_0=0 "
      "+h_0=100 +step +inv +proj=cart +ellps=WGS84");
  cycle(s, [](const Point& p) {
    const Enu t = enu(p);
    PJ_COORD c = proj_coord(t.e, t.n, t.u, 0);
    c = proj_trans(pipeline, PJ_FWD, c);
    benchmark::DoNotOptimize(c);
  });
}

void Ours_EFG84toAER(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& az, double& el, double& range) {
    geoconv::EFG84toAER(nullptr, p.e, p.f, p.g, p.site_lat, p.site_lon, p.site_alt, &az, &el,
                        &range);
  });
}
void GeographicLib_Reverse_LocalCartesian_Forward(benchmark::State& s) {
  cycle(s, [](const Point& p) {
    const GeographicLib::LocalCartesian local(p.site_lat, p.site_lon,
                                              metres_above_ellipsoid(p.site_alt));
    double lat, lon, h, x, y, z;
    earth().Reverse(p.e, p.f, p.g, lat, lon, h);
    local.Forward(lat, lon, h, x, y, z);
    const double az = std::atan2(x, y) / kDeg, el = std::atan2(z, std::hypot(x, y)) / kDeg;
    const double range = std::sqrt(x * x + y * y + z * z) / 0.3048;
    benchmark::DoNotOptimize(az), benchmark::DoNotOptimize(el), benchmark::DoNotOptimize(range);
  });
}
void PROJ_topocentric_forward(benchmark::State& s) {
  static PJ* topo =
      proj("+proj=topocentric +ellps=WGS84 +lat_0=51.4722 +lon_0=0 +h_0=100");
  cycle(s, [](const Point& p) {
    PJ_COORD c = proj_trans(topo, PJ_FWD, proj_coord(p.e, p.f, p.g, 0));
    const double x = c.xyz.x, y = c.xyz.y, z = c.xyz.z;
    const double az = std::atan2(x, y) / kDeg, el = std::atan2(z, std::hypot(x, y)) / kDeg;
    const double range = std::sqrt(x * x + y * y + z * z) / 0.3048;
    benchmark::DoNotOptimize(az), benchmark::DoNotOptimize(el), benchmark::DoNotOptimize(range);
  });
}

// --- one site, many targets --------------------------------------------------
// The site is fixed, as for a radar: ours is a Site built once, and the peers
// are built once for the same site (PROJ's pipelines above already are).

constexpr double kSiteLat = 51.4722, kSiteLon = 0.0, kSiteHeight = 100.0;  // deg, deg, m
const geoconv::Site& site() {
  static const geoconv::Site s(kSiteLat, kSiteLon, (kSiteHeight + 24.764) / 0.3048);
  return s;
}
const GeographicLib::LocalCartesian& local_once() {
  static const GeographicLib::LocalCartesian l(kSiteLat, kSiteLon, kSiteHeight);
  return l;
}

// The free functions given the same site on every call, for the same targets:
// what a Site saves.
void Ours_AERtoLLA84_one_site(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& lat, double& lon, double& alt) {
    geoconv::AERtoLLA84(nullptr, p.az, p.el, p.range, site().latitude(), site().longitude(),
                        site().altitude(), &lat, &lon, &alt);
  });
}
void Ours_EFG84toAER_one_site(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& az, double& el, double& range) {
    geoconv::EFG84toAER(nullptr, p.e, p.f, p.g, site().latitude(), site().longitude(),
                        site().altitude(), &az, &el, &range);
  });
}
void Ours_Site_AERtoLLA84(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& lat, double& lon, double& alt) {
    site().AERtoLLA84(nullptr, p.az, p.el, p.range, &lat, &lon, &alt);
  });
}
void GeographicLib_LocalCartesian_Reverse_once(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& lat, double& lon, double& h) {
    const Enu t = enu(p);
    local_once().Reverse(t.e, t.n, t.u, lat, lon, h);
  });
}
void Ours_Site_EFG84toAER(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& az, double& el, double& range) {
    site().EFG84toAER(nullptr, p.e, p.f, p.g, &az, &el, &range);
  });
}
// GeographicLib has no Earth-fixed input for its local frame: Reverse first.
void GeographicLib_Reverse_LocalCartesian_Forward_once(benchmark::State& s) {
  cycle(s, [](const Point& p) {
    double lat, lon, h, x, y, z;
    earth().Reverse(p.e, p.f, p.g, lat, lon, h);
    local_once().Forward(lat, lon, h, x, y, z);
    const double az = std::atan2(x, y) / kDeg, el = std::atan2(z, std::hypot(x, y)) / kDeg;
    const double range = std::sqrt(x * x + y * y + z * z) / 0.3048;
    benchmark::DoNotOptimize(az), benchmark::DoNotOptimize(el), benchmark::DoNotOptimize(range);
  });
}
void Ours_Site_AERtoEFG84(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& e, double& f, double& g) {
    site().AERtoEFG84(nullptr, p.az, p.el, p.range, &e, &f, &g);
  });
}
void Ours_AERtoEFG84(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& e, double& f, double& g) {
    geoconv::AERtoEFG84(nullptr, p.az, p.el, p.range, p.site_lat, p.site_lon, p.site_alt, &e, &f,
                        &g);
  });
}
void PROJ_topocentric_to_cart(benchmark::State& s) {
  static PJ* topo = proj("+proj=topocentric +ellps=WGS84 +lat_0=51.4722 +lon_0=0 +h_0=100");
  cycle(s, [](const Point& p) {
    const Enu t = enu(p);
    PJ_COORD c = proj_coord(t.e, t.n, t.u, 0);
    c = proj_trans(topo, PJ_INV, c);
    benchmark::DoNotOptimize(c);
  });
}

// --- the rest of the library, no peer --------------------------------------

void Ours_AERtoXYZ(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& x, double& y, double& z) {
    geoconv::AERtoXYZ(nullptr, p.az, p.el, p.range, &x, &y, &z);
  });
}
void Ours_XYZtoAER(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& az, double& el, double& range) {
    geoconv::XYZtoAER(nullptr, p.e, p.f, p.g, &az, &el, &range);
  });
}
void Ours_EFG84toEFG72(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& e, double& f, double& g) {
    geoconv::EFG84toEFG72(nullptr, p.e, p.f, p.g, &e, &f, &g);
  });
}
void Ours_DEGtoDMS(benchmark::State& s) {
  cycle3(s, [](const Point& p, double& d, double& m, double& sec) {
    geoconv::DEGtoDMS(p.lon, &d, &m, &sec);
  });
}

// --- the converter against cct ---------------------------------------------

constexpr int kToolLines = 200000;

struct ToolFiles {
  std::string ours, cct;
};

// Removes its folder when the program ends.
struct Scratch {
  std::string folder;
  ~Scratch() { std::filesystem::remove_all(folder); }
};

const ToolFiles& tool_files() {
  static const ToolFiles files = [] {
    char dir[] = "/tmp/geoconv-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::exit(2);
    static const Scratch scratch{dir};
    ToolFiles f{std::string(dir) + "/lla.txt", std::string(dir) + "/cct.txt"};
    std::FILE* a = std::fopen(f.ours.c_str(), "w");
    std::FILE* b = std::fopen(f.cct.c_str(), "w");
    for (int i = 0; i < kToolLines; ++i) {
      const Point& p = points()[static_cast<std::size_t>(i) & (kPoints - 1)];
      // The same points: ours reads lat lon alt(ft), cct reads lon lat h(m).
      std::fprintf(a, "%.9f %.9f %.3f\n", p.lat, p.lon, p.alt);
      std::fprintf(b, "%.9f %.9f %.4f\n", p.lon, p.lat, metres_above_ellipsoid(p.alt));
    }
    std::fclose(a);
    std::fclose(b);
    return f;
  }();
  return files;
}

void run_command(benchmark::State& state, const std::vector<std::string>& argv,
                 const std::string& input) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int in = open(input.c_str(), O_RDONLY), out = open("/dev/null", O_WRONLY);
      dup2(in, 0);
      dup2(out, 1);
      execvp(args[0], args.data());
      _exit(127);
    }
    // The child's own processor time (user and system): on a shared virtual
    // machine its wall time varies far more than its work.
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("command failed");
      break;
    }
    state.SetIterationTime(static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kToolLines);
}

void Tool_geoconv_lla2efg(benchmark::State& s) {
  run_command(s, {GEOCONV_TOOL_PATH, "lla2efg"}, tool_files().ours);
}
void Tool_cct_cart(benchmark::State& s) {
  run_command(s, {"cct", "+proj=cart", "+ellps=WGS84"}, tool_files().cct);
}
// An earlier build of the converter, to compare with: GEOCONV_BASELINE_TOOL.
void Tool_baseline_lla2efg(benchmark::State& s) {
  run_command(s, {std::getenv("GEOCONV_BASELINE_TOOL"), "lla2efg"}, tool_files().ours);
}

// --- arrays, exact and fast -------------------------------------------------

constexpr std::size_t kArrayPoints = std::size_t{1} << 20;

// The points of points(), 1,048,576 of them drawn the same way.
struct Arrays {
  std::vector<double> lat, lon, alt, e, f, g, az, el, range, site_lat, site_lon, site_alt;
  std::vector<double> ve, vf, vg, az_rate, el_rate, range_rate;  // m/s; deg/s, deg/s, ft/s
  std::vector<double> out[6];
};
Arrays& arrays() {
  static Arrays a = [] {
    Arrays v;
    std::mt19937_64 rng(43);
    auto u = [&](double lo, double hi) {
      return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    for (std::size_t i = 0; i < kArrayPoints; ++i) {
      const double lat = u(-89.0, 89.0), lon = u(-180.0, 180.0), alt = u(-1000.0, 40000.0);
      double e, f, g;
      geoconv::LLA84toEFG84(nullptr, lat, lon, alt, &e, &f, &g);
      v.lat.push_back(lat), v.lon.push_back(lon), v.alt.push_back(alt);
      v.e.push_back(e), v.f.push_back(f), v.g.push_back(g);
      v.site_lat.push_back(lat + u(-0.5, 0.5)), v.site_lon.push_back(lon + u(-0.5, 0.5));
      v.site_alt.push_back(u(0.0, 3000.0));
      v.az.push_back(u(0.0, 360.0)), v.el.push_back(u(-5.0, 85.0));
      v.range.push_back(u(1000.0, 300000.0));
      v.ve.push_back(u(-300.0, 300.0)), v.vf.push_back(u(-300.0, 300.0)), v.vg.push_back(u(-300.0, 300.0));
      v.az_rate.push_back(u(-2.0, 2.0)), v.el_rate.push_back(u(-1.0, 1.0));
      v.range_rate.push_back(u(-1000.0, 1000.0));
    }
    for (auto& o : v.out) o.resize(kArrayPoints);
    return v;
  }();
  return a;
}

using geoconv::Mode;
struct ArrayRow {
  const char* name;
  void (*call)(Arrays& a, Mode mode);
  double avx512_target, avx2_target;  // highest acceptable exact arrays / point loop; 0 for none
  // The point routine over the same points, in a loop (null: not timed).
  void (*points)(Arrays& a);
};
#define GEOCONV_OUT a.out[0].data(), a.out[1].data(), a.out[2].data(), nullptr, mode
const ArrayRow kArrayRows[] = {
    {"LLA84toEFG84", [](Arrays& a, Mode mode) {
       geoconv::LLA84toEFG84(kArrayPoints, a.lat.data(), a.lon.data(), a.alt.data(), GEOCONV_OUT);
     }, 0.2, 0.3,
     [](Arrays& a) {
       double* o0 = a.out[0].data(); double* o1 = a.out[1].data(); double* o2 = a.out[2].data();
       for (std::size_t i = 0; i < kArrayPoints; ++i) geoconv::LLA84toEFG84(nullptr, a.lat[i], a.lon[i], a.alt[i], o0 + i, o1 + i, o2 + i);
     }},
    {"EFG84toLLA84", [](Arrays& a, Mode mode) {
       geoconv::EFG84toLLA84(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), GEOCONV_OUT);
     }, 0.3, 0.45,
     [](Arrays& a) {
       double* o0 = a.out[0].data(); double* o1 = a.out[1].data(); double* o2 = a.out[2].data();
       for (std::size_t i = 0; i < kArrayPoints; ++i) geoconv::EFG84toLLA84(nullptr, a.e[i], a.f[i], a.g[i], o0 + i, o1 + i, o2 + i);
     }},
    {"AERtoXYZ", [](Arrays& a, Mode mode) {
       geoconv::AERtoXYZ(kArrayPoints, a.az.data(), a.el.data(), a.range.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"XYZtoAER", [](Arrays& a, Mode mode) {
       geoconv::XYZtoAER(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"EFG84toEFG72", [](Arrays& a, Mode mode) {
       geoconv::EFG84toEFG72(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"AERtoEFG84", [](Arrays& a, Mode mode) {
       geoconv::AERtoEFG84(kArrayPoints, a.az.data(), a.el.data(), a.range.data(),
                           a.site_lat.data(), a.site_lon.data(), a.site_alt.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"Site::AERtoEFG84", [](Arrays& a, Mode mode) {
       site().AERtoEFG84(kArrayPoints, a.az.data(), a.el.data(), a.range.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"AERtoLLA84", [](Arrays& a, Mode mode) {
       geoconv::AERtoLLA84(kArrayPoints, a.az.data(), a.el.data(), a.range.data(),
                           a.site_lat.data(), a.site_lon.data(), a.site_alt.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"Site::AERtoLLA84", [](Arrays& a, Mode mode) {
       site().AERtoLLA84(kArrayPoints, a.az.data(), a.el.data(), a.range.data(), GEOCONV_OUT);
     }, 0.3, 0.45,
     [](Arrays& a) {
       double* o0 = a.out[0].data(); double* o1 = a.out[1].data(); double* o2 = a.out[2].data();
       const geoconv::Site& s = site();
       for (std::size_t i = 0; i < kArrayPoints; ++i) s.AERtoLLA84(nullptr, a.az[i], a.el[i], a.range[i], o0 + i, o1 + i, o2 + i);
     }},
    {"EFG84toAER", [](Arrays& a, Mode mode) {
       geoconv::EFG84toAER(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), a.site_lat.data(),
                           a.site_lon.data(), a.site_alt.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
    {"Site::EFG84toAER", [](Arrays& a, Mode mode) {
       site().EFG84toAER(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), GEOCONV_OUT);
     }, 0.25, 0.4,
     [](Arrays& a) {
       double* o0 = a.out[0].data(); double* o1 = a.out[1].data(); double* o2 = a.out[2].data();
       const geoconv::Site& s = site();
       for (std::size_t i = 0; i < kArrayPoints; ++i) s.EFG84toAER(nullptr, a.e[i], a.f[i], a.g[i], o0 + i, o1 + i, o2 + i);
     }},
    // Moving targets: the rates against the positions alone, just above.
#define GEOCONV_OUT6 a.out[0].data(), a.out[1].data(), a.out[2].data(), a.out[3].data(), \
                     a.out[4].data(), a.out[5].data(), nullptr, mode
    {"EFG84toAERrates", [](Arrays& a, Mode mode) {
       geoconv::EFG84toAERrates(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), a.ve.data(),
                                a.vf.data(), a.vg.data(), a.site_lat.data(), a.site_lon.data(),
                                a.site_alt.data(), GEOCONV_OUT6);
     }, 0, 0,
     nullptr},
    {"Site::EFG84toAERrates", [](Arrays& a, Mode mode) {
       site().EFG84toAERrates(kArrayPoints, a.e.data(), a.f.data(), a.g.data(), a.ve.data(),
                              a.vf.data(), a.vg.data(), GEOCONV_OUT6);
     }, 0, 0,
     nullptr},
    {"Site::AERratesToEFG84", [](Arrays& a, Mode mode) {
       site().AERratesToEFG84(kArrayPoints, a.az.data(), a.el.data(), a.range.data(),
                              a.az_rate.data(), a.el_rate.data(), a.range_rate.data(), GEOCONV_OUT6);
     }, 0, 0,
     nullptr},
    {"Site::XYZtoEFG84velocity", [](Arrays& a, Mode mode) {
       site().XYZtoEFG84velocity(kArrayPoints, a.ve.data(), a.vf.data(), a.vg.data(), GEOCONV_OUT);
     }, 0, 0,
     nullptr},
#undef GEOCONV_OUT6
};
#undef GEOCONV_OUT

// What to time: "points" (the point routine in a loop), "exact" (the exact
// arrays, at the level GEOCONV_ISA caps), then the fast mode where it has
// kernels of its own.
std::vector<std::string> array_levels() {
  std::vector<std::string> levels = {"points", "exact"};
#if GEOCONV_BENCH_FAST
  namespace fast = geoconv::fast;
  // The levels where the fast mode has kernels of its own (AVX-512).
  for (int l = static_cast<int>(fast::Level::kAVX512); l >= static_cast<int>(fast::Level::kSSE2); --l) {
    const auto level = static_cast<fast::Level>(l);
    if (fast::level(fast::mode(level)) == level) levels.push_back(fast::name(level));
  }
#endif
  return levels;
}

void Array(benchmark::State& state, const ArrayRow* row, const std::string& level) {
  Arrays& a = arrays();
  Mode mode = Mode::kExact;
#if GEOCONV_BENCH_FAST
  for (int l = 0; l <= static_cast<int>(geoconv::fast::Level::kAVX512); ++l) {
    const auto as_level = static_cast<geoconv::fast::Level>(l);
    if (level == geoconv::fast::name(as_level)) mode = geoconv::fast::mode(as_level);
  }
#endif
  for (auto _ : state) {
    if (level == "points") row->points(a);
    else row->call(a, mode);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kArrayPoints));
}

// Which processor features the figures used, and the exact arrays' level.
void print_processor() {
  std::printf("Processor: AVX-512F %s, AVX2 %s, FMA %s",
              __builtin_cpu_supports("avx512f") ? "yes" : "no",
              __builtin_cpu_supports("avx2") ? "yes" : "no",
              __builtin_cpu_supports("fma") ? "yes" : "no");
#if GEOCONV_BENCH_FAST
  std::printf("; geoconv::fast's best level: %s",
              geoconv::fast::name(geoconv::fast::best_level()));
#else
  std::printf("; geoconv::fast not linked (no SLEEF)");
#endif
  const char* cap = std::getenv("GEOCONV_ISA");
  std::printf("; exact arrays capped by GEOCONV_ISA: %s\n", cap != nullptr ? cap : "no");
}

// --- the table --------------------------------------------------------------

struct Comparison {
  const char* ours;
  const char* peer;
  double target;  // highest acceptable ours/peer; 0 for information only
};

const Comparison kComparisons[] = {
    {"Ours_LLA84toEFG84", "GeographicLib_Forward", 0.55},
    {"Ours_LLA84toEFG84", "PROJ_cart_forward", 1.0},
    {"Ours_LLA84toEFG84", "Floor_sincos_sqrt", 1.3},
    {"Ours_EFG84toLLA84", "GeographicLib_Reverse", 0.45},
    {"Ours_EFG84toLLA84", "PROJ_cart_inverse", 1.0},
    {"Ours_AERtoLLA84", "GeographicLib_LocalCartesian_Reverse", 0.55},
    {"Ours_AERtoLLA84", "PROJ_topocentric_inverse", 1.0},
    {"Ours_EFG84toAER", "GeographicLib_Reverse_LocalCartesian_Forward", 0.3},
    {"Ours_EFG84toAER", "PROJ_topocentric_forward", 1.0},
    {"Tool_geoconv_lla2efg", "Tool_cct_cart", 0.2},
    {"Tool_geoconv_lla2efg", "Tool_baseline_lla2efg", 1.1},
    // One site, many targets: peers built once for the same site.
    {"Ours_Site_EFG84toAER", "Ours_EFG84toAER_one_site", 0.45},
    {"Ours_Site_AERtoLLA84", "Ours_AERtoLLA84_one_site", 0.85},
    {"Ours_Site_AERtoLLA84", "GeographicLib_LocalCartesian_Reverse_once", 0.65},
    {"Ours_Site_AERtoLLA84", "PROJ_topocentric_inverse", 0.667},
    {"Ours_Site_EFG84toAER", "GeographicLib_Reverse_LocalCartesian_Forward_once", 0.667},
    {"Ours_Site_EFG84toAER", "PROJ_topocentric_forward", 0.667},
    {"Ours_Site_AERtoEFG84", "PROJ_topocentric_to_cart", 0.667},
};

// Keeps the console output and remembers each benchmark's fastest time per
// item over the rounds: on a shared virtual machine the speed of the whole
// machine drifts, so the benchmarks run in interleaved rounds, and noise only
// ever adds time.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> per_item_ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto items = run.counters.find("items_per_second");
      if (items == run.counters.end() || items->second.value <= 0) continue;
      const double ns = 1e9 / items->second.value;
      const auto [at, added] = per_item_ns.emplace(run.run_name.function_name, ns);
      if (!added) at->second = std::min(at->second, ns);
    }
  }
};

}  // namespace

BENCHMARK(Ours_LLA84toEFG84);
BENCHMARK(GeographicLib_Forward);
BENCHMARK(PROJ_cart_forward);
BENCHMARK(Floor_sincos_sqrt);
BENCHMARK(Ours_EFG84toLLA84);
BENCHMARK(GeographicLib_Reverse);
BENCHMARK(PROJ_cart_inverse);
BENCHMARK(Ours_AERtoLLA84);
BENCHMARK(GeographicLib_LocalCartesian_Reverse);
BENCHMARK(PROJ_topocentric_inverse);
BENCHMARK(Ours_EFG84toAER);
BENCHMARK(GeographicLib_Reverse_LocalCartesian_Forward);
BENCHMARK(PROJ_topocentric_forward);
BENCHMARK(Ours_AERtoLLA84_one_site);
BENCHMARK(Ours_EFG84toAER_one_site);
BENCHMARK(Ours_Site_AERtoLLA84);
BENCHMARK(GeographicLib_LocalCartesian_Reverse_once);
BENCHMARK(Ours_Site_EFG84toAER);
BENCHMARK(GeographicLib_Reverse_LocalCartesian_Forward_once);
BENCHMARK(Ours_Site_AERtoEFG84);
BENCHMARK(Ours_AERtoEFG84);
BENCHMARK(PROJ_topocentric_to_cart);
BENCHMARK(Ours_AERtoXYZ);
BENCHMARK(Ours_XYZtoAER);
BENCHMARK(Ours_EFG84toEFG72);
BENCHMARK(Ours_DEGtoDMS);
BENCHMARK(Tool_geoconv_lla2efg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(Tool_cct_cart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  const std::vector<std::string> levels = array_levels();
  for (const ArrayRow& row : kArrayRows) {
    for (const std::string& level : levels) {
      if (level == "points" && row.points == nullptr) continue;
      benchmark::RegisterBenchmark(("Array_" + std::string(row.name) + "/" + level).c_str(), Array,
                                   &row, level)
          ->MinTime(0.2)->Unit(benchmark::kMillisecond);
    }
  }
  if (std::getenv("GEOCONV_BASELINE_TOOL") != nullptr) {
    benchmark::RegisterBenchmark("Tool_baseline_lla2efg", Tool_baseline_lla2efg)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
  }
  TableReporter reporter;
  constexpr int kRounds = 7;
  for (int round = 0; round < kRounds; ++round) benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nFastest of %d interleaved rounds, time per call (per line for the tools); "
              "ratio = ours / peer\n\n", kRounds);
  std::printf("| ours | ns | peer | ns | ratio | target |\n|---|---:|---|---:|---:|---|\n");
  int met_count = 0, compared = 0;
  for (const Comparison& c : kComparisons) {
    const auto ours = reporter.per_item_ns.find(c.ours);
    const auto peer = reporter.per_item_ns.find(c.peer);
    if (ours == reporter.per_item_ns.end() || peer == reporter.per_item_ns.end()) continue;
    const double ratio = ours->second / peer->second;
    const bool met = ratio <= c.target;
    met_count += met ? 1 : 0;
    ++compared;
    std::printf("| %s | %.1f | %s | %.1f | %.3f | <= %.2f %s |\n", c.ours, ours->second, c.peer,
                peer->second, ratio, c.target, met ? "met" : "MISSED");
  }
  for (const char* name : {"Ours_AERtoEFG84", "Ours_AERtoXYZ", "Ours_XYZtoAER", "Ours_EFG84toEFG72",
                           "Ours_DEGtoDMS"}) {
    const auto it = reporter.per_item_ns.find(name);
    if (it != reporter.per_item_ns.end()) {
      std::printf("| %s | %.1f | (no peer) | | | |\n", name, it->second);
    }
  }
  std::printf("\nTargets met: %d of %d\n", met_count, compared);

  std::printf("\nArrays of %zu points, fastest of %d interleaved rounds, ns per point: the "
              "point routine in a loop, the exact arrays (ratio to the loop), the fast mode "
              "(ratio to the exact arrays)\n", kArrayPoints, kRounds);
  print_processor();
  const bool avx512 = __builtin_cpu_supports("avx512f") &&
                      (std::getenv("GEOCONV_ISA") == nullptr || std::string(std::getenv("GEOCONV_ISA")) == "avx512");
  std::printf("\n| conversion | points | exact | ratio | target |");
  for (std::size_t l = 2; l < levels.size(); ++l) std::printf(" fast %s | ratio |", levels[l].c_str());
  std::printf("\n|---|---:|---:|---:|---|");
  for (std::size_t l = 2; l < levels.size(); ++l) std::printf("---:|---:|");
  std::printf("\n");
  auto ns = [&](const ArrayRow& row, const std::string& level) {
    const auto it = reporter.per_item_ns.find("Array_" + std::string(row.name) + "/" + level);
    return it == reporter.per_item_ns.end() ? 0.0 : it->second;
  };
  for (const ArrayRow& row : kArrayRows) {
    const double exact = ns(row, "exact"), points = ns(row, "points");
    if (exact == 0) continue;
    const double target = avx512 ? row.avx512_target : row.avx2_target;
    std::printf("| %s | ", row.name);
    if (points > 0) std::printf("%.1f | %.1f | %.3f |", points, exact, exact / points);
    else std::printf(" | %.1f | |", exact);
    if (points > 0 && target > 0) std::printf(" <= %.2f %s |", target, exact / points <= target ? "met" : "MISSED");
    else std::printf(" |");
    for (std::size_t l = 2; l < levels.size(); ++l) {
      const double fast = ns(row, levels[l]);
      if (fast > 0) std::printf(" %.1f | %.3f |", fast, fast / exact);
      else std::printf(" | |");
    }
    std::printf("\n");
  }
  // The rates reuse the rotation and the trigonometry of the positions.
  std::printf("\n| exact arrays | ns | against | ns | ratio | target |\n|---|---:|---|---:|---:|---|\n");
  for (const char* form : {"", "Site::"}) {
    const ArrayRow* rates = nullptr;
    const ArrayRow* position = nullptr;
    for (const ArrayRow& row : kArrayRows) {
      if (std::string(row.name) == std::string(form) + "EFG84toAERrates") rates = &row;
      if (std::string(row.name) == std::string(form) + "EFG84toAER") position = &row;
    }
    const double r = ns(*rates, "exact"), p = ns(*position, "exact");
    if (r > 0 && p > 0) {
      std::printf("| %s | %.1f | %s | %.1f | %.3f | <= 1.60 %s |\n", rates->name, r, position->name, p,
                  r / p, r / p <= 1.6 ? "met" : "MISSED");
    }
  }
  benchmark::Shutdown();
  return 0;
}
