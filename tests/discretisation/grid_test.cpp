// The moving-grid equations and their monitor.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

// Grid rows written out from their definition: point concentrations n_i,
// their smoothing and its time derivative, each over the interval monitor.
std::vector<double> expected_grid_rows(Harness& h) {
  const int N = h.NPTS, ncomp = h.NCOMP;
  const double KK = (1.0 + h.s.KAPPA) * h.s.KAPPA;
  std::vector<double> n(N - 1), d(N - 1), mon(N - 1), nt(N - 1), E(N - 1);
  for (int i = 0; i < N - 1; ++i) {
    const double len = h.x(i + 1) - h.x(i);
    n[i] = 1.0 / len;
    d[i] = (h.xdot(i + 1) - h.xdot(i)) / (len * len);
    double sum = 0.0;
    for (int k = 1; k <= ncomp; ++k) sum += std::pow((h.y(k, i + 1) - h.y(k, i)) / len, 2);
    mon[i] = std::sqrt(sum / ncomp + h.s.ALPHA);
  }
  for (int i = 0; i < N - 1; ++i) {
    // Missing neighbours at the ends count as equal to the interval itself.
    const double nm = i > 0 ? n[i - 1] : n[i], np = i < N - 2 ? n[i + 1] : n[i];
    const double dm = i > 0 ? d[i - 1] : d[i], dp = i < N - 2 ? d[i + 1] : d[i];
    nt[i] = n[i] - KK * (nm - 2.0 * n[i] + np);
    // dn_i/dt = -d_i, so the rate of the smoothed value is:
    E[i] = -d[i] + KK * (dm - 2.0 * d[i] + dp);
  }
  std::vector<double> rows(N);
  rows[0] = h.xdot(0);
  rows[N - 1] = h.xdot(N - 1);
  for (int i = 1; i <= N - 2; ++i) {
    rows[i] = (nt[i - 1] + h.s.TAU * E[i - 1]) / mon[i - 1] - (nt[i] + h.s.TAU * E[i]) / mon[i];
  }
  return rows;
}

TEST(GridMonitor, FloorAndSlopes) {
  ScriptedProblem p;
  Harness h(p, 2, 5, 0.0, 1.0, {.alpha = 1.0});  // h = 0.25
  for (int n = 0; n < 5; ++n) {
    h.y(1, n) = 2.0 * h.x(n);  // slope 2
    h.y(2, n) = -3.0;
  }
  GRID_MONITOR(h.s, h.Y.data(), h.RPAR.data(), 2, 3);
  // (2^2 + 0)/2 + 1 = 3
  for (int i = 0; i < 4; ++i) EXPECT_EQ(h.RPAR[skm_at(3, 3, i)], std::sqrt(3.0)) << i;
}

TEST(GridEquations, UniformConstantStateIsAtRest) {
  for (double kappa : {0.0, 2.0}) {
    SCOPED_TRACE(::testing::Message() << "KAPPA=" << kappa);
    ScriptedProblem p;
    Harness h(p, 2, 6, 1.0, 3.5, {.tau = 0.5, .kappa = kappa, .alpha = 0.3});
    for (int n = 0; n < 6; ++n) {
      h.y(1, n) = 4.0;
      h.y(2, n) = -1.0;
    }
    ASSERT_EQ(h.residual(), 0);
    for (int n = 0; n < 6; ++n) EXPECT_EQ(h.res(3, n), 0.0) << "point " << n;
    // Constant values: the monitor is the floor alone, on any grid.
    const double xs[] = {1.0, 1.1, 1.5, 1.55, 2.0, 3.5};
    for (int n = 0; n < 6; ++n) h.x(n) = xs[n];
    GRID_MONITOR(h.s, h.Y.data(), h.RPAR.data(), 2, 4);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(h.RPAR[skm_at(3, 3, i)], std::sqrt(0.3)) << i;
  }
}

