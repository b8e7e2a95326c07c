// The legacy executable as a client of the engine.
//
// It opens the two run logs, reads the scenario from the names file, has the
// engine run it and writes what the engine reports in the legacy layout: the
// run header in both logs, one progress line per integrator step in RUNINF,
// one profile block per output time in the concentration file and the
// integrator statistics in RESULT. The engine's outcome is mapped to the stop
// text ("Ready", "DASSL error", ...) and exit status in one place
// (legacy_ending); a refusal of the legacy readers arrives as a Stop. Either
// way run_qz5 writes the stop text, closes every file and returns the exit
// status, so tests can run whole programs on string streams.
#pragma once

#include <filesystem>

#include "driver/cli_options.h"
#include "textio/textio.h"

namespace qz5 {

// Runs the whole program (command line as main receives it) on the unit
// table; returns the exit status (0 "Ready", 1 stopped on bad input or a
// set-up failure, 2 "DASSL error"). `folder` is the run's folder, where the
// names file and the names inside it are looked for and RESULT, RUNINF and
// the .txc file are written (empty: the working folder, as main has it).
// The names file: the command line's, else the answer to the console prompt
// " Enter filename of names file [*.fn]: " (no line end: the answer is typed
// on the same line). 80 characters at most, as the legacy field, without the
// blanks after it.
std::filesystem::path names_file_name(Units& io, const CliOptions& cli);

// The legacy note in RUNINF of a state the residual refused at model time t:
// " Illegal solution at T= " and t as E12.4.
void note_illegal_solution(Units& io, double t_model);

int run_qz5(Units& io, int argc, const char* const* argv, const std::filesystem::path& folder = {});

// Makes Ctrl-C (SIGINT) end a run between two steps, as a stop with status
// 130 and the text "Interrupted": every completed output kept, every file
// closed. For main only; a program that runs qz5 inside leaves it alone.
void stop_runs_on_interrupt();

}  // namespace qz5
