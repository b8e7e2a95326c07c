#include <string>

#include "input/problem_setup.h"
#include "input/read_values.h"
#include "input/series_checks.h"

namespace qz5 {
namespace {

constexpr int kRequiredNcomp = 6;  // the reaction kinetics are written for six constituents

// The reaction parameters the kinetics divide by: a zero yield or nutrient
// content ratio makes the reaction terms undefined.
constexpr int kDivisorRxpar[] = {7, 8, 13, 14};

// Stops the run naming the field and its record when a factor the model
// divides by is zero.
void refuse_zero(Units& io, std::string_view file, const std::string& field, int record) {
  refuse_input(io, "READ_PRM_QZ5",
               field + " must not be zero (record " + std::to_string(record) + ")", file);
}

// The unit factors convert every time, position and concentration between
// the files and the model, and each is a divisor in one direction (times go
// through TUNIT_DAY / TUNIT_MODEL and back, positions through XCONV,
// concentrations through CCONV(k)): a zero turns whole columns of the output
// into NaN or infinity.
void check_unit_factors(Units& io, const Inputs& ms, std::string_view file) {
  if (ms.XCONV == 0.0) refuse_zero(io, file, "XCONV", 11);
  if (ms.TUNIT_MODEL == 0.0) refuse_zero(io, file, "TUNIT_MODEL", 12);
  if (ms.TUNIT_DAY == 0.0) refuse_zero(io, file, "TUNIT_DAY", 13);
  for (int k = 1; k <= ms.NCOMP; ++k) {
    if (ms.CCONV(k) == 0.0) refuse_zero(io, file, "CCONV(" + std::to_string(k) + ")", 13 + k);
  }
}

void check_rxpar(Units& io, const Inputs& ms, std::string_view file) {
  for (const int k : kDivisorRxpar) {
    if (ms.RXPAR(k) == 0.0) {
      refuse_zero(io, file, "RXPAR(" + std::to_string(k) + ")", 13 + ms.NCOMP + k);
    }
  }
}

}  // namespace

void READ_PRM_QZ5(Units& io, Inputs& ms, int unit) {
  const std::string file = ms.FN_PRM.string();
  open_input(io, unit, ms, ms.FN_PRM);
  io.read_list(unit, {&ms.NCOMP});
  const bool declared = ms.kinetics_ncomp > 0;
  if (declared && ms.NCOMP != ms.kinetics_ncomp) {
    refuse_input(io, "READ_PRM_QZ5",
                 "NCOMP is " + std::to_string(ms.NCOMP) + " (record 1), the kinetics declare " +
                     std::to_string(ms.kinetics_ncomp) + " constituents",
                 file);
  }
  if (!declared && ms.NCOMP != kRequiredNcomp) {
    refuse_input(io, "READ_PRM_QZ5",
                 "NCOMP must be 6, not " + std::to_string(ms.NCOMP) + " (record 1)", file);
  }
  // NPTS goes on as read: the grid set-up decides what fits its workspace.
  io.read_list(unit, {&ms.NPTS});
  io.read_list(unit, {&ms.TAU});
  io.read_list(unit, {&ms.KAPPA});
  io.read_list(unit, {&ms.ALPHA});
  io.read_list(unit, {&ms.ATOL});
  io.read_list(unit, {&ms.RTOL});
  io.read_list(unit, {&ms.INFO10});
  io.read_list(unit, {&ms.USE_UT0});
  io.read_list(unit, {&ms.LI_FROM_BND});
  io.read_list(unit, {&ms.XCONV});
  io.read_list(unit, {&ms.TUNIT_MODEL});
  io.read_list(unit, {&ms.TUNIT_DAY});
  for (int k = 1; k <= ms.NCOMP; ++k) io.read_list(unit, {&ms.CCONV(k)});
  // Declared kinetics carry their own parameters: records after the
  // concentration factors may be there and are not read.
  if (!declared) {
    for (int k = 1; k <= kNumRxpar; ++k) io.read_list(unit, {&ms.RXPAR(k)});
  }
  io.close(unit);
  check_unit_factors(io, ms, file);
  if (!declared) check_rxpar(io, ms, file);
}

}  // namespace qz5