TEST(GridEquations, MatchTheirDefinition) {
  struct Case {
    int npts;
    double tau, kappa, alpha;
  };
  const Case cases[] = {{3, 0.0, 0.0, 1.0},  {3, 0.2, 1.5, 0.5}, {4, 1.0, 0.0, 0.1},
                        {7, 0.05, 0.5, 1.0}, {7, 1.0, 2.0, 0.0}, {9, 0.0, 3.0, 2.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.npts << " points, TAU=" << c.tau << " KAPPA=" << c.kappa
                                      << " ALPHA=" << c.alpha);
    ScriptedProblem p;
    Harness h(p, 2, c.npts, 0.0, 1.0, {.tau = c.tau, .kappa = c.kappa, .alpha = c.alpha});
    for (int n = 0; n < c.npts; ++n) {
      h.x(n) = n + 0.3 * std::sin(1.7 * n);  // uneven but increasing
      h.y(1, n) = std::exp(-0.5 * n);
      h.y(2, n) = std::cos(n);
      h.xdot(n) = 0.2 * std::sin(2.1 * n + 0.4);
    }
    ASSERT_EQ(h.residual(), 0);
    const std::vector<double> rows = expected_grid_rows(h);
    EXPECT_EQ(h.res(3, 0), h.xdot(0));
    EXPECT_EQ(h.res(3, c.npts - 1), h.xdot(c.npts - 1));
    for (int n = 1; n < c.npts - 1; ++n) {
      EXPECT_NEAR(h.res(3, n), rows[n], 1e-13 * (1.0 + std::fabs(rows[n]))) << "point " << n;
    }
  }
}

// With KAPPA = 0 the smoothing vanishes: the row balances n_i - TAU d_i over
// the monitor of each interval, d_i = (x'_{i+1} - x'_i) n_i^2.
TEST(GridEquations, NoSmoothing) {
  ScriptedProblem p;
  Harness h(p, 1, 4, 0.0, 1.0, {.tau = 0.25, .kappa = 0.0, .alpha = 1.0});
  const double xs[] = {0.0, 0.5, 0.75, 1.0};
  const double xd[] = {0.0, 0.125, -0.25, 0.0};
  for (int n = 0; n < 4; ++n) {
    h.x(n) = xs[n];
    h.xdot(n) = xd[n];
  }
  // u = 0: monitors are all 1; n = 2, 4, 4; d = 0.5, -6, 4.
  ASSERT_EQ(h.residual(), 0);
  EXPECT_EQ(h.res(2, 1), (2.0 - 0.25 * 0.5) - (4.0 + 0.25 * 6.0));
  EXPECT_EQ(h.res(2, 2), (4.0 + 0.25 * 6.0) - (4.0 - 0.25 * 4.0));
}

// A grid that equidistributes the monitor is a solution of the grid
// equations (at rest, without smoothing or floor): for u = x^2 the monitor of
// [x_i, x_{i+1}] is x_i + x_{i+1}, so n_i/M_i = 1/(x_{i+1}^2 - x_i^2) is the
// same on every interval when the x_i^2 are evenly spaced.
TEST(GridEquations, EquidistributingGridIsAtRest) {
  const int N = 8;
  ScriptedProblem p;
  Harness h(p, 1, N, 1.0, std::sqrt(8.0), {.tau = 0.7, .kappa = 0.0, .alpha = 0.0});
  for (int n = 0; n < N; ++n) h.y(1, n) = h.x(n) * h.x(n);  // evenly spaced x: not at rest
  ASSERT_EQ(h.residual(), 0);
  double largest = 0.0;
  for (int n = 1; n < N - 1; ++n) largest = std::max(largest, std::fabs(h.res(2, n)));
  EXPECT_GT(largest, 0.01);

  for (int n = 0; n < N; ++n) {
    h.x(n) = std::sqrt(1.0 + n);
    h.y(1, n) = 1.0 + n;
  }
  ASSERT_EQ(h.residual(), 0);
  for (int n = 1; n < N - 1; ++n) EXPECT_NEAR(h.res(2, n), 0.0, 1e-14) << "point " << n;
}

