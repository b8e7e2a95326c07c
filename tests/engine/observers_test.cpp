// Observers are a list, told in order; any of them may end the run, and one
// that fails is the run's output failure. Either way every report made so
// far has reached every observer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/run_state.h"
#include "engine_util.h"

namespace qz5::engine_test {
namespace {

// Logs every call under its name into a shared log; asks to stop, or
// throws, at the call given.
class Scripted : public Observer {
 public:
  enum class At { kNever, kStart, kStep, kOutput };
  Scripted(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  At stop_at = At::kNever;
  At throw_at = At::kNever;
  int at_count = 0;  // the step or output count at which to act

  void on_start(const RunContext& ctx, const Snapshot&) override {
    context_ok = ctx.state.NEQ == (ctx.ms.NCOMP + 1) * ctx.ms.NPTS;
    act(At::kStart, 0, "start");
  }
  void on_step(const StepInfo& step, const Snapshot& s) override {
    ++steps;
    last_step_t = s.t;
    last_step_model_t = step.t_reached;
    act(At::kStep, steps, "step");
  }
  void on_output(int i, int, const Snapshot& s, const IntegratorStatistics&) override {
    last_output_t = s.t;
    act(At::kOutput, i, "output " + std::to_string(i));
  }
  bool stop_requested() const override { return stop_; }

  int steps = 0;
  double last_step_t = -1.0, last_step_model_t = -1.0, last_output_t = -1.0;
  bool context_ok = false;

 private:
  void act(At where, int count, const std::string& what) {
    if (what != "step") log_.push_back(name_ + ": " + what);
    if (stop_at == where && count == at_count) stop_ = true;
    if (throw_at == where && count == at_count) stop(name_ + " cannot write");
  }
  std::string name_;
  std::vector<std::string>& log_;
  bool stop_ = false;
};

struct StopCase {
  std::string name;
  Scripted::At stop_at, throw_at;
  int at_count;
  Outcome outcome;
  std::string message;
  int outputs_done;
  std::vector<std::string> log;  // both observers' calls in order (steps not logged)
};

TEST(Observers, AnyObserverMayEndTheRunAndEveryReportSoFarReachesEveryObserver) {
  using At = Scripted::At;
  const std::vector<StopCase> cases = {
      {"nobody stops", At::kNever, At::kNever, 0, Outcome::kCompleted, "", 3,
       {"a: start", "b: start", "a: output 1", "b: output 1", "a: output 2", "b: output 2",
        "a: output 3", "b: output 3"}},
      {"stop at the start", At::kStart, At::kNever, 0, Outcome::kStoppedByCaller,
       "stopped by the caller", 0, {"a: start", "b: start"}},
      {"stop after the fifth step", At::kStep, At::kNever, 5, Outcome::kStoppedByCaller,
       "stopped by the caller", 0, {"a: start", "b: start"}},
      {"stop at the second output", At::kOutput, At::kNever, 2, Outcome::kStoppedByCaller,
       "stopped by the caller", 2,
       {"a: start", "b: start", "a: output 1", "b: output 1", "a: output 2", "b: output 2"}},
      {"the first observer fails at the second output", At::kNever, At::kOutput, 2,
       Outcome::kOutputFailure, "a cannot write", 1,
       {"a: start", "b: start", "a: output 1", "b: output 1", "a: output 2"}},
  };
  Scenario s = bundled();
  s.inputs.NTIMES = 3;  // output times 4, 8 and 12 days
  RunOptions options;
  options.observe_steps = true;
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> log;
    Scripted a("a", log), b("b", log);
    a.stop_at = c.stop_at;
    a.throw_at = c.throw_at;
    a.at_count = c.at_count;
    const Summary sum = run_scenario(s, options, {&a, &b});
    EXPECT_EQ(to_string(sum.outcome), std::string(to_string(c.outcome)));
    EXPECT_EQ(sum.message, c.message);
    EXPECT_EQ(sum.outputs_done, c.outputs_done);
    EXPECT_TRUE(sum.solution_usable());
    EXPECT_EQ(log, c.log);
    EXPECT_TRUE(a.context_ok && b.context_ok);
    // The second observer saw every step the first saw, and no more.
    EXPECT_EQ(b.steps, a.steps);
    if (c.stop_at == At::kStep) {
      EXPECT_EQ(a.steps, 5);
      // The run ended at the fifth step's mesh point.
      EXPECT_DOUBLE_EQ(sum.t_reached, a.last_step_t);
      EXPECT_GT(sum.t_reached, 0.0);
      EXPECT_LT(sum.t_reached, 4.0);
    } else if (c.stop_at == At::kStart) {
      EXPECT_EQ(a.steps, 0);
      EXPECT_EQ(sum.t_reached, 0.0);
    } else if (c.outputs_done > 0) {
      EXPECT_NEAR(sum.t_reached, 4.0 * c.outputs_done + (c.throw_at == At::kOutput ? 4.0 : 0.0),
                  1e-9);
    }
  }
}

TEST(Observers, AStoppedRunDeliversWhatTheFullRunDeliversUpToTheStop) {
  Scenario s = bundled();
  s.inputs.NTIMES = 3;
  Keeper full;
  ASSERT_TRUE(run_scenario(s, {}, &full).completed());
  ASSERT_EQ(full.profiles.size(), 4u);

  std::vector<std::string> log;
  Scripted stopper("stopper", log);
  stopper.stop_at = Scripted::At::kOutput;
  stopper.at_count = 2;
  Keeper kept;
  const Summary sum = run_scenario(s, {}, {&kept, &stopper});
  ASSERT_EQ(sum.outcome, Outcome::kStoppedByCaller);
  ASSERT_EQ(kept.profiles.size(), 3u);
  for (std::size_t i = 0; i < kept.profiles.size(); ++i) {
    EXPECT_EQ(kept.profiles[i].t, full.profiles[i].t);
    EXPECT_EQ(kept.profiles[i].x, full.profiles[i].x);
    EXPECT_EQ(kept.profiles[i].c, full.profiles[i].c);
  }
  EXPECT_EQ(legacy_ending(sum).status, kExitBadInput);
}

}  // namespace
}  // namespace qz5::engine_test
