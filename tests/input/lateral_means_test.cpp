// The logistic's rise between two arguments, which the interval means of
// the lateral inputs are built on: against the plain difference where that
// is accurate, and against the tails' expansion where the plain difference
// cancels to nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "input/load_best.h"

namespace qz5 {
namespace {

TEST(LogisticRise, AgreesWithTheDifferenceAndKeepsTheTails) {
  auto s = [](double z) { return 1.0 / (1.0 + std::exp(-z)); };
  struct Case {
    double a, b;
  };
  for (const Case c : {Case{-3.0, 2.0}, Case{0.0, 0.5}, Case{-0.25, 0.25}, Case{1.0, 4.0},
                       Case{-6.0, -1.0}, Case{-2.0, 30.0}}) {
    EXPECT_NEAR(logistic_rise(c.a, c.b), s(c.b) - s(c.a), 1e-15) << c.a << " " << c.b;
  }
  // Far above the switch-on, s(z) = 1 - exp(-z) + exp(-2z) - ..., so the
  // rise from 40 to 41 is exp(-40) - exp(-41) to a relative 1e-17; the plain
  // difference of two values that round to 1 gives 0. Below it, by symmetry.
  const double tail = std::exp(-40.0) - std::exp(-41.0);
  EXPECT_NEAR(logistic_rise(40.0, 41.0) / tail, 1.0, 1e-14);
  EXPECT_NEAR(logistic_rise(-41.0, -40.0) / tail, 1.0, 1e-14);
  EXPECT_EQ(s(41.0) - s(40.0), 0.0);
  // A short rise at the centre: s'(0) dz = dz / 4.
  EXPECT_NEAR(logistic_rise(-1e-9, 1e-9) / 5e-10, 1.0, 1e-9);
  EXPECT_EQ(logistic_rise(2.0, 2.0), 0.0);
  EXPECT_EQ(logistic_rise(-1000.0, 1000.0), 1.0);  // clamped, finite
}

}  // namespace
}  // namespace qz5
