// Concentrations at fixed positions on the moving grid.
//
// The grid points move, so a gauge or a sonde at a fixed position sits
// between different points from one step to the next. Its value is the
// linear interpolation in position between the two points that enclose it -
// the same piecewise-linear profile the discretisation uses within an
// interval. The grid's end points do not move, but the integrator's
// interpolation to an output time can leave rounding noise in their
// positions; a station placed on an end of the reach is therefore tied to
// that end point and reads its value exactly.
#pragma once

#include <vector>

#include "engine/engine.h"

namespace qz5::results {

class StationSampler {
 public:
  // Positions in file length units, in any order; a position equal to
  // first_end or last_end (the reach's ends) reads that end point.
  StationSampler(std::vector<double> positions, double first_end, double last_end);

  int count() const { return static_cast<int>(positions_.size()); }
  const std::vector<double>& positions() const { return positions_; }

  // Interpolates every constituent at every station from the snapshot's
  // positions (strictly increasing) and concentrations. out receives
  // s.ncomp rows of count() values: out[(k-1)*count() + i] is constituent k
  // at station i. A station beyond an end point (by rounding of the end's
  // position) takes the end's value.
  void sample(const Snapshot& s, double* out);

 private:
  std::vector<double> positions_;
  std::vector<int> last_interval_;  // where each station was found last time
  std::vector<int> end_;            // -1 first end, +1 last end, 0 inside
};

// The interval j (0-based, 0 <= j <= n-2) with x[j] <= X <= x[j+1], searched
// outwards from `hint` (positions change little between steps); n >= 2 and x
// strictly increasing. X below x[0] gives 0, above x[n-1] gives n-2.
int locate_interval(const double* x, int n, double X, int hint);

// Linear interpolation between (xa, ca) and (xb, cb) at X, written so that X
// equal to xa or xb returns ca or cb exactly.
double interpolate_linear(double xa, double ca, double xb, double cb, double X);

}  // namespace qz5::results
