#include "driver/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "results/constituents.h"
#include "results/file_clash.h"

namespace qz5 {
namespace {

bool parse_count(std::string_view text, long& value) {
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value);
  return r.ec == std::errc() && r.ptr == end && value > 0;
}

// "X1,X2,...": finite numbers separated by commas.
bool parse_positions(std::string_view text, std::vector<double>& out) {
  out.clear();
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t comma = std::min(text.find(',', pos), text.size());
    std::string_view item = text.substr(pos, comma - pos);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    double v = 0.0;
    const char* end = item.data() + item.size();
    const auto r = std::from_chars(item.data(), end, v);
    if (item.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
    out.push_back(v);
    pos = comma + 1;
  }
  return !out.empty();
}

// The options that take a text as it stands, and where it goes; nullptr
// for any other word.
std::string CliOptions::*text_option(std::string_view option) {
  static constexpr std::pair<std::string_view, std::string CliOptions::*> kTextOptions[] = {
      {"--geometry", &CliOptions::geometry_file},    {"--netcdf", &CliOptions::netcdf_file},
      {"--stations-csv", &CliOptions::stations_csv}, {"--budget", &CliOptions::budget_file},
      {"--constituents", &CliOptions::constituents}, {"--length-unit", &CliOptions::length_unit},
      {"--kinetics", &CliOptions::kinetics_file},
  };
  for (const auto& [name, field] : kTextOptions)
    if (option == name) return field;
  return nullptr;
}

// What an empty value of a text option leaves out.
std::string_view what_value(std::string_view option) {
  if (option == "--constituents") return "a list of names";
  if (option == "--length-unit") return "a unit";
  return "a file name";
}

// Checks made once the whole line is read: the options that need others,
// the constituent list, and result files that would overwrite each other,
// the legacy logs or the names or geometry file.
std::string check_combination(const CliOptions& o) {
  if (!o.stations_csv.empty() && o.stations.empty()) return "--stations-csv needs --stations";
  if (!o.stations.empty() && o.stations_csv.empty() && o.netcdf_file.empty())
    return "--stations needs --netcdf or --stations-csv to write the series to";
  if (!o.constituents.empty()) {
    const results::ConstituentList list = results::read_constituents(o.constituents);
    if (!list.error.empty()) return "--constituents: " + list.error;
  }
  const bool any_file = !o.netcdf_file.empty() || !o.stations_csv.empty() || !o.budget_file.empty();
  for (const auto& [given, option] : {std::pair{!o.constituents.empty(), "--constituents"},
                                      std::pair{!o.length_unit.empty(), "--length-unit"}}) {
    if (given && !any_file)
      return std::string(option) +
             " describes the result files, and none was asked for (--netcdf, --stations-csv, "
             "--budget)";
  }
  return results::find_file_clash(result_file_roles(o));
}

}  // namespace

std::vector<results::RoleFile> result_file_roles(const CliOptions& o) {
  std::vector<results::RoleFile> files = {
      {"--netcdf", o.netcdf_file, true},
      {"--stations-csv", o.stations_csv, true},
      {"--budget", o.budget_file, true},
      {"the run log", "RESULT", true},
      {"the run log", "RUNINF", true},
      {"--geometry", o.geometry_file, false},
  };
  if (o.names_args.size() > 1) files.push_back({"the names file", o.names_args[1], false});
  return files;
}

bool wants_results(const CliOptions& o) {
  return !o.netcdf_file.empty() || !o.stations.empty() || !o.budget_file.empty();
}

bool netcdf_available() {
#ifdef QZ5_HAVE_NETCDF
  return true;
#else
  return false;
#endif
}

