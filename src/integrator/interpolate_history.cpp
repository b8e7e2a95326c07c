// Values between mesh points from the modified divided differences of the
// last step.
#include "integrator/dassl_routines.h"

namespace qz5 {

void INTERPOLATE_HISTORY(double T_REACHED, double T_OUT, double* Y_OUT, double* YPRIME_OUT, int NEQ,
                         int ORDER_LAST, const double* DIFF_TABLE, const double* STEP_SPANS) {
  const Columns1<const double> phi(DIFF_TABLE, NEQ);
  const Vec1<const double> psi(STEP_SPANS);
  const double DT = T_OUT - T_REACHED;
  const double* solution = phi.column(1);
  for (int i = 0; i < NEQ; ++i) {
    Y_OUT[i] = solution[i];
    YPRIME_OUT[i] = 0.0;
  }
  double CY = 1.0;
  double CD = 0.0;
  double GR = DT / psi(1);
  for (int J = 2; J <= ORDER_LAST + 1; ++J) {
    CD = CD * GR + CY / psi(J - 1);
    CY = CY * GR;
    GR = (DT + psi(J - 1)) / psi(J);
    const double* column = phi.column(J);
    for (int i = 0; i < NEQ; ++i) {
      Y_OUT[i] = Y_OUT[i] + CY * column[i];
      YPRIME_OUT[i] = YPRIME_OUT[i] + CD * column[i];
    }
  }
}

}  // namespace qz5
