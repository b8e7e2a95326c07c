// The vector kernels against plain loops written here, including negative
// strides (walked from the far end of the array) and every remainder of the
// unrolled unit-stride paths.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "linalg/band.h"

namespace qz5 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSentinel = -777.0;

// 0-based array offset of the k-th element (k = 0..n-1) visited by a walk of n
// elements with stride inc: a negative stride walks the same positions as
// |inc|, from the last one back to the first.
std::size_t visited(int n, int inc, int k) {
  const int step = std::abs(inc);
  return static_cast<std::size_t>(inc >= 0 ? k * step : (n - 1 - k) * step);
}

std::size_t span_of(int n, int inc) { return n <= 0 ? 1 : static_cast<std::size_t>((n - 1) * std::abs(inc) + 1); }

std::vector<double> random_vector(std::size_t len, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  std::vector<double> v(len);
  for (double& x : v) x = u(rng);
  return v;
}

// Small integers: products and sums are exact in any order.
std::vector<double> integer_vector(std::size_t len, std::mt19937& rng) {
  std::uniform_int_distribution<int> u(-9, 9);
  std::vector<double> v(len);
  for (double& x : v) x = u(rng);
  return v;
}

struct Strides {
  int incx, incy;
};
const Strides kStrideCases[] = {{1, 1}, {2, 1}, {1, 3}, {-1, 1}, {1, -1}, {-1, -1}, {-2, 3}, {3, -2}};

std::string trace(int n, const Strides& s) {
  return "N=" + std::to_string(n) + " INCX=" + std::to_string(s.incx) + " INCY=" + std::to_string(s.incy);
}

TEST(VecAddScaled, MatchesPlainLoopForEveryRemainderAndStride) {
  std::mt19937 rng(1);
  const double a = 0.37;
  for (const Strides& s : kStrideCases) {
    for (int n = 0; n <= 13; ++n) {
      SCOPED_TRACE(trace(n, s));
      const std::vector<double> x = random_vector(span_of(n, s.incx), rng);
      std::vector<double> y = random_vector(span_of(n, s.incy) + 1, rng);
      y.back() = kSentinel;  // beyond the walk: must stay
      std::vector<double> expect = y;
      for (int k = 0; k < n; ++k) {
        double& yk = expect[visited(n, s.incy, k)];
        yk = yk + a * x[visited(n, s.incx, k)];
      }
      VEC_ADD_SCALED(n, a, x.data(), s.incx, y.data(), s.incy);
      EXPECT_EQ(y, expect);  // each element gets one product and one sum: exact
    }
  }
}

TEST(VecAddScaled, ZeroFactorOrEmptyLeavesYBitForBit) {
  const std::vector<double> x{1.0, kNaN, kInf, 2.0, 3.0};
  const std::vector<double> y0{kNaN, -kInf, kInf, -0.0, 5.0};
  struct Case {
    const char* name;
    int n;
    double a;
  };
  for (const Case& c : {Case{"A=0", 5, 0.0}, Case{"A=-0", 5, -0.0}, Case{"N=0", 0, 2.0},
                        Case{"N<0", -3, 2.0}}) {
    SCOPED_TRACE(c.name);
    for (int inc : {1, 2 - 3}) {
      std::vector<double> y = y0;
      VEC_ADD_SCALED(c.n, c.a, x.data(), inc, y.data(), inc);
      EXPECT_EQ(std::memcmp(y.data(), y0.data(), y.size() * sizeof(double)), 0);
    }
  }
}

