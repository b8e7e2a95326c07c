// Banded LU factorisation with partial pivoting and the banded solve.
//
// Column-oriented Gaussian elimination in band storage (m = ML + MU + 1 is
// the row of the diagonal). A row interchange can push elements of a pivot
// row up to ML places beyond the original upper bandwidth; rows 1..ML of the
// storage take that fill-in, and the factorisation clears them itself just
// before a column first receives any.

#include <algorithm>

#include "linalg/add_scaled.h"
#include "linalg/band.h"
#include "linalg/index1.h"

namespace qz5 {

using linalg_detail::Matrix1;
using linalg_detail::Vector1;

namespace {

// Zeroes the fill-in rows of the first columns that elimination can reach
// before the main loop starts clearing one new column per step.
void clear_initial_fill(const Matrix1<double>& abd, int N, int ML, int MU, int m) {
  const int j0 = MU + 2;
  const int j1 = std::min(N, m) - 1;
  for (int jz = j0; jz <= j1; ++jz) {
    for (int i = m + 1 - jz; i <= ML; ++i) abd(i, jz) = 0.0;
  }
}

// Applies step k's row interchange to columns k+1..ju and subtracts the
// multiples of the pivot row. l is the pivot's storage row in column k.
void eliminate_columns(const Matrix1<double>& abd, int k, int ju, int l, int lm, int m) {
  int mm = m;
  for (int j = k + 1; j <= ju; ++j) {
    // Moving one column right moves the same matrix row one storage row up.
    --l;
    --mm;
    const double t = abd(l, j);
    if (l != mm) {
      abd(l, j) = abd(mm, j);
      abd(mm, j) = t;
    }
    // Columns k and j are separate storage.
    if (t != 0.0) linalg_detail::add_scaled_separate(lm, t, abd.at(m + 1, k), abd.at(mm + 1, j));
  }
}

}  // namespace

void BAND_FACTOR(double* ABD, int LDA, int N, int ML, int MU, int* IPVT, int& INFO) {
  const Matrix1<double> abd(ABD, LDA);
  const Vector1<int> ipvt(IPVT);
  const int m = ML + MU + 1;
  INFO = 0;
  clear_initial_fill(abd, N, ML, MU, m);
  int jz = std::min(N, m) - 1;
  int ju = 0;
  for (int k = 1; k <= N - 1; ++k) {
    ++jz;
    if (jz <= N && ML >= 1) {
      for (int i = 1; i <= ML; ++i) abd(i, jz) = 0.0;
    }
    const int lm = std::min(ML, N - k);
    const int l = VEC_MAX_ABS_INDEX(lm + 1, abd.at(m, k), 1) + m - 1;
    ipvt(k) = l + k - m;
    if (abd(l, k) == 0.0) {
      // Singular so far: remember the column and leave it as it is.
      INFO = k;
      continue;
    }
    if (l != m) std::swap(abd(l, k), abd(m, k));
    const double t = -1.0 / abd(m, k);
    VEC_SCALE(lm, t, abd.at(m + 1, k), 1);
    ju = std::min(std::max(ju, MU + ipvt(k)), N);
    eliminate_columns(abd, k, ju, l, lm, m);
  }
  ipvt(N) = N;
  if (abd(m, N) == 0.0) INFO = N;
}

namespace {

// Solves A x = b: L applied forwards, then U backwards.
void solve_plain(const Matrix1<const double>& abd, int N, int ML, const Vector1<const int>& ipvt,
                 const Vector1<double>& b, int m) {
  if (ML != 0) {
    for (int k = 1; k <= N - 1; ++k) {
      const int lm = std::min(ML, N - k);
      const int l = ipvt(k);
      const double t = b(l);
      if (l != k) {
        b(l) = b(k);
        b(k) = t;
      }
      // The factors and the right-hand side are separate arrays.
      if (t != 0.0) linalg_detail::add_scaled_separate(lm, t, abd.at(m + 1, k), b.at(k + 1));
    }
  }
  for (int k = N; k >= 1; --k) {
    b(k) = b(k) / abd(m, k);
    const int lm = std::min(k, m) - 1;
    const int la = m - lm;
    const int lb = k - lm;
    const double t = -b(k);
    if (t != 0.0) linalg_detail::add_scaled_separate(lm, t, abd.at(la, k), b.at(lb));
  }
}

// Solves transpose(A) x = b: transpose(U) forwards, then transpose(L) backwards.
void solve_transposed(const Matrix1<const double>& abd, int N, int ML,
                      const Vector1<const int>& ipvt, const Vector1<double>& b, int m) {
  for (int k = 1; k <= N; ++k) {
    const int lm = std::min(k, m) - 1;
    const int la = m - lm;
    const int lb = k - lm;
    const double t = VEC_DOT(lm, abd.at(la, k), 1, b.at(lb), 1);
    b(k) = (b(k) - t) / abd(m, k);
  }
  if (ML == 0) return;
  for (int k = N - 1; k >= 1; --k) {
    const int lm = std::min(ML, N - k);
    b(k) = b(k) + VEC_DOT(lm, abd.at(m + 1, k), 1, b.at(k + 1), 1);
    const int l = ipvt(k);
    if (l != k) std::swap(b(l), b(k));
  }
}

}  // namespace

void BAND_SOLVE(const double* ABD, int LDA, int N, int ML, int MU, const int* IPVT, double* B,
                int JOB) {
  const Matrix1<const double> abd(ABD, LDA);
  const Vector1<const int> ipvt(IPVT);
  const Vector1<double> b(B);
  const int m = ML + MU + 1;
  if (JOB == 0) {
    solve_plain(abd, N, ML, ipvt, b, m);
  } else {
    solve_transposed(abd, N, ML, ipvt, b, m);
  }
}

}  // namespace qz5
