// Transport rows of the residual: the slab scheme against its finite-volume
// equations written out independently, the order and arguments of the
// problem calls, the control volumes for every polar parameter, and the
// boundary rows in both modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

constexpr double kC = 0.6666666865348816;

// A coupled nonlinear two-constituent problem with a constant, non-diagonal
// capacity matrix and a source depending on the position.
constexpr double kCap[2][2] = {{2.0, 0.5}, {-0.3, 1.5}};  // C(k, j) = kCap[k-1][j-1]
void coupled_q_r(double XI, const double* U, const double* UX, double* Q, double* R) {
  R[0] = 0.7 * UX[0] - 0.3 * U[0] * U[1];
  R[1] = 1.1 * UX[1] + 0.2 * U[0];
  Q[0] = 0.5 * U[1] + XI;
  Q[1] = -0.4 * U[0] * U[0];
}
void coupled_coefficients(double, double XI, int NCOMP, const double* U, const double* UX,
                          double* C, double* Q, double* R) {
  for (int k = 1; k <= NCOMP; ++k)
    for (int j = 1; j <= NCOMP; ++j) C[(k - 1) + (j - 1) * NCOMP] = kCap[k - 1][j - 1];
  coupled_q_r(XI, U, UX, Q, R);
}
// Left end: a flux condition for 1, a weighted one for 2; right end: a fixed
// value for 1 (BETA = 0) and a flux condition for 2.
void coupled_boundary(int LEFT, int, const double* U, double* BETA, double* GAMMA) {
  if (LEFT != 0) {
    BETA[0] = 1.0;
    BETA[1] = 0.5;
    GAMMA[0] = 0.3;
    GAMMA[1] = U[1] - 1.0;
  } else {
    BETA[0] = 0.0;
    BETA[1] = 2.0;
    GAMMA[0] = U[0] - 0.1;
    GAMMA[1] = 0.4;
  }
}

// Expected transport rows of the slab scheme, written as the finite-volume
// balance: half-interval capacity and source terms at the point, fluxes at
// the interval midpoints from the interval's mean and difference quotient.
std::vector<double> slab_rows(Harness& h) {
  const int N = h.NPTS;
  auto V = [&](int j, int n) {
    if (n == 0 || n == N - 1) return h.yp(j, n);
    return h.yp(j, n) - h.xdot(n) * (h.y(j, n + 1) - h.y(j, n - 1)) / (h.x(n + 1) - h.x(n - 1));
  };
  auto S = [&](int k, int n) { return kCap[k - 1][0] * V(1, n) + kCap[k - 1][1] * V(2, n); };
  std::vector<std::array<double, 2>> Qi(N - 1), Ri(N - 1);
  std::vector<double> len(N - 1);
  for (int i = 0; i < N - 1; ++i) {
    len[i] = h.x(i + 1) - h.x(i);
    const double mid = (h.x(i) + h.x(i + 1)) / 2;
    const double U[2] = {(h.y(1, i) + h.y(1, i + 1)) / 2, (h.y(2, i) + h.y(2, i + 1)) / 2};
    const double UX[2] = {(h.y(1, i + 1) - h.y(1, i)) / len[i],
                          (h.y(2, i + 1) - h.y(2, i)) / len[i]};
    coupled_q_r(mid, U, UX, Qi[i].data(), Ri[i].data());
  }
  std::vector<double> rows(h.Y.size(), 0.0);
  double beta[2], gamma[2];
  for (int k = 1; k <= 2; ++k) {
    for (int n = 1; n <= N - 2; ++n) {
      rows[skm_at(3, k, n)] = len[n - 1] / 2 * (S(k, n) + Qi[n - 1][k - 1]) +
                              len[n] / 2 * (S(k, n) + Qi[n][k - 1]) -
                              (Ri[n][k - 1] - Ri[n - 1][k - 1]);
    }
  }
  coupled_boundary(1, 2, &h.y(1, 0), beta, gamma);
  for (int k = 1; k <= 2; ++k) {
    const double flux = Ri[0][k - 1] - len[0] / 2 * (S(k, 0) + Qi[0][k - 1]);
    rows[skm_at(3, k, 0)] = gamma[k - 1] - beta[k - 1] * flux;
  }
  coupled_boundary(0, 2, &h.y(1, N - 1), beta, gamma);
  for (int k = 1; k <= 2; ++k) {
    const double flux = Ri[N - 2][k - 1] + len[N - 2] / 2 * (S(k, N - 1) + Qi[N - 2][k - 1]);
    rows[skm_at(3, k, N - 1)] = gamma[k - 1] - beta[k - 1] * flux;
  }
  return rows;
}

