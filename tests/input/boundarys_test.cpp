// Boundarys: loading the boundary file, the start values and the look-up.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "input/boundarys.h"
#include "input/inputs.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::name_field;
using testing::ScratchDir;
using testing::stop_of;

// Boundary value of constituent m (1..6) at time point `row`: first boundary
// 10*row + m, second boundary 100*row + m. Distinct everywhere, exact in
// binary.
double first_value(int row, int m) { return 10.0 * row + m; }
double second_value(int row, int m) { return 100.0 * row + m; }

// A boundary file with the given times; record 1 holds the two positions.
std::string boundary_file(const std::vector<double>& times) {
  std::ostringstream s;
  s << "0.0 23330.0   first and second boundary\n";
  for (std::size_t r = 0; r < times.size(); ++r) {
    const int row = static_cast<int>(r) + 1;
    s << times[r];
    for (int m = 1; m <= 6; ++m) s << ' ' << first_value(row, m);
    for (int m = 1; m <= 6; ++m) s << ' ' << second_value(row, m);
    s << '\n';
  }
  return s.str();
}

std::vector<double> days(int n) {
  std::vector<double> t;
  for (int i = 0; i < n; ++i) t.push_back(i);
  return t;
}

class BoundarysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ms->NCOMP = 6;
    ms->TUNIT_MODEL = 86400.0;
    ms->TUNIT_DAY = 1.0;
  }
  // Loads `text` as the boundary file.
  std::optional<Stop> load(const std::string& text) {
    ms->FN_BND = std::filesystem::path(dir.write("case.bnd", text));
    return stop_of([&] { ms->boundarys.setup(con.io, *ms, kUnitInput); });
  }
  ScratchDir dir;
  Console con;
  std::unique_ptr<Inputs> ms = testing::new_state();
  int ilast = 1;  // the run's look-up position
};

TEST_F(BoundarysTest, TwoPointsGiveTheMeanHalfway) {
  ASSERT_FALSE(load(boundary_file({0.0, 2.0})));
  EXPECT_EQ(ms->XBND(1), 0.0);
  EXPECT_EQ(ms->XBND(2), 23330.0);
  EXPECT_EQ(ms->boundarys.nbnd_tpts, 2);
  EXPECT_FALSE(con.io.is_open(kUnitInput));
  double CL[6];
  double CR[6];
  ms->boundarys.lookup(con.io, *ms, 1.0, CL, CR, ilast);
  for (int m = 1; m <= 6; ++m) {
    SCOPED_TRACE(m);
    EXPECT_EQ(CL[m - 1], (first_value(1, m) + first_value(2, m)) / 2.0);
    EXPECT_EQ(CR[m - 1], (second_value(1, m) + second_value(2, m)) / 2.0);
  }
  EXPECT_EQ(con.text(), "");
}

