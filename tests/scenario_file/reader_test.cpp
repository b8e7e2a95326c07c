// What the reader makes of valid scenario files: values where the layout
// puts them, columns found by name whatever their order, dates turned into
// days, and a scenario written and read back unchanged bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "scenario_file/csv_table.h"
#include "scenario_file/scenario_files.h"
#include "scenario_file/toml_reader.h"
#include "scenario_file/writers.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

fs::path repo_root() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

ScenarioDocument read_small(std::map<std::string, std::string> files, const std::string& tag) {
  const fs::path dir = testing::fresh_folder(tag);
  testing::write_files(dir, files);
  ScenarioDocument d = read_scenario_document(dir / "s.toml");
  fs::remove_all(dir);
  return d;
}

TEST(ScenarioReader, ColumnsAreFoundByNameInAnyOrder) {
  const ScenarioDocument d = read_small(testing::small_scenario(), "order");
  EXPECT_EQ(d.points, 3);
  EXPECT_EQ(d.outputs, (std::vector<double>{1.0, 2.0}));
  ASSERT_EQ(d.constituents.size(), 6u);
  EXPECT_EQ(d.constituents[0].unit, "psu");
  EXPECT_EQ(d.second_boundary.time, (std::vector<double>{0.0, 5.0, 10.0}));
  // second.csv lists f first and a last: a is the 11, 21, 31 column.
  EXPECT_EQ(d.second_boundary.columns[0], (std::vector<double>{11.0, 21.0, 31.0}));
  EXPECT_EQ(d.second_boundary.columns[5], (std::vector<double>{16.0, 26.0, 36.0}));
  EXPECT_EQ(d.first_boundary.columns[1], (std::vector<double>{1.0, 1.0, 1.0}));
  ASSERT_EQ(d.laterals.size(), 1u);
  EXPECT_EQ(d.laterals[0].name, "river");
  EXPECT_EQ(d.laterals[0].concentrations.columns[2], (std::vector<double>{3.0, 3.0}));
  EXPECT_TRUE(d.profile_x.empty());  // linear
  EXPECT_EQ(d.parameters[0], 1.2);
  EXPECT_EQ(d.parameters[1], 0.0);  // the unused parameter, left out
  EXPECT_EQ(d.parameters[18], 0.03);
  EXPECT_EQ(d.outflow, Outflow::kFixedConcentration);
}

TEST(ScenarioReader, ASpreadsheetsCsvWithByteOrderMarkAndCrLfReads) {
  auto files = testing::small_scenario();
  files.at("driver.csv") = "\xEF\xBB\xBFtime;factor\r\n-1;1\r\n20;1.5\r\n";
  const ScenarioDocument d = read_small(files, "bom");
  EXPECT_EQ(d.flow_driver.time, (std::vector<double>{-1.0, 20.0}));
  EXPECT_EQ(d.flow_driver.columns[0], (std::vector<double>{1.0, 1.5}));
}

TEST(ScenarioReader, DatesBecomeDaysFromTheReferenceDate) {
  auto files = testing::small_scenario();
  std::string& t = files.at("s.toml");
  t.replace(t.find("title"), 0, "reference_date = 2024-02-27\n");  // a leap year
  t.replace(t.find("start = 0.0"), 11, "start = 2024-02-27");
  t.replace(t.find("outputs = [1.0, 2.0]"), 20,
            "outputs = [2024-02-28T12:00:00, \"2024-03-01\"]");
  files.at("driver.csv") = "date, factor\n2024-02-26T00:00, 1\n2024-03-18, 1\n";
  const ScenarioDocument d = read_small(files, "dates");
  ASSERT_TRUE(d.reference_date.has_value());
  EXPECT_EQ(d.start, 0.0);
  // 28 Feb noon is 1.5 days on; 1 Mar is 3 days on (29 Feb in between).
  EXPECT_EQ(d.outputs, (std::vector<double>{1.5, 3.0}));
  EXPECT_EQ(d.flow_driver.time, (std::vector<double>{-1.0, 20.0}));
}

