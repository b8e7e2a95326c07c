// The command line of the qz5 executable.
//
//   qz5 [options] [names-file | scenario.toml]
//   qz5 convert [options] FROM TO
//
// Options come before the names file; without any, the program behaves as it
// always has. The names file, when missing, is asked for at the console.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "input/limits.h"
#include "results/file_clash.h"

namespace qz5 {

struct CliOptions {
  bool help = false;
  bool version = false;
  bool legacy_limits = true;
  StrictReading strict = StrictReading::kOff;  // --strict, --strict=error
  long max_steps_per_interval = 0;      // 0: the engine's default for the grid
  bool project_negative = false;        // --nonnegative project
  bool exact_jacobian = false;          // --jacobian exact
  bool spaced_position_increments = false;  // --position-increments spacing
  bool positions_out_of_error_test = false;  // --position-error-test off
  bool exact_sources = false;           // --sources exact
  bool averaged_channel = false;        // --channel averaged
  std::optional<double> position_rtol, position_atol;  // --position-tolerance RTOL,ATOL
  // --resolve-names names-file: the names inside the names file are looked
  // for in the names file's folder; by default (working-folder) in the
  // working folder, as the legacy program does.
  bool names_from_names_folder = false;
  std::string geometry_file;               // "" : the built-in laws
  Outflow outflow = Outflow::kFixedConcentration;
  // Result files beside the legacy ones ("" or empty: not asked for).
  std::string netcdf_file;              // --netcdf
  std::vector<double> stations;         // --stations, file length units
  std::vector<std::string> station_names;  // a scenario file's names of them (empty: unnamed)
  std::string stations_csv;             // --stations-csv
  std::string budget_file;              // --budget
  std::string constituents;             // --constituents: a list or a file
  std::string kinetics_file;            // --kinetics: declared kinetics; "" the built-in ones
  std::string length_unit;              // --length-unit
  std::string reference_date;           // day 0 of a scenario file's calendar ("" none)
  std::vector<std::string> names_args;  // argv[0] and the names file, as the reader takes them
  std::string error;                    // what was wrong with the command line, or ""
};

// Parses argv. An unknown option, a missing, empty or bad value, more than
// one names file, a constituent list that is refused, or two result files
// (or a result file and a log or input the line names) that are one file
// set `error`.
CliOptions parse_command_line(int argc, const char* const* argv);

// The result files asked for, the legacy logs and the input files the
// command line names, for the check that no output overwrites another file.
std::vector<results::RoleFile> result_file_roles(const CliOptions& o);

// Whether any result file beyond the legacy ones was asked for.
bool wants_results(const CliOptions& o);

// Whether this build can write NetCDF files.
bool netcdf_available();

// The --help text.
std::string usage_text();

// Printed when --netcdf is asked of a build without the netCDF library.
inline constexpr const char* kNoNetcdf = "qz5 was built without NetCDF support";

}  // namespace qz5
