// A tracer slug down a river reach with a free outflow: the case the moving
// grid exists for. With the iteration matrix from differences the grid's
// crowding against the outflow, as the pulse leaves, makes fine grids crawl
// (400 points: about 6 000 steps, 1 400 of them failing in the corrector, and
// 8 s against 0.7 s); with the analytic matrix, or with the positions'
// difference increments set by the grid spacing, the steps grow only mildly
// with the points. The gauges' peaks and arrivals are checked against the
// closed-form solution of the advection-dispersion equation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "engine/engine_util.h"

namespace qz5::engine_test {
namespace {

constexpr double kArea = 40.0;              // m2
constexpr double kDispersion = 5.0e5;       // m2 per day
constexpr double kFlow = 864000.0;          // m3 per day (10 m3/s)
constexpr double kStart = 1.0e-3;           // the pulse, days
constexpr double kEnd = 1.0e-3 + 1.5 / 24.0;
constexpr double kLevel = 100.0;

e2e::Scenario slug(int npts) {
  e2e::Scenario s;
  s.npts = npts;
  s.tau = 1.0e-5;  // the grid follows the fronts without lag
  s.kappa = 8.0;
  s.alpha = 1.0e-5;
  s.rtol = 1.0e-4;
  s.atol = 1.0e-6;
  s.tunit_model = 1.0;
  s.tunit_day = 1.0;
  for (int k : {1, 4, 5, 6, 12, 18, 19}) s.rxpar[k - 1] = 0.0;  // conservative
  s.xleft = 0.0;
  s.xright = 8000.0;
  auto row = [](double t, double c) {
    std::vector<double> r(13, 0.0);
    r[0] = t;
    r[1] = c;
    return r;
  };
  s.bnd_rows = {row(-1.0, 0.0),   row(kStart, 0.0), row(kStart, kLevel),
                row(kEnd, kLevel), row(kEnd, 0.0),  row(1.0, 0.0)};
  s.x_lat = {-1000.0};  // the river enters above the head
  s.q_lat = {kFlow};
  s.k_lat = 0.01;
  s.lat_rows = {{-1.0, 0, 0, 0, 0, 0, 0}, {1.0, 0, 0, 0, 0, 0, 0}};
  s.drv_points = {{-1.0, 1.0}, {1.0, 1.0}};
  s.touts.clear();
  for (int h = 1; h <= 11; ++h) s.touts.push_back(h / 24.0);
  return s;
}

// The slug's reach as the runs take it: a constant section and a free outflow.
Scenario on_free_reach(Scenario s) {
  s.outflow = Outflow::kFree;
  s.geometry.x = {-2000.0, 10000.0};
  s.geometry.area = {kArea, kArea};
  s.geometry.dispersion = {kDispersion, kDispersion};
  return s;
}

// The tracer at fixed positions after every accepted step, linear between
// the two grid points that enclose each.
class Gauges : public Observer {
 public:
  explicit Gauges(std::vector<double> x) : x_(std::move(x)), series_(x_.size()) {}
  void on_step(const StepInfo&, const Snapshot& s) override {
    for (std::size_t i = 0; i < x_.size(); ++i) {
      const double* p = std::upper_bound(s.x, s.x + s.npts, x_[i]);
      const int j = std::clamp(static_cast<int>(p - s.x) - 1, 0, s.npts - 2);
      const double w = (x_[i] - s.x[j]) / (s.x[j + 1] - s.x[j]);
      const double c = s.c[j * s.ncomp] + w * (s.c[(j + 1) * s.ncomp] - s.c[j * s.ncomp]);
      series_[i].push_back({s.t, c});
    }
  }
  const std::vector<std::array<double, 2>>& series(std::size_t i) const { return series_[i]; }

