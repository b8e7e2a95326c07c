// The bundled estuary scenario, set up for benchmarks.
//
// The benchmarks measure the program on the data it is shipped with, not on a
// toy problem: ScenarioDir copies examples/estuary into a fresh temporary
// folder (optionally with another number of grid points) and makes it the
// working directory; LoadedScenario then loads it exactly as the run driver
// does and integrates to the first output time, so that residuals and
// iteration matrices are evaluated at a state the integrator really visits.
#pragma once

#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "engine/run_session.h"
#include "integrator/ddassl.h"
#include "model/estuary_model.h"
#include "textio/textio.h"

namespace qz5::bench {

// A scratch copy of the bundled scenario for the lifetime of the object.
class ScenarioDir {
 public:
  // npts 0 keeps the scenario's own grid. Any other count (3..142) is written
  // into the parameter file and the initial profile is resampled onto that
  // many evenly spaced points by linear interpolation.
  explicit ScenarioDir(int npts = 0);
  ~ScenarioDir();
  ScenarioDir(const ScenarioDir&) = delete;
  ScenarioDir& operator=(const ScenarioDir&) = delete;
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// The scenario loaded by problem set-up and SETSKM and integrated to its
// first output time (the integrator's state, error weights, step size and
// leading coefficient are those it reached there). Throws std::runtime_error
// when the set-up or the integration does not succeed.
class LoadedScenario {
 public:
  explicit LoadedScenario(int npts);

  int neq() { return session_->state().NEQ; }
  // One call of the driver's residual routine at the state reached; returns
  // IRES (0 for a normal evaluation).
  int residual();
  // One banded iteration-matrix formation by differences of the residual,
  // with its factorisation, at the state reached (around the residual there,
  // evaluated once at construction); returns SINGULAR.
  int iteration_matrix();
  // Largest magnitude of the last residual (keeps the work observable).
  double last_residual_norm() const;

 private:
  ScenarioDir dir_;
  std::istringstream console_in_;
  std::ostringstream console_out_;
  Units io_;
  Scenario scenario_;
  std::unique_ptr<RunSession> session_;
  ResidualFn res_;
  JacobianFn jac_;
  std::vector<double> delta_;
};

}  // namespace qz5::bench
