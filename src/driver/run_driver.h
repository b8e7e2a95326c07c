// The run driver: the main program of qz5 as a function.
//
// It opens the two run logs, has the problem set up, prepares the moving-grid
// discretisation, checks the integrator's workspace against the fixed
// limits, writes the run header and the initial profile, and then advances
// the solution from one output time to the next, writing a profile block and
// the integrator statistics at each. Every end of the run - "Ready",
// "DASSL error", or any stop on the way - goes through the stop mechanism;
// run_qz5 catches it, writes the stop text, closes every file and returns the
// exit status, so tests can run whole programs on string streams.
#pragma once

#include "discretisation/pde_problem.h"
#include "discretisation/skm_state.h"
#include "input/model_state.h"
#include "textio/textio.h"

namespace qz5 {

// Everything one run shares: the model state and the discretisation state.
// Large (the integrator's workspace alone is 56000 reals): create it once.
struct RunState {
  ModelState ms;
  SkmState skm;
};

// Runs the whole program on the unit table; returns the exit status
// (0 "Ready", 1 stopped on bad input or a set-up failure, 2 "DASSL error").
int run_qz5(Units& io, RunState& state, int argc, const char* const* argv);

// What the main program does between problem set-up and the run header:
// the domain ends, the discretisation set-up (stops with "Error in SETSKM"
// when it refuses), the integrator options and the workspace checks (stops
// with "Workspace too small"). Afterwards the state is ready for the first
// integrator call from TSTART.
void prepare_integration(Units& io, RunState& state, PdeProblem& model);

// The main program's sequence; ends by throwing Stop, also on success.
[[noreturn]] void run_main_program(Units& io, RunState& state, int argc,
                                   const char* const* argv);

}  // namespace qz5
