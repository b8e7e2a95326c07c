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

#include "linalg/add_scaled.h"
#include "linalg/band.h"

namespace qz5 {
namespace {

using Vec = std::vector<double>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSentinel = -777.0;

// 0-based offset of the k-th element visited by a walk of n elements with
// stride inc: a negative stride walks the positions of |inc| backwards.
std::size_t visited(int n, int inc, int k) {
  return static_cast<std::size_t>((inc >= 0 ? k : n - 1 - k) * std::abs(inc));
}
std::size_t span_of(int n, int inc) {
  return n <= 0 ? 1 : static_cast<std::size_t>((n - 1) * std::abs(inc) + 1);
}

// Uniform in [-10, 10], or small integers (exact products and sums in any order).
Vec random_vector(std::size_t len, std::mt19937& rng, bool integers = false) {
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  Vec v(len);
  for (double& x : v) x = integers ? std::round(u(rng)) : u(rng);
  return v;
}

struct Strides {
  int incx, incy;
};
const Strides kStrideCases[] = {{1, 1},  {2, 1},   {1, 3},  {-1, 1},
                                {1, -1}, {-1, -1}, {-2, 3}, {3, -2}};

TEST(VecAddScaledAndScale, MatchPlainLoopsForEveryRemainderAndStride) {
  std::mt19937 rng(1);
  for (const Strides& s : kStrideCases) {
    for (int n = -1; n <= 13; ++n) {
      SCOPED_TRACE("N=" + std::to_string(n) + " INCX=" + std::to_string(s.incx) +
                   " INCY=" + std::to_string(s.incy));
      const Vec x = random_vector(span_of(n, s.incx), rng);
      Vec y = random_vector(span_of(n, s.incy) + 1, rng);
      y.back() = kSentinel;  // beyond the walk: must stay
      Vec add = y, scaled = y;
      for (int k = 0; k < n; ++k) {
        double& yk = add[visited(n, s.incy, k)];
        yk = yk + 0.37 * x[visited(n, s.incx, k)];  // one product, one sum: exact match
        scaled[visited(n, s.incy, k)] *= -1.3;
      }
      Vec got = y;
      VEC_ADD_SCALED(n, 0.37, x.data(), s.incx, got.data(), s.incy);
      EXPECT_EQ(got, add);
      got = y;
      VEC_SCALE(n, -1.3, got.data(), s.incy);
      EXPECT_EQ(got, scaled);
    }
  }
}

TEST(VecAddScaled, ZeroFactorOrEmptyLeavesYBitForBit) {
  const Vec x{1.0, kNaN, kInf, 2.0, 3.0};
  const Vec y0{kNaN, -kInf, kInf, -0.0, 5.0};
  struct Case {
    const char* name;
    int n;
    double a;
  };
  for (const Case& c :
       {Case{"A=0", 5, 0.0}, Case{"A=-0", 5, -0.0}, Case{"N=0", 0, 2.0}, Case{"N<0", -3, 2.0}}) {
    for (int inc : {1, -1}) {
      Vec y = y0;
      VEC_ADD_SCALED(c.n, c.a, x.data(), inc, y.data(), inc);
      EXPECT_EQ(std::memcmp(y.data(), y0.data(), y.size() * sizeof(double)), 0)
          << c.name << " INC " << inc;
    }
  }
}

TEST(VecMaxAbsIndex, TiesEmptyAndStrides) {
  struct Case {
    const char* name;
    Vec x;
    int n, inc, expect;
  };
  const Case cases[] = {
      {"N=0", {4.0}, 0, 1, 0},
      {"N<0", {4.0}, -2, 1, 0},
      {"N=1 even for NaN", {kNaN, 9.0}, 1, 1, 1},
      {"largest magnitude is negative", {1.0, -5.0, 4.0}, 3, 1, 2},
      {"tie goes to the first", {3.0, -3.0}, 2, 1, 1},
      {"tie after a smaller one", {1.0, -5.0, 5.0, 5.0}, 4, 1, 2},
      {"last is largest", {1.0, 2.0, -3.0}, 3, 1, 3},
      {"stride 2 skips the big odd elements", {1.0, 99.0, 2.0, 99.0, -3.0}, 3, 2, 3},
      {"negative stride counts in walk order", {5.0, 1.0, 2.0}, 3, -1, 3},  // walk 2, 1, 5
      {"negative stride tie", {1.0, 9.0, 2.0, 9.0}, 4, -1, 1},              // walk 9, 2, 9, 1
      {"stride -2 from element 5", {7.0, 50.0, 1.0, 50.0, 3.0}, 3, -2, 3},  // walk 3, 1, 7
  };
  for (const Case& c : cases)
    EXPECT_EQ(VEC_MAX_ABS_INDEX(c.n, c.x.data(), c.inc), c.expect) << c.name;
}

TEST(VecDot, MatchesPlainSumForEveryRemainderAndStride) {
  std::mt19937 rng(3);
  for (const Strides& s : kStrideCases) {
    for (int n = -1; n <= 13; ++n) {
      SCOPED_TRACE("N=" + std::to_string(n) + " INCX=" + std::to_string(s.incx) +
                   " INCY=" + std::to_string(s.incy));
      // Integer data: exact whatever the order of summation. General data:
      // within n roundings of the sum of magnitudes.
      for (bool integers : {true, false}) {
        const Vec x = random_vector(span_of(n, s.incx), rng, integers);
        const Vec y = random_vector(span_of(n, s.incy), rng, integers);
        double plain = 0.0, bound = 0.0;
        for (int k = 0; k < n; ++k) {
          const double p = x[visited(n, s.incx, k)] * y[visited(n, s.incy, k)];
          plain += p;
          bound += std::fabs(p);
        }
        const double tol =
            integers ? 0.0 : (n + 1) * bound * std::numeric_limits<double>::epsilon();
        EXPECT_NEAR(VEC_DOT(n, x.data(), s.incx, y.data(), s.incy), plain, tol);
      }
    }
  }
  // Opposite strides pair the elements in reverse.
  const Vec x{1.0, 2.0, 3.0}, y{10.0, 100.0, 1000.0};
  EXPECT_EQ(VEC_DOT(3, x.data(), 1, y.data(), 1), 3210.0);
  EXPECT_EQ(VEC_DOT(3, x.data(), -1, y.data(), 1), 1230.0);
  EXPECT_EQ(VEC_DOT(3, x.data(), 1, y.data(), -1), 1230.0);
  EXPECT_EQ(VEC_DOT(3, x.data(), -1, y.data(), -1), 3210.0);
}

}  // namespace
}  // namespace qz5

