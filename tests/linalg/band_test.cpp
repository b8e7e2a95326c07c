// BAND_FACTOR / BAND_SOLVE against a plain dense Gaussian elimination with
// partial pivoting written here on the full matrix, and against small
// factorisations worked out by hand.

#include "linalg/band.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qz5 {
namespace {

using Vec = std::vector<double>;

// Dense N x N matrix, 0-based, row-major: independent of the band layout.
struct Dense {
  int n;
  Vec a;
  explicit Dense(int n_) : n(n_), a(static_cast<std::size_t>(n_) * n_, 0.0) {}
  double& operator()(int i, int j) { return a[static_cast<std::size_t>(i * n + j)]; }
  double operator()(int i, int j) const { return a[static_cast<std::size_t>(i * n + j)]; }
  Dense transposed() const {
    Dense t(n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) t(j, i) = (*this)(i, j);
    return t;
  }
  Vec times(const Vec& x) const {
    Vec b(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) b[i] += (*this)(i, j) * x[j];
    return b;
  }
};

// Textbook elimination on the whole matrix. The pivot is the first row of
// largest magnitude; an exactly zero pivot is recorded (last one wins) and
// its column skipped.
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

// Band storage of a dense band matrix. Every position that holds no element
// is NaN: the factorisation must clear the fill-in rows itself and never read
// the unused corners, or NaN spreads into the result.
struct Band {
  int n, ml, mu, lda;
  Vec abd;
  std::vector<int> ipvt;
  Band(const Dense& a, int ml_, int mu_, int extra_rows = 0)
      : n(a.n),
        ml(ml_),
        mu(mu_),
        lda(2 * ml_ + mu_ + 1 + extra_rows),
        abd(static_cast<std::size_t>(lda) * a.n, std::numeric_limits<double>::quiet_NaN()),
        ipvt(static_cast<std::size_t>(a.n), -7) {
    for (int j = 1; j <= n; ++j)
      for (int i = std::max(1, j - mu); i <= std::min(n, j + ml); ++i)
        at(i - j + ml + mu + 1, j) = a(i - 1, j - 1);
  }
  double& at(int r, int c) { return abd[static_cast<std::size_t>((c - 1) * lda + (r - 1))]; }
  int factor() {
    int info = -99;
    BAND_FACTOR(abd.data(), lda, n, ml, mu, ipvt.data(), info);
    return info;
  }
  Vec solve(Vec b, int job) const {
    BAND_SOLVE(abd.data(), lda, n, ml, mu, ipvt.data(), b.data(), job);
    return b;
  }
};

// Entries uniform in [-1, 1], the diagonal pushed away from zero (magnitude
// 1..2) so the systems stay well conditioned, but not dominant, so that row
// interchanges still happen.
Dense random_band(int n, int ml, int mu, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense a(n);
  for (int i = 0; i < n; ++i)
    for (int j = std::max(0, i - ml); j <= std::min(n - 1, i + mu); ++j) a(i, j) = u(rng);
  for (int i = 0; i < n; ++i) a(i, i) = (a(i, i) < 0 ? -1.0 : 1.0) + a(i, i);
  return a;
}

double max_rel_diff(const Vec& x, const Vec& ref) {
  double num = 0.0, den = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    num = std::max(num, std::fabs(x[i] - ref[i]));
    den = std::max(den, std::fabs(ref[i]));
  }
  return num / den;
}

