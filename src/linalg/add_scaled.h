// The unit-stride Y := A*X + Y on separate arrays, two elements at a time.
//
// Each element is y + a*x, rounded once for the product and once for the sum
// (the build contracts nothing into fused multiply-adds), so doing two lanes
// at once gives the same bits as one element after the other. The band
// factorisation calls it for every column segment it eliminates, 14 elements
// long on the estuary's matrices: inline, so the call costs nothing, and
// without the scalar unrolling the legacy kernel prescribes.
#pragma once

namespace qz5::linalg_detail {

// Two doubles in one SSE2 register (a GCC vector type: no intrinsics needed).
typedef double Double2 __attribute__((vector_size(16)));

// True when the n elements at x and those at y do not overlap.
inline bool separate(const double* x, const double* y, int n) {
  return x + n <= y || y + n <= x;
}

// Two doubles at any 8-byte boundary (the band's columns start wherever the
// leading dimension puts them), read and written as one register.
typedef double Unaligned2 __attribute__((vector_size(16), aligned(8)));

// y(i) = y(i) + a*x(i) for i = 0..n-1; x and y must not overlap. Four pairs
// per trip: the segments of the band solve are 14 to 28 elements long.
inline void add_scaled_separate(int n, double a, const double* x, double* y) {
  const Double2 av = {a, a};
  int i = 0;
#pragma GCC unroll 4
  for (; i + 2 <= n; i += 2) {
    Unaligned2& yv = *reinterpret_cast<Unaligned2*>(y + i);
    yv = yv + av * *reinterpret_cast<const Unaligned2*>(x + i);
  }
  if (i < n) y[i] = y[i] + a * x[i];
}

// The same for a length N fixed at compile time: the pairs unroll fully and
// no trip count is kept.
template <int N>
inline void add_scaled_fixed(double a, const double* x, double* y) {
  const Double2 av = {a, a};
#pragma GCC unroll 32
  for (int i = 0; i + 2 <= N; i += 2) {
    Unaligned2& yv = *reinterpret_cast<Unaligned2*>(y + i);
    yv = yv + av * *reinterpret_cast<const Unaligned2*>(x + i);
  }
  if constexpr (N % 2 == 1) y[N - 1] = y[N - 1] + a * x[N - 1];
}

}  // namespace qz5::linalg_detail
