// Whole runs that go wrong after set-up: nothing written before the fault is
// lost, and equations that blow up end in the integrator's report and
// "DASSL error" rather than a hang or a crash. Also inputs that look odd but
// are valid (tabs, CRLF line ends, very long comment lines, long file names)
// must give exactly the results of the plain files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

constexpr int kValuesPerRow = 8;  // time, position, six concentrations

const std::string kReport = " ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.";

// Every line of the concentration file, split into numbers. A block is
// complete when it has npts rows of eight numbers, all at the same time.
struct Txc {
  std::vector<std::vector<double>> rows;
  bool every_row_complete = true;
  bool ends_with_line_end = true;
};

Txc read_txc(const fs::path& p) {
  Txc t;
  const std::string text = e2e::read_file(p);
  t.ends_with_line_end = text.empty() || text.back() == '\n';
  for (const std::string& line : split_lines(text)) {
    // Values are numbers or, after a blow-up, NaN or Infinity; strtod reads
    // all of them and anything else is a damaged row.
    std::istringstream in(line);
    std::vector<double> row;
    bool readable = true;
    for (std::string tok; in >> tok;) {
      char* end = nullptr;
      row.push_back(std::strtod(tok.c_str(), &end));
      readable = readable && *end == '\0';
    }
    if (row.size() != kValuesPerRow || !readable) t.every_row_complete = false;
    t.rows.push_back(row);
  }
  return t;
}

// Times of the blocks of a file whose rows are all complete; fails the test
// when a block is cut short or mixes times.
std::vector<double> block_times(const Txc& t, int npts) {
  std::vector<double> times;
  EXPECT_TRUE(t.every_row_complete);
  EXPECT_TRUE(t.ends_with_line_end);
  EXPECT_EQ(t.rows.size() % static_cast<std::size_t>(npts), 0u) << "a block is cut short";
  for (std::size_t b = 0; b + npts <= t.rows.size(); b += static_cast<std::size_t>(npts)) {
    times.push_back(t.rows[b][0]);
    for (int j = 0; j < npts; ++j) EXPECT_EQ(t.rows[b + j][0], t.rows[b][0]) << "row " << b + j;
  }
  return times;
}

RunResult run_scenario(const Scenario& s, const fs::path& dir, int seconds = 20) {
  s.write(dir);
  return run_bounded(dir, "run.fn", seconds);
}

// --- nothing lost -----------------------------------------------------------

// Flows 10^200 times larger from day 0.6 on: the equations leave the range of
// doubles and the integration fails between the output times 0.5 and 1.0.
TEST(NothingLost, FailedIntegrationKeepsEveryBlockWrittenBefore) {
  Scenario s;
  s.drv_points = {{-10, 1.0}, {0.6, 1.0}, {0.61, 1e200}, {400, 1e200}};
  s.touts = {0.25, 0.5, 1.0, 2.0};
  const fs::path dir = e2e::fresh_dir("lost_dassl");
  const RunResult r = run_scenario(s, dir);
  expect_clean_end(r, "failed integration");
  EXPECT_EQ(r.status, 2) << r.console;
  EXPECT_NE(r.console.find(kReport), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("\nDASSL error\n"), std::string::npos) << r.console;
  const std::vector<double> times = block_times(read_txc(dir / "run.txc"), s.npts);
  // Start, 0.25, 0.5 and the block at the time reached when it failed.
  ASSERT_EQ(times.size(), 4u) << r.console;
  EXPECT_EQ(times[0], 0.0);
  EXPECT_FLOAT_EQ(times[1], 0.25);
  EXPECT_FLOAT_EQ(times[2], 0.5);
  EXPECT_GT(times[3], 0.5);
  EXPECT_LT(times[3], 1.0);
  // The blocks before the failure are the ones a run without it writes.
  Scenario plain = s;
  plain.drv_points = {{-10, 1.0}, {400, 1.0}};
  plain.touts = {0.25, 0.5};
  const fs::path ref = e2e::fresh_dir("lost_ref");
  ASSERT_EQ(run_scenario(plain, ref).status, 0);
  const auto got = e2e::read_lines(dir / "run.txc");
  const auto want = e2e::read_lines(ref / "run.txc");
  ASSERT_EQ(want.size(), 3u * s.npts);
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + want.size()), want);
  // RESULT ends with the failure's statistics and IDID.
  const std::string result = e2e::read_file(dir / "RESULT");
  EXPECT_EQ(e2e::count_lines_with(result, "Statistics:"), 3);
  EXPECT_EQ(e2e::count_lines_with(result, "IDID="), 1);
  fs::remove_all(dir);
  fs::remove_all(ref);
}

