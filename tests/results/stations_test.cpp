// Station sampling on a moving grid: the interval search, interpolation that
// is exact at the grid points, and second-order convergence as the grid is
// refined (a linear interpolant of a smooth profile errs by at most
// h^2/8 times the largest |c''|).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "results/stations.h"

namespace qz5::results {
namespace {

TEST(StationsTest, LocateIntervalFromAnyHint) {
  const double x[] = {0.0, 1.0, 3.0, 6.0};
  struct Case {
    double X;
    int hint, expected;
  // A point shared by two intervals belongs to either; the search stops at
  // the first that holds it, coming from the hint.
  } cases[] = {{0.0, 2, 0}, {0.5, 0, 0}, {1.0, 2, 1}, {1.0, 0, 0}, {2.0, 0, 1}, {3.0, 0, 1},
               {5.9, 0, 2}, {6.0, 1, 2}, {-1.0, 2, 0}, {7.0, 0, 2}, {2.0, 99, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "X=" << c.X << " hint=" << c.hint);
    EXPECT_EQ(locate_interval(x, 4, c.X, c.hint), c.expected);
  }
}

TEST(StationsTest, InterpolationIsExactAtBothPointsAndTakesEndsBeyondThem) {
  // Values whose linear blend would round differently from the end values.
  const double xa = 0.1, xb = 0.7, ca = 1.0 / 3.0, cb = 2.0 / 7.0;
  EXPECT_EQ(interpolate_linear(xa, ca, xb, cb, xa), ca);
  EXPECT_EQ(interpolate_linear(xa, ca, xb, cb, xb), cb);
  EXPECT_EQ(interpolate_linear(xa, ca, xb, cb, xb + 1e-12), cb);
  EXPECT_EQ(interpolate_linear(xa, ca, xb, cb, xa - 1e-12), ca);
  EXPECT_DOUBLE_EQ(interpolate_linear(0.0, 1.0, 2.0, 3.0, 0.5), 1.5);
}

// A grid of n points on [0, 1] that moves and is not uniform, and a smooth
// profile on it, at time t.
struct MovingProfile {
  static double position(double s, double t) {
    return s + 0.1 * std::sin(M_PI * s) * std::sin(t);  // increasing: 1 - 0.1*pi > 0
  }
  static double value(double x, double t, int k) { return std::sin(2.0 * x + t) + k * x * x; }
};

// Largest station error over a few times, and the largest interval.
void sample_errors(int n, const std::vector<double>& stations, double& max_error, double& h_max) {
  StationSampler sampler(stations, 0.0, 1.0);
  const int ncomp = 2;
  std::vector<double> x(static_cast<std::size_t>(n)), c(static_cast<std::size_t>(n * ncomp)),
      out(stations.size() * ncomp);
  max_error = 0.0;
  h_max = 0.0;
  for (double t : {0.0, 0.4, 1.1, 2.0, 3.0}) {
    for (int j = 0; j < n; ++j) {
      x[j] = MovingProfile::position(static_cast<double>(j) / (n - 1), t);
      for (int k = 0; k < ncomp; ++k) c[j * ncomp + k] = MovingProfile::value(x[j], t, k);
      if (j > 0) h_max = std::max(h_max, x[j] - x[j - 1]);
    }
    Snapshot s;
    s.t = t;
    s.npts = n;
    s.ncomp = ncomp;
    s.x = x.data();
    s.c = c.data();
    sampler.sample(s, out.data());
    for (std::size_t i = 0; i < stations.size(); ++i)
      for (int k = 0; k < ncomp; ++k)
        max_error = std::max(max_error, std::abs(out[k * stations.size() + i] -
                                                 MovingProfile::value(stations[i], t, k)));
  }
}

TEST(StationsTest, ErrorFallsAtSecondOrderUnderRefinementOnAMovingGrid) {
  const std::vector<double> stations{0.0, 0.123, 0.5, 0.777, 0.95, 1.0};
  // |c''| <= 4 + 2k with k <= 1.
  const double c2_max = 6.0;
  double previous = 0.0;
  for (int n : {11, 21, 41, 81, 161}) {
    SCOPED_TRACE(testing::Message() << "points " << n);
    double err = 0.0, h = 0.0;
    sample_errors(n, stations, err, h);
    EXPECT_LE(err, h * h / 8.0 * c2_max);
    if (previous > 0.0) {
      const double order = std::log2(previous / err);
      EXPECT_GT(order, 1.8);
      EXPECT_LT(order, 2.2);
    }
    previous = err;
  }
}

TEST(StationsTest, StationsOnTheReachEndsReadTheEndPointsExactly) {
  // The end points carry rounding noise in their positions, as after the
  // integrator's interpolation to an output time: the first lies a little
  // inside the reach [0, 1], the last a little beyond it.
  const std::vector<double> x{2.2e-16, 0.3, 1.0 / 3.0 * 2.0, 1.0 + 2.2e-16};
  const std::vector<double> c{0.1, 1.0 / 3.0, 0.7, 2.0 / 7.0};  // one constituent
  // Stations: the last end, a point just beyond the last point, the first
  // end, and 1 - 1e-3 (an ordinary station near the end, interpolated).
  StationSampler sampler({1.0, 1.0 + 1e-15, 0.0, 1.0 - 1e-3}, 0.0, 1.0);
  Snapshot s;
  s.npts = 4;
  s.ncomp = 1;
  s.x = x.data();
  s.c = c.data();
  std::vector<double> out(4);
  sampler.sample(s, out.data());
  EXPECT_EQ(out[0], c[3]);
  EXPECT_EQ(out[1], c[3]);
  EXPECT_EQ(out[2], c[0]);
  EXPECT_NE(out[3], c[3]);
  EXPECT_NEAR(out[3], c[3] + (c[2] - c[3]) * 1e-3 / (x[3] - x[2]), 1e-15);
}

}  // namespace
}  // namespace qz5::results
