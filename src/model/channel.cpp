#include "model/channel.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "model/channel_laws.h"

namespace qz5 {
namespace {

std::string describe(const char* law, double X, double value) {
  std::ostringstream s;
  s.precision(10);
  s << "the " << law << " is not positive at X = " << X << " (value " << value << ")";
  return s.str();
}

}  // namespace

Channel::Channel(const ChannelGeometry* table)
    : table_(table != nullptr && !table->empty() ? table : nullptr) {}

double Channel::interpolate(const std::vector<double>& v, double X) const {
  const std::vector<double>& x = table_->x;
  if (!(X > x.front())) return v.front();
  if (!(X < x.back())) return v.back();
  const auto upper = std::upper_bound(x.begin(), x.end(), X);
  const std::size_t i = static_cast<std::size_t>(upper - x.begin());
  const double frac = (X - x[i - 1]) / (x[i] - x[i - 1]);
  return (v[i] - v[i - 1]) * frac + v[i - 1];
}

double Channel::slope(const std::vector<double>& v, double X) const {
  const std::vector<double>& x = table_->x;
  if (!(X > x.front()) || !(X < x.back())) return 0.0;
  const auto upper = std::upper_bound(x.begin(), x.end(), X);
  const std::size_t i = static_cast<std::size_t>(upper - x.begin());
  return (v[i] - v[i - 1]) / (x[i] - x[i - 1]);
}

double Channel::area_slope(double X) const {
  if (table_ == nullptr) return 2.0 * X * 3.4e-06;  // of AREA_ORG
  return slope(table_->area, X);
}

double Channel::dispersion_slope(double X, double QL) const {
  static_cast<void>(QL);
  if (table_ == nullptr) {
    const double w = (23330.0 - X) + 5000.0;  // of DISP_ORG, per day
    return (5000.0 * 1.36e6) / (w * w);
  }
  return slope(table_->dispersion, X);
}

std::string Channel::fault_over(const double* positions, int n) const {
  if (n < 1) return {};
  const double first = *std::min_element(positions, positions + n);
  const double last = *std::max_element(positions, positions + n);
  if (table_ != nullptr && (first < table_->x.front() || last > table_->x.back())) {
    std::ostringstream s;
    s.precision(10);
    s << "the geometry table (" << table_->x.front() << " to " << table_->x.back()
      << ") does not cover the reach " << first << " to " << last;
    return s.str();
  }
  const std::string law_a = table_ == nullptr ? "built-in area law" : "area of the geometry table";
  const std::string law_d =
      table_ == nullptr ? "built-in dispersion law" : "dispersion of the geometry table";
  for (int j = 0; j < n; ++j) {
    // The built-in dispersion law has a pole: test the midpoints too, so that
    // a pole between two grid points is found.
    for (int half = 0; half < 2; ++half) {
      if (half == 1 && j + 1 == n) break;
      const double X = half == 0 ? positions[j] : 0.5 * (positions[j] + positions[j + 1]);
      const double a = area(X);
      if (!(std::isfinite(a) && a > 0.0)) return describe(law_a.c_str(), X, a);
      const double d = dispersion(X, 0.0);
      if (!(std::isfinite(d) && d > 0.0)) return describe(law_d.c_str(), X, d);
    }
  }
  return {};
}

}  // namespace qz5
