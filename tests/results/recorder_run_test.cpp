// The record of the bundled run: its layout (every variable with units and a
// long name, sizes that match the run), its station series at the grid ends
// against the profiles and against the boundary file, and how a failed run
// is recorded.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "e2e/scenario.h"
#include "results/run_support.h"
#include "results/sha256.h"

namespace qz5::results {
namespace {
using namespace testing_support;

constexpr double kHead = 0.0, kMouth = 23330.0;  // the bundled reach

RecorderOptions all_outputs() {
  RecorderOptions opt;
  opt.stations = {kHead, 5000.0, kMouth};
  opt.budget = true;
  opt.constituents = parse_constituents("salinity:psu,DOC:umol/L").items;
  opt.length_unit = "m";
  opt.extra_inputs = {{"names", "estuary.fn"}};
  return opt;
}

const RecordedRun& bundled_run() {
  static const RecordedRun run =
      run_recorded(copy_of_bundled("recorder_bundled"), "estuary.fn", all_outputs());
  return run;
}

TEST(RecorderRunTest, LayoutMatchesTheRun) {
  const RecordedRun& run = bundled_run();
  ASSERT_TRUE(run.summary.completed()) << run.summary.message;
  const RunRecord& r = run.record();
  EXPECT_EQ(r.dimension("time")->size, 31u);  // the start and 30 output times
  EXPECT_EQ(r.dimension("point")->size, 81u);
  EXPECT_EQ(r.dimension("station")->size, 3u);
  EXPECT_EQ(r.dimension("interval")->size, 30u);
  // The start, each accepted step and each output time that no step landed on.
  const std::size_t samples = r.dimension("station_time")->size;
  EXPECT_GE(samples, static_cast<std::size_t>(run.summary.statistics.steps));
  EXPECT_LE(samples, static_cast<std::size_t>(run.summary.statistics.steps) + 31u);

  for (const Variable& v : r.variables) {
    SCOPED_TRACE(v.name);
    EXPECT_NE(v.text("long_name"), "");
    std::size_t n = 1;
    for (std::size_t s : r.shape(v)) n *= s;
    if (v.is_text) {  // labels: text, no units
      EXPECT_EQ(v.strings.size(), n);
      EXPECT_TRUE(v.data.empty());
      continue;
    }
    EXPECT_NE(v.text("units"), "");
    EXPECT_EQ(v.data.size(), n);
  }
  const Variable* terms = r.variable("term_name");
  ASSERT_NE(terms, nullptr);
  ASSERT_EQ(terms->strings.size(), static_cast<std::size_t>(kBudgetTerms));
  EXPECT_EQ(terms->strings[kClosingError], "closing_error");
  EXPECT_EQ(r.variable("budget_DOC")->text("coordinates"), "term_name");
  EXPECT_EQ(r.variable("salinity")->text("standard_name"), "sea_water_salinity");
  EXPECT_EQ(r.variable("DOC")->text("units"), "umol/L");
  EXPECT_EQ(r.variable("c3")->text("units"), "file units");
  EXPECT_EQ(r.variable("budget_DOC")->text("units"), "umol/L m3");
  EXPECT_EQ(r.variable("x")->text("units"), "m");
  EXPECT_NE(r.variable("c6"), nullptr);
  // 2 + 6 profile variables, 2 + 6 station variables, 3 + 6 budget variables.
  EXPECT_EQ(r.variables.size(), 8u + 8u + 9u);

  auto text = [&](const char* name) { return std::get<std::string>(*r.attribute(name)); };
  auto integer = [&](const char* name) { return std::get<long long>(*r.attribute(name)); };
  EXPECT_EQ(text("Conventions"), "CF-1.8");
  EXPECT_EQ(text("status"), "complete");
  EXPECT_EQ(text("message"), "Ready");
  EXPECT_EQ(integer("NPTS"), 81);
  EXPECT_EQ(std::get<double>(*r.attribute("RTOL")), 1e-4);
  EXPECT_EQ(integer("integrator_steps"), run.summary.statistics.steps);
  EXPECT_EQ(r.attribute("failure_message"), nullptr);
  std::ifstream prm(bundled_scenario() / "estuary.prm", std::ios::binary);
  std::stringstream bytes;
  bytes << prm.rdbuf();
  EXPECT_EQ(text("input_parameters"), "estuary.prm");
  EXPECT_EQ(text("input_parameters_sha256"), sha256_hex(bytes.str()));
  EXPECT_EQ(text("input_names"), "estuary.fn");
  EXPECT_EQ(text("input_initial_profile"), "estuary.UT0");

  // Times increase strictly in every time coordinate.
  for (const char* name : {"time", "station_time", "interval"}) {
    const auto& t = data(r, name);
    for (std::size_t i = 1; i < t.size(); ++i) EXPECT_GT(t[i], t[i - 1]) << name << " " << i;
  }
}

TEST(RecorderRunTest, StationsOnTheGridEndsEqualTheEndPointsAtEveryOutputTime) {
  const RunRecord& r = bundled_run().record();
  const auto& time = data(r, "time");
  const auto& st = data(r, "station_time");
  const std::size_t npts = 81, ns = 3;
  for (const char* name : {"salinity", "DOC", "c3", "c4", "c5", "c6"}) {
    SCOPED_TRACE(name);
    const auto& profile = data(r, name);
    const auto& series = data(r, std::string("station_") + name);
    std::size_t j = 0;
    for (std::size_t i = 0; i < time.size(); ++i) {
      while (j < st.size() && st[j] < time[i]) ++j;
      ASSERT_LT(j, st.size());
      ASSERT_EQ(st[j], time[i]);
      EXPECT_EQ(series[j * ns + 0], profile[i * npts]) << "t=" << time[i];
      EXPECT_EQ(series[j * ns + 2], profile[i * npts + npts - 1]);
    }
  }
}

// The second boundary's series from the boundary file: after the line of the
// two positions, rows of a time and six values per boundary.
std::vector<std::vector<double>> boundary_rows() {
  std::ifstream in(bundled_scenario() / "estuary.bnd");
  std::string line;
  std::getline(in, line);
  std::vector<std::vector<double>> rows;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::vector<double> row;
    double v = 0;
    while (ls >> v) row.push_back(v);
    if (row.size() == 13) rows.push_back(row);
  }
  return rows;
}

double second_boundary(const std::vector<std::vector<double>>& rows, double t, int k) {
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    if (t <= rows[i + 1][0]) {
      const double f = (t - rows[i][0]) / (rows[i + 1][0] - rows[i][0]);
      return rows[i][7 + k] + (rows[i + 1][7 + k] - rows[i][7 + k]) * f;
    }
  }
  return rows.back()[7 + k];
}

