// The rules a scenario and the run options must obey, in one place.
//
// The engine checks them before a run (bad input is never an assert inside
// the model and never an integration failure); a host program (Python's
// setters and pre-run checks) asks the same rules. Every problem comes back
// as the field it concerns, under the field's lower-case name, and what is
// wrong with it. The legacy readers keep their own refusals for what they
// read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qz5 {

struct Scenario;
struct RunOptions;

struct FieldProblem {
  std::string field;    // "ncomp", "npts", "rtol", "touts", "bnd_tab", ...
  std::string message;  // what is wrong, e.g. "must be 6, not 0"
  // "field: message", as a host program shows it.
  std::string text() const { return field + ": " + message; }
  bool operator==(const FieldProblem&) const = default;
};

using FieldProblems = std::vector<FieldProblem>;

// Every problem of the scenario, in the order of its fields; empty when it
// can be run.
FieldProblems validate(const Scenario& scenario);

// The rules of single fields, for a host program that checks a value as it
// is set: the problem, or nothing.
namespace rules {
std::optional<std::string> ncomp(long long v);
// NCOMP with declared kinetics of `declared` constituents.
std::optional<std::string> ncomp(long long v, int declared);
std::optional<std::string> npts(long long v);
std::optional<std::string> info10(long long v);
// A unit factor that divides (TUNIT_MODEL, TUNIT_DAY, XCONV): finite and
// positive.
std::optional<std::string> positive(double v);
// A tolerance or a grid-smoothing parameter: finite and not negative.
std::optional<std::string> not_negative(double v);
// The reaction parameters, RXPAR(1..n): finite, and not zero where the
// kinetics divide by them.
std::optional<std::string> rxpar(const double* rx, int n);
// A table of time points (rows of `cols` values, row-major, time first):
// the width, at least 2 rows, finite values, times not decreasing.
std::optional<std::string> series(const double* v, int rows, int cols, int cols_needed,
                                  const std::string& width_why);
// A driver: as many values as times, at least 2, finite, times not
// decreasing.
std::optional<std::string> driver(const double* t, int nt, const double* v, int nv);
}  // namespace rules

}  // namespace qz5
