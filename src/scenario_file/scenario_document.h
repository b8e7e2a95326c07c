// A scenario as its file describes it.
//
// This is the scenario file's own view of a run, in the words a modeller
// uses: constituents by name, times in days (from the reference date, when
// there is one), series as tables with named columns, file names resolved
// against the scenario file's folder. The TOML reader fills it, the TOML and
// legacy writers write it, and one mapping (to_engine.h) turns it into the
// engine's Scenario - the only place that knows how the engine lays out its
// inputs.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input/channel_geometry.h"
#include "kinetics/declared_kinetics.h"
#include "model/channel.h"
#include "results/calendar.h"

namespace qz5::scenario_file {

using results::CalendarMoment;
using results::days_between;
using results::parse_iso_moment;

inline constexpr int kBuiltInParameters = 19;

// The reaction parameters of the built-in six-pool kinetics by their names in
// the scenario file, in the kinetics' own order.
struct ParameterName {
  const char* key;
  const char* meaning;
};
extern const std::array<ParameterName, kBuiltInParameters> kBuiltInParameterNames;

struct Constituent {
  std::string name;
  std::string unit;     // as the files hold it
  double factor = 1.0;  // file value = model value * factor (CCONV)
};

// A time series: times in days, then one column per constituent (in the
// order of the scenario's constituents) or per named quantity.
struct Series {
  std::string source;  // the file it came from, for messages
  std::vector<double> time;
  std::vector<std::vector<double>> columns;
  std::vector<long> lines;  // the line of every row in `source` (empty: not read from a file)
};

struct LateralInput {
  std::string name;
  double position = 0.0;  // file length units
  double flow = 0.0;      // volume per day
  Series concentrations;
};

struct Station {
  std::string name;
  double position = 0.0;
};

struct Outputs {
  std::filesystem::path txc;         // the legacy concentration file; empty: none
  std::filesystem::path netcdf;      // empty: none
  std::vector<Station> stations;
  std::filesystem::path stations_csv;
  std::filesystem::path budget_csv;
};

struct ScenarioDocument {
  std::filesystem::path file;  // the scenario file (paths resolve against its folder)
  std::string title;
  std::optional<CalendarMoment> reference_date;
  std::string reference_text;  // as written, for the result files

  // grid and integrator
  int points = 0;
  double tau = 0.0, kappa = 0.0, alpha = 0.0;
  double rtol = 0.0, atol = 0.0;
  bool non_negative = false;  // INFO10 = 1

  // units
  std::string length_unit;      // name of the file length unit ("" unnamed)
  double length_factor = 1.0;   // XCONV
  double time_model = 1.0;      // TUNIT_MODEL
  double time_days = 1.0;       // TUNIT_DAY

  // times, days
  double start = 0.0;
  std::vector<double> outputs;

  std::vector<Constituent> constituents;

  // channel
  double first_end = 0.0, second_end = 0.0;  // file length units
  ChannelGeometry geometry;                  // empty: the built-in laws
  Outflow outflow = Outflow::kFixedConcentration;

  Series first_boundary, second_boundary;

  // lateral inputs
  double steepness = 0.0;           // k_lat
  bool from_first_boundary = false; // LI_FROM_BND
  std::vector<LateralInput> laterals;

  Series flow_driver;  // one column: the factor of every lateral flow

  // initial profile: empty positions mean linear between the boundaries
  std::vector<double> profile_x;
  std::vector<std::vector<double>> profile;  // per constituent, per point

  // The kinetics: empty, the built-in six pools with the parameters below;
  // else declared kinetics (their constituents are the scenario's), read
  // from kinetics_file or written inline in the scenario file (kinetics_file
  // empty).
  std::shared_ptr<const DeclaredKinetics> kinetics;
  std::filesystem::path kinetics_file;
  std::array<double, kBuiltInParameters> parameters{};

  Outputs output;
};

}  // namespace qz5::scenario_file
