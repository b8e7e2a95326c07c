#include "results/step_quadrature.h"

#include <stdexcept>

namespace qz5::results {
namespace {

// Five-point Gauss-Legendre on [-1, 1].
constexpr std::array<double, StepQuadrature::kGauss> kAbscissa{
    -0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831, 0.9061798459386640};
constexpr std::array<double, StepQuadrature::kGauss> kWeight{
    0.2369268850561891, 0.4786286704993665, 0.5688888888888889, 0.4786286704993665,
    0.2369268850561891};

}  // namespace

void StepQuadrature::set(const double* t, int m) {
  if (m < 2 || m > kMaxNodes) throw std::invalid_argument("StepQuadrature: 2 to 6 nodes");
  m_ = m;
  // In the stretch's own variable s = (t - t[m-2]) / dt, s in [0, 1], so
  // that the basis does not depend on the size of the steps.
  const double t0 = t[m - 2];
  const double dt = t[m - 1] - t0;
  if (!(dt > 0.0)) throw std::invalid_argument("StepQuadrature: nodes must increase");
  std::array<double, kMaxNodes> s{};
  for (int i = 0; i < m; ++i) s[i] = (t[i] - t0) / dt;
  weight_.fill(0.0);
  for (Nodes& row : s_) row.fill(0.0);
  // The basis at the Gauss points times the Gauss weights, and its
  // derivative in s there.
  std::array<Nodes, kGauss> value{}, slope{};
  for (int g = 0; g < kGauss; ++g) {
    const double sg = 0.5 * (1.0 + kAbscissa[g]);
    const double wg = 0.5 * kWeight[g];
    for (int i = 0; i < m; ++i) {
      // The Gauss points lie inside the stretch and every node outside it
      // or on its ends, so no factor below is zero.
      double L = 1.0, slope_over_L = 0.0;
      for (int j = 0; j < m; ++j) {
        if (j == i) continue;
        L *= (sg - s[j]) / (s[i] - s[j]);
        slope_over_L += 1.0 / (sg - s[j]);
      }
      value[g][i] = wg * L;
      slope[g][i] = L * slope_over_L;
      weight_[i] += dt * value[g][i];
    }
  }
  // The integral of p_a dp_b/dt dt is that of p_a dp_b/ds ds: dt cancels.
  for (int g = 0; g < kGauss; ++g)
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j) s_[i][j] += value[g][i] * slope[g][j];
}

}  // namespace qz5::results
