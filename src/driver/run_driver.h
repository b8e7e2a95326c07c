// The legacy executable as a client of the engine.
//
// It opens the two run logs, reads the scenario from the names file, has the
// engine run it and writes what the engine reports in the legacy layout: the
// run header in both logs, one progress line per integrator step in RUNINF,
// one profile block per output time in the concentration file and the
// integrator statistics in RESULT. Every end of the run - "Ready",
// "DASSL error", or any stop on the way - goes through the stop mechanism;
// run_qz5 catches it, writes the stop text, closes every file and returns the
// exit status, so tests can run whole programs on string streams.
#pragma once

#include "textio/textio.h"

namespace qz5 {

// Runs the whole program (command line as main receives it) on the unit
// table; returns the exit status (0 "Ready", 1 stopped on bad input or a
// set-up failure, 2 "DASSL error").
int run_qz5(Units& io, int argc, const char* const* argv);

// Makes Ctrl-C (SIGINT) end a run between two steps, as a stop with status
// 130 and the text "Interrupted": every completed output kept, every file
// closed. For main only; a program that runs qz5 inside leaves it alone.
void stop_runs_on_interrupt();

}  // namespace qz5