// A moving, non-uniform state on the given positions.
void fill_state(Harness& h, const std::vector<double>& xs) {
  for (int n = 0; n < h.NPTS; ++n) {
    h.x(n) = xs[static_cast<std::size_t>(n)];
    h.y(1, n) = std::sin(3.0 * h.x(n)) + 1.5;
    h.y(2, n) = h.x(n) * h.x(n) - 0.2;
    h.yp(1, n) = 0.3 - 0.1 * n;
    h.yp(2, n) = std::cos(static_cast<double>(n));
    h.xdot(n) = 0.05 * (n + 1);
  }
}

TEST(Assembly, SlabRowsAreTheFiniteVolumeBalance) {
  const std::vector<std::vector<double>> grids = {
      {0.1, 0.4, 1.0},                  // three points: no interior interval
      {0.0, 0.3, 0.7, 1.2, 2.0},        // non-uniform
      {-1.0, -0.5, 0.0, 0.5, 1.0, 1.5}  // uniform
  };
  for (const auto& xs : grids) {
    SCOPED_TRACE(::testing::Message() << xs.size() << " points");
    ScriptedProblem p;
    p.coeffs = coupled_coefficients;
    p.boundary = coupled_boundary;
    Harness h(p, 2, static_cast<int>(xs.size()), xs.front(), xs.back());
    ASSERT_EQ(h.IFAIL, 0);
    fill_state(h, xs);
    ASSERT_EQ(h.residual(2.5), 0);
    const std::vector<double> expected = slab_rows(h);
    for (int n = 0; n < h.NPTS; ++n) {
      for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(::testing::Message() << "point " << n << " component " << k);
        EXPECT_NEAR(h.res(k, n), expected[skm_at(3, k, n)], 1e-13);
      }
    }
  }
}

TEST(Assembly, ProblemCallsInOrder) {
  const std::vector<double> xs = {0.0, 0.3, 0.7, 1.2, 2.0};
  ScriptedProblem p;
  p.coeffs = coupled_coefficients;
  p.boundary = coupled_boundary;
  Harness h(p, 2, 5, 0.0, 2.0);
  fill_state(h, xs);
  ASSERT_EQ(h.residual(2.5), 0);

  ASSERT_EQ(p.bndr_calls.size(), 2u);
  const auto& left = p.bndr_calls[0];
  EXPECT_EQ(left.LEFT, 1);
  EXPECT_EQ(left.spdef_calls_before, 0u);
  EXPECT_EQ(left.U, &h.y(1, 0));  // the slice of Y itself
  const auto& right = p.bndr_calls[1];
  EXPECT_EQ(right.LEFT, 0);
  EXPECT_EQ(right.spdef_calls_before, 3u);  // just before the last interval's spdef
  EXPECT_EQ(right.U, &h.y(1, 4));
  // One spdef per interval, in order, at the interval's midpoint (the values
  // handed over are checked through the rows above).
  ASSERT_EQ(p.spdef_calls.size(), 4u);
  for (int i = 0; i < 4; ++i)
    EXPECT_NEAR(p.spdef_calls[i].XI, (h.x(i) + h.x(i + 1)) / 2, 1e-15) << i;
  EXPECT_EQ(p.spdef_calls[0].T, 2.5);
}