TEST_F(BoundarysTest, StartValuesAtATabulatedTimeAndBetweenRows) {
  struct Case {
    const char* name;
    double tstart_days;
    int row;        // left row of the interval
    double frac;    // position in it
  };
  const std::vector<Case> cases = {
      {"first time", 0.0, 1, 0.0},
      {"tabulated second time", 1.0, 2, 0.0},
      {"between rows 2 and 3", 1.5, 2, 0.5},
      {"a quarter into row 3", 2.25, 3, 0.25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ms = testing::new_state();
    ilast = 1;
    SetUp();
    ms->TSTART = c.tstart_days * 86400.0;  // model seconds
    ASSERT_FALSE(load(boundary_file({0.0, 1.0, 2.0, 3.0})));
    for (int m = 1; m <= 6; ++m) {
      const double l0 = first_value(c.row, m), l1 = first_value(c.row + 1, m);
      const double r0 = second_value(c.row, m), r1 = second_value(c.row + 1, m);
      EXPECT_EQ(ms->CBND0(m, 1), (l1 - l0) * c.frac + l0);
      EXPECT_EQ(ms->CBND0(m, 2), (r1 - r0) * c.frac + r0);
    }
  }
}

TEST_F(BoundarysTest, RecordsMayBeSplitCommaSeparatedAndCutShortAtTheEnd) {
  std::string text = "0.0, 100.0\n";
  text += "0.0 1 2 3 4 5 6\n7 8 9 10 11 12\n";  // one record over two lines
  text += "4.0,5,6,7,8,9,10,11,12,13,14,15,16  comment\n";
  text += "8.0 1 2 3 4 5\n";  // cut short by the end of the file: not counted
  ASSERT_FALSE(load(text));
  EXPECT_EQ(ms->XBND(2), 100.0);
  EXPECT_EQ(ms->boundarys.nbnd_tpts, 2);
  EXPECT_EQ(ms->boundarys.bnd_tab(1, 13), 12.0);
  EXPECT_EQ(ms->boundarys.bnd_tab(2, 1), 4.0);
  EXPECT_EQ(ms->boundarys.bnd_tab(2, 13), 16.0);
}

TEST_F(BoundarysTest, LookUpOutsideTheTableHoldsTheEndValues) {
  ASSERT_FALSE(load(boundary_file({0.0, 1.0, 2.0})));
  double CL[6];
  double CR[6];
  ms->boundarys.lookup(con.io, *ms, 5.0, CL, CR, ilast);
  EXPECT_EQ(CL[5], first_value(3, 6));
  EXPECT_EQ(CR[0], second_value(3, 1));
  ms->boundarys.lookup(con.io, *ms, -1.0, CL, CR, ilast);
  EXPECT_EQ(CL[0], first_value(1, 1));
  EXPECT_EQ(CR[5], second_value(1, 6));
  EXPECT_EQ(con.text(), msg("Interpolate::Warning, extrapolating beyond tmax") + "\n" +
                            msg("Interpolate::Warning, extrapolating beyond tmin") + "\n");
}

TEST_F(BoundarysTest, CapacityIsExactlyOneHundredTimePoints) {
  ASSERT_FALSE(load(boundary_file(days(100))));
  EXPECT_EQ(ms->boundarys.nbnd_tpts, 100);
  EXPECT_EQ(ms->boundarys.bnd_tab(100, 1), 99.0);
  EXPECT_EQ(ms->boundarys.bnd_tab(100, 13), second_value(100, 6));

  ms = testing::new_state();
  SetUp();
  const auto stopped = load(boundary_file(days(101)));
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->text, kDefaultStopText);
  EXPECT_EQ(stopped->status, kExitBadInput);
  EXPECT_EQ(con.lines().back(), msg("Boundarys::ERROR, nbnd_tpts .Gt. max_bndry_tpts"));
}

TEST_F(BoundarysTest, FewerThanTwoTimePointsStop) {
  for (int n : {0, 1}) {
    SCOPED_TRACE(n);
    Console fresh;
    ms->FN_BND = std::filesystem::path(dir.write("short.bnd", boundary_file(days(n))));
    const auto stopped = stop_of([&] { ms->boundarys.setup(fresh.io, *ms, kUnitInput); });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->text, kDefaultStopText);
    EXPECT_EQ(fresh.text(), msg("Boundarys::ERROR, less the 2 boundry points given") + "\n");
  }
}

TEST_F(BoundarysTest, DecreasingTimesAreRefusedNamingTheFile) {
  // A repeated time is a step and is read (interpolate_test.cpp, accepted_input_test.cpp); a time
  // below the one before it is refused, also right after a repeat.
  for (const auto& times : {std::vector<double>{1.0, 1.0, 0.5}, std::vector<double>{0.0, 2.0, 1.0}}) {
    Console fresh;
    const std::string path = dir.write("flat.bnd", boundary_file(times));
    ms->FN_BND = std::filesystem::path(path);
    const auto stopped = stop_of([&] { ms->boundarys.setup(fresh.io, *ms, kUnitInput); });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, kExitBadInput);
    EXPECT_NE(fresh.text().find(path), std::string::npos) << fresh.text();
    EXPECT_NE(fresh.text().find("time point 3"), std::string::npos) << fresh.text();
  }
}

TEST_F(BoundarysTest, MissingFileAndUnreadableValueStopNamingTheFile) {
  ms->FN_BND = std::filesystem::path(dir.file("absent.bnd"));
  auto stopped = stop_of([&] { ms->boundarys.setup(con.io, *ms, kUnitInput); });
  ASSERT_TRUE(stopped);
  EXPECT_NE(stopped->text.find("absent.bnd"), std::string::npos) << stopped->text;

  stopped = load("0.0 100.0\n0.0 1 2 3 4 5 6 7 8 9 10 11 x12\n");
  ASSERT_TRUE(stopped);
  EXPECT_NE(stopped->text.find("case.bnd"), std::string::npos) << stopped->text;
  EXPECT_NE(stopped->text.find("line 2"), std::string::npos) << stopped->text;
}

}  // namespace
}  // namespace qz5
