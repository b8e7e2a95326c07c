// The lateral inputs' means over an interval, in closed form.
//
// An input of flow q at x_l with steepness k carries q s(k (X - x_l)) along
// the channel below it, s the logistic, so the water it delivers between XA
// and XB is q (s(k (XB - x_l)) - s(k (XA - x_l))), and its load that times
// its concentrations. Sampling the inflow density at the interval's midpoint
// instead misses the load by as much as the logistic bends across the
// interval, which is all of it for an input narrower than the grid.
#include <algorithm>
#include <array>
#include <cmath>

#include "input/inputs.h"
#include "input/load_best.h"

namespace qz5 {

namespace {
// The look-up's bound on the logistic's exponent, which keeps it finite.
constexpr double kMaxExponent = 300.0;

double logistic(double z) {
  const double a = std::clamp(-z, -kMaxExponent, kMaxExponent);
  return 1.0 / (1.0 + std::exp(a));
}
}  // namespace

double logistic_rise(double a, double b) {
  a = std::clamp(a, -kMaxExponent, kMaxExponent);
  b = std::clamp(b, -kMaxExponent, kMaxExponent);
  // With E = exp(-a) and d = b - a the rise is E (1 - exp(-d)) /
  // ((1 + E)(1 + E exp(-d))); on the side of zero where exp(-b) stays below
  // one, by the symmetry s(-z) = 1 - s(z) otherwise.
  if (a + b < 0.0) return logistic_rise(-b, -a);
  const double ea = std::exp(-a);
  const double eb = std::exp(-b);
  return ea * -std::expm1(a - b) / ((1.0 + ea) * (1.0 + eb));
}

void LoadBest::mean_over(Units& io, const Inputs& ms, SeriesPositions& pos, double T, double XA,
                         double XB, double S, double& QL, double* SL) const {
  // The look-up brings the inputs' concentrations to time T (and writes the
  // warnings a look-up at T writes).
  lookup(io, ms, pos, T, XA, S, QL, SL);
  const int ncomp = ms.NCOMP;
  const double h = XB - XA;
  double flow = 0.0;
  std::array<double, kMaxNcomp> load{};
  for (int l = 1; l <= nlat; ++l) {
    const double za = (XA - x_lat(l)) * k_lat;
    const double zb = (XB - x_lat(l)) * k_lat;
    flow += q_lat(l) * ((logistic(za) + logistic(zb)) * 0.5);
    const double delivered = q_lat(l) * logistic_rise(za, zb);
    for (int m = 1; m <= ncomp; ++m)
      load[static_cast<std::size_t>(m - 1)] += pos.c_lat(m, l) * delivered;
  }
  QL = S * flow;
  for (int m = 1; m <= ncomp; ++m) SL[m - 1] = (load[static_cast<std::size_t>(m - 1)] / h) * S;
}

}  // namespace qz5
