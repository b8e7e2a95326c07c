// The routines beneath DDASSL: error weights and norm, interpolation of the
// step history, and the iteration matrix with its solve.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "dassl_harness.h"
#include "integrator/dassl_routines.h"
#include "textio/stop.h"

namespace qz5::testing {
namespace {

TEST(ErrorWeights, ScalarUsesFirstElementsVectorUsesEach) {
  const double Y[2] = {-2.0, 3.0};
  const double RTOL[2] = {0.1, 0.2};
  const double ATOL[2] = {1e-3, 2e-3};
  double WT[2];
  SET_ERROR_WEIGHTS(2, 0, RTOL, ATOL, Y, WT);
  EXPECT_EQ(WT[0], 0.1 * 2.0 + 1e-3);
  EXPECT_EQ(WT[1], 0.1 * 3.0 + 1e-3);
  SET_ERROR_WEIGHTS(2, 1, RTOL, ATOL, Y, WT);
  EXPECT_EQ(WT[0], 0.1 * 2.0 + 1e-3);
  EXPECT_EQ(WT[1], 0.2 * 3.0 + 2e-3);
}

TEST(WeightedNorm, RootMeanSquareOfWeightedElements) {
  const double ones[4] = {1.0, 1.0, 1.0, 1.0};
  const double v1[2] = {3.0, 4.0};
  EXPECT_NEAR(WEIGHTED_RMS_NORM(2, v1, ones), std::sqrt(12.5), 1e-15);
  const double v2[4] = {2.0, 0.0, 0.0, 0.0};
  const double wt2[4] = {0.5, 1.0, 1.0, 1.0};
  EXPECT_DOUBLE_EQ(WEIGHTED_RMS_NORM(4, v2, wt2), 2.0);  // 4 * sqrt(1/4)
  const double zero[3] = {0.0, -0.0, 0.0};
  EXPECT_EQ(WEIGHTED_RMS_NORM(3, zero, ones), 0.0);
  // Squares of 1e300 overflow; the scaling by the largest element must not.
  const double huge[2] = {1e300, -1e300};
  EXPECT_DOUBLE_EQ(WEIGHTED_RMS_NORM(2, huge, ones), 1e300);
}

TEST(WeightedNorm, NotFiniteWhenAnElementIsNotFinite) {
  // Each vector holds a NaN or an infinity in V or WT; the norm must not come
  // out as an ordinary number (before, NaNs were passed over and a vector of
  // NaNs measured 0).
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    std::vector<double> v, wt;
  };
  const std::vector<Case> cases = {
      {"every element NaN", {nan, nan}, {1.0, 1.0}},
      {"one element NaN", {1.0, nan, 0.0}, {1.0, 1.0, 1.0}},
      {"NaN last after a larger element", {5.0, nan}, {1.0, 1.0}},
      {"an infinity", {inf, 1.0}, {1.0, 1.0}},
      {"minus infinity alone", {-inf}, {1.0}},
      {"a NaN weight", {1.0, 1.0}, {1.0, nan}},
      {"a quotient that overflows", {1e300, 1.0}, {1e-300, 1.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(std::isnan(WEIGHTED_RMS_NORM(static_cast<int>(c.v.size()), c.v.data(), c.wt.data())));
  }
}

// The history holds a cubic through four unevenly spaced mesh points as
// modified divided differences: column j = psi_1 ... psi_(j-1) times the
// divided difference over the j latest points. The interpolant of order 3
// must reproduce the cubic and its derivative anywhere.
TEST(InterpolateHistory, ReproducesACubicAndItsDerivative) {
  auto p = [](double t) { return 2.0 - 3.0 * t + 0.5 * t * t + 1.5 * t * t * t; };
  auto dp = [](double t) { return -3.0 + t + 4.5 * t * t; };
  const double mesh[4] = {1.0, 0.8, 0.5, 0.3};  // t_n, t_(n-1), ...
  double dd[4][4];
  for (int i = 0; i < 4; ++i) dd[i][0] = p(mesh[i]);
  for (int j = 1; j < 4; ++j)
    for (int i = 0; i + j < 4; ++i) dd[i][j] = (dd[i][j - 1] - dd[i + 1][j - 1]) / (mesh[i] - mesh[i + j]);
  double psi[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 1; i <= 3; ++i) psi[i - 1] = mesh[0] - mesh[i];
  psi[3] = 1.0;  // not used at order 3 except for the last ratio
  double phi[4];
  double scale = 1.0;
  for (int j = 0; j < 4; ++j) {
    phi[j] = scale * dd[0][j];
    if (j < 3) scale *= psi[j];
  }
  for (double t : {1.0, 0.9, 1.2, 0.4}) {
    SCOPED_TRACE(t);
    double y = 0.0, yp = 0.0;
    INTERPOLATE_HISTORY(1.0, t, &y, &yp, 1, 3, phi, psi);
    EXPECT_NEAR(y, p(t), 1e-13);
    EXPECT_NEAR(yp, dp(t), 1e-12);
  }
}

TEST(InterpolateHistory, AtTheMeshPointGivesTheStoredSolutionExactly) {
  const double phi[6] = {0.1234567890123, -7.5, 1e-3, 4.0, 2.5, -1.0};  // NEQ = 1, order 5
  const double psi[6] = {0.1, 0.25, 0.3, 0.7, 0.9, 1.2};
  double y = 0.0, yp = 0.0;
  INTERPOLATE_HISTORY(3.0, 3.0, &y, &yp, 1, 5, phi, psi);
  EXPECT_EQ(y, phi[0]);
  // At DT = 0 the slope of the j-th Newton term is phi_j / psi_(j-1).
  EXPECT_NEAR(yp, -7.5 / 0.1 + 1e-3 / 0.25 + 4.0 / 0.3 + 2.5 / 0.7 - 1.0 / 0.9, 1e-12);
}

// The norm as the plain two-pass loop, one element after the other.
double plain_norm(const std::vector<double>& v, const std::vector<double>& wt) {
  double biggest = 0.0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double q = std::abs(v[i] / wt[i]);
    if (!std::isfinite(q)) return std::numeric_limits<double>::quiet_NaN();
    if (q > biggest) biggest = q;
  }
  if (biggest <= 0.0) return 0.0;
  double sumsq = 0.0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double s = (v[i] / wt[i]) / biggest;
    sumsq = sumsq + s * s;
  }
  return biggest * std::sqrt(sumsq / static_cast<double>(v.size()));
}

TEST(WeightedNorm, EqualsThePlainLoopBitForBitAtEveryLength) {
  // Odd and even lengths (the two-lane passes have a tail), both sides of the
  // length whose quotients are kept, signed zeros, and a non-finite element
  // in either lane.
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> u(-3.0, 3.0);
  for (int n : {1, 2, 3, 4, 5, 8, 9, 700, 701, 4095, 4096, 4097, 5001}) {
    for (int special = -1; special < 3; ++special) {
      SCOPED_TRACE(::testing::Message() << "NEQ " << n << " case " << special);
      std::vector<double> v(static_cast<std::size_t>(n)), wt(v.size());
      for (std::size_t i = 0; i < v.size(); ++i) {
        v[i] = i % 11 == 4 ? -0.0 : u(rng) * std::pow(10.0, u(rng));
        wt[i] = 1e-6 + std::abs(u(rng)) * 1e-3;
      }
      const std::size_t at = static_cast<std::size_t>(n - 1);
      if (special == 0) v[at] = std::numeric_limits<double>::quiet_NaN();
      if (special == 1) v[at / 2] = -std::numeric_limits<double>::infinity();
      if (special == 2) std::fill(v.begin(), v.end(), -0.0);
      const double want = plain_norm(v, wt);
      const double got = WEIGHTED_RMS_NORM(n, v.data(), wt.data());
      if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got));
      } else {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << got;
      }
      if (special >= 0 && special <= 1) {
        EXPECT_TRUE(std::isnan(want));
      }
    }
  }
}

