// Whole runs of the qz5 executable on small scenarios: what the console, the
// two logs and the concentration file hold, and the exit status.
#include <gtest/gtest.h>

#include <string>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

constexpr int kLineLength = 112;  // 8 fields of a blank and G13.5

TEST(RunTest, NormalRunWritesHeaderBlocksStatisticsAndReady) {
  Scenario s;
  s.touts = {0.25, 0.5, 1.0};
  const auto dir = fresh_dir("normal");
  s.write(dir);
  const RunResult r = run_qz5(dir);
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find("\nReady\n"), std::string::npos) << r.console;
  EXPECT_EQ(count_lines_with(r.console, " Saving data at: "), 4);

  const auto result = read_lines(dir / "RESULT");
  ASSERT_GE(result.size(), 3u);
  EXPECT_EQ(result[0], " Advection dispersion with QZ5" + std::string(50, ' '));
  EXPECT_EQ(result[1], " NPTS= 15; RTOL=.100E-03, ATOL=.100E-05" + std::string(41, ' '));
  EXPECT_EQ(result[2], " TAU=.100E+04, KAPPA=.200E+01, ALPHA=.100E-01" + std::string(35, ' '));
  // Three statistics lines per output time and nothing else.
  EXPECT_EQ(result.size(), 3u + 3u * 3u);
  const std::string text = read_file(dir / "RESULT");
  EXPECT_EQ(count_lines_with(text, "Statistics:"), 3);
  EXPECT_EQ(count_lines_with(text, "FNS, JACS:"), 3);
  EXPECT_EQ(count_lines_with(text, "STEPS, ETF, CTF:"), 3);

  // RUNINF: the same three header lines, then one progress line per step.
  const auto runinf = read_lines(dir / "RUNINF");
  ASSERT_GE(runinf.size(), 4u);
  EXPECT_EQ(runinf[0], result[0]);
  EXPECT_EQ(runinf[1], result[1]);
  EXPECT_EQ(runinf[2], result[2]);
  for (std::size_t i = 3; i < runinf.size(); ++i) {
    EXPECT_EQ(runinf[i].rfind(" Time=", 0), 0u) << runinf[i];
    EXPECT_NE(runinf[i].find("; H="), std::string::npos);
    EXPECT_NE(runinf[i].find("; Order="), std::string::npos);
  }
  // The last statistics line holds the cumulative step count. Every step but
  // the one that passes an output time returns to the driver, which writes
  // one progress line for it.
  std::istringstream last(result.back().substr(result.back().find(':') + 1));
  int steps = 0;
  last >> steps;
  const int progress = static_cast<int>(runinf.size()) - 3;
  EXPECT_LE(progress, steps);
  EXPECT_GE(progress, steps - 3);

  // One block per saved time, 112-character lines, times in days.
  const auto lines = read_lines(dir / "run.txc");
  ASSERT_EQ(lines.size(), 4u * 15u);
  for (const auto& line : lines) EXPECT_EQ(line.size(), static_cast<std::size_t>(kLineLength));
  const auto blocks = read_txc_blocks(dir / "run.txc", 15);
  ASSERT_EQ(blocks.size(), 4u);
  const double expected_days[] = {0.0, 0.25, 0.5, 1.0};
  for (int b = 0; b < 4; ++b) {
    for (const auto& row : blocks[b]) EXPECT_DOUBLE_EQ(row[0], expected_days[b]);
    // The grid stays inside the domain and strictly increasing.
    EXPECT_FLOAT_EQ(blocks[b].front()[1], 1000.0f);
    EXPECT_FLOAT_EQ(blocks[b].back()[1], 20000.0f);
    for (int j = 1; j < 15; ++j) EXPECT_GT(blocks[b][j][1], blocks[b][j - 1][1]);
  }
  // The second boundary pins every constituent to its series value.
  EXPECT_FLOAT_EQ(blocks[3].back()[2], 30.0f);
  EXPECT_FLOAT_EQ(blocks[3].back()[3], 0.5f);
}

