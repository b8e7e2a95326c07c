// One step of the fixed-leading-coefficient BDF method on a variable mesh:
// predict from the modified divided differences, correct with a modified
// Newton iteration, estimate the local error at neighbouring orders, accept
// or reject, and choose the order and step size of the next step.
#include <algorithm>
#include <cmath>
#include <limits>

#include "integrator/dassl_routines.h"

namespace qz5 {
namespace {

constexpr int kMaxIter = 4;
constexpr double kMatrixBandLow = 0.6;  // (1 - 0.25) / (1 + 0.25)
constexpr double kFreshConvFactor = 100.0;
constexpr double kConvThreshold = 0.33;
constexpr double kRateLimit = 0.9;
constexpr double kFailShrink = 0.25;
constexpr int kMaxConvFails = 10;
constexpr int kMaxSingFails = 3;

enum class Iteration { kConverged, kSlow, kRefused };

class Stepper {
 public:
  Stepper(const Problem& P, double& T_REACHED, double* Y, double* YPRIME, double& H,
          const double* WT, int& IDID, const Sections& S, const StepState& C, double HMIN,
          double UNIT_ROUNDOFF, int KEEP_NONNEG)
      : P_(P), T_REACHED_(T_REACHED), Y_(Y), YPRIME_(YPRIME), H_(H), WT_(WT), IDID_(IDID), S_(S),
        C_(C), HMIN_(HMIN), UNIT_ROUNDOFF_(UNIT_ROUNDOFF), KEEP_NONNEG_(KEEP_NONNEG),
        MAXORD_(iwork_at(S.IWORK, kMaxord)), phi_(S.DIFF_TABLE, P.NEQ), ratios_(C.STEP_RATIOS),
        scales_(C.DIFF_SCALES), deriv_(C.DERIV_COEFS), psi_(C.STEP_SPANS), errc_(C.ERROR_COEFS) {}

  void start(int& FIRST_FLAG);
  void run();

 private:
  void coefficients();
  void predict();
  bool correct();
  Iteration iterate();
  bool clip();
  bool estimate_errors();
  void accept();
  bool recover(bool CONVERGED);
  bool reject_negative();
  void project_nonnegative();
  void restore();
  int neq() const { return P_.NEQ; }
  double error_norm(const double* V) const;
  int& counter(int pos) const { return iwork_at(S_.IWORK, pos); }

  const Problem& P_;
  double& T_REACHED_;
  double* Y_;
  double* YPRIME_;
  double& H_;
  const double* WT_;
  int& IDID_;
  const Sections& S_;
  const StepState& C_;
  const double HMIN_;
  const double UNIT_ROUNDOFF_;
  const int KEEP_NONNEG_;
  const int MAXORD_;
  const Columns1<double> phi_;
  const Vec1<double> ratios_, scales_, deriv_, psi_, errc_;

