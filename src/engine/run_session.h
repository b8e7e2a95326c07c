// One run in progress: the engine's working parts, for the engine itself and
// for programs that drive the integration step by step (benchmarks, the
// allocation test).
//
// The session reads the scenario's inputs where they are (the scenario must
// outlive it) and owns the run state and the model with its look-up
// positions; prepare() sizes the work area from the inputs, sets up the moving grid and the integrator and checks the
// channel; advance() integrates to one output time. Calling advance()
// before prepare() is a programming error.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "engine/engine.h"
#include "engine/run_state.h"
#include "integrator/ddassl.h"
#include "model/estuary_model.h"

namespace qz5 {

class RunSession {
 public:
  RunSession(const Scenario& scenario, const RunOptions& options, Units& io);
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  // Everything between reading the inputs and the first integrator call:
  // the check that the kinetics fit the inputs (NCOMP), the discretisation set-up (stops with "Error in SETSKM" when it
  // refuses), the integrator options, the workspace (checked against the
  // legacy capacities when the options carry them, else sized to fit), the
  // check that the channel's area and dispersion are positive over the
  // reach, and the initial profile's consistency warnings. Leaves T at
  // TSTART. Stops (throws Stop) on a refusal.
  void prepare();

  // Integrates to output time i, calling the observer's on_step after every
  // accepted step when the options ask for it; returns IDID (3 reached, < 0
  // failed; -1 also when the step limit of the interval is passed; 1 when
  // the observer asked to stop after a step).
  int advance(int i, Observer* observer);

  // The current solution in file units (buffers owned by the session).
  Snapshot snapshot();
  IntegratorStatistics statistics() const;
  StepInfo last_step() const;
  RunContext context() { return RunContext{in_, st_, skm_, model_, scenario_}; }

  const Inputs& inputs() const { return in_; }
  RunState& state() { return st_; }
  const RunState& state() const { return st_; }
  const SkmState& skm() const { return skm_; }
  EstuaryModel& model() { return model_; }
  const ResidualFn& residual() const { return residual_; }
  const JacobianFn& jacobian() const { return jac_; }
  // One integrator call with the session's arguments.
  void call_integrator();

 private:
  void apply_overrides();
  void size_and_set_up_grid();
  void set_integrator_options();
  void size_workspace();
  void check_channel();
  void check_kinetics();
  void warn_profile_mismatch();
  void too_much_work(long steps);

  const Scenario& scenario_;
  RunOptions options_;
  Units& io_;
  const Inputs& in_;
  RunState st_;
  SkmState skm_;
  EstuaryModel model_;
  std::unique_ptr<Integrator> integrator_;
  ResidualFn residual_;
  JacobianFn jac_;
  double rtol_ = 0.0;
  double atol_ = 0.0;
  // Per-unknown tolerances when the positions have their own (else empty).
  std::vector<double> rtols_, atols_;
  long step_limit_ = 0;
  Observer* observer_ = nullptr;  // told of refused states during advance()
  std::vector<double> x_, c_;
};

}  // namespace qz5
