// The four vector kernels under the banded factorisation and solve.
//
// With unit strides the loops are unrolled: the N mod r leading elements are
// handled one at a time, then blocks of r. Within a block the products are
// added left to right, so the unrolled paths form and sum exactly the same
// products in the same order as the strided loop: the result does not depend
// on which path was taken.

#include <cmath>

#include "linalg/add_scaled.h"
#include "linalg/band.h"
#include "linalg/index1.h"

namespace qz5 {

using linalg_detail::Vector1;
using linalg_detail::walk_start;

namespace {

constexpr int kAddScaledBlock = 4;
constexpr int kScaleBlock = 5;
constexpr int kDotBlock = 5;

}  // namespace

void VEC_ADD_SCALED(int N, double A, const double* X, int INCX, double* Y, int INCY) {
  if (N <= 0 || A == 0.0) return;
  const Vector1<const double> x(X);
  const Vector1<double> y(Y);
  if (INCX == 1 && INCY == 1 && linalg_detail::separate(X, Y, N)) {
    linalg_detail::add_scaled_separate(N, A, X, Y);
    return;
  }
  if (INCX == 1 && INCY == 1) {
    const int lead = N % kAddScaledBlock;
    for (int i = 1; i <= lead; ++i) y(i) = y(i) + A * x(i);
    for (int i = lead + 1; i <= N; i += kAddScaledBlock) {
      y(i) = y(i) + A * x(i);
      y(i + 1) = y(i + 1) + A * x(i + 1);
      y(i + 2) = y(i + 2) + A * x(i + 2);
      y(i + 3) = y(i + 3) + A * x(i + 3);
    }
    return;
  }
  int ix = walk_start(N, INCX);
  int iy = walk_start(N, INCY);
  for (int k = 1; k <= N; ++k, ix += INCX, iy += INCY) y(iy) = y(iy) + A * x(ix);
}

int VEC_MAX_ABS_INDEX(int N, const double* X, int INCX) {
  if (N <= 0) return 0;
  if (N == 1) return 1;
  const Vector1<const double> x(X);
  int ix = walk_start(N, INCX);
  int best = 1;
  double best_abs = std::fabs(x(ix));
  ix += INCX;
  for (int k = 2; k <= N; ++k, ix += INCX) {
    // Strictly larger only: among equal magnitudes the first one wins.
    const double a = std::fabs(x(ix));
    if (a > best_abs) {
      best = k;
      best_abs = a;
    }
  }
  return best;
}

void VEC_SCALE(int N, double A, double* X, int INCX) {
  if (N <= 0) return;
  const Vector1<double> x(X);
  if (INCX == 1) {
    const int lead = N % kScaleBlock;
    for (int i = 1; i <= lead; ++i) x(i) = A * x(i);
    for (int i = lead + 1; i <= N; i += kScaleBlock) {
      x(i) = A * x(i);
      x(i + 1) = A * x(i + 1);
      x(i + 2) = A * x(i + 2);
      x(i + 3) = A * x(i + 3);
      x(i + 4) = A * x(i + 4);
    }
    return;
  }
  int ix = walk_start(N, INCX);
  for (int k = 1; k <= N; ++k, ix += INCX) x(ix) = A * x(ix);
}

double VEC_DOT(int N, const double* X, int INCX, const double* Y, int INCY) {
  double sum = 0.0;
  if (N <= 0) return sum;
  const Vector1<const double> x(X);
  const Vector1<const double> y(Y);
  if (INCX == 1 && INCY == 1) {
    const int lead = N % kDotBlock;
    for (int i = 1; i <= lead; ++i) sum = sum + x(i) * y(i);
    for (int i = lead + 1; i <= N; i += kDotBlock) {
      sum = sum + x(i) * y(i) + x(i + 1) * y(i + 1) + x(i + 2) * y(i + 2) +
            x(i + 3) * y(i + 3) + x(i + 4) * y(i + 4);
    }
    return sum;
  }
  int ix = walk_start(N, INCX);
  int iy = walk_start(N, INCY);
  for (int k = 1; k <= N; ++k, ix += INCX, iy += INCY) sum = sum + x(ix) * y(iy);
  return sum;
}

}  // namespace qz5
