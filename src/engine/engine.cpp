#include "engine/engine.h"

#include <exception>
#include <memory>
#include <sstream>
#include <utility>

#include "engine/run_session.h"
#include "input/problem_setup.h"
#include "input/uinit.h"

namespace qz5 {

Scenario read_scenario(Units& io, const std::filesystem::path& names_file,
                       const ScenarioReadOptions& options) {
  Scenario s;
  if (options.kinetics != nullptr && options.kinetics->declared())
    s.inputs.kinetics_ncomp = options.kinetics->ncomp();
  s.kinetics = options.kinetics;
  std::string title(kFileNameLength, ' ');
  iniprb_qz5(io, s.inputs, title, names_file, options);
  s.title = title.substr(0, title.find_last_not_of(' ') + 1);
  if (options.read_profile && s.inputs.USE_UT0) load_initial_profile(io, s.inputs);
  return s;
}

Scenario read_scenario(Units& io, const std::filesystem::path& names_file) {
  ScenarioReadOptions options;
  options.legacy_limits = false;
  options.base_folder = std::filesystem::absolute(names_file).parent_path();
  return read_scenario(io, names_file.filename(), options);
}

const char* to_string(Outcome outcome) {
  switch (outcome) {
    case Outcome::kCompleted: return "completed";
    case Outcome::kBadInput: return "bad input";
    case Outcome::kSetupFailure: return "set-up failure";
    case Outcome::kIntegrationFailure: return "integration failure";
    case Outcome::kStoppedByCaller: return "stopped by the caller";
    case Outcome::kOutputFailure: return "output failure";
  }
  return "unknown";
}

LegacyEnding legacy_ending(const Summary& summary) {
  switch (summary.outcome) {
    case Outcome::kCompleted: return {kExitReady, "Ready"};
    case Outcome::kIntegrationFailure: return {kExitDasslError, "DASSL error"};
    default: return {kExitBadInput, summary.message};
  }
}

namespace {

// A refusal by an observer, told apart from the run's own on the way out.
struct ObserverFault {
  Stop stop;
};

// Hands the run's reports to every observer in turn; what an observer
// throws is its own failure; any observer may ask the run to stop.
class Fanout : public Observer {
 public:
  explicit Fanout(const Observers& list) {
    for (Observer* o : list)
      if (o != nullptr) list_.push_back(o);
  }
  bool any() const { return !list_.empty(); }
  void on_start(const RunContext& ctx, const Snapshot& s) override {
    each([&](Observer& o) { o.on_start(ctx, s); });
  }
  void on_step(const StepInfo& step, const Snapshot& s) override {
    each([&](Observer& o) { o.on_step(step, s); });
  }
  void on_output(int i, int idid, const Snapshot& s, const IntegratorStatistics& st) override {
    each([&](Observer& o) { o.on_output(i, idid, s, st); });
  }
  void on_illegal_solution(double t_model) override {
    each([&](Observer& o) { o.on_illegal_solution(t_model); });
  }
  bool stop_requested() const override { return stop_; }

 private:
  template <class F>
  void each(F&& call) {
    try {
      for (Observer* o : list_) call(*o);
    } catch (const Stop& s) {
      throw ObserverFault{s};
    }
    for (const Observer* o : list_) stop_ = stop_ || o->stop_requested();
  }
  std::vector<Observer*> list_;
  bool stop_ = false;
};

void finish_summary(Summary& sum, const RunSession& run) {
  sum.statistics = run.statistics();
  sum.idid = run.state().IDID;
  const Inputs& in = run.inputs();
  sum.t_reached = run.state().T * (in.TUNIT_DAY / in.TUNIT_MODEL);
}

// The integration from the start time through the output times, filling
// the summary as it goes.
void integrate(RunSession& run, Fanout& observer, Summary& sum) {
  auto stopped = [&] {
    if (!observer.stop_requested()) return false;
    sum.outcome = Outcome::kStoppedByCaller;
    sum.message = "stopped by the caller";
    return true;
  };
  observer.on_start(run.context(), run.snapshot());
  if (stopped()) return;
  const int ntimes = run.inputs().NTIMES;
  Observer* steps = observer.any() ? &observer : nullptr;
  for (int i = 1; i <= ntimes; ++i) {
    const int idid = run.advance(i, steps);
    if (stopped()) return;  // after a step, before the output time
    observer.on_output(i, idid, run.snapshot(), run.statistics());
    if (idid < 0) {
      sum.outcome = Outcome::kIntegrationFailure;
      sum.message = "the integration failed (IDID = " + std::to_string(idid) + ")";
      return;
    }
    sum.outputs_done = i;
    if (stopped()) return;
  }
  sum.outcome = Outcome::kCompleted;
}

// The run proper: set-up, then the integration; a stop on the way says
// what failed.
void run_to_end(RunSession& run, Fanout& observer, Summary& sum) {
  try {
    run.prepare();
  } catch (const Stop& s) {
    sum.outcome = Outcome::kSetupFailure;
    sum.message = s.text;
    return;
  }
  try {
    integrate(run, observer, sum);
  } catch (const ObserverFault& f) {
    sum.outcome = Outcome::kOutputFailure;
    sum.message = f.stop.text;
  } catch (const Stop& s) {
    // The model's look-ups stop for inputs that do not cover the run.
    sum.outcome = Outcome::kBadInput;
    sum.message = s.text;
  }
}

FieldProblems problems_of(const Scenario& scenario, const RunOptions& options) {
  FieldProblems problems = options.validate();
  if (!options.legacy_answers) {
    FieldProblems more = validate(scenario);
    problems.insert(problems.end(), more.begin(), more.end());
  }
  return problems;
}

}  // namespace

Summary run_scenario(const Scenario& scenario, const RunOptions& options,
                     const Observers& observers, Units& io) {
  Summary sum;
  sum.problems = problems_of(scenario, options);
  if (!sum.problems.empty()) {
    sum.outcome = Outcome::kBadInput;
    sum.message = sum.problems.front().text();
    return sum;
  }
  std::unique_ptr<RunSession> run;
  try {
    run = std::make_unique<RunSession>(scenario, options, io);
    Fanout fanout(observers);
    run_to_end(*run, fanout, sum);
  } catch (const std::exception& e) {
    // A fault of the program itself, not of the input: still a summary.
    sum.outcome = Outcome::kSetupFailure;
    sum.message = std::string("qz5: internal error: ") + e.what();
  }
  if (run) finish_summary(sum, *run);
  return sum;
}

Summary run_scenario(const Scenario& scenario, const RunOptions& options, Observer* observer,
                     Units& io) {
  return run_scenario(scenario, options, Observers{observer}, io);
}

Summary run_scenario(const Scenario& scenario, const RunOptions& options,
                     const Observers& observers) {
  std::istringstream in;
  std::ostringstream console;
  Summary sum;
  {
    Units io(in, console);
    sum = run_scenario(scenario, options, observers, io);
  }
  sum.console = console.str();
  return sum;
}

Summary run_scenario(const Scenario& scenario, const RunOptions& options, Observer* observer) {
  return run_scenario(scenario, options, Observers{observer});
}

}  // namespace qz5
