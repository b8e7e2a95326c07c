// The moving-grid discretisation of a 1-D PDE system: set-up and residual.
//
// A PDE problem (PdeProblem) of NCOMP equations on [XLEFT, XRIGHT] becomes a
// DAE system G(t, y, y') = 0 with NVAR = NCOMP + 1 unknowns per grid point:
// the NCOMP values first, the point's position last, point after point. The
// transport rows come from a Skeel-Berzins finite-volume scheme on the moving
// grid; the position rows are moving-grid equations that equidistribute a
// solution monitor with spatial (KAPPA) and temporal (TAU) smoothing. The
// Jacobian of G is banded with half-bandwidth 2*NVAR.
//
// All arrays are pointers to element 1 of the caller's arrays.
#pragma once

#include <cstdint>

#include "discretisation/pde_problem.h"
#include "discretisation/skm_state.h"
#include "textio/textio.h"

namespace qz5 {

// Workspace length the residual needs: NEQ + 6*NCOMP + NCOMP^2, formed in
// 64 bits. NEQ is at most 2^62 in magnitude, as is any product
// (NCOMP+1)*NPTS of 32-bit counts; a length beyond the 64-bit range is
// returned as its largest value.
std::int64_t skm_workspace_length(std::int64_t NEQ, int NCOMP);

// One-time set-up. Always sets NEQ = (NCOMP+1)*NPTS and IBAND = 2*(NCOMP+1)
// and copies the grid parameters, M and the machine precision into `s`.
// The sizes are formed in 64 bits: one beyond the int range is stored at the
// nearer end of it (NEQ = INT_MAX for a grid too large to count) and always
// fails the workspace check, so no count is ever refused for its size alone
// and none wraps round. Refuses, with one console line each (unit 6) and
// IFAIL = -1:
//   a workspace LENWK shorter than skm_workspace_length(NEQ, NCOMP) (a
//   requirement of more than ten digits prints as ten asterisks, as I10
//   does), M < 0, NPTS < 3.
// On refusal Y is untouched, p.uinit is not called and the set-up mark keeps
// its previous value. Otherwise Y receives NPTS evenly spaced positions and
// then p.uinit fills the values (and may replace the positions), the mark is
// set and IFAIL is left as it came in. RPAR and TSTART are not used.
void SETSKM(Units& io, SkmState& s, PdeProblem& p, int& NEQ, int NCOMP, int NPTS, double XLEFT,
            double XRIGHT, double TAU, double KAPPA, double ALPHA, double* Y, double* RPAR,
            int LENWK, int M, double TSTART, int& IBAND, int& IFAIL);

// Residual DELTA = G(T, Y, YPRIME) of the whole discrete system. RPAR is the
// scratch workspace of at least skm_workspace_length(NEQ, NCOMP) entries;
// its first NEQ entries end up holding the flux-and-source half.
// IRES is left as it came in on a normal evaluation; otherwise:
//   2  the set-up was not done (a console line; nothing evaluated);
//   3  the grid is not strictly increasing (one line per failing pair on
//      unit LUNSKM), or the problem returned 3: DELTA is incomplete;
//  -1  the problem returned -1: DELTA holds only the time-derivative half.
void SKMRES(Units& io, const SkmState& s, PdeProblem& p, int NEQ, double T, const double* Y,
            const double* YPRIME, double* DELTA, int& IRES, double* RPAR, int LENWK);

// The iteration matrix dG/dY + CJ dG/dYPRIME of the residual, from the
// problem's coefficient derivatives instead of differences, into PD in band
// storage with ML = MU = IBAND (leading dimension 3*IBAND + 1, PD zeroed by
// the caller). Only for M = 0 without the origin mode; returns false, PD
// incomplete, when those do not hold, NCOMP exceeds 16, the problem does not
// provide its derivatives, or it sets IRES = 3.
bool SKMJAC(const SkmState& s, PdeProblem& p, double T, const double* Y, const double* YPRIME,
            double CJ, double* PD, int& IRES);

// Reach of the unknowns in the residual, point by point: the rows that value k
// (1..NCOMP) of point p can change lie in points p-1 .. p+1 (a transport row
// reads its two intervals, a grid row the monitors of its two intervals); the
// position of point p reaches the grid rows of points p-2 .. p+2 (through the
// smoothed concentrations of the intervals around them). reach[k-1] for
// k = 1..NCOMP+1.
inline int skm_point_reach(int k, int NCOMP) { return k <= NCOMP ? 1 : 2; }

}  // namespace qz5
