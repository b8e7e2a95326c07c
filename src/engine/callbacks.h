// The three small routines the driver hands to the integrator or calls
// between integrator returns: the residual, the (unused) Jacobian and the
// progress line.
#pragma once

#include "discretisation/pde_problem.h"
#include "discretisation/skm_state.h"
#include "input/inputs.h"
#include "textio/textio.h"

namespace qz5 {

struct StepInfo;
class Observer;

inline constexpr int LUNRES = kUnitResult;  // "RESULT"
inline constexpr int LUNRUN = kUnitRuninf;  // "RUNINF"
inline constexpr int LUNTXC = kUnitTxc;     // the concentration output file

// Residual G(T, Y, YPRIME) of the discretised model into DELTA. Translates the
// discretisation's status: 2 (not set up) becomes -2 so the integrator gives
// up; 3 (grid not strictly increasing) becomes -1 so it retries with a
// smaller step, after telling the observer (on_illegal_solution), when there
// is one. IPAR is not used.
void RES(Units& io, const Inputs& ms, const SkmState& skm, PdeProblem& problem, double T,
         double* Y, double* YPRIME, double* DELTA, int& IRES, double* RPAR, int* IPAR,
         Observer* observer = nullptr);

// Handed to the integrator only to fill its argument list: the iteration
// matrix is always formed by differences, so it is never called.
void jac_dummy(double T, double* Y, double* YPRIME, double* PD, double CJ, double* RPAR,
               int* IPAR);

// One progress line: time reached, last step size and last order.
void MONITOR(Units& io, int unit, const double* RWORK, const int* IWORK);
// The same from the step information the engine hands its observers.
void MONITOR(Units& io, int unit, const StepInfo& step);

}  // namespace qz5
