// Problem set-up on small crafted runs: the names file and its console
// block, the parameter file, the output times and the order of loading.
#include <gtest/gtest.h>

#include <sstream>

#include "input/problem_setup.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::name_field;
using testing::ScratchDir;
using testing::stop_of;

// Parameter-file records: (value text, comment).
using Records = std::vector<std::pair<std::string, std::string>>;

Records standard_prm() {
  Records r = {{"6", "NCOMP"},       {"21", "NPTS"},         {"1.0", "TAU"},
               {"2.0", "KAPPA"},     {"1.0E-5", "ALPHA"},    {"1.0D-3", "ATOL"},
               {"1.0E-4", "RTOL"},   {"1", "INFO10"},        {"T", "USE_UT0"},
               {".false.", "LI_FROM_BND"}, {"1", "XCONV, an integer read as a real"},
               {"86400", "TUNIT_MODEL"}, {"1.0", "TUNIT_DAY"}};
  for (int k = 1; k <= 6; ++k) r.push_back({std::to_string(k) + ".5", "CCONV"});
  for (int k = 1; k <= 19; ++k) r.push_back({std::to_string(k) + ".25", "RXPAR"});
  return r;
}

std::string prm_text(const Records& r, bool comments) {
  std::string s;
  for (const auto& [value, comment] : r) s += value + (comments ? "   " + comment : "") + "\n";
  return s;
}

// A complete small run in a scratch directory.
class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_prm(standard_prm(), true);
    dir.write("run.li", "Lateral inputs\n1\n-100.0\n5.0\n0.01\n"
                        "0.0 1 2 3 4 5 6\n10.0 1 2 3 4 5 6\n");
    // Start values: rows at days 1 and 2, the run starts at 1.5.
    dir.write("run.bnd", "0.0 1000.0\n"
                         "1.0  0 10 20 30 40 50  1 11 21 31 41 51\n"
                         "2.0  2 12 22 32 42 52  3 13 23 33 43 53\n"
                         "9.0  2 12 22 32 42 52  3 13 23 33 43 53\n");
    dir.write("run.t", "1.5  start\n1.5 2.0 ignored\n3  days\n");
    dir.write("run.UT0", "");
    dir.write("run.drv", "0 1\n10 1\n");
    write_names({"run.prm", "run.li", "run.bnd", "run.t", "run.UT0", "run.drv", "run.txc"});
  }
  void write_prm(const Records& r, bool comments) { dir.write("run.prm", prm_text(r, comments)); }
  // Records 3..9 of the names file hold the given names (paths in the
  // scratch directory).
  void write_names(const std::vector<std::string>& names) {
    std::string s = "Names file of a test run\nrun.prm (record 2 is ignored too)\n";
    for (const auto& n : names) s += dir.file(n) + "\n";
    names_path = dir.write("run.fn", s);
  }
  std::optional<Stop> run(Console& c) {
    return stop_of([&] { iniprb_qz5(c.io, *ms, title, names_path); });
  }
  ScratchDir dir;
  std::string names_path;
  std::string title;
  std::unique_ptr<Inputs> ms = testing::new_state();
};

TEST_F(SetupTest, FillsTheModelStateInModelUnits) {
  Console con;
  ASSERT_FALSE(run(con));
  EXPECT_EQ(title, name_field(" Advection dispersion with QZ5"));
  EXPECT_EQ(ms->M, 0);
  EXPECT_EQ(ms->NDRV, 1);
  EXPECT_EQ(ms->NCOMP, 6);
  EXPECT_EQ(ms->NPTS, 21);
  EXPECT_EQ(ms->TAU, 1.0);
  EXPECT_EQ(ms->KAPPA, 2.0);
  EXPECT_EQ(ms->ALPHA, 1.0E-5);
  EXPECT_EQ(ms->ATOL, 1.0E-3);
  EXPECT_EQ(ms->RTOL, 1.0E-4);
  EXPECT_EQ(ms->INFO10, 1);
  EXPECT_TRUE(ms->USE_UT0);
  EXPECT_FALSE(ms->LI_FROM_BND);
  EXPECT_EQ(ms->XCONV, 1.0);
  EXPECT_EQ(ms->TUNIT_MODEL, 86400.0);
  EXPECT_EQ(ms->TUNIT_DAY, 1.0);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(ms->CCONV(k), k + 0.5);
  for (int k = 1; k <= 19; ++k) EXPECT_EQ(ms->RXPAR(k), k + 0.25);
  // Days to model seconds.
  EXPECT_EQ(ms->TSTART, 129600.0);
  EXPECT_EQ(ms->NTIMES, 2);
  EXPECT_EQ(ms->TOUTS(1), 129600.0);
  EXPECT_EQ(ms->TOUTS(2), 259200.0);
  // Boundary start values halfway between the rows of days 1 and 2.
  for (int m = 1; m <= 6; ++m) {
    SCOPED_TRACE(m);
    EXPECT_EQ(ms->CBND0(m, 1), 10.0 * (m - 1) + 1.0);
    EXPECT_EQ(ms->CBND0(m, 2), 10.0 * (m - 1) + 2.0);
  }
  EXPECT_EQ(ms->XBND(2), 1000.0);
  EXPECT_EQ(ms->load_best.nlat, 1);
  EXPECT_EQ(ms->load_best.nlat_tpts, 2);
  EXPECT_EQ(ms->var_drv.npts_drv(1), 2);
  EXPECT_EQ(ms->FN_TXC, std::filesystem::path(dir.file("run.txc")));
  EXPECT_EQ(ms->FN_DRV(1), std::filesystem::path(dir.file("run.drv")));
  EXPECT_FALSE(con.io.is_open(kUnitInput));
}

