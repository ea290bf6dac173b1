// The demonstration program, run as a separate process with its two output
// streams captured apart.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"

using geoconv_test::run_process;

namespace {

const char* const kReport =
    "All these coordinate transformations are being done in the WGS 84 ellipsoid.\n"
    "We will now convert Greenwich, England known latitude - longitude - altitude to EFG...\n"
    "Greenwich, England: \n"
    "lat            51.472222  lon             0.000000  alt            10.000000\n"
    "  E       3981053.178755    F             0.000000    G       4966421.008341\n"
    "Now using Greenwich as a base site, we will convert an airplane flying overhead\n"
    "at a known azimuth, elevation, range to XYZ, LLA, EFG ...\n"
    "Airplane flying overhead:\n"
    " az           180.000000   el            45.000000   rg         10000.000000\n"
    "  x            -0.000000    y         -7071.067812    z          7071.067812\n"
    "lat            51.452857  lon            -0.000000  alt          7082.262787\n"
    "  E       3984081.752697    F            -0.000020    G       4966764.583483\n"
    "\n"
    "Now we will do a backward conversion to see if everything matches...\n"
    "Converted airplane E,F,G to airplane az-el-rg ....\n"
    "Airplane flying overhead:\n"
    " az           180.000001   el            45.000000   rg         10000.000000\n";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(Demo, WritesTheReportToStandardErrorAndOneLineToStandardOutput) {
  const auto r = run_process(GEOCONV_DEMO_PATH, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kReport);
  EXPECT_EQ(r.out, "Program done.\n");
}

TEST(Demo, ValueLinesAreSeventySixCharactersWithAlignedColumns) {
  const auto r = run_process(GEOCONV_DEMO_PATH, {});
  int value_lines = 0;
  for (const std::string& line : lines(r.err)) {
    const std::string label = line.substr(0, 3);
    if (label != "lat" && label != "  E" && label != " az" && label != "  x") continue;
    ++value_lines;
    EXPECT_EQ(line.size(), 76u) << line;
    // Each value ends at columns 24, 50 and 76 (1-based), right-aligned.
    for (std::size_t end : {24u, 50u, 76u}) {
      EXPECT_NE(line[end - 1], ' ') << line;
      EXPECT_EQ(line[end - 7], '.') << line;
    }
  }
  EXPECT_EQ(value_lines, 7);
}

TEST(Demo, IgnoresArgumentsStandardInputAndEnvironment) {
  const auto plain = run_process(GEOCONV_DEMO_PATH, {});
  const auto busy = run_process(GEOCONV_DEMO_PATH, {"--help", "-v", "51.0", "0", "10"},
                                "45 45 1000\nquit\n", {"GEOCONV_SITE=1,2,3", "LC_ALL=de_DE"});
  EXPECT_EQ(busy.status, 0);
  EXPECT_EQ(busy.err, plain.err);
  EXPECT_EQ(busy.out, plain.out);
}

}  // namespace
