// The Newton iteration matrix dG/dY + LEAD_COEF dG/dYPRIME: formed by
// differences of the residual or by the caller's JAC, dense or banded, then
// factored; and the solve with its factors.
#include <algorithm>
#include <cmath>

#include "integrator/dassl_routines.h"
#include "linalg/band.h"

namespace qz5 {
namespace {

// Increment for component n: large enough to rise above roundoff in Y(n),
// H*YPRIME(n) and the weight, in the direction the solution moves, and
// rounded so that Y(n) + INC - Y(n) is exactly INC.
double increment(double ROOT_U, double y, double yprime, double wt, double H) {
  const double hyp = H * yprime;
  double INC = ROOT_U * std::max(std::max(std::abs(y), std::abs(hyp)), std::abs(wt));
  INC = hyp >= 0.0 ? std::abs(INC) : -std::abs(INC);
  return (y + INC) - y;
}

// The increment of a coordinate N = p*B + c: as increment(), with the
// smaller distance to the same unknown of the neighbouring blocks p-1, p+1
// in place of |Y(N)|.
double spacing_increment(double ROOT_U, const Vec1<double>& y, double yprime, double wt, double H,
                         int N, int B, int p, int points) {
  const double left = p > 0 ? std::abs(y(N) - y(N - B)) : HUGE_VAL;
  const double right = p + 1 < points ? std::abs(y(N + B) - y(N)) : HUGE_VAL;
  const double spacing = std::min(left, right) < HUGE_VAL ? std::min(left, right) : 0.0;
  const double hyp = H * yprime;
  double INC = ROOT_U * std::max(std::max(spacing, std::abs(hyp)), std::abs(wt));
  INC = hyp >= 0.0 ? std::abs(INC) : -std::abs(INC);
  return (y(N) + INC) - y(N);
}

int band_lda(const int* IWORK) { return 2 * iwork_at(IWORK, kMl) + iwork_at(IWORK, kMu) + 1; }

void dense_by_differences(const Problem& P, double TIME, double* Y, double* YPRIME,
                          const double* RESIDUAL_VEC, double LEAD_COEF, double H, const double* WT,
                          double* ERROR_ACC, double* MATRIX_STORE, int* IWORK, int& IRES,
                          double ROOT_U, int& SINGULAR) {
  const int NEQ = P.NEQ;
  IRES = 0;
  for (int I = 0; I < NEQ; ++I) {
    const double INC = increment(ROOT_U, Y[I], YPRIME[I], WT[I], H);
    const double y_save = Y[I];
    const double yp_save = YPRIME[I];
    Y[I] = Y[I] + INC;
    YPRIME[I] = YPRIME[I] + LEAD_COEF * INC;
    P.RES(TIME, Y, YPRIME, ERROR_ACC, IRES, P.RPAR, P.IPAR);
    if (IRES < 0) return;
    const double INC_INV = 1.0 / INC;
    double* column = MATRIX_STORE + I * NEQ;
    for (int L = 0; L < NEQ; ++L) column[L] = (ERROR_ACC[L] - RESIDUAL_VEC[L]) * INC_INV;
    Y[I] = y_save;
    YPRIME[I] = yp_save;
  }
  DGEFA(P.io, MATRIX_STORE, NEQ, NEQ, iwork_from(IWORK, kPivots), SINGULAR);
}

// Columns GROUP_STRIDE apart touch disjoint rows of the band, so one residual
// evaluation gives every column of a group.
void band_by_differences(const Problem& P, double TIME, double* Y, double* YPRIME,
                         const double* RESIDUAL_VEC, double LEAD_COEF, double H, const double* WT,
                         double* ERROR_ACC, double* MATRIX_STORE, int* IWORK, int& IRES,
                         double ROOT_U, int SAVE_START, int& SINGULAR) {
  const int NEQ = P.NEQ;
  const int ML = iwork_at(IWORK, kMl);
  const int MU = iwork_at(IWORK, kMu);
  const int GROUP_STRIDE = ML + MU + 1;
  const int GROUP_COUNT = std::min(GROUP_STRIDE, NEQ);
  const int BAND_LDA = GROUP_STRIDE + ML;
  const int SAVE_LEN = NEQ / GROUP_STRIDE + 1;
  const Vec1<double> y(Y), yp(YPRIME), store(MATRIX_STORE);
  const Vec1<double> save_y(&store(SAVE_START)), save_yp(&store(SAVE_START + SAVE_LEN));
  const Vec1<const double> wt(WT), res(RESIDUAL_VEC), perturbed(ERROR_ACC);
  IRES = 0;
  for (int J = 1; J <= GROUP_COUNT; ++J) {
    for (int N = J; N <= NEQ; N += GROUP_STRIDE) {
      const int K = (N - J) / GROUP_STRIDE + 1;
      save_y(K) = y(N);
      save_yp(K) = yp(N);
      const double INC = increment(ROOT_U, y(N), yp(N), wt(N), H);
      y(N) = y(N) + INC;
      yp(N) = yp(N) + LEAD_COEF * INC;
    }
    P.RES(TIME, Y, YPRIME, ERROR_ACC, IRES, P.RPAR, P.IPAR);
    if (IRES < 0) return;
    for (int N = J; N <= NEQ; N += GROUP_STRIDE) {
      const int K = (N - J) / GROUP_STRIDE + 1;
      y(N) = save_y(K);
      yp(N) = save_yp(K);
      const double INC = increment(ROOT_U, y(N), yp(N), wt(N), H);
      const double INC_INV = 1.0 / INC;
      const int first = std::max(1, N - MU);
      const int last = std::min(NEQ, N + ML);
      for (int I = first; I <= last; ++I)
        store(N * (BAND_LDA - 1) - ML + I) = (perturbed(I) - res(I)) * INC_INV;
    }
  }
  BAND_FACTOR(MATRIX_STORE, BAND_LDA, NEQ, ML, MU, iwork_from(IWORK, kPivots), SINGULAR);
}

// The column groups of a block structure: unknown c of every block whose
// index is j modulo 2 reach + 1. Usable when there are fewer of them than
// bandwidth groups and the band leaves two fill-in rows per column, where
// the perturbed column keeps its saved Y and YPRIME (the factorisation
// clears those rows before it fills them).
int block_group_count(const BlockStructure* S, int NEQ, int ML, int MU) {
  if (S == nullptr || S->block <= 0 || S->block > BlockStructure::kMaxBlock) return 0;
  if (NEQ % S->block != 0 || ML < 2) return 0;
  int count = 0;
  for (int c = 0; c < S->block; ++c) count += 2 * S->reach[static_cast<std::size_t>(c)] + 1;
  return count < std::min(ML + MU + 1, NEQ) ? count : 0;
}

// The banded difference quotients by the column groups of a block
// structure. Rows that the caller's structure says a column cannot change
// get (G - G)/INC, which is what a lone perturbation of that column gives
// them; the others get the perturbed residual's quotient. Entry for entry
// the same matrix as band_by_differences, in fewer residual evaluations.
void band_by_blocks(const Problem& P, double TIME, double* Y, double* YPRIME,
                    const double* RESIDUAL_VEC, double LEAD_COEF, double H, const double* WT,
                    double* ERROR_ACC, double* MATRIX_STORE, int* IWORK, int& IRES, double ROOT_U,
                    int& SINGULAR) {
  const int NEQ = P.NEQ;
  const int ML = iwork_at(IWORK, kMl);
  const int MU = iwork_at(IWORK, kMu);
  const int BAND_LDA = 2 * ML + MU + 1;
  const int B = P.structure->block;
  const int points = NEQ / B;
  const Vec1<double> y(Y), yp(YPRIME), store(MATRIX_STORE);
  const Vec1<const double> wt(WT), res(RESIDUAL_VEC), perturbed(ERROR_ACC);
  // Storage rows 1 and 2 of column N: its saved Y and YPRIME.
  auto saved_y = [&](int N) -> double& { return store((N - 1) * BAND_LDA + 1); };
  auto saved_yp = [&](int N) -> double& { return store((N - 1) * BAND_LDA + 2); };
  IRES = 0;
  for (int c = 1; c <= B; ++c) {
    const int reach = P.structure->reach[static_cast<std::size_t>(c - 1)];
    const bool spaced = P.structure->spacing_increment[static_cast<std::size_t>(c - 1)];
    const int stride = 2 * reach + 1;
    // Neighbours of a column are never in its group (stride >= 3 with
    // reach >= 1), so the spacing is the same before and after it moves.
    auto increment_of = [&](int N, int p) {
      if (!spaced || reach < 1) return increment(ROOT_U, y(N), yp(N), wt(N), H);
      return spacing_increment(ROOT_U, y, yp(N), wt(N), H, N, B, p, points);
    };
    for (int j = 0; j < stride && j < points; ++j) {
      for (int p = j; p < points; p += stride) {
        const int N = p * B + c;
        saved_y(N) = y(N);
        saved_yp(N) = yp(N);
        const double INC = increment_of(N, p);
        y(N) = y(N) + INC;
        yp(N) = yp(N) + LEAD_COEF * INC;
      }
      P.RES(TIME, Y, YPRIME, ERROR_ACC, IRES, P.RPAR, P.IPAR);
      if (IRES < 0) return;
      for (int p = j; p < points; p += stride) {
        const int N = p * B + c;
        y(N) = saved_y(N);
        yp(N) = saved_yp(N);
        const double INC = increment_of(N, p);
        const double INC_INV = 1.0 / INC;
        const int first = std::max(1, N - MU);
        const int last = std::min(NEQ, N + ML);
        const int reached_first = std::max(0, p - reach) * B + 1;
        const int reached_last = std::min(points - 1, p + reach) * B + B;
        for (int I = first; I <= last; ++I) {
          const bool reached = I >= reached_first && I <= reached_last;
          store(N * (BAND_LDA - 1) - ML + I) = ((reached ? perturbed(I) : res(I)) - res(I)) * INC_INV;
        }
      }
    }
  }
  BAND_FACTOR(MATRIX_STORE, BAND_LDA, NEQ, ML, MU, iwork_from(IWORK, kPivots), SINGULAR);
}

}  // namespace

void ITERATION_MATRIX(const Problem& P, double TIME, double* Y, double* YPRIME,
                      const double* RESIDUAL_VEC, double LEAD_COEF, double H, int& SINGULAR,
                      const double* WT, double* ERROR_ACC, double* MATRIX_STORE, int* IWORK,
                      int& IRES, double UNIT_ROUNDOFF, int SAVE_START) {
  SINGULAR = 0;
  const int NEQ = P.NEQ;
  const double ROOT_U = std::sqrt(UNIT_ROUNDOFF);
  switch (iwork_at(IWORK, kMatrixKind)) {
    case kDenseJac:
      std::fill(MATRIX_STORE, MATRIX_STORE + NEQ * NEQ, 0.0);
      P.JAC(TIME, Y, YPRIME, MATRIX_STORE, LEAD_COEF, P.RPAR, P.IPAR);
      DGEFA(P.io, MATRIX_STORE, NEQ, NEQ, iwork_from(IWORK, kPivots), SINGULAR);
      break;
    case kDenseDiff:
      dense_by_differences(P, TIME, Y, YPRIME, RESIDUAL_VEC, LEAD_COEF, H, WT, ERROR_ACC,
                           MATRIX_STORE, IWORK, IRES, ROOT_U, SINGULAR);
      break;
    case kBandJac: {
      const int BAND_LDA = band_lda(IWORK);
      std::fill(MATRIX_STORE, MATRIX_STORE + BAND_LDA * NEQ, 0.0);
      P.JAC(TIME, Y, YPRIME, MATRIX_STORE, LEAD_COEF, P.RPAR, P.IPAR);
      BAND_FACTOR(MATRIX_STORE, BAND_LDA, NEQ, iwork_at(IWORK, kMl), iwork_at(IWORK, kMu),
                  iwork_from(IWORK, kPivots), SINGULAR);
      break;
    }
    default:  // kBandDiff
      if (block_group_count(P.structure, NEQ, iwork_at(IWORK, kMl), iwork_at(IWORK, kMu)) > 0) {
        band_by_blocks(P, TIME, Y, YPRIME, RESIDUAL_VEC, LEAD_COEF, H, WT, ERROR_ACC, MATRIX_STORE,
                       IWORK, IRES, ROOT_U, SINGULAR);
        break;
      }
      band_by_differences(P, TIME, Y, YPRIME, RESIDUAL_VEC, LEAD_COEF, H, WT, ERROR_ACC,
                          MATRIX_STORE, IWORK, IRES, ROOT_U, SAVE_START, SINGULAR);
      break;
  }
}

void ITERATION_SOLVE(const Problem& P, double* RESIDUAL_VEC, const double* MATRIX_STORE,
                     const int* IWORK) {
  const int kind = iwork_at(IWORK, kMatrixKind);
  const int* PIVOTS = iwork_from(IWORK, kPivots);
  if (kind == kBandJac || kind == kBandDiff) {
    BAND_SOLVE(MATRIX_STORE, band_lda(IWORK), P.NEQ, iwork_at(IWORK, kMl), iwork_at(IWORK, kMu),
               PIVOTS, RESIDUAL_VEC, 0);
  } else {
    DGESL(P.io, MATRIX_STORE, P.NEQ, P.NEQ, PIVOTS, RESIDUAL_VEC, 0);
  }
}

}  // namespace qz5
