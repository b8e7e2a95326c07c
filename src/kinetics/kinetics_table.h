// Declared kinetics from a TOML table parsed elsewhere: a [kinetics] table
// inside a scenario file, written exactly as a kinetics file is. Kept apart
// from declared_kinetics.h so that only the readers of TOML see toml++.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <toml++/toml.h>

#include "kinetics/declared_kinetics.h"

namespace qz5 {

// Reads and checks the table as DeclaredKinetics::read_text reads a file;
// refusals (KineticsError) name `source` and the table's own lines, forcing
// files are found relative to `folder`. The kinetics' text() is the table
// written out as a kinetics file.
std::shared_ptr<const DeclaredKinetics> read_kinetics_table(const toml::table& table,
                                                            const std::string& source,
                                                            const std::filesystem::path& folder);

}  // namespace qz5
