// The kinetics entry of a scenario file: a kinetics file named from the
// scenario's folder gives the constituents (the tables' columns are named by
// them), and every refusal names its file and line. (Inline kinetics are run
// against their file in tests/e2e/scenario_file_run_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "scenario_file/scenario_files.h"
#include "scenario_file/to_engine.h"
#include "scenario_file/toml_reader.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

const char* const kKinetics =
    "[[constituents]]\n"  // 1
    "name = \"tracer\"\n"  // 2
    "unit = \"g/m3\"\n"    // 3
    "[[constituents]]\n"   // 4
    "name = \"dye\"\n"     // 5
    "[parameters]\n"       // 6
    "k = 0.5\n"            // 7
    "[rates]\n"            // 8
    "dye = \"-k * dye\"\n";  // 9

void replace(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// The small scenario with two declared constituents, tracer and dye, from
// k.toml; second.csv lists them in the other order.
std::map<std::string, std::string> declared_scenario() {
  auto f = testing::small_scenario();
  std::string& s = f.at("s.toml");
  const std::size_t line2 = s.find('\n') + 1;
  s.replace(line2, s.find('\n', line2) - line2, "kinetics = \"k.toml\"");  // line 2
  s.erase(s.find("[kinetics]\n"), s.find("[units]") - s.find("[kinetics]\n"));
  replace(s, "time, a, b, c, d, e, f\n0, 1, 2, 3, 4, 5, 6\n10, 1, 2, 3, 4, 5, 6\n",
          "time, tracer, dye\n0, 1, 2\n10, 1, 2\n");
  f.at("first.csv") = "time, tracer [g/m3], dye\n0, 0, 1\n5, 0, 1\n10, 0, 1\n";
  f.at("second.csv") = "time, dye, tracer\n0, 12, 11\n5, 22, 21\n10, 32, 31\n";
  f["k.toml"] = kKinetics;
  return f;
}

struct Read {
  ScenarioDocument doc;
  std::string refusal;  // "" when read
};

Read read_in_folder(const std::map<std::string, std::string>& files, const std::string& tag) {
  const fs::path dir = testing::fresh_folder(tag);
  testing::write_files(dir, files);
  Read r;
  try {
    r.doc = read_scenario_document(dir / "s.toml");
  } catch (const ScenarioFileError& e) {
    r.refusal = e.what();
    const std::string prefix = dir.string() + "/";
    for (std::size_t p; (p = r.refusal.find(prefix)) != std::string::npos;) r.refusal.erase(p, prefix.size());
  }
  fs::remove_all(dir);
  return r;
}

TEST(KineticsEntry, AKineticsFileNamesTheConstituentsAndTheEngineTakesThem) {
  const Read r = read_in_folder(declared_scenario(), "kin_file");
  ASSERT_EQ(r.refusal, "");
  const ScenarioDocument& d = r.doc;
  ASSERT_NE(d.kinetics, nullptr);
  EXPECT_EQ(d.kinetics_file.filename(), "k.toml");
  ASSERT_EQ(d.constituents.size(), 2u);
  EXPECT_EQ(d.constituents[0].name, "tracer");
  EXPECT_EQ(d.constituents[0].unit, "g/m3");
  EXPECT_EQ(d.constituents[1].name, "dye");
  // Columns by the kinetics' names: second.csv holds dye first.
  EXPECT_EQ(d.second_boundary.columns[0], (std::vector<double>{11.0, 21.0, 31.0}));
  EXPECT_EQ(d.second_boundary.columns[1], (std::vector<double>{12.0, 22.0, 32.0}));

  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  const Scenario s = to_engine_scenario(d, io);
  EXPECT_EQ(s.inputs.NCOMP, 2);
  EXPECT_EQ(s.inputs.kinetics_ncomp, 2);
  EXPECT_EQ(s.kinetics, d.kinetics);
  // The boundary table: time, the first end's two, the second end's two.
  EXPECT_EQ(s.inputs.boundarys.bnd_tab(2, 1), 5.0);
  EXPECT_EQ(s.inputs.boundarys.bnd_tab(2, 3), 1.0);   // first end, dye
  EXPECT_EQ(s.inputs.boundarys.bnd_tab(2, 4), 21.0);  // second end, tracer
  EXPECT_EQ(s.inputs.boundarys.bnd_tab(2, 5), 22.0);  // second end, dye
}

struct Refusal {
  const char* name;
  const char* file;
  const char* from;
  const char* to;
  const char* message;
};

const Refusal kRefusals[] = {
    {"kinetics file missing", "s.toml", "kinetics = \"k.toml\"", "kinetics = \"kk.toml\"",
     "s.toml, line 2, column 12: \"kk.toml\" cannot be opened; expected a readable kinetics file "
     "(paths resolve against the scenario file's folder)"},
    {"an unknown name in the kinetics file", "k.toml", "-k * dye", "-kx * dye",
     "s.toml, line 2, column 12: \"k.toml\" holds kinetics that cannot be used: k.toml:9: rate of "
     "dye: unknown name \"kx\" at position 2 in \"-kx * dye\"; expected kinetics written as "
     "examples/kinetics/README.md describes"},
    {"constituents in another order than the kinetics'", "s.toml", "kinetics = \"k.toml\"\n",
     "kinetics = \"k.toml\"\nconstituents = [ { name = \"dye\" }, { name = \"tracer\" } ]\n",
     "s.toml, line 3, column 18: \"dye\" is not the kinetics' constituent here (k.toml); expected "
     "the kinetics' constituents in their order: here tracer"},
    {"a unit other than the kinetics'", "s.toml", "kinetics = \"k.toml\"\n",
     "kinetics = \"k.toml\"\nconstituents = [ { name = \"tracer\", unit = \"psu\" }, { name = \"dye\" } ]\n",
     "s.toml, line 3, column 18: \"psu\" is not the unit the kinetics give tracer; expected "
     "\"g/m3\", or no unit entry"},
    {"fewer constituents than the kinetics'", "s.toml", "kinetics = \"k.toml\"\n",
     "kinetics = \"k.toml\"\nconstituents = [ { name = \"tracer\", factor = 2.0 } ]\n",
     "s.toml, line 3, column 16: declares 1 constituents; expected 2 [[constituents]], those of the "
     "kinetics, or none"},
};

TEST(KineticsEntry, RefusalsNameTheFileAndLine) {
  int n = 0;
  for (const Refusal& c : kRefusals) {
    SCOPED_TRACE(c.name);
    auto files = declared_scenario();
    replace(files.at(c.file), c.from, c.to);
    EXPECT_EQ(read_in_folder(files, "kin_bad" + std::to_string(n++)).refusal, c.message);
  }
}

}  // namespace
}  // namespace qz5::scenario_file
