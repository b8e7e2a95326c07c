// What a run's observers may ask the model: the coefficients the residual
// takes at a point, for the state the run is in.
//
// The answers come from the same channel, look-ups and kinetics as the
// residual's, so a mass budget or any other diagnostic needs no physics of
// its own. Asking never changes the run: the query keeps its own look-up
// positions and its own silent console. One query belongs to one run.
#pragma once

#include <array>

#include "input/limits.h"

namespace qz5 {

// File units: area and dispersion as the channel gives them, the flow along
// the channel (volume per day), the lateral mass input per unit length and
// the reaction rates per constituent (file concentration units per day).
struct Coefficients {
  double area = 0.0;
  double dispersion = 0.0;
  double flow = 0.0;
  std::array<double, kMaxNcomp> lateral{};
  std::array<double, kMaxNcomp> reaction{};
};

class ModelQuery {
 public:
  virtual ~ModelQuery() = default;
  // At model time T and model position XI, for model values U(1..NCOMP)
  // and their slopes UX (the residual's midpoint values of an interval).
  virtual void coefficients(double T, double XI, const double* U, const double* UX,
                            Coefficients& out) const = 0;
  // The same for the interval [XA, XB] whose midpoint is XI: what the
  // residual takes there when its model takes means over intervals (the
  // dispersion then the effective A*D divided by the mean area).
  virtual void coefficients_over(double T, double XI, double XA, double XB, const double* U,
                                 const double* UX, Coefficients& out) const {
    static_cast<void>(XA), static_cast<void>(XB);
    coefficients(T, XI, U, UX, out);
  }
  // The flow along the channel at model time T and file position X (the
  // boundary routine's flows at the ends).
  virtual double flow_at(double T, double X) const = 0;
  // Whether constituent k (1-based) moves with the water; one that does not
  // has no flux through the ends and no lateral load.
  virtual bool transported(int k) const = 0;
};

}  // namespace qz5
