// The C interface against the C++ routines over every input of the table of
// expected results (tests/data/expected.txt), each also nudged by a few steps
// of nextafter: the same status, the same message and the same bits in every
// output, and an output left unwritten by one is left unwritten by the other.
// The site-relative rows run through the C free functions and a C site.

#include <geoconv/geoconv.h>
#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Call = int (*)(std::FILE* stream, const double* in, double* out);

struct Pair {
  const char* name;
  int inputs;
  Call cpp, c, c_site;  // c_site: null for routines without a site
};

#define GC_HELPER(f)                                                   \
  {#f, 1, [](std::FILE*, const double* i, double* o) {                 \
     o[0] = geoconv::f(i[0]);                                          \
     return 0;                                                         \
   }, [](std::FILE*, const double* i, double* o) {                     \
     o[0] = geoconv_##f(i[0]);                                         \
     return 0;                                                         \
   }, nullptr}
#define GC_THREE(f)                                                    \
  {#f, 3, [](std::FILE* s, const double* i, double* o) {               \
     return (geoconv::f(s, i[0], i[1], i[2], o, o + 1, o + 2));        \
   }, [](std::FILE* s, const double* i, double* o) {                   \
     return (geoconv_##f(s, i[0], i[1], i[2], o, o + 1, o + 2));       \
   }, nullptr}
#define GC_LOCAL(f)                                                    \
  {#f, 3, [](std::FILE* s, const double* i, double* o) {               \
     return (geoconv::f(s, i[0], i[1], i[2], o, o + 1, o + 2), 0);     \
   }, [](std::FILE* s, const double* i, double* o) {                   \
     return (geoconv_##f(s, i[0], i[1], i[2], o, o + 1, o + 2), 0);    \
   }, nullptr}
#define GC_SITE(f)                                                                    \
  {#f, 6, [](std::FILE* s, const double* i, double* o) {                              \
     return geoconv::f(s, i[0], i[1], i[2], i[3], i[4], i[5], o, o + 1, o + 2);       \
   }, [](std::FILE* s, const double* i, double* o) {                                  \
     return geoconv_##f(s, i[0], i[1], i[2], i[3], i[4], i[5], o, o + 1, o + 2);      \
   }, [](std::FILE* s, const double* i, double* o) {                                  \
     geoconv_site site;                                                               \
     geoconv_site_init(&site, nullptr, i[3], i[4], i[5]);                             \
     return geoconv_site_##f(&site, s, i[0], i[1], i[2], o, o + 1, o + 2);            \
   }}

const Pair kPairs[] = {
    GC_HELPER(sind), GC_HELPER(cosd), GC_HELPER(tand), GC_HELPER(asind), GC_HELPER(acosd),
    GC_HELPER(atand), GC_HELPER(sqr), GC_HELPER(cube),
    {"atan2d", 2, [](std::FILE*, const double* i, double* o) {
       o[0] = geoconv::atan2d(i[0], i[1]);
       return 0;
     }, [](std::FILE*, const double* i, double* o) {
       o[0] = geoconv_atan2d(i[0], i[1]);
       return 0;
     }, nullptr},
    GC_THREE(LLA84toEFG84), GC_THREE(EFG84toLLA84), GC_THREE(EFG84toEFG72),
    GC_LOCAL(AERtoXYZ), GC_LOCAL(XYZtoAER),
    GC_SITE(AERtoLLA84), GC_SITE(AERtoEFG84), GC_SITE(EFG84toAER),
    {"DEGtoDMS", 1, [](std::FILE*, const double* i, double* o) {
       geoconv::DEGtoDMS(i[0], o, o + 1, o + 2);
       return 0;
     }, [](std::FILE*, const double* i, double* o) {
       geoconv_DEGtoDMS(i[0], o, o + 1, o + 2);
       return 0;
     }, nullptr},
};

