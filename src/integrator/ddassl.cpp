// DDASSL entry: option and input checks, the state machine over successive
// calls, the first step size, the stepping loop with its stop tests, and the
// framed reports of every error.
#include "integrator/ddassl.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "errors/xermsg.h"
#include "integrator/dassl_routines.h"

namespace qz5 {
namespace {

constexpr int kMaxStepsPerCall = 500;
constexpr int kIllegalInput = -33;
constexpr int kUnhandledError = -998;
// Error number of a TOUT that is not a finite number. None of the three
// reports about TOUT is true of it (it is neither equal to T, nor behind it,
// nor too close to it), so it has a report of its own, numbered after the
// last illegal-input report.
constexpr int kToutNotFinite = 20;

// {X, I8}: the integer in an eight-character field.
std::string i8(int x) { return format_items("(I8)", {x}).text; }
// {X, D}: the real as 1P,D15.6 followed by one blank.
std::string d16(double x) { return format_items("(1P,D15.6)", {x}).text + " "; }

// Fortran's SIGN(a, b): |a| with the sign of b, zero counting as positive.
double with_sign(double a, double b) { return b >= 0.0 ? std::abs(a) : -std::abs(a); }

// One call of DDASSL: its arguments and the working values of the call.
class DasslCall {
 public:
  DasslCall(Integrator& integrator, Units& io, const ResidualFn& RES, int NEQ, double& T,
            double* Y, double* YPRIME, double& TOUT, int* INFO, double* RTOL, double* ATOL,
            int& IDID, double* RWORK, int LRW, int* IWORK, int LIW, double* RPAR, int* IPAR,
            const JacobianFn& JAC)
      : integrator_(integrator), io_(io), P_{io, NEQ, RES, JAC, RPAR, IPAR, &integrator.block_structure()}, T_(T), Y_(Y),
        YPRIME_(YPRIME), TOUT_(TOUT), info_(INFO), RTOL_(RTOL), ATOL_(ATOL), IDID_(IDID),
        RWORK_(RWORK), LRW_(LRW), IWORK_(IWORK), LIW_(LIW) {}

  void run();

 private:
  int NEQ() const { return P_.NEQ; }
  double HMAX() const { return rwork_at(RWORK_, kHmax); }
  double TSTOP() const { return rwork_at(RWORK_, kTstop); }
  int& iw(int pos) const { return iwork_at(IWORK_, pos); }
  // INFO(10) for BDF_STEP: 2 asks for the projection of negative values.
  int keep_nonneg() const {
    return info_(10) == 1 && integrator_.nonnegative() == NonNegative::kProject ? 2 : info_(10);
  }

  bool first_call_checks();
  bool tout_is_finite();
  bool hmax_is_usable();
  bool tolerance_checks();
  bool initial_block();
  bool first_step_size();
  bool continuation_block(bool& FINISHED);
  bool serve_from_history(bool& FINISHED);
  bool tstop_reached(bool& FINISHED);
  void stepping_loop();
  bool stop_tests();
  void interpolate_to(double X);
  void illegal_input(int ERRNUM, const std::string& MSG);
  void error_return();
  void successful_return();

  Integrator& integrator_;
  Units& io_;
  Problem P_;
  double& T_;
  double* Y_;
  double* YPRIME_;
  double& TOUT_;
  Vec1<int> info_;
  double* RTOL_;
  double* ATOL_;
  int& IDID_;
  double* RWORK_;
  int LRW_;
  int* IWORK_;
  int LIW_;

