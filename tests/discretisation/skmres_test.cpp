// The residual's status handling: the set-up check, the grid check with its
// console lines, the statuses the problem may return, and a residual that
// does not depend on what its buffers held before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

constexpr double kSentinel = 7.0;

// u = x^3 on five points of [-1, 1]: slopes 1.75, 0.25, 0.25, 1.75, so the
// flux and the monitor both differ between the two intervals of point 1.
void cubic_state(Harness& h) {
  for (int n = 0; n < h.NPTS; ++n) h.y(1, n) = h.x(n) * h.x(n) * h.x(n);
}

TEST(Skmres, RefusesWithoutSetup) {
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  const SkmState s;
  ScriptedProblem p;
  std::vector<double> y = {0.0, 0.0, 1.0, 0.5, 2.0, 1.0}, yp(6, 0.0), delta(6, kSentinel),
                      rpar(20, 0.0);
  int ires = 0;
  SKMRES(io, s, p, 6, 0.0, y.data(), yp.data(), delta.data(), ires, rpar.data(), 20);
  EXPECT_EQ(ires, 2);
  EXPECT_EQ(out.str(),
            " ERROR IN SKLMRES ROUTINE - THE SETUP ROUTINE SETSKM WAS NOT CALLED PRIOR TO "
            "SPRINT ENTRY\n");
  EXPECT_EQ(delta, std::vector<double>(6, kSentinel));
  EXPECT_TRUE(p.spdef_calls.empty());
  EXPECT_TRUE(p.bndr_calls.empty());
}

TEST(Skmres, NonMonotoneGridLines) {
  struct Case {
    std::vector<double> xs;
    std::string lines;
  };
  const std::string h = " SKMRES - NON-MONOTONOUS GRID, VALUES OF GRID POINTS";
  const Case cases[] = {
      {{0.0, 1.0, 1.0, 2.0}, h + "  2,  3 ARE   .10000E+011   .10000E+01\n"},
      {{0.0, 2.0, 1.0, 3.0}, h + "  2,  3 ARE   .20000E+011   .10000E+01\n"},
      {{3.0, 2.0, 1.0, 0.0},
       h + "  1,  2 ARE   .30000E+011   .20000E+01\n" + h +
           "  2,  3 ARE   .20000E+011   .10000E+01\n" + h +
           "  3,  4 ARE   .10000E+011   .00000E+00\n"},
      {{0.5, -1.25, 2.0, 2.5}, h + "  1,  2 ARE   .50000E+001  -.12500E+01\n"},
      {{0.0, 1.0, 2.0, 12345.678}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.xs[0] << " " << c.xs[1] << " " << c.xs[2] << " " << c.xs[3]);
    ScriptedProblem p;
    Harness hs(p, 1, 4, 0.0, 1.0);
    for (int n = 0; n < 4; ++n) hs.x(n) = c.xs[static_cast<std::size_t>(n)];
    std::fill(hs.DELTA.begin(), hs.DELTA.end(), kSentinel);
    const int ires = hs.residual();
    EXPECT_EQ(hs.console(), c.lines);
    if (c.lines.empty()) {
      EXPECT_EQ(ires, 0);
      continue;
    }
    EXPECT_EQ(ires, 3);
    // The assembly still runs up to the left boundary call, then stops.
    ASSERT_EQ(p.bndr_calls.size(), 1u);
    EXPECT_EQ(p.bndr_calls[0].LEFT, 1);
    EXPECT_EQ(p.bndr_calls[0].ires_in, 3);
    EXPECT_TRUE(p.spdef_calls.empty());
    EXPECT_EQ(hs.DELTA, std::vector<double>(hs.DELTA.size(), kSentinel));
  }
}

// One repeated position on grids of 3..7 points, at every pair in turn
// (the check takes the points two at a time, so the pair's place in a trip
// and the odd one at the end are all met): exactly that pair is reported.
TEST(Skmres, EveryPairOfTheGridIsChecked) {
  for (int N = 3; N <= 7; ++N) {
    for (int j = 1; j < N; ++j) {  // points j and j+1 (1-based) coincide
      SCOPED_TRACE(::testing::Message() << N << " points, pair " << j);
      ScriptedProblem p;
      Harness h(p, 1, N, 0.0, 1.0);
      for (int n = 0; n < N; ++n) h.x(n) = n;
      h.x(j) = h.x(j - 1);
      EXPECT_EQ(h.residual(), 3);
      const std::string out = h.console();
      const std::string pair =
          "POINTS  " + std::to_string(j) + ",  " + std::to_string(j + 1) + " ARE";  // I3, I3
      EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
      EXPECT_NE(out.find(pair), std::string::npos) << out;
    }
  }
}

