// The constituent list of --constituents: grammar, refusals, the file form,
// and completion to the run's count.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "results/constituents.h"

namespace qz5::results {
namespace {

struct Case {
  const char* spec;
  std::vector<std::string> names, units;  // expected, when accepted
  const char* error_part;                 // expected part of the refusal, or nullptr
};

const Case kCases[] = {
    {"salinity:psu,DOC:umol/L", {"salinity", "DOC"}, {"psu", "umol/L"}, nullptr},
    {" salinity : psu , DOC:umol C/L ", {"salinity", "DOC"}, {"psu", "umol C/L"}, nullptr},
    {"a,b_2:mg/L", {"a", "b_2"}, {"file units", "mg/L"}, nullptr},
    {"", {}, {}, "constituent 1 has an empty entry"},
    {"salinity:psu,", {}, {}, "constituent 2 has an empty entry"},
    {"2tracer:psu", {}, {}, "\"2tracer\" is not a name"},
    {"sal-ity", {}, {}, "\"sal-ity\" is not a name"},
    {"salinity:", {}, {}, "constituent 1 (salinity) has an empty unit"},
    {"a:x,a:y", {}, {}, "constituent name \"a\" given twice"},
    {"x:m", {}, {}, "the name \"x\" is used by the result files"},
    {"time", {}, {}, "the name \"time\" is used by the result files"},
    {"station_a", {}, {}, "the name \"station_a\" is used"},
    {"budget_a", {}, {}, "the name \"budget_a\" is used"},
};

TEST(ConstituentsTest, ParsesOrRefusesEachCase) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.spec);
    const ConstituentList l = parse_constituents(c.spec);
    if (c.error_part != nullptr) {
      EXPECT_NE(l.error.find(c.error_part), std::string::npos) << l.error;
      continue;
    }
    ASSERT_EQ(l.error, "");
    ASSERT_EQ(l.items.size(), c.names.size());
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(l.items[i].name, c.names[i]);
      EXPECT_EQ(l.items[i].unit, c.units[i]);
      EXPECT_EQ(l.items[i].long_name, c.names[i]);
    }
  }
}

TEST(ConstituentsTest, SeaWaterSalinityOnlyForTheTracerNamedSalinity) {
  EXPECT_EQ(parse_constituents("Salinity:psu").items[0].standard_name, "sea_water_salinity");
  EXPECT_EQ(parse_constituents("tracer,salinity").items[1].standard_name, "");
  EXPECT_EQ(parse_constituents("DOC").items[0].standard_name, "");
}

TEST(ConstituentsTest, FileWithCommentsAndLinesReadsAsTheList) {
  const std::string path = ::testing::TempDir() + "/qz5_constituents.txt";
  std::ofstream(path) << "# names for the estuary\nsalinity:psu   # the tracer\n\nDOC:umol/L, DIN:umol/L\n";
  const ConstituentList l = read_constituents(path);
  ASSERT_EQ(l.error, "");
  ASSERT_EQ(l.items.size(), 3u);
  EXPECT_EQ(l.items[0].name, "salinity");
  EXPECT_EQ(l.items[2].unit, "umol/L");

  std::ofstream(path) << "salinity:psu\n2bad\n";
  const ConstituentList bad = read_constituents(path);
  EXPECT_NE(bad.error.find(path + ": constituent 2"), std::string::npos) << bad.error;
  // Not a file: the text itself.
  EXPECT_EQ(read_constituents("a:b").items.at(0).unit, "b");
}

TEST(ConstituentsTest, CompletionNamesTheRestGenericallyAndRefusesTooMany) {
  const ConstituentList two = parse_constituents("salinity:psu,DOC:umol/L");
  const ConstituentList six = complete_constituents(two.items, 6);
  ASSERT_EQ(six.error, "");
  ASSERT_EQ(six.items.size(), 6u);
  EXPECT_EQ(six.items[1].name, "DOC");
  EXPECT_EQ(six.items[2].name, "c3");
  EXPECT_EQ(six.items[2].unit, "file units");
  EXPECT_EQ(six.items[5].long_name, "constituent 6");
  EXPECT_EQ(complete_constituents(two.items, 1).error, "2 constituent names given for 1 constituents");
  // A user name equal to a later generic name would make two variables of one name.
  EXPECT_NE(complete_constituents(parse_constituents("c2").items, 6).error.find("c2"),
            std::string::npos);
}

}  // namespace
}  // namespace qz5::results