std::string usage_text() {
  return R"(Usage: qz5 [options] [names-file]
       qz5 [options] scenario-file
       qz5 convert [--kinetics FILE] [--geometry FILE] [--outflow fixed|free]
                   [--constituents SPEC] [--strict[=error]] names-file scenario.toml
       qz5 convert scenario.toml legacy-folder

Runs the qz5 advection-dispersion-reaction model on the scenario described by
the names file (asked for at the console when not given) or by a scenario
file (TOML, told apart by its .toml name or its content; see
examples/estuary/estuary.toml). Writes the concentration file named there
(*.txc), and RESULT and RUNINF in the working directory. convert writes the
scenario file of a legacy names file (with its tables as CSV files beside it)
or the legacy files of a scenario file (qz5 convert --help).

Options (before the names file):
  --geometry FILE      take the channel's cross-section area and dispersion from
                       FILE (a title line, then rows of position, area and
                       dispersion in file length units, their square, and their
                       square per day; linearly interpolated) instead of the
                       built-in laws of the bundled estuary
  --outflow fixed|free the second end holds the second boundary's
                       concentrations (fixed: an estuary mouth, the default) or
                       lets the water leave with the concentration it has (free:
                       the downstream end of a river reach)
  --no-legacy-limits   lift the fixed capacities of the legacy program (142 grid
                       points, 100 boundary time points, 10 lateral inputs and
                       time points, 200 output times); memory is the only limit
  --strict             point out, naming the file and the line, what the legacy
                       free-form reading takes silently: a record that goes on to
                       the next line, a comma between two digits (a decimal
                       comma), a line holding more numbers than its record reads
  --strict=error       the same, but refuse the input there (status 1)
  --max-steps N        accepted integrator steps allowed between two output times
                       before the run ends as an integration failure (default
                       100 per grid point, at least 5000; the bundled scenario
                       needs at most 102)
  --resolve-names working-folder|names-file
                       where the file names inside the names file are looked
                       for: in the working folder (the default, as always) or
                       in the names file's own folder, so that
                       qz5 --resolve-names names-file myriver/myriver.fn runs
                       from anywhere (RESULT and RUNINF stay in the working
                       folder)
  --jacobian differences|exact
                       form the integrator's iteration matrix by differences of
                       the residual (the default) or from its derivatives
  --position-increments magnitude|spacing
                       the increments of the grid positions in the differenced
                       matrix: set by each position's magnitude (the default)
                       or by its distance to its neighbours; spacing keeps fine
                       grids from crawling where a front leaves the reach
  --position-error-test on|off
                       whether the grid positions take part in the integrator's
                       local error test (on, the default) or only the
                       concentrations do (off)
  --sources midpoint|exact
                       lateral inputs sampled at each grid interval's midpoint
                       (the default) or integrated exactly over the interval, so
                       that each input delivers its load on any grid
  --channel sampled|averaged
                       geometry table sampled at each interval's midpoint (the
                       default) or averaged exactly over the interval (area and
                       effective area times dispersion), so that a step or
                       detail finer than the grid is integrated
  --position-tolerance RTOL,ATOL
                       error tolerances of the grid positions alone (model length
                       units), the scenario's RTOL and ATOL staying those of the
                       concentrations: positions need not be resolved as tightly
  --nonnegative clip|project
                       how INFO10 = 1 keeps concentrations non-negative: clip
                       (the legacy treatment, the default) or project (small
                       negative values set to zero, steps that go negative
                       beyond the tolerance rejected and shrunk; coarse grids
                       then do not crawl)

Result files beside the legacy ones (nothing of this runs unless asked):
  --netcdf FILE        write the run to FILE as NetCDF-4 (CF-1.8): the profiles
                       at every output time in double precision, and the station
                       series and the mass budget when asked for; synchronised
                       after every output time, so a failed run keeps what it did
  --stations X1,X2,... concentrations at these positions (file length units,
                       inside the reach), interpolated on the moving grid after
                       every accepted step; into the NetCDF file and
  --stations-csv FILE  as a CSV file (time, station, one column per constituent)
  --budget FILE        mass budget of every constituent over every output
                       interval as a CSV file (and into the NetCDF file): change
                       of the mass in the reach, what entered and left at each
                       end (advective and dispersive), lateral load, reaction,
                       closing error and the moving grid's share of it
  --constituents SPEC  names and units of the constituents for those files, as
                       name:unit,name:unit,... or @FILE, a file holding that
                       list (one entry a line allowed, # comments); default
                       c1..c6 in "file units". Names the files use themselves
                       (time, x, point, station, term, term_name, ...) are
                       refused
  --length-unit UNIT   unit of the positions for those files (default "file
                       length units")

  --kinetics FILE      reaction kinetics declared in a TOML file (constituents,
                       parameters, forcings, definitions, rate expressions;
                       examples/kinetics/) instead of the built-in six-pool
                       kinetics; the parameter file's NCOMP must be the number
                       of declared constituents, its reaction parameters are
                       not read; the result files take the names and units
                       from it (so --constituents is refused with it)

  --help               print this text and exit
  --version            print the version and exit

Exit status:
  0  the run ended with "Ready"
  1  the run was stopped: bad input, a set-up failure, a fatal report
  2  the integration failed ("DASSL error"); every profile up to the failure
     is kept

Examples:
  qz5 --geometry river.geo --outflow free river.fn
  qz5 --netcdf estuary.nc --stations 0,5000,12000 --budget budget.csv \
      --constituents salinity:psu,DOC:umol/L,DIN:umol/L,phyto:umol/L,consumers:umol/L,detritus:umol/L \
      --length-unit m estuary.fn)";
}