// With unit capacity, u' = 1, x' = 0 and no flux or source, each interior row
// is the x^M-weighted size of the point's control volume. The control volumes
// and the two half-volumes at the ends tile the domain.
TEST(Assembly, ControlVolumesTileTheDomain) {
  struct Case {
    int M;
    std::vector<double> xs;
  };
  const Case cases[] = {{0, {0.5, 0.6, 0.9, 1.3, 2.0}}, {1, {0.5, 0.6, 0.9, 1.3, 2.0}},
                        {2, {0.5, 0.6, 0.9, 1.3, 2.0}}, {3, {0.5, 0.6, 0.9, 1.3, 2.0}},
                        {1, {0.0, 0.2, 0.5, 0.9, 1.5}},  // origin mode
                        {2, {0.0, 0.2, 0.5, 0.9, 1.5}}, {2, {0.0, 0.7, 1.5}}};
  for (const Case& c : cases) {
    const int N = static_cast<int>(c.xs.size());
    SCOPED_TRACE(::testing::Message()
                 << "M=" << c.M << " from " << c.xs.front() << ", " << N << " points");
    ScriptedProblem p;
    p.coeffs = [](double, double, int, const double*, const double*, double* C, double* Q,
                  double* R) {
      C[0] = 1.0;
      Q[0] = 0.0;
      R[0] = 0.0;
    };
    Harness h(p, 1, N, c.xs.front(), c.xs.back(), {.M = c.M});
    ASSERT_EQ(h.IFAIL, 0);
    const bool origin = c.xs.front() == 0.0;
    ASSERT_EQ(h.s.AT_ORIGIN, origin ? 1 : 0);
    for (int n = 0; n < N; ++n) {
      h.x(n) = c.xs[static_cast<std::size_t>(n)];
      h.yp(1, n) = 1.0;
    }
    ASSERT_EQ(h.residual(), 0);
    const double x0 = c.xs.front(), xn = c.xs.back();
    double total = 0.0;
    for (int n = 1; n <= N - 2; ++n) {
      EXPECT_GT(h.res(1, n), 0.0) << "point " << n;
      total += h.res(1, n);
    }
    // Right row: -(WR/xn^M); left row: WL/x0^M, or 1/(M+1) at the origin.
    total -= std::pow(xn, c.M) * h.res(1, N - 1);
    if (origin) {
      EXPECT_EQ(h.res(1, 0), 1.0 / (c.M + 1));
    } else {
      total += std::pow(x0, c.M) * h.res(1, 0);
    }
    const double volume = (std::pow(xn, c.M + 1) - std::pow(x0, c.M + 1)) / (c.M + 1);
    EXPECT_NEAR(total, volume, 1e-14 * volume);
  }
}

// Cylinder on 0, 0.5, 1, 1.5 with C = 1, Q = 0.25, R = 0.75, u'_0 = 2: the
// origin row is (S + Q)/(M+1) - R/xi; with BETA = 0 the symmetry condition
// is replaced by GAMMA = 0 and the row is -GAMMA. Away from the origin a
// BETA = 0 row is +GAMMA at either end.
TEST(Assembly, BoundaryRowsInBothModes) {
  ScriptedProblem p;
  double beta = 1.0;
  p.coeffs = [](double, double, int, const double*, const double*, double* C, double* Q,
                double* R) {
    C[0] = 1.0;
    Q[0] = 0.25;
    R[0] = 0.75;
  };
  p.boundary = [&beta](int, int, const double*, double* BETA, double* GAMMA) {
    BETA[0] = beta;
    GAMMA[0] = 0.125;
  };
  Harness h(p, 1, 4, 0.0, 1.5, {.M = 1});
  ASSERT_EQ(h.s.AT_ORIGIN, 1);
  h.yp(1, 0) = 2.0;
  ASSERT_EQ(h.residual(), 0);
  EXPECT_DOUBLE_EQ(h.res(1, 0), (2.0 + 0.25) / 2.0 - 0.75 / (kC * 0.5));
  beta = 0.0;
  ASSERT_EQ(h.residual(), 0);
  EXPECT_EQ(h.res(1, 0), -0.125);
  for (int M : {0, 1, 2}) {
    SCOPED_TRACE(::testing::Message() << "M=" << M);
    Harness o(p, 1, 4, 0.5, 2.0, {.M = M});
    ASSERT_EQ(o.s.AT_ORIGIN, 0);
    o.yp(1, 0) = 3.0;
    o.y(1, 1) = 7.0;
    ASSERT_EQ(o.residual(), 0);
    EXPECT_EQ(o.res(1, 0), 0.125);
    EXPECT_EQ(o.res(1, 3), 0.125);
  }
}

// In origin mode the first interval passes no flux to point 1: a flux that is
// non-zero only in the first interval leaves point 1's row at zero, while the
// ordinary mode carries it over.
TEST(Assembly, NoFluxFromTheOriginInterval) {
  ScriptedProblem p;
  p.coeffs = [](double, double XI, int, const double*, const double*, double* C, double* Q,
                double* R) {
    C[0] = 1.0;
    Q[0] = 0.0;
    R[0] = XI < 0.5 ? 1.0 : 0.0;
  };
  for (double x0 : {0.0, 1e-3}) {
    Harness h(p, 1, 4, x0, 1.5, {.M = 2});
    ASSERT_EQ(h.s.AT_ORIGIN, x0 == 0.0 ? 1 : 0);
    ASSERT_EQ(h.residual(), 0);
    if (x0 == 0.0) {
      EXPECT_EQ(h.res(1, 1), 0.0);
    } else {
      EXPECT_GT(h.res(1, 1), 0.0);  // + F of the first interval
    }
  }
}

