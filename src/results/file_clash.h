// Result files must never replace an input, a legacy output or each other:
// a run told to write its NetCDF file over its parameter file would destroy
// the scenario it was asked to compute. The check compares resolved paths
// ("./a", "a" and "dir/../a" are one file; so are two names of one existing
// file, through a link).
#pragma once

#include <string>
#include <vector>

#include "engine/scenario.h"

namespace qz5::results {

struct RoleFile {
  std::string role;  // how to call it in a message: "--netcdf", "the parameter file", ...
  std::string path;
  bool output = false;
};

// The first pair of files that are one file while at least one of them is
// an output, as a message naming both roles and the path; "" when none.
// Empty paths are skipped.
std::string find_file_clash(const std::vector<RoleFile>& files);

// The files a scenario reads, and its concentration file (an output).
std::vector<RoleFile> scenario_files(const Scenario& scenario);

}  // namespace qz5::results
