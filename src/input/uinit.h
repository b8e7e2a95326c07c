// The solution at the start time.
//
// The discretisation set-up places the grid points evenly and then asks for
// the initial concentrations. They come either from the initial-profile file
// (which also supplies the grid positions) or, without one, run linearly in
// the point index from the first boundary's start concentrations to the
// second's.
#pragma once

#include "input/inputs.h"
#include "textio/textio.h"

namespace qz5 {

// U points to element 1 of the solution vector, (NCOMP + 1) * NPTS reals laid
// out point after point: NCOMP model concentrations, then the model position.
// On entry the positions are set; on return U holds the initial profile in
// model units. With ms.USE_UT0 reads ms.FN_UT0 on unit 1 and stops the run
// when it holds a number of complete groups other than NPTS; otherwise uses
// ms.CBND0 and leaves the positions alone. Needs NPTS >= 2 in that case.
// When ms.ut0_tab holds the file read ahead (load_initial_profile), the
// groups come from there instead of the file, with the same check.
void UINIT(Units& io, const Inputs& ms, int NCOMP, int NPTS, double* U);

// Reads every complete group of ms.FN_UT0 into ms.ut0_tab (NCOMP + 2 values
// each) so that the scenario no longer needs the file. Stops the run on a
// missing file or an unreadable value, naming the file.
void load_initial_profile(Units& io, Inputs& ms);

}  // namespace qz5
