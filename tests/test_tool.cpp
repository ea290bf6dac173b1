// The converter geoconv, run as a separate process: each command's output
// against the library, the line rules, every ERROR reason, exit statuses and
// usage errors.

#include <geoconv/geoconv.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "process.hpp"
#include "support.hpp"

using geoconv_test::run_process;

namespace {

const std::string kTool = GEOCONV_TOOL_PATH;

geoconv_test::ProcessResult tool(const std::vector<std::string>& args, const std::string& input) {
  return run_process(kTool, args, input);
}

std::string fixed(double v, int decimals) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string num(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

constexpr double kSite[3] = {51.47222222, -1.25, 300.0};

// One command over generated points: the output must be the library's
// results as printf writes them, lengths and angles with their decimals.
struct CommandCase {
  const char* name;
  std::vector<std::string> options;
  double lo[3], hi[3];
  int decimals[3];
  void (*run)(const double* in, double* out);
};

TEST(Tool, EveryCommandMatchesTheLibrary) {
  using namespace geoconv;
  const CommandCase cases[] = {
      {"lla2efg", {}, {-90, -180, -1e4}, {90, 180, 1e6}, {6, 6, 6},
       [](const double* p, double* o) { LLA84toEFG84(nullptr, p[0], p[1], p[2], o, o + 1, o + 2); }},
      {"efg2lla", {"-p", "3"}, {-7e6, -7e6, -7e6}, {7e6, 7e6, 7e6}, {6, 6, 3},
       [](const double* p, double* o) { EFG84toLLA84(nullptr, p[0], p[1], p[2], o, o + 1, o + 2); }},
      {"aer2xyz", {"--precision", "0"}, {0, -90, 0}, {360, 90, 1e5}, {0, 0, 0},
       [](const double* p, double* o) { AERtoXYZ(nullptr, p[0], p[1], p[2], o, o + 1, o + 2); }},
      {"xyz2aer", {"--precision=9"}, {-1e4, -1e4, -1e4}, {1e4, 1e4, 1e4}, {12, 12, 9},
       [](const double* p, double* o) { XYZtoAER(nullptr, p[0], p[1], p[2], o, o + 1, o + 2); }},
      {"aer2lla", {"--site", "51.47222222,-1.25,300"}, {0, -5, 1}, {360, 90, 1e6}, {9, 9, 6},
       [](const double* p, double* o) {
         AERtoLLA84(nullptr, p[0], p[1], p[2], kSite[0], kSite[1], kSite[2], o, o + 1, o + 2);
       }},
      {"efg2aer", {"-p2", "--site=51.47222222 -1.25 300"}, {3.9e6, -1e5, 4.9e6}, {4e6, 1e5, 5e6},
       {5, 5, 2},
       [](const double* p, double* o) {
         EFG84toAER(nullptr, p[0], p[1], p[2], kSite[0], kSite[1], kSite[2], o, o + 1, o + 2);
       }},
      {"efg84to72", {}, {-7e6, -7e6, -7e6}, {7e6, 7e6, 7e6}, {6, 6, 6},
       [](const double* p, double* o) { EFG84toEFG72(nullptr, p[0], p[1], p[2], o, o + 1, o + 2); }},
  };
  geoconv_test::Random rng(29);
  for (const CommandCase& c : cases) {
    std::string input, expected;
    for (int i = 0; i < 300; ++i) {
      double in[3], out[3];
      for (int k = 0; k < 3; ++k) in[k] = rng.uniform(c.lo[k], c.hi[k]);
      c.run(in, out);
      input += num(in[0]) + " " + num(in[1]) + " " + num(in[2]) + "\n";
      expected += fixed(out[0], c.decimals[0]) + " " + fixed(out[1], c.decimals[1]) + " " +
                  fixed(out[2], c.decimals[2]) + "\n";
    }
    std::vector<std::string> args{c.name};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto r = tool(args, input);
    EXPECT_EQ(r.status, 0) << c.name << r.err;
    EXPECT_EQ(r.out, expected) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
  }
}

TEST(Tool, DmsWritesWholeDegreesAndMinutes) {
  const auto r = tool({"dms"}, "-0.5\n10.5\n1.23\n-45.5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "-0 30 0.000000\n10 30 0.000000\n1 13 48.000000\n-45 30 0.000000\n");
  EXPECT_EQ(tool({"dms", "-p", "14"}, "1.23\n").out, "1 13 47.99999999999991\n");
}

TEST(Tool, FieldsSeparatorsCommentsAndLineEnds) {
  const auto r = tool({"lla2efg", "-p", "1"},
                      "# header\r\n"
                      "0,0,0\r\n"
                      "\r\n"
                      "   \t\n"
                      "  # indented comment\n"
                      "\t0 ,\t0,, 0  \n"
                      "+0 -0 +0");  // no final newline
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "# header\n"
            "6378112.2 0.0 0.0\n"
            "\n"
            "   \t\n"
            "  # indented comment\n"
            "6378112.2 0.0 0.0\n"
            "6378112.2 0.0 0.0\n");
  // Values that round to zero keep their minus sign.
  EXPECT_EQ(tool({"aer2xyz"}, "180 45 10000\n").out, "-0.000000 -7071.067812 7071.067812\n");
}

TEST(Tool, EveryErrorReasonAndTheRunGoesOn) {
  const auto r = tool({"lla2efg"},
                      "1 2\n"
                      "1 2 3 4\n"
                      "1 x 3\n"
                      "1 ++2 3\n"
                      "1 0x10 3\n"
                      "1 1e999 3\n"
                      "91 0 0\n"
                      "0 0 0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "ERROR: expected 3 numbers, found 2\n"
            "ERROR: expected 3 numbers, found 4\n"
            "ERROR: not a number: 'x'\n"
            "ERROR: not a number: '++2'\n"
            "ERROR: not a number: '0x10'\n"
            "ERROR: number out of range: '1e999'\n"
            "ERROR: (LLA84toEFG84) problem: lat>90\n"
            "6378112.236000 0.000000 0.000000\n");
  EXPECT_EQ(tool({"dms"}, "1 2\n").out, "ERROR: expected 1 number, found 2\n");
  EXPECT_EQ(tool({"efg2lla"}, "0 0 0\n").out,
            "ERROR: (EFG84toLLA84) error: negative or zero sqrt value\n");
  EXPECT_EQ(tool({"aer2lla", "--site", "10,20,30"}, "10 20 0\n").out,
            "ERROR: (AERtoLLA84) problem: input range=0\n");
  // A site the library rejects makes every line an ERROR line.
  const auto bad_site = tool({"efg2aer", "--site", "91,0,0"}, "1 2 3\n# kept\n4 5 6\n");
  EXPECT_EQ(bad_site.status, 1);
  EXPECT_EQ(bad_site.out,
            "ERROR: (LLA84toEFG84) problem: lat>90\n# kept\n"
            "ERROR: (LLA84toEFG84) problem: lat>90\n");
  // An over-long line is refused whole; the next line converts.
  const auto long_line = tool({"dms"}, std::string(70000, '1') + "\n2.5\n");
  EXPECT_EQ(long_line.status, 1);
  EXPECT_EQ(long_line.out, "ERROR: line longer than 65536 characters\n2 30 0.000000\n");
}

class ToolFiles : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "geoconv_" + name;
    std::ofstream(path) << text;
    return path;
  }
};

