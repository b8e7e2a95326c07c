// Banded LU factorisation with partial pivoting and the banded solve.
//
// Column-oriented Gaussian elimination in band storage (m = ML + MU + 1 is
// the row of the diagonal). A row interchange can push elements of a pivot
// row up to ML places beyond the original upper bandwidth; rows 1..ML of the
// storage take that fill-in, and the factorisation clears them itself just
// before a column first receives any.

#include <algorithm>
#include <cmath>
#include <utility>

#include "linalg/add_scaled.h"
#include "linalg/band.h"
#include "linalg/index1.h"

namespace qz5 {

using linalg_detail::Matrix1;
using linalg_detail::Vector1;

namespace {

// Two doubles at any 8-byte boundary: the band's columns start wherever
// LDA puts them.
typedef double Unaligned2 __attribute__((vector_size(16), aligned(8)));

// Zeroes the fill-in rows of the first columns that elimination can reach
// before the main loop starts clearing one new column per step.
void clear_initial_fill(const Matrix1<double>& abd, int N, int ML, int MU, int m) {
  const int j0 = MU + 2;
  const int j1 = std::min(N, m) - 1;
  for (int jz = j0; jz <= j1; ++jz) {
    for (int i = m + 1 - jz; i <= ML; ++i) abd(i, jz) = 0.0;
  }
}

// The row interchange of step k in column j: l is the pivot's storage row,
// mm the diagonal row's, both already shifted to column j. Returns the
// multiplier's factor t, the element that now sits in the pivot row.
inline double interchange(const Matrix1<double>& abd, int j, int l, int mm) {
  const double t = abd(l, j);
  if (l != mm) {
    abd(l, j) = abd(mm, j);
    abd(mm, j) = t;
  }
  return t;
}

// Lower bandwidths up to which a step is specialised for its lm at compile
// time (see factor_step).
constexpr int kRegisterMultipliers = 16;

// Storage row (m .. m + lm) of the first element of largest magnitude in
// column k's segment from the diagonal down: VEC_MAX_ABS_INDEX's choice
// (strictly larger replaces, so ties and NaN keep the earlier element).
inline int pivot_row(const Matrix1<double>& abd, int k, int lm, int m) {
  const double* x = abd.at(m, k);
  int best = 0;
  double best_abs = std::fabs(x[0]);
  for (int i = 1; i <= lm; ++i) {
    const double a = std::fabs(x[i]);
    if (a > best_abs) {
      best = i;
      best_abs = a;
    }
  }
  return m + best;
}

// x := t*x over the lm multipliers below the diagonal.
inline void scale_multipliers(double* x, int lm, double t) {
  for (int i = 0; i < lm; ++i) x[i] = t * x[i];
}

template <int LM>
int pivot_row_fixed(const Matrix1<double>& abd, int k, int m) {
  const double* x = abd.at(m, k);
  int best = 0;
  double best_abs = std::fabs(x[0]);
#pragma GCC unroll 16
  for (int i = 1; i <= LM; ++i) {
    const double a = std::fabs(x[i]);
    if (a > best_abs) {
      best = i;
      best_abs = a;
    }
  }
  return m + best;
}

template <int LM>
void scale_multipliers_fixed(double* x, double t) {
  const linalg_detail::Double2 tv = {t, t};
#pragma GCC unroll 8
  for (int i = 0; i + 2 <= LM; i += 2) {
    Unaligned2& xv = *reinterpret_cast<Unaligned2*>(x + i);
    xv = tv * xv;
  }
  if constexpr (LM % 2 == 1) x[LM - 1] = t * x[LM - 1];
}

// Applies step k's row interchange to columns k+1..ju and subtracts the
// multiples of the pivot row. l is the pivot's storage row in column k.
// Every column subtracts the same multipliers, the LM elements below the
// diagonal of column k: they are loaded into registers once per step, so
// that each element of columns k+1..ju costs one load, one product, one sum
// and one store. Each element is still y + t*x, rounded twice, in the same
// order: the result does not depend on the path. INTERCHANGE: whether step k
// swapped rows (l != m); the pivot row and the diagonal row then differ in
// every later column too.
template <int LM, bool INTERCHANGE>
void eliminate_columns_fixed(const Matrix1<double>& abd, int k, int ju, int l, int m) {
  using linalg_detail::Double2;
  constexpr int kPairs = LM / 2;
  const double* x = abd.at(m + 1, k);
  Double2 xv[kPairs > 0 ? kPairs : 1];
#pragma GCC unroll 16
  for (int p = 0; p < kPairs; ++p) xv[p] = *reinterpret_cast<const Unaligned2*>(x + 2 * p);
  const double x_last = (LM % 2 == 1) ? x[LM - 1] : 0.0;
  // Column j + 1 starts lda elements after column j (a step runs only when
  // N >= 2, so column 2 exists); moving one column right moves the same
  // matrix row one storage row up, so the diagonal row's element just below
  // it, y, advances by lda - 1 and the pivot row stays l - m rows from the
  // diagonal row, at y[l - m - 1] (the diagonal row itself is y[-1]).
  const std::ptrdiff_t lda = abd.at(1, 2) - abd.at(1, 1);
  const std::ptrdiff_t step = lda - 1;
  const std::ptrdiff_t pivot = l - m - 1;
  if (ju <= k) return;
  double* y = abd.at(1, k) + lda + (m - 1);
  double* const end = y + static_cast<std::ptrdiff_t>(ju - k) * step;
  for (; y != end; y += step) {
    const double t = y[pivot];
    if constexpr (INTERCHANGE) {
      y[pivot] = y[-1];
      y[-1] = t;
    }
    // Zeros are the exception in these columns: the update falls through.
    if (t != 0.0) [[likely]] {
      const Double2 tv = {t, t};
#pragma GCC unroll 16
      for (int p = 0; p < kPairs; ++p) {
        Unaligned2& yv = *reinterpret_cast<Unaligned2*>(y + 2 * p);
        yv = yv + tv * xv[p];
      }
      if constexpr (LM % 2 == 1) y[LM - 1] = y[LM - 1] + t * x_last;
    }
  }
}

// The same for any lm.
void eliminate_columns_any(const Matrix1<double>& abd, int k, int ju, int l, int lm, int m) {
  int mm = m;
  for (int j = k + 1; j <= ju; ++j) {
    // Moving one column right moves the same matrix row one storage row up.
    --l;
    --mm;
    const double t = interchange(abd, j, l, mm);
    // Columns k and j are separate storage.
    if (t != 0.0) linalg_detail::add_scaled_separate(lm, t, abd.at(m + 1, k), abd.at(mm + 1, j));
  }
}

// Step k of the elimination for lm below-diagonal rows: the pivot, the
// interchange in column k, the multipliers, then columns k+1..ju. Returns
// false, changing nothing but IPVT(k), when the pivot is exactly zero. LM >= 0
// fixes lm at compile time (the pivot search and the scaling unroll, the
// multipliers stay in registers); LM = -1 takes lm as given.
template <int LM>
bool factor_step(const Matrix1<double>& abd, int k, int lm_given, int m, int MU, int N,
                 int* ipvt_k, int& ju) {
  const int lm = LM >= 0 ? LM : lm_given;
  const int l = LM >= 0 ? pivot_row_fixed<LM>(abd, k, m) : pivot_row(abd, k, lm, m);
  *ipvt_k = l + k - m;
  if (abd(l, k) == 0.0) return false;
  if (l != m) std::swap(abd(l, k), abd(m, k));
  const double t = -1.0 / abd(m, k);
  if constexpr (LM >= 0) {
    scale_multipliers_fixed<LM>(abd.at(m + 1, k), t);
  } else {
    scale_multipliers(abd.at(m + 1, k), lm, t);
  }
  ju = std::min(std::max(ju, MU + *ipvt_k), N);
  if constexpr (LM >= 0) {
    if (l != m) {
      eliminate_columns_fixed<LM, true>(abd, k, ju, l, m);
    } else {
      eliminate_columns_fixed<LM, false>(abd, k, ju, l, m);
    }
  } else {
    eliminate_columns_any(abd, k, ju, l, lm, m);
  }
  return true;
}

template <std::size_t... I>
bool factor_step_table(const Matrix1<double>& abd, int k, int lm, int m, int MU, int N,
                       int* ipvt_k, int& ju, std::index_sequence<I...>) {
  using Step = bool (*)(const Matrix1<double>&, int, int, int, int, int, int*, int&);
  static constexpr Step kSteps[] = {&factor_step<static_cast<int>(I)>...};
  return kSteps[lm](abd, k, lm, m, MU, N, ipvt_k, ju);
}

bool factor_step_any(const Matrix1<double>& abd, int k, int lm, int m, int MU, int N, int* ipvt_k,
                     int& ju) {
  if (lm <= kRegisterMultipliers) {
    return factor_step_table(abd, k, lm, m, MU, N, ipvt_k, ju,
                             std::make_index_sequence<kRegisterMultipliers + 1>{});
  }
  return factor_step<-1>(abd, k, lm, m, MU, N, ipvt_k, ju);
}

// The lower bandwidth of a grid of six constituents: its fill-in rows are
// cleared by seven stores of register pairs, its steps called directly.
constexpr int kFixedFillRows = 14;

// Rows 1..ML of a column (the fill-in rows) set to +0.0.
inline void clear_fill_rows(double* col, int ML) {
  if (ML == kFixedFillRows) {
#pragma GCC unroll 8
    for (int i = 0; i < kFixedFillRows; i += 2) {
      *reinterpret_cast<Unaligned2*>(col + i) = Unaligned2{0.0, 0.0};
      asm volatile("");  // keeps the stores from being turned into a call of memset
    }
    return;
  }
  for (int i = 0; i < ML; ++i) col[i] = 0.0;
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
    if (jz <= N && ML >= 1) clear_fill_rows(abd.at(1, jz), ML);
    const int lm = std::min(ML, N - k);
    // A zero pivot: singular so far; remember the column and leave it as it is.
    const bool pivoted = lm == kFixedFillRows
                             ? factor_step<kFixedFillRows>(abd, k, lm, m, MU, N, ipvt.at(k), ju)
                             : factor_step_any(abd, k, lm, m, MU, N, ipvt.at(k), ju);
    if (!pivoted) INFO = k;
  }
  ipvt(N) = N;
  if (abd(m, N) == 0.0) INFO = N;
}

namespace {

// The bandwidths of a grid of six constituents (two points of seven
// unknowns either side), the bundled scenario's and most runs'.
constexpr int kFixedSolveBandwidth = 14;

// Solves A x = b for equal bandwidths ML = MU = W fixed at compile time:
// the full-length segments (W below the diagonal forwards, 2W above it
// backwards) unroll, the short ones at the ends take the general kernel.
// The same products and sums in the same order as solve_plain.
template <int W>
void solve_plain_fixed(const Matrix1<const double>& abd, int N, const Vector1<const int>& ipvt,
                       const Vector1<double>& b) {
  constexpr int m = 2 * W + 1;
  for (int k = 1; k <= N - 1; ++k) {
    const int l = ipvt(k);
    const double t = b(l);
    if (l != k) {
      b(l) = b(k);
      b(k) = t;
    }
    if (t == 0.0) continue;
    if (N - k >= W) {
      linalg_detail::add_scaled_fixed<W>(t, abd.at(m + 1, k), b.at(k + 1));
    } else {
      linalg_detail::add_scaled_separate(N - k, t, abd.at(m + 1, k), b.at(k + 1));
    }
  }
  for (int k = N; k >= 1; --k) {
    b(k) = b(k) / abd(m, k);
    const double t = -b(k);
    if (t == 0.0) continue;
    if (k >= m) {
      linalg_detail::add_scaled_fixed<m - 1>(t, abd.at(1, k), b.at(k - (m - 1)));
    } else {
      linalg_detail::add_scaled_separate(k - 1, t, abd.at(m - (k - 1), k), b.at(1));
    }
  }
}

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
  if (JOB == 0 && ML == MU && ML == kFixedSolveBandwidth) {
    solve_plain_fixed<kFixedSolveBandwidth>(abd, N, ipvt, b);
  } else if (JOB == 0) {
    solve_plain(abd, N, ML, ipvt, b, m);
  } else {
    solve_transposed(abd, N, ML, ipvt, b, m);
  }
}

}  // namespace qz5
