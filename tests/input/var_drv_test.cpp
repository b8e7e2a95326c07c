// VarDrv: loading driver files one after another and the look-up that
// refuses to leave the data.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "input/inputs.h"
#include "input/var_drv.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::name_field;
using testing::ScratchDir;
using testing::stop_of;

// n points: time i, value 2*i + offset, for i = 0 .. n-1.
std::string driver_file(int n, double offset = 0.0) {
  std::ostringstream s;
  for (int i = 0; i < n; ++i) s << i << ", " << 2.0 * i + offset << "   point\n";
  return s.str();
}

class VarDrvTest : public ::testing::Test {
 protected:
  std::optional<Stop> load(int K, const std::string& text, Console& c) {
    path = dir.write("case" + std::to_string(K) + ".drv", text);
    ms->FN_DRV(K) = std::filesystem::path(path);
    return stop_of([&] { ms->var_drv.DRV_INIT(c.io, *ms, kUnitInput, K); });
  }
  ScratchDir dir;
  Console con;
  std::string path;
  std::unique_ptr<Inputs> ms = testing::new_state();
  SeriesPositions pos;  // the run's look-up positions
  int& ilast(int K) { return pos.ilast_drv(K); }
};

TEST_F(VarDrvTest, EndsAreInclusiveAndValuesInterpolated) {
  ASSERT_FALSE(load(1, "0 1\n10 3\n20 2.0\n", con));
  EXPECT_EQ(ms->var_drv.npts_drv(1), 3);
  EXPECT_FALSE(con.io.is_open(kUnitInput));
  struct Case {
    double T, value;
  };
  for (const Case& c : {Case{0.0, 1.0}, Case{20.0, 2.0}, Case{15.0, 2.5}, Case{2.5, 1.5},
                        Case{10.0, 3.0}}) {
    SCOPED_TRACE(c.T);
    double v = -1.0;
    ms->var_drv.lookup(con.io, c.T, v, 1, ilast(1));
    EXPECT_EQ(v, c.value);
  }
  EXPECT_EQ(con.text(), "");
}

TEST_F(VarDrvTest, OutsideTheDataStopsWithThreeLines) {
  ASSERT_FALSE(load(1, "0 1\n10 3\n20 2.0\n", con));
  for (double T : {std::nextafter(20.0, 30.0), std::nextafter(0.0, -1.0), -5.0, 1e30}) {
    SCOPED_TRACE(T);
    Console fresh;
    double v = -1.0;
    const auto stopped = stop_of([&] { ms->var_drv.lookup(fresh.io, T, v, 1, ilast(1)); });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->text, kDefaultStopText);
    EXPECT_EQ(v, -1.0);
    // T and the range are written in single precision.
    const std::vector<std::string> expected = {
        list_directed_line(std::vector<Item>{"Var_drv::t outside data range of driver: ", 1}),
        list_directed_line(std::vector<Item>{" t, t0, tf: ", static_cast<float>(T), 0.0f, 20.0f}),
        msg(" Program terminating..."),
    };
    EXPECT_EQ(fresh.lines(), expected);
    EXPECT_EQ(expected[0].rfind(" Var_drv::t outside data range of driver: ", 0), 0u);
  }
}

TEST_F(VarDrvTest, SecondDriverIsStoredAfterTheFirst) {
  ASSERT_FALSE(load(1, driver_file(3), con));
  ASSERT_FALSE(load(2, driver_file(4, 100.0), con));
  EXPECT_EQ(ms->var_drv.npts_drv(2), 4);
  EXPECT_EQ(ms->var_drv.t_drv(4), 0.0);  // driver 2 starts in slot 4
  EXPECT_EQ(ms->var_drv.v_drv(7), 106.0);
  double v = 0.0;
  ms->var_drv.lookup(con.io, 2.5, v, 2, ilast(2));
  EXPECT_EQ(v, 105.0);
  ms->var_drv.lookup(con.io, 1.5, v, 1, ilast(1));
  EXPECT_EQ(v, 3.0);
  // Time 3 is inside driver 2 but outside driver 1.
  ms->var_drv.lookup(con.io, 3.0, v, 2, ilast(2));
  EXPECT_EQ(v, 106.0);
  EXPECT_TRUE(stop_of([&] { ms->var_drv.lookup(con.io, 3.0, v, 1, ilast(1)); }));
}