TEST_F(SetupTest, ParameterFileFormsReadAlike) {
  // Comments after the values, none, and other spellings of the same values.
  Records spelled = standard_prm();
  spelled[5].first = "0.001";     // ATOL
  spelled[8].first = ".TRUE.";    // USE_UT0
  spelled[9].first = "F";         // LI_FROM_BND
  spelled[10].first = "1.0";      // XCONV
  spelled[11].first = "8.64D4";   // TUNIT_MODEL
  struct Case {
    const char* name;
    Records records;
    bool comments;
  };
  for (const Case& c : {Case{"with comments", standard_prm(), true},
                        Case{"without comments", standard_prm(), false},
                        Case{"other spellings", spelled, true}}) {
    SCOPED_TRACE(c.name);
    write_prm(c.records, c.comments);
    ms = testing::new_state();
    ms->FN_PRM = std::filesystem::path(dir.file("run.prm"));
    Console con;
    READ_PRM_QZ5(con.io, *ms, kUnitInput);
    EXPECT_EQ(ms->ATOL, 1.0E-3);
    EXPECT_TRUE(ms->USE_UT0);
    EXPECT_FALSE(ms->LI_FROM_BND);
    EXPECT_EQ(ms->XCONV, 1.0);
    EXPECT_EQ(ms->TUNIT_MODEL, 86400.0);
    EXPECT_EQ(ms->CCONV(6), 6.5);
    EXPECT_EQ(ms->RXPAR(1), 1.25);  // record 20
    EXPECT_EQ(ms->RXPAR(19), 19.25);  // record 38
    EXPECT_EQ(con.text(), "");
  }
}

TEST_F(SetupTest, ConsoleListsTheFiles) {
  // Names longer than 50 characters: echoed cut (prm .. ut0), trimmed (drv)
  // or in full (txc), but opened with every character.
  // A subdirectory whose name brings the paths to about 70 characters.
  const std::size_t base = dir.file("").size();
  const std::string sub(base < 60 ? 60 - base : 1, 'd');
  std::filesystem::create_directories(dir.file(sub));
  for (const char* n : {"run.prm", "run.li", "run.bnd", "run.t", "run.UT0", "run.drv"}) {
    std::filesystem::copy_file(dir.file(n), dir.file(sub + "/" + n));
  }
  std::vector<std::string> names;
  for (const char* n : {"run.prm", "run.li", "run.bnd", "run.t", "run.UT0", "run.drv", "run.txc"})
    names.push_back(sub + "/" + n);
  write_names(names);
  ASSERT_GT(dir.file(names[0]).size(), 50u);
  ASSERT_LE(dir.file(names[0]).size(), 80u);
  Console con;
  ASSERT_FALSE(run(con));
  const auto cut = [&](int i) { return dir.file(names[static_cast<std::size_t>(i)]).substr(0, 50); };
  const std::vector<std::string> expected = {
      "  ",
      msg("Input files being used:"),
      msg("   prm: " + cut(0)),
      msg("    li: " + cut(1)),
      msg("   bnd: " + cut(2)),
      msg("     t: " + cut(3)),
      msg("   ut0: " + cut(4)),
      "  ",
      msg("Driver files being used:"),
      msg("   drv: " + dir.file(names[5])),
      "  ",
      msg("Output files being used"),
      msg("   txc: " + name_field(dir.file(names[6]))),
  };
  EXPECT_EQ(con.lines(), expected);
}

