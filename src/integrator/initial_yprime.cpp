// A consistent starting point: one backward-Euler step with a damped Newton
// iteration, accepted only when the change of Y passes a local error test.
#include <algorithm>
#include <cmath>

#include "integrator/dassl_routines.h"

namespace qz5 {
namespace {

constexpr int kMaxIter = 10;
constexpr int kIterPerMatrix = 5;
constexpr double kDamping = 0.75;
constexpr double kFreshRateFactor = 1000000.0;
constexpr double kConvThreshold = 0.33;
constexpr double kRateLimit = 0.9;
constexpr double kFailShrink = 0.25;
constexpr int kMaxErrFails = 10;
constexpr int kMaxConvFails = 10;
constexpr int kMaxSingFails = 3;

// State of one call, shared by the corrector and the failure handling.
struct Attempt {
  const Problem& P;
  double* Y;
  double* YPRIME;
  const double* WT;
  const Sections& S;
  double UNIT_ROUNDOFF;
  int KEEP_NONNEG;
  double Y_NORM;
  double INV_H = 0.0;
  double ERR_TEST = 0.0;
  int SINGULAR = 0;
  int IRES = 0;
  int SING_FAIL_N = 0;
};

// Y -= d, YPRIME -= INV_H d.
void apply_correction(Attempt& a, const double* d) {
  for (int i = 0; i < a.P.NEQ; ++i) {
    a.Y[i] = a.Y[i] - d[i];
    a.YPRIME[i] = a.YPRIME[i] - a.INV_H * d[i];
  }
}

// Newton iteration at TIME. True when it converged.
bool correct(Attempt& a, double TIME, double H) {
  const Problem& P = a.P;
  const int NEQ = P.NEQ;
  double* R = a.S.RESIDUAL_VEC;
  bool NEED_MATRIX = true;
  int ITER = 0;
  double FIRST_CORR_NORM = 0.0;
  double RATE_FACTOR = kFreshRateFactor;
  for (;;) {
    iwork_at(a.S.IWORK, kResCount) += 1;
    a.IRES = 0;
    P.RES(TIME, a.Y, a.YPRIME, R, a.IRES, P.RPAR, P.IPAR);
    if (a.IRES < 0) return false;
    if (NEED_MATRIX) {
      iwork_at(a.S.IWORK, kJacCount) += 1;
      NEED_MATRIX = false;
      ITERATION_MATRIX(P, TIME, a.Y, a.YPRIME, R, a.INV_H, H, a.SINGULAR, a.WT, a.S.ERROR_ACC,
                       a.S.MATRIX_STORE, a.S.IWORK, a.IRES, a.UNIT_ROUNDOFF, a.S.SAVE_START);
      RATE_FACTOR = kFreshRateFactor;
      if (a.IRES < 0 || a.SINGULAR != 0) return false;
      a.SING_FAIL_N = 0;
    }
    for (int i = 0; i < NEQ; ++i) R[i] = R[i] * kDamping;
    ITERATION_SOLVE(P, R, a.S.MATRIX_STORE, a.S.IWORK);
    apply_correction(a, R);
    const double CORR_NORM = WEIGHTED_RMS_NORM(NEQ, R, a.WT);
    // A value that is not finite never converges (see BDF_STEP).
    if (!std::isfinite(CORR_NORM) || !std::isfinite(a.Y_NORM)) return false;
    if (CORR_NORM <= 100.0 * a.UNIT_ROUNDOFF * a.Y_NORM) return true;
    if (ITER == 0) {
      FIRST_CORR_NORM = CORR_NORM;
    } else {
      const double CONV_RATE = std::pow(CORR_NORM / FIRST_CORR_NORM, 1.0 / ITER);
      if (CONV_RATE > kRateLimit) return false;
      RATE_FACTOR = CONV_RATE / (1.0 - CONV_RATE);
    }
    if (RATE_FACTOR * CORR_NORM <= kConvThreshold) return true;
    ITER = ITER + 1;
    if (ITER >= kMaxIter) return false;
    if (ITER % kIterPerMatrix == 0) NEED_MATRIX = true;
  }
}

// Clips small negative components (when asked) and measures the change of Y
// in ERR_TEST. Returns false (a convergence failure) when the clip is too
// large or the change is not finite.
bool clip_and_measure(Attempt& a) {
  const int NEQ = a.P.NEQ;
  double* R = a.S.RESIDUAL_VEC;
  if (a.KEEP_NONNEG == 1) {
    for (int i = 0; i < NEQ; ++i) R[i] = std::min(a.Y[i], 0.0);
    if (!(WEIGHTED_RMS_NORM(NEQ, R, a.WT) <= kConvThreshold)) return false;
    apply_correction(a, R);
  }
  double* E = a.S.ERROR_ACC;
  const double* y_start = a.S.DIFF_TABLE;
  for (int i = 0; i < NEQ; ++i) E[i] = a.Y[i] - y_start[i];
  a.ERR_TEST = WEIGHTED_RMS_NORM(NEQ, E, a.WT);
  return std::isfinite(a.ERR_TEST);
}

}  // namespace

void INITIAL_YPRIME(const Problem& P, double& TIME, double* Y, double* YPRIME, double& H,
                    const double* WT, int& IDID, const Sections& S, double HMIN,
                    double UNIT_ROUNDOFF, int KEEP_NONNEG) {
  const int NEQ = P.NEQ;
  IDID = 1;
  int ERR_FAIL_N = 0, CONV_FAIL_N = 0;
  const double T_START = TIME;
  Attempt a{P, Y, YPRIME, WT, S, UNIT_ROUNDOFF, KEEP_NONNEG, WEIGHTED_RMS_NORM(NEQ, Y, WT)};
  const Columns1<double> saved(S.DIFF_TABLE, NEQ);
  std::copy(Y, Y + NEQ, saved.column(1));
  std::copy(YPRIME, YPRIME + NEQ, saved.column(2));
  for (;;) {
    a.INV_H = 1.0 / H;
    TIME = TIME + H;
    for (int i = 0; i < NEQ; ++i) Y[i] = Y[i] + H * YPRIME[i];
    bool CONVERGED = correct(a, TIME, H);
    if (CONVERGED) {
      CONVERGED = clip_and_measure(a);
      if (CONVERGED && a.ERR_TEST <= 1.0) return;
    }
    TIME = T_START;
    std::copy(saved.column(1), saved.column(1) + NEQ, Y);
    std::copy(saved.column(2), saved.column(2) + NEQ, YPRIME);
    bool retry;
    if (CONVERGED) {
      ERR_FAIL_N = ERR_FAIL_N + 1;
      double R = 0.9 / (2.0 * a.ERR_TEST + 0.0001);
      R = std::max(0.1, std::min(0.5, R));
      H = H * R;
      retry = std::abs(H) >= HMIN && ERR_FAIL_N < kMaxErrFails;
    } else if (a.SINGULAR != 0) {
      a.SING_FAIL_N = a.SING_FAIL_N + 1;
      H = H * kFailShrink;
      retry = a.SING_FAIL_N < kMaxSingFails && std::abs(H) >= HMIN;
    } else if (a.IRES <= -2) {
      retry = false;
    } else {
      CONV_FAIL_N = CONV_FAIL_N + 1;
      H = H * kFailShrink;
      retry = CONV_FAIL_N < kMaxConvFails && std::abs(H) >= HMIN;
    }
    if (!retry) {
      IDID = -12;
      return;
    }
  }
}

}  // namespace qz5