TEST(BandSolve, RandomMatricesMatchDenseEliminationForBothJobs) {
  struct Shape {
    int n, ml, mu, extra_rows;
  };
  std::vector<Shape> shapes;
  for (int n : {1, 2, 3, 4, 5, 7, 11, 16, 30, 60})
    for (int ml = 0; ml <= 5; ++ml)
      for (int mu = 0; mu <= 5; ++mu) shapes.push_back({n, ml, mu, (n + ml + mu) % 3});
  shapes.push_back({70, 14, 14, 0});  // the integrator's bandwidth
  shapes.push_back({70, 14, 14, 2});
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  long interchanges = 0;
  for (const Shape& s : shapes) {
    SCOPED_TRACE("N=" + std::to_string(s.n) + " ML=" + std::to_string(s.ml) +
                 " MU=" + std::to_string(s.mu) + " extra LDA rows=" + std::to_string(s.extra_rows));
    const Dense a = random_band(s.n, s.ml, s.mu, rng);
    Vec x(static_cast<std::size_t>(s.n));
    for (double& v : x) v = u(rng);
    Band band(a, s.ml, s.mu, s.extra_rows);
    ASSERT_EQ(band.factor(), 0);
    const DenseLu ref = dense_factor(a);
    ASSERT_EQ(ref.info, 0);
    EXPECT_EQ(band.ipvt, ref.pivot);
    for (int k = 0; k < s.n; ++k) interchanges += band.ipvt[k] != k + 1;
    // Both are backward stable eliminations of a well-conditioned system:
    // the error is a modest multiple of the unit roundoff.
    const Vec x0 = band.solve(a.times(x), 0);
    const Vec x1 = band.solve(a.transposed().times(x), 1);
    EXPECT_LT(max_rel_diff(x0, x), 1e-12);
    EXPECT_LT(max_rel_diff(x1, x), 1e-12);
  }
  EXPECT_GT(interchanges, 100);  // the matrices really exercise row interchanges
}

// A = [[1 2] [4 3]], ML = MU = 1. Column 1 pivots on row 2:
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
  // A (1, 1) = (3, 7); transpose(A) (1, 1) = (5, 5); any JOB != 0 transposes.
  EXPECT_EQ(band.solve({3.0, 7.0}, 0), (Vec{1.0, 1.0}));
  EXPECT_EQ(band.solve({5.0, 5.0}, 1), (Vec{1.0, 1.0}));
  EXPECT_EQ(band.solve({5.0, 5.0}, -3), (Vec{1.0, 1.0}));
}

TEST(BandFactor, PivotTiesChooseTheUppermostRow) {
  // Column 1 = (1, -1): the upper row stays the pivot.
  Dense a(2);
  a(0, 0) = 1, a(0, 1) = 1, a(1, 0) = -1, a(1, 1) = 3;
  Band band(a, 1, 1);
  ASSERT_EQ(band.factor(), 0);
  EXPECT_EQ(band.ipvt, (std::vector<int>{1, 2}));
  EXPECT_EQ(band.at(4, 1), 1.0);  // multiplier -(-1)/1
  EXPECT_EQ(band.at(3, 2), 4.0);  // 3 + 1 * 1
  EXPECT_EQ(band.solve({3.0, 5.0}, 0), (Vec{1.0, 2.0}));
  // Three candidates, the last two tied at the largest magnitude: row 2.
  Dense b(3);
  b(0, 0) = 1, b(1, 0) = -3, b(2, 0) = 3, b(0, 1) = 1, b(1, 1) = 1, b(2, 2) = 1, b(1, 2) = 1;
  Band tied(b, 2, 1);
  tied.factor();
  EXPECT_EQ(tied.ipvt[0], 2);
}

TEST(BandFactor, SingleElementAndDiagonalOnlyDivide) {
  struct Case {
    Vec d;
    int ml, mu, info;
  };
  const Case cases[] = {{{5.0}, 0, 0, 0},
                        {{0.0}, 0, 0, 1},
                        {{-4.0}, 2, 1, 0},
                        {{0.0}, 2, 1, 1},
                        {{2.0, -4.0, 0.5, 8.0, 1.0}, 0, 0, 0},
                        {{2.0, -4.0, 0.0, 8.0, 1.0}, 0, 0, 3}};
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.d.size());
    SCOPED_TRACE("N=" + std::to_string(n) + " ML=" + std::to_string(c.ml) +
                 " INFO=" + std::to_string(c.info));
    Dense a(n);
    for (int i = 0; i < n; ++i) a(i, i) = c.d[i];
    Band band(a, c.ml, c.mu);
    EXPECT_EQ(band.factor(), c.info);
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(band.ipvt[i - 1], i);
      EXPECT_EQ(band.at(c.ml + c.mu + 1, i), c.d[i - 1]);  // untouched
    }
    if (c.info != 0) continue;
    Vec expect(c.d.size());
    for (int i = 0; i < n; ++i) expect[i] = 10.0 / c.d[i];
    EXPECT_EQ(band.solve(Vec(c.d.size(), 10.0), 0), expect);
    EXPECT_EQ(band.solve(Vec(c.d.size(), 10.0), 1), expect);
  }
}

