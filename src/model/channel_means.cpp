// Interval means of a geometry table. Between two neighbouring breakpoints
// (table rows, or the interval's ends) area and dispersion are linear, so
// every piece is integrated in closed form.
#include <algorithm>
#include <cmath>

#include "model/channel.h"

namespace qz5 {
namespace {

// log(1 + z) / z, 1 at z = 0.
double log1p_ratio(double z) { return z == 0.0 ? 1.0 : std::log1p(z) / z; }

// The integral over [0, 1] of 1 / (a(s) d(s)) for a and d linear from a0, d0
// to a1, d1 (all positive): log(r) / ((r - 1) a0 d1) with r = a1 d0 / (a0 d1).
double inverse_product_mean(double a0, double a1, double d0, double d1) {
  const double z = (a1 * d0 - a0 * d1) / (a0 * d1);
  return log1p_ratio(z) / (a0 * d1);
}

}  // namespace

template <class Piece>
static void for_each_piece(const std::vector<double>& x, double Xa, double Xb, Piece piece) {
  double p0 = Xa;
  auto next = std::upper_bound(x.begin(), x.end(), Xa);
  for (; next != x.end() && *next < Xb; ++next) {
    piece(p0, *next);
    p0 = *next;
  }
  piece(p0, Xb);
}

double Channel::mean_area(double Xa, double Xb) const {
  if (table_ == nullptr || !(Xb > Xa)) return area(0.5 * (Xa + Xb));
  double integral = 0.0;
  for_each_piece(table_->x, Xa, Xb, [&](double p0, double p1) {
    integral += (p1 - p0) * (0.5 * (area(p0) + area(p1)));
  });
  return integral / (Xb - Xa);
}

double Channel::mean_conductance(double Xa, double Xb, double QL) const {
  const double Xm = 0.5 * (Xa + Xb);
  if (table_ == nullptr || !(Xb > Xa)) return area(Xm) * dispersion(Xm, QL);
  double resistance = 0.0;
  for_each_piece(table_->x, Xa, Xb, [&](double p0, double p1) {
    resistance += (p1 - p0) * inverse_product_mean(area(p0), area(p1), dispersion(p0, QL),
                                                   dispersion(p1, QL));
  });
  return (Xb - Xa) / resistance;
}

}  // namespace qz5