// A linear banded system G = A y + B y' - f with fixed band entries: the
// iteration matrix is exactly A + c B.
struct LinearBand {
  int NEQ, ML, MU;
  bool in_band(int i, int j) const { return j - i <= MU && i - j <= ML; }
  double a(int i, int j) const {
    return in_band(i, j) ? 1.0 + 0.37 * i - 0.11 * j + (i == j ? 5.0 : 0.0) : 0.0;
  }
  double b(int i, int j) const { return i == j ? 1.0 + 0.1 * i : (j - i == 1 && MU >= 1 ? 0.2 : 0.0); }
  void residual(double t, const double* y, const double* yp, double* g) const {
    for (int i = 0; i < NEQ; ++i) {
      g[i] = -std::sin(t + i);
      for (int j = 0; j < NEQ; ++j) g[i] += a(i, j) * y[j] + b(i, j) * yp[j];
    }
  }
};

struct MatrixSetup {
  MatrixSetup(int neq, int ml, int mu, int kind)
      : NEQ(neq), iwork(20 + neq, 0), y(neq), yp(neq), wt(neq, 1e-3), r(neq), e(neq) {
    iwork[kMl - 1] = ml;
    iwork[kMu - 1] = mu;
    iwork[kMatrixKind - 1] = kind;
    const int length = (2 * ml + mu + 1) * neq;
    store.assign(length + 2 * (neq / (ml + mu + 1) + 1), 0.0);
    save_start = length + 1;
    for (int i = 0; i < neq; ++i) {
      y[i] = 0.5 + 0.25 * i;
      yp[i] = -1.0 + 0.3 * i;
    }
  }
  // Forms the iteration matrix at (t, y, yp) with residual r; returns IRES.
  int form(const ResidualFn& res, const JacobianFn& jac, double t, double cj, double h, int& singular) {
    const Problem P{io, NEQ, res, jac, nullptr, nullptr};
    int ires = 7;  // the routine must set it
    ITERATION_MATRIX(P, t, y.data(), yp.data(), r.data(), cj, h, singular, wt.data(), e.data(),
                     store.data(), iwork.data(), ires, kEps, save_start);
    return ires;
  }
  // Solves with the formed matrix; b holds the right side on entry.
  void solve(std::vector<double>& b) {
    const Problem P{io, NEQ, ResidualFn(), JacobianFn(), nullptr, nullptr};
    ITERATION_SOLVE(P, b.data(), store.data(), iwork.data());
  }
  int NEQ;
  std::vector<int> iwork;
  std::vector<double> y, yp, wt, r, e, store;
  int save_start;
  std::istringstream in;
  std::ostringstream out;
  Units io{in, out};
};