// Tridiagonal with a zero second column:
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
  // Make step 3 a tie that cancels U(4,4): a second zero pivot, at N, so
  // INFO ends as 4.
  a(2, 2) = 1, a(3, 2) = 1, a(2, 3) = 1, a(3, 3) = 1;
  Band twice(a, 1, 1);
  EXPECT_EQ(twice.factor(), 4);
  EXPECT_EQ(twice.ipvt[2], 3);
  EXPECT_EQ(twice.at(3, 4), 0.0);

  // N = 6, ML = 2, MU = 1, columns 2 and 4 zero: INFO is the later one and
  // columns 5 and 6 are eliminated as in the dense reference.
  std::mt19937 rng(7);
  Dense r = random_band(6, 2, 1, rng);
  for (int i = 0; i < 6; ++i) r(i, 1) = r(i, 3) = 0.0;
  Band two(r, 2, 1);
  const DenseLu ref = dense_factor(r);
  ASSERT_EQ(ref.info, 4);
  EXPECT_EQ(two.factor(), 4);
  EXPECT_EQ(two.ipvt, ref.pivot);
  for (int j = 5; j <= 6; ++j)
    for (int i = j - 3; i <= j; ++i)
      EXPECT_NEAR(two.at(i - j + 4, j), ref.lu(i - 1, j - 1), 1e-14)
          << "U(" << i << "," << j << ")";
}

}  // namespace
}  // namespace qz5

