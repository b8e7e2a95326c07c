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

namespace qz5 {

// Cross-section area at position X (file length units):
// X^2 * 3.4e-06 + 17.0. Finite for every finite X.
double AREA_ORG(const double& X);

// Longitudinal dispersion coefficient at position X, in file length units
// squared per second. QS (flow, volume per second) is accepted for laws that
// depend on the flow; the present law ignores it. The law is hyperbolic in
// the distance below 23330 + 5000: it is infinite at X = 28330 and negative
// beyond, which the channel of the model never reaches.
double DISP_ORG(const double& X, const double& QS);

}  // namespace qz5
