// The bundled scenario on coarse grids with INFO10 = 1: the legacy clip makes
// them crawl (on 41 points the run ends on the step limit before day 11; on
// 45 it takes about 47 000 steps against 456 with INFO10 = 0), because the
// coarse grid's solution dips below zero at the foot of the phytoplankton
// front and every such step counts as a corrector failure. The projection
// treatment ends both runs, non-negative, in a bounded number of steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine_util.h"

namespace qz5::engine_test {
namespace {

TEST(NonNegativeRuns, CoarseGridsEndInABoundedNumberOfStepsWithTheProjection) {
  for (int npts : {41, 45}) {
    SCOPED_TRACE(npts);
    Scenario s = bundled();
    s.inputs.USE_UT0 = false;  // the profile file holds 81 points
    s.inputs.NPTS = npts;
    ASSERT_EQ(s.inputs.INFO10, 1);
    RunOptions projected;
    projected.project_negative = true;
    Keeper keeper;
    const Summary sum = run_scenario(s, projected, &keeper);
    ASSERT_TRUE(sum.completed()) << sum.console;
    EXPECT_DOUBLE_EQ(sum.t_reached, 120.0);
    // 13 219 and 19 333 steps when written; the legacy clip needs 46 886 on
    // 45 points and fails on 41.
    EXPECT_LT(sum.statistics.steps, 25000);
    EXPECT_EQ(sum.statistics.convergence_failures, 0);
    // Output times fall between steps: the interpolant may dip below zero,
    // but by less than the absolute tolerance (1e-3).
    double lowest = 0.0;
    for (const Profile& p : keeper.profiles)
      lowest = std::min(lowest, *std::min_element(p.c.begin(), p.c.end()));
    EXPECT_GT(lowest, -1e-3);
  }
}

TEST(NonNegativeRuns, TheLegacyClipStillCrawlsOnFortyOnePoints) {
  // The default treatment is unchanged: the step limit ends this run.
  // (A lower step limit than the default's 5000 keeps the test short.)
  Scenario s = bundled();
  s.inputs.USE_UT0 = false;
  s.inputs.NPTS = 41;
  RunOptions o;
  o.max_steps_per_interval = 2000;
  const Summary sum = run_scenario(s, o);
  EXPECT_EQ(sum.outcome, Outcome::kIntegrationFailure);
  EXPECT_LT(sum.t_reached, 11.0);
  // Half the steps fail in the corrector.
  EXPECT_GT(sum.statistics.convergence_failures, 600);
}

}  // namespace
}  // namespace qz5::engine_test

namespace qz5::engine_test {
namespace {

// Tolerances of their own for the grid positions. Equal to the scenario's,
// the vector tolerances give the scalar run bit for bit (every weight is the
// same); a loose position tolerance is applied (the steps change) and leaves
// the concentrations within the tolerance's reach of the default run.
TEST(PositionTolerances, EqualValuesRepeatTheRunLooseOnesChangeIt) {
  Scenario s = bundled();
  s.inputs.NTIMES = 3;
  Keeper plain_keeper, same_keeper, loose_keeper;
  const Summary plain = run_scenario(s, {}, &plain_keeper);
  ASSERT_TRUE(plain.completed());
  RunOptions same;
  same.position_rtol = s.inputs.RTOL;
  same.position_atol = s.inputs.ATOL;
  const Summary again = run_scenario(s, same, &same_keeper);
  ASSERT_TRUE(again.completed());
  EXPECT_EQ(again.statistics.steps, plain.statistics.steps);
  ASSERT_EQ(same_keeper.profiles.size(), plain_keeper.profiles.size());
  for (std::size_t i = 0; i < plain_keeper.profiles.size(); ++i) {
    EXPECT_EQ(same_keeper.profiles[i].x, plain_keeper.profiles[i].x) << i;
    EXPECT_EQ(same_keeper.profiles[i].c, plain_keeper.profiles[i].c) << i;
  }
  RunOptions loose;
  loose.position_rtol = 0.0;
  loose.position_atol = 50.0;  // metres, against spacings of about 290 m
  const Summary changed = run_scenario(s, loose, &loose_keeper);
  ASSERT_TRUE(changed.completed());
  EXPECT_NE(changed.statistics.steps, plain.statistics.steps);
}

}  // namespace
}  // namespace qz5::engine_test

namespace qz5::engine_test {
namespace {

// The bundled scenario with the analytic iteration matrix: the same run to
// within its tolerance. Against a run at RTOL 1e-7 (INFO10 = 0) both are off
// by up to 6e-4 of a constituent's range; they differ from each other by
// less than 3e-4 of it (2.3e-4 when written). Here the first 12 days.
TEST(ExactJacobian, BundledRunAgreesWithTheDifferencedMatrixWithinTolerance) {
  Scenario s = bundled();
  s.inputs.NTIMES = 3;
  Keeper differenced, exact;
  const Summary a = run_scenario(s, {}, &differenced);
  RunOptions o;
  o.exact_jacobian = true;
  const Summary b = run_scenario(s, o, &exact);
  ASSERT_TRUE(a.completed());
  ASSERT_TRUE(b.completed()) << b.console;
  ASSERT_EQ(exact.profiles.size(), differenced.profiles.size());
  const int ncomp = s.inputs.NCOMP;
  for (int m = 0; m < ncomp; ++m) {
    double lo = 1e300, hi = -1e300, worst = 0.0;
    for (std::size_t i = 0; i < differenced.profiles.size(); ++i) {
      const Profile& p = differenced.profiles[i];
      const Profile& q = exact.profiles[i];
      for (std::size_t j = 0; j < p.x.size(); ++j) {
        const double c = p.c[j * static_cast<std::size_t>(ncomp) + static_cast<std::size_t>(m)];
        lo = std::min(lo, c), hi = std::max(hi, c);
        worst = std::max(worst, std::fabs(c - q.c[j * static_cast<std::size_t>(ncomp) +
                                                   static_cast<std::size_t>(m)]));
      }
    }
    EXPECT_LT(worst, 3e-4 * (hi - lo)) << "constituent " << m + 1;
  }
  // The matrix is formed without residual evaluations: the count of the
  // corrector's own stays of the same size.
  EXPECT_LT(b.statistics.residuals, 2 * a.statistics.residuals);
}

}  // namespace
}  // namespace qz5::engine_test