// Constant values, all derivatives zero, zero-flux boundaries: every
// transport row is exactly zero, on any grid and for any geometry.
TEST(Assembly, ConstantStateGivesZeroTransportRows) {
  struct Case {
    int M;
    double x0;
  };
  for (const Case& c : {Case{0, 0.0}, Case{1, 0.3}, Case{2, 0.3}, Case{1, 0.0}, Case{2, 0.0}}) {
    SCOPED_TRACE(::testing::Message() << "M=" << c.M << " from " << c.x0);
    ScriptedProblem p;
    Harness h(p, 3, 6, c.x0, 2.0, {.M = c.M});
    const double xs[] = {0.0, 0.4, 0.55, 0.8, 1.1, 2.0};
    for (int n = 0; n < 6; ++n) {
      h.x(n) = n == 0 ? c.x0 : xs[n];
      for (int k = 1; k <= 3; ++k) h.y(k, n) = 0.5 * k - 0.7;
    }
    ASSERT_EQ(h.residual(), 0);
    for (int n = 0; n < 6; ++n)
      for (int k = 1; k <= 3; ++k) EXPECT_EQ(h.res(k, n), 0.0) << "point " << n << " k " << k;
  }
}

}  // namespace
}  // namespace qz5::testing

namespace qz5::testing {
namespace {

// A problem whose C is diagonal and says so (or not, as asked): the
// assembly's shortcut for diagonal capacities must give the full sums' bits.
struct DiagonalProblem : ScriptedProblem {
  bool diagonal = false;
  bool capacity_is_diagonal() const override { return diagonal; }
};

// Diagonal capacities of both signs and an exact zero; constituent 1 has
// neither flux nor source, so that its rows show the sign of a zero sum.
void diagonal_coefficients(double, double XI, int NCOMP, const double* U, const double* UX,
                           double* C, double* Q, double* R) {
  for (int j = 0; j < NCOMP * NCOMP; ++j) C[j] = 0.0;
  for (int k = 0; k < NCOMP; ++k) {
    const double cap[] = {1.5, -2.0 - XI, 0.0, 0.75 + XI * XI, -0.3, 3.0};
    C[k + k * NCOMP] = cap[k % 6];
    Q[k] = k == 0 ? 0.0 : 0.2 * U[k] * U[(k + 1) % NCOMP] - XI;
    R[k] = k == 0 ? 0.0 : (0.9 + 0.1 * k) * UX[k] - 0.25 * U[k];
  }
}

TEST(Assembly, DiagonalCapacityShortcutKeepsTheBitsOfTheFullSums) {
  std::mt19937 rng(90210);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  std::uniform_int_distribution<int> pick(0, 5);
  const double inf = std::numeric_limits<double>::infinity();
  for (int ncomp : {6, 3}) {
    for (int trial = 0; trial < 12; ++trial) {
      SCOPED_TRACE(::testing::Message() << "NCOMP " << ncomp << " trial " << trial);
      DiagonalProblem full, shortcut;
      full.coeffs = shortcut.coeffs = diagonal_coefficients;
      shortcut.diagonal = true;
      Harness a(full, ncomp, 9, 0.0, 4.0);
      Harness b(shortcut, ncomp, 9, 0.0, 4.0);
      for (int n = 0; n < 9; ++n) {
        a.x(n) = n * 0.5 + (n > 0 && n < 8 ? 0.1 * u(rng) : 0.0);
        a.xdot(n) = (n > 0 && n < 8 && pick(rng) > 1) ? 0.1 * u(rng) : 0.0;
        for (int k = 1; k <= ncomp; ++k) {
          a.y(k, n) = u(rng);
          // Zeros of both signs: a zero time derivative at a point that does
          // not move gives a rate of -0.0.
          const int kind = pick(rng);
          a.yp(k, n) = kind == 0 ? -0.0 : kind == 1 ? 0.0 : u(rng);
        }
      }
      // Later trials: a rate that is not finite at one point (the full sums
      // spread it as NaN over the point's other constituents).
      if (trial >= 8) a.yp(1 + trial % ncomp, 1 + trial % 7) = trial % 2 == 0 ? inf : std::nan("");
      b.Y = a.Y;
      b.YPRIME = a.YPRIME;
      ASSERT_EQ(a.residual(0.5), 0);
      ASSERT_EQ(b.residual(0.5), 0);
      int differ = 0;
      for (std::size_t i = 0; i < a.DELTA.size(); ++i)
        differ += std::memcmp(&a.DELTA[i], &b.DELTA[i], sizeof(double)) != 0;
      EXPECT_EQ(differ, 0);
    }
  }
}

}  // namespace
}  // namespace qz5::testing

