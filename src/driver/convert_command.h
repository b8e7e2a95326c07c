// qz5 convert: a legacy names file to a scenario file and back.
//
//   qz5 convert [--geometry FILE] [--outflow fixed|free] [--constituents SPEC]
//               [--strict[=error]] estuary.fn scenario.toml
//   qz5 convert scenario.toml legacy-folder
//
// The first writes the scenario file of a names file together with the
// options a legacy run would take, its tables as CSV files beside it; the
// second writes the legacy files of a scenario file into a folder and says
// what the legacy layout cannot hold and how to run them. Either way a run
// of what was written gives the same concentration file, byte for byte.
#pragma once

#include <filesystem>

#include "textio/textio.h"

namespace qz5 {

// argv[0] is "convert". Returns the exit status (0 written, 1 refused).
// Relative names on the command line are relative to `folder` (empty: the
// working folder), as the names inside a names file are.
int run_convert(Units& io, int argc, const char* const* argv,
                const std::filesystem::path& folder = {});

}  // namespace qz5
