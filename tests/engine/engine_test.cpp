// The engine as a host program uses it: runs return a summary instead of
// ending the process, one scenario can be run again and in several threads
// with the same results, and the legacy capacities apply only when asked for.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_util.h"

namespace qz5::engine_test {
namespace {

std::vector<Profile> run_kept(const Scenario& s, const RunOptions& opt = {}) {
  Keeper keeper;
  const Summary sum = run_scenario(s, opt, &keeper);
  EXPECT_TRUE(sum.completed()) << sum.message << "\n" << sum.console;
  return keeper.profiles;
}

void expect_same(const std::vector<Profile>& a, const std::vector<Profile>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i) {
    // Bit for bit: the same arithmetic in the same order.
    EXPECT_EQ(a[i].t, b[i].t) << what << ", block " << i;
    EXPECT_TRUE(a[i].x == b[i].x) << what << ", block " << i;
    EXPECT_TRUE(a[i].c == b[i].c) << what << ", block " << i;
  }
}

TEST(Engine, RunsAgainAndInTwoThreadsWithIdenticalResults) {
  const Scenario s = bundled();
  const std::vector<Profile> first = run_kept(s);
  ASSERT_EQ(first.size(), static_cast<std::size_t>(s.inputs.NTIMES + 1));
  expect_same(first, run_kept(s), "second run");

  std::vector<Profile> a, b;
  std::thread ta([&] { a = run_kept(s); });
  std::thread tb([&] { b = run_kept(s); });
  ta.join();
  tb.join();
  expect_same(first, a, "thread a");
  expect_same(first, b, "thread b");
  // The run starts from the profile file's grid and ends at the last output time.
  EXPECT_EQ(first.front().x.front(), 0.0);
  EXPECT_EQ(first.back().t, 120.0);
}

struct FailureCase {
  std::string name;
  std::function<void(Scenario&, RunOptions&)> tweak;
  Outcome outcome;
  int status;  // the executable's exit status for it
  std::string message;
  std::string console_has;
  int outputs_done;
};

TEST(Engine, FailuresComeBackInTheSummaryAndTheProcessGoesOn) {
  const std::vector<FailureCase> cases = {
      // Checked before the run: bad input naming the field, nothing written.
      {"grid of two points", [](Scenario& s, RunOptions&) { s.inputs.NPTS = 2; },
       Outcome::kBadInput, 1, "npts: at least 3 grid points needed, not 2", "", 0},
      {"negative tolerance", [](Scenario&, RunOptions& o) { o.rtol = -1.0; },
       Outcome::kBadInput, 1, "rtol: must be finite and not negative", "", 0},
      // The same with the legacy program's answers: SETSKM refuses the grid,
      // the integrator the tolerance.
      {"grid of two points, legacy",
       [](Scenario& s, RunOptions& o) {
         s.inputs.NPTS = 2;
         o.legacy_answers = true;
       },
       Outcome::kSetupFailure, 1, "Error in SETSKM", "SETSKM - NUMBER OF GRID POINTS LESS THAN 3",
       0},
      {"negative tolerance in the inputs", [](Scenario& s, RunOptions&) { s.inputs.RTOL = -1.0; },
       Outcome::kBadInput, 1, "rtol: must not be negative, not -1", "", 0},
      {"negative tolerance in the inputs, legacy",
       [](Scenario& s, RunOptions& o) {
         s.inputs.RTOL = -1.0;
         o.legacy_answers = true;
       },
       Outcome::kIntegrationFailure, 2, "DASSL error", "RTOL", 0},
      {"step limit", [](Scenario&, RunOptions& o) { o.max_steps_per_interval = 5; },
       Outcome::kIntegrationFailure, 2, "DASSL error", " 5 STEPS TAKEN SINCE THE LAST OUTPUT TIME",
       0},
      {"a time outside the driver",
       [](Scenario& s, RunOptions&) { s.inputs.TOUTS(2) = 1.0e6; }, Outcome::kBadInput, 1,
       "Stop - Program terminated.", "Var_drv::", 1},
  };
  const Scenario base = bundled();
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s = base;
    s.inputs.USE_UT0 = false;  // the profile file holds 81 points
    RunOptions opt;
    c.tweak(s, opt);
    Summary sum;
    EXPECT_NO_THROW(sum = run_scenario(s, opt));
    EXPECT_EQ(to_string(sum.outcome), std::string(to_string(c.outcome))) << sum.console;
    EXPECT_EQ(legacy_ending(sum).status, c.status) << sum.console;
    EXPECT_EQ(legacy_ending(sum).text, c.message);
    EXPECT_NE(sum.console.find(c.console_has), std::string::npos) << sum.console;
    EXPECT_EQ(sum.outputs_done, c.outputs_done);
  }
  // After all that, the scenario itself still runs to the end.
  const Summary ok = run_scenario(base);
  EXPECT_TRUE(ok.completed());
  EXPECT_EQ(ok.message, "");
  EXPECT_EQ(legacy_ending(ok).text, "Ready");
  EXPECT_EQ(ok.outputs_done, base.inputs.NTIMES);
  EXPECT_DOUBLE_EQ(ok.t_reached, 120.0);
  EXPECT_GT(ok.statistics.steps, 100);
}

TEST(Engine, LegacyCapacitiesApplyOnlyWhenAsked) {
  Scenario s = bundled();
  s.inputs.USE_UT0 = false;
  s.inputs.NPTS = 400;
  s.inputs.NTIMES = 2;
  RunOptions legacy;
  legacy.capacities = Capacities{};
  legacy.capacities->hint = "the hint";
  const Summary refused = run_scenario(s, legacy);
  EXPECT_EQ(refused.outcome, Outcome::kSetupFailure);
  EXPECT_EQ(refused.message, "Error in SETSKM");
  EXPECT_NE(refused.console.find(" the hint\n"), std::string::npos) << refused.console;

  Keeper keeper;
  const Summary sum = run_scenario(s, {}, &keeper);
  ASSERT_TRUE(sum.completed()) << sum.console;
  ASSERT_EQ(keeper.profiles.size(), 3u);
  const Profile& last = keeper.profiles.back();
  ASSERT_EQ(last.x.size(), 400u);
  // The grid still spans the reach (its ends are held there to roundoff),
  // in order.
  EXPECT_NEAR(last.x.front(), 0.0, 1e-9);
  EXPECT_NEAR(last.x.back(), 23330.0, 1e-9);
  for (std::size_t j = 1; j < last.x.size(); ++j) EXPECT_LT(last.x[j - 1], last.x[j]);
}

}  // namespace
}  // namespace qz5::engine_test