// The monitor and the position rows at random grids, bit for bit against the
// formulas evaluated one plain operation at a time in the code's order (the
// monitor's sum from +0.0, the end intervals' one-sided smoothing), both
// halves of the rows separately. One constituent value is NaN in one case.
TEST(GridEquations, RandomGridsGiveTheirFormulasBitForBit) {
  std::mt19937 rng(81);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  for (const int ncomp : {6, 1, 2, 5}) {
    for (const int N : {3, 4, 9, 30}) {
      SCOPED_TRACE(::testing::Message() << "NCOMP " << ncomp << ", " << N << " points");
      ScriptedProblem p;
      Harness h(p, ncomp, N, 0.0, 1.0, {.tau = u(rng), .kappa = 2.0 * u(rng), .alpha = u(rng)});
      double at = -5.0 * u(rng);
      for (int n = 0; n < N; ++n) {
        h.x(n) = at;
        at += 0.01 + u(rng);
        h.xdot(n) = u(rng) - 0.5;
        for (int k = 1; k <= ncomp; ++k) h.y(k, n) = 10.0 * u(rng) - 5.0;
      }
      if (ncomp == 5 && N == 9) h.y(3, 4) = std::numeric_limits<double>::quiet_NaN();
      const double KK = (1.0 + h.s.KAPPA) * h.s.KAPPA;
      std::vector<double> n(N - 1), d(N - 1), mon(N - 1), ratio(N - 1), delay(N - 1);
      for (int i = 0; i < N - 1; ++i) {
        const double dx = h.x(i + 1) - h.x(i);
        n[i] = 1.0 / dx;
        d[i] = ((h.xdot(i + 1) - h.xdot(i)) * n[i]) * n[i];
        double sum = 0.0;
        for (int k = 1; k <= ncomp; ++k) {
          const double du = h.y(k, i + 1) - h.y(k, i);
          sum = sum + du * du;
        }
        mon[i] = std::sqrt((sum / (dx * dx)) / ncomp + h.s.ALPHA);
      }
      for (int i = 0; i < N - 1; ++i) {
        double nt, rt;
        if (i == 0) {
          nt = n[0] - (n[1] - n[0]) * KK;
          rt = d[1] * KK - d[0] * (KK + 1.0);
        } else if (i == N - 2) {
          nt = n[i] - (n[i - 1] - n[i]) * KK;
          rt = d[i - 1] * KK - d[i] * (KK + 1.0);
        } else {
          nt = n[i] - ((-2.0 * n[i] + n[i + 1]) + n[i - 1]) * KK;
          rt = (d[i - 1] + d[i + 1]) * KK - d[i] * (2.0 * KK + 1.0);
        }
        ratio[i] = nt / mon[i];
        delay[i] = (h.s.TAU / mon[i]) * rt;
      }
      const int nvar = ncomp + 1;
      std::vector<double> M(h.Y.size(), -1.0), D(h.Y.size(), -1.0), F(h.Y.size(), -1.0);
      GRID_MONITOR(h.s, h.Y.data(), M.data(), ncomp, N - 2);
      GRID_EQUATIONS(h.s, h.Y.data(), h.YPRIME.data(), nvar, N - 2, D.data(), F.data());
      // The same rows with the residual's difference formed in DELTA.
      std::vector<double> R(h.Y.size(), -1.0), G(h.Y.size(), -1.0);
      GRID_EQUATIONS(h.s, h.Y.data(), h.YPRIME.data(), nvar, N - 2, R.data(), G.data(), true);
      for (int i = 0; i < N; ++i) {
        SCOPED_TRACE(i);
        const std::size_t at_i = skm_at(nvar, nvar, i);
        if (i < N - 1) {
          EXPECT_EQ(bits(M[at_i]), bits(mon[i]));
        }
        const bool end = i == 0 || i == N - 1;
        const double delta = end ? h.xdot(i) : delay[i - 1] - delay[i];
        const double fspart = end ? 0.0 : ratio[i] - ratio[i - 1];
        EXPECT_EQ(bits(D[at_i]), bits(delta));
        EXPECT_EQ(bits(F[at_i]), bits(fspart));
        EXPECT_EQ(bits(R[at_i]), bits(delta - fspart));
        EXPECT_EQ(bits(G[at_i]), bits(fspart));
      }
    }
  }
}

}  // namespace
}  // namespace qz5::testing
