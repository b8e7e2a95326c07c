// Reaction kinetics declared in a file: constituents, parameters, forcings,
// definitions and rate expressions, so that a modeller can run whatever
// system of constituents they bring on the model's moving grid.
//
// The file is TOML:
//
//   title = "..."                          optional
//   definitions = ["name = expr", ...]     evaluated in this order, before the rates
//   [[constituents]]                       constituent 1, 2, ... in this order
//   name = "BOD"   unit = "mg/L"   transported = true
//   [parameters]                           name = number
//   kd = 0.35                              or { value, unit, min, max, description }
//   depth = { table = [[x, v], ...] }      or linear in x along the channel
//   [forcings]                             time series, linear in time (days)
//   temperature = "temperature.csv"        or { file = "...", column = "..." }
//   [rates]                                d(constituent)/dt, file units per day
//   BOD = "-kd * BOD"                      a constituent without a rate has rate 0
//
// Expressions are those of muParser (+ - * / ^, comparisons, `c ? a : b`,
// exp, log (natural), log10, sqrt, abs, min, max, sin, ..., and pow(a, b)).
// They may use every constituent (file units), parameter, forcing and
// definition, and t (days), x (file length units), area, dispersion and
// flow (the along-channel flow at x, volume per day).
//
// Everything is checked when the file is read; a refusal throws
// KineticsError whose text names the file and the line and, for an
// expression, the expression and the position in it (counted from 1).
// Forcing files are read then too, relative to the kinetics file's folder.
//
// A run compiles the expressions into one muParser evaluator of its own when
// it is set up; evaluating binds the variables by address, so the time
// stepping neither parses nor allocates, and runs in several threads share
// nothing mutable.
#pragma once

#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/reaction_kinetics.h"

namespace qz5 {

class KineticsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct KineticsParameter {
  std::string name;
  double value = 0.0;
  std::string unit;
  std::string description;
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
  // Not empty: the parameter varies along the channel, linear between the
  // positions table_x (increasing) with values table_v; value is unused.
  std::vector<double> table_x, table_v;
  int line = 0;
  bool varies() const { return !table_x.empty(); }
};

struct KineticsForcing {
  std::string name;
  std::string file;    // as written in the kinetics file
  std::string column;  // the column used
  std::vector<double> t, v;  // days (increasing), values
  int line = 0;
};

struct KineticsDefinition {
  std::string name;
  std::string expression;
  int line = 0;
};

class DeclaredKinetics final : public Kinetics {
 public:
  // Reads and checks a kinetics file; throws KineticsError.
  static std::shared_ptr<const DeclaredKinetics> read_file(const std::filesystem::path& path);
  // The same from text: `source` names it in messages, forcing files are
  // found relative to `folder`.
  static std::shared_ptr<const DeclaredKinetics> read_text(std::string_view text,
                                                           const std::string& source = "<string>",
                                                           const std::filesystem::path& folder = {});

  int ncomp() const override { return static_cast<int>(constituents_.size()); }
  const std::vector<ConstituentDecl>& constituents() const override { return constituents_; }
  bool declared() const override { return true; }
  // NCOMP must be the number of constituents; every forcing must cover the
  // run's times and every parameter table the reach.
  std::string check_run(const Inputs& ms) const override;
  std::unique_ptr<KineticsEvaluator> evaluator(const Inputs& ms) const override;

  const std::string& title() const { return title_; }
  const std::string& source() const { return source_; }
  // The text it was read from and the folder its forcing files are found
  // in: enough to read it again elsewhere (a copy sent to another process).
  const std::string& text() const { return text_; }
  const std::filesystem::path& folder() const { return folder_; }
  const std::vector<KineticsParameter>& parameters() const { return parameters_; }
  const std::vector<KineticsForcing>& forcings() const { return forcings_; }
  const std::vector<KineticsDefinition>& definitions() const { return definitions_; }
  // The rate expression of constituent k (0-based); "" when it has none.
  const std::string& rate(int k) const { return rates_[static_cast<std::size_t>(k)]; }

  // A copy with the constant parameter `name` set to `value`; throws
  // KineticsError for an unknown name, a parameter that varies along the
  // channel, or a value outside the parameter's min .. max.
  std::shared_ptr<const DeclaredKinetics> with_parameter(const std::string& name,
                                                         double value) const;
  // A copy with the parameter `name` linear in x between the positions
  // `x` (strictly increasing) with the values `v` (one row holds its value
  // everywhere); a constant parameter becomes one that varies. Throws
  // KineticsError for an unknown name, no rows, rows of different lengths, a
  // number that is not finite, positions that do not increase, or a value
  // outside the parameter's min .. max, naming the row.
  std::shared_ptr<const DeclaredKinetics> with_table(const std::string& name,
                                                     const std::vector<double>& x,
                                                     const std::vector<double>& v) const;

  DeclaredKinetics() = default;

 private:
  friend class KineticsReader;
  std::string source_;
  std::string text_;
  std::filesystem::path folder_;
  std::string title_;
  std::vector<ConstituentDecl> constituents_;
  std::vector<KineticsParameter> parameters_;
  std::vector<KineticsForcing> forcings_;
  std::vector<KineticsDefinition> definitions_;
  std::vector<std::string> rates_;  // one per constituent
};

}  // namespace qz5
