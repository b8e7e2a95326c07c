// BAND_FACTOR / BAND_SOLVE against a plain dense Gaussian elimination with
// partial pivoting written here on the full matrix, and against small
// factorisations worked out by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "linalg/band.h"

namespace qz5 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Dense N x N matrix, 0-based, row-major: independent of the band layout.
struct Dense {
  int n;
  std::vector<double> a;
  explicit Dense(int n_) : n(n_), a(static_cast<std::size_t>(n_) * n_, 0.0) {}
  double& operator()(int i, int j) { return a[static_cast<std::size_t>(i * n + j)]; }
  double operator()(int i, int j) const { return a[static_cast<std::size_t>(i * n + j)]; }
  Dense transposed() const {
    Dense t(n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) t(j, i) = (*this)(i, j);
    return t;
  }
  std::vector<double> times(const std::vector<double>& x) const {
    std::vector<double> b(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) b[i] += (*this)(i, j) * x[j];
    return b;
  }
};

// Textbook Gaussian elimination with partial pivoting on the whole matrix.
// The pivot is the first row of largest magnitude; an exactly zero pivot is
// recorded (last one wins) and its column skipped.
struct DenseLu {
  Dense lu;
  std::vector<int> pivot;  // 1-based row swapped with row k at step k
  int info = 0;
};

DenseLu dense_factor(Dense a) {
  const int n = a.n;
  DenseLu r{a, std::vector<int>(static_cast<std::size_t>(n)), 0};
  Dense& m = r.lu;
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(m(i, k)) > std::fabs(m(p, k))) p = i;
    r.pivot[k] = p + 1;
    if (m(p, k) == 0.0) {
      r.info = k + 1;
      continue;
    }
    for (int j = 0; j < n; ++j) std::swap(m(k, j), m(p, j));
    for (int i = k + 1; i < n; ++i) {
      const double f = m(i, k) / m(k, k);
      m(i, k) = f;
      for (int j = k + 1; j < n; ++j) m(i, j) -= f * m(k, j);
    }
  }
  return r;
}

std::vector<double> dense_solve(const DenseLu& f, std::vector<double> b) {
  const int n = f.lu.n;
  // The factorisation swapped whole rows, multipliers included, so the
  // stored L belongs to the fully permuted matrix: permute b first.
  for (int k = 0; k < n; ++k) std::swap(b[k], b[f.pivot[k] - 1]);
  for (int k = 0; k < n; ++k)
    for (int i = k + 1; i < n; ++i) b[i] -= f.lu(i, k) * b[k];
  for (int k = n - 1; k >= 0; --k) {
    for (int j = k + 1; j < n; ++j) b[k] -= f.lu(k, j) * b[j];
    b[k] /= f.lu(k, k);
  }
  return b;
}

// Band storage of a dense band matrix. Every position that holds no matrix
// element is set to NaN: the factorisation must clear the fill-in rows itself
// and must never read the unused corners, or NaN spreads into the result.
struct Band {
  int n, ml, mu, lda;
  std::vector<double> abd;
  std::vector<int> ipvt;
  Band(const Dense& a, int ml_, int mu_, int extra_rows = 0)
      : n(a.n), ml(ml_), mu(mu_), lda(2 * ml_ + mu_ + 1 + extra_rows),
        abd(static_cast<std::size_t>(lda) * a.n, kNaN), ipvt(static_cast<std::size_t>(a.n), -7) {
    const int m = ml + mu + 1;
    for (int j = 1; j <= n; ++j)
      for (int i = std::max(1, j - mu); i <= std::min(n, j + ml); ++i) at(i - j + m, j) = a(i - 1, j - 1);
  }
  double& at(int r, int c) { return abd[static_cast<std::size_t>((c - 1) * lda + (r - 1))]; }
  int factor() {
    int info = -99;
    BAND_FACTOR(abd.data(), lda, n, ml, mu, ipvt.data(), info);
    return info;
  }
  std::vector<double> solve(std::vector<double> b, int job) const {
    BAND_SOLVE(abd.data(), lda, n, ml, mu, ipvt.data(), b.data(), job);
    return b;
  }
};

// Random band matrix: entries uniform in [-1, 1], the diagonal pushed away
// from zero (magnitude 1..2, random sign) so the systems stay well
// conditioned, but not dominant, so that row interchanges still happen.
Dense random_band(int n, int ml, int mu, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense a(n);
  for (int i = 0; i < n; ++i)
    for (int j = std::max(0, i - ml); j <= std::min(n - 1, i + mu); ++j) a(i, j) = u(rng);
  for (int i = 0; i < n; ++i) a(i, i) = (a(i, i) < 0 ? -1.0 : 1.0) + a(i, i);
  return a;
}

double max_rel_diff(const std::vector<double>& x, const std::vector<double>& ref) {
  double num = 0.0, den = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    num = std::max(num, std::fabs(x[i] - ref[i]));
    den = std::max(den, std::fabs(ref[i]));
  }
  return num / den;
}