TEST_F(ToolFiles, ReadsFilesInOrderWithDashForStandardInput) {
  const std::string a = write("a.txt", "1.5\n"), b = write("b.txt", "2.5\n");
  const auto r = run_process(kTool, {"dms", a, "-", b}, "3.5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 30 0.000000\n3 30 0.000000\n2 30 0.000000\n");
}

TEST_F(ToolFiles, UsageProblemsExitTwoWithOneLineAndNoOutput) {
  const std::string good = write("good.txt", "1.5\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"dms", "--bogus"},
      {"dms", "-x"},
      {"aer2lla"},
      {"aer2lla", "--site", "1,2"},
      {"aer2lla", "--site", "1,2,x"},
      {"aer2lla", "--site"},
      {"dms", "--site", "1,2,3"},
      {"dms", "-p", "-1"},
      {"dms", "-p", "21"},
      {"dms", "--precision", "six"},
      {"dms", good, "/nonexistent/file"},
      {"dms", ::testing::TempDir()},
  };
  for (const auto& args : cases) {
    const auto r = run_process(kTool, args, "1.5\n");
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined;
    EXPECT_EQ(r.out, "") << joined;
    ASSERT_FALSE(r.err.empty()) << joined;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << joined << r.err;
  }
}

TEST(Tool, HelpAndVersion) {
  const auto help = tool({"--help"}, "");
  EXPECT_EQ(help.status, 0);
  for (const char* name : {"lla2efg", "efg2lla", "aer2xyz", "xyz2aer", "aer2lla", "efg2aer",
                           "efg84to72", "dms"}) {
    EXPECT_NE(help.out.find(std::string("  ") + name + " "), std::string::npos) << name;
  }
  const auto version = tool({"--version"}, "");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "geoconv " GEOCONV_VERSION "\n");
}

// AddressSanitizer's shadow memory would dominate the resident size.
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(ToolFiles, StreamsInConstantMemory) {
  // About 37 MiB of input from a file, output discarded. The shell is forked
  // from this small test process and execs the tool, so the peak resident
  // size measured is an upper bound on the tool's own.
  const std::string path = ::testing::TempDir() + "geoconv_big.txt";
  {
    std::ofstream out(path);
    const std::string block = [] {
      std::string b;
      for (int i = 0; i < 1000; ++i) b += "51.4722 -0.0012 1000.5\n";
      return b;
    }();
    for (int i = 0; i < 1600; ++i) out << block;
  }
  const auto r = run_process("/bin/sh", {"-c", "exec '" + kTool + "' lla2efg < '" + path +
                                                   "' > /dev/null"});
  EXPECT_EQ(r.status, 0);
  EXPECT_LT(r.max_rss_kib, 8 * 1024);
  std::remove(path.c_str());
}
#endif

}  // namespace
