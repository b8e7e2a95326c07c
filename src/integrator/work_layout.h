// Where the integrator keeps its state inside the caller's work arrays.
//
// DDASSL keeps everything that must survive from one call to the next in the
// flat arrays RWORK and IWORK, whose positions are numbered from 1 (the run
// driver reads some of them: time reached, last step, last order, counters).
// This header is the one place that turns those 1-based positions into C++
// indices; everything else names a position by its constant and reaches it
// through rwork_at / iwork_at, or through the 1-based views below.
#pragma once

namespace qz5 {

// --- RWORK positions (1-based) ---------------------------------------------
inline constexpr int kTstop = 1;           // TSTOP, set by the caller (INFO(4) = 1)
inline constexpr int kHmax = 2;            // HMAX, set by the caller (INFO(7) = 1)
inline constexpr int kStepSize = 3;        // H: caller's H0 on the first call, then the next step
inline constexpr int kTReached = 4;        // T_REACHED, the last mesh point
inline constexpr int kLeadCoef = 5;        // LEAD_COEF
inline constexpr int kLeadCoefMatrix = 6;  // LEAD_COEF_MATRIX
inline constexpr int kHLast = 7;           // H_LAST, size of the last successful step
inline constexpr int kConvFactor = 8;      // CONV_FACTOR
inline constexpr int kUnitRoundoff = 9;    // UNIT_ROUNDOFF
inline constexpr int kStepRatios = 11;     // STEP_RATIOS(1..6)
inline constexpr int kDiffScales = 17;     // DIFF_SCALES(1..6)
inline constexpr int kDerivCoefs = 23;     // DERIV_COEFS(1..6)
inline constexpr int kStepSpans = 29;      // STEP_SPANS(1..6)
inline constexpr int kErrorCoefs = 35;     // ERROR_COEFS(1..6)
inline constexpr int kResidualVec = 41;    // RESIDUAL_VEC, then ERROR_ACC, WT, DIFF_TABLE, MATRIX_STORE
inline constexpr int kRworkFixed = 40;     // reals before the NEQ-long blocks

// --- IWORK positions (1-based) ---------------------------------------------
inline constexpr int kMl = 1;              // lower bandwidth, set by the caller
inline constexpr int kMu = 2;              // upper bandwidth, set by the caller
inline constexpr int kMaxord = 3;          // maximum order in force
inline constexpr int kMatrixKind = 4;      // 1, 2, 4 or 5
inline constexpr int kMatrixState = 5;     // -1 new matrix needed, 0 formed this step, 1 corrector done
inline constexpr int kStepPhase = 6;       // 0 initial phase, 1 normal phase
inline constexpr int kOrderNext = 7;       // order to try next
inline constexpr int kOrderLast = 8;       // order of the last successful step
inline constexpr int kConstSteps = 9;      // steps with unchanged H and order
inline constexpr int kStepsAtCall = 10;    // STEP_COUNT at the start of this call
inline constexpr int kStepCount = 11;      // successful steps
inline constexpr int kResCount = 12;       // residual evaluations of the corrector
inline constexpr int kJacCount = 13;       // iteration-matrix evaluations
inline constexpr int kErrtestFails = 14;   // error-test failures
inline constexpr int kConvFails = 15;      // corrector failures
inline constexpr int kMatrixLength = 16;   // reals taken by the iteration matrix
inline constexpr int kPivots = 21;         // pivot indices, NEQ of them
inline constexpr int kIworkFixed = 20;     // integers before PIVOTS

// Matrix kinds.
inline constexpr int kDenseJac = 1;
inline constexpr int kDenseDiff = 2;
inline constexpr int kBandJac = 4;
inline constexpr int kBandDiff = 5;

// INFO(1..15), the caller's options (1-based positions).
inline constexpr int kInfoStart = 1;          // 0 first call of a problem
inline constexpr int kInfoVectorTol = 2;      // 1: RTOL and ATOL are vectors, one entry per unknown
inline constexpr int kInfoStepOutput = 3;     // 1: return after every step
inline constexpr int kInfoUserJacobian = 5;   // 1: the caller's JAC forms the iteration matrix
inline constexpr int kInfoBanded = 6;         // 1: banded iteration matrix, bands in IWORK(kMl, kMu)
inline constexpr int kInfoNonNegative = 10;   // 1: keep the solution non-negative
inline constexpr int kInfoInitialYprime = 11; // 1: compute a consistent YPRIME at the start

// The element at a 1-based position, and a pointer to it (the start of a
// block that begins there).
inline double& rwork_at(double* RWORK, int pos) { return RWORK[pos - 1]; }
inline double rwork_at(const double* RWORK, int pos) { return RWORK[pos - 1]; }
inline int& iwork_at(int* IWORK, int pos) { return IWORK[pos - 1]; }
inline int iwork_at(const int* IWORK, int pos) { return IWORK[pos - 1]; }
inline double* rwork_from(double* RWORK, int pos) { return RWORK + (pos - 1); }
inline int* iwork_from(int* IWORK, int pos) { return IWORK + (pos - 1); }
inline const int* iwork_from(const int* IWORK, int pos) { return IWORK + (pos - 1); }

// A plain array seen with 1-based subscripts, as the algorithms number it.
template <typename T>
class Vec1 {
 public:
  explicit Vec1(T* first) : p_(first) {}
  T& operator()(int i) const { return p_[i - 1]; }

 private:
  T* p_;
};

// An NEQ-row table stored by columns (DIFF_TABLE), 1-based.
template <typename T>
class Columns1 {
 public:
  Columns1(T* first, int rows) : p_(first), rows_(rows) {}
  T& operator()(int i, int j) const { return p_[(j - 1) * rows_ + (i - 1)]; }
  T* column(int j) const { return p_ + (j - 1) * rows_; }

 private:
  T* p_;
  int rows_;
};

}  // namespace qz5
