// The record of a run, held in memory and laid out exactly as the NetCDF
// file that `qz5 --netcdf` writes: the same dimensions, variables, units and
// attributes, with the same names. The NetCDF writer (src/netcdf) and the
// Python package take every name, unit and attribute from here, so a file
// opened with xarray and the Dataset the Python package builds in memory are
// the same thing.
//
// A record is self-describing: a list of dimensions, a list of variables
// (each with its dimension names, its attributes and its values as doubles,
// row-major: the last dimension varies fastest, as in NetCDF and NumPy) and
// a list of global attributes. Unlimited dimensions grow while the run
// advances; a variable whose first dimension is unlimited gets one row per
// entry of that dimension.
//
// Layout (the Recorder, recorder.h, fills it; sections appear only when
// asked for; <name> is a constituent's name, c1 ... c6 unless the user named
// them, <L> the length unit, <U> the constituent's unit):
//
//   dimensions
//     time          unlimited  output times, the start time included
//     point         NPTS       grid points
//     station       stations   fixed positions of the station series
//     station_time  unlimited  the start, every accepted step, every output time
//     interval      unlimited  output intervals of the mass budget
//     nv            2          bounds of an interval
//     term          11         terms of the mass budget
//
//   profiles
//     time(time)                       days; axis T; standard_name time
//     x(time, point)                   <L>; position of the grid point
//     <name>(time, point)              <U>; coordinates "x"
//   stations
//     station_x(station)               <L>
//     station_name(station)            text: the stations' names, when given
//     station_time(station_time)       days; axis T; standard_name time
//     station_<name>(station_time, station)   <U>; coordinates "station_x"
//   budget (per constituent, over each interval, in file units: <U> <L>3)
//     interval(interval)               days, end of the interval; bounds
//     interval_bounds(interval, nv)    days, start and end
//     term_name(term)                  text: the names of the terms below
//     budget_<name>(interval, term)    coordinates "term_name"; the terms:
//       mass_start            integral of A c dX at the start
//       mass_end              the same at the end
//       change                mass_end - mass_start
//       in_left_advective     entered through the first end (flux in +X)
//       in_left_dispersive
//       out_right_advective   left through the second end (flux in +X)
//       out_right_dispersive
//       lateral_load          integral of SL over reach and time
//       reaction              integral of A RX over reach and time
//       closing_error         change - (in_left - out_right + lateral_load
//                               + reaction)
//       moving_grid           the part of the closing error that the moving
//                               grid's discretisation makes (order h^2); the
//                               rest is time-integration error
//
//   global attributes
//     Conventions "CF-1.8", title, source, qz5_version, comment,
//     NPTS, NCOMP (integers), RTOL, ATOL, TAU, KAPPA, ALPHA (the values the
//     run used), outflow ("fixed" or "free"),
//     input_<role> and input_<role>_sha256 for every input file read (roles:
//     names, parameters, lateral_inputs, boundaries, output_times,
//     initial_profile, driver, geometry),
//     integrator_steps, integrator_residual_evaluations,
//     integrator_matrix_evaluations, integrator_error_test_failures,
//     integrator_convergence_failures (at the end of the run),
//     status ("running" until the run ends, then "complete", "failed" or
//     "stopped"), and once it has ended: exit_status, message (the stop
//     text: "Ready", "DASSL error", ...), idid, t_reached (days),
//     outputs_done, and failure_message when it did not complete.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qz5::results {

// Text, a real number or an integer (written to NetCDF as NC_CHAR,
// NC_DOUBLE and NC_INT).
using AttributeValue = std::variant<std::string, double, long long>;

struct Attribute {
  std::string name;
  AttributeValue value;
};

struct Dimension {
  std::string name;
  std::size_t size = 0;
  bool unlimited = false;
  // Entries of an unlimited dimension no longer held in memory: a record
  // that only streams to files drops the rows its sinks have written, and
  // the variables along it then hold entries first_held .. size-1.
  std::size_t first_held = 0;
};

