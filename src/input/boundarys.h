// The concentrations imposed at the two ends of the estuary, as time series.
//
// The boundary file is read once during set-up; afterwards the boundary
// conditions (and the lateral inputs, when they borrow the first boundary's
// concentrations) ask for both ends' concentrations at any time. Set-up and
// look-up share one table and one remembered interval index, so the look-ups
// made while the integrator creeps forward cost a comparison or two.
#pragma once

#include "input/limits.h"
#include "textio/array1.h"
#include "textio/textio.h"

namespace qz5 {

struct ModelState;

class Boundarys {
 public:
  // Reads ms.FN_BND on UNIT (opened and closed here): fills XBND(1..2), the
  // table, and CBND0(k,1..2), the concentrations of both ends at ms.TSTART
  // (TSTART must already be in model time units). Stops the run (status 1)
  // for fewer than 2 time points, or more than 100 under the legacy limits, a time point earlier than
  // the one before it, a missing file or an unreadable value. Nothing is
  // stored past the table. A time may be repeated on the next row: a step
  // change (see INTERPOLATE).
  void setup(Units& io, ModelState& ms, int UNIT);

  // Concentrations of the first (CL) and second (CR) boundary at time T in
  // days, file units; CL and CR point to element 1 of ms.NCOMP values. At a
  // repeated time and after it, the later of its rows holds. Times outside
  // the table hold the end values and write a warning on io's console.
  // Calling it before setup() is a programming error.
  void lookup(Units& io, const ModelState& ms, double T, double* CL, double* CR);

  DynTable1<double> bnd_tab{kMaxBndryTpts, kBndCols};
  int nbnd_tpts = 0;
  int ilast_bnd = 1;
};

}  // namespace qz5
