#include "results/stations.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace qz5::results {

int locate_interval(const double* x, int n, double X, int hint) {
  int j = std::clamp(hint, 0, n - 2);
  while (j > 0 && X < x[j]) --j;
  while (j < n - 2 && X > x[j + 1]) ++j;
  return j;
}

double interpolate_linear(double xa, double ca, double xb, double cb, double X) {
  if (X <= xa) return ca;
  if (X >= xb) return cb;
  const double f = (X - xa) / (xb - xa);
  return ca * (1.0 - f) + cb * f;
}

StationSampler::StationSampler(std::vector<double> positions, double first_end, double last_end)
    : positions_(std::move(positions)), last_interval_(positions_.size(), 0), end_(positions_.size(), 0) {
  for (std::size_t i = 0; i < positions_.size(); ++i) {
    if (positions_[i] == first_end) end_[i] = -1;
    if (positions_[i] == last_end) end_[i] = 1;
  }
}

void StationSampler::sample(const Snapshot& s, double* out) {
  const int ns = count();
  if (s.npts == 1) {
    for (int k = 0; k < s.ncomp; ++k)
      for (int i = 0; i < ns; ++i) out[k * ns + i] = s.c[k];
    return;
  }
  for (int i = 0; i < ns; ++i) {
    const double X = positions_[static_cast<std::size_t>(i)];
    const int end = end_[static_cast<std::size_t>(i)];
    if (end != 0) {
      const double* c = s.c + (end < 0 ? 0 : static_cast<std::ptrdiff_t>(s.npts - 1) * s.ncomp);
      for (int k = 0; k < s.ncomp; ++k) out[k * ns + i] = c[k];
      continue;
    }
    int& j = last_interval_[static_cast<std::size_t>(i)];
    j = locate_interval(s.x, s.npts, X, j);
    const double* ca = s.c + static_cast<std::ptrdiff_t>(j) * s.ncomp;
    const double* cb = ca + s.ncomp;
    for (int k = 0; k < s.ncomp; ++k)
      out[k * ns + i] = interpolate_linear(s.x[j], ca[k], s.x[j + 1], cb[k], X);
  }
}

}  // namespace qz5::results
