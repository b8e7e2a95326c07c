// Writing a scenario as a scenario file or as legacy files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "scenario_file/scenario_document.h"

namespace qz5::scenario_file {

// Writes the scenario file `toml_path` and its tables as CSV files beside it
// (<stem>_first_boundary.csv, <stem>_lateral_<name>.csv, ...), with a
// comment on every entry. Numbers are written in their shortest form that
// reads back as the same double, so a scenario read back is the same
// scenario bit for bit. Throws ScenarioFileError when a file cannot be
// written. Returns the files written.
std::vector<std::filesystem::path> write_scenario_files(const ScenarioDocument& d,
                                                        const std::filesystem::path& toml_path);

// What a legacy run of the written files needs and what the legacy files
// cannot hold.
struct LegacyFiles {
  std::vector<std::filesystem::path> written;
  std::string command;             // the command line that runs them
  std::vector<std::string> notes;  // what the legacy layout leaves out
};

// Writes the scenario as legacy files into `folder` (created when missing):
// <stem>.fn naming <stem>.prm, .li, .bnd, .t, .UT0, .drv and <stem>.txc, and
// <stem>.geo for a channel table. Throws ScenarioFileError when a file
// cannot be written.
LegacyFiles write_legacy_files(const ScenarioDocument& d, const std::filesystem::path& folder);

}  // namespace qz5::scenario_file
