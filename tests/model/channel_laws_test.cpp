// Cross-section area and dispersion laws of the channel at hand-worked points.
#include "model/channel_laws.h"

#include <gtest/gtest.h>

#include <limits>

namespace qz5 {
namespace {

TEST(ChannelLaws, AreaIsQuadraticInPosition) {
  // 17 + 3.4e-6 x^2, by hand.
  const double cases[][2] = {
      {0.0, 17.0}, {1000.0, 20.4}, {-1000.0, 20.4}, {10000.0, 357.0}, {23330.0, 1867.58226}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(AREA_ORG(c[0]), c[1]) << "x = " << c[0];
  EXPECT_EQ(AREA_ORG(0.0), 17.0);  // nothing to round at the origin
}

TEST(ChannelLaws, DispersionIsHyperbolicWithItsPoleAt28330) {
  // At the reference position 23330: 1.36e6 per day exactly, whatever the flow.
  for (double qs : {0.0, 1.0e3, -7.5}) EXPECT_EQ(DISP_ORG(23330.0, qs), 1.36e6 / 86400.0) << qs;
  // D(X) (28330 - X) is the constant 6.8e9 per day.
  const double k = 6.8e9 / 86400.0;
  for (double x : {-10000.0, 0.0, 5000.0, 20000.0, 26000.0})
    EXPECT_NEAR(DISP_ORG(x, 0.0) * (28330.0 - x), k, k * 1e-15) << "x = " << x;
  EXPECT_NEAR(DISP_ORG(0.0, 0.0) * 86400.0, 240028.23861630780, 240028.0 * 1.6e-15);
  // Nothing guards the pole or the negative values beyond it.
  EXPECT_EQ(DISP_ORG(28330.0, 0.0), std::numeric_limits<double>::infinity());
  EXPECT_LT(DISP_ORG(30000.0, 0.0), 0.0);
}

}  // namespace
}  // namespace qz5
