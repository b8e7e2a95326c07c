// Band structure of the residual: the integrator builds a banded iteration
// matrix with half-bandwidth IBAND = 2*NVAR, so no residual entry may depend
// on an unknown (or its time derivative) further than that from it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

// Two coupled constituents with a non-diagonal capacity matrix, so that every
// unknown of a point reaches every row of its neighbours.
void coupled(double, double XI, int, const double* U, const double* UX, double* C, double* Q,
             double* R) {
  C[0] = 1.0 + U[0] * U[0];
  C[1] = 0.3 * U[1];
  C[2] = -0.2 * U[0];
  C[3] = 2.0 + XI;
  Q[0] = U[0] * U[1];
  Q[1] = std::sin(U[0]) + XI * U[1];
  R[0] = 0.1 * UX[0] - 0.5 * U[0] * U[0] + 0.05 * UX[1];
  R[1] = 0.2 * UX[1] + U[0] * U[1];
}
void robin(int LEFT, int, const double* U, double* BETA, double* GAMMA) {
  BETA[0] = 1.0;
  BETA[1] = LEFT != 0 ? 1.0 : 0.0;
  GAMMA[0] = U[0] * U[1];
  GAMMA[1] = U[1] - 0.5;
}

TEST(Band, DependenciesStayWithinTwoPoints) {
  struct Case {
    int M;
    double x0;
  };
  for (const Case& c : {Case{0, 0.2}, Case{1, 0.2}, Case{2, 0.0}}) {
    SCOPED_TRACE(::testing::Message() << "M=" << c.M << " from " << c.x0);
    ScriptedProblem p;
    p.coeffs = coupled;
    p.boundary = robin;
    const int N = 9;
    Harness h(p, 2, N, c.x0, 2.0, {.tau = 0.3, .kappa = 1.0, .alpha = 0.5, .M = c.M});
    ASSERT_EQ(h.IFAIL, 0);
    const int nvar = h.NVAR();
    ASSERT_EQ(h.IBAND, 2 * nvar);
    for (int n = 0; n < N; ++n) {
      h.x(n) = c.x0 + (2.0 - c.x0) * std::pow(n / (N - 1.0), 1.3);
      h.y(1, n) = std::sin(2.0 * n) + 1.0;
      h.y(2, n) = std::cos(1.3 * n);
      h.yp(1, n) = 0.1 * n - 0.4;
      h.yp(2, n) = std::sin(0.7 * n);
      h.xdot(n) = (n == 0 || n == N - 1) ? 0.0 : 0.02 * std::cos(1.1 * n);
    }
    ASSERT_EQ(h.residual(), 0);
    const std::vector<double> base = h.DELTA;
    int widest = 0;
    bool reached_two = false;
    for (std::vector<double>* v : {&h.Y, &h.YPRIME}) {
      for (int j = 0; j < h.NEQ; ++j) {
        const double keep = (*v)[j];
        (*v)[j] = keep + 1e-3 * (1.0 + std::fabs(keep));
        ASSERT_EQ(h.residual(), 0);
        for (int i = 0; i < h.NEQ; ++i) {
          if (h.DELTA[i] == base[i]) continue;
          widest = std::max(widest, std::abs(i - j));
          // The reach the integrator groups its difference columns by: a
          // row changed outside it would make the grouped matrix wrong.
          const int reach = skm_point_reach(j % nvar + 1, nvar - 1);
          EXPECT_LE(std::abs(i / nvar - j / nvar), reach)
              << (v == &h.Y ? "Y" : "YPRIME") << "(" << j + 1 << ") changes row " << i + 1
              << " beyond its reach";
          reached_two = reached_two || std::abs(i / nvar - j / nvar) == 2;
          EXPECT_LE(std::abs(i - j), h.IBAND)
              << (v == &h.Y ? "Y" : "YPRIME") << "(" << j + 1 << ") changes row " << i + 1;
        }
        (*v)[j] = keep;
      }
    }
    // The band is used to its full width (a grid row reaches the position of
    // the point two places on), so a narrower band would be wrong.
    EXPECT_EQ(widest, h.IBAND);
    // And the positions do reach two points on: a reach of 1 would be wrong.
    EXPECT_TRUE(reached_two);
  }
}

}  // namespace
}  // namespace qz5::testing