  int k_ = 1;
  double T_START_ = 0.0;
  double ERR_CONST_ = 0.0;
  double PRED_NORM_ = 0.0;
  int ITER_ = 0;
  int SINGULAR_ = 0;
  int IRES_ = 0;
  int CONV_FAIL_N_ = 0, SING_FAIL_N_ = 0, ERR_FAIL_N_ = 0;
  double ERR_NORM_ = 0.0, EST_K_ = 0.0, TEST_K_ = 0.0, EST_KM1_ = 0.0, TEST_KM1_ = 0.0;
  double EST_NEW_ = 0.0;
  int ORDER_CAND_ = 1;
  double NEGATIVE_NORM_ = 0.0;  // norm of the negative part (projection mode)
};

void Stepper::start(int& FIRST_FLAG) {
  IDID_ = 1;
  T_START_ = T_REACHED_;
  if (FIRST_FLAG != 0) return;
  counter(kErrtestFails) = 0;
  counter(kConvFails) = 0;
  C_.ORDER_NEXT = 1;
  C_.ORDER_LAST = 0;
  C_.H_LAST = 0.0;
  FIRST_FLAG = 1;
  psi_(1) = H_;
  C_.LEAD_COEF_MATRIX = 1.0 / H_;
  C_.LEAD_COEF = C_.LEAD_COEF_MATRIX;
  C_.CONV_FACTOR = kFreshConvFactor;
  C_.MATRIX_STATE = -1;
  C_.STEP_PHASE = 0;
  C_.CONST_STEPS = 0;
}

// Formula coefficients for the step size and order of this attempt, and the
// difference table turned into predicted differences.
void Stepper::coefficients() {
  const double H = H_;
  k_ = C_.ORDER_NEXT;
  const int k = k_;
  T_START_ = T_REACHED_;
  if (H != C_.H_LAST || k != C_.ORDER_LAST) C_.CONST_STEPS = 0;
  C_.CONST_STEPS = std::min(C_.CONST_STEPS + 1, C_.ORDER_LAST + 2);
  if (C_.CONST_STEPS <= k + 1) {
    scales_(1) = 1.0;
    ratios_(1) = 1.0;
    deriv_(1) = 0.0;
    errc_(1) = 1.0;
    double TMP_A = H;
    for (int I = 2; I <= k + 1; ++I) {
      const double TMP_B = psi_(I - 1);
      psi_(I - 1) = TMP_A;
      scales_(I) = scales_(I - 1) * psi_(I - 1) / TMP_B;
      TMP_A = TMP_B + H;
      ratios_(I) = H / TMP_A;
      errc_(I) = (I - 1) * errc_(I - 1) * ratios_(I);
      deriv_(I) = deriv_(I - 1) + ratios_(I - 1) / H;
    }
    psi_(k + 1) = TMP_A;
  }
  double LEAD_SUM = 0.0;
  double RATIO_SUM = 0.0;
  for (int I = 1; I <= k; ++I) {
    LEAD_SUM = LEAD_SUM - 1.0 / I;
    RATIO_SUM = RATIO_SUM - ratios_(I);
  }
  const double LEAD_COEF_PREV = C_.LEAD_COEF;
  C_.LEAD_COEF = -LEAD_SUM / H;
  ERR_CONST_ = std::max(std::abs(ratios_(k + 1) + LEAD_SUM - RATIO_SUM), ratios_(k + 1));
  const double matrix_ratio = C_.LEAD_COEF / C_.LEAD_COEF_MATRIX;
  if (matrix_ratio < kMatrixBandLow || matrix_ratio > 1.0 / kMatrixBandLow) C_.MATRIX_STATE = -1;
  if (C_.LEAD_COEF != LEAD_COEF_PREV) C_.CONV_FACTOR = kFreshConvFactor;
  for (int J = C_.CONST_STEPS + 1; J <= k + 1; ++J) {
    double* column = phi_.column(J);
    for (int i = 0; i < neq(); ++i) column[i] = scales_(J) * column[i];
  }
  T_REACHED_ = T_REACHED_ + H;
}

void Stepper::predict() {
  const double* solution = phi_.column(1);
  for (int i = 0; i < neq(); ++i) {
    Y_[i] = solution[i];
    YPRIME_[i] = 0.0;
  }
  for (int J = 2; J <= k_ + 1; ++J) {
    const double* column = phi_.column(J);
    for (int i = 0; i < neq(); ++i) {
      Y_[i] = Y_[i] + column[i];
      YPRIME_[i] = YPRIME_[i] + deriv_(J) * column[i];
    }
  }
  PRED_NORM_ = WEIGHTED_RMS_NORM(neq(), Y_, WT_);
}

// The corrector; true when it converged. A slow iteration with a matrix from
// an earlier step is retried once with a fresh matrix.
bool Stepper::correct() {
  double* R = S_.RESIDUAL_VEC;
  for (;;) {
    predict();
    ITER_ = 0;
    counter(kResCount) += 1;
    IRES_ = 0;
    P_.RES(T_REACHED_, Y_, YPRIME_, R, IRES_, P_.RPAR, P_.IPAR);
    if (IRES_ < 0) return false;
    if (C_.MATRIX_STATE == -1) {
      counter(kJacCount) += 1;
      C_.MATRIX_STATE = 0;
      ITERATION_MATRIX(P_, T_REACHED_, Y_, YPRIME_, R, C_.LEAD_COEF, H_, SINGULAR_, WT_,
                       S_.ERROR_ACC, S_.MATRIX_STORE, S_.IWORK, IRES_, UNIT_ROUNDOFF_,
                       S_.SAVE_START);
      C_.LEAD_COEF_MATRIX = C_.LEAD_COEF;
      C_.CONV_FACTOR = kFreshConvFactor;
      if (IRES_ < 0 || SINGULAR_ != 0) return false;
      SING_FAIL_N_ = 0;
    }
    std::fill(S_.ERROR_ACC, S_.ERROR_ACC + neq(), 0.0);
    switch (iterate()) {
      case Iteration::kConverged:
        return clip();
      case Iteration::kRefused:
        return false;
      case Iteration::kSlow:
        if (C_.MATRIX_STATE == 0) return false;
        C_.MATRIX_STATE = -1;
        break;
    }
  }
}

Iteration Stepper::iterate() {
  double* R = S_.RESIDUAL_VEC;
  double* E = S_.ERROR_ACC;
  double FIRST_CORR_NORM = 0.0;
  for (;;) {
    // Compensates for a matrix formed with another leading coefficient.
    const double TMP_A = 2.0 / (1.0 + C_.LEAD_COEF / C_.LEAD_COEF_MATRIX);
    for (int i = 0; i < neq(); ++i) R[i] = R[i] * TMP_A;
    ITERATION_SOLVE(P_, R, S_.MATRIX_STORE, S_.IWORK);
    for (int i = 0; i < neq(); ++i) {
      Y_[i] = Y_[i] - R[i];
      E[i] = E[i] - R[i];
      YPRIME_[i] = YPRIME_[i] - C_.LEAD_COEF * R[i];
    }
    const double CORR_NORM = WEIGHTED_RMS_NORM(neq(), R, WT_);
    // A prediction or a correction that is not finite (a residual gone NaN
    // or infinite) can never be a converged value: fail like an iteration
    // that does not contract, so the step is retried smaller.
    if (!std::isfinite(CORR_NORM) || !std::isfinite(PRED_NORM_)) return Iteration::kSlow;
    if (CORR_NORM <= 100.0 * UNIT_ROUNDOFF_ * PRED_NORM_) return Iteration::kConverged;
    if (ITER_ == 0) {
      FIRST_CORR_NORM = CORR_NORM;
    } else {
      const double CONV_RATE = std::pow(CORR_NORM / FIRST_CORR_NORM, 1.0 / ITER_);
      if (CONV_RATE > kRateLimit) return Iteration::kSlow;
      C_.CONV_FACTOR = CONV_RATE / (1.0 - CONV_RATE);
    }
    if (C_.CONV_FACTOR * CORR_NORM <= kConvThreshold) return Iteration::kConverged;
    ITER_ = ITER_ + 1;
    if (ITER_ >= kMaxIter) return Iteration::kSlow;
    counter(kResCount) += 1;
    IRES_ = 0;
    P_.RES(T_REACHED_, Y_, YPRIME_, R, IRES_, P_.RPAR, P_.IPAR);
    if (IRES_ < 0) return Iteration::kRefused;
  }
}

// Non-negativity: a small clip enters the history through ERROR_ACC (Y as
// returned is not clipped); a large one counts as a convergence failure.
bool Stepper::clip() {
  NEGATIVE_NORM_ = 0.0;
  if (KEEP_NONNEG_ == 2) {
    // Projection: measured here, projected when the step is accepted.
    double* R = S_.RESIDUAL_VEC;
    for (int i = 0; i < neq(); ++i) R[i] = std::min(Y_[i], 0.0);
    NEGATIVE_NORM_ = WEIGHTED_RMS_NORM(neq(), R, WT_);
    return std::isfinite(NEGATIVE_NORM_);
  }
  if (KEEP_NONNEG_ != 1) return true;
  double* R = S_.RESIDUAL_VEC;
  for (int i = 0; i < neq(); ++i) R[i] = std::min(Y_[i], 0.0);
  if (!(WEIGHTED_RMS_NORM(neq(), R, WT_) <= kConvThreshold)) return false;
  for (int i = 0; i < neq(); ++i) S_.ERROR_ACC[i] = S_.ERROR_ACC[i] - R[i];
  return true;
}

// The weighted norm of an error estimate: WEIGHTED_RMS_NORM, or, where the
// caller excludes unknowns of its blocks from the error test, the same over
// the others alone (largest quotient first, then the root mean square of
// the scaled quotients, divided by their count).
double Stepper::error_norm(const double* V) const {
  const BlockStructure* s = P_.structure;
  const int B = s != nullptr ? s->block : 0;
  bool excludes = B > 0 && B <= BlockStructure::kMaxBlock && neq() % B == 0;
  if (excludes) {
    excludes = false;
    for (int c = 0; c < B; ++c) excludes = excludes || s->no_error_test[static_cast<std::size_t>(c)];
  }
  if (!excludes) return WEIGHTED_RMS_NORM(neq(), V, WT_);
  double BIGGEST = 0.0;
  int count = 0;
  for (int i = 0; i < neq(); ++i) {
    if (s->no_error_test[static_cast<std::size_t>(i % B)]) continue;
    ++count;
    const double q = std::abs(V[i] / WT_[i]);
    if (!std::isfinite(q)) return std::numeric_limits<double>::quiet_NaN();
    if (q > BIGGEST) BIGGEST = q;
  }
  if (!(BIGGEST > 0.0)) return 0.0;
  double SUMSQ = 0.0;
  for (int i = 0; i < neq(); ++i) {
    if (s->no_error_test[static_cast<std::size_t>(i % B)]) continue;
    const double q = (V[i] / WT_[i]) / BIGGEST;
    SUMSQ = SUMSQ + q * q;
  }
  return BIGGEST * std::sqrt(SUMSQ / count);
}

// Local error estimates at orders k, k-1 and k-2; lowers the candidate order
// when the lower orders do at least as well. False when an estimate is not
// finite: the corrected values are then unusable.
bool Stepper::estimate_errors() {
  const int k = k_;
  double* R = S_.RESIDUAL_VEC;
  const double* E = S_.ERROR_ACC;
  ERR_NORM_ = error_norm(E);
  EST_K_ = errc_(k + 1) * ERR_NORM_;
  TEST_K_ = (k + 1) * EST_K_;
  EST_NEW_ = EST_K_;
  ORDER_CAND_ = k;
  if (k == 1) return std::isfinite(ERR_NORM_);
  const double* diff_k1 = phi_.column(k + 1);
  for (int i = 0; i < neq(); ++i) R[i] = diff_k1[i] + E[i];
  EST_KM1_ = errc_(k) * error_norm(R);
  TEST_KM1_ = k * EST_KM1_;
  bool lower = false;
  bool finite = std::isfinite(ERR_NORM_) && std::isfinite(EST_KM1_);
  if (k == 2) {
    lower = TEST_KM1_ <= 0.5 * TEST_K_;
  } else {
    const double* diff_k = phi_.column(k);
    for (int i = 0; i < neq(); ++i) R[i] = diff_k[i] + R[i];
    const double EST_KM2 = errc_(k - 1) * error_norm(R);
    const double TEST_KM2 = (k - 1) * EST_KM2;
    lower = std::max(TEST_KM1_, TEST_KM2) <= TEST_K_;
    finite = finite && std::isfinite(EST_KM2);
  }
  if (lower) {
    ORDER_CAND_ = k - 1;
    EST_NEW_ = EST_KM1_;
  }
  return finite;
}

// A successful step: order and step size for the next step, then the
// difference table brought up to date.
void Stepper::accept() {
  const int k = k_;
  IDID_ = 1;
  counter(kStepCount) += 1;
  const int ORDER_CHANGE = k - C_.ORDER_LAST;
  C_.ORDER_LAST = k;
  C_.H_LAST = H_;
  if (ORDER_CAND_ == k - 1 || k == MAXORD_) C_.STEP_PHASE = 1;
  bool new_step_size = true;
  if (C_.STEP_PHASE == 0) {
    C_.ORDER_NEXT = k + 1;
    H_ = 2.0 * H_;
    new_step_size = false;
  } else if (ORDER_CAND_ == k - 1) {
    C_.ORDER_NEXT = k - 1;
    EST_NEW_ = EST_KM1_;
  } else if (!(k == MAXORD_ || k + 1 >= C_.CONST_STEPS || ORDER_CHANGE == 1)) {
    double* R = S_.RESIDUAL_VEC;
    const double* diff_k2 = phi_.column(k + 2);
    for (int i = 0; i < neq(); ++i) R[i] = S_.ERROR_ACC[i] - diff_k2[i];
    const double EST_KP1 = error_norm(R) / (k + 2);
    const double TEST_KP1 = (k + 2) * EST_KP1;
    if (k == 1) {
      if (TEST_KP1 < 0.5 * TEST_K_) {
        C_.ORDER_NEXT = k + 1;
        EST_NEW_ = EST_KP1;
      }
    } else if (TEST_KM1_ <= std::min(TEST_K_, TEST_KP1)) {
      C_.ORDER_NEXT = k - 1;
      EST_NEW_ = EST_KM1_;
    } else if (TEST_KP1 < TEST_K_ && k != MAXORD_) {
      C_.ORDER_NEXT = k + 1;
      EST_NEW_ = EST_KP1;
    }
  }
  if (new_step_size) {
    double R = std::pow(2.0 * EST_NEW_ + 0.0001, -1.0 / (C_.ORDER_NEXT + 1));
    if (R >= 2.0) {
      H_ = 2.0 * H_;
    } else if (R <= 1.0) {
      R = std::max(0.5, std::min(0.9, R));
      H_ = H_ * R;
    }
  }
  if (KEEP_NONNEG_ == 2) project_nonnegative();
  const double* E = S_.ERROR_ACC;
  if (C_.ORDER_LAST != MAXORD_) std::copy(E, E + neq(), phi_.column(k + 2));
  double* diff_k1 = phi_.column(k + 1);
  for (int i = 0; i < neq(); ++i) diff_k1[i] = diff_k1[i] + E[i];
  for (int J = k; J >= 1; --J) {
    double* lower = phi_.column(J);
    const double* upper = phi_.column(J + 1);
    for (int i = 0; i < neq(); ++i) lower[i] = lower[i] + upper[i];
  }
}

// Puts time, differences and spans back as they were before the attempt.
void Stepper::restore() {
  const int k = k_;
  T_REACHED_ = T_START_;
  for (int J = C_.CONST_STEPS + 1; J <= k + 1; ++J) {
    const double inverse = 1.0 / scales_(J);
    double* column = phi_.column(J);
    for (int i = 0; i < neq(); ++i) column[i] = column[i] * inverse;
  }
  for (int I = 2; I <= k + 1; ++I) psi_(I - 1) = psi_(I) - H_;
}

// A failed attempt: reduce the step (and perhaps the order) and return true
// to retry, or set the failure IDID and return false.
bool Stepper::recover(bool CONVERGED) {
  C_.STEP_PHASE = 1;
  restore();
  bool retry;
  if (!CONVERGED) {
    counter(kConvFails) += 1;
    if (SINGULAR_ != 0) {
      SING_FAIL_N_ = SING_FAIL_N_ + 1;
      H_ = kFailShrink * H_;
      retry = SING_FAIL_N_ < kMaxSingFails && std::abs(H_) >= HMIN_;
      if (!retry) IDID_ = -8;
    } else if (IRES_ <= -2) {
      retry = false;
      IDID_ = -11;
    } else {
      CONV_FAIL_N_ = CONV_FAIL_N_ + 1;
      H_ = kFailShrink * H_;
      retry = CONV_FAIL_N_ < kMaxConvFails && std::abs(H_) >= HMIN_;
      if (!retry) IDID_ = IRES_ < 0 ? -10 : -7;
      if (!retry && ERR_FAIL_N_ >= 3) IDID_ = -9;
    }
  } else {
    ERR_FAIL_N_ = ERR_FAIL_N_ + 1;
    counter(kErrtestFails) += 1;
    if (ERR_FAIL_N_ == 1) {
      C_.ORDER_NEXT = ORDER_CAND_;
      double R = 0.9 * std::pow(2.0 * EST_NEW_ + 0.0001, -1.0 / (C_.ORDER_NEXT + 1));
      R = std::max(0.25, std::min(0.9, R));
      H_ = H_ * R;
    } else if (ERR_FAIL_N_ == 2) {
      C_.ORDER_NEXT = ORDER_CAND_;
      H_ = kFailShrink * H_;
    } else {
      C_.ORDER_NEXT = 1;
      H_ = kFailShrink * H_;
    }
    retry = std::abs(H_) >= HMIN_;
    if (!retry) IDID_ = -6;
  }
  if (!retry) {
    INTERPOLATE_HISTORY(T_REACHED_, T_REACHED_, Y_, YPRIME_, neq(), C_.ORDER_NEXT, S_.DIFF_TABLE,
                        C_.STEP_SPANS);
  }
  return retry;
}

// The negative part of an accepted step, within the error weights, set to
// zero in the returned values and in the history; the derivative follows the
// corrector's relation between the two.
void Stepper::project_nonnegative() {
  double* E = S_.ERROR_ACC;
  for (int i = 0; i < neq(); ++i) {
    const double negative = std::min(Y_[i], 0.0);
    if (negative == 0.0) continue;
    Y_[i] = Y_[i] - negative;
    YPRIME_[i] = YPRIME_[i] - C_.LEAD_COEF * negative;
    E[i] = E[i] - negative;
  }
}

// A step whose solution goes negative beyond the error weights: rejected
// like a failed error test, the step shrunk in proportion to how far.
bool Stepper::reject_negative() {
  C_.STEP_PHASE = 1;
  restore();
  ERR_FAIL_N_ = ERR_FAIL_N_ + 1;
  counter(kErrtestFails) += 1;
  H_ = H_ * std::max(0.25, std::min(0.9, 0.9 / NEGATIVE_NORM_));
  if (std::abs(H_) >= HMIN_) return true;
  IDID_ = -6;
  INTERPOLATE_HISTORY(T_REACHED_, T_REACHED_, Y_, YPRIME_, neq(), C_.ORDER_NEXT, S_.DIFF_TABLE,
                      C_.STEP_SPANS);
  return false;
}

void Stepper::run() {
  for (;;) {
    coefficients();
    bool CONVERGED = correct();
    C_.MATRIX_STATE = 1;
    // Error estimates that are not finite count as a corrector failure, so
    // a NaN can never pass the error test.
    if (CONVERGED) CONVERGED = estimate_errors();
    if (CONVERGED && NEGATIVE_NORM_ > 1.0) {
      if (!reject_negative()) return;
      continue;
    }
    if (CONVERGED) {
      const double ERR_TEST = ERR_CONST_ * ERR_NORM_;
      if (!(ERR_TEST > 1.0)) {
        accept();
        return;
      }
    }
    if (!recover(CONVERGED)) return;
  }
}

}  // namespace

void BDF_STEP(const Problem& P, double& T_REACHED, double* Y, double* YPRIME, double& H,
              const double* WT, int& FIRST_FLAG, int& IDID, const Sections& S, const StepState& C,
              double HMIN, double UNIT_ROUNDOFF, int KEEP_NONNEG) {
  Stepper stepper(P, T_REACHED, Y, YPRIME, H, WT, IDID, S, C, HMIN, UNIT_ROUNDOFF, KEEP_NONNEG);
  stepper.start(FIRST_FLAG);
  stepper.run();
}

}  // namespace qz5
