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
    "  E       3981053.178755    F             0.000000    G       4966421.008341\n";

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
  EXPECT_GE(value_lines, 2);
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