TEST(RecorderRunTest, StationAtTheMouthFollowsTheSecondBoundarySeries) {
  // The mouth holds the second boundary's concentration through an
  // algebraic row that the integrator's corrector solves; its tests weigh
  // each value with RTOL |c| + ATOL, which bounds the difference. Measured:
  // at most 0.49 of that at the steps, 0.89 at the output times, where the
  // integrator interpolates between steps (DIN at day 92).
  const RunRecord& r = bundled_run().record();
  const auto rows = boundary_rows();
  ASSERT_GE(rows.size(), 10u);
  const auto& st = data(r, "station_time");
  const double rtol = 1e-4, atol = 1e-3;
  const char* names[] = {"salinity", "DOC", "c3", "c4", "c5", "c6"};
  double worst = 0.0;
  for (int k = 0; k < 6; ++k) {
    const auto& series = data(r, std::string("station_") + names[k]);
    for (std::size_t j = 0; j < st.size(); ++j) {
      const double expected = second_boundary(rows, st[j], k);
      const double diff = std::abs(series[j * 3 + 2] - expected);
      EXPECT_LE(diff, rtol * std::abs(expected) + atol) << names[k] << " at t=" << st[j];
      worst = std::max(worst, diff / (rtol * std::abs(expected) + atol));
    }
  }
  RecordProperty("worst_fraction_of_bound", std::to_string(worst));
}

TEST(RecorderRunTest, FailedRunKeepsEveryCompletedTimeAndSaysWhy) {
  RecorderOptions opt = all_outputs();
  RunOptions ro;
  ro.max_steps_per_interval = 40;  // the bundled run needs up to 102 in an interval
  const RecordedRun run = run_recorded(copy_of_bundled("recorder_failed"), "estuary.fn", opt, ro);
  ASSERT_EQ(run.summary.outcome, Outcome::kIntegrationFailure);
  const RunRecord& r = run.record();
  const std::size_t done = static_cast<std::size_t>(run.summary.outputs_done);
  // The start, the completed output times and the time reached.
  EXPECT_EQ(r.dimension("time")->size, done + 2);
  EXPECT_EQ(r.dimension("interval")->size, done + 1);
  EXPECT_EQ(data(r, "time").back(), run.summary.t_reached);
  EXPECT_EQ(std::get<std::string>(*r.attribute("status")), "failed");
  EXPECT_EQ(std::get<long long>(*r.attribute("exit_status")), 2);
  EXPECT_NE(std::get<std::string>(*r.attribute("failure_message")).find("DASSL error (IDID = -1"),
            std::string::npos);
}

TEST(RecorderRunTest, CheckRefusesStationsOutsideTheReachAndTooManyNames) {
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  const auto dir = copy_of_bundled("recorder_check");
  const Scenario s = read_scenario(io, dir / "estuary.fn");
  RecorderOptions opt;
  opt.stations = {0.0, 23330.0};
  EXPECT_EQ(Recorder::check(opt, s), "");
  opt.stations = {100.0, 23331.0};
  EXPECT_EQ(Recorder::check(opt, s),
            "station 2 at 23331.000000 lies outside the reach 0.000000 .. 23330.000000");
  opt.stations = {-0.5};
  EXPECT_NE(Recorder::check(opt, s).find("station 1 at -0.5"), std::string::npos);
  opt.stations = {};
  opt.constituents = parse_constituents("a,b,c,d,e,f,g").items;
  EXPECT_EQ(Recorder::check(opt, s), "7 constituent names given for 6 constituents");
}

}  // namespace
}  // namespace qz5::results
