// The C interface against the C++ routines over every input of the table of
// expected results (tests/data/expected.txt), free functions and a C site:
// the same status, message and bits, unwritten outputs included.

#include <geoconv/geoconv.h>
#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>

namespace {

// Calls f with the stream, the inputs and the outputs in order (a helper's
// value to the first output); returns its status, 0 for none.
struct Args {
  std::FILE* stream;
  const double* in;
  double* out;
  template <typename T>
  T next() {
    if constexpr (std::is_same_v<T, std::FILE*>) return stream;
    else if constexpr (std::is_same_v<T, double>) return *in++;
    else return out++;
  }
};
template <typename R, typename... A>
int call(R (*f)(A...), Args args) {
  double* const first = args.out;
  std::tuple<A...> values{args.next<A>()...};  // braces: taken left to right
  if constexpr (std::is_void_v<R>) return std::apply(f, values), 0;
  else if constexpr (std::is_same_v<R, double>) return *first = std::apply(f, values), 0;
  else return std::apply(f, values);
}

// Status, message and output bits (outputs preset to a NaN no routine makes).
template <typename F>
std::string outcome(F f, const double* in) {
  char message[256] = {};
  std::FILE* stream = fmemopen(message, sizeof message, "w");
  double out[3];
  const std::uint64_t unwritten = 0x7ff4dead0000beefULL;
  for (double& o : out) std::memcpy(&o, &unwritten, sizeof o);
  const int status = call(f, {stream, in, out});
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

#define GC_SITE(f)                                                                             \
  [](std::FILE* s, double az, double el, double r, double la, double lo, double al, double* a, \
     double* b, double* c) {                                                                   \
    geoconv_site site;                                                                         \
    geoconv_site_init(&site, nullptr, la, lo, al);                                             \
    return geoconv_site_##f(&site, s, az, el, r, a, b, c);                                     \
  }
#define GC_PAIR(f) \
  if (name == #f)  \
    return {outcome(geoconv::f, in), outcome(geoconv_##f, in), outcome(geoconv_##f, in)}
#define GC_SITE_PAIR(f) \
  if (name == #f)       \
    return {outcome(geoconv::f, in), outcome(geoconv_##f, in), outcome(+GC_SITE(f), in)}

// C++, C and C-through-a-site outcomes of one routine on one input.
std::array<std::string, 3> outcomes(const std::string& name, const double* in) {
  GC_PAIR(sind); GC_PAIR(cosd); GC_PAIR(tand); GC_PAIR(asind); GC_PAIR(acosd);
  GC_PAIR(atand); GC_PAIR(atan2d); GC_PAIR(sqr); GC_PAIR(cube);
  GC_PAIR(LLA84toEFG84); GC_PAIR(EFG84toLLA84); GC_PAIR(EFG84toEFG72);
  GC_PAIR(AERtoXYZ); GC_PAIR(XYZtoAER); GC_PAIR(DEGtoDMS);
  GC_SITE_PAIR(AERtoLLA84); GC_SITE_PAIR(AERtoEFG84); GC_SITE_PAIR(EFG84toAER);
  ADD_FAILURE() << "no routine " << name;
  return {};
}

TEST(CInterface, SameStatusMessageAndBitsAsCppForEveryTableInput) {
  std::ifstream table(GEOCONV_EXPECTED_PATH);
  int rows = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line.substr(0, line.find("->")));
    std::string name, number;
    if (!(fields >> name) || name[0] == '#' || name == "checksum") continue;
    ++rows;
    if (name == "STRtoINT") continue;  // below
    double in[6] = {};
    for (int n = 0; fields >> number; ++n) in[n] = std::strtod(number.c_str(), nullptr);
    const auto [cpp, c, site] = outcomes(name, in);
    EXPECT_EQ(c, cpp) << line;
    EXPECT_EQ(site, cpp) << line << ", through a site";
  }
  EXPECT_GT(rows, 300) << "the table has too few rows";
  EXPECT_EQ(geoconv_STRtoINT("x -12", 2, 4), geoconv::STRtoINT("x -12", 2, 4));

  const geoconv_site zero = {{0}};  // a site of zero bytes is invalid
  EXPECT_EQ(geoconv_site_valid(&zero), 0);
}

}  // namespace
