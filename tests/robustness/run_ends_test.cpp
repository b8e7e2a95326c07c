// Every run ends by itself, with the status that says why: a run crawling on
// ever smaller steps ends at the step limit as an integration failure; a
// channel whose laws are not positive over the reach, a bad geometry table
// or a bad command line is refused before anything is integrated; an initial
// profile that does not meet the boundaries is run, with a warning.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

struct Case {
  std::string name;
  std::function<void(Scenario&)> tweak;
  std::string args;            // before run.fn
  std::string geometry;        // text of river.geo, when not empty
  int status;
  std::vector<std::string> console_has;
  int txc_blocks;              // complete blocks expected in run.txc (-1: no file)
  std::string result_has = {}; // in RESULT, when not empty
  int progress_lines = -1;     // " Time=" lines in RUNINF (-1: not checked)
};

int complete_blocks(const fs::path& txc, int npts) {
  if (!fs::exists(txc)) return -1;
  const auto lines = e2e::read_lines(txc);
  for (const auto& l : lines) EXPECT_EQ(l.size(), 112u) << "a row cut short: " << l;
  EXPECT_EQ(lines.size() % static_cast<std::size_t>(npts), 0u);
  return static_cast<int>(lines.size()) / npts;
}

// Rows of a geometry table sampling area 17 + 3.4e-6 x^2 and a constant
// dispersion from 0 to 30000.
std::string geometry_text(const std::vector<std::string>& rows) {
  std::string text = "river geometry: position, area, dispersion\n";
  for (const auto& r : rows) text += r + "\n";
  return text;
}

TEST(RunsEnd, EveryRunEndsWithTheStatusThatSaysWhy) {
  const std::vector<Case> cases = {
      {"tolerances so tight that the steps crawl",
       [](Scenario& s) { s.rtol = s.atol = 1e-10; s.info10 = 1; },
       "--max-steps 40", "", 2,
       {" 40 STEPS TAKEN SINCE THE LAST OUTPUT TIME\n *  BEFORE REACHING TOUT", "ERROR NUMBER = -1", "\nDASSL error\n"},
       2, " IDID=          -1", 40},
      // 15 points 2000 apart from 1330: the midpoint of the last interval is
      // the law's pole at 28330, the last point lies beyond it.
      {"dispersion law infinite and negative inside the reach",
       [](Scenario& s) { s.xleft = 1330.0; s.xright = 29330.0; }, "", "", 1,
       {"Channel::Error, the built-in dispersion law is not positive at X = 28330",
        "Stop - Program terminated."},
       -1},
      {"geometry table that does not cover the reach", [](Scenario&) {}, "--geometry river.geo",
       geometry_text({"0 20 1e6", "15000 20 1e6"}), 1,
       {"Channel::Error, the geometry table (0 to 15000) does not cover the reach 1000 to 20000"},
       -1},
      {"geometry positions that do not increase", [](Scenario&) {}, "--geometry river.geo",
       geometry_text({"0 20 1e6", "10000 20 1e6", "10000 25 1e6", "30000 20 1e6"}), 1,
       {"Geometry::Error, positions do not increase strictly in file river.geo, line 4"}, -1},
      {"geometry area not positive", [](Scenario&) {}, "--geometry river.geo",
       geometry_text({"0 20 1e6", "10000 0 1e6", "30000 20 1e6"}), 1,
       {"Geometry::Error, area is not positive in file river.geo, line 3"}, -1},
      {"geometry dispersion negative", [](Scenario&) {}, "--geometry river.geo",
       geometry_text({"0 20 1e6", "30000 20 -1"}), 1,
       {"Geometry::Error, dispersion is not positive in file river.geo, line 3"}, -1},
      {"geometry row one value short", [](Scenario&) {}, "--geometry river.geo",
       geometry_text({"0 20 1e6", "30000 20"}), 1,
       {"Geometry::Error, a row holds 2 values, not 3 (position, area, dispersion) in file "
        "river.geo, line 3"},
       -1},
      {"geometry of one row", [](Scenario&) {}, "--geometry river.geo",
       geometry_text({"0 20 1e6"}), 1,
       {"Geometry::Error, fewer than two rows in file river.geo"}, -1},
      // The profile ends at 0.5 and 1 where the second boundary holds 30,
      // 0.5, 0.2, ...: the integrator cannot find consistent derivatives, and
      // the warning says why.
      {"profile that misses the second boundary",
       [](Scenario& s) {
         s.use_ut0 = true;
         for (int j = 0; j < s.npts; ++j) {
           const double x = s.xleft + (s.xright - s.xleft) * j / (s.npts - 1);
           s.ut0_rows.push_back({double(j + 1), x, 0.5, 1, 0.5, 1, 0.5, 1});
         }
       },
       "", "", 2,
       {"UINIT::Warning, the initial profile ends with constituent 1 at 0.5, the second "
        "boundary holds 30\n",
        "UINIT::Warning, the initial profile ends with constituent 6 at 1, the second boundary "
        "holds 0.5\n",
        "THE INITIAL\n *  YPRIME COULD NOT BE COMPUTED"},
       2},
      {"profile that starts and ends off the boundaries",
       [](Scenario& s) {
         s.use_ut0 = true;
         const std::vector<double> right = {30, 0.5, 0.2, 0.5, 0.2, 0.5};
         for (int j = 0; j < s.npts; ++j) {
           const double x = 1500.0 + (19000.0 - 1500.0) * j / (s.npts - 1);
           s.ut0_rows.push_back({double(j + 1), x});
           for (double c : right) s.ut0_rows.back().push_back(c);
         }
       },
       "", "", 0,
       {"UINIT::Warning, the initial profile starts at 1500, the first boundary lies at 1000\n",
        "UINIT::Warning, the initial profile ends at 19000, the second boundary lies at 20000\n",
        "\nReady\n"},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    c.tweak(s);
    const fs::path dir = e2e::fresh_dir("ends");
    s.write(dir);
    if (!c.geometry.empty()) e2e::write_file(dir / "river.geo", c.geometry);
    const RunResult r = run_bounded(dir, c.args + " run.fn");
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, c.status) << r.console;
    for (const std::string& text : c.console_has)
      EXPECT_NE(r.console.find(text), std::string::npos) << text << "\n" << r.console;
    EXPECT_EQ(complete_blocks(dir / "run.txc", s.npts), c.txc_blocks);
    if (!c.result_has.empty()) {
      EXPECT_NE(e2e::read_file(dir / "RESULT").find(c.result_has), std::string::npos);
    }
    if (c.progress_lines >= 0) {
      EXPECT_EQ(e2e::count_lines_with(e2e::read_file(dir / "RUNINF"), " Time="),
                c.progress_lines);
    }
    fs::remove_all(dir);
  }
}

