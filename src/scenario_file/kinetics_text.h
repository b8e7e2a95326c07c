// Declared kinetics written out again: as a kinetics file of its own, or as
// the [kinetics] table of a scenario file. Forcing files are named relative
// to the folder the text goes to, so that they are found from there.
#pragma once

#include <filesystem>
#include <string>

#include "kinetics/declared_kinetics.h"

namespace qz5::scenario_file {

// `target` as a name relative to `folder` (the folder the name is read in).
std::string path_from(const std::filesystem::path& folder, const std::filesystem::path& target);

// The kinetics as a kinetics file placed in `folder`.
std::string kinetics_file_text(const DeclaredKinetics& k, const std::filesystem::path& folder);

// The same as a [kinetics] table of a scenario file placed in `folder`.
std::string inline_kinetics_text(const DeclaredKinetics& k, const std::filesystem::path& folder);

}  // namespace qz5::scenario_file