TEST(IterationMatrix, BandedDifferencesReproduceTheBandedJacobian) {
  struct Case { int neq, ml, mu, calls; };
  for (const Case c : {Case{7, 2, 1, 4}, Case{1, 0, 0, 1}, Case{4, 3, 3, 4}, Case{9, 1, 0, 2}}) {
    SCOPED_TRACE(::testing::Message() << "NEQ " << c.neq << " ML " << c.ml << " MU " << c.mu);
    const LinearBand sys{c.neq, c.ml, c.mu};
    MatrixSetup m(c.neq, c.ml, c.mu, kBandDiff);
    int calls = 0;
    ResidualFn res = [&](double t, double* y, double* yp, double* d, int&, double*, int*) {
      ++calls;
      sys.residual(t, y, yp, d);
    };
    const double t = 0.3, cj = 40.0, h = 0.05;
    sys.residual(t, m.y.data(), m.yp.data(), m.r.data());
    const std::vector<double> y0 = m.y, yp0 = m.yp, r0 = m.r;
    int singular = -5;
    EXPECT_EQ(m.form(res, JacobianFn(), t, cj, h, singular), 0);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(singular, 0);
    EXPECT_EQ(m.y, y0);
    EXPECT_EQ(m.yp, yp0);
    EXPECT_EQ(m.r, r0);
    // Solve (A + cj B) x = b for a known x; difference quotients of a linear
    // residual are exact up to roundoff over an increment of ~sqrt(eps).
    std::vector<double> x(c.neq), b(c.neq, 0.0);
    for (int i = 0; i < c.neq; ++i) x[i] = 1.0 - 0.4 * i;
    for (int i = 0; i < c.neq; ++i)
      for (int j = 0; j < c.neq; ++j) b[i] += (sys.a(i, j) + cj * sys.b(i, j)) * x[j];
    m.solve(b);
    for (int i = 0; i < c.neq; ++i) EXPECT_NEAR(b[i], x[i], 1e-6) << i;
  }
}

// A nonlinear residual in blocks of three unknowns per point whose unknown c
// reaches the rows of the points within reach[c] of its own, every row of
// those points: the pattern the block grouping relies on.
struct BlockSystem {
  int points;
  std::array<int, 3> reach;
  int NEQ() const { return 3 * points; }
  void residual(double t, const double* y, const double* yp, double* g) const {
    for (int i = 0; i < NEQ(); ++i) {
      const int p = i / 3;
      double sum = std::sin(t + i) + (1.0 + 0.1 * i) * yp[i];
      for (int q = std::max(0, p - 2); q <= std::min(points - 1, p + 2); ++q) {
        for (int c = 0; c < 3; ++c) {
          if (std::abs(p - q) > reach[static_cast<std::size_t>(c)]) continue;
          const int j = 3 * q + c;
          sum += std::exp(0.3 * y[j]) * (0.2 + 0.01 * (i - j + 7 * c)) + 0.05 * yp[j] * y[i];
        }
      }
      g[i] = sum;
    }
  }
};

