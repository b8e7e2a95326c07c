// The state of one run in progress: what changes while the scenario's
// inputs stay as they are.
//
// The run session owns it. It holds the tolerances and grid smoothing in
// force (the scenario's, or the run options' overrides), the solution, the
// integrator's work arrays and the residual workspace; the series' look-up
// positions are the model's (EstuaryModel). Sized when the run is set up,
// from the number of grid points; arrays are indexed from 1.
#pragma once

#include "input/limits.h"
#include "textio/array1.h"

namespace qz5 {

struct RunState {
  // --- in force for this run
  double RTOL = 0.0;
  double ATOL = 0.0;
  double TAU = 0.0;
  double KAPPA = 0.0;
  double ALPHA = 0.0;

  // --- integrator work area (sized and filled by the run session and SETSKM)
  int NEQ = 0;                     // (NCOMP + 1) * NPTS
  DynArray1<double> Y;             // per point: NCOMP model concentrations, then the model position
  DynArray1<double> YPRIME;
  Array1<int, kInfoSlots> INFO;
  DynArray1<double> RWORK;
  int LRW = 0;
  DynArray1<int> IWORK;
  int LIW = 0;
  DynArray1<double> RPAR;          // residual workspace
  int LENWK = 0;
  Array1<int, kIparSlots> IPAR;    // IPAR(2..6): integrator counters after each output time
  int IBAND = 0;                   // half-bandwidth, 2 * (NCOMP + 1)
  int MAXORD = 0;
  double XLEFT = 0.0;              // domain ends, model length units
  double XRIGHT = 0.0;
  double T = 0.0;
  double TOUT = 0.0;
  int IDID = 0;
};

}  // namespace qz5