// The driver covers only the first 0.7 days: the run stops in the driver
// look-up during the integration towards 1.0.
TEST(NothingLost, DriverRangeStopKeepsCompleteBlocks) {
  Scenario s;
  s.drv_points = {{-10, 1.0}, {0.7, 1.0}};
  s.touts = {0.25, 0.5, 1.0};
  const fs::path dir = e2e::fresh_dir("lost_drv");
  const RunResult r = run_scenario(s, dir);
  expect_clean_end(r, "driver range");
  EXPECT_EQ(r.status, 1) << r.console;
  EXPECT_NE(r.console.find("Var_drv::t outside data range of driver: "), std::string::npos);
  EXPECT_NE(r.console.find(" Program terminating...\nStop - Program terminated.\n"),
            std::string::npos)
      << r.console;
  const std::vector<double> times = block_times(read_txc(dir / "run.txc"), s.npts);
  ASSERT_EQ(times.size(), 3u);
  EXPECT_FLOAT_EQ(times[2], 0.5);
  // Both logs are complete up to the stop: the statistics of 0.25 and 0.5.
  EXPECT_EQ(e2e::count_lines_with(e2e::read_file(dir / "RESULT"), "Statistics:"), 2);
  EXPECT_GT(e2e::count_lines_with(e2e::read_file(dir / "RUNINF"), " Time="), 0);
  fs::remove_all(dir);
}

// Files of an earlier, longer run hold only this run's text afterwards, both
// after a normal end and after a stop in set-up.
TEST(NothingLost, EarlierLongerOutputsAreReplaced) {
  const std::string old_text = [] {
    std::string t;
    for (int i = 0; i < 20000; ++i) t += "OLD RUN LINE\n";
    return t;
  }();
  for (const bool bad_input : {false, true}) {
    SCOPED_TRACE(bad_input ? "set-up stop" : "normal run");
    const fs::path dir = e2e::fresh_dir("replace");
    Scenario s;
    s.write(dir);
    for (const char* f : {"RESULT", "RUNINF", "run.txc"}) e2e::write_file(dir / f, old_text);
    if (bad_input) e2e::write_file(dir / "run.t", "");
    const RunResult r = run_bounded(dir);
    EXPECT_EQ(r.status, bad_input ? 1 : 0) << r.console;
    for (const char* f : {"RESULT", "RUNINF"}) {
      const std::string text = e2e::read_file(dir / f);
      EXPECT_EQ(text.find("OLD RUN"), std::string::npos) << f;
      // Set-up stops before the title: the log is empty; a run starts with it.
      if (bad_input) EXPECT_EQ(text, "") << f;
      else EXPECT_EQ(text.rfind(" Advection dispersion with QZ5", 0), 0u) << f;
    }
    if (!bad_input) {
      EXPECT_EQ(e2e::read_file(dir / "run.txc").find("OLD RUN"), std::string::npos);
      EXPECT_EQ(block_times(read_txc(dir / "run.txc"), s.npts).size(), 3u);
    }
    fs::remove_all(dir);
  }
}

TEST(NothingLost, OutputFileThatCannotBeCreatedStopsNamingIt) {
  const fs::path dir = e2e::fresh_dir("unwritable");
  e2e::write_file(dir / "plainfile", "x");
  struct Case {
    std::string name;
    std::string txc;
  };
  std::vector<Case> cases = {{"missing folder", "nofolder/run.txc"},
                             {"folder is a file", "plainfile/run.txc"}};
  if (::geteuid() != 0) {  // the superuser writes into read-only folders
    fs::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    cases.push_back({"read-only folder", "ro/run.txc"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    s.txc_name = c.txc;
    const RunResult r = run_scenario(s, dir);
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, 1) << r.console;
    EXPECT_NE(r.console.find("Error creating file \"" + c.txc + "\": cannot be written"),
              std::string::npos)
        << r.console;
    EXPECT_EQ(r.console.find("Saving data at:"), std::string::npos);
  }
  if (fs::exists(dir / "ro")) ::chmod((dir / "ro").c_str(), 0755);
  fs::remove_all(dir);
}

// --- numerical faults ---------------------------------------------------------

struct BlowUp {
  std::string name;
  std::function<void(Scenario&)> tweak;
};

// Each run's equations become non-finite: a growth rate of 10^300 per day.
// (A grid reaching the dispersion law's pole is refused before the
// integration starts: see run_ends_test.cpp.)
TEST(NumericalFaults, BlowUpEndsInReportAndDasslError) {
  const std::vector<BlowUp> cases = {
      {"huge reaction rate", [](Scenario& s) { s.rxpar[0] = 1e300; }},
      {"huge reaction rates everywhere",
       [](Scenario& s) { for (int k : {0, 3, 4, 5, 11}) s.rxpar[k] = 1e300; }},
  };
  for (const BlowUp& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    c.tweak(s);
    const fs::path dir = e2e::fresh_dir("blowup");
    const RunResult r = run_scenario(s, dir);
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, 2) << r.console;
    EXPECT_NE(r.console.find(kReport), std::string::npos) << r.console;
    EXPECT_NE(r.console.find(" *  ERROR NUMBER = -"), std::string::npos) << r.console;
    EXPECT_NE(r.console.find("\nDASSL error\n"), std::string::npos) << r.console;
    // The initial block and the block at the time reached are both complete.
    EXPECT_EQ(block_times(read_txc(dir / "run.txc"), s.npts).size(), 2u);
    // The steps collapse instead of crawling on: the run ends within the
    // first output interval after at most 500 steps, one progress line each.
    EXPECT_LE(e2e::count_lines_with(e2e::read_file(dir / "RUNINF"), " Time="), 500);
    fs::remove_all(dir);
  }
}