TEST(ScenarioReader, OutputTimesAsARangeAreComputedFromTheFirst) {
  auto files = testing::small_scenario();
  std::string& t = files.at("s.toml");
  t.replace(t.find("outputs = [1.0, 2.0]"), 20, "outputs = { from = 0.1, to = 0.7, step = 0.1 }");
  const ScenarioDocument d = read_small(files, "range");
  // 0.1 + i*0.1, not a running sum; 0.1 + 6*0.1 is 0.7000000000000001,
  // within rounding of `to`, so it is kept.
  ASSERT_EQ(d.outputs.size(), 7u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(d.outputs[static_cast<std::size_t>(i)], 0.1 + i * 0.1);
}

void expect_same(const Series& a, const Series& b) {
  EXPECT_EQ(a.time, b.time);
  EXPECT_EQ(a.columns, b.columns);
}

TEST(ScenarioWriter, TheBundledScenarioWrittenAndReadBackIsUnchanged) {
  const ScenarioDocument a = read_scenario_document(repo_root() / "examples" / "estuary" / "estuary.toml");
  const fs::path dir = testing::fresh_folder("roundtrip");
  const auto written = write_scenario_files(a, dir / "copy.toml");
  EXPECT_EQ(written.size(), 8u);  // the scenario, two ends, three inputs, driver, profile
  const ScenarioDocument b = read_scenario_document(dir / "copy.toml");
  EXPECT_EQ(a.title, b.title);
  EXPECT_EQ(a.points, b.points);
  EXPECT_EQ(a.tau, b.tau);
  EXPECT_EQ(a.kappa, b.kappa);
  EXPECT_EQ(a.alpha, b.alpha);
  EXPECT_EQ(a.rtol, b.rtol);
  EXPECT_EQ(a.atol, b.atol);
  EXPECT_EQ(a.non_negative, b.non_negative);
  EXPECT_EQ(a.start, b.start);
  EXPECT_EQ(a.outputs, b.outputs);
  EXPECT_EQ(a.first_end, b.first_end);
  EXPECT_EQ(a.second_end, b.second_end);
  expect_same(a.first_boundary, b.first_boundary);
  expect_same(a.second_boundary, b.second_boundary);
  expect_same(a.flow_driver, b.flow_driver);
  ASSERT_EQ(a.laterals.size(), b.laterals.size());
  for (std::size_t i = 0; i < a.laterals.size(); ++i) {
    EXPECT_EQ(a.laterals[i].name, b.laterals[i].name);
    EXPECT_EQ(a.laterals[i].position, b.laterals[i].position);
    EXPECT_EQ(a.laterals[i].flow, b.laterals[i].flow);
    expect_same(a.laterals[i].concentrations, b.laterals[i].concentrations);
  }
  EXPECT_EQ(a.profile_x, b.profile_x);
  EXPECT_EQ(a.profile, b.profile);
  EXPECT_EQ(a.parameters, b.parameters);
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(a.constituents[k].name, b.constituents[k].name);
    EXPECT_EQ(a.constituents[k].unit, b.constituents[k].unit);
    EXPECT_EQ(a.constituents[k].factor, b.constituents[k].factor);
  }
  fs::remove_all(dir);
}

TEST(ScenarioWriter, NumbersAreWrittenSoTheyReadBackExactly) {
  // Values whose shortest decimal forms are long or need an exponent.
  for (const double v : {0.1, 1.0 / 3.0, 2.0 / 3.0 * 1e-7, 6.02214076e23, -4.9406564584124654e-324,
                         1e-05, 123456789012345.67, 300000.0, -0.0}) {
    SCOPED_TRACE(v);
    double back = 1.0;
    ASSERT_TRUE(parse_number(number_text(v), back)) << number_text(v);
    EXPECT_EQ(std::signbit(back), std::signbit(v));
    EXPECT_EQ(back, v);
  }
  EXPECT_EQ(number_text(300000.0), "300000.0");
  EXPECT_EQ(number_text(1e-05), "1e-05");
  EXPECT_EQ(number_text(0.0001), "0.0001");
}

}  // namespace
}  // namespace qz5::scenario_file

namespace qz5::scenario_file {
namespace {

TEST(ScenarioFileKind, ToldApartFromANamesFileByNameOrContent) {
  const fs::path dir = testing::fresh_folder("kind");
  const struct {
    const char* name;
    const char* text;
    bool scenario;
  } kCases[] = {
      {"a.toml", "", true},  // by its name, whatever it holds
      {"run.fn", "Estuary run\nRecords 3-9\nrun.prm\n", false},
      {"run.scenario", "# a scenario\n\ntitle = \"x\"\n", true},
      {"run2.scenario", "[grid]\npoints = 3\n", true},
      // A names file whose title says "NPTS = 81" is still a names file.
      {"run3.fn", "Run with NPTS = 81\nsecond\nrun.prm\n", false},
      {"empty", "", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir / c.name) << c.text;
    EXPECT_EQ(is_scenario_file(dir / c.name), c.scenario);
  }
  EXPECT_TRUE(is_scenario_file(repo_root() / "examples" / "estuary" / "estuary.toml"));
  EXPECT_FALSE(is_scenario_file(repo_root() / "examples" / "estuary" / "estuary.fn"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::scenario_file
