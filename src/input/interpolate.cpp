#include "input/interpolate.h"

#include <cassert>
#include <cmath>

namespace qz5 {
namespace {

// TAB(i) with the table's own 1-based numbering.
inline double at(const double* TAB, int i) { return TAB[i - 1]; }

inline bool inside(const double* TAB, int lo, double T) {
  return at(TAB, lo) <= T && T <= at(TAB, lo + 1);
}

// Whole-table bisection for a T known to lie within [TAB(1), TAB(N)].
// Returns false when the bracket did not close within the pass limit.
bool bisect(Units& io, double T, int N, const double* TAB, int& I) {
  const int max_itr = static_cast<int>(std::log(static_cast<double>(N)) / std::log(2.0) + 2.0);
  int lo = 1;
  int hi = N;
  int mid = (N + 1) / 2;
  for (int pass = 1; pass <= max_itr; ++pass) {
    if (hi - lo == 1) {
      I = lo;
      return true;
    }
    if (at(TAB, mid) <= T) {
      lo = mid;
    } else {
      hi = mid;
    }
    mid = (lo + hi) / 2;
  }
  io.write_list(kUnitConsoleOut, {"Interpolate::Search failed"});
  io.write_list(kUnitConsoleOut, {"max_itr  = ", max_itr});
  io.write_list(kUnitConsoleOut, {"Program terminating..."});
  return false;
}

// Steps 2-4: the remembered interval, then its right and left neighbours.
bool try_neighbours(double T, int N, const double* TAB, int& I) {
  if (inside(TAB, I, T)) return true;
  if (I + 1 >= N) I = N - 2;
  if (inside(TAB, I + 1, T)) {
    I = I + 1;
    return true;
  }
  if (I <= 1) I = 2;
  if (inside(TAB, I - 1, T)) {
    I = I - 1;
    return true;
  }
  return false;
}

// A time written on two or more rows is a step: from that time on the last
// of those rows holds. The search may end on the empty interval between two
// such rows, or on the interval that ends at the first of them; either way
// the interval is moved to the one that begins at the last row with this
// time, where FRAC = 0 gives that row's values exactly. When that row ends
// the table, its values are given as beyond the table's end: I = N-1,
// FRAC = 1. Returns false, changing nothing, when T is not a repeated time
// at the right end of interval I.
bool settle_on_later_row(double T, int N, const double* TAB, int& I, double& FRAC) {
  if (T != at(TAB, I + 1)) return false;
  const bool repeated = at(TAB, I) == T || (I + 2 <= N && at(TAB, I + 2) == T);
  if (!repeated) return false;
  int last = I + 1;
  while (last < N && at(TAB, last + 1) == T) ++last;
  if (last < N) {
    I = last;
    FRAC = 0.0;
  } else {
    I = N - 1;
    FRAC = 1.0;
  }
  return true;
}

}  // namespace

void INTERPOLATE(Units& io, double T, int N, const double* TAB, int& I, double& FRAC) {
  assert(N >= 2);
  if (I >= N) I = N - 1;
  if (!try_neighbours(T, N, TAB, I)) {
    if (T < at(TAB, 1)) {
      I = 1;
      FRAC = 0.0;
      io.write_list(kUnitConsoleOut, {"Interpolate::Warning, extrapolating beyond tmin"});
      return;
    }
    if (T > at(TAB, N)) {
      I = N - 1;
      FRAC = 1.0;
      io.write_list(kUnitConsoleOut, {"Interpolate::Warning, extrapolating beyond tmax"});
      return;
    }
    if (!bisect(io, T, N, TAB, I)) stop();
  }
  if (settle_on_later_row(T, N, TAB, I, FRAC)) return;
  FRAC = (T - at(TAB, I)) / (at(TAB, I + 1) - at(TAB, I));
}

}  // namespace qz5
