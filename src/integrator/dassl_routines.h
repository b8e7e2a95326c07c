// The routines beneath DDASSL: error weights and norm, the initial-derivative
// computation, one BDF step, interpolation of the step history, and the
// Newton iteration matrix with its solve.
//
// They work on sections of the caller's RWORK and IWORK that DDASSL hands
// them; the bundles below only group those sections and the call-backs so the
// argument lists stay readable. No routine allocates or keeps state of its own.
// Arrays are pointers to element 1 of 1-based arrays.
#pragma once

#include "integrator/ddassl.h"

namespace qz5 {

// The system being integrated and its call-backs.
struct Problem {
  Units& io;  // for the dense-matrix stubs, which report and stop
  int NEQ;
  const ResidualFn& RES;
  const JacobianFn& JAC;
  double* RPAR;
  int* IPAR;
  const BlockStructure* structure = nullptr;  // dependence pattern, if the caller gave one
};

// Work-array sections shared by INITIAL_YPRIME and BDF_STEP.
struct Sections {
  double* DIFF_TABLE;    // NEQ x (MAXORD + 1), by columns
  double* RESIDUAL_VEC;  // NEQ
  double* ERROR_ACC;     // NEQ
  double* MATRIX_STORE;  // iteration matrix, then the save vectors of kind 5
  int* IWORK;            // the whole IWORK (bandwidths, kind, counters, pivots)
  int SAVE_START;        // 1-based start of the save vectors inside MATRIX_STORE
};

// The step-to-step state of BDF_STEP, as references into RWORK and IWORK.
struct StepState {
  double* STEP_RATIOS;   // 6 each
  double* DIFF_SCALES;
  double* DERIV_COEFS;
  double* STEP_SPANS;
  double* ERROR_COEFS;
  double& LEAD_COEF;
  double& LEAD_COEF_MATRIX;
  double& H_LAST;
  double& CONV_FACTOR;
  int& STEP_PHASE;
  int& MATRIX_STATE;
  int& ORDER_NEXT;
  int& ORDER_LAST;
  int& CONST_STEPS;
};

// Binds the sections and the step state to the work arrays of a problem of
// NEQ equations whose order limit is already stored in IWORK(3).
Sections sections_of(int NEQ, double* RWORK, int* IWORK);
StepState step_state_of(double* RWORK, int* IWORK);
// 1-based position in RWORK of the error weights WT.
int wt_position(int NEQ);

// WT(i) = rt_i |Y(i)| + at_i, with the scalar tolerances RTOL(1), ATOL(1)
// when VECTOR_TOL = 0 and RTOL(i), ATOL(i) otherwise.
void SET_ERROR_WEIGHTS(int NEQ, int VECTOR_TOL, const double* RTOL, const double* ATOL,
                       const double* Y, double* WT);

// Root-mean-square of V(i)/WT(i), scaled by its largest element so that the
// sum of squares cannot overflow; 0 when every element is 0. NaN when some
// V(i)/WT(i) is a NaN or an infinity: callers treat a norm that is not finite
// as a failure, never as a small value.
double WEIGHTED_RMS_NORM(int NEQ, const double* V, const double* WT);

// Value and derivative at T_OUT of the interpolating polynomial of order
// ORDER_LAST of the step that ended at T_REACHED.
void INTERPOLATE_HISTORY(double T_REACHED, double T_OUT, double* Y_OUT, double* YPRIME_OUT, int NEQ,
                         int ORDER_LAST, const double* DIFF_TABLE, const double* STEP_SPANS);

// Forms the iteration matrix dG/dY + LEAD_COEF dG/dYPRIME at (TIME, Y, YPRIME),
// where RESIDUAL_VEC already holds G there, and factors it. ERROR_ACC is
// scratch. Y and YPRIME are restored afterwards unless RES refused (IRES < 0,
// returned at once). SINGULAR != 0: a zero pivot at that column. RES calls
// made here are not counted.
void ITERATION_MATRIX(const Problem& P, double TIME, double* Y, double* YPRIME,
                      const double* RESIDUAL_VEC, double LEAD_COEF, double H, int& SINGULAR,
                      const double* WT, double* ERROR_ACC, double* MATRIX_STORE, int* IWORK,
                      int& IRES, double UNIT_ROUNDOFF, int SAVE_START);

// Overwrites RESIDUAL_VEC with the solution of (iteration matrix) x =
// RESIDUAL_VEC, using the factors left by ITERATION_MATRIX.
void ITERATION_SOLVE(const Problem& P, double* RESIDUAL_VEC, const double* MATRIX_STORE,
                     const int* IWORK);

// One accepted backward-Euler step from TIME with a damped Newton iteration,
// making Y and YPRIME consistent at the new TIME. IDID = 1 on success (TIME,
// Y, YPRIME at the accepted point, H the step used); IDID = -12 on failure
// (TIME, Y, YPRIME restored, H the last reduced step).
void INITIAL_YPRIME(const Problem& P, double& TIME, double* Y, double* YPRIME, double& H,
                    const double* WT, int& IDID, const Sections& S, double HMIN,
                    double UNIT_ROUNDOFF, int KEEP_NONNEG);

// One step of the BDF method. IDID = 1: T_REACHED advanced, Y and YPRIME the
// corrected values there, H the step to try next. IDID -6..-11: gave up,
// T_REACHED the last accepted time, Y and YPRIME interpolated there.
// FIRST_FLAG 0 initialises the history and is set to 1.
void BDF_STEP(const Problem& P, double& T_REACHED, double* Y, double* YPRIME, double& H,
              const double* WT, int& FIRST_FLAG, int& IDID, const Sections& S, const StepState& C,
              double HMIN, double UNIT_ROUNDOFF, int KEEP_NONNEG);

}  // namespace qz5
