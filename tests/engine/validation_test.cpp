// Bad input is found before a run and comes back as such, naming the field:
// never an assert inside the model, never an integration failure.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/validation.h"
#include "engine_util.h"

namespace qz5::engine_test {
namespace {

// Counts every call, so that a refused run can be seen to call none.
class Counter : public Observer {
 public:
  void on_start(const RunContext&, const Snapshot&) override { ++calls; }
  void on_step(const StepInfo&, const Snapshot&) override { ++calls; }
  void on_output(int, int, const Snapshot&, const IntegratorStatistics&) override { ++calls; }
  int calls = 0;
};

struct BadCase {
  std::string name;
  std::function<void(Scenario&, RunOptions&)> spoil;
  std::vector<FieldProblem> problems;  // every problem, in order
};

TEST(Validation, ScenariosBuiltInCodeComeBackAsBadInputNamingTheField) {
  const std::vector<BadCase> cases = {
      {"no constituents", [](Scenario& s, RunOptions&) { s.inputs.NCOMP = 0; },
       {{"ncomp", "must be 6, not 0: the reaction kinetics are written for six constituents"}}},
      {"five constituents", [](Scenario& s, RunOptions&) { s.inputs.NCOMP = 5; },
       {{"ncomp", "must be 6, not 5: the reaction kinetics are written for six constituents"}}},
      {"one grid point", [](Scenario& s, RunOptions&) { s.inputs.NPTS = 1; },
       {{"npts", "at least 3 grid points needed, not 1"}}},
      {"negative relative tolerance", [](Scenario& s, RunOptions&) { s.inputs.RTOL = -1e-4; },
       {{"rtol", "must not be negative, not -0.0001"}}},
      {"negative absolute tolerance", [](Scenario& s, RunOptions&) { s.inputs.ATOL = -2.0; },
       {{"atol", "must not be negative, not -2"}}},
      {"negative tolerance given as an option", [](Scenario&, RunOptions& o) { o.rtol = -1e-4; },
       {{"rtol", "must be finite and not negative"}}},
      {"no output times", [](Scenario& s, RunOptions&) { s.inputs.NTIMES = 0; },
       {{"touts", "no output times"}}},
      {"every fault at once, each named in the order of the fields",
       [](Scenario& s, RunOptions& o) {
         s.inputs.NCOMP = 0;
         s.inputs.NPTS = 1;
         s.inputs.RTOL = -1.0;
         s.inputs.NTIMES = 0;
         o.max_steps_per_interval = -3;
       },
       {{"max_steps_per_interval", "must not be negative (0: the default)"},
        {"ncomp", "must be 6, not 0: the reaction kinetics are written for six constituents"},
        {"npts", "at least 3 grid points needed, not 1"},
        {"rtol", "must not be negative, not -1"},
        {"touts", "no output times"}}},
  };
  // A scenario complete in memory: it needs no file from here on.
  Scenario base = bundled();
  ASSERT_EQ(validate(base), FieldProblems{});
  ASSERT_EQ(RunOptions{}.validate(), FieldProblems{});
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s = base;
    RunOptions options;
    c.spoil(s, options);
    Counter counter;
    const Summary sum = run_scenario(s, options, &counter);
    EXPECT_EQ(sum.outcome, Outcome::kBadInput);
    EXPECT_FALSE(sum.solution_usable());
    EXPECT_EQ(sum.problems, c.problems);
    EXPECT_EQ(sum.message, c.problems.front().field + ": " + c.problems.front().message);
    EXPECT_EQ(legacy_ending(sum).status, kExitBadInput);
    // Refused before anything ran: no observer call, no console line.
    EXPECT_EQ(counter.calls, 0);
    EXPECT_EQ(sum.console, "");
    EXPECT_EQ(sum.outputs_done, 0);
  }
}

TEST(Validation, TheRulesOfSingleFields) {
  EXPECT_FALSE(rules::ncomp(6));
  EXPECT_TRUE(rules::ncomp(7));
  EXPECT_FALSE(rules::npts(3));
  EXPECT_EQ(*rules::npts(2), "at least 3 grid points needed, not 2");
  EXPECT_FALSE(rules::not_negative(0.0));
  EXPECT_EQ(*rules::not_negative(std::nan("")), "not finite: nan");
  EXPECT_FALSE(rules::positive(1e-300));
  EXPECT_EQ(*rules::positive(0.0), "must be positive, not 0");
  // Rows of time and one value; a repeated time is a step, a decrease is not.
  const double steps[] = {0, 1, 1, 2, 1, 3};
  EXPECT_FALSE(rules::series(steps, 3, 2, 2, ""));
  const double back[] = {0, 1, 2, 2, 1, 3};
  EXPECT_EQ(*rules::series(back, 3, 2, 2, ""), "times decrease at row 2 (2 then 1)");
  EXPECT_EQ(*rules::series(back, 1, 2, 2, ""), "1 time points, at least 2 needed");
  EXPECT_EQ(*rules::series(back, 3, 2, 3, "why"), "2 columns given, 3 needed (why)");
  const double t[] = {0, 1}, v[] = {1, 2};
  EXPECT_FALSE(rules::driver(t, 2, v, 2));
  EXPECT_EQ(*rules::driver(t, 2, v, 1), "t_drv has 2 points, v_drv 1");
  double rx[kNumRxpar];
  for (double& x : rx) x = 1.0;
  EXPECT_FALSE(rules::rxpar(rx, kNumRxpar));
  rx[12] = 0.0;  // RXPAR(13) divides
  EXPECT_EQ(*rules::rxpar(rx, kNumRxpar), "RXPAR(13) must not be zero: the kinetics divide by it");
}

}  // namespace
}  // namespace qz5::engine_test
