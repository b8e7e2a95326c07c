// Interval means of a geometry table against closed forms worked by hand: a
// ramp of 0.01 between two constant stretches, area 1 to 3 and dispersion 2
// to 4 across it. Over the ramp 1 / (A D) = 1 / ((1 + 2 s)(2 + 2 s)) =
// 1 / (1 + 2 s) - 1 / (2 + 2 s) (s the fraction of the ramp), whose integral
// over s in [0, 1] is ln(1.5) / 2.
#include <gtest/gtest.h>

#include <cmath>

#include "model/channel.h"

namespace qz5 {
namespace {

ChannelGeometry ramp_table() {
  ChannelGeometry g;
  g.x = {0.0, 10.0, 10.01, 20.0};
  g.area = {1.0, 1.0, 3.0, 3.0};
  g.dispersion = {2.0, 2.0, 4.0, 4.0};
  return g;
}

TEST(ChannelMeans, AreaAndConductanceOverPiecesOfTheTable) {
  const ChannelGeometry g = ramp_table();
  const Channel c(&g);
  struct Case {
    double xa, xb, area, conductance;
  };
  const double across = 5.0 / 2.0 + 0.01 * std::log(1.5) / 2.0 + 4.99 / 12.0;
  // Inside the ramp from s = 0.2 to 0.4: A from 1.4 to 1.8, D from 2.4 to 2.8;
  // 1 / (A D) integrates to 0.01 (ln(1.8 / 1.4) - ln(2.8 / 2.4)) / 2 by the
  // same partial fractions.
  const double inside = 0.002 * 0.5 * (std::log(1.8 / 1.4) - std::log(2.8 / 2.4)) / 0.2;
  for (const Case k : {
           Case{2.0, 3.0, 1.0, 2.0},                                          // one segment
           Case{5.0, 15.0, (5.0 * 1.0 + 0.01 * 2.0 + 4.99 * 3.0) / 10.0, 10.0 / across},
           Case{10.002, 10.004, 1.6, 0.002 / inside},                         // inside the ramp
           Case{20.0, 25.0, 3.0, 12.0},                                       // beyond the table
           Case{0.0, 10.0, 1.0, 2.0},                                         // rows at the ends
       }) {
    SCOPED_TRACE(::testing::Message() << k.xa << " to " << k.xb);
    EXPECT_NEAR(c.mean_area(k.xa, k.xb), k.area, 1e-13 * k.area);
    EXPECT_NEAR(c.mean_conductance(k.xa, k.xb, 0.0), k.conductance, 1e-11 * k.conductance);
  }
  // Sampled, [5, 15] takes the area at its midpoint, the step's first row,
  // for all of it: 1 against the mean 2.002.
  EXPECT_EQ(c.area(10.0), 1.0);
}

TEST(ChannelMeans, BuiltInLawsGiveTheirMidpointValues) {
  const Channel c;
  EXPECT_EQ(c.mean_area(1000.0, 3000.0), c.area(2000.0));
  EXPECT_EQ(c.mean_conductance(1000.0, 3000.0, 5.0), c.area(2000.0) * c.dispersion(2000.0, 5.0));
}

}  // namespace
}  // namespace qz5
