// Moving-grid equations.
//
// Each interior point balances the smoothed point concentration (inverse
// interval length) over the monitor of its left interval against that of its
// right interval, so that intervals shrink where the solution is steep. KAPPA
// smooths in space (it limits the ratio of neighbouring interval lengths),
// TAU delays the grid's response in time and ALPHA is the floor of the
// monitor. The end points keep their positions (x' = 0).
#include <cmath>

#include "discretisation/skm_kernels.h"

namespace qz5 {

namespace {

// Point concentrations n_i = 1/(x_{i+1} - x_i), their smoothed values and
// time derivatives, read as the sweep over the points needs them.
// N = NINNER + 2 points, intervals 0 .. N-2.
struct GridSweep {
  const double* Y;
  const double* YPRIME;
  int nvar;
  int last;  // index of the last interval, N-2
  double KK;

  double x(int n) const { return Y[skm_at(nvar, nvar, n)]; }
  double xdot(int n) const { return YPRIME[skm_at(nvar, nvar, n)]; }
  // d_i = (x'_{i+1} - x'_i) n_i n_i
  double rate(int i, double ni) const { return (xdot(i + 1) - xdot(i)) * ni * ni; }

  // Smoothed concentration of interval i from n_{i-1}, n_i, n_{i+1}
  // (the missing neighbour at an end is not read).
  double smoothed(int i, double nm, double n0, double np) const {
    if (i == 0) return n0 - (np - n0) * KK;
    if (i == last) return n0 - (nm - n0) * KK;
    return n0 - ((-2.0 * n0 + np) + nm) * KK;
  }
  // Time derivative of the smoothed concentration from d_{i-1}, d_i, d_{i+1}.
  double smoothed_rate(int i, double dm, double d0, double dp) const {
    if (i == 0) return dp * KK - d0 * (KK + 1.0);
    if (i == last) return dm * KK - d0 * (KK + 1.0);
    return (dm + dp) * KK - d0 * (2.0 * KK + 1.0);
  }
};

}  // namespace

namespace {

// The monitor of interval i, whose length dx = x_{i+1} - x_i the caller has
// formed: sqrt((sum_k du_k^2) / dx^2 / NCOMP + ALPHA), the sum over the
// constituents in their order from +0.0. NC > 0 fixes NCOMP at compile time,
// so that the sum unrolls (the same sum in the same order). The sum starts
// from the first square: a square is never -0.0, so +0.0 plus it is the
// square itself, NaN included.
template <int NC>
inline double interval_monitor(const double* Y, int ncomp, int i, double dx, double ALPHA) {
  const int NCOMP = NC > 0 ? NC : ncomp;
  const int nvar = NCOMP + 1;
  const double* const a = Y + skm_at(nvar, 1, i);
  const double* const b = a + nvar;
  const double du1 = b[0] - a[0];
  double sum = du1 * du1;
#pragma GCC unroll 16
  for (int k = 1; k < NCOMP; ++k) {
    const double du = b[k] - a[k];
    sum = sum + du * du;
  }
  sum = sum / (dx * dx);
  return std::sqrt(sum / static_cast<double>(NCOMP) + ALPHA);
}

template <int NC>
void monitor_of_intervals(const SkmState& s, const double* Y, double* FSPART, int ncomp,
                          int NINNER) {
  const int nvar = (NC > 0 ? NC : ncomp) + 1;
  for (int i = 0; i <= NINNER; ++i) {
    const double dx = Y[skm_at(nvar, nvar, i + 1)] - Y[skm_at(nvar, nvar, i)];
    FSPART[skm_at(nvar, nvar, i)] = interval_monitor<NC>(Y, ncomp, i, dx, s.ALPHA);
  }
}

// The position rows in one sweep over the intervals. Each interval's length
// serves both its point concentration and its monitor, and the monitor goes
// straight from the register into the row instead of through FSPART.
template <int NC, bool DIFFERENCE>
void grid_rows(const SkmState& s, const double* Y, const double* YPRIME, int NVAR, int NINNER,
               double* DELTA, double* FSPART) {
  const int nvar = NC > 0 ? NC + 1 : NVAR;
  const int ncomp = nvar - 1;
  const int npts = NINNER + 2;
  const GridSweep g{Y, YPRIME, nvar, npts - 2, (1.0 + s.KAPPA) * s.KAPPA};
  const double ALPHA = s.ALPHA;
  auto length = [&](int i) { return g.x(i + 1) - g.x(i); };

  // Interval 0: its smoothed concentration and rate, over its monitor.
  double dx_cur = length(0);
  double dx_next = length(1);
  double n_prev = 0.0;  // n_{i-1}
  double n_cur = 1.0 / dx_cur;
  double n_next = 1.0 / dx_next;
  double d_prev = 0.0;
  double d_cur = g.rate(0, n_cur);
  double d_next = g.rate(1, n_next);
  double m = interval_monitor<NC>(Y, ncomp, 0, dx_cur, ALPHA);
  double ratio_prev = g.smoothed(0, n_prev, n_cur, n_next) / m;
  double delay_prev = (s.TAU / m) * g.smoothed_rate(0, d_prev, d_cur, d_next);

  // Interior point i sits between intervals i-1 and i. TAU and ALPHA are
  // read once: the rows' stores could otherwise alias them.
  const double TAU = s.TAU;
  auto point_row = [&](int i, double smoothed_conc, double smoothed_rate) {
    m = interval_monitor<NC>(Y, ncomp, i, dx_cur, ALPHA);
    const double ratio = smoothed_conc / m;
    const double delay = (TAU / m) * smoothed_rate;
    const double f = ratio - ratio_prev;
    const double d = delay_prev - delay;
    FSPART[skm_at(nvar, nvar, i)] = f;
    DELTA[skm_at(nvar, nvar, i)] = DIFFERENCE ? d - f : d;
    ratio_prev = ratio;
    delay_prev = delay;
  };
  // Intervals 1 .. last-1 have both neighbours: the interior formulas of
  // GridSweep::smoothed and smoothed_rate, without their end tests.
  const double KK = g.KK, twice_kk_plus_1 = 2.0 * KK + 1.0;
#pragma GCC unroll 2
  for (int i = 1; i <= npts - 3; ++i) {
    n_prev = n_cur;
    n_cur = n_next;
    d_prev = d_cur;
    d_cur = d_next;
    dx_cur = dx_next;
    dx_next = length(i + 1);
    n_next = 1.0 / dx_next;
    d_next = g.rate(i + 1, n_next);
    point_row(i, n_cur - ((-2.0 * n_cur + n_next) + n_prev) * KK,
              (d_prev + d_next) * KK - d_cur * twice_kk_plus_1);
  }
  // The last interval, when it is not also the first.
  if (npts - 2 >= 1) {
    const int i = npts - 2;
    n_prev = n_cur;
    n_cur = n_next;
    d_prev = d_cur;
    d_cur = d_next;
    dx_cur = dx_next;
    point_row(i, g.smoothed(i, n_prev, n_cur, n_next), g.smoothed_rate(i, d_prev, d_cur, d_next));
  }

  // The end points keep their positions: x' = 0, FSPART zero.
  DELTA[skm_at(nvar, nvar, 0)] = DIFFERENCE ? g.xdot(0) - 0.0 : g.xdot(0);
  FSPART[skm_at(nvar, nvar, 0)] = 0.0;
  DELTA[skm_at(nvar, nvar, npts - 1)] = DIFFERENCE ? g.xdot(npts - 1) - 0.0 : g.xdot(npts - 1);
  FSPART[skm_at(nvar, nvar, npts - 1)] = 0.0;
}

}  // namespace

void GRID_MONITOR(const SkmState& s, const double* Y, double* FSPART, int NCOMP, int NINNER) {
  if (NCOMP == 6) {
    monitor_of_intervals<6>(s, Y, FSPART, NCOMP, NINNER);
  } else {
    monitor_of_intervals<0>(s, Y, FSPART, NCOMP, NINNER);
  }
}

void GRID_EQUATIONS(const SkmState& s, const double* Y, const double* YPRIME, int NVAR, int NINNER,
                    double* DELTA, double* FSPART, bool difference) {
  if (NVAR == 7 && difference) {
    grid_rows<6, true>(s, Y, YPRIME, NVAR, NINNER, DELTA, FSPART);
  } else if (NVAR == 7) {
    grid_rows<6, false>(s, Y, YPRIME, NVAR, NINNER, DELTA, FSPART);
  } else if (difference) {
    grid_rows<0, true>(s, Y, YPRIME, NVAR, NINNER, DELTA, FSPART);
  } else {
    grid_rows<0, false>(s, Y, YPRIME, NVAR, NINNER, DELTA, FSPART);
  }
}

}  // namespace qz5
