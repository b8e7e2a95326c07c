// Building blocks of the discretisation residual, exposed so that each can be
// checked on its own: the geometry of one grid interval, the transport-row
// assembly, the moving-grid equations and their monitor, and the machine
// parameters the set-up needs.
//
// Layout: entry (k, n) of a solution-layout vector - value k (1..NCOMP, or
// NVAR for the position) of grid point n (0..NPTS-1) - is element
// n*NVAR + k - 1 of the C++ array.
#pragma once

#include <cstddef>

#include "discretisation/pde_problem.h"
#include "discretisation/skm_state.h"

namespace qz5 {

// C++ index of entry (k, n) in the solution layout with `nvar` entries per point.
inline std::size_t skm_at(int nvar, int k, int n) {
  return static_cast<std::size_t>(n) * static_cast<std::size_t>(nvar) +
         static_cast<std::size_t>(k - 1);
}

// x^k for an integer k by repeated squaring; 1/x^|k| for negative k, 1 for k = 0.
double skm_ipow(double x, int k);

// Everything the assembly needs to know about one interval [xa, xb].
struct IntervalGeometry {
  double q;   // normaliser of the interval's basis function (NaN when not needed)
  double xi;  // evaluation point
  double g;   // flux weight at xi
  double s;   // split value: control-volume boundary to the power M+1
  double f;   // flux factor
  double w;   // interpolation weight of xa at xi
  double d;   // derivative factor: u_x(xi) = (u_a - u_b)*d
  double WL;  // capacity weight of the left part, integral of x^M
  double WR;  // capacity weight of the right part
};

// Geometry of the interval [xa, xb] for polar parameter M. `first` marks the
// interval touching the left end, which is special when AT_ORIGIN = 1.
IntervalGeometry interval_geometry(double xa, double xb, int M, int AT_ORIGIN, bool first);

// Transport rows of every point: time-derivative terms into DELTA, flux and
// source terms into FSPART (position rows untouched). U..C are the scratch
// sections of the workspace. Returns at once, rows incomplete, when the
// problem leaves IRES = 3. Returns true when it has also formed the
// concentration rows' residual DELTA - FSPART in DELTA (FSPART still holding
// its half): the grouped assembly of a problem that takes its intervals
// together, which never leaves IRES = -1.
bool SKM_ASSEMBLE(PdeProblem& p, double T, const double* Y, const double* YPRIME, int NCOMP,
                  int NINNER, int M, int AT_ORIGIN, double* U, double* UX, double* BETA,
                  double* GAMMA, double* R, double* Q, double* C, double* DELTA, double* FSPART,
                  int& IRES);

// Monitor of every interval i = 0..NINNER into FSPART(NCOMP+1, i).
void GRID_MONITOR(const SkmState& s, const double* Y, double* FSPART, int NCOMP, int NINNER);

// Moving-grid equations: the position rows of DELTA (time-derivative half) and
// FSPART (the rest). The monitor of each interval is formed on the way, as
// GRID_MONITOR forms it. With `difference` DELTA takes the rows' residual
// DELTA - FSPART instead of the time-derivative half.
void GRID_EQUATIONS(const SkmState& s, const double* Y, const double* YPRIME, int NVAR, int NINNER,
                    double* DELTA, double* FSPART, bool difference = false);

// The floating-point parameters of the machine. Radix, digits and the two
// epsilons are found by probing double arithmetic at run time; the exponent
// range is the platform's.
struct MachineParameters {
  int ibeta;      // radix
  int it;         // radix digits in the mantissa
  int irnd;       // rounding mode: 5 for IEEE round-to-nearest with gradual underflow
  int ngrd;       // guard digits
  int machep;     // exponent of eps
  int negep;      // exponent of epsneg
  int iexp;       // bits of the exponent field
  int minexp;     // minimum exponent
  int maxexp;     // maximum exponent
  double eps;     // smallest power of the radix with 1 + eps != 1
  double epsneg;  // smallest power of the radix with 1 - epsneg != 1
  double xmin;    // smallest positive normalised number
  double xmax;    // largest finite number
};

MachineParameters MACHINE_PARAMETERS();

// Evenly spaced positions from XLEFT to XRIGHT in Y, then p.uinit.
void SKM_INITIAL_STATE(PdeProblem& p, int NCOMP, int NPTS, double XLEFT, double XRIGHT, double* Y);

}  // namespace qz5