TEST(IterationMatrix, BlockGroupsGiveTheSameMatrixInFewerEvaluations) {
  // ML = MU = 8 covers a reach of two points of three unknowns.
  const BlockSystem sys{11, {1, 2, 0}};
  const int neq = sys.NEQ(), band = 8;
  const double t = 0.7, cj = 25.0, h = 0.04;
  auto form = [&](const BlockStructure* structure, int& calls) {
    MatrixSetup m(neq, band, band, kBandDiff);
    for (int i = 0; i < neq; ++i) m.y[i] = std::cos(0.9 * i) - 0.2 * i;
    sys.residual(t, m.y.data(), m.yp.data(), m.r.data());
    const std::vector<double> y0 = m.y, yp0 = m.yp;
    ResidualFn res = [&](double tt, double* y, double* yp, double* d, int&, double*, int*) {
      ++calls;
      sys.residual(tt, y, yp, d);
    };
    const Problem P{m.io, neq, res, JacobianFn(), nullptr, nullptr, structure};
    int ires = 7, singular = -5;
    // The factors are compared: they are a function of the matrix alone.
    ITERATION_MATRIX(P, t, m.y.data(), m.yp.data(), m.r.data(), cj, h, singular, m.wt.data(),
                     m.e.data(), m.store.data(), m.iwork.data(), ires, kEps, m.save_start);
    EXPECT_EQ(ires, 0);
    EXPECT_EQ(singular, 0);
    EXPECT_EQ(m.y, y0);  // restored bit for bit
    EXPECT_EQ(m.yp, yp0);
    // Storage rows ML+1.. of every column: the fill-in rows above them are
    // scratch until the factorisation clears them.
    std::vector<double> factors;
    const int lda = 3 * band + 1;
    for (int j = 0; j < neq; ++j)
      for (int r = 0; r < lda; ++r)
        if (r >= band || j >= 2 * band + 1) factors.push_back(m.store[static_cast<std::size_t>(j * lda + r)]);
    std::vector<int> pivots(m.iwork.begin() + (kPivots - 1), m.iwork.begin() + (kPivots - 1) + neq);
    return std::make_pair(factors, pivots);
  };
  int plain_calls = 0, block_calls = 0, wrong_calls = 0;
  const auto plain = form(nullptr, plain_calls);
  BlockStructure declared;
  declared.block = 3;
  declared.reach = {1, 2, 0};
  const auto grouped = form(&declared, block_calls);
  EXPECT_EQ(plain_calls, 2 * band + 1);
  EXPECT_EQ(block_calls, 3 + 5 + 1);  // 2 reach + 1 groups per unknown
  EXPECT_EQ(grouped.first, plain.first);
  EXPECT_EQ(grouped.second, plain.second);
  // A reach declared too short groups columns that share rows: the matrix
  // must then differ, which shows the comparison above can fail.
  BlockStructure wrong = declared;
  wrong.reach = {1, 1, 0};
  const auto mixed = form(&wrong, wrong_calls);
  EXPECT_EQ(wrong_calls, 3 + 3 + 1);
  EXPECT_NE(mixed.first, plain.first);
  // Too many groups to save anything: the plain grouping is used.
  BlockStructure wide = declared;
  wide.reach = {2, 2, 3};
  int wide_calls = 0;
  const auto same = form(&wide, wide_calls);
  EXPECT_EQ(wide_calls, 2 * band + 1);
  EXPECT_EQ(same.first, plain.first);
}

