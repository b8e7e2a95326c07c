// Cross-section area and dispersion laws of the channel.
#include "model/channel_laws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qz5 {
namespace {

TEST(AreaOrg, KnownPositions) {
  struct Case {
    double x;
    double area;  // 17 + 3.4e-6 x^2, by hand
  };
  const Case cases[] = {
      {0.0, 17.0}, {1000.0, 20.4}, {-1000.0, 20.4}, {10000.0, 357.0}, {23330.0, 1867.58226},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    EXPECT_DOUBLE_EQ(AREA_ORG(c.x), c.area);
  }
  // At the origin there is nothing to round: exactly 17.
  EXPECT_EQ(AREA_ORG(0.0), 17.0);
}

TEST(AreaOrg, SquareIsTakenBeforeScaling) {
  // The square is formed first and then scaled; scaling one factor first
  // (x * (x * 3.4e-06)) rounds differently for some positions. Over a sweep
  // the result must agree with the square-first grouping every time.
  for (int i = 0; i <= 3000; ++i) {
    const double x = -500.0 + 9.731 * i;
    SCOPED_TRACE(x);
    EXPECT_EQ(AREA_ORG(x), (x * x) * 3.4e-06 + 17.0);
  }
}

TEST(DispOrg, AtTheReferencePosition) {
  // At X = 23330: 5000 * 1.36e6 / 5000 = 1.36e6 exactly (per day), then the
  // one division to per second: 15.7407...
  for (double qs : {0.0, 1.0e3, -7.5}) {
    SCOPED_TRACE(qs);
    EXPECT_EQ(DISP_ORG(23330.0, qs), 1.36e6 / 86400.0);
    EXPECT_NEAR(DISP_ORG(23330.0, qs), 15.74074074074074, 1e-13);
  }
}

TEST(DispOrg, AtTheOrigin) {
  // 1.36e6 * 5000 / 28330 per day = 240028.238616... per day.
  const double per_second = DISP_ORG(0.0, 0.0);
  EXPECT_NEAR(per_second * 86400.0, 240028.23861630780, 240028.0 * 4e-16 * 4);
  EXPECT_EQ(per_second, ((5000.0 * 1.36e6) / 28330.0) / 86400.0);
}

TEST(DispOrg, FallsHyperbolicallyBelowTheReferencePosition) {
  // D(X) * (28330 - X) is constant: 6.8e9 / 86400 per second.
  for (double x : {-10000.0, 0.0, 5000.0, 20000.0, 23330.0, 26000.0}) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(DISP_ORG(x, 0.0) * (28330.0 - x), 6.8e9 / 86400.0, 6.8e9 / 86400.0 * 1e-15);
  }
  EXPECT_LT(DISP_ORG(0.0, 0.0), DISP_ORG(10000.0, 0.0));
}

TEST(DispOrg, PoleAtTheEndOfTheLaw) {
  // The law has a pole at X = 28330 and turns negative beyond it; nothing
  // guards against positions there.
  EXPECT_EQ(DISP_ORG(28330.0, 0.0), std::numeric_limits<double>::infinity());
  EXPECT_LT(DISP_ORG(30000.0, 0.0), 0.0);
}

}  // namespace
}  // namespace qz5