struct Variable {
  std::string name;
  std::vector<std::string> dimensions;  // slowest first
  std::vector<Attribute> attributes;
  std::vector<double> data;  // row-major, product of the dimension sizes
  // A text variable (labels; NC_STRING in the file) holds its values here
  // instead, and no data. Only fixed-size text variables exist.
  bool is_text = false;
  std::vector<std::string> strings;

  // The attribute's value, or nullptr.
  const AttributeValue* attribute(std::string_view name) const;
  // Its text value, or "" when absent or not text.
  std::string text(std::string_view name) const;
};

// Names of the dimensions and of the fixed variables.
inline constexpr const char* kDimTime = "time";
inline constexpr const char* kDimPoint = "point";
inline constexpr const char* kDimStation = "station";
inline constexpr const char* kDimStationTime = "station_time";
inline constexpr const char* kDimInterval = "interval";
inline constexpr const char* kDimBounds = "nv";
inline constexpr const char* kDimTerm = "term";
inline constexpr const char* kVarTime = "time";
inline constexpr const char* kVarX = "x";
inline constexpr const char* kVarStationX = "station_x";
inline constexpr const char* kVarStationTime = "station_time";
inline constexpr const char* kVarInterval = "interval";
inline constexpr const char* kVarIntervalBounds = "interval_bounds";
inline constexpr const char* kVarTermName = "term_name";
inline constexpr const char* kVarStationName = "station_name";
inline constexpr const char* kStationPrefix = "station_";
inline constexpr const char* kBudgetPrefix = "budget_";

// The terms of the mass budget, in the order of the CSV columns and of the
// term dimension.
inline constexpr int kBudgetTerms = 12;
inline constexpr const char* kBudgetTermNames[kBudgetTerms] = {
    "mass_start",           "mass_end",           "change",
    "in_left_advective",    "in_left_dispersive", "out_right_advective",
    "out_right_dispersive", "lateral_load",       "reaction",
    "closing_error",        "moving_grid",        "lateral_load_specified"};
enum BudgetTerm {
  kMassStart,
  kMassEnd,
  kChange,
  kInLeftAdvective,
  kInLeftDispersive,
  kOutRightAdvective,
  kOutRightDispersive,
  kLateralLoad,
  kReaction,
  kClosingError,
  kMovingGrid,
  kLateralLoadSpecified,
};

class RunRecord {
 public:
  std::vector<Dimension> dimensions;
  std::vector<Variable> variables;
  std::vector<Attribute> attributes;  // global

  // Look-ups by name; nullptr when absent.
  const Dimension* dimension(std::string_view name) const;
  Dimension* dimension(std::string_view name);
  const Variable* variable(std::string_view name) const;
  Variable* variable(std::string_view name);
  const AttributeValue* attribute(std::string_view name) const;

  // Replaces the global attribute's value, or appends it.
  void set_attribute(std::string_view name, AttributeValue value);

  // Adds a dimension or a variable (dimensions must exist; names must be
  // new: a repeated name is a programming error).
  Dimension& add_dimension(std::string_view name, std::size_t size, bool unlimited);
  Variable& add_variable(std::string_view name, std::vector<std::string> dims,
                         std::vector<Attribute> attributes);

  // Forgets the rows of every unlimited dimension held so far (they have been
  // written); the vectors keep their capacity, so the next rows reuse it.
  void drop_held_rows();

  // The shape of a variable (sizes of its dimensions, slowest first; the
  // rows held are fewer when rows were dropped).
  std::vector<std::size_t> shape(const Variable& v) const;
};

// The unit of a mass (a concentration times a volume) in the budget, from
// the constituent's unit and the length unit: "psu m3" for psu and m,
// "(file units)*(file length units)^3" when either has blanks.
std::string mass_unit(std::string_view concentration_unit, std::string_view length_unit);

}  // namespace qz5::results
