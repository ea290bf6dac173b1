// The converter's line engine where the transcripts cannot reach: input
// split into reads exactly at the line limit, and picked columns.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <geoconv/lines.hpp>
#include <geoconv/registry.hpp>

namespace {

using geoconv::lines::Converter;
using geoconv::lines::find_command;

const geoconv::Site kSite(51.47222222, -1.25, 300.0);

// Each read, and what the engine must have written once it is taken.
struct Read {
  std::string bytes, output;
};

std::string digits(std::size_t n) { return std::string(n - 1, '0') + "5"; }

TEST(Lines, LimitHoldsWhereverTheReadsEnd) {
  const std::string kLong = "ERROR: line longer than 65536 characters\n";
  const std::vector<std::vector<Read>> cases = {
      // 65536 characters and a '\r' wait for their '\n', however they arrive.
      {{digits(65536), ""}, {"\r", ""}, {"\n", "5 0 0\n"}},
      {{digits(65536), ""}, {"\r\n", "5 0 0\n"}},
      {{digits(65536) + "\r", ""}, {"\n2.5\n", "5 0 0\n2 30 0\n"}},
      // One character more is refused as soon as it arrives, before its '\n',
      // and the rest of that line is dropped.
      {{digits(65537), ""}, {"0", kLong}, {"00\n2.5\n", kLong + "2 30 0\n"}},
      {{digits(65536), ""}, {"00", kLong}, {"\n", kLong}},
      {{digits(65536), ""}, {"9\n", kLong}},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    Converter engine(*find_command("dms"), kSite, 0);
    std::string out;
    for (const Read& read : cases[c]) {
      engine.feed(read.bytes, &out);
      EXPECT_EQ(out, read.output) << "case " << c << ", after a read of " << read.bytes.size();
    }
  }
}

TEST(Lines, PickedColumnsAreConvertedInTheirOrder) {
  Converter picked(*find_command("aer2lla"), kSite, 6), plain(*find_command("aer2lla"), kSite, 6);
  EXPECT_FALSE(picked.pick_columns({0, 1}));
  EXPECT_FALSE(picked.pick_columns({0, 1, 2, 3}));
  ASSERT_TRUE(picked.pick_columns({4, 0, 2}));
  std::string got, want;
  // Each text's count of ERROR lines is its own, the engine reused or not.
  EXPECT_EQ(picked.convert_text("12000 x 30.5 , y, 45.25\n1,2,3,4\n", &got), 1u);
  EXPECT_EQ(picked.convert_text("1 2 3 4 x 6\n,,,,7\n", &got), 2u);
  plain.convert_text("45.25 12000 30.5\n", &want);
  EXPECT_EQ(got, want +
                     "ERROR: field 5 is empty\n"
                     "ERROR: not a number: 'x'\n"
                     "ERROR: field 1 is empty\n");
}

// The description the WebAssembly build reads: a list of routines, one
// object a line, each routine's worked example holding its inputs and, for a
// site routine, the site's three, no more.
TEST(Lines, DescriptionGivesEachRoutinesExampleWhole) {
  const std::string json = geoconv::lines::describe_json();
  EXPECT_NE(json.find("\"routines\": [\n  {\"name\": \"sind\""), std::string::npos);
  EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), geoconv::routine_count());
  std::size_t at = 0;
  for (int i = 0; i < geoconv::routine_count(); ++i) {
    const geoconv::Routine& r = geoconv::routines()[i];
    at = json.find("\"example\": [", at);
    ASSERT_NE(at, std::string::npos) << r.name;
    const std::size_t end = json.find(']', at);
    const auto commas = std::count(json.begin() + static_cast<std::ptrdiff_t>(at),
                                   json.begin() + static_cast<std::ptrdiff_t>(end), ',');
    EXPECT_EQ(commas + 1, r.inputs + (r.site ? 3 : 0)) << r.name;
    at = end;
  }
}
}  // namespace
