// Geometry of one grid interval for every polar parameter and the origin mode.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "discretisation/skm_kernels.h"

namespace qz5 {
namespace {

constexpr double kE = std::numbers::e;
constexpr double kC = 0.6666666865348816;  // 2/3 rounded to single precision

TEST(IntervalGeometry, SlabIntervalIsMidpointRule) {
  // h = 0.5 from 1: every quantity is exact in binary.
  const IntervalGeometry G = interval_geometry(1.0, 1.5, 0, 0, true);
  // q, xi, g, s, f, w, d, WL, WR
  EXPECT_EQ((std::array{G.q, G.xi, G.g, G.s, G.f, G.w, G.d, G.WL, G.WR}),
            (std::array{2.0, 1.25, 1.0, 1.25, 1.0, 0.5, -2.0, 0.25, 0.25}));
}

TEST(IntervalGeometry, CylinderFromOneToE) {
  const IntervalGeometry G = interval_geometry(1.0, kE, 1, 0, false);
  const double s = (kE * kE - 1.0) / 2.0;
  EXPECT_NEAR(G.q, 1.0, 1e-15);
  EXPECT_NEAR(G.xi, kE - 1.0, 1e-15);
  EXPECT_NEAR(G.g, kE - 1.0, 1e-15);
  EXPECT_NEAR(G.w, std::log(kE / (kE - 1.0)), 1e-15);
  EXPECT_NEAR(G.d, -1.0 / (kE - 1.0), 1e-15);
  EXPECT_NEAR(G.s, s, 1e-14);
  EXPECT_EQ(G.f, 1.0);
  EXPECT_NEAR(G.WL, (s - 1.0) / 2.0, 1e-14);
  EXPECT_NEAR(G.WR, (kE * kE - s) / 2.0, 1e-14);
  EXPECT_NEAR(G.WL + G.WR, (kE * kE - 1.0) / 2.0, 1e-14);
}

// The interpolation is linear in phi(x) = x (M = 0), ln x (M = 1),
// x^(1-M)/(1-M) (M >= 2): the solution of (x^M u')' = 0. Checked for every M
// against that closed form, with the capacity weights against the exact
// integral of x^M.
TEST(IntervalGeometry, BasisIsTheSteadyRadialSolution) {
  struct Case {
    int M;
    double xa, xb;
  };
  const Case cases[] = {{0, 0.7, 1.3}, {1, 0.7, 1.3}, {2, 0.7, 1.3}, {3, 0.7, 1.3},
                        {4, 0.7, 1.3}, {1, 2.0, 2.1}, {2, 5.0, 9.0}, {3, 0.01, 0.03}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "M=" << c.M << " [" << c.xa << "," << c.xb << "]");
    const int M = c.M;
    auto phi = [M](double x) {
      if (M == 0) return x;
      if (M == 1) return std::log(x);
      return std::pow(x, 1.0 - M) / (1.0 - M);
    };
    const double span = phi(c.xb) - phi(c.xa);
    const IntervalGeometry G = interval_geometry(c.xa, c.xb, M, 0, false);
    const double tol = 1e-12;
    EXPECT_GT(G.xi, c.xa);
    EXPECT_LT(G.xi, c.xb);
    EXPECT_NEAR(G.w, (phi(c.xb) - phi(G.xi)) / span, tol);
    // u_x(xi) = (u_a - u_b) d, so d = dw/dx at xi = -phi'(xi)/span.
    EXPECT_NEAR(G.d / (-std::pow(G.xi, -M) / span), 1.0, tol);
    EXPECT_NEAR(G.g / std::pow(G.xi, M), 1.0, tol);
    EXPECT_EQ(G.f, 1.0);
    const double volume = (std::pow(c.xb, M + 1) - std::pow(c.xa, M + 1)) / (M + 1);
    EXPECT_NEAR((G.WL + G.WR) / volume, 1.0, tol);
    // The split point lies inside the interval.
    const double split = std::pow(G.s, 1.0 / (M + 1));
    EXPECT_GT(split, c.xa);
    EXPECT_LT(split, c.xb);
    EXPECT_GT(G.WL, 0.0);
    EXPECT_GT(G.WR, 0.0);
  }
}

TEST(IntervalGeometry, FirstIntervalAtOrigin) {
  for (int M : {1, 2, 3}) {
    SCOPED_TRACE(::testing::Message() << "M=" << M);
    const double h = 0.5;
    const IntervalGeometry G = interval_geometry(0.0, h, M, 1, true);
    EXPECT_TRUE(std::isnan(G.q));  // not needed, not computed
    EXPECT_EQ(G.xi, kC * h);
    EXPECT_NE(G.xi, 2.0 / 3.0 * h);  // the single-precision constant, not 2/3
    EXPECT_EQ(G.g, 1.0 / G.xi);
    EXPECT_DOUBLE_EQ(G.w, (h * h - G.xi * G.xi) / (h * h));
    EXPECT_DOUBLE_EQ(G.d, -2.0 * G.xi / (h * h));
    EXPECT_EQ(G.s, 0.0);
    EXPECT_EQ(G.f, 0.0);
    EXPECT_EQ(G.WL, 0.0);
    EXPECT_DOUBLE_EQ(G.WR, std::pow(h, M + 1) / (M + 1));
  }
}

TEST(IntervalGeometry, LaterIntervalInOriginMode) {
  // Cylinder, [0.5, 1]: q = 1/ln 2, s = f = (1 - 0.25)/ln 2 / 2.
  const IntervalGeometry G = interval_geometry(0.5, 1.0, 1, 1, false);
  EXPECT_DOUBLE_EQ(G.q, 1.0 / std::log(2.0));
  EXPECT_DOUBLE_EQ(G.s, 0.75 / std::log(2.0) / 2.0);
  EXPECT_EQ(G.f, G.s);
  EXPECT_DOUBLE_EQ(G.xi, (1.0 - 0.125) * kC / 0.75);
  EXPECT_EQ(G.g, 1.0 / G.xi);
  EXPECT_DOUBLE_EQ(G.w, (1.0 - G.xi * G.xi) / 0.75);
  EXPECT_DOUBLE_EQ(G.WL + G.WR, (1.0 - 0.25) / 2.0);
}

TEST(IntervalGeometry, IntegerPower) {
  const double cases[][3] = {{3.0, 0, 1.0},   {3.0, 1, 3.0},    {3.0, 4, 81.0},
                             {-2.0, 3, -8.0}, {2.0, -3, 0.125}, {0.0, 0, 1.0}};
  for (const auto& c : cases)
    EXPECT_EQ(skm_ipow(c[0], static_cast<int>(c[1])), c[2]) << c[0] << "^" << c[1];
  // 1/x^3, not (1/x)^3: they differ in the last bit for x = 2/7.
  const double x = 2.0 / 7.0;
  ASSERT_NE(1.0 / (x * x * x), (1.0 / x) * (1.0 / x) * (1.0 / x));
  EXPECT_EQ(skm_ipow(x, -3), 1.0 / (x * x * x));
}

}  // namespace
}  // namespace qz5
