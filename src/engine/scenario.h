// A scenario: everything one run of the model needs, as a value.
//
// It holds the model state as the input readers leave it (parameters, times
// in model units, the boundary series, the lateral inputs and the variable
// driver, the file names), the channel and the choice of downstream end. It
// can be read from a names file or built and changed in code; running it
// never changes it, so one scenario can be run many times, or in several
// threads at once.
#pragma once

#include <memory>
#include <string>

#include "input/channel_geometry.h"
#include "input/model_state.h"
#include "model/channel.h"
#include "model/reaction_kinetics.h"
#include "textio/textio.h"

namespace qz5 {

struct Scenario {
  ModelState inputs;          // as filled by the readers; its work area stays empty
  ChannelGeometry geometry;   // empty: the built-in area and dispersion laws
  Outflow outflow = Outflow::kFixedConcentration;
  std::string title = " Advection dispersion with QZ5";
  // The reaction kinetics; empty: the built-in six-pool kinetics. Shared
  // and immutable: every run makes its own evaluator of them.
  std::shared_ptr<const Kinetics> kinetics;
};

// Reads the names file (argv[1], or the name typed at the console prompt)
// and every input file it names, with the console lines and refusals of the
// legacy readers. Stops the run (throws Stop) on bad input. The initial
// profile file is left to be read when the run starts, as the legacy
// program does (its messages come after the run header).
// With legacy_limits the readers refuse what does not fit the legacy
// program's tables, with its messages followed by capacity_hint (when not
// empty); without, the tables grow to fit.
// With declared kinetics the parameter file's NCOMP must be theirs and its
// reaction parameters are not read.
Scenario read_scenario(Units& io, int argc, const char* const* argv, bool legacy_limits,
                       const std::string& capacity_hint = {},
                       std::shared_ptr<const Kinetics> kinetics = nullptr);

// The same from a names file's path, with the initial profile read too: the
// scenario is then complete in memory and no longer needs its files.
Scenario read_scenario(Units& io, const std::string& names_file, bool legacy_limits = false,
                       std::shared_ptr<const Kinetics> kinetics = nullptr);

}  // namespace qz5