  double T_REACHED_ = 0.0;
  double H_ = 0.0;
  double H0_ = 0.0;
  double UNIT_ROUNDOFF_ = 0.0;
  double HMIN_ = 0.0;
};

void DasslCall::illegal_input(int ERRNUM, const std::string& MSG) {
  XERMSG(io_, "SLATEC", "DDASSL", MSG, ERRNUM, 1);
  IDID_ = kIllegalInput;
  info_(1) = -1;
}

bool DasslCall::first_call_checks() {
  for (int i = 2; i <= 11; ++i) {
    if (info_(i) != 0 && info_(i) != 1) {
      illegal_input(1, "SOME ELEMENT OF INFO VECTOR IS NOT ZERO OR ONE");
      return false;
    }
  }
  if (NEQ() <= 0) {
    illegal_input(2, "NEQ = " + i8(NEQ()) + " .LE. 0");
    return false;
  }
  int MAXORD = 5;
  if (info_(9) == 1) {
    MAXORD = iw(kMaxord);
    if (MAXORD < 1 || MAXORD > 5) {
      illegal_input(3, "MAXORD = " + i8(MAXORD) + " NOT IN RANGE");
      return false;
    }
  }
  iw(kMaxord) = MAXORD;
  int MATRIX_LENGTH = NEQ() * NEQ();
  int LENRW = kRworkFixed + (MAXORD + 4) * NEQ() + MATRIX_LENGTH;
  if (info_(6) == 0) {
    iw(kMatrixKind) = info_(5) == 0 ? kDenseDiff : kDenseJac;
  } else {
    const int ML = iw(kMl);
    const int MU = iw(kMu);
    if (ML < 0 || ML >= NEQ()) {
      illegal_input(17, "ML = " + i8(ML) + " ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ");
      return false;
    }
    if (MU < 0 || MU >= NEQ()) {
      illegal_input(18, "MU = " + i8(MU) + " ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ");
      return false;
    }
    MATRIX_LENGTH = (2 * ML + MU + 1) * NEQ();
    LENRW = kRworkFixed + (MAXORD + 4) * NEQ() + MATRIX_LENGTH;
    if (info_(5) == 0) {
      iw(kMatrixKind) = kBandDiff;
      LENRW = LENRW + 2 * (NEQ() / (ML + MU + 1) + 1);
    } else {
      iw(kMatrixKind) = kBandJac;
    }
  }
  const int LENIW = kIworkFixed + NEQ();
  iw(kMatrixLength) = MATRIX_LENGTH;
  if (LRW_ < LENRW) {
    illegal_input(4, "RWORK LENGTH NEEDED, LENRW = " + i8(LENRW) + ", EXCEEDS LRW = " + i8(LRW_));
    return false;
  }
  if (LIW_ < LENIW) {
    illegal_input(5, "IWORK LENGTH NEEDED, LENIW = " + i8(LENIW) + ", EXCEEDS LIW = " + i8(LIW_));
    return false;
  }
  if (!tout_is_finite()) return false;
  if (TOUT_ == T_) {
    illegal_input(19, "TOUT = T = " + d16(TOUT_));
    return false;
  }
  if (!hmax_is_usable()) return false;
  iw(kStepCount) = 0;
  iw(kResCount) = 0;
  iw(kJacCount) = 0;
  iw(kStepsAtCall) = 0;
  IDID_ = 1;
  return true;
}

// A NaN TOUT passes every comparison with T unnoticed and an infinite one
// makes the first step infinite; both are refused on every call.
bool DasslCall::tout_is_finite() {
  if (std::isfinite(TOUT_)) return true;
  illegal_input(kToutNotFinite, "TOUT = " + d16(TOUT_) + " IS NOT A FINITE NUMBER");
  return false;
}

// With INFO(7) = 1, HMAX must be a positive finite number. A NaN would
// silently bound nothing (every comparison with it is false) and an infinite
// HMAX is no bound either; both are refused with the HMAX report, whose
// ".LT. 0.0" already stands for "not a usable positive bound" (it refuses
// zero too), and the printed value shows which it was. Checked on every call,
// since the caller may change RWORK(2) between calls.
bool DasslCall::hmax_is_usable() {
  if (info_(7) != 1 || (HMAX() > 0.0 && std::isfinite(HMAX()))) return true;
  illegal_input(10, "HMAX = " + d16(HMAX()) + " .LT. 0.0");
  return false;
}

// A tolerance that is NaN or infinite is refused with the report of a
// negative one: like a negative tolerance it cannot weigh an error (an
// infinite one makes every error weigh nothing, a NaN one makes every weight
// NaN), and the report names the array at fault.
bool DasslCall::tolerance_checks() {
  bool nonzero = false;
  for (int i = 0; i < NEQ(); ++i) {
    const double rt = info_(2) == 0 ? RTOL_[0] : RTOL_[i];
    const double at = info_(2) == 0 ? ATOL_[0] : ATOL_[i];
    if (rt > 0.0 || at > 0.0) nonzero = true;
    if (rt < 0.0 || !std::isfinite(rt)) {
      illegal_input(6, "SOME ELEMENT OF RTOL IS .LT. 0");
      return false;
    }
    if (at < 0.0 || !std::isfinite(at)) {
      illegal_input(7, "SOME ELEMENT OF ATOL IS .LT. 0");
      return false;
    }
  }
  if (!nonzero) {
    illegal_input(8, "ALL ELEMENTS OF RTOL AND ATOL ARE ZERO");
    return false;
  }
  return true;
}

// H0 from the caller, or 0.001 of the interval unless the initial slope asks
// for less; then bounded by HMAX and TSTOP.
bool DasslCall::first_step_size() {
  double* WT = rwork_from(RWORK_, wt_position(NEQ()));
  const double INTERVAL = std::abs(TOUT_ - T_);
  if (info_(8) == 1) {
    H0_ = rwork_at(RWORK_, kStepSize);
    if ((TOUT_ - T_) * H0_ < 0.0) {
      illegal_input(11, "TOUT = " + d16(TOUT_) + " BEHIND T = " + d16(T_));
      return false;
    }
    if (H0_ == 0.0) {
      illegal_input(12, "INFO(8)=1 AND H0=0.0");
      return false;
    }
  } else {
    H0_ = 0.001 * INTERVAL;
    const double YPRIME_NORM = WEIGHTED_RMS_NORM(NEQ(), YPRIME_, WT);
    if (YPRIME_NORM > 0.5 / H0_) H0_ = 0.5 / YPRIME_NORM;
    H0_ = with_sign(H0_, TOUT_ - T_);
  }
  if (info_(7) == 1) {
    const double H_RATIO = std::abs(H0_) / HMAX();
    if (H_RATIO > 1.0) H0_ = H0_ / H_RATIO;
  }
  if (info_(4) == 1) {
    if ((TSTOP() - T_) * H0_ < 0.0) {
      illegal_input(15, "INFO(4)=1 AND TSTOP = " + d16(TSTOP()) + " BEHIND T = " + d16(T_));
      return false;
    }
    if ((T_ + H0_ - TSTOP()) * H0_ > 0.0) H0_ = TSTOP() - T_;
    if ((TSTOP() - TOUT_) * H0_ < 0.0) {
      illegal_input(9, "INFO(4) = 1 AND TSTOP = " + d16(TSTOP()) + " BEHIND TOUT = " + d16(TOUT_));
      return false;
    }
  }
  return true;
}

bool DasslCall::initial_block() {
  T_REACHED_ = T_;
  IDID_ = 1;
  double* WT = rwork_from(RWORK_, wt_position(NEQ()));
  SET_ERROR_WEIGHTS(NEQ(), info_(2), RTOL_, ATOL_, Y_, WT);
  for (int i = 0; i < NEQ(); ++i) {
    if (WT[i] <= 0.0) {
      illegal_input(13, "SOME ELEMENT OF WT IS .LE. 0.0");
      return false;
    }
  }
  UNIT_ROUNDOFF_ = integrator_.MACHINE_CONSTANT(4);
  rwork_at(RWORK_, kUnitRoundoff) = UNIT_ROUNDOFF_;
  HMIN_ = 4.0 * UNIT_ROUNDOFF_ * std::max(std::abs(T_), std::abs(TOUT_));
  if (std::abs(TOUT_ - T_) < HMIN_) {
    illegal_input(14, "TOUT = " + d16(TOUT_) + " TOO CLOSE TO T = " + d16(T_) +
                          " TO START INTEGRATION");
    return false;
  }
  if (!first_step_size()) return false;
  const Sections S = sections_of(NEQ(), RWORK_, IWORK_);
  if (info_(11) == 1) {
    INITIAL_YPRIME(P_, T_REACHED_, Y_, YPRIME_, H0_, WT, IDID_, S, HMIN_, UNIT_ROUNDOFF_, info_(10));
    H_ = H0_;  // no step size exists after a failure; keep the last one tried
    if (IDID_ < 0) return true;
  }
  H_ = H0_;
  rwork_at(RWORK_, kStepSize) = H_;
  const Columns1<double> phi(S.DIFF_TABLE, NEQ());
  double* solution = phi.column(1);
  double* scaled_slope = phi.column(2);
  for (int i = 0; i < NEQ(); ++i) {
    solution[i] = Y_[i];
    scaled_slope[i] = H_ * YPRIME_[i];
  }
  return true;
}

void DasslCall::interpolate_to(double X) {
  const Sections S = sections_of(NEQ(), RWORK_, IWORK_);
  INTERPOLATE_HISTORY(T_REACHED_, X, Y_, YPRIME_, NEQ(), iw(kOrderLast), S.DIFF_TABLE,
                      rwork_from(RWORK_, kStepSpans));
}

// With INFO(3) = 1 and the integration already past the last returned time,
// the next answer comes from the history. Returns whether it did.
bool DasslCall::serve_from_history(bool& FINISHED) {
  if (!((T_REACHED_ - T_) * H_ > 0.0)) return false;
  if ((T_REACHED_ - TOUT_) * H_ > 0.0) {
    interpolate_to(TOUT_);
    T_ = TOUT_;
    IDID_ = 3;
  } else {
    interpolate_to(T_REACHED_);
    T_ = T_REACHED_;
    IDID_ = 1;
  }
  FINISHED = true;
  return true;
}

// Returns at TSTOP when the integration has reached it; otherwise keeps the
// next step from passing it.
bool DasslCall::tstop_reached(bool& FINISHED) {
  if (std::abs(T_REACHED_ - TSTOP()) <= 100.0 * UNIT_ROUNDOFF_ * (std::abs(T_REACHED_) + std::abs(H_))) {
    interpolate_to(TSTOP());
    T_ = TSTOP();
    IDID_ = 2;
    FINISHED = true;
    return true;
  }
  if ((T_REACHED_ + H_ - TSTOP()) * H_ > 0.0) {
    H_ = TSTOP() - T_REACHED_;
    rwork_at(RWORK_, kStepSize) = H_;
  }
  return false;
}

bool DasslCall::continuation_block(bool& FINISHED) {
  UNIT_ROUNDOFF_ = rwork_at(RWORK_, kUnitRoundoff);
  FINISHED = false;
  T_REACHED_ = rwork_at(RWORK_, kTReached);
  H_ = rwork_at(RWORK_, kStepSize);
  if (!tout_is_finite() || !hmax_is_usable()) return false;
  if (info_(7) == 1 && std::abs(H_) / HMAX() > 1.0) H_ = H_ / (std::abs(H_) / HMAX());
  if (T_ == TOUT_) {
    illegal_input(19, "TOUT = T = " + d16(TOUT_));
    return false;
  }
  if ((T_ - TOUT_) * H_ > 0.0) {
    illegal_input(11, "TOUT = " + d16(TOUT_) + " BEHIND T = " + d16(T_));
    return false;
  }
  if (info_(4) == 1) {
    if ((T_REACHED_ - TSTOP()) * H_ > 0.0) {
      illegal_input(15, "INFO(4)=1 AND TSTOP = " + d16(TSTOP()) + " BEHIND T = " + d16(T_));
      return false;
    }
    if ((TSTOP() - TOUT_) * H_ < 0.0) {
      illegal_input(9, "INFO(4) = 1 AND TSTOP = " + d16(TSTOP()) + " BEHIND TOUT = " + d16(TOUT_));
      return false;
    }
  }
  if (info_(3) == 0) {
    if ((T_REACHED_ - TOUT_) * H_ >= 0.0) {
      interpolate_to(TOUT_);
      T_ = TOUT_;
      IDID_ = 3;
      FINISHED = true;
      return true;
    }
  } else if (serve_from_history(FINISHED)) {
    return true;
  }
  if (info_(4) == 1) tstop_reached(FINISHED);
  return true;
}

// After a successful step: return at TOUT, at TSTOP or after the step, or
// step again (false).
bool DasslCall::stop_tests() {
  if (info_(4) == 0) {
    if ((T_REACHED_ - TOUT_) * H_ < 0.0) {
      if (info_(3) == 0) return false;
      T_ = T_REACHED_;
      IDID_ = 1;
      return true;
    }
    interpolate_to(TOUT_);
    T_ = TOUT_;
    IDID_ = 3;
    return true;
  }
  if ((T_REACHED_ - TOUT_) * H_ >= 0.0) {
    interpolate_to(TOUT_);
    T_ = TOUT_;
    IDID_ = 3;
    return true;
  }
  if (std::abs(T_REACHED_ - TSTOP()) <= 100.0 * UNIT_ROUNDOFF_ * (std::abs(T_REACHED_) + std::abs(H_))) {
    interpolate_to(TSTOP());
    T_ = TSTOP();
    IDID_ = 2;
    return true;
  }
  if (info_(3) == 1) {
    T_ = T_REACHED_;
    IDID_ = 1;
    return true;
  }
  if ((T_REACHED_ + H_ - TSTOP()) * H_ > 0.0) H_ = TSTOP() - T_REACHED_;
  return false;
}

void DasslCall::stepping_loop() {
  double* WT = rwork_from(RWORK_, wt_position(NEQ()));
  const Sections S = sections_of(NEQ(), RWORK_, IWORK_);
  const StepState C = step_state_of(RWORK_, IWORK_);
  for (;;) {
    if (IDID_ == -12) return error_return();
    if (iw(kStepCount) - iw(kStepsAtCall) >= kMaxStepsPerCall) {
      IDID_ = -1;
      return error_return();
    }
    SET_ERROR_WEIGHTS(NEQ(), info_(2), RTOL_, ATOL_, S.DIFF_TABLE, WT);
    if (std::any_of(WT, WT + NEQ(), [](double w) { return w <= 0.0; })) {
      IDID_ = -3;
      return error_return();
    }
    // Tolerances below what the arithmetic can deliver: enlarge them.
    const double R = WEIGHTED_RMS_NORM(NEQ(), S.DIFF_TABLE, WT) * UNIT_ROUNDOFF_ * 100.0;
    if (R > 1.0) {
      const int n = info_(2) == 1 ? NEQ() : 1;
      for (int i = 0; i < n; ++i) {
        RTOL_[i] = R * RTOL_[i];
        ATOL_[i] = R * ATOL_[i];
      }
      IDID_ = -2;
      return error_return();
    }
    HMIN_ = 4.0 * UNIT_ROUNDOFF_ * std::max(std::abs(T_REACHED_), std::abs(TOUT_));
    if (info_(7) == 1 && std::abs(H_) / HMAX() > 1.0) H_ = H_ / (std::abs(H_) / HMAX());
    BDF_STEP(P_, T_REACHED_, Y_, YPRIME_, H_, WT, info_(1), IDID_, S, C, HMIN_, UNIT_ROUNDOFF_,
             keep_nonneg());
    if (IDID_ < 0) return error_return();
    if (stop_tests()) return successful_return();
  }
}

void DasslCall::successful_return() {
  rwork_at(RWORK_, kTReached) = T_REACHED_;
  rwork_at(RWORK_, kStepSize) = H_;
}

std::string failure_message(int IDID, double T_REACHED, double H, double H0) {
  const std::string at = "AT T = " + d16(T_REACHED);
  const std::string at_h = at + " AND STEPSIZE H = " + d16(H);
  switch (IDID) {
    case -1:
      return "AT CURRENT T = " + d16(T_REACHED) + " 500 STEPS TAKEN ON THIS " +
             "CALL BEFORE REACHING TOUT";
    case -2:
      return at + " TOO MUCH ACCURACY REQUESTED FOR " +
             "PRECISION OF MACHINE. RTOL AND ATOL WERE INCREASED TO " + "APPROPRIATE VALUES";
    case -3:
      return at + " SOME ELEMENT OF WT HAS BECOME .LE. " + "0.0";
    case -6:
      return at_h + " THE ERROR TEST FAILED REPEATEDLY OR WITH ABS(H)=HMIN";
    case -7:
      return at_h + " THE CORRECTOR FAILED TO CONVERGE REPEATEDLY OR WITH " + "ABS(H)=HMIN";
    case -8:
      return at_h + " THE ITERATION MATRIX IS SINGULAR";
    case -9:
      return at_h + " THE CORRECTOR COULD NOT CONVERGE.  ALSO, THE ERROR TEST " +
             "FAILED REPEATEDLY.";
    case -10:
      return at_h + " THE CORRECTOR COULD NOT CONVERGE BECAUSE IRES WAS EQUAL " + "TO MINUS ONE";
    case -11:
      return at_h + " IRES WAS EQUAL TO MINUS TWO";
    default:  // -12
      return at + " AND STEPSIZE H = " + d16(H0) + " THE INITIAL YPRIME COULD NOT BE COMPUTED";
  }
}

void DasslCall::error_return() {
  XERMSG(io_, "SLATEC", "DDASSL", failure_message(IDID_, T_REACHED_, H_, H0_), IDID_, 1);
  info_(1) = -1;
  T_ = T_REACHED_;
  rwork_at(RWORK_, kTReached) = T_REACHED_;
  rwork_at(RWORK_, kStepSize) = H_;
}

void DasslCall::run() {
  switch (info_(1)) {
    case 0:
      if (!first_call_checks()) return;
      break;
    case 1:
      iw(kStepsAtCall) = iw(kStepCount);
      break;
    case -1:
      XERMSG(io_, "SLATEC", "DDASSL",
             "THE LAST STEP TERMINATED WITH A NEGATIVE VALUE OF IDID = " + i8(IDID_) +
                 " AND NO APPROPRIATE ACTION WAS TAKEN.  " + "RUN TERMINATED",
             kUnhandledError, 2);
      return;
    default:
      illegal_input(1, "SOME ELEMENT OF INFO VECTOR IS NOT ZERO OR ONE");
      return;
  }
  if (!tolerance_checks()) return;
  if (info_(1) == 1) {
    bool FINISHED = false;
    if (!continuation_block(FINISHED)) return;
    if (FINISHED) return successful_return();
  } else if (!initial_block()) {
    return;
  }
  stepping_loop();
}

}  // namespace

void Integrator::DDASSL(const ResidualFn& RES, int NEQ, double& T, double* Y, double* YPRIME,
                        double& TOUT, int* INFO, double* RTOL, double* ATOL, int& IDID,
                        double* RWORK, int LRW, int* IWORK, int LIW, double* RPAR, int* IPAR,
                        const JacobianFn& JAC) {
  DasslCall call(*this, io_, RES, NEQ, T, Y, YPRIME, TOUT, INFO, RTOL, ATOL, IDID, RWORK, LRW,
                 IWORK, LIW, RPAR, IPAR, JAC);
  call.run();
}

}  // namespace qz5
