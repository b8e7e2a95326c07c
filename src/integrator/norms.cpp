// Error weights, the weighted norm, and where the work-array sections lie.
#include <cmath>
#include <cstring>
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

namespace {

// Vectors up to this length keep their quotients V(i)/WT(i) on the stack
// between the two passes (32 KiB), so each is divided out once; longer ones
// divide again in the second pass. Same quotients either way.
constexpr int kKeptQuotients = 4096;

// Two doubles in one SSE2 register (a GCC vector type). Division, absolute
// value and comparison work lane by lane, so two lanes give the same bits as
// one element after the other.
typedef double Double2 __attribute__((vector_size(16)));
typedef long long Mask2 __attribute__((vector_size(16)));

// The largest |Q(i)| of the quotients Q(i) = V(i)/WT(i), each stored in Q;
// NaN when one of them is not finite (a NaN would be passed over by the
// comparison, and a vector of NaNs would measure 0: the corrector and the
// error tests refuse a NaN norm).
double largest_quotient(int NEQ, const double* V, const double* WT, double* Q) {
  constexpr double kBig = std::numeric_limits<double>::max();
  const Double2 big = {kBig, kBig};
  Double2 top = {0.0, 0.0};
  Mask2 finite = {-1, -1};
  int i = 0;
  for (; i + 2 <= NEQ; i += 2) {
    Double2 v, w;
    std::memcpy(&v, V + i, sizeof v);
    std::memcpy(&w, WT + i, sizeof w);
    const Double2 quotient = v / w;
    std::memcpy(Q + i, &quotient, sizeof quotient);
    const Double2 q = quotient < 0.0 ? -quotient : quotient;
    finite &= (q <= big);  // false for a NaN and for an infinity
    top = q > top ? q : top;
  }
  double BIGGEST = top[0] > top[1] ? top[0] : top[1];
  bool all_finite = finite[0] != 0 && finite[1] != 0;
  if (i < NEQ) {
    Q[i] = V[i] / WT[i];
    const double q = std::abs(Q[i]);
    all_finite = all_finite && q <= kBig;
    if (q > BIGGEST) BIGGEST = q;
  }
  return all_finite ? BIGGEST : std::numeric_limits<double>::quiet_NaN();
}

// The sum of (Q(i)/BIGGEST)^2, added in increasing i.
double sum_of_squares(int NEQ, const double* Q, double BIGGEST) {
  const Double2 b = {BIGGEST, BIGGEST};
  double SUMSQ = 0.0;
  int i = 0;
  for (; i + 2 <= NEQ; i += 2) {
    Double2 q;
    std::memcpy(&q, Q + i, sizeof q);
    const Double2 scaled = q / b;
    const Double2 square = scaled * scaled;
    SUMSQ = SUMSQ + square[0];
    SUMSQ = SUMSQ + square[1];
  }
  if (i < NEQ) SUMSQ = SUMSQ + std::pow(Q[i] / BIGGEST, 2.0);
  return SUMSQ;
}

}  // namespace

double WEIGHTED_RMS_NORM(int NEQ, const double* V, const double* WT) {
  if (NEQ > kKeptQuotients) {
    double BIGGEST = 0.0;
    for (int i = 0; i < NEQ; ++i) {
      const double q = std::abs(V[i] / WT[i]);
      if (!std::isfinite(q)) return std::numeric_limits<double>::quiet_NaN();
      if (q > BIGGEST) BIGGEST = q;
    }
    if (BIGGEST <= 0.0) return 0.0;
    double SUMSQ = 0.0;
    for (int i = 0; i < NEQ; ++i) SUMSQ = SUMSQ + std::pow((V[i] / WT[i]) / BIGGEST, 2.0);
    return BIGGEST * std::sqrt(SUMSQ / NEQ);
  }
  double kept[kKeptQuotients];
  const double BIGGEST = largest_quotient(NEQ, V, WT, kept);
  if (!(BIGGEST > 0.0)) return BIGGEST == 0.0 ? 0.0 : BIGGEST;
  return BIGGEST * std::sqrt(sum_of_squares(NEQ, kept, BIGGEST) / NEQ);
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
