// Reaction kinetics: hand-computed rates, the zero state, the clamp of the
// substrate's nutrient share, growth of pool 4 alone, and the nutrient
// balance over many random states.
#include "model/kinetics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>

namespace qz5 {
namespace {

using Rates = std::array<double, 6>;
using Conc = std::array<double, 6>;
using Params = std::array<double, 19>;

// A parameter set whose every intermediate value is a short binary fraction,
// so that the rates below follow exactly from hand arithmetic:
// f = P13/(P14*P7) = 2/4 = 0.5, g3 = 1, h3 = 0.5, g2 = 2, g25 = 1.5, g4 = 1.5,
// e = -1/4 + 1/2 = 0.25 (with c = 5, 1, 1, 1, 2, 4).
constexpr Params kDyadic = {2, 0, 1, 0.5, 3, 4, 1, 4, 1, 1, 1, 0.25, 2, 4, 0.5, 0.75, 0.5,
                            0.125, 0.25};

void set_params(ModelState& ms, const Params& p, double cconv) {
  ms.NCOMP = 6;
  for (int k = 1; k <= 19; ++k) ms.RXPAR(k) = p[static_cast<std::size_t>(k - 1)];
  for (int i = 1; i <= 7; ++i) ms.CCONV(i) = cconv;
}

std::unique_ptr<ModelState> make_state(const Params& p, double cconv = 1.0) {
  auto ms = std::make_unique<ModelState>();
  set_params(*ms, p, cconv);
  return ms;
}

// Rates for file concentrations c, with U = c / CCONV.
Rates rates(const ModelState& ms, const Conc& c) {
  double U[6];
  double UX[6];
  for (int i = 0; i < 6; ++i) {
    U[i] = c[static_cast<std::size_t>(i)] / ms.CCONV(i + 1);
    UX[i] = 1.0e30;  // must not matter
  }
  Rates rx;
  rx.fill(-7.0);  // every entry must be overwritten
  RXNS_QZ5(ms, 3.0, 4.0, 6, U, UX, rx.data());
  return rx;
}

TEST(Kinetics, HandComputedRates) {
  // RX2 = ((0.25*0.75 - 1.5/1)*2 + (0.5*0.5)*1) + 0.25*4 = -1.375
  // RX3 = (((-0.25*1.5 + 0.0625)*2 + 0.0625) + (-0.75*1.5*2)/2 - 1/2) + 0.125 = -2.0625
  // RX4 = (1 - 0.5)*1 - 1.5*2/4 = -0.25
  // RX5 = (1.5 - 0.25 + 1.5)*2 = 5.5
  // RX6 = (0.25*0.25*2 + 0.5*0.5*1) - 0.375*4 = -1.125
  const Rates expected = {0.0, -1.375, -2.0625, -0.25, 5.5, -1.125};
  // CCONV 1 and CCONV 2 (U halved) must give the same file-unit rates.
  for (double cconv : {1.0, 2.0, 0.5}) {
    SCOPED_TRACE(cconv);
    auto ms = make_state(kDyadic, cconv);
    const Rates rx = rates(*ms, {5, 1, 1, 1, 2, 4});
    for (std::size_t i = 0; i < 6; ++i) {
      SCOPED_TRACE(i + 1);
      EXPECT_EQ(rx[i], expected[i]);
    }
  }
}

TEST(Kinetics, EachConcentrationUsesItsOwnConversionFactor) {
  // Distinct CCONV per constituent: U(i) * CCONV(i) must recover c(i); a
  // mix-up of the factors would change the rates.
  auto ms = make_state(kDyadic);
  const double cconv[6] = {8, 0.5, 4, 0.25, 2, 16};
  for (int i = 1; i <= 6; ++i) ms->CCONV(i) = cconv[i - 1];
  const Rates rx = rates(*ms, {5, 1, 1, 1, 2, 4});
  const Rates expected = {0.0, -1.375, -2.0625, -0.25, 5.5, -1.125};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(rx[i], expected[i]) << "RX(" << i + 1 << ")";
}

TEST(Kinetics, ZeroStateGivesZeroRates) {
  // Every term carries a concentration factor; the half-saturation constants
  // are nonzero, so no 0/0 arises.
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> dist(0.05, 3.0);
  auto ms = std::make_unique<ModelState>();
  for (int trial = 0; trial < 50; ++trial) {
    SCOPED_TRACE(trial);
    Params p;
    for (double& v : p) v = dist(gen);
    set_params(*ms, p, dist(gen));
    const Rates rx = rates(*ms, {0, 0, 0, 0, 0, 0});
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(rx[i], 0.0) << "RX(" << i + 1 << ")";
  }
}

TEST(Kinetics, TracerNeverReacts) {
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> dist(0.0, 50.0);
  auto ms = make_state(kDyadic);
  for (int trial = 0; trial < 20; ++trial) {
    const Conc c = {dist(gen), dist(gen), dist(gen), dist(gen), dist(gen), dist(gen)};
    EXPECT_EQ(rates(*ms, c)[0], 0.0);
  }
}

// With P13 >= P14*P7 the substrate covers all the nutrient growth of 5 on 2
// needs: f is clamped to 1, g25 = g2, and constituent 3 no longer matters to
// the growth of 5.
TEST(Kinetics, SubstrateShareIsClampedAtOne) {
  struct Case {
    const char* name;
    double p13, p14, p7;
    bool clamped;
  };
  const Case cases[] = {
      {"exactly one", 4.0, 2.0, 2.0, true},
      {"above one", 16.0, 2.0, 2.0, true},
      {"below one", 2.0, 2.0, 2.0, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Params p = kDyadic;
    p[12] = k.p13;
    p[13] = k.p14;
    p[6] = k.p7;
    auto ms = make_state(p);
    // c(2) = 1: g2 = (1*4)/(1+1) = 2; c(4) = 1: g4 = 3/2; RX5 = (g4 - 0.25 + g25) * c5.
    const double g2 = 2.0;
    const double g4 = 1.5;
    const double c5 = 2.0;
    double rx5_first = 0.0;
    for (double c3 : {0.0, 1.0, 3.0, 1000.0}) {
      SCOPED_TRACE(c3);
      const Rates rx = rates(*ms, {1, 1, c3, 1, c5, 1});
      if (k.clamped) {
        EXPECT_EQ(rx[4], ((g4 - 0.25) + g2) * c5);
      } else {
        // f = 0.5: g25 = (0.5*h3 + 0.5)*g2 with h3 = c3/(c3+1).
        const double h3 = c3 / (c3 + 1.0);
        EXPECT_EQ(rx[4], ((g4 - 0.25) + (0.5 * h3 + 0.5) * g2) * c5);
      }
      if (c3 == 0.0) rx5_first = rx[4];
      if (k.clamped) {
        EXPECT_EQ(rx[4], rx5_first);
      }
    }
  }
}

// Only pool 4 grows (on 3): no losses, no transfers, no pool 5.
TEST(Kinetics, GrowthOfFourOnly) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> dist(0.1, 20.0);
  auto ms = std::make_unique<ModelState>();
  for (int trial = 0; trial < 100; ++trial) {
    SCOPED_TRACE(trial);
    Params p;
    for (double& v : p) v = dist(gen);
    p[3] = 0.0;   // P4
    p[11] = 0.0;  // P12
    p[17] = 0.0;  // P18
    p[18] = 0.0;  // P19
    set_params(*ms, p, 1.0);
    const Conc c = {dist(gen), dist(gen), dist(gen), dist(gen), 0.0, dist(gen)};
    const Rates rx = rates(*ms, c);
    const double g3 = (c[2] * p[0]) / (c[2] + p[2]);
    EXPECT_EQ(rx[3], g3 * c[3]);
    EXPECT_EQ(rx[2], -(g3 * c[3]) / p[12]);
    EXPECT_EQ(rx[4], 0.0);
    EXPECT_EQ(rx[1], 0.0);
    EXPECT_EQ(rx[5], 0.0);
  }
}

// Nutrient bookkeeping: pools 4 and 5 hold 1/P13 per unit, pools 2 and 6 hold
// 1/P14, so the total nutrient changes only by the unreleased part of the
// loss of 6 at rate P18.
TEST(Kinetics, NutrientIsConservedOnRandomStates) {
  std::mt19937_64 gen(2024);
  std::uniform_real_distribution<double> par(0.05, 5.0);
  std::uniform_real_distribution<double> frac(0.0, 1.0);
  std::uniform_real_distribution<double> conc(0.0, 100.0);
  auto ms = std::make_unique<ModelState>();
  for (int trial = 0; trial < 2000; ++trial) {
    SCOPED_TRACE(trial);
    Params p;
    for (double& v : p) v = par(gen);
    p[14] = frac(gen);  // P15..P17 are fractions
    p[15] = frac(gen);
    p[16] = frac(gen);
    set_params(*ms, p, par(gen));
    const Conc c = {conc(gen), conc(gen), conc(gen), conc(gen), conc(gen), conc(gen)};
    const Rates rx = rates(*ms, c);
    const double p13 = p[12];
    const double p14 = p[13];
    const double balance = rx[2] + (rx[3] + rx[4]) / p13 + (rx[1] + rx[5]) / p14;
    const double lost = -(1.0 - p[16]) * p[17] * c[5] / p14;
    // Rounding scale: the largest rate converted to nutrient units. The
    // identity holds exactly in real arithmetic; the sum of about twenty
    // rounded terms stays within a few units in the last place of it.
    double scale = std::fabs(lost);
    for (double r : rx) scale = std::max(scale, std::fabs(r) / std::min(p13, p14));
    scale = std::max(scale, std::fabs(rx[2]));
    EXPECT_NEAR(balance, lost, 1e-13 * scale);
  }
}

// The rates are compared bit for bit with the original model's, so the
// grouping of each expression is fixed. The hand-computed case uses binary
// fractions, where most regroupings round alike; here random parameters and
// states make any regrouping show in the last bits. The expressions are
// written out independently, term by term, in the fixed grouping.
TEST(Kinetics, FixedGroupingOnRandomStates) {
  std::mt19937_64 gen(99);
  std::uniform_real_distribution<double> par(0.05, 5.0);
  std::uniform_real_distribution<double> conc(0.0, 100.0);
  auto ms = std::make_unique<ModelState>();
  for (int trial = 0; trial < 500; ++trial) {
    SCOPED_TRACE(trial);
    Params p;
    for (double& v : p) v = par(gen);
    set_params(*ms, p, par(gen));
    const Conc c0 = {conc(gen), conc(gen), conc(gen), conc(gen), conc(gen), conc(gen)};
    double U[6];
    double c[7];
    for (int i = 1; i <= 6; ++i) {
      U[i - 1] = c0[static_cast<std::size_t>(i - 1)];
      c[i] = U[i - 1] * ms->CCONV(i);
    }
    double rx[6];
    RXNS_QZ5(*ms, 0.0, 0.0, 6, U, U, rx);
    const auto P = [&p](int k) { return p[static_cast<std::size_t>(k - 1)]; };
    const double f = std::min(P(13) / (P(14) * P(7)), 1.0);
    const double g3 = (c[3] * P(1)) / (c[3] + P(3));
    const double h3 = c[3] / (c[3] + P(11));
    const double g2 = (c[2] * P(6)) / (c[2] + P(10));
    const double g25 = (((1.0 - f) * h3) + f) * g2;
    const double g4 = (P(5) * c[4]) / (P(9) + c[4]);
    const double e = (-1.0 / P(14)) + (1.0 / P(13));
    // RX(3) built up one parenthesis level at a time.
    double r3 = ((1.0 / (P(14) * P(7))) - (1.0 / P(13))) * g25 + P(12) * e;
    r3 = r3 * c[5] + ((P(18) * c[6]) / P(14)) * P(17);
    r3 = r3 + ((((1.0 / P(8)) - 1.0) * g4) * c[5]) / P(13);
    r3 = r3 - (g3 * c[4]) / P(13);
    r3 = r3 + (P(4) * e) * c[4];
    EXPECT_EQ(rx[0], 0.0);
    EXPECT_EQ(rx[1], (((P(12) * P(16)) - (g25 / P(7))) * c[5] + (P(4) * P(15)) * c[4]) +
                         P(19) * c[6]);
    EXPECT_EQ(rx[2], r3);
    EXPECT_EQ(rx[3], ((g3 - P(4)) * c[4]) - ((g4 * c[5]) / P(8)));
    EXPECT_EQ(rx[4], ((g4 - P(12)) + g25) * c[5]);
    EXPECT_EQ(rx[5], (((1.0 - P(16)) * P(12)) * c[5] + ((1.0 - P(15)) * P(4)) * c[4]) -
                         ((P(19) + P(18)) * c[6]));
  }
}

}  // namespace
}  // namespace qz5
