// The two treatments of INFO(10) = 1 on a decay towards a negative level,
// y' = -(y + 0.01) from y = 1 with tolerances 1e-3: the unconstrained solution
// settles at -0.01, ten times the absolute tolerance below zero, as a coarse
// grid's solution does at the foot of a front. Kept non-negative, it must sit
// at zero once it gets there.
#include <gtest/gtest.h>

#include <algorithm>

#include "dassl_harness.h"

namespace qz5::testing {
namespace {

struct Outcome {
  int idid = 0;
  int steps = 0, error_test_failures = 0, corrector_failures = 0;
  double lowest = 1.0;  // lowest value returned after any step
  double last = 1.0;    // value at the end
};

Outcome decay_to_negative_level(NonNegative treatment) {
  Dassl d(1);
  d.set_tol(1e-3);
  d.y[0] = 1.0;
  d.yprime[0] = -1.01;
  d.info[2] = 1;  // return after every step
  d.info[9] = 1;  // keep non-negative
  d.integrator.set_nonnegative(treatment);
  d.res = [](double, double* y, double* yp, double* g, int&, double*, int*) {
    g[0] = yp[0] + (y[0] + 0.01);
  };
  Outcome o;
  d.tout = 50.0;
  for (int guard = 0; guard < 200000; ++guard) {
    d.call();
    if (d.idid < 0 && d.idid != -1) break;
    if (d.idid == -1) d.info[0] = 1;
    if (d.idid == 1) o.lowest = std::min(o.lowest, d.y[0]);
    if (d.idid == 3) break;
  }
  o.idid = d.idid;
  o.steps = d.iw(kStepCount);
  o.error_test_failures = d.iw(kErrtestFails);
  o.corrector_failures = d.iw(kConvFails);
  o.last = d.y[0];
  return o;
}

TEST(NonNegative, ProjectionHoldsTheSolutionAtZeroWithoutCrawling) {
  const Outcome project = decay_to_negative_level(NonNegative::kProject);
  ASSERT_EQ(project.idid, 3);
  // Every value returned after a step is non-negative, and the end value
  // (interpolated between two steps held at zero) is zero to roundoff: the
  // constrained solution, not the unconstrained -0.01.
  EXPECT_GE(project.lowest, 0.0);
  EXPECT_NEAR(project.last, 0.0, 1e-12);
  EXPECT_EQ(project.corrector_failures, 0);
  // At zero each step goes 0.01 H below it; with weights of 1e-3 the step
  // settles near 0.1, so 50 time units take a few hundred steps.
  EXPECT_LT(project.steps, 1500);

  // The legacy clip returns the unclipped values: they go below zero by
  // more than the tolerance's reach.
  const Outcome clip = decay_to_negative_level(NonNegative::kClip);
  ASSERT_EQ(clip.idid, 3);
  EXPECT_LT(clip.lowest, -1e-4);
}

TEST(NonNegative, ProjectionRejectsAStepThatGoesFarBelowZero) {
  // y' = -1 from 1 with steps up to 0.5: the step that crosses zero would end
  // hundreds of weights below it; it is rejected (counted with the error-test
  // failures, not as a corrector failure) and shrunk, never returned.
  Dassl d(1);
  d.set_tol(1e-3);
  d.y[0] = 1.0;
  d.yprime[0] = -1.0;
  d.info[2] = 1;  // return after every step
  d.info[6] = 1;  // HMAX
  d.info[9] = 1;
  d.rwork[kHmax - 1] = 0.5;
  d.integrator.set_nonnegative(NonNegative::kProject);
  d.res = [](double, double*, double* yp, double* g, int&, double*, int*) { g[0] = yp[0] + 1.0; };
  d.tout = 1.2;
  double lowest = 1.0;
  for (int guard = 0; guard < 100000 && d.idid != 3; ++guard) {
    d.call();
    ASSERT_TRUE(d.idid == 1 || d.idid == 3 || d.idid == -1) << d.idid;
    if (d.idid == -1) d.info[0] = 1;
    if (d.idid == 1) lowest = std::min(lowest, d.y[0]);
  }
  EXPECT_GE(lowest, 0.0);
  EXPECT_GE(d.iw(kErrtestFails), 1);
  EXPECT_EQ(d.iw(kConvFails), 0);
}

}  // namespace
}  // namespace qz5::testing
