// Error weights, the weighted norm, and where the work-array sections lie.
#include <cmath>
#include <limits>

#include "integrator/dassl_routines.h"

namespace qz5 {

void SET_ERROR_WEIGHTS(int NEQ, int VECTOR_TOL, const double* RTOL, const double* ATOL,
                       const double* Y, double* WT) {
  for (int i = 0; i < NEQ; ++i) {
    const double rt = VECTOR_TOL == 0 ? RTOL[0] : RTOL[i];
    const double at = VECTOR_TOL == 0 ? ATOL[0] : ATOL[i];
    WT[i] = rt * std::abs(Y[i]) + at;
  }
}

double WEIGHTED_RMS_NORM(int NEQ, const double* V, const double* WT) {
  double BIGGEST = 0.0;
  for (int i = 0; i < NEQ; ++i) {
    const double q = std::abs(V[i] / WT[i]);
    // A NaN would be passed over by the comparison below (and a vector of
    // NaNs would measure 0): a value that is not a number, or an infinity,
    // gives a NaN norm, which the corrector and the error tests refuse.
    if (!std::isfinite(q)) return std::numeric_limits<double>::quiet_NaN();
    if (q > BIGGEST) BIGGEST = q;
  }
  if (BIGGEST <= 0.0) return 0.0;
  double SUMSQ = 0.0;
  for (int i = 0; i < NEQ; ++i) SUMSQ = SUMSQ + std::pow((V[i] / WT[i]) / BIGGEST, 2.0);
  return BIGGEST * std::sqrt(SUMSQ / NEQ);
}

double Integrator::MACHINE_CONSTANT(int /*I*/) const { return unit_roundoff_; }

int wt_position(int NEQ) { return kResidualVec + 2 * NEQ; }

Sections sections_of(int NEQ, double* RWORK, int* IWORK) {
  const int MAXORD = iwork_at(IWORK, kMaxord);
  const int diff_pos = wt_position(NEQ) + NEQ;
  const int matrix_pos = diff_pos + NEQ * (MAXORD + 1);
  return Sections{rwork_from(RWORK, diff_pos),
                  rwork_from(RWORK, kResidualVec),
                  rwork_from(RWORK, kResidualVec + NEQ),
                  rwork_from(RWORK, matrix_pos),
                  IWORK,
                  iwork_at(IWORK, kMatrixLength) + 1};
}

StepState step_state_of(double* RWORK, int* IWORK) {
  return StepState{rwork_from(RWORK, kStepRatios),    rwork_from(RWORK, kDiffScales),
                   rwork_from(RWORK, kDerivCoefs),    rwork_from(RWORK, kStepSpans),
                   rwork_from(RWORK, kErrorCoefs),    rwork_at(RWORK, kLeadCoef),
                   rwork_at(RWORK, kLeadCoefMatrix),  rwork_at(RWORK, kHLast),
                   rwork_at(RWORK, kConvFactor),      iwork_at(IWORK, kStepPhase),
                   iwork_at(IWORK, kMatrixState),     iwork_at(IWORK, kOrderNext),
                   iwork_at(IWORK, kOrderLast),       iwork_at(IWORK, kConstSteps)};
}

}  // namespace qz5