struct Shape {
  int n, ml, mu, extra_rows;
};

std::vector<Shape> random_shapes() {
  std::vector<Shape> shapes;
  for (int n : {1, 2, 3, 4, 5, 7, 11, 16, 30, 60})
    for (int ml = 0; ml <= 5; ++ml)
      for (int mu = 0; mu <= 5; ++mu) shapes.push_back({n, ml, mu, (n + ml + mu) % 3});
  shapes.push_back({70, 14, 14, 0});  // the integrator's bandwidth
  shapes.push_back({70, 14, 14, 2});
  return shapes;
}

TEST(BandSolve, RandomMatricesMatchDenseEliminationForBothJobs) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  long interchanges = 0;
  double worst = 0.0;
  for (const Shape& s : random_shapes()) {
    SCOPED_TRACE("N=" + std::to_string(s.n) + " ML=" + std::to_string(s.ml) +
                 " MU=" + std::to_string(s.mu) + " extra LDA rows=" + std::to_string(s.extra_rows));
    const Dense a = random_band(s.n, s.ml, s.mu, rng);
    std::vector<double> x(static_cast<std::size_t>(s.n));
    for (double& v : x) v = u(rng);

    Band band(a, s.ml, s.mu, s.extra_rows);
    ASSERT_EQ(band.factor(), 0);
    const DenseLu ref = dense_factor(a);
    ASSERT_EQ(ref.info, 0);
    for (int k = 0; k < s.n; ++k) {
      EXPECT_EQ(band.ipvt[k], ref.pivot[k]) << "pivot of step " << k + 1;
      interchanges += band.ipvt[k] != k + 1;
    }

    const std::vector<double> x0 = band.solve(a.times(x), 0);
    const std::vector<double> x1 = band.solve(a.transposed().times(x), 1);
    // Both are backward stable eliminations of a well-conditioned system:
    // the error is a modest multiple of the unit roundoff.
    EXPECT_LT(max_rel_diff(x0, x), 1e-12);
    EXPECT_LT(max_rel_diff(x1, x), 1e-12);
    EXPECT_LT(max_rel_diff(x0, dense_solve(ref, a.times(x))), 1e-12);
    EXPECT_LT(max_rel_diff(x1, dense_solve(dense_factor(a.transposed()), a.transposed().times(x))),
              1e-12);
    worst = std::max({worst, max_rel_diff(x0, x), max_rel_diff(x1, x)});
  }
  // The matrices must actually exercise row interchanges.
  EXPECT_GT(interchanges, 100);
  std::ostringstream figures;
  figures << "worst relative error " << worst << ", interchanges " << interchanges;
  RecordProperty("figures", figures.str());
}