// (time, step size) of every progress line " Time=   .86400E-01; H=   .43200E-01; Order= 1".
std::vector<std::pair<double, double>> progress(const fs::path& runinf) {
  std::vector<std::pair<double, double>> steps;
  for (const std::string& line : e2e::read_lines(runinf)) {
    const auto t = line.find("Time=");
    const auto h = line.find("H=");
    if (t == std::string::npos || h == std::string::npos) continue;
    steps.emplace_back(std::strtod(line.c_str() + t + 5, nullptr),
                       std::strtod(line.c_str() + h + 2, nullptr));
  }
  return steps;
}

// From day 0.6 the lateral flows switch between 1 and 10^6 times their size
// every 4.32 seconds (5e-5 days): the integrator's steps shrink far below a
// second to follow them. However small the steps, the run must end (here
// with "Ready" or "DASSL error") and take at most 500 steps per output time.
TEST(NumericalFaults, TinyStepsEndWithinTheStepLimitPerOutputTime) {
  Scenario s;
  s.drv_points = {{-10, 1.0}, {0.6, 1.0}};
  for (int i = 1; i < 4000; ++i) s.drv_points.push_back({0.6 + i * 5e-5, i % 2 ? 1e6 : 1.0});
  s.drv_points.push_back({400, 1.0});
  s.touts = {0.5, 1.0};
  const fs::path dir = e2e::fresh_dir("tiny");
  const RunResult r = run_scenario(s, dir, 40);
  expect_clean_end(r, "tiny steps");
  EXPECT_TRUE(r.status == 0 || r.status == 2) << r.console;
  const auto steps = progress(dir / "RUNINF");
  ASSERT_FALSE(steps.empty());
  double smallest = steps[0].second;
  int first_interval = 0, second_interval = 0;
  for (const auto& [t, h] : steps) {
    smallest = std::min(smallest, h);
    (t <= 43200.0 ? first_interval : second_interval) += 1;
  }
  ASSERT_LT(smallest, 1.0) << "the steps never became small: the scenario misses its point";
  EXPECT_LE(first_interval, 500);
  EXPECT_LE(second_interval, 500);
  fs::remove_all(dir);
}

// --- valid but unusual files ------------------------------------------------

std::string long_comments(const std::string& text) {
  std::string out;
  for (const std::string& l : split_lines(text)) out += l + "  " + std::string(100000, 'c') + "\n";
  return out;
}

TEST(UnusualValidInput, GivesTheResultsOfThePlainFiles) {
  Scenario base;
  base.touts = {0.25};
  const fs::path ref = e2e::fresh_dir("plain");
  ASSERT_EQ(run_scenario(base, ref).status, 0);
  const std::string want = e2e::read_file(ref / "run.txc");
  ASSERT_FALSE(want.empty());

  const std::vector<std::string> data = {"run.prm", "run.li", "run.bnd", "run.t", "run.drv"};
  const std::string name80 = std::string(76, 'n') + ".prm";
  struct Case {
    std::string name;
    std::function<void(const fs::path&)> edit;
  };
  const std::vector<Case> cases = {
      {"CRLF line ends everywhere",
       [&](const fs::path& d) {
         for (const std::string f : {"run.fn", "run.prm", "run.li", "run.bnd", "run.t", "run.drv"})
           e2e::write_file(d / f, to_crlf(e2e::read_file(d / f)));
       }},
      {"tabs between values",
       [&](const fs::path& d) {
         for (const std::string& f : data) e2e::write_file(d / f, blanks_to_tabs(e2e::read_file(d / f)));
       }},
      {"lines of 100000 characters",
       [&](const fs::path& d) {
         for (const std::string& f : {std::string("run.prm"), std::string("run.t"), std::string("run.drv")})
           e2e::write_file(d / f, long_comments(e2e::read_file(d / f)));
       }},
      {"parameter file name of exactly 80 characters",
       [&](const fs::path& d) {
         fs::rename(d / "run.prm", d / name80);
         e2e::write_file(d / "run.fn", with_line(e2e::read_file(d / "run.fn"), 3, name80));
       }},
      {"name of 120 characters whose first 80 name the file",
       [&](const fs::path& d) {
         fs::rename(d / "run.prm", d / name80);
         e2e::write_file(d / "run.fn",
                         with_line(e2e::read_file(d / "run.fn"), 3, name80 + std::string(40, 'x')));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = e2e::fresh_dir("unusual");
    base.write(dir);
    c.edit(dir);
    const RunResult r = run_bounded(dir);
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, 0) << r.console;
    EXPECT_EQ(e2e::read_file(dir / "run.txc"), want);
    fs::remove_all(dir);
  }
  fs::remove_all(ref);
}

}  // namespace
}  // namespace qz5::robust