TEST(CommandLine, HelpVersionAndRefusals) {
  struct Line {
    std::string args;
    int status;
    std::string console_has;
  };
  const std::vector<Line> lines = {
      {"--help", 0, "Usage: qz5 [options] [names-file]"},
      {"--help", 0, "--no-legacy-limits"},
      {"--version", 0, "qz5 0."},
      {"convert --help", 0, "Usage: qz5 convert [--kinetics FILE]"},
      {"convert --geometry g.geo -h", 0, "--strict[=error]     warn about"},
      {"convert --frobnicate a.fn b.toml", 1, "qz5 convert: unknown option --frobnicate"},
      {"--frobnicate run.fn", 1, "qz5: unknown option --frobnicate\nUsage: qz5"},
      {"--outflow sideways run.fn", 1, "--outflow takes fixed or free, not sideways"},
      {"--max-steps 0 run.fn", 1, "--max-steps takes a positive whole number, not 0"},
      {"--geometry", 1, "--geometry needs a value"},
      {"run.fn --outflow free", 1, "options come before the names file: --outflow"},
  };
  const fs::path dir = e2e::fresh_dir("cli");
  for (const Line& l : lines) {
    SCOPED_TRACE(l.args);
    const RunResult r = run_bounded(dir, l.args);
    EXPECT_EQ(r.status, l.status) << r.console;
    EXPECT_NE(r.console.find(l.console_has), std::string::npos) << r.console;
    // Nothing is run: no logs are written.
    EXPECT_FALSE(fs::exists(dir / "RESULT"));
  }
  fs::remove_all(dir);
}

// A run killed part-way (here while it crawls through its first interval
// with the step limit lifted) keeps what it completed: the title and header
// in both logs and the initial block, every line whole.
TEST(RunsEnd, KilledRunKeepsEverythingCompleted) {
  Scenario s;
  s.rtol = s.atol = 1e-10;
  s.info10 = 1;
  const fs::path dir = e2e::fresh_dir("killed");
  s.write(dir);
  const std::string exe = std::getenv("QZ5_EXE");
  const std::string cmd = "cd '" + dir.string() + "' && timeout -s KILL 2 '" + exe +
                          "' --max-steps 100000000 run.fn > console.txt 2>&1";
  const int raw = std::system(cmd.c_str());
  ASSERT_NE(raw, 0) << "the run ended by itself before it was killed";
  const auto result = e2e::read_lines(dir / "RESULT");
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(result[1].substr(0, 6), " NPTS=");
  EXPECT_EQ(result[2].substr(0, 5), " TAU=");
  EXPECT_GE(e2e::read_lines(dir / "RUNINF").size(), 3u);
  EXPECT_EQ(complete_blocks(dir / "run.txc", s.npts), 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::robust