CliOptions parse_command_line(int argc, const char* const* argv) {
  CliOptions o;
  o.names_args.push_back(argc > 0 && argv[0] != nullptr ? argv[0] : "qz5");
  int i = 1;
  auto value_of = [&](std::string_view option) -> std::optional<std::string> {
    if (i + 1 >= argc || argv[i + 1] == nullptr) {
      o.error = std::string(option) + " needs a value";
      return std::nullopt;
    }
    return std::string(argv[++i]);
  };
  for (; i < argc && o.error.empty(); ++i) {
    const std::string_view a = argv[i] == nullptr ? "" : argv[i];
    const bool option = a.rfind("--", 0) == 0;
    if (o.names_args.size() > 1) {
      // Words after the names file were always ignored; an option there
      // would be ignored silently too, so it is refused.
      if (option) o.error = "options come before the names file: " + std::string(a);
      continue;
    }
    if (!option) {
      o.names_args.emplace_back(a);
      continue;
    }
    if (a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--no-legacy-limits") {
      o.legacy_limits = false;
    } else if (a == "--strict" || a == "--strict=warn") {
      o.strict = StrictReading::kWarn;
    } else if (a == "--strict=error") {
      o.strict = StrictReading::kError;
    } else if (std::string CliOptions::*field = text_option(a)) {
      if (auto v = value_of(a)) {
        // An empty value would quietly mean "not asked for"; a value that is
        // the next option means the value itself was forgotten.
        if (v->empty()) {
          o.error = std::string(a) + " needs " + std::string(what_value(a)) + ", not an empty text";
        } else if (v->rfind("--", 0) == 0) {
          o.error = std::string(a) + " needs " + std::string(what_value(a)) +
                    " before the next option " + *v;
        } else {
          o.*field = *v;
        }
      }
    } else if (a == "--outflow") {
      if (auto v = value_of(a)) {
        if (*v == "free") {
          o.outflow = Outflow::kFree;
        } else if (*v == "fixed") {
          o.outflow = Outflow::kFixedConcentration;
        } else {
          o.error = "--outflow takes fixed or free, not " + *v;
        }
      }
    } else if (a == "--stations") {
      if (auto v = value_of(a)) {
        if (!parse_positions(*v, o.stations))
          o.error = "--stations takes positions separated by commas, not " + *v;
      }
    } else if (a == "--resolve-names") {
      if (auto v = value_of(a)) {
        if (*v == "names-file" || *v == "working-folder") {
          o.names_from_names_folder = *v == "names-file";
        } else {
          o.error = "--resolve-names takes working-folder or names-file, not " + *v;
        }
      }
    } else if (a == "--jacobian") {
      if (auto v = value_of(a)) {
        if (*v == "exact" || *v == "differences") {
          o.exact_jacobian = *v == "exact";
        } else {
          o.error = "--jacobian takes differences or exact, not " + *v;
        }
      }
    } else if (a == "--position-increments") {
      if (auto v = value_of(a)) {
        if (*v == "spacing" || *v == "magnitude") {
          o.spaced_position_increments = *v == "spacing";
        } else {
          o.error = "--position-increments takes magnitude or spacing, not " + *v;
        }
      }
    } else if (a == "--position-error-test") {
      if (auto v = value_of(a)) {
        if (*v == "on" || *v == "off") {
          o.positions_out_of_error_test = *v == "off";
        } else {
          o.error = "--position-error-test takes on or off, not " + *v;
        }
      }
    } else if (a == "--sources") {
      if (auto v = value_of(a)) {
        if (*v == "midpoint" || *v == "exact") {
          o.exact_sources = *v == "exact";
        } else {
          o.error = "--sources takes midpoint or exact, not " + *v;
        }
      }
    } else if (a == "--channel") {
      if (auto v = value_of(a)) {
        if (*v == "sampled" || *v == "averaged") {
          o.averaged_channel = *v == "averaged";
        } else {
          o.error = "--channel takes sampled or averaged, not " + *v;
        }
      }
    } else if (a == "--nonnegative") {
      if (auto v = value_of(a)) {
        if (*v == "project" || *v == "clip") {
          o.project_negative = *v == "project";
        } else {
          o.error = "--nonnegative takes clip or project, not " + *v;
        }
      }
    } else if (a == "--position-tolerance") {
      if (auto v = value_of(a)) {
        std::vector<double> pair;
        if (parse_positions(*v, pair) && pair.size() == 2 && pair[0] >= 0.0 && pair[1] > 0.0) {
          o.position_rtol = pair[0];
          o.position_atol = pair[1];
        } else {
          o.error = "--position-tolerance takes RTOL,ATOL (RTOL >= 0, ATOL > 0), not " + *v;
        }
      }
    } else if (a == "--max-steps") {
      if (auto v = value_of(a)) {
        if (!parse_count(*v, o.max_steps_per_interval))
          o.error = "--max-steps takes a positive whole number, not " + *v;
      }
    } else {
      o.error = "unknown option " + std::string(a);
    }
  }
  if (o.error.empty() && !o.help && !o.version) o.error = check_combination(o);
  return o;
}

}  // namespace qz5
