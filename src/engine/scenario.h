// A scenario: everything one run of the model needs, as a value.
//
// It holds the inputs as the readers leave them (parameters, times
// in model units, the boundary series, the lateral inputs and the variable
// driver, the file names), the channel and the choice of downstream end. It
// can be read from a names file or built and changed in code; running it
// never changes it, so one scenario can be run many times, or in several
// threads at once.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "input/channel_geometry.h"
#include "input/inputs.h"
#include "input/reader_options.h"
#include "model/channel.h"
#include "model/reaction_kinetics.h"
#include "textio/textio.h"

namespace qz5 {

struct Scenario {
  Inputs inputs;              // as filled by the readers
  ChannelGeometry geometry;   // empty: the built-in area and dispersion laws
  Outflow outflow = Outflow::kFixedConcentration;
  std::string title = " Advection dispersion with QZ5";
  // The reaction kinetics; empty: the built-in six-pool kinetics. Shared
  // and immutable: every run makes its own evaluator of them.
  std::shared_ptr<const Kinetics> kinetics;
};

// How a scenario is read: the readers' options (the legacy capacities and
// their hint, the folder the names file and the names inside it are
// relative to) and whether the initial profile is read too.
struct ScenarioReadOptions : ReaderOptions {
  // Read the initial profile file now, so that the scenario is complete in
  // memory and no longer needs its files. The legacy executable leaves it to
  // the run, whose messages come after the run header.
  bool read_profile = true;
  // Declared kinetics (empty: the built-in ones): the parameter file's
  // NCOMP must then be theirs, and its reaction parameters are not read.
  std::shared_ptr<const Kinetics> kinetics;
};

// Reads the names file and every input file it names, with the console
// lines and refusals of the legacy readers. Stops (throws Stop) on bad
// input. Depends on nothing of the process (working folder, globals): two
// threads may read at once.
Scenario read_scenario(Units& io, const std::filesystem::path& names_file,
                       const ScenarioReadOptions& options);

// The same with a names file's folder as the base folder, without legacy
// limits, and the initial profile read: what a host program wants.
Scenario read_scenario(Units& io, const std::filesystem::path& names_file);

}  // namespace qz5
