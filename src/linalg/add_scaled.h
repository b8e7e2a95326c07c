// The unit-stride Y := A*X + Y on separate arrays, two elements at a time.
//
// Each element is y + a*x, rounded once for the product and once for the sum
// (the build contracts nothing into fused multiply-adds), so doing two lanes
// at once gives the same bits as one element after the other. The band
// factorisation calls it for every column segment it eliminates, 14 elements
// long on the estuary's matrices: inline, so the call costs nothing, and
// without the scalar unrolling the legacy kernel prescribes.
#pragma once

#include <cstring>

namespace qz5::linalg_detail {

// Two doubles in one SSE2 register (a GCC vector type: no intrinsics needed).
typedef double Double2 __attribute__((vector_size(16)));

// True when the n elements at x and those at y do not overlap.
inline bool separate(const double* x, const double* y, int n) {
  return x + n <= y || y + n <= x;
}

// y(i) = y(i) + a*x(i) for i = 0..n-1; x and y must not overlap.
inline void add_scaled_separate(int n, double a, const double* x, double* y) {
  const Double2 av = {a, a};
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    Double2 xv, yv;
    std::memcpy(&xv, x + i, sizeof xv);
    std::memcpy(&yv, y + i, sizeof yv);
    yv = yv + av * xv;
    std::memcpy(y + i, &yv, sizeof yv);
  }
  if (i < n) y[i] = y[i] + a * x[i];
}

}  // namespace qz5::linalg_detail
