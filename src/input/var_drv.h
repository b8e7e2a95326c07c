// Variable drivers: forcing functions of time read from driver files.
//
// The one driver in use scales every lateral-input flow. Unlike the other
// series a driver is never extrapolated: a time outside its data stops the
// run, so a driver file must cover the whole simulated period. All drivers
// share one pair of tables, stored one after another.
#pragma once

#include "input/limits.h"
#include "input/reader_options.h"
#include "textio/array1.h"
#include "textio/textio.h"

namespace qz5 {

struct Inputs;

class VarDrv {
 public:
  // Loads driver K (1-based, loaded in order 1, 2, ...) from ms.FN_DRV(K) on
  // UNIT. Stops the run (status 1) when the drivers together exceed 10000
  // points under the legacy limits (without them the tables grow), when the file holds fewer than 2 points or a time earlier than
  // the one before it, or for a missing file or an unreadable value. A time
  // may be repeated on the next point: a step change (see INTERPOLATE).
  void DRV_INIT(Units& io, Inputs& ms, int UNIT, int K, const ReaderOptions& options = {});

  // VALUE = driver K at time T (days), linearly interpolated; at a repeated
  // time and after it the later of its points holds. A T outside the
  // driver's first..last time (inclusive) stops the run after three console
  // lines. K must have been loaded. ilast_drv is the run's remembered
  // interval of driver K (start at 1).
  void lookup(Units& io, double T, double& VALUE, int K, int& ilast_drv) const;

  DynArray1<double> t_drv{kMaxPtsDrv};
  DynArray1<double> v_drv{kMaxPtsDrv};
  Array1<int, kMaxDrv> npts_drv;
};

}  // namespace qz5
