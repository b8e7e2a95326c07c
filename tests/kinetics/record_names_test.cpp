// The run record (NetCDF, CSV, Python Datasets) takes the constituents'
// names, units and transported flags from declared kinetics.
#include <gtest/gtest.h>

#include "kinetics/kinetics_test_util.h"
#include "results/recorder.h"

namespace qz5::kinetics_test {
namespace {

constexpr const char* kStorage = R"toml(
[[constituents]]
name = "salinity"
unit = "psu"
[[constituents]]
name = "Cs"
transported = false
[rates]
Cs = "0.1 * (salinity - Cs)"
)toml";

const results::Variable* variable(const results::RunRecord& r, const std::string& name) {
  for (const results::Variable& v : r.variables)
    if (v.name == name) return &v;
  return nullptr;
}

Scenario storage_scenario(std::shared_ptr<const Kinetics> k) {
  Reach reach;
  reach.npts = 11;
  reach.left = {1.0, 0.0};
  reach.right = {1.0, 0.0};
  reach.touts = {1.0};
  const fs::path dir = fresh_dir("record");
  reach.write(dir);
  Scenario s = read_with(dir, std::move(k));
  fs::remove_all(dir);
  return s;
}

TEST(RunRecordNames, DeclaredKineticsNameTheConstituents) {
  const Scenario s = storage_scenario(DeclaredKinetics::read_text(kStorage, "k.toml"));
  results::Recorder rec({});
  ASSERT_EQ(results::Recorder::check({}, s), "");
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  const Summary sum = run_scenario(s, {}, &rec, io);
  rec.finish(sum);
  ASSERT_TRUE(sum.completed()) << sum.message << "\n" << out.str();
  const results::Variable* sal = variable(rec.record(), "salinity");
  const results::Variable* cs = variable(rec.record(), "Cs");
  ASSERT_NE(sal, nullptr);
  ASSERT_NE(cs, nullptr);
  EXPECT_EQ(sal->text("units"), "psu");
  EXPECT_EQ(sal->text("standard_name"), "sea_water_salinity");
  EXPECT_EQ(sal->text("transported"), "true");
  EXPECT_EQ(cs->text("units"), "file units");
  EXPECT_EQ(cs->text("transported"), "false");
  EXPECT_EQ(variable(rec.record(), "c1"), nullptr);
}

TEST(RunRecordNames, DeclaredNamesThatARecordVariableUsesAreRefused) {
  const Scenario s = storage_scenario(DeclaredKinetics::read_text(
      "[[constituents]]\nname = \"time\"\n[[constituents]]\nname = \"B\"\n", "k.toml"));
  const std::string problem = results::Recorder::check({}, s);
  EXPECT_NE(problem.find("the kinetics' constituent names:"), std::string::npos) << problem;
  EXPECT_NE(problem.find("time"), std::string::npos) << problem;
}

}  // namespace
}  // namespace qz5::kinetics_test