// Status, message and the bits of three outputs (each filled beforehand with
// a NaN pattern no routine makes, so that "unwritten" shows).
std::string outcome(Call call, const double* in) {
  char message[256] = {};
  std::FILE* stream = fmemopen(message, sizeof message, "w");
  double out[3];
  const std::uint64_t unwritten = 0x7ff4dead0000beefULL;
  for (double& o : out) std::memcpy(&o, &unwritten, sizeof o);
  const int status = call(stream, in, out);
  std::fclose(stream);
  std::ostringstream text;
  text << status << " '" << message << "'" << std::hex;
  for (double o : out) {
    std::uint64_t bits;
    std::memcpy(&bits, &o, sizeof bits);
    text << ' ' << bits;
  }
  return text.str();
}

std::string unquote(const std::string& quoted) {
  std::string s;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] != '\\') {
      s += quoted[i];
    } else if (quoted[++i] == 'n') {
      s += '\n';
    } else if (quoted[i] == 'x') {
      s += static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      s += quoted[i];
    }
  }
  return s;
}

TEST(CInterface, SameStatusMessageAndBitsAsCppForEveryTableInput) {
  std::ifstream table(GEOCONV_EXPECTED_PATH);
  int rows = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string name;
    if (!(fields >> name) || name[0] == '#' || name == "checksum") continue;
    ++rows;
    if (name == "STRtoINT") {
      // "text" first last, the text quoted with escapes and possibly blanks.
      const std::size_t open = line.find('"'), close = line.rfind('"');
      std::istringstream bounds(line.substr(close + 1));
      int first = 0, last = 0;
      bounds >> first >> last;
      const std::string text = unquote(line.substr(open, close - open + 1));
      EXPECT_EQ(geoconv_STRtoINT(text.c_str(), first, last),
                geoconv::STRtoINT(text.c_str(), first, last))
          << line;
      continue;
    }
    const Pair* pair = nullptr;
    for (const Pair& p : kPairs) pair = name == p.name ? &p : pair;
    ASSERT_NE(pair, nullptr) << line;
    double row[6];
    for (int i = 0; i < pair->inputs; ++i) {
      std::string number;
      fields >> number;
      row[i] = std::strtod(number.c_str(), nullptr);
    }
    for (int v = 0; v < 8; ++v) {
      double in[6];
      for (int i = 0; i < pair->inputs; ++i) {
        in[i] = row[i];
        for (int k = ((v + 1) * (2 * i + 3)) % 7 - 3; k != 0; k += k > 0 ? -1 : 1) {
          in[i] = std::nextafter(in[i], k > 0 ? INFINITY : -INFINITY);
        }
      }
      const std::string want = outcome(pair->cpp, in);
      ASSERT_EQ(outcome(pair->c, in), want) << line << " variant " << v;
      if (pair->c_site != nullptr) {
        ASSERT_EQ(outcome(pair->c_site, in), want) << line << " variant " << v;
      }
    }
  }
  EXPECT_GT(rows, 300) << "the table has too few rows";
}

TEST(CInterface, SiteStorageAndAccessors) {
  geoconv_site site = {{0}};
  double out[3] = {1, 2, 3};
  EXPECT_EQ(geoconv_site_valid(&site), 0);  // all zero bytes: invalid
  EXPECT_EQ(geoconv_site_EFG84toAER(&site, nullptr, 1e6, 0, 0, out, out + 1, out + 2), 1);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(geoconv_site_init(&site, nullptr, 90.5, 1, 2), 1);
  EXPECT_TRUE(std::isnan(geoconv_site_E(&site)));
  ASSERT_EQ(geoconv_site_init(&site, nullptr, 51.47222222, -0.5, 10), 0);
  const geoconv_site copy = site;  // copied by assignment, still the same site
  const geoconv::Site cpp(51.47222222, -0.5, 10);
  EXPECT_EQ(geoconv_site_valid(&copy), 1);
  EXPECT_EQ(geoconv_site_latitude(&copy), 51.47222222);
  EXPECT_EQ(geoconv_site_longitude(&copy), -0.5);
  EXPECT_EQ(geoconv_site_altitude(&copy), 10.0);
  EXPECT_EQ(geoconv_site_E(&copy), cpp.E());
  EXPECT_EQ(geoconv_site_F(&copy), cpp.F());
  EXPECT_EQ(geoconv_site_G(&copy), cpp.G());
}

}  // namespace
