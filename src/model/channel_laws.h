// Geometry and mixing of the estuary channel.
//
// The transport equations need two properties of the channel at every
// position: its cross-section area and its longitudinal dispersion
// coefficient. Both are fixed laws of position (in file length units), kept
// apart from the PDE definition so that a different channel means changing
// only these two functions. The constants belong to the channel that the
// model was calibrated on; their grouping is part of the results and must
// not be rearranged.
#pragma once

#include <cmath>

namespace qz5 {

// The laws are defined here, inline, so that their callers fold them in.

// Cross-section area at position X (file length units):
// X^2 * 3.4e-06 + 17.0. Finite for every finite X.
inline double AREA_ORG(const double& X) { return std::pow(X, 2.0) * 3.4e-06 + 17.0; }

// Longitudinal dispersion coefficient at position X, in file length units
// squared per second. QS (flow, volume per second) is accepted for laws that
// depend on the flow; the present law ignores it. The law is hyperbolic in
// the distance below 23330 + 5000: it is infinite at X = 28330 and negative
// beyond, which the channel of the model never reaches.
inline double DISP_ORG(const double& X, const double& QS) {
  static_cast<void>(QS);  // the present law does not depend on the flow
  return ((5000.0 * 1.36e6) / ((23330.0 - X) + 5000.0)) / 86400.0;
}

}  // namespace qz5