// A = [[1 2] [4 3]], ML = MU = 1, m = 3. Column 1 pivots on row 2:
// U = [[4 3] [0 2 - 3/4]], multiplier -1/4 stored, IPVT = (2, 2).
TEST(BandFactor, TwoByTwoWithInterchangeWorkedByHand) {
  Dense a(2);
  a(0, 0) = 1, a(0, 1) = 2, a(1, 0) = 4, a(1, 1) = 3;
  Band band(a, 1, 1);
  ASSERT_EQ(band.factor(), 0);
  EXPECT_EQ(band.ipvt, (std::vector<int>{2, 2}));
  EXPECT_EQ(band.at(3, 1), 4.0);    // U(1,1)
  EXPECT_EQ(band.at(4, 1), -0.25);  // multiplier
  EXPECT_EQ(band.at(1, 2), 0.0);    // fill-in row, cleared (was NaN)
  EXPECT_EQ(band.at(2, 2), 3.0);    // U(1,2), moved up by the interchange
  EXPECT_EQ(band.at(3, 2), 1.25);   // U(2,2) = 2 - 0.25 * 3
  // A (1, 1) = (3, 7); transpose(A) (1, 1) = (5, 5). All steps are exact.
  EXPECT_EQ(band.solve({3.0, 7.0}, 0), (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(band.solve({5.0, 5.0}, 1), (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(band.solve({5.0, 5.0}, -3), (std::vector<double>{1.0, 1.0}));  // any JOB != 0
}

// Column 1 = (1, -1): equal magnitudes, the upper row stays the pivot.
TEST(BandFactor, PivotTieChoosesUppermostRow) {
  Dense a(2);
  a(0, 0) = 1, a(0, 1) = 1, a(1, 0) = -1, a(1, 1) = 3;
  Band band(a, 1, 1);
  ASSERT_EQ(band.factor(), 0);
  EXPECT_EQ(band.ipvt, (std::vector<int>{1, 2}));
  EXPECT_EQ(band.at(4, 1), 1.0);  // multiplier -(-1)/1
  EXPECT_EQ(band.at(3, 2), 4.0);  // 3 + 1 * 1
  EXPECT_EQ(band.solve({3.0, 5.0}, 0), (std::vector<double>{1.0, 2.0}));

  // Three candidates, the last two tied at the largest magnitude: row 2.
  Dense b(3);
  b(0, 0) = 1, b(1, 0) = -3, b(2, 0) = 3, b(0, 1) = 1, b(1, 1) = 1, b(2, 2) = 1, b(1, 2) = 1;
  Band tied(b, 2, 1);
  tied.factor();
  EXPECT_EQ(tied.ipvt[0], 2);
}

TEST(BandFactor, SingleElement) {
  struct Case {
    double value;
    int ml, mu;
    int info;
  };
  for (const Case& c : {Case{5.0, 0, 0, 0}, Case{0.0, 0, 0, 1}, Case{-4.0, 2, 1, 0},
                        Case{0.0, 2, 1, 1}}) {
    SCOPED_TRACE("value=" + std::to_string(c.value) + " ML=" + std::to_string(c.ml));
    Dense a(1);
    a(0, 0) = c.value;
    Band band(a, c.ml, c.mu);
    EXPECT_EQ(band.factor(), c.info);
    EXPECT_EQ(band.ipvt[0], 1);
    if (c.info == 0) {
      EXPECT_EQ(band.solve({10.0}, 0)[0], 10.0 / c.value);
      EXPECT_EQ(band.solve({10.0}, 1)[0], 10.0 / c.value);
    }
  }
}

TEST(BandFactor, DiagonalMatrixOnlyChecksAndDivides) {
  const std::vector<double> d{2.0, -4.0, 0.5, 8.0, 1.0};
  Dense a(5);
  for (int i = 0; i < 5; ++i) a(i, i) = d[i];
  Band band(a, 0, 0);
  ASSERT_EQ(band.factor(), 0);
  EXPECT_EQ(band.ipvt, (std::vector<int>{1, 2, 3, 4, 5}));
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(band.at(1, i), d[i - 1]);  // untouched
  const std::vector<double> b{1.0, 1.0, 1.0, 1.0, 1.0};
  const std::vector<double> expect{0.5, -0.25, 2.0, 0.125, 1.0};
  EXPECT_EQ(band.solve(b, 0), expect);
  EXPECT_EQ(band.solve(b, 1), expect);

  a(2, 2) = 0.0;
  Band singular(a, 0, 0);
  EXPECT_EQ(singular.factor(), 3);
}

// Tridiagonal (ML = MU = 1, m = 3) with a zero second column:
//   [2 0 0 0]
//   [1 0 1 0]
//   [0 0 3 1]
//   [0 0 1 4]
// Step 2 finds no nonzero pivot (INFO = 2) and is skipped; step 3 still
// eliminates: U(4,4) = 4 - (1/3)*1 = 11/3.
TEST(BandFactor, ZeroColumnIsReportedAndLaterColumnsStillEliminated) {
  Dense a(4);
  a(0, 0) = 2, a(1, 0) = 1, a(1, 2) = 1, a(2, 2) = 3, a(2, 3) = 1, a(3, 2) = 1, a(3, 3) = 4;
  Band band(a, 1, 1);
  EXPECT_EQ(band.factor(), 2);
  EXPECT_EQ(band.ipvt, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(band.at(4, 1), -0.5);
  EXPECT_EQ(band.at(4, 3), -1.0 / 3.0);
  EXPECT_DOUBLE_EQ(band.at(3, 4), 11.0 / 3.0);

  // Make step 3 a tie (rows 3 and 4 of column 3 equal) that cancels U(4,4):
  // a second zero pivot, at N, so INFO ends as 4.
  a(2, 2) = 1, a(3, 2) = 1, a(2, 3) = 1, a(3, 3) = 1;
  Band twice(a, 1, 1);
  EXPECT_EQ(twice.factor(), 4);
  EXPECT_EQ(twice.ipvt[2], 3);
  EXPECT_EQ(twice.at(3, 4), 0.0);
}

TEST(BandFactor, TwoZeroColumnsBeforeTheLastGiveTheLaterIndex) {
  // N = 6, ML = 2, MU = 1, columns 2 and 4 zero; the rest random.
  std::mt19937 rng(7);
  Dense a = random_band(6, 2, 1, rng);
  for (int i = 0; i < 6; ++i) a(i, 1) = a(i, 3) = 0.0;
  Band band(a, 2, 1);
  const DenseLu ref = dense_factor(a);
  ASSERT_EQ(ref.info, 4);
  EXPECT_EQ(band.factor(), 4);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(band.ipvt[k], ref.pivot[k]) << "step " << k + 1;
  // Columns 5 and 6 are eliminated as in the dense reference: compare U.
  const int m = 4;
  for (int j = 5; j <= 6; ++j)
    for (int i = std::max(1, j - 3); i <= j; ++i)
      EXPECT_NEAR(band.at(i - j + m, j), ref.lu(i - 1, j - 1), 1e-14) << "U(" << i << "," << j << ")";
}

}  // namespace
}  // namespace qz5
