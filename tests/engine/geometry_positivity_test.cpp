// A geometry table accepted is one whose linear interpolation stays
// positive everywhere inside it. Rows whose values differ by more than
// 2^52 break that: where (X - x0) and (x1 - x0) round to the same number,
// the fraction is 1 while X < x1, and v0 + (v1 - v0) rounds to 0 once v1 is
// below half an ulp of v0. Such tables are refused; at the bound the value
// interpolated there is v1 itself.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "input/channel_geometry.h"
#include "model/channel.h"

namespace qz5 {
namespace {

ChannelGeometry two_rows(double area_at_end) {
  ChannelGeometry g;
  g.x = {-1e16, 0.0};
  g.area = {1.0, area_at_end};
  g.dispersion = {1.0, 1.0};
  return g;
}

TEST(GeometryPositivity, TablesThatWouldInterpolateToZeroAreRefused) {
  const double X = std::nextafter(0.0, -1.0);  // inside the table, just before its end
  // The interpolation of the channel, computed here on its own.
  const double frac = (X - -1e16) / (0.0 - -1e16);
  ASSERT_EQ(frac, 1.0);
  EXPECT_EQ((1e-20 - 1.0) * frac + 1.0, 0.0);  // what a table 1 -> 1e-20 would give

  const ChannelGeometry refused = two_rows(1e-20);
  EXPECT_EQ(check_geometry(refused),
            "area changes by a factor over 2^52 from the row before, beyond what linear "
            "interpolation keeps positive at row 2");

  const double at_bound = std::ldexp(1.0, -52);
  const ChannelGeometry accepted = two_rows(at_bound);
  ASSERT_EQ(check_geometry(accepted), "");
  const Channel channel(&accepted);
  EXPECT_EQ(channel.area(X), at_bound);
  EXPECT_GT(channel.area(-0.5e16), 0.0);

  ChannelGeometry subnormal = two_rows(1.0);
  subnormal.dispersion[1] = 1e-310;
  EXPECT_NE(check_geometry(subnormal).find("dispersion is too small to interpolate"),
            std::string::npos);
}

}  // namespace
}  // namespace qz5
