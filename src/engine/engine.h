// The engine: runs a scenario and reports what happens to an observer.
//
// This is where a host program meets the model: the legacy executable, the
// Python package, an ensemble worker. One call runs one scenario from its
// start time through its output times. It never ends the process: every
// failure, of the input or of the integration, comes back in the summary.
// It keeps no state between calls and shares none with other calls, so
// several scenarios can run one after another or in several threads at once.
//
//   qz5::Units io;                                   // or a captured console
//   qz5::Scenario s = qz5::read_scenario(io, "estuary.fn");
//   qz5::RunOptions opt;
//   opt.rtol = 1e-6;
//   MyObserver obs;                                  // derives from qz5::Observer
//   qz5::Summary r = qz5::run_scenario(s, opt, &obs, io);
//   if (!r.completed()) std::cerr << to_string(r.outcome) << ": " << r.message << "\n";
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "discretisation/skm_state.h"
#include "engine/scenario.h"
#include "engine/validation.h"
#include "input/inputs.h"
#include "textio/textio.h"

namespace qz5 {

class ModelQuery;
struct RunState;

// The fixed workspace sizes of the legacy program. A run given them refuses
// a grid or workspace that does not fit, with the legacy messages; a run
// without them sizes everything from the scenario.
struct Capacities {
  int LENWK = kLenWk;
  int MXNEQ = qz5::MXNEQ;
  int MXLIW = qz5::MXLIW;
  int MXLRW = qz5::MXLRW;
  // Printed after a capacity refusal, when not empty (how to lift the limit).
  std::string hint;
};

// The default limit of accepted integrator steps between two output times:
// 100 per grid point, and at least 5000. The bundled scenario (81 points)
// takes at most 102 steps in an interval and the test suite's runs of up to
// 142 points at most 341; finer grids need more (a 400-point reach about
// 5500), roughly in proportion to the points. A run that needs far more is
// crawling on ever smaller steps, not progressing; at about 1400 steps a
// second, the limit ends it within seconds.
long default_step_limit(int npts);

struct RunOptions {
  // Overrides of the scenario's tolerances and grid smoothing (unset: the
  // scenario's own RTOL, ATOL, TAU, KAPPA, ALPHA).
  std::optional<double> rtol, atol, tau, kappa, alpha;
  // Accepted steps allowed between two output times before the run ends as
  // an integration failure (IDID = -1, "too much work"); 0: the default,
  // default_step_limit(NPTS).
  long max_steps_per_interval = 0;
  // Form the iteration matrix from the derivatives of the residual instead
  // of by differences (23 residual evaluations per matrix).
  bool exact_jacobian = false;
  // With the matrix by differences: the grid positions' increments set by
  // each position's distance to its neighbours instead of its magnitude
  // (the distance from the coordinates' origin). The grid rows bend on the
  // scale of the intervals; increments set by the magnitude give their
  // quotients truncation errors of increment/interval, which the nearly
  // algebraic grid equations of a small TAU amplify until the corrector
  // stops converging (the crawl of fine grids where a front leaves through
  // a free outflow).
  bool spaced_position_increments = false;
  // The grid positions left out of the integrator's local error test and
  // order selection: only the concentrations' error estimates decide the
  // steps (the positions still take part in the corrector's convergence).
  bool positions_out_of_error_test = false;
  // Tolerances of the grid positions alone (model length units; unset: the
  // concentrations' RTOL and ATOL). Setting either gives the integrator
  // vector tolerances (INFO(2) = 1): the positions need not be resolved as
  // tightly as the concentrations.
  std::optional<double> position_rtol, position_atol;
  // With INFO10 = 1: project small negative values away and reject steps
  // that go negative beyond the tolerance, instead of the legacy clip that
  // makes coarse grids crawl (the integrator's NonNegative::kProject).
  bool project_negative = false;
  // Means over each grid interval instead of values at its midpoint: the
  // lateral inputs' flow and load integrated in closed form (the load each
  // input specifies reaches the channel on any grid), and the geometry
  // table's area and effective A*D (a step or detail finer than the grid is
  // integrated, not sampled). Not with exact_jacobian.
  bool exact_sources = false;
  bool averaged_channel = false;
  // Call Observer::on_step after every accepted step.
  bool observe_steps = false;
  // Legacy workspace limits; unset: limited only by memory.
  std::optional<Capacities> capacities;
  // The legacy program's own answers to what its readers accept: a grid
  // too small is SETSKM's refusal, a negative tolerance the integrator's
  // report and "DASSL error", no output times a run of the initial profile
  // alone. validate(scenario) is then not asked (the readers have checked
  // what the legacy program checks); the options are checked all the same.
  bool legacy_answers = false;

