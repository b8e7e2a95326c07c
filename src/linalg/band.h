// Banded LU factorisation with partial pivoting, the banded solve, and the
// vector kernels beneath them.
//
// The integrator's Newton iteration matrix couples each grid point only to its
// neighbours, so it is banded; band storage keeps work and memory
// proportional to N x (ML + MU). Everything works in place on the caller's
// arrays, keeps no state and allocates nothing.
//
// Arrays are passed as pointers to their first element and use the classic
// 1-based, column-major layout internally: element (i, j) of an LDA x N array
// ABD is abd[(i - 1) + (j - 1) * LDA]. A band matrix element A(i, j) lives in
// ABD(i - j + ML + MU + 1, j); LDA must be at least 2*ML + MU + 1, rows 1..ML
// are workspace for the fill-in of row interchanges.
#pragma once

#include "textio/textio.h"

namespace qz5 {

// Factors the band matrix in place. IPVT (N entries) receives the pivot rows;
// INFO = 0 when every pivot was nonzero, else the index of the last column
// whose pivot was exactly 0.0 (solving with such a factorisation divides by
// zero; do not).
void BAND_FACTOR(double* ABD, int LDA, int N, int ML, int MU, int* IPVT, int& INFO);

// Solves A x = b (JOB = 0) or transpose(A) x = b (JOB != 0) with the factors
// left by BAND_FACTOR; B holds b on entry and x on return.
void BAND_SOLVE(const double* ABD, int LDA, int N, int ML, int MU, const int* IPVT, double* B,
                int JOB);

// Y := A*X + Y over N elements with strides INCX, INCY (negative strides walk
// from element (1 - N)*INC + 1). A = 0.0 leaves Y untouched.
void VEC_ADD_SCALED(int N, double A, const double* X, int INCX, double* Y, int INCY);
// Position (1..N, in walk order) of the first element of largest magnitude; 0 when N <= 0.
int VEC_MAX_ABS_INDEX(int N, const double* X, int INCX);
// X := A*X.
void VEC_SCALE(int N, double A, double* X, int INCX);
// Sum of X*Y; 0.0 when N <= 0.
double VEC_DOT(int N, const double* X, int INCX, const double* Y, int INCY);

// Dense-matrix stubs: the program always uses the banded iteration matrix, so
// reaching either is a fault. Each writes its console line and stops.
[[noreturn]] void DGEFA(Units& io, double* A, int LDA, int N, int* IPVT, int& INFO);
[[noreturn]] void DGESL(Units& io, const double* A, int LDA, int N, const int* IPVT, double* B,
                        int JOB);

}  // namespace qz5