TEST_F(VarDrvTest, ForwardTimesKeepTheRememberedIndexMoving) {
  ASSERT_FALSE(load(1, driver_file(50), con));
  double v = 0.0;
  for (int step = 0; step <= 98; ++step) {
    const double T = 0.5 * step;
    ms->var_drv.lookup(con.io, T, v, 1, ilast(1));
    EXPECT_EQ(v, 2.0 * T);
    // A time on a table time stays in the remembered interval ending there.
    EXPECT_EQ(ilast(1), std::max(1, (step + 1) / 2));
  }
}

TEST_F(VarDrvTest, CapacityIsTenThousandPointsOverAllDrivers) {
  ASSERT_FALSE(load(1, driver_file(10000), con));
  EXPECT_EQ(ms->var_drv.npts_drv(1), 10000);
  EXPECT_EQ(ms->var_drv.v_drv(10000), 2.0 * 9999);

  struct Case {
    const char* name;
    int first;   // points of driver 1 (0: load driver 1 only)
    int second;  // points of the driver that overflows
    int K;
    int required;
  };
  for (const Case& c : {Case{"one driver of 10001", 0, 10001, 1, 10001},
                        Case{"second driver overflows", 9998, 3, 2, 10001},
                        Case{"far over", 0, 10050, 1, 10050}}) {
    SCOPED_TRACE(c.name);
    ms = testing::new_state();
    pos = SeriesPositions();
    Console fresh;
    if (c.first > 0) {
      ASSERT_FALSE(load(1, driver_file(c.first), fresh));
    }
    const auto stopped = load(c.K, driver_file(c.second), fresh);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->text, kDefaultStopText);
    const std::vector<std::string> expected = {
        list_directed_line(
            std::vector<Item>{"DRV_INIT::MAX_PTS_DRV exceeded while loading variable driver: ", c.K}),
        list_directed_line(std::vector<Item>{"  Required size: ", c.required}),
        msg("  Increase max_pts_drv, or modify data length"),
        msg("  Program terminating..."),
    };
    EXPECT_EQ(fresh.lines(), expected);
  }
}

TEST_F(VarDrvTest, RefusalsNameTheFile) {
  struct Case {
    const char* name;
    std::string text;
    const char* detail;
  };
  const std::vector<Case> cases = {
      {"empty", "", "fewer than 2 points"},
      {"one point", "0 1\n", "fewer than 2 points"},
      {"cut-short second point", "0 1\n5\n", "fewer than 2 points"},
      // A repeated time is a step and is read (interpolate_test.cpp, accepted_input_test.cpp).
      {"decreasing after a repeated time", "0 1\n1 1\n1 2\n0.5 2\n", "time point 4"},
      {"decreasing times", "0 1\n-1 1\n", "time point 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Console fresh;
    const auto stopped = load(1, c.text, fresh);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, kExitBadInput);
    EXPECT_NE(fresh.text().find(path), std::string::npos) << fresh.text();
    EXPECT_NE(fresh.text().find(c.detail), std::string::npos) << fresh.text();
  }
  ms->FN_DRV(1) = std::filesystem::path(dir.file("absent.drv"));
  const auto stopped = stop_of([&] { ms->var_drv.DRV_INIT(con.io, *ms, kUnitInput, 1); });
  ASSERT_TRUE(stopped);
  EXPECT_NE(stopped->text.find("absent.drv"), std::string::npos);
}

}  // namespace
}  // namespace qz5
