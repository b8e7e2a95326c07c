// --kinetics on the command line: the bundled run with its kinetics declared
// writes the pinned files, refusals name what is wrong, and the result files
// take the declared names.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

namespace fs = std::filesystem;

// Absolute: __FILE__ may be relative to the build folder (ccache with a base
// folder), and runs take this path into folders of their own.
fs::path repo_root() { return fs::absolute(fs::path(__FILE__)).parent_path().parent_path().parent_path(); }

fs::path copy_of(const std::string& example, const std::string& tag) {
  const fs::path dir = fresh_dir(tag);
  for (const auto& entry : fs::directory_iterator(repo_root() / "examples" / example))
    fs::copy_file(entry.path(), dir / entry.path().filename());
  return dir;
}

std::string kinetics(const std::string& name) {
  return "--kinetics '" + (repo_root() / "examples" / "kinetics" / name).string() + "' ";
}

TEST(KineticsOption, DeclaredEstuaryKineticsWriteThePinnedFiles) {
  const fs::path dir = copy_of("estuary", "kinetics_pinned");
  const RunResult r = run_qz5(dir, kinetics("estuary.toml") + "estuary.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  const fs::path pinned = repo_root() / "tests" / "e2e" / "pinned";
  for (const char* name : {"estuary.txc", "RESULT", "RUNINF"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(read_file(dir / name) == read_file(pinned / name)) << "differs from the pinned "
                                                                    << name;
  }
  // The console says where the kinetics came from, then goes on as pinned.
  const std::string said = " Kinetics from: " + (repo_root() / "examples" / "kinetics" /
                                                 "estuary.toml").string() + "\n";
  EXPECT_EQ(r.console, said + read_file(pinned / "console.txt"));
  fs::remove_all(dir);
}

TEST(KineticsOption, RefusalsNameWhatIsWrong) {
  const fs::path dir = copy_of("estuary", "kinetics_refusals");
  write_file(dir / "bad.toml", "[[constituents]]\nname = \"A\"\n[rates]\nA = \"-k * A\"\n");
  struct Case {
    const char* what;
    std::string args;
    std::string says;
  };
  const Case cases[] = {
      {"a malformed file", "--kinetics bad.toml estuary.fn",
       " Kinetics::Error, bad.toml:4: rate of A: unknown name \"k\" at position 2 in \"-k * A\"\n"},
      {"a missing file", "--kinetics none.toml estuary.fn",
       " Kinetics::Error, none.toml: cannot be read\n"},
      {"NCOMP of the parameter file not the declared number", kinetics("decay.toml") + "estuary.fn",
       "READ_PRM_QZ5::Error, NCOMP is 6 (record 1), the kinetics declare 2 constituents"},
      {"--constituents with --kinetics",
       kinetics("estuary.toml") + "--netcdf x.nc --constituents a,b,c,d,e,f estuary.fn",
       "qz5: --constituents cannot be used with --kinetics: the kinetics file names the "
       "constituents\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult r = run_qz5(dir, c.args);
    EXPECT_EQ(r.status, 1) << r.console;
    EXPECT_NE(r.console.find(c.says), std::string::npos) << r.console;
  }
  fs::remove_all(dir);
}

std::vector<std::vector<std::string>> csv(const fs::path& p) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : read_lines(p)) {
    std::vector<std::string> cells;
    std::stringstream s(line);
    std::string cell;
    while (std::getline(s, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

TEST(KineticsOption, ResultFilesTakeTheDeclaredNamesAndImmobileBudgetsHaveNoTransport) {
  const fs::path dir = copy_of("kinetics/transient_storage", "kinetics_results");
  const RunResult r = run_qz5(dir, kinetics("transient_storage.toml") +
                                       "--geometry transient_storage.geo --outflow free "
                                       "--stations 1000 --stations-csv st.csv --budget b.csv "
                                       "transient_storage.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  const auto stations = csv(dir / "st.csv");
  ASSERT_FALSE(stations.empty());
  EXPECT_EQ(stations[0], (std::vector<std::string>{"time", "station", "C", "Cs"}));
  const auto budget = csv(dir / "b.csv");
  ASSERT_GT(budget.size(), 2u);
  const std::vector<std::string>& head = budget[0];
  auto column = [&](const std::string& name) {
    for (std::size_t i = 0; i < head.size(); ++i)
      if (head[i] == name) return i;
    ADD_FAILURE() << "no column " << name;
    return std::size_t{0};
  };
  int immobile = 0;
  double closing = 0.0, reaction = 0.0;
  for (std::size_t i = 1; i < budget.size(); ++i) {
    if (budget[i][column("constituent")] != "Cs") continue;
    ++immobile;
    for (const char* term : {"in_left_advective", "in_left_dispersive", "out_right_advective",
                             "out_right_dispersive", "lateral_load"})
      EXPECT_EQ(std::stod(budget[i][column(term)]), 0.0) << term << " row " << i;
    closing += std::abs(std::stod(budget[i][column("closing_error")]));
    reaction += std::abs(std::stod(budget[i][column("reaction")]));
  }
  EXPECT_EQ(immobile, 40);
  // What the storage zone gains is what the exchange brings: the budget
  // closes to the time integration's accuracy (here with the non-negative
  // clip of the example's INFO10 = 1).
  std::printf("storage zone budget: sum of |closing error| %.3e of the sum of |reaction|\n",
              closing / reaction);
  EXPECT_LT(closing, 1e-3 * reaction);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::e2e
