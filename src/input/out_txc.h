// The concentration output file: one block of lines per saved time.
//
// Each line gives, for one grid point, the time in days, the position in
// file length units and every constituent's concentration in file units,
// each rounded to single precision and written G13.5 after a blank. There is
// no header and no separator; blocks follow one another.
#pragma once

#include "input/inputs.h"
#include "textio/textio.h"

namespace qz5 {

// Writes the block for model time T to `unit` (NPTS lines) and the line
// "Saving data at: <T in days> days" to the console. U points to element 1 of
// the solution vector (NCOMP + 1 reals per point). Reads TUNIT_DAY,
// TUNIT_MODEL, XCONV and CCONV from ms; NCOMP must be at most 6.
void OUT_TXC(Units& io, const Inputs& ms, int unit, double T, const double* U,
             int NCOMP, int NPTS);

}  // namespace qz5
