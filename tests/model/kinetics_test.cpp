// Reaction kinetics: hand-worked rates, the zero state, the clamp of the
// substrate's nutrient share, growth of pool 4 alone, and the nutrient
// balance over random states.
#include "model/kinetics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

#include "model_test_util.h"

namespace qz5::testing {
namespace {

// Rates for file concentrations c (U = c / CCONV), with UX set to a value
// that must not matter and RX pre-filled so every entry must be written.
Six rates(const Inputs& ms, const Six& c) {
  double U[6], UX[6];
  for (int i = 0; i < 6; ++i) {
    U[i] = c[static_cast<std::size_t>(i)] / ms.CCONV(i + 1);
    UX[i] = 1.0e30;
  }
  Six rx;
  rx.fill(-7.0);
  RXNS_QZ5(ms, 3.0, 4.0, 6, U, UX, rx.data());
  return rx;
}

Params random_params(std::mt19937_64& gen, double lo, double hi) {
  std::uniform_real_distribution<double> d(lo, hi);
  Params p;
  for (double& v : p) v = d(gen);
  return p;
}

Six uniform(double v) { return {v, v, v, v, v, v}; }

TEST(Kinetics, HandWorkedRatesInAnyConcentrationUnit) {
  // Each constituent converts with its own factor; a mix-up changes the rates.
  for (const Six& cconv : {uniform(1.0), uniform(2.0), uniform(0.5), Six{8, 0.5, 4, 0.25, 2, 16}}) {
    SCOPED_TRACE(cconv[0]);
    auto ms = std::make_unique<Inputs>();
    set_kinetics(*ms, kDyadicParams, cconv);
    EXPECT_EQ(rates(*ms, kDyadicConc), kDyadicRates);
  }
}

TEST(Kinetics, ZeroStateGivesZeroRates) {
  // Every term carries a concentration factor and the half-saturation
  // constants are nonzero: no 0/0.
  std::mt19937_64 gen(11);
  auto ms = std::make_unique<Inputs>();
  for (int trial = 0; trial < 50; ++trial) {
    set_kinetics(*ms, random_params(gen, 0.05, 3.0), uniform(0.05 + 0.05 * trial));
    EXPECT_EQ(rates(*ms, uniform(0.0)), uniform(0.0)) << "trial " << trial;
  }
}

// With P13 >= P14*P7 the substrate covers all the nutrient growth of 5 on 2
// needs: f is clamped to 1 and constituent 3 no longer matters to pool 5.
TEST(Kinetics, SubstrateShareIsClampedAtOne) {
  struct Case {
    const char* name;
    double p13;
    bool clamped;
  };
  for (const Case& k : {Case{"exactly one", 4.0, true}, Case{"above one", 6.0, true},
                        Case{"far above one", 16.0, true}, Case{"below one", 2.0, false}}) {
    SCOPED_TRACE(k.name);
    Params p = kDyadicParams;
    p[12] = k.p13;
    p[13] = 2.0;  // P14
    p[6] = 2.0;   // P7
    auto ms = std::make_unique<Inputs>();
    set_kinetics(*ms, p, uniform(1.0));
    // c2 = c4 = 1: g2 = 4/2 = 2, g4 = 3/2; RX5 = ((g4 - 0.25) + g25) c5 with c5 = 2.
    for (double c3 : {0.0, 1.0, 3.0, 1000.0}) {
      SCOPED_TRACE(c3);
      const double h3 = c3 / (c3 + 1.0);
      const double g25 = k.clamped ? 2.0 : (0.5 * h3 + 0.5) * 2.0;  // f = 1 or 0.5
      EXPECT_EQ(rates(*ms, {1, 1, c3, 1, 2, 1})[4], ((1.5 - 0.25) + g25) * 2.0);
    }
  }
}

// Only pool 4 grows (on 3): no losses, no transfers, no pool 5.
TEST(Kinetics, GrowthOfFourOnly) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> dist(0.1, 20.0);
  auto ms = std::make_unique<Inputs>();
  for (int trial = 0; trial < 100; ++trial) {
    SCOPED_TRACE(trial);
    Params p = random_params(gen, 0.1, 20.0);
    p[3] = p[11] = p[17] = p[18] = 0.0;  // P4, P12, P18, P19
    set_kinetics(*ms, p, uniform(1.0));
    const Six c = {dist(gen), dist(gen), dist(gen), dist(gen), 0.0, dist(gen)};
    const Six rx = rates(*ms, c);
    const double g3 = (c[2] * p[0]) / (c[2] + p[2]);
    EXPECT_EQ(rx, (Six{0.0, 0.0, -(g3 * c[3]) / p[12], g3 * c[3], 0.0, 0.0}));
  }
}

// Pools 4 and 5 hold 1/P13 nutrient per unit, pools 2 and 6 hold 1/P14, so
// the total changes only by the unreleased part of the loss of 6 at rate P18.
// The tracer never reacts.
TEST(Kinetics, NutrientIsConservedOnRandomStates) {
  std::mt19937_64 gen(2024);
  std::uniform_real_distribution<double> par(0.05, 5.0), frac(0.0, 1.0), conc(0.0, 100.0);
  auto ms = std::make_unique<Inputs>();
  for (int trial = 0; trial < 2000; ++trial) {
    SCOPED_TRACE(trial);
    Params p = random_params(gen, 0.05, 5.0);
    p[14] = frac(gen);  // P15..P17 are fractions
    p[15] = frac(gen);
    p[16] = frac(gen);
    set_kinetics(*ms, p, uniform(par(gen)));
    const Six c = {conc(gen), conc(gen), conc(gen), conc(gen), conc(gen), conc(gen)};
    const Six rx = rates(*ms, c);
    const double p13 = p[12], p14 = p[13];
    const double balance = rx[2] + (rx[3] + rx[4]) / p13 + (rx[1] + rx[5]) / p14;
    const double lost = -(1.0 - p[16]) * p[17] * c[5] / p14;
    // The identity is exact in real arithmetic; some twenty rounded terms
    // stay within a few ulps of the largest rate in nutrient units.
    double scale = std::max(std::fabs(lost), std::fabs(rx[2]));
    for (double r : rx) scale = std::max(scale, std::fabs(r) / std::min(p13, p14));
    EXPECT_NEAR(balance, lost, 1e-13 * scale);
    EXPECT_EQ(rx[0], 0.0);
  }
}

}  // namespace
}  // namespace qz5::testing