namespace qz5 {
namespace {

// The two-lane kernel under the factorisation against y + a*x one element at
// a time, bit for bit (signed zeros and non-finite values included), for
// every length up to 17; and VEC_ADD_SCALED on overlapping arrays, which must
// keep the element-after-element order (a later element reads an earlier
// result).
TEST(AddScaled, TwoLanesGiveTheBitsOfTheScalarLoop) {
  std::mt19937 rng(2207);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  const double specials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), 1e-310, -1e308};
  for (int n = 0; n <= 17; ++n) {
    SCOPED_TRACE(n);
    std::vector<double> x(static_cast<std::size_t>(n) + 1), y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      x[i] = i % 5 == 3 ? specials[i % 6] : u(rng);
      y[i] = i % 7 == 2 ? specials[(i + 1) % 6] : u(rng);
    }
    const double a = n % 3 == 0 ? -0.37 : 1e300;
    std::vector<double> want = y, got = y, kernel = y;
    for (int i = 0; i < n; ++i) want[static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(i)] + a * x[static_cast<std::size_t>(i)];
    linalg_detail::add_scaled_separate(n, a, x.data(), got.data());
    VEC_ADD_SCALED(n, a, x.data(), 1, kernel.data(), 1);
    EXPECT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(want.data(), kernel.data(), want.size() * sizeof(double)), 0);
  }
  // Y one element behind X in the same array: y(i) += a*y(i+1), in order.
  std::vector<double> v = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<double> want = v;
  for (int i = 0; i < 8; ++i) want[static_cast<std::size_t>(i)] += 2.0 * want[static_cast<std::size_t>(i) + 1];
  VEC_ADD_SCALED(8, 2.0, v.data() + 1, 1, v.data(), 1);
  EXPECT_EQ(v, want);
  // X one element behind Y: y(i+1) += a*y(i) reads the updated y(i).
  v = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  want = v;
  for (int i = 0; i < 8; ++i) want[static_cast<std::size_t>(i) + 1] += 2.0 * want[static_cast<std::size_t>(i)];
  VEC_ADD_SCALED(8, 2.0, v.data(), 1, v.data() + 1, 1);
  EXPECT_EQ(v, want);
}

}  // namespace
}  // namespace qz5
