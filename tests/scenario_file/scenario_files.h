// A small scenario written into a fresh folder, for the reader's tests.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace qz5::scenario_file::testing {

// File name -> text of a valid scenario: s.toml naming first.csv,
// second.csv (its columns in another order) and driver.csv, with one
// lateral input whose table is written inline.
std::map<std::string, std::string> small_scenario();

// A fresh empty folder under the temporary directory.
std::filesystem::path fresh_folder(const std::string& tag);

void write_files(const std::filesystem::path& dir, const std::map<std::string, std::string>& files);

}  // namespace qz5::scenario_file::testing