namespace qz5::testing {
namespace {

// Six constituents that do not interact: each one's coefficients depend on
// its own values only. The transport rows of constituent k are then those of
// a one-constituent problem on k's values alone, and the two are assembled
// on different paths (six: compile-time NCOMP, two constituents a lane pair;
// one: the general scalar loops), which must agree bit for bit.
struct Decoupled {
  static double cap(int k, double XI) { return (k % 2 == 0 ? 1.0 : -1.0) * (0.5 + 0.1 * k + XI); }
  static void coefficients(int k, double XI, double u, double ux, double& C, double& Q, double& R) {
    C = cap(k, XI);
    Q = 0.3 * u * u - 0.2 * k * XI;
    R = (0.4 + 0.15 * k) * ux - (0.05 * k - 0.1) * u;
  }
  static void boundary(int k, int LEFT, double u, double& BETA, double& GAMMA) {
    BETA = (LEFT != 0 || k % 3 != 0) ? 1.0 : 0.0;
    GAMMA = LEFT != 0 ? 0.2 * k : u - 0.1 * k;
  }
};

TEST(Assembly, LanePairsOfSixConstituentsMatchTheScalarLoopsBitForBit) {
  std::mt19937 rng(4242);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  constexpr int kPts = 11;
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE(::testing::Message() << "trial " << trial);
    ScriptedProblem six;
    six.coeffs = [](double, double XI, int, const double* U, const double* UX, double* C, double* Q,
                    double* R) {
      for (int j = 0; j < 36; ++j) C[j] = 0.0;
      for (int k = 0; k < 6; ++k) Decoupled::coefficients(k, XI, U[k], UX[k], C[k * 7], Q[k], R[k]);
    };
    six.boundary = [](int LEFT, int, const double* U, double* BETA, double* GAMMA) {
      for (int k = 0; k < 6; ++k) Decoupled::boundary(k, LEFT, U[k], BETA[k], GAMMA[k]);
    };
    Harness h6(six, 6, kPts, 0.0, 3.0);
    for (int n = 0; n < kPts; ++n) {
      h6.x(n) = n * 0.3 + (n > 0 && n < kPts - 1 ? 0.1 * u(rng) : 0.0);
      h6.xdot(n) = n > 0 && n < kPts - 1 ? 0.2 * u(rng) : 0.0;
      for (int k = 1; k <= 6; ++k) {
        h6.y(k, n) = u(rng);
        h6.yp(k, n) = u(rng);
      }
    }
    ASSERT_EQ(h6.residual(0.25), 0);
    for (int k = 0; k < 6; ++k) {
      SCOPED_TRACE(::testing::Message() << "constituent " << k + 1);
      ScriptedProblem one;
      one.coeffs = [k](double, double XI, int, const double* U, const double* UX, double* C,
                       double* Q, double* R) {
        Decoupled::coefficients(k, XI, U[0], UX[0], C[0], Q[0], R[0]);
      };
      one.boundary = [k](int LEFT, int, const double* U, double* BETA, double* GAMMA) {
        Decoupled::boundary(k, LEFT, U[0], BETA[0], GAMMA[0]);
      };
      Harness h1(one, 1, kPts, 0.0, 3.0);
      for (int n = 0; n < kPts; ++n) {
        h1.x(n) = h6.x(n);
        h1.xdot(n) = h6.xdot(n);
        h1.y(1, n) = h6.y(k + 1, n);
        h1.yp(1, n) = h6.yp(k + 1, n);
      }
      ASSERT_EQ(h1.residual(0.25), 0);
      int differ = 0;
      for (int n = 0; n < kPts; ++n) {
        const double a = h6.res(k + 1, n), b = h1.res(1, n);
        differ += std::memcmp(&a, &b, sizeof a) != 0;
      }
      EXPECT_EQ(differ, 0);
    }
  }
}

}  // namespace
}  // namespace qz5::testing
