// The analytic iteration matrix against difference quotients of the residual,
// entry by entry over the band, at many states: transport rows, grid rows and
// both boundary rows. The test problem's coefficients are nonlinear in U, UX
// and XI, its capacity depends on the position, and its boundary conditions
// are nonlinear in U and in the one-sided quotient; their derivatives are
// written out here, independently of the discretisation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

// Two equations:
//   C = [[1 + 0.3 XI, 0.1], [-0.2 XI, 2]]
//   Q1 = U1 U2 + sin(XI) UX1,  Q2 = exp(0.2 U1) - XI U2 + 0.1 UX2^2
//   R1 = (0.1 + 0.05 U2) UX1 - 0.5 U1^2 + 0.2 XI UX2,  R2 = 0.2 UX2 + U1 U2 XI
// Left end: BETA = 1, GAMMA = U1 U2 + 0.3 UX1, and GAMMA2 = U2^2 - 0.5 UX2;
// right end: BETA = (1, 0), GAMMA = (U1 - 0.1 UX2, U2 - 0.5).
class Nonlinear : public PdeProblem {
 public:
  void spdef(double, double XI, int, const double* U, const double* UX, double* C, double* Q,
             double* R, int&) override {
    C[0] = 1.0 + 0.3 * XI;
    C[1] = -0.2 * XI;
    C[2] = 0.1;
    C[3] = 2.0;
    Q[0] = U[0] * U[1] + std::sin(XI) * UX[0];
    Q[1] = std::exp(0.2 * U[0]) - XI * U[1] + 0.1 * UX[1] * UX[1];
    R[0] = (0.1 + 0.05 * U[1]) * UX[0] - 0.5 * U[0] * U[0] + 0.2 * XI * UX[1];
    R[1] = 0.2 * UX[1] + U[0] * U[1] * XI;
  }
  bool coefficient_derivatives(double, double XI, int, const double* U, const double* UX,
                               CoefficientDerivatives& d) override {
    // (k, j) at [(k-1) + (j-1)*2]
    d.dQ_dU[0] = U[1], d.dQ_dU[2] = U[0];
    d.dQ_dU[1] = 0.2 * std::exp(0.2 * U[0]), d.dQ_dU[3] = -XI;
    d.dQ_dUX[0] = std::sin(XI), d.dQ_dUX[2] = 0.0;
    d.dQ_dUX[1] = 0.0, d.dQ_dUX[3] = 0.2 * UX[1];
    d.dR_dU[0] = -U[0], d.dR_dU[2] = 0.05 * UX[0];
    d.dR_dU[1] = U[1] * XI, d.dR_dU[3] = U[0] * XI;
    d.dR_dUX[0] = 0.1 + 0.05 * U[1], d.dR_dUX[2] = 0.2 * XI;
    d.dR_dUX[1] = 0.0, d.dR_dUX[3] = 0.2;
    d.dC_dXI[0] = 0.3, d.dC_dXI[1] = -0.2, d.dC_dXI[2] = 0.0, d.dC_dXI[3] = 0.0;
    d.dQ_dXI[0] = std::cos(XI) * UX[0];
    d.dQ_dXI[1] = -U[1];
    d.dR_dXI[0] = 0.2 * UX[1];
    d.dR_dXI[1] = U[0] * U[1];
    return true;
  }
  void bndr(double, double* BETA, double* GAMMA, const double* U, const double* UX, int,
            int LEFT, int&) override {
    if (LEFT != 0) {
      BETA[0] = BETA[1] = 1.0;
      GAMMA[0] = U[0] * U[1] + 0.3 * UX[0];
      GAMMA[1] = U[1] * U[1] - 0.5 * UX[1];
    } else {
      BETA[0] = 1.0, BETA[1] = 0.0;
      GAMMA[0] = U[0] - 0.1 * UX[1];
      GAMMA[1] = U[1] - 0.5;
    }
  }
  bool boundary_derivatives(double, const double* U, const double*, int, int LEFT,
                            double* dGdU, double* dGdUX) override {
    for (int i = 0; i < 4; ++i) dGdU[i] = dGdUX[i] = 0.0;
    if (LEFT != 0) {
      dGdU[0] = U[1], dGdU[2] = U[0], dGdU[3] = 2.0 * U[1];
      dGdUX[0] = 0.3, dGdUX[3] = -0.5;
    } else {
      dGdU[0] = 1.0, dGdU[3] = 1.0;
      dGdUX[2] = -0.1;
    }
    return true;
  }
  void uinit(int, int, double*) override {}
};

