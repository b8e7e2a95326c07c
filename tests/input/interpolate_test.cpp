// INTERPOLATE: the remembered interval, its neighbours, the bisection, the
// end warnings and the index bookkeeping.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "input/interpolate.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;

const std::string kTminWarning = "Interpolate::Warning, extrapolating beyond tmin";
const std::string kTmaxWarning = "Interpolate::Warning, extrapolating beyond tmax";

// Times 1, 2, ..., n: TAB(k) = k.
std::vector<double> unit_steps(int n) {
  std::vector<double> t;
  for (int i = 1; i <= n; ++i) t.push_back(i);
  return t;
}

struct Case {
  const char* name;
  std::vector<double> tab;
  int i_in;
  double t;
  int i_out;
  double frac;
};

TEST(Interpolate, LocatesIntervalAndFraction) {
  // The tie cases tell the paths apart: a time equal to a table time belongs
  // to the interval tested first, and only bisection picks the interval that
  // begins at it.
  const std::vector<Case> cases = {
      {"N=2, remembered index 1", {10.0, 20.0}, 1, 15.0, 1, 0.5},
      {"N=2, remembered index 2 reduced to 1", {10.0, 20.0}, 2, 12.5, 1, 0.25},
      {"N=2, remembered index 7 reduced to 1", {10.0, 20.0}, 7, 20.0, 1, 1.0},
      {"same interval", unit_steps(10), 4, 4.25, 4, 0.25},
      {"right neighbour", unit_steps(10), 4, 5.5, 5, 0.5},
      {"right neighbour wins a tie (bisection would give 3, 0)", unit_steps(10), 1, 3.0, 2, 1.0},
      {"last interval remembered, time in the one before", unit_steps(10), 9, 8.5, 8, 0.5},
      {"left neighbour", unit_steps(10), 5, 4.75, 4, 0.75},
      {"left neighbour is the first interval", unit_steps(10), 2, 1.5, 1, 0.5},
      {"jump back from the last interval: bisection", unit_steps(10), 9, 1.125, 1, 0.125},
      {"jump forward: bisection", unit_steps(10), 1, 7.5, 7, 0.5},
      {"bisection ties go to the interval beginning at the time", unit_steps(10), 8, 3.0, 3, 0.0},
      {"bisection reaching the last time", unit_steps(10), 1, 10.0, 9, 1.0},
      {"first time, no warning", unit_steps(10), 6, 1.0, 1, 0.0},
      {"remembered index beyond the table, last interval", unit_steps(5), 50, 4.5, 4, 0.5},
      {"remembered index beyond the table, searched", unit_steps(5), 50, 3.5, 3, 0.5},
      {"remembered index N reduced to N-1", unit_steps(5), 5, 4.75, 4, 0.75},
      {"uneven table", {0.0, 0.5, 4.0, 4.5, 100.0}, 1, 52.25, 4, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Console con;
    int I = c.i_in;
    double frac = -1.0;
    INTERPOLATE(con.io, c.t, static_cast<int>(c.tab.size()), c.tab.data(), I, frac);
    EXPECT_EQ(I, c.i_out);
    EXPECT_EQ(frac, c.frac);
    EXPECT_EQ(con.text(), "");
  }
}

TEST(Interpolate, OutsideTheTableHoldsTheEndAndWarnsEveryTime) {
  const std::vector<double> tab = {1.0, 2.0, 4.0};
  const std::vector<double> values = {10.0, 30.0, 70.0};
  struct Out {
    const char* name;
    double t;
    int i_in;
    int i_out;
    double frac;
    std::string warning;
  };
  const std::vector<Out> cases = {
      {"below, index remembered at the end", 0.5, 2, 1, 0.0, kTminWarning},
      {"far below", -1e300, 1, 1, 0.0, kTminWarning},
      {"above", 4.5, 1, 2, 1.0, kTmaxWarning},
      {"one rounding unit above", std::nextafter(4.0, 5.0), 2, 2, 1.0, kTmaxWarning},
  };
  for (const Out& c : cases) {
    SCOPED_TRACE(c.name);
    Console con;
    int I = c.i_in;
    double frac = -1.0;
    INTERPOLATE(con.io, c.t, 3, tab.data(), I, frac);
    EXPECT_EQ(I, c.i_out);
    EXPECT_EQ(frac, c.frac);
    // The caller's value is then exactly the end value.
    const double value = (values[static_cast<std::size_t>(I)] - values[static_cast<std::size_t>(I - 1)]) * frac +
                         values[static_cast<std::size_t>(I - 1)];
    EXPECT_EQ(value, c.t < 1.0 ? 10.0 : 70.0);
    // A second call warns again.
    INTERPOLATE(con.io, c.t, 3, tab.data(), I, frac);
    EXPECT_EQ(con.text(), msg(c.warning) + "\n" + msg(c.warning) + "\n");
  }
}

TEST(Interpolate, TwoPointTableOutsideDoesNotLoseTheIndex) {
  // With N = 2 the neighbour tests move the index to 0 and 2 on the way;
  // the result must still be a valid interval.
  const std::vector<double> tab = {0.0, 1.0};
  Console con;
  int I = 1;
  double frac = 0.0;
  INTERPOLATE(con.io, 2.0, 2, tab.data(), I, frac);
  EXPECT_EQ(I, 1);
  EXPECT_EQ(frac, 1.0);
  INTERPOLATE(con.io, -2.0, 2, tab.data(), I, frac);
  EXPECT_EQ(I, 1);
  EXPECT_EQ(frac, 0.0);
  INTERPOLATE(con.io, 0.75, 2, tab.data(), I, frac);
  EXPECT_EQ(I, 1);
  EXPECT_EQ(frac, 0.75);
}

TEST(Interpolate, RepeatedTimeIsAStepToTheLaterRow) {
  // Row values 10, 20, 30, 70, 90, 110 name the rows. Just before a time
  // written on two rows the series runs towards the earlier row; at it and
  // after it the later row holds, from whichever side the remembered
  // interval comes and whether the step opens, ends or sits inside the table.
  const std::vector<double> v = {10, 20, 30, 70, 90, 110};
  const std::vector<double> mid = {0, 1, 2, 2, 3}, first = {2, 2, 3, 4}, last = {0, 1, 2, 2},
                            triple = {0, 1, 2, 2, 2, 3}, longer = {0, 1, 2, 2, 3, 4, 5, 6};
  const double below = 2.0 - 1.0 / 1024, above = 2.0 + 1.0 / 1024;  // exact in binary
  struct Step {
    const char* name;
    const std::vector<double>& tab;
    double t;
    int i_in, i_out;
    double value;  // (V(I+1) - V(I)) * FRAC + V(I), worked by hand
    std::string warning;
  };
  const std::vector<Step> cases = {
      {"inside: just before", mid, below, 1, 2, 29.990234375, ""},
      {"inside: at, from the left", mid, 2, 1, 4, 70, ""},
      {"inside: at, from the interval ending there", mid, 2, 2, 4, 70, ""},
      {"inside: at, from the empty interval", mid, 2, 3, 4, 70, ""},
      {"inside: at, from the right", mid, 2, 4, 4, 70, ""},
      {"inside: just after", mid, above, 3, 4, 70.01953125, ""},
      {"first rows: before", first, 1, 3, 1, 10, msg(kTminWarning) + "\n"},
      {"first rows: at, from the empty interval", first, 2, 1, 2, 20, ""},
      {"first rows: at, from the right", first, 2, 3, 2, 20, ""},
      {"first rows: after", first, 2.5, 1, 2, 25, ""},
      {"last rows: just before", last, below, 3, 2, 29.990234375, ""},
      {"last rows: at, from the left", last, 2, 1, 3, 70, ""},
      {"last rows: at, from the empty interval", last, 2, 3, 3, 70, ""},
      {"last rows: after", last, 2.5, 1, 3, 70, msg(kTmaxWarning) + "\n"},
      {"three rows at one time", triple, 2, 2, 5, 90, ""},
      {"found by bisection", longer, 2, 7, 4, 70, ""},
  };
  for (const Step& c : cases) {
    SCOPED_TRACE(c.name);
    Console con;
    int I = c.i_in;
    double frac = -1.0;
    INTERPOLATE(con.io, c.t, static_cast<int>(c.tab.size()), c.tab.data(), I, frac);
    EXPECT_EQ(I, c.i_out);
    const auto at = [&](int i) { return v[static_cast<std::size_t>(i - 1)]; };
    EXPECT_EQ((at(I + 1) - at(I)) * frac + at(I), c.value);
    EXPECT_EQ(con.text(), c.warning);
  }
}

TEST(Interpolate, RandomWalkAgreesWithLinearSearch) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> step(0.01, 3.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int table = 0; table < 20; ++table) {
    const int n = 2 + static_cast<int>(rng() % 200);
    std::vector<double> tab(static_cast<std::size_t>(n));
    tab[0] = -50.0 * unit(rng);
    for (int k = 1; k < n; ++k) tab[static_cast<std::size_t>(k)] = tab[static_cast<std::size_t>(k - 1)] + step(rng);
    const double lo = tab.front();
    const double hi = tab.back();
    Console con;
    int I = 1;
    double t = lo;
    for (int call = 0; call < 2000; ++call) {
      // Mostly small forward moves, sometimes jumps anywhere, now and then
      // beyond either end.
      const double r = unit(rng);
      if (r < 0.7) {
        t += 0.3 * unit(rng);
        if (t > hi) t = lo;
      } else if (r < 0.95) {
        t = lo + (hi - lo) * unit(rng);
      } else {
        t = r < 0.975 ? lo - 1.0 : hi + 1.0;
      }
      SCOPED_TRACE("table " + std::to_string(table) + " call " + std::to_string(call));
      double frac = -1.0;
      INTERPOLATE(con.io, t, n, tab.data(), I, frac);
      ASSERT_GE(I, 1);
      ASSERT_LE(I, n - 1);
      if (t < lo) {
        EXPECT_EQ(I, 1);
        EXPECT_EQ(frac, 0.0);
      } else if (t > hi) {
        EXPECT_EQ(I, n - 1);
        EXPECT_EQ(frac, 1.0);
      } else {
        // Brute force: every interval holding t; random times almost never
        // tie, and when they do either interval is right.
        const double left = tab[static_cast<std::size_t>(I - 1)];
        const double right = tab[static_cast<std::size_t>(I)];
        EXPECT_LE(left, t);
        EXPECT_LE(t, right);
        int expected = 1;
        while (expected < n - 1 && tab[static_cast<std::size_t>(expected)] < t) ++expected;
        if (!(t == left || t == right)) {
          EXPECT_EQ(I, expected);
        }
        EXPECT_EQ(frac, (t - left) / (right - left));
      }
    }
  }
}

}  // namespace
}  // namespace qz5