// Points far from the coordinates' origin and close together: a value u_p
// and a coordinate x_p per point, rows that depend on n_p = 1/(x_{p+1} - x_p)
// (as grid equations do). Increments set by the magnitude of x (1e4) are
// 1.5e-2 of the spacing (0.01), and the forward quotients carry that as a
// relative error; increments set by the spacing leave rounding only. The
// solutions with the differenced factors against the analytic matrix's.
TEST(IterationMatrix, SpacingIncrementsOfCoordinatesGiveTheMatrixToRounding) {
  constexpr int kPoints = 12, neq = 2 * kPoints, band = 4;
  const double t = 0.0, cj = 50.0, h = 1e-3;
  auto x0 = [](int p) { return 1.0e4 + 0.01 * p + 0.002 * std::sin(1.3 * p); };
  auto n_of = [](const double* y, int p) { return 1.0 / (y[2 * p + 3] - y[2 * p + 1]); };
  ResidualFn res = [&](double, double* y, double* yp, double* g, int&, double*, int*) {
    for (int p = 0; p < kPoints; ++p) {
      const bool last = p == kPoints - 1;
      g[2 * p] = yp[2 * p] + (last ? y[2 * p] : y[2 * p] * n_of(y, p));
      g[2 * p + 1] = (p == 0 || last) ? y[2 * p + 1] - x0(p)
                                      : yp[2 * p + 1] + n_of(y, p - 1) - n_of(y, p);
    }
  };
  // dG/dy + cj dG/dyp written out; (row i, column j) in band storage.
  JacobianFn jac = [&](double, double* y, double*, double* pd, double c, double*, int*) {
    const int lda = 3 * band + 1;
    auto at = [&](int i, int j) -> double& { return pd[j * lda + i - j + 2 * band]; };
    for (int p = 0; p < kPoints; ++p) {
      const int u = 2 * p, x = 2 * p + 1;
      if (p == kPoints - 1) {
        at(u, u) = c + 1.0;
        at(x, x) = 1.0;
        continue;
      }
      const double n = n_of(y, p), n2 = n * n;
      at(u, u) = c + n;
      at(u, x) = y[u] * n2;
      at(u, x + 2) = -y[u] * n2;
      if (p == 0) {
        at(x, x) = 1.0;
        continue;
      }
      const double m = n_of(y, p - 1), m2 = m * m;
      at(x, x - 2) = m2;
      at(x, x) = c - m2 - n2;
      at(x, x + 2) = n2;
    }
  };
  auto solution = [&](int kind, const BlockStructure* s) {
    MatrixSetup m(neq, band, band, kind);
    for (int p = 0; p < kPoints; ++p) {
      m.y[2 * p] = 1.0 + 0.1 * p;
      m.y[2 * p + 1] = x0(p);
      m.yp[2 * p] = 0.0;
      m.yp[2 * p + 1] = 0.0;
      m.wt[2 * p] = m.wt[2 * p + 1] = 1e-7;
    }
    int ires = 0, singular = 0;
    res(t, m.y.data(), m.yp.data(), m.r.data(), ires, nullptr, nullptr);
    const Problem P{m.io, neq, res, jac, nullptr, nullptr, s};
    ITERATION_MATRIX(P, t, m.y.data(), m.yp.data(), m.r.data(), cj, h, singular, m.wt.data(),
                     m.e.data(), m.store.data(), m.iwork.data(), ires, kEps, m.save_start);
    EXPECT_EQ(singular, 0);
    std::vector<double> b(neq);
    for (int i = 0; i < neq; ++i) b[i] = std::cos(0.7 * i);
    m.solve(b);
    return b;
  };
  const std::vector<double> exact = solution(kBandJac, nullptr);
  BlockStructure s;
  s.block = 2;
  s.reach = {0, 1};
  auto worst = [&](const std::vector<double>& got) {
    double w = 0.0, scale = 0.0;
    for (double v : exact) scale = std::max(scale, std::abs(v));
    for (int i = 0; i < neq; ++i) w = std::max(w, std::abs(got[i] - exact[i]) / scale);
    return w;
  };
  const double by_magnitude = worst(solution(kBandDiff, &s));
  s.spacing_increment = {false, true};
  const double by_spacing = worst(solution(kBandDiff, &s));
  std::printf("worst difference of the solution: %.2e by magnitude, %.2e by spacing\n",
              by_magnitude, by_spacing);
  EXPECT_GT(by_magnitude, 1e-4);  // the truncation error of increment/spacing
  EXPECT_LT(by_spacing, 1e-6);
}