// The band entries (ML = MU = IBAND) of dG/dY + CJ dG/dYPRIME by central
// differences of the residual.
std::vector<double> differenced(Harness& h, double T, double CJ) {
  const int band = h.IBAND, lda = 3 * band + 1;
  std::vector<double> pd(static_cast<std::size_t>(lda * h.NEQ), 0.0);
  for (int J = 1; J <= h.NEQ; ++J) {
    const std::size_t j = static_cast<std::size_t>(J - 1);
    const double y0 = h.Y[j], yp0 = h.YPRIME[j];
    const double e = 1e-6 * (1.0 + std::fabs(y0));
    std::vector<double> plus, minus;
    for (double sgn : {1.0, -1.0}) {
      h.Y[j] = y0 + sgn * e;
      h.YPRIME[j] = yp0 + sgn * CJ * e;
      EXPECT_EQ(h.residual(T), 0);
      (sgn > 0 ? plus : minus) = h.DELTA;
    }
    h.Y[j] = y0;
    h.YPRIME[j] = yp0;
    for (int I = std::max(1, J - band); I <= std::min(h.NEQ, J + band); ++I) {
      const std::size_t i = static_cast<std::size_t>(I - 1);
      pd[static_cast<std::size_t>((J - 1) * lda + (I - J + 2 * band + 1) - 1)] =
          (plus[i] - minus[i]) / (2.0 * e);
    }
  }
  return pd;
}

TEST(AnalyticJacobian, EqualsTheDifferenceQuotientsEntryByEntry) {
  struct Case {
    int npts;
    double tau, kappa, alpha, cj;
  } cases[] = {{3, 0.3, 1.0, 0.5, 40.0},
               {6, 0.0, 0.0, 1.0, 3.0},
               {9, 0.3, 2.0, 1e-3, 100.0},
               {12, 0.05, 8.0, 1e-5, 7.0}};
  std::mt19937 rng(22);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared = 0, large = 0;
  for (const Case& c : cases) {
    for (int state = 0; state < 5; ++state) {
      SCOPED_TRACE(::testing::Message() << c.npts << " points, state " << state);
      Nonlinear p;
      Harness h(p, 2, c.npts, 0.2, 2.0, {.tau = c.tau, .kappa = c.kappa, .alpha = c.alpha, .M = 0});
      ASSERT_EQ(h.IFAIL, 0);
      const int N = c.npts;
      for (int n = 0; n < N; ++n) {
        const double t = n / (N - 1.0);
        h.x(n) = 0.2 + 1.8 * (t + (n == 0 || n == N - 1 ? 0.0 : 0.25 * u(rng) / (N - 1.0)));
        h.y(1, n) = 1.0 + 0.5 * std::sin(3.0 * t + state) + 0.1 * u(rng);
        h.y(2, n) = std::cos(2.0 * t - state) + 0.1 * u(rng);
        h.yp(1, n) = u(rng);
        h.yp(2, n) = u(rng);
        h.xdot(n) = (n == 0 || n == N - 1) ? 0.0 : 0.05 * u(rng);
      }
      const double T = 0.7;
      const int band = h.IBAND, lda = 3 * band + 1;
      std::vector<double> pd(static_cast<std::size_t>(lda * h.NEQ), 0.0);
      int ires = 0;
      ASSERT_TRUE(SKMJAC(h.s, p, T, h.Y.data(), h.YPRIME.data(), c.cj, pd.data(), ires));
      EXPECT_EQ(ires, 0);
      const std::vector<double> want = differenced(h, T, c.cj);
      double scale = 0.0;
      for (double v : want) scale = std::max(scale, std::fabs(v));
      for (int J = 1; J <= h.NEQ; ++J) {
        for (int I = std::max(1, J - band); I <= std::min(h.NEQ, J + band); ++I) {
          const std::size_t at = static_cast<std::size_t>((J - 1) * lda + (I - J + 2 * band + 1) - 1);
          const double got = pd[at], expect = want[at];
          ++compared;
          // Relative 1e-6 where the entry is not tiny; central differences are
          // accurate to about 1e-10 of the largest entry.
          if (std::fabs(expect) > 1e-6 * scale) {
            ++large;
            EXPECT_NEAR(got, expect, 1e-6 * std::fabs(expect) + 1e-9 * scale)
                << "row " << I << " column " << J;
          } else {
            EXPECT_NEAR(got, expect, 1e-8 * scale) << "row " << I << " column " << J;
          }
        }
      }
    }
  }
  EXPECT_GT(large, 1000);
  EXPECT_GT(compared, large);
}

TEST(AnalyticJacobian, RefusedWhereItDoesNotApply) {
  // A problem without derivatives, and the cylinder (M = 1).
  ScriptedProblem plain;
  Harness h(plain, 1, 5, 0.0, 1.0);
  std::vector<double> pd(static_cast<std::size_t>((3 * h.IBAND + 1) * h.NEQ), 0.0);
  int ires = 0;
  EXPECT_FALSE(SKMJAC(h.s, plain, 0.0, h.Y.data(), h.YPRIME.data(), 1.0, pd.data(), ires));
  Nonlinear p;
  Harness c(p, 2, 5, 0.5, 1.0, {.tau = 0.0, .kappa = 0.0, .alpha = 1.0, .M = 1});
  std::vector<double> pc(static_cast<std::size_t>((3 * c.IBAND + 1) * c.NEQ), 0.0);
  EXPECT_FALSE(SKMJAC(c.s, p, 0.0, c.Y.data(), c.YPRIME.data(), 1.0, pc.data(), ires));
}

}  // namespace
}  // namespace qz5::testing