TEST_F(SetupTest, BlankDriverNameEchoesTheLabelAlone) {
  dir.write("blank.fn", "x\nx\na\nb\nc\nd\ne\n\nf\n");
  Console con;
  ms->NDRV = 1;
  const std::string fn = dir.file("blank.fn");
  READ_FN(con.io, *ms, kUnitInput, fn);
  const auto lines = con.lines();
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[9], msg("   drv: "));
  EXPECT_EQ(ms->FN_DRV(1), std::filesystem::path(""));
  EXPECT_EQ(ms->FN_PRM, std::filesystem::path("a"));
  EXPECT_EQ(ms->FN_TXC, std::filesystem::path("f"));
}


TEST_F(SetupTest, OutputTimesOnlyTheStart) {
  dir.write("run.t", "1.5\n");
  Console con;
  ASSERT_FALSE(run(con));
  EXPECT_EQ(ms->NTIMES, 0);
  EXPECT_EQ(ms->TSTART, 129600.0);
}

TEST_F(SetupTest, TwoHundredOutputTimesFit) {
  std::string t = "1.5\n";
  for (int i = 1; i <= 200; ++i) t += std::to_string(1.5 + 0.01 * i) + "\n";
  dir.write("run.t", t);
  Console con;
  ASSERT_FALSE(run(con));
  EXPECT_EQ(ms->NTIMES, 200);
  EXPECT_DOUBLE_EQ(ms->TOUTS(200), 3.5 * 86400.0);
}

TEST_F(SetupTest, RefusalsNameTheFile) {
  std::string t201 = "1.5\n";
  for (int i = 1; i <= 201; ++i) t201 += "2\n";
  struct Case {
    const char* name;
    std::string file;  // rewritten with `text`
    std::string text;
    const char* detail;
  };
  Records ncomp5 = standard_prm();
  ncomp5[0].first = "5";
  std::vector<Case> cases = {
      {"NCOMP 5", "run.prm", prm_text(ncomp5, true), "NCOMP must be 6, not 5"},
      {"empty output-times file", "run.t", "", "no start time"},
      {"blank output-times file", "run.t", "\n  \n", "no start time"},
      {"201 output times", "run.t", t201, "more than 200 output times"},
  };
  for (int k : {7, 8, 13, 14}) {
    Records zero = standard_prm();
    zero[static_cast<std::size_t>(12 + 6 + k)].first = "0.0";
    cases.push_back({"zero RXPAR", "run.prm", prm_text(zero, true),
                     nullptr});
    cases.back().detail = k == 7 ? "RXPAR(7) must not be zero (record 26)"
                        : k == 8 ? "RXPAR(8) must not be zero (record 27)"
                        : k == 13 ? "RXPAR(13) must not be zero (record 32)"
                                  : "RXPAR(14) must not be zero (record 33)";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + c.detail);
    SetUp();
    dir.write(c.file, c.text);
    ms = testing::new_state();
    Console con;
    const auto stopped = run(con);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, kExitBadInput);
    EXPECT_EQ(stopped->text, kDefaultStopText);
    const std::string last = con.lines().back();
    EXPECT_NE(last.find(c.detail), std::string::npos) << last;
    EXPECT_NE(last.find(dir.file(c.file)), std::string::npos) << last;
  }
}

TEST_F(SetupTest, UnreadableOrMissingInputStopsNamingTheFile) {
  struct Case {
    const char* name;
    std::string file;
    std::string text;
    const char* detail;
  };
  Records bad_logical = standard_prm();
  bad_logical[8].first = "yes";
  Records bad_integer = standard_prm();
  bad_integer[1].first = "twenty";
  const std::vector<Case> cases = {
      {"logical", "run.prm", prm_text(bad_logical, true), "line 9"},
      {"integer", "run.prm", prm_text(bad_integer, true), "line 2"},
      {"output time", "run.t", "1.5\n2.0\nthree\n", "line 3"},
      {"parameter file ends early", "run.prm", "6\n21\n1.0\n", "run.prm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    dir.write(c.file, c.text);
    ms = testing::new_state();
    Console con;
    const auto stopped = run(con);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, kExitBadInput);
    EXPECT_NE(stopped->text.find(dir.file(c.file)), std::string::npos) << stopped->text;
    EXPECT_NE(stopped->text.find(c.detail), std::string::npos) << stopped->text;
  }
  for (const char* missing : {"run.prm", "run.li", "run.bnd", "run.t", "run.drv", "run.fn"}) {
    SCOPED_TRACE(missing);
    SetUp();
    std::filesystem::remove(dir.file(missing));
    ms = testing::new_state();
    Console con;
    const auto stopped = run(con);
    ASSERT_TRUE(stopped);
    EXPECT_NE(stopped->text.find(dir.file(missing)), std::string::npos) << stopped->text;
  }
}

}  // namespace
}  // namespace qz5
