// Reading a scenario file (TOML, with its tables in CSV files or inline).
//
// The layout is documented by examples/estuary/estuary.toml, a complete
// annotated scenario. Reading is strict: a key the layout does not know, a
// value of the wrong type, a missing entry, a table whose header or rows do
// not fit are refused, each with the file, the line, the column, the value
// and what was expected (errors.h). Paths in the file resolve against the
// file's own folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "scenario_file/errors.h"
#include "scenario_file/scenario_document.h"

namespace qz5::scenario_file {

// Reads the scenario file and every table it names. Throws
// ScenarioFileError.
ScenarioDocument read_scenario_document(const std::filesystem::path& file);

// The same from text in memory; `file` names it in messages and is the
// folder paths resolve against.
ScenarioDocument read_scenario_text(std::string_view text, const std::filesystem::path& file);

// Whether a file given on the command line is a scenario file rather than a
// legacy names file: its name ends in .toml, or its first line that is not
// blank or a comment is a TOML table header ("[...]") or a "key = value".
bool is_scenario_file(const std::filesystem::path& file);

}  // namespace qz5::scenario_file