namespace qz5 {
namespace {

// Column-oriented elimination on band storage written with matrix indices,
// one element at a time: every element is updated as a(i,j) + t*a(i,k) in
// the order of the classic band LU, so a factorisation that keeps that
// order (whatever it vectorises or keeps in registers) must agree bit for
// bit on every storage position that holds a matrix element (the corners
// start as NaN: reading one would spread into the elements).
struct ScalarBandLu {
  Vec abd;
  std::vector<int> ipvt;
  int info = 0;
};

ScalarBandLu scalar_band_factor(const Band& b) {
  ScalarBandLu r{b.abd, std::vector<int>(static_cast<std::size_t>(b.n)), 0};
  const int m = b.ml + b.mu + 1;
  auto A = [&](int i, int j) -> double& {
    return r.abd[static_cast<std::size_t>((j - 1) * b.lda + (i - j + m - 1))];
  };
  // The fill-in rows of every column that can receive fill start at zero.
  for (int j = 1; j <= b.n; ++j)
    for (int s = std::max(1, m + 1 - j); s <= b.ml; ++s)
      r.abd[static_cast<std::size_t>((j - 1) * b.lda + (s - 1))] = 0.0;
  int ju = 0;
  for (int k = 1; k <= b.n - 1; ++k) {
    const int lm = std::min(b.ml, b.n - k);
    int p = k;
    for (int i = k + 1; i <= k + lm; ++i)
      if (std::fabs(A(i, k)) > std::fabs(A(p, k))) p = i;
    r.ipvt[static_cast<std::size_t>(k - 1)] = p;
    if (A(p, k) == 0.0) {
      r.info = k;
      continue;
    }
    std::swap(A(p, k), A(k, k));
    const double t = -1.0 / A(k, k);
    for (int i = k + 1; i <= k + lm; ++i) A(i, k) = t * A(i, k);
    ju = std::min(std::max(ju, b.mu + p), b.n);
    for (int j = k + 1; j <= ju; ++j) {
      const double s = A(p, j);
      if (p != k) std::swap(A(p, j), A(k, j));
      if (s == 0.0) continue;
      for (int i = k + 1; i <= k + lm; ++i) A(i, j) = A(i, j) + s * A(i, k);
    }
  }
  r.ipvt[static_cast<std::size_t>(b.n - 1)] = b.n;
  if (A(b.n, b.n) == 0.0) r.info = b.n;
  return r;
}

// A x = b with those factors, element by element in the classic order:
// L forwards (interchange, then b(i) + t*l(i)), U backwards.
Vec scalar_band_solve(const Band& band, const ScalarBandLu& f, Vec b) {
  const int m = band.ml + band.mu + 1;
  auto A = [&](int i, int j) {
    return f.abd[static_cast<std::size_t>((j - 1) * band.lda + (i - j + m - 1))];
  };
  for (int k = 1; k <= band.n - 1; ++k) {
    const int lm = std::min(band.ml, band.n - k);
    const int l = f.ipvt[static_cast<std::size_t>(k - 1)];
    const double t = b[static_cast<std::size_t>(l - 1)];
    std::swap(b[static_cast<std::size_t>(l - 1)], b[static_cast<std::size_t>(k - 1)]);
    if (t == 0.0) continue;
    for (int i = k + 1; i <= k + lm; ++i)
      b[static_cast<std::size_t>(i - 1)] = b[static_cast<std::size_t>(i - 1)] + t * A(i, k);
  }
  for (int k = band.n; k >= 1; --k) {
    double& bk = b[static_cast<std::size_t>(k - 1)];
    bk = bk / A(k, k);
    const double t = -bk;
    if (t == 0.0) continue;
    for (int i = std::max(1, k - m + 1); i <= k - 1; ++i)
      b[static_cast<std::size_t>(i - 1)] = b[static_cast<std::size_t>(i - 1)] + t * A(i, k);
  }
  return b;
}

TEST(BandFactor, FactorAndSolveAgreeBitForBitWithScalarElimination) {
  // Lower bandwidths on both sides of the register kernels' limit (16), odd
  // and even, and bands with zeros (skipped columns, zero pivots).
  std::mt19937 rng(7151);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int cases = 0, interchanges = 0, singular = 0;
  for (int n : {1, 2, 5, 17, 40})
    for (int ml : {0, 1, 2, 3, 7, 13, 14, 15, 16, 17, 21})
      for (int mu : {0, 3, 14}) {
        for (int zeros : {0, 1}) {
          SCOPED_TRACE("N=" + std::to_string(n) + " ML=" + std::to_string(ml) +
                       " MU=" + std::to_string(mu) + " zeros=" + std::to_string(zeros));
          Dense a = random_band(n, ml, mu, rng);
          if (zeros == 1)
            for (double& v : a.a)
              if (u(rng) > 0.4) v = 0.0;
          Band band(a, ml, mu, (n + ml) % 2);
          const ScalarBandLu ref = scalar_band_factor(band);
          const int info = band.factor();
          EXPECT_EQ(info, ref.info);
          EXPECT_EQ(band.ipvt, ref.ipvt);
          const int m = ml + mu + 1;
          int differ = 0;
          for (int j = 1; j <= n; ++j)
            for (int i = std::max(1, j - ml - mu); i <= std::min(n, j + ml); ++i) {
              const std::size_t at = static_cast<std::size_t>((j - 1) * band.lda + (i - j + m - 1));
              differ += std::memcmp(&band.abd[at], &ref.abd[at], sizeof(double)) != 0;
            }
          EXPECT_EQ(differ, 0);
          if (info == 0) {
            Vec rhs(static_cast<std::size_t>(n));
            for (double& v : rhs) v = u(rng);
            const Vec x = band.solve(rhs, 0), ref_x = scalar_band_solve(band, ref, rhs);
            EXPECT_EQ(std::memcmp(x.data(), ref_x.data(), x.size() * sizeof(double)), 0);
          }
          ++cases;
          singular += info != 0;
          for (int k = 0; k < n; ++k) interchanges += band.ipvt[k] != k + 1;
        }
      }
  // The table must exercise interchanges and zero pivots, or it checks less
  // than it claims.
  EXPECT_GT(interchanges, cases);
  EXPECT_GT(singular, 0);
}

}  // namespace
}  // namespace qz5