 private:
  std::vector<double> x_;
  std::vector<std::vector<std::array<double, 2>>> series_;
};

// The response at x and time t after a step of 1 at the inlet of a
// half-infinite reach whose inlet takes the advective flux v c0 alone.
double step_response(double x, double t) {
  if (t <= 0.0) return 0.0;
  const double v = kFlow / kArea, d = kDispersion, s = 2.0 * std::sqrt(d * t);
  const double a = 0.5 * std::erfc((x - v * t) / s);
  const double b = std::sqrt(v * v * t / (M_PI * d)) * std::exp(-(x - v * t) * (x - v * t) / (4.0 * d * t));
  const double tail = std::exp(v * x / d) * std::erfc((x + v * t) / s);
  return a + b - 0.5 * (1.0 + v * x / d + v * v * t / d) * tail;
}

double closed_form(double x, double t) {
  return kLevel * (step_response(x, t - kStart) - step_response(x, t - kEnd));
}

struct PeakArrival {
  double peak, arrival;  // the highest value, the first time at half of it
};

PeakArrival peak_and_arrival(const std::vector<std::array<double, 2>>& series) {
  PeakArrival r{0.0, 0.0};
  for (const auto& p : series) r.peak = std::max(r.peak, p[1]);
  for (std::size_t k = 1; k < series.size(); ++k) {
    if (series[k][1] >= 0.5 * r.peak) {
      const auto &a = series[k - 1], &b = series[k];
      r.arrival = a[0] + (0.5 * r.peak - a[1]) * (b[0] - a[0]) / (b[1] - a[1]);
      break;
    }
  }
  return r;
}

PeakArrival closed_form_peak_and_arrival(double x) {
  std::vector<std::array<double, 2>> s;
  for (int k = 0; k <= 40000; ++k) {
    const double t = 11.0 / 24.0 * k / 40000.0;
    s.push_back({t, closed_form(x, t)});
  }
  return peak_and_arrival(s);
}

TEST(FrontsOnFineGrids, TheSlugEndsInBoundedStepsFromThirtyToFourHundredPoints) {
  const std::vector<double> stations{2000.0, 4000.0};
  std::vector<int> steps;
  for (int npts : {30, 100, 400}) {
    SCOPED_TRACE(npts);
    Scenario s = on_free_reach(written(slug(npts), "slug"));
    RunOptions o;
    o.exact_jacobian = true;
    o.observe_steps = true;
    Gauges gauges(stations);
    const Summary sum = run_scenario(s, o, &gauges);
    ASSERT_TRUE(sum.completed()) << sum.console;
    steps.push_back(sum.statistics.steps);
    // 860, 875 and 1 489 steps when written.
    EXPECT_LT(sum.statistics.steps, 2500);
    if (npts < 100) continue;  // 30 points smear the pulse by several per cent
    for (std::size_t i = 0; i < stations.size(); ++i) {
      const PeakArrival q = peak_and_arrival(gauges.series(i));
      const PeakArrival e = closed_form_peak_and_arrival(stations[i]);
      std::printf("%3d points, gauge %.0f m: peak %.3f (closed form %.3f), arrival %.5f d (%.5f)\n",
                  npts, stations[i], q.peak, e.peak, q.arrival, e.arrival);
      EXPECT_NEAR(q.peak, e.peak, 2e-3 * e.peak);
      EXPECT_NEAR(q.arrival, e.arrival, 2e-3 * (e.arrival - kStart));
    }
  }
  // No crawl: thirteen times the points, less than twice the steps.
  EXPECT_LT(steps.back(), 2 * steps.front());
}

// The crawl of the differenced matrix on 400 points (RTOL 1e-5: 5 994
// steps and 1 446 corrector failures with the increments of the positions
// set by their magnitude, when written) ends when they are set by the
// spacing: 2 167 steps and 19 failures, and the pulse as the closed form has it.
TEST(FrontsOnFineGrids, SpacingIncrementsEndTheCrawlOfTheDifferencedMatrix) {
  e2e::Scenario written_slug = slug(400);
  written_slug.rtol = 1.0e-5;
  written_slug.atol = 1.0e-7;
  Scenario s = on_free_reach(written(written_slug, "slug_spacing"));
  RunOptions o;
  o.spaced_position_increments = true;
  o.observe_steps = true;
  const std::vector<double> stations{4000.0};
  Gauges gauges(stations);
  const Summary sum = run_scenario(s, o, &gauges);
  ASSERT_TRUE(sum.completed()) << sum.console;
  EXPECT_LT(sum.statistics.steps, 3000);
  EXPECT_LT(sum.statistics.convergence_failures, 100);
  const PeakArrival q = peak_and_arrival(gauges.series(0));
  const PeakArrival e = closed_form_peak_and_arrival(stations[0]);
  EXPECT_NEAR(q.peak, e.peak, 2e-3 * e.peak);
  EXPECT_NEAR(q.arrival, e.arrival, 2e-3 * (e.arrival - kStart));
}

TEST(FrontsOnFineGrids, TheClosedFormCarriesThePulseAtTheFlowSpeed) {
  // A check of the check: the half-peak arrives about x / v after the pulse
  // starts (dispersion moves it by less than a few per cent this far down),
  // and the peak of a 1.5-hour pulse flattens with distance.
  const double v = kFlow / kArea;
  double last_peak = kLevel;
  for (double x : {2000.0, 4000.0, 7000.0}) {
    const PeakArrival e = closed_form_peak_and_arrival(x);
    EXPECT_NEAR(e.arrival - kStart, x / v, 0.03 * x / v) << x;
    EXPECT_LT(e.peak, last_peak) << x;
    EXPECT_GT(e.peak, 0.5 * kLevel) << x;
    last_peak = e.peak;
  }
}

}  // namespace
}  // namespace qz5::engine_test
