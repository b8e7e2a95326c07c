// The channel the transport runs in: its area and dispersion along the reach,
// and what happens at the downstream end.
//
// By default the built-in laws of the bundled estuary apply (channel_laws.h)
// and the second end holds the second boundary's concentration. A run may
// instead describe its channel by a table (input/channel_geometry.h) and
// make the second end a free outflow, which is what a river reach needs: the
// water leaves with the concentration it has, and no dispersive flux crosses
// the end.
#pragma once

#include <string>

#include "input/channel_geometry.h"
#include "model/channel_laws.h"

namespace qz5 {

enum class Outflow {
  kFixedConcentration,  // the second end holds the second boundary's concentrations
  kFree,                // the second end lets the water leave as it is
};

class Channel {
 public:
  // table: nullptr or an empty table for the built-in laws; else it must
  // outlive the channel and pass check_geometry.
  explicit Channel(const ChannelGeometry* table = nullptr);

  bool built_in() const { return table_ == nullptr; }

  // Cross-section area at X (file length units).
  double area(double X) const;
  // Dispersion at X in file length units squared per day; QL is the flow
  // along the channel (volume per day), which the built-in law is given in
  // seconds.
  double dispersion(double X, double QL) const;
  // Their derivatives by X (of the table's segment that area and dispersion
  // interpolate on; 0 outside the table).
  double area_slope(double X) const;
  double dispersion_slope(double X, double QL) const;

  // Means over the interval [Xa, Xb] (Xa < Xb) of a geometry table, exact
  // for its piecewise-linear rows: the mean area, and the interval's
  // effective A*D, the harmonic mean that passes the flux a steady gradient
  // drives through the interval, as resistances in series do. A step or
  // detail finer than the grid is then integrated instead of sampled. The
  // built-in laws are smooth: they give their values at the midpoint.
  double mean_area(double Xa, double Xb) const;
  double mean_conductance(double Xa, double Xb, double QL) const;

  // The first position in the reach [x_first, x_last], sampled at the n
  // positions given (file length units), where the area or the dispersion
  // is not positive and finite; "" when there is none. The message names the
  // law, the position and the value. A table must also cover the reach.
  std::string fault_over(const double* positions, int n) const;

 private:
  // Linear interpolation in column `v` of the table; positions outside the
  // table take the end rows.
  double interpolate(const std::vector<double>& v, double X) const;
  double slope(const std::vector<double>& v, double X) const;

  static constexpr double kSecondsPerDay = 86400.0;
  const ChannelGeometry* table_;
};

// area and dispersion in the header: the model asks for them at every
// interval whose position changed, and the built-in laws are a few
// operations, less than the calls around them.
inline double Channel::area(double X) const {
  if (table_ == nullptr) return AREA_ORG(X);
  return interpolate(table_->area, X);
}

inline double Channel::dispersion(double X, double QL) const {
  if (table_ == nullptr) return DISP_ORG(X, QL / kSecondsPerDay) * kSecondsPerDay;
  return interpolate(table_->dispersion, X);
}

}  // namespace qz5