  // Every problem of the options (overrides finite and not negative, the
  // step limit not negative); empty when they can be used.
  FieldProblems validate() const;
};

// The integrator's counters, cumulative over the run.
struct IntegratorStatistics {
  int steps = 0;                 // accepted steps
  int residuals = 0;             // residual evaluations outside the forming of matrices
  int matrices = 0;              // iteration-matrix evaluations
  int error_test_failures = 0;
  int convergence_failures = 0;
};

// The solution at one moment, in file units and double precision. Valid
// only during the observer call.
struct Snapshot {
  double t = 0.0;           // days
  int npts = 0;
  int ncomp = 0;
  const double* x = nullptr;  // npts positions, file length units
  const double* c = nullptr;  // concentrations, file units: c[(j-1)*ncomp + (k-1)] is
                              // constituent k at point j
};

// The last accepted step, as the integrator keeps it.
struct StepInfo {
  double t_reached = 0.0;  // model time reached
  double h_last = 0.0;     // size of the last step, model time
  int order_last = 0;      // order of the last step
};

// What the run is, for observers that need more than the solution, valid
// from on_start to the run's end and read-only: the inputs (header values,
// unit factors, file names), the run state (the tolerances in force, the
// solution in model units), the grid, and the model's query (the
// coefficients the residual takes: area, dispersion, flow, lateral sources,
// reaction rates).
struct RunContext {
  const Inputs& ms;
  const RunState& state;
  const SkmState& skm;
  const ModelQuery& model;
  const Scenario& scenario;
};

class Observer {
 public:
  virtual ~Observer() = default;
  // Once, after set-up, with the initial profile at the start time.
  virtual void on_start(const RunContext& /*ctx*/, const Snapshot& /*s*/) {}
  // After every accepted step (only with RunOptions::observe_steps); the
  // snapshot is the solution at the step's mesh point.
  virtual void on_step(const StepInfo& /*step*/, const Snapshot& /*s*/) {}
  // At output time number i (1-based) - or, when the integration fails on
  // the way to it, at the time reached, with idid < 0.
  virtual void on_output(int /*i*/, int /*idid*/, const Snapshot& /*s*/,
                         const IntegratorStatistics& /*stats*/) {}
  // When the residual refuses a state the integrator tried (its grid not
  // strictly increasing) at model time t; the integrator retries with a
  // smaller step.
  virtual void on_illegal_solution(double /*t_model*/) {}
  // Asked after each of the calls above: true ends the run there, as
  // "stopped by the caller", with every report made so far delivered to
  // every observer.
  virtual bool stop_requested() const { return false; }
};

// The observers of one run, told in this order.
using Observers = std::vector<Observer*>;

// What became of a run.
enum class Outcome {
  kCompleted,           // every output time reached
  kBadInput,            // the scenario or the options break a rule (Summary::problems),
                        // or the inputs do not cover the run (a driver's time range)
  kSetupFailure,        // the grid, the workspace, the channel or the initial profile refused
  kIntegrationFailure,  // the integrator gave up (Summary::idid < 0)
  kStoppedByCaller,     // an observer asked the run to stop
  kOutputFailure,       // an observer could not deliver what it was given
};

// "completed", "bad input", "set-up failure", "integration failure",
// "stopped by the caller", "output failure".
const char* to_string(Outcome outcome);

struct Summary {
  Outcome outcome = Outcome::kCompleted;
  // What went wrong, empty when completed: the first problem of bad input
  // ("field: message"), the refusal's stop text ("Error in SETSKM", ...),
  // the integrator's failure, the observer's message.
  std::string message;
  FieldProblems problems;   // bad input: every problem found
  int idid = 0;             // the integrator's last result code
  double t_reached = 0.0;   // days
  int outputs_done = 0;     // output times reached
  IntegratorStatistics statistics;
  std::string console;      // what the run wrote to its console, when captured

  bool completed() const { return outcome == Outcome::kCompleted; }
  // The solution up to t_reached is the integrator's accepted solution
  // (every output delivered so far is sound): a run that completed, or that
  // was ended during the integration by the integrator, by an observer or by
  // an output that failed.
  bool solution_usable() const {
    return outcome == Outcome::kCompleted || outcome == Outcome::kIntegrationFailure ||
           outcome == Outcome::kStoppedByCaller || outcome == Outcome::kOutputFailure;
  }
};

// The legacy program's ending of a run, in the one place it is decided: the
// exit status (0 completed, 2 integration failure, 1 anything else) and the
// stop text ("Ready", "DASSL error", else the summary's message).
struct LegacyEnding {
  int status = kExitReady;
  std::string text;
};
LegacyEnding legacy_ending(const Summary& summary);

// Runs the scenario. Console lines (warnings, framed reports, messages of a
// refusal) go to io's console; the stop text of a failure is not written
// but returned in the summary. Never throws for a failure of the input or
// of the integration.
Summary run_scenario(const Scenario& scenario, const RunOptions& options,
                     const Observers& observers, Units& io);
Summary run_scenario(const Scenario& scenario, const RunOptions& options, Observer* observer,
                     Units& io);

// The same with the console captured into Summary::console.
Summary run_scenario(const Scenario& scenario, const RunOptions& options,
                     const Observers& observers);
Summary run_scenario(const Scenario& scenario, const RunOptions& options = {},
                     Observer* observer = nullptr);

}  // namespace qz5
