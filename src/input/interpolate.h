// Locating a time in a tabulated series.
//
// Every input series (boundary concentrations, lateral-input concentrations,
// variable drivers) is a table of non-decreasing times with value columns.
// A time may be written on two (or more) rows: that is a step change. Just
// before the repeated time the series runs towards the earlier row's values,
// as usual; at the repeated time and after it the later row's values hold. INTERPOLATE finds the interval holding a time and the linear
// fraction within it; callers apply the fraction to their own columns as
// (V(I+1) - V(I)) * FRAC + V(I). Each series keeps its own remembered
// interval so that the look-ups made while the integrator moves forward in
// small steps are settled in a comparison or two instead of a search.
#pragma once

#include "textio/textio.h"

namespace qz5 {

// T: the time to locate (units of TAB). N >= 2: points in TAB. TAB: pointer to
// the first of N non-decreasing times. I: on entry the interval found last
// time for this series (1 before the first call; any value >= N is reduced to
// N-1); on exit the left end of the interval, 1 <= I <= N-1.
// FRAC: 0 at TAB(I), 1 at TAB(I+1).
// A T equal to a time written on several rows gives the interval that begins
// at the last of those rows with FRAC = 0 (so that row's values exactly), or,
// when that row is row N, I = N-1 and FRAC = 1 as after the end; an interval
// of zero length is never returned with another FRAC, so nothing divides by
// zero. At a repeated time the answer does not depend on the remembered
// interval.
// A T before TAB(1) gives I = 1, FRAC = 0; after TAB(N), I = N-1, FRAC = 1;
// both write a warning line on io's console every time. A search that fails to
// close its bracket (impossible for N >= 2 and non-decreasing times) stops
// the run.
void INTERPOLATE(Units& io, double T, int N, const double* TAB, int& I, double& FRAC);

}  // namespace qz5
