// The concentrations imposed at the two ends of the estuary, as time series.
//
// The boundary file is read once during set-up; afterwards the boundary
// conditions (and the lateral inputs, when they borrow the first boundary's
// concentrations) ask for both ends' concentrations at any time. Each run
// remembers the interval of its last look-up (ilast_bnd), so the look-ups
// made while the integrator creeps forward cost a comparison or two.
#pragma once

#include "input/limits.h"
#include "input/reader_options.h"
#include "textio/array1.h"
#include "textio/textio.h"

namespace qz5 {

struct Inputs;

class Boundarys {
 public:
  // Reads ms.FN_BND on UNIT (opened and closed here): fills XBND(1..2), the
  // table, and CBND0(k,1..2), the concentrations of both ends at ms.TSTART
  // (TSTART must already be in model time units). Stops the run (status 1)
  // for fewer than 2 time points, or more than 100 under the legacy limits, a time point earlier than
  // the one before it, a missing file or an unreadable value. Nothing is
  // stored past the table. A time may be repeated on the next row: a step
  // change (see INTERPOLATE).
  void setup(Units& io, Inputs& ms, int UNIT, const ReaderOptions& options = {});

  // Concentrations of the first (CL) and second (CR) boundary at time T in
  // days, file units; CL and CR point to element 1 of ms.NCOMP values. At a
  // repeated time and after it, the later of its rows holds. Times outside
  // the table hold the end values and write a warning on io's console.
  // ilast_bnd is the run's remembered interval (start at 1). Calling it
  // before setup() is a programming error.
  void lookup(Units& io, const Inputs& ms, double T, double* CL, double* CR,
              int& ilast_bnd) const;

  DynTable1<double> bnd_tab{kMaxBndryTpts, kBndCols};
  int nbnd_tpts = 0;
};

}  // namespace qz5
