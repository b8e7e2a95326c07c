// The concentration output file: one block of lines per saved time.
//
// Each line gives, for one grid point, the time in days, the position in
// file length units and every constituent's concentration in file units,
// each rounded to single precision and written G13.5 after a blank. There is
// no header and no separator; blocks follow one another.
#pragma once

#include "textio/textio.h"

namespace qz5 {

// Writes the block for time t (days) to `unit` (NPTS lines) and the line
// "Saving data at: <t> days" to the console, from the values in file units
// an engine snapshot holds: x(NPTS) positions, c(NPTS*NCOMP) concentrations
// by point. NCOMP must be at most 6.
void OUT_TXC(Units& io, int unit, double t, const double* x, const double* c, int NCOMP, int NPTS);

}  // namespace qz5
