#include "engine/callbacks.h"

#include "engine/engine.h"

#include "discretisation/skm.h"
#include "integrator/work_layout.h"

namespace qz5 {

void RES(Units& io, const Inputs& ms, const SkmState& skm, PdeProblem& problem, double T,
         double* Y, double* YPRIME, double* DELTA, int& IRES, double* RPAR, int* /*IPAR*/,
         Observer* observer) {
  const int neq = (ms.NCOMP + 1) * ms.NPTS;
  const int lenwk = (ms.NCOMP + 6) * ms.NCOMP + (ms.NCOMP + 1) * ms.NPTS;
  SKMRES(io, skm, problem, neq, T, Y, YPRIME, DELTA, IRES, RPAR, lenwk);
  if (IRES == 2) {
    IRES = -2;
  } else if (IRES == 3) {
    if (observer != nullptr) observer->on_illegal_solution(T);
    IRES = -1;
  }
}

void jac_dummy(double /*T*/, double* /*Y*/, double* /*YPRIME*/, double* /*PD*/, double /*CJ*/,
               double* /*RPAR*/, int* /*IPAR*/) {}

void MONITOR(Units& io, int unit, const StepInfo& step) {
  io.write_formatted(unit, "(6H Time=,E13.5, 4H; H=,E13.5, 8H; Order=,I2)",
                     {step.t_reached, step.h_last, step.order_last});
}

void MONITOR(Units& io, int unit, const double* RWORK, const int* IWORK) {
  MONITOR(io, unit,
          StepInfo{rwork_at(RWORK, kTReached), rwork_at(RWORK, kHLast), iwork_at(IWORK, kOrderLast)});
}

}  // namespace qz5