TEST(Skmres, NanPositionIsNotIncreasing) {
  ScriptedProblem p;
  Harness h(p, 1, 3, 0.0, 1.0);
  h.x(1) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(h.residual(), 3);
  // Both pairs touching the NaN fail.
  const std::string out = h.console();
  EXPECT_NE(out.find("POINTS  1,  2 ARE"), std::string::npos) << out;
  EXPECT_NE(out.find("POINTS  2,  3 ARE"), std::string::npos) << out;
}

TEST(Skmres, StatusesFromTheProblem) {
  struct Case {
    const char* name;
    bool in_spdef;  // else in bndr
    int call;       // 0-based call index that sets IRES
    int value;
    std::size_t spdef_calls, bndr_calls;
    bool grid_rows;  // whether the position rows were built
  };
  // Five points: spdef on intervals 0..3, bndr left before spdef 0 and right
  // before spdef 3.
  const Case cases[] = {
      {"first spdef gives 3", true, 0, 3, 1, 1, false},
      {"third spdef gives 3", true, 2, 3, 3, 1, false},
      {"last spdef gives 3", true, 3, 3, 4, 2, false},
      {"left bndr gives 3", false, 0, 3, 0, 1, false},
      {"right bndr gives 3", false, 1, 3, 3, 2, false},
      {"second spdef gives -1", true, 1, -1, 4, 2, true},
      {"left bndr gives -1", false, 0, -1, 4, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedProblem p;
    (c.in_spdef ? p.spdef_ires_call : p.bndr_ires_call) = c.call;
    p.ires_value = c.value;
    Harness h(p, 1, 5, -1.0, 1.0, {.tau = 0.1, .kappa = 1.0, .alpha = 1.0});
    cubic_state(h);
    std::fill(h.DELTA.begin(), h.DELTA.end(), kSentinel);
    EXPECT_EQ(h.residual(), c.value);
    EXPECT_EQ(p.spdef_calls.size(), c.spdef_calls);
    EXPECT_EQ(p.bndr_calls.size(), c.bndr_calls);
    for (int n = 0; n < 5; ++n) {
      if (c.grid_rows) {
        // No time derivatives anywhere: the time half alone is all zero; the
        // flux-and-source half has not been subtracted.
        EXPECT_EQ(h.res(1, n), 0.0) << "point " << n;
        EXPECT_EQ(h.res(2, n), 0.0) << "point " << n;
      } else {
        EXPECT_EQ(h.res(2, n), kSentinel) << "point " << n;
      }
    }
    if (c.value == -1) {
      // Later calls see the -1 and go on.
      EXPECT_EQ(p.spdef_calls.back().ires_in, -1);
      EXPECT_EQ(p.bndr_calls.back().ires_in, -1);
    }
  }
  // The same state without any status does subtract: its rows are not zero.
  ScriptedProblem p;
  Harness h(p, 1, 5, -1.0, 1.0, {.tau = 0.1, .kappa = 1.0, .alpha = 1.0});
  cubic_state(h);
  EXPECT_EQ(h.residual(), 0);
  EXPECT_NE(h.res(1, 1), 0.0);
  EXPECT_NE(h.res(2, 1), 0.0);
}

// Every entry of DELTA and of the flux half is assigned before it is
// accumulated: garbage left in the buffers does not reach the residual.
TEST(Skmres, BuffersNeedNoClearing) {
  ScriptedProblem p;
  Harness h(p, 2, 4, 0.0, 1.0, {.tau = 0.3, .kappa = 0.5, .alpha = 0.2});
  for (int n = 0; n < 4; ++n) {
    h.y(1, n) = std::sin(n + 0.5);
    h.y(2, n) = n * n;
    h.yp(1, n) = 0.1 * n;
    h.yp(2, n) = -0.2;
    h.xdot(n) = 0.01 * (2 - n);
  }
  std::fill(h.DELTA.begin(), h.DELTA.end(), 0.0);
  std::fill(h.RPAR.begin(), h.RPAR.end(), 0.0);
  ASSERT_EQ(h.residual(), 0);
  const std::vector<double> clean = h.DELTA;
  std::fill(h.DELTA.begin(), h.DELTA.end(), std::numeric_limits<double>::quiet_NaN());
  std::fill(h.RPAR.begin(), h.RPAR.end(), std::numeric_limits<double>::quiet_NaN());
  ASSERT_EQ(h.residual(), 0);
  EXPECT_EQ(h.DELTA, clean);
}

}  // namespace
}  // namespace qz5::testing
