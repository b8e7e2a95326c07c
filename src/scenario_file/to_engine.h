// The scenario file's view of a run and the engine's, mapped both ways.
//
// This is the one place that knows how the engine lays out its inputs (the
// legacy model state with its tables): a change of the engine's inputs is a
// change here and nowhere else in this folder.
#pragma once

#include <filesystem>
#include <string>

#include "engine/scenario.h"
#include "scenario_file/scenario_document.h"
#include "textio/textio.h"

namespace qz5::scenario_file {

// The engine's scenario of a document, every table in memory (no file is
// read when it runs). The legacy capacities do not apply to a scenario file.
// The boundary concentrations at the start are looked up as the legacy
// loader does, so warnings of a start outside the series go to io's console.
Scenario to_engine_scenario(const ScenarioDocument& d, Units& io);

// What a legacy run takes beside its names file.
struct LegacyRunOptions {
  std::string geometry_file;  // --geometry ("" the built-in laws)
  Outflow outflow = Outflow::kFixedConcentration;
  std::string constituents;   // --constituents: a list name:unit,... or a file
  // --kinetics: the declared kinetics the run takes ("" the built-in ones);
  // the scenario file written names this file.
  std::filesystem::path kinetics_file;
  // The folder the names inside the names file are relative to (empty: the
  // working folder, as for a legacy run).
  std::filesystem::path base_folder;
};

// The document of a legacy names file and the options a run would take.
// Reads every file it names (on io, with the legacy console lines and
// refusals: throws Stop on bad input). Times are kept in days as the files
// hold them; constituents are named from `opt.constituents` or, by default,
// after the bundled estuary's six pools.
ScenarioDocument document_from_legacy(Units& io, const std::filesystem::path& names_file,
                                      const LegacyRunOptions& opt);

// The document of a scenario held in memory (read from any source, changed
// in code). Times go back to days that the reader divides back into the
// same model times bit for bit (model time * TUNIT_DAY / TUNIT_MODEL, or a
// double next to it); a model time no time in days divides into is refused
// (Stop). Constituents as for document_from_legacy.
// The initial profile must be in memory (ut0_tab) when the scenario uses
// one. Throws Stop for what a scenario file cannot hold.
ScenarioDocument document_from_engine(const Scenario& s, const std::string& constituents = {});

// A scenario file read and mapped to the engine's scenario in one step.
// Throws ScenarioFileError.
Scenario read_scenario_file(Units& io, const std::filesystem::path& file);

}  // namespace qz5::scenario_file