TEST(RunTest, NoOutputTimesWritesOnlyTheInitialProfile) {
  Scenario s;
  s.touts = {};
  const auto dir = fresh_dir("ntimes0");
  s.write(dir);
  const RunResult r = run_qz5(dir);
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find("\nReady\n"), std::string::npos);
  EXPECT_EQ(read_lines(dir / "RESULT").size(), 3u);
  EXPECT_EQ(read_lines(dir / "RUNINF").size(), 3u);
  EXPECT_EQ(read_lines(dir / "run.txc").size(), 15u);
}

TEST(RunTest, LargestGridRunsAndOneMorePointStopsInSetUp) {
  Scenario s;
  s.touts = {0.001};
  s.npts = 142;
  const auto ok_dir = fresh_dir("npts142");
  s.write(ok_dir);
  const RunResult ok = run_qz5(ok_dir);
  EXPECT_EQ(ok.status, 0) << ok.console;
  EXPECT_NE(ok.console.find("\nReady\n"), std::string::npos);
  EXPECT_EQ(read_lines(ok_dir / "run.txc").size(), 2u * 142u);

  s.npts = 143;
  const auto bad_dir = fresh_dir("npts143");
  s.write(bad_dir);
  const RunResult bad = run_qz5(bad_dir);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.console.find(" SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN "
                             "REQUIRED :      1073\n"),
            std::string::npos)
      << bad.console;
  EXPECT_NE(bad.console.find("\nError in SETSKM\n"), std::string::npos);
  EXPECT_EQ(bad.console.find("MXNEQ"), std::string::npos);
  // The logs hold the title only; the output file is never opened.
  EXPECT_EQ(read_lines(bad_dir / "RESULT").size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(bad_dir / "run.txc"));
}

TEST(RunTest, NegativeToleranceFailsWithAsterisksReportAndStatus2) {
  Scenario s;
  s.rtol = -1.0e-4;
  const auto dir = fresh_dir("negtol");
  s.write(dir);
  const RunResult r = run_qz5(dir);
  EXPECT_EQ(r.status, 2) << r.console;
  const auto result = read_lines(dir / "RESULT");
  ASSERT_GE(result.size(), 2u);
  EXPECT_EQ(result[1].substr(0, 39), " NPTS= 15; RTOL=********, ATOL=.100E-05");
  EXPECT_NE(r.console.find(" ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC."), std::string::npos)
      << r.console;
  EXPECT_NE(r.console.find("\nDASSL error\n"), std::string::npos);
  const std::string text = read_file(dir / "RESULT");
  EXPECT_EQ(count_lines_with(text, "Statistics:"), 1);
  EXPECT_EQ(count_lines_with(text, "IDID="), 1);
  EXPECT_NE(text.find("IDID=         -33"), std::string::npos) << text;
  // The profile at the time reached (the start) is written after the failure.
  EXPECT_EQ(read_lines(dir / "run.txc").size(), 2u * 15u);
}

TEST(RunTest, OutputTimeBehindTheCurrentTimeEndsWithDasslError) {
  Scenario s;
  s.touts = {0.5, 0.25};
  const auto dir = fresh_dir("behind");
  s.write(dir);
  const RunResult r = run_qz5(dir);
  EXPECT_EQ(r.status, 2) << r.console;
  EXPECT_NE(r.console.find("BEHIND T ="), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("\nDASSL error\n"), std::string::npos);
  // Start, the first output time and the block at the time reached.
  const auto blocks = read_txc_blocks(dir / "run.txc", 15);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_DOUBLE_EQ(blocks[1][0][0], 0.5);
  EXPECT_DOUBLE_EQ(blocks[2][0][0], 0.5);
  const std::string text = read_file(dir / "RESULT");
  EXPECT_EQ(count_lines_with(text, "Statistics:"), 2);
  EXPECT_EQ(count_lines_with(text, "IDID="), 1);
}

TEST(RunTest, LogsOfAnEarlierLongerRunAreReplaced) {
  const auto dir = fresh_dir("replace");
  write_file(dir / "RESULT", std::string(100000, 'x') + "\n");
  write_file(dir / "RUNINF", std::string(100000, 'y') + "\n");
  Scenario s;
  s.touts = {};
  s.write(dir);
  const RunResult r = run_qz5(dir);
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(read_file(dir / "RESULT").find('x'), std::string::npos);
  EXPECT_EQ(read_file(dir / "RUNINF").find('y'), std::string::npos);
}

}  // namespace
}  // namespace qz5::e2e
