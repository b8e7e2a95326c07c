// The scenario file against the legacy files, through the executable: the
// shipped estuary.toml, and every conversion in either direction, must give
// the .txc of the legacy run byte for byte. For the bundled estuary that is
// the pinned file (written by the program when its results had been checked
// independently), for examples/river the legacy run made here.
#include <gtest/gtest.h>

#include <algorithm>
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

// examples/kinetics copied as it is laid out: the kinetics files and their
// forcing series at the top, each example scenario in a folder below.
fs::path copy_kinetics_examples(const std::string& tag) {
  const fs::path dir = fresh_dir(tag);
  fs::copy(repo_root() / "examples" / "kinetics", dir, fs::copy_options::recursive);
  return dir;
}

class KineticsExampleConversion : public ::testing::TestWithParam<const char*> {};

// For every example of declared kinetics: the legacy run as its README gives
// it, the scenario file shipped beside it, the scenario file converted from
// the legacy files, and the legacy files converted back from that, each run
// as the converter says: one .txc, byte for byte.
TEST_P(KineticsExampleConversion, EveryRouteGivesTheLegacyTxc) {
  const std::string n = GetParam();
  const fs::path top = copy_kinetics_examples("kin_" + n);
  const fs::path dir = top / n;
  const std::string legacy_args = "--kinetics ../" + n + ".toml --geometry " + n + ".geo --outflow free " + n + ".fn";
  RunResult r = run_qz5(dir, legacy_args);
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string legacy_txc = read_file(dir / (n + ".txc"));
  ASSERT_FALSE(legacy_txc.empty());

  fs::remove(dir / (n + ".txc"));
  r = run_qz5(dir, n + ".toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / (n + ".txc")) == legacy_txc) << "the shipped scenario file";

  r = run_qz5(dir, "convert " + legacy_args + " scenario/" + n + ".toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_NE(read_file(dir / "scenario" / (n + ".toml")).find("\nkinetics = \"../../" + n + ".toml\"\n"),
            std::string::npos);
  r = run_qz5(dir / "scenario", n + ".toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "scenario" / (n + ".txc")) == legacy_txc) << "converted from the legacy files";

  r = run_qz5(dir / "scenario", "convert " + n + ".toml ../legacy");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string command = "qz5 --kinetics ../../" + n + ".toml --geometry " + n + ".geo --outflow free " + n + ".fn";
  ASSERT_NE(r.console.find("Run them in that folder with: " + command), std::string::npos) << r.console;
  r = run_qz5(dir / "legacy", command.substr(4));
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "legacy" / (n + ".txc")) == legacy_txc) << "converted back to legacy files";
  fs::remove_all(top);
}

INSTANTIATE_TEST_SUITE_P(Examples, KineticsExampleConversion,
                         ::testing::Values("decay", "bod_do", "transient_storage", "bacteria"),
                         [](const auto& info) { return std::string(info.param); });

// The decay kinetics written inline, by hand, as a kinetics file is but
// under [kinetics]: the same run as with the file; converted to legacy files
// they become a kinetics file of their own beside them, and run the same.
TEST(ScenarioFileRuns, InlineKineticsRunAsTheirFileDoes) {
  const fs::path top = copy_kinetics_examples("kin_inline");
  const fs::path dir = top / "decay";
  RunResult r = run_qz5(dir, "--kinetics ../decay.toml --geometry decay.geo --outflow free decay.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string legacy_txc = read_file(dir / "decay.txc");

  std::string t = read_file(dir / "decay.toml");
  const std::size_t at = t.find("\nkinetics = \"../decay.toml\"\n");
  ASSERT_NE(at, std::string::npos);
  t.erase(at + 1, std::string("kinetics = \"../decay.toml\"\n").size());
  t.replace(t.find("txc = \"decay.txc\""), 17, "txc = \"inline.txc\"");
  t += "\n[kinetics]\ntitle = \"decay, inline\"\n"
       "[[kinetics.constituents]]\nname = \"tracer\"\nunit = \"ug/L\"\n"
       "[[kinetics.constituents]]\nname = \"contaminant\"\nunit = \"ug/L\"\n"
       "[kinetics.parameters]\nk = { value = 1.0, unit = \"1/day\" }\n"
       "[kinetics.rates]\ncontaminant = \"-k * contaminant\"\n";
  write_file(dir / "inline.toml", t);
  r = run_qz5(dir, "inline.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "inline.txc") == legacy_txc);

  r = run_qz5(dir, "convert inline.toml legacy");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string command = "qz5 --kinetics inline_kinetics.toml --geometry inline.geo --outflow free inline.fn";
  ASSERT_NE(r.console.find("Run them in that folder with: " + command), std::string::npos) << r.console;
  r = run_qz5(dir / "legacy", command.substr(4));
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(read_file(dir / "legacy" / "inline.txc") == legacy_txc);

  // A mistake inside the inline kinetics is placed in the scenario file.
  const std::size_t rate = t.find("\"-k * contaminant\"");
  t.replace(rate, 18, "\"-kk * contaminant\"");
  const long rate_line = 1 + static_cast<long>(std::count(t.begin(), t.begin() + static_cast<long>(rate), '\n'));
  write_file(dir / "inline.toml", t);
  r = run_qz5(dir, "inline.toml");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("inline.toml:" + std::to_string(rate_line) +
                           ": rate of contaminant: unknown name \"kk\" at position 2"),
            std::string::npos)
      << r.console;
  fs::remove_all(top);
}

}  // namespace
}  // namespace qz5::e2e

namespace qz5::e2e {
namespace {

// The stations of [output], by name and position, reach the stations CSV:
// a station_name column after the position, each row's name the one given
// for its position. (The NetCDF file's station_name variable is read back
// in tests/python/scenario_dates_readback.py.)
TEST(ScenarioFileRuns, StationNamesReachTheStationsCsv) {
  const fs::path dir = copy_example("estuary", "toml_stations");
  std::string t = read_file(dir / "estuary.toml");
  for (const char* key : {"# stations = [", "# stations_csv"}) t.erase(t.find(key), 2);
  write_file(dir / "estuary.toml", t);
  const RunResult r = run_qz5(dir, "estuary.toml");
  ASSERT_EQ(r.status, 0) << r.console;
  const std::vector<std::string> rows = read_lines(dir / "estuary-stations.csv");
  ASSERT_GT(rows.size(), 3u);
  EXPECT_EQ(rows[0], "time,station,station_name,salinity,doc,din,phyto,consumers,detritus");
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::size_t a = rows[i].find(',') + 1;
    const std::size_t b = rows[i].find(',', a) + 1;
    const std::string x = rows[i].substr(a, b - a - 1);
    const std::string name = rows[i].substr(b, rows[i].find(',', b) - b);
    ASSERT_EQ(name, x == "0" ? "head" : x == "16000" ? "outfall" : "(no station at " + x + ")") << rows[i];
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::e2e