TEST(VecMaxAbsIndex, TiesEmptyAndStrides) {
  struct Case {
    const char* name;
    std::vector<double> x;
    int n, inc, expect;
  };
  const std::vector<Case> cases = {
      {"N=0", {4.0}, 0, 1, 0},
      {"N<0", {4.0}, -2, 1, 0},
      {"N=1 even for NaN", {kNaN, 9.0}, 1, 1, 1},
      {"largest magnitude is negative", {1.0, -5.0, 4.0}, 3, 1, 2},
      {"tie goes to the first", {3.0, -3.0}, 2, 1, 1},
      {"tie after a smaller one", {1.0, -5.0, 5.0, 5.0}, 4, 1, 2},
      {"last is largest", {1.0, 2.0, -3.0}, 3, 1, 3},
      {"stride 2 skips the big odd elements", {1.0, 99.0, 2.0, 99.0, -3.0}, 3, 2, 3},
      // walk 2, 1, 5: position 3 counted in walk order
      {"negative stride counts in walk order", {5.0, 1.0, 2.0}, 3, -1, 3},
      // walk 9, 2, 9, 1: the tie goes to the first visited
      {"negative stride tie", {1.0, 9.0, 2.0, 9.0}, 4, -1, 1},
      // starts at element (1-3)*(-2)+1 = 5: walk 3, 1, 7
      {"stride -2 from element 5", {7.0, 50.0, 1.0, 50.0, 3.0}, 3, -2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VEC_MAX_ABS_INDEX(c.n, c.x.data(), c.inc), c.expect);
  }
}

TEST(VecScale, MatchesPlainLoopAndTouchesOnlyTheWalk) {
  std::mt19937 rng(2);
  const double a = -1.3;
  for (int inc : {1, 2, -1, -3}) {
    for (int n = -1; n <= 12; ++n) {
      SCOPED_TRACE("N=" + std::to_string(n) + " INCX=" + std::to_string(inc));
      std::vector<double> x = random_vector(span_of(n, inc) + 1, rng);
      x.back() = kSentinel;
      std::vector<double> expect = x;
      for (int k = 0; k < n; ++k) expect[visited(n, inc, k)] *= a;
      VEC_SCALE(n, a, x.data(), inc);
      EXPECT_EQ(x, expect);
    }
  }
}

TEST(VecDot, MatchesPlainLoopForEveryRemainderAndStride) {
  std::mt19937 rng(3);
  for (const Strides& s : kStrideCases) {
    for (int n = -1; n <= 13; ++n) {
      SCOPED_TRACE(trace(n, s));
      // Exact data: the result must equal the plain sum whatever the order.
      const std::vector<double> xi = integer_vector(span_of(n, s.incx), rng);
      const std::vector<double> yi = integer_vector(span_of(n, s.incy), rng);
      double expect = 0.0;
      for (int k = 0; k < n; ++k) expect += xi[visited(n, s.incx, k)] * yi[visited(n, s.incy, k)];
      EXPECT_EQ(VEC_DOT(n, xi.data(), s.incx, yi.data(), s.incy), expect);

      // General data: the same products, summed in some order; the
      // difference is bounded by n roundings of the largest partial sum.
      const std::vector<double> xr = random_vector(span_of(n, s.incx), rng);
      const std::vector<double> yr = random_vector(span_of(n, s.incy), rng);
      double plain = 0.0, bound = 0.0;
      for (int k = 0; k < n; ++k) {
        const double p = xr[visited(n, s.incx, k)] * yr[visited(n, s.incy, k)];
        plain += p;
        bound += std::fabs(p);
      }
      EXPECT_NEAR(VEC_DOT(n, xr.data(), s.incx, yr.data(), s.incy), plain,
                  (n + 1) * bound * std::numeric_limits<double>::epsilon());
    }
  }
}

TEST(VecDot, NegativeStrideReversesThePairing) {
  const std::vector<double> x{1.0, 2.0, 3.0};
  const std::vector<double> y{10.0, 100.0, 1000.0};
  EXPECT_EQ(VEC_DOT(3, x.data(), 1, y.data(), 1), 3210.0);
  EXPECT_EQ(VEC_DOT(3, x.data(), -1, y.data(), 1), 1230.0);
  EXPECT_EQ(VEC_DOT(3, x.data(), 1, y.data(), -1), 1230.0);
  EXPECT_EQ(VEC_DOT(3, x.data(), -1, y.data(), -1), 3210.0);
  EXPECT_EQ(VEC_DOT(0, x.data(), 1, y.data(), 1), 0.0);
}

}  // namespace
}  // namespace qz5