TEST(IterationMatrix, IncrementFollowsTheDirectionOfTheSolution) {
  // Diagonal band (ML = MU = 0): one group perturbs every component at once.
  MatrixSetup m(3, 0, 0, kBandDiff);
  m.y = {0.0, 1.0, 5.0};
  m.yp = {0.0, -1e9, 1.0};
  m.wt = {2.0, 1e-3, 1.0};
  const double h = 1e-3, cj = 1000.0;
  std::vector<double> seen_y, seen_yp;
  ResidualFn res = [&](double, double* y, double* yp, double* d, int&, double*, int*) {
    if (seen_y.empty()) {
      seen_y.assign(y, y + 3);
      seen_yp.assign(yp, yp + 3);
    }
    for (int i = 0; i < 3; ++i) d[i] = y[i] - yp[i];
  };
  int singular = 0;
  m.form(res, JacobianFn(), 0.0, cj, h, singular);
  const double root_u = std::sqrt(kEps);
  // y = 0, y' = 0: the weight sets the size, and the sign is positive.
  EXPECT_EQ(seen_y[0], root_u * 2.0);
  // h y' = -1e6 dominates and is negative; the increment is rounded to what
  // 1 + inc actually represents.
  EXPECT_EQ(seen_y[1] - 1.0, (1.0 + -root_u * 1e6) - 1.0);
  EXPECT_LT(seen_y[1], 1.0);
  EXPECT_EQ(seen_y[2], 5.0 + root_u * 5.0);
  EXPECT_EQ(seen_yp[0], cj * (root_u * 2.0));
  EXPECT_EQ(seen_yp[1], -1e9 + cj * ((1.0 + -root_u * 1e6) - 1.0));
}

TEST(IterationMatrix, ZeroJacobianIsSingularAndRefusalReturnsAtOnce) {
  MatrixSetup m(3, 1, 1, kBandDiff);
  int calls = 0;
  int refuse_from = 1000;
  ResidualFn res = [&](double, double*, double*, double* d, int& ires, double*, int*) {
    ++calls;
    for (int i = 0; i < 3; ++i) d[i] = 1.0;
    if (calls >= refuse_from) ires = -1;
  };
  std::fill(m.r.begin(), m.r.end(), 1.0);
  int singular = 0;
  EXPECT_EQ(m.form(res, JacobianFn(), 0.0, 10.0, 0.1, singular), 0);
  EXPECT_NE(singular, 0);

  calls = 0;
  refuse_from = 2;
  EXPECT_EQ(m.form(res, JacobianFn(), 0.0, 10.0, 0.1, singular), -1);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(singular, 0);
}

TEST(IterationMatrix, BandedFromTheCallersJacobian) {
  const int neq = 5, ml = 1, mu = 2;
  const LinearBand sys{neq, ml, mu};
  MatrixSetup m(neq, ml, mu, kBandJac);
  const int lda = 2 * ml + mu + 1;
  std::fill(m.store.begin(), m.store.end(), 99.0);  // must be cleared before JAC
  double seen_cj = 0.0;
  ResidualFn res = [](double, double*, double*, double*, int&, double*, int*) {
    ADD_FAILURE() << "no residual call expected";
  };
  JacobianFn jac = [&](double, double*, double*, double* pd, double cj, double*, int*) {
    seen_cj = cj;
    for (int j = 0; j < neq; ++j)
      for (int i = std::max(0, j - mu); i <= std::min(neq - 1, j + ml); ++i)
        pd[(i - j + ml + mu) + j * lda] = sys.a(i, j) + cj * sys.b(i, j);
  };
  int singular = 0;
  m.form(res, jac, 0.0, 25.0, 0.04, singular);
  EXPECT_EQ(seen_cj, 25.0);
  EXPECT_EQ(singular, 0);
  std::vector<double> x = {1, -2, 3, 0.5, 4}, b(neq, 0.0);
  for (int i = 0; i < neq; ++i)
    for (int j = 0; j < neq; ++j) b[i] += (sys.a(i, j) + 25.0 * sys.b(i, j)) * x[j];
  m.solve(b);
  for (int i = 0; i < neq; ++i) EXPECT_NEAR(b[i], x[i], 1e-12) << i;
}

// Dense iteration matrices reach the dense stubs, which report and stop.
TEST(IterationMatrix, DenseKindStopsInTheDenseFactor) {
  Dassl d(2);
  d.info[5] = 0;  // dense
  d.res = [](double, double* y, double* yp, double* delta, int&, double*, int*) {
    delta[0] = -y[0] - yp[0];
    delta[1] = -y[1] - yp[1];
  };
  d.y = {1.0, 1.0};
  d.yprime = {-1.0, -1.0};
  EXPECT_THROW(d.call(), Stop);
  EXPECT_NE(d.console().find("Call made to DGEFA: The actual routine must be added"),
            std::string::npos);
}

}  // namespace
}  // namespace qz5::testing
