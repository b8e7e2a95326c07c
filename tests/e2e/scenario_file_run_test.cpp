// The scenario file against the legacy files, through the executable: the
// shipped estuary.toml, and every conversion in either direction, must give
// the .txc of the legacy run byte for byte. For the bundled estuary that is
// the pinned file (written by the program when its results had been checked
// independently), for examples/river the legacy run made here.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

namespace fs = std::filesystem;

fs::path repo_root() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

fs::path copy_example(const std::string& name, const std::string& tag) {
  const fs::path dir = fresh_dir(tag);
  for (const auto& entry : fs::directory_iterator(repo_root() / "examples" / name))
    fs::copy_file(entry.path(), dir / entry.path().filename());
  return dir;
}

const fs::path kPinned = repo_root() / "tests" / "e2e" / "pinned";

TEST(ScenarioFileRuns, TheShippedEstuaryScenarioWritesThePinnedFiles) {
  const fs::path dir = copy_example("estuary", "toml_shipped");
  const RunResult r = run_qz5(dir, "estuary.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find(" Scenario file being used: estuary.toml\n"), std::string::npos)
      << r.console;
  for (const char* name : {"estuary.txc", "RESULT", "RUNINF"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(read_file(dir / name) == read_file(kPinned / name)) << "differs from the pinned file";
  }
  fs::remove_all(dir);
}

TEST(ScenarioFileRuns, BundledScenarioConvertedEitherWayGivesThePinnedTxc) {
  const fs::path dir = copy_example("estuary", "toml_convert");
  fs::remove(dir / "estuary.toml");  // converted afresh below
  RunResult r = run_qz5(dir, "convert estuary.fn scenario/estuary.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  r = run_qz5(dir / "scenario", "estuary.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "scenario" / "estuary.txc") == read_file(kPinned / "estuary.txc"));
  EXPECT_TRUE(read_file(dir / "scenario" / "RESULT") == read_file(kPinned / "RESULT"));

  // ... and back to legacy files, run as the converter says.
  r = run_qz5(dir / "scenario", "convert estuary.toml ../legacy");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find("Run them in that folder with: qz5 estuary.fn"), std::string::npos)
      << r.console;
  r = run_qz5(dir / "legacy", "estuary.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "legacy" / "estuary.txc") == read_file(kPinned / "estuary.txc"));
  fs::remove_all(dir);
}

TEST(ScenarioFileRuns, RiverWithTableAndFreeOutflowConvertedEitherWayGivesTheSameTxc) {
  const fs::path dir = copy_example("river", "toml_river");
  RunResult r = run_qz5(dir, "--geometry river.geo --outflow free river.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string legacy_txc = read_file(dir / "river.txc");
  ASSERT_FALSE(legacy_txc.empty());

  r = run_qz5(dir, "convert --geometry river.geo --outflow free river.fn scenario/river.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string toml = read_file(dir / "scenario" / "river.toml");
  EXPECT_NE(toml.find("geometry = \"river_geometry.csv\""), std::string::npos) << toml;
  EXPECT_NE(toml.find("outflow = \"free\""), std::string::npos) << toml;
  r = run_qz5(dir / "scenario", "river.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "scenario" / "river.txc") == legacy_txc);

  r = run_qz5(dir / "scenario", "convert river.toml ../legacy");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string command = "qz5 --geometry river.geo --outflow free river.fn";
  ASSERT_NE(r.console.find("Run them in that folder with: " + command), std::string::npos)
      << r.console;
  r = run_qz5(dir / "legacy", command.substr(4));
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "legacy" / "river.txc") == legacy_txc);
  fs::remove_all(dir);
}

TEST(ScenarioFileRuns, AMalformedScenarioStopsWithItsPlaceAndStatusOne) {
  const fs::path dir = copy_example("estuary", "toml_bad");
  std::string t = read_file(dir / "estuary.toml");
  t.replace(t.find("atol = 0.001"), 12, "atol = 1,0E-3");
  write_file(dir / "estuary.toml", t);
  const RunResult r = run_qz5(dir, "estuary.toml");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("estuary.toml, line 37, column 9: \"atol = 1,0E-3"), std::string::npos)
      << r.console;
  EXPECT_NE(r.console.find("a decimal comma?"), std::string::npos) << r.console;
  EXPECT_FALSE(fs::exists(dir / "estuary.txc"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::e2e
