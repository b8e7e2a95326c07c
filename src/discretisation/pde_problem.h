// What the moving-grid discretisation needs to know of a PDE problem.
//
// The discretisation is a generic library: it turns any system of the form
//   sum_j C(k,j) du_j/dt + Q(k) = x^-M d(x^M R(k))/dx,  with boundary
//   conditions BETA(k) R(k) = GAMMA(k) at both ends,
// into the residual of a DAE system. The problem supplies the coefficients,
// the boundary conditions and the initial state through this interface; the
// estuary model is one implementation, the tests plug in others (heat
// equation, Burgers' equation).
//
// Array arguments point to element 1 of 1-based arrays; C is NCOMP x NCOMP,
// stored by columns (C(k,j) at C[(k-1) + (j-1)*NCOMP]).
#pragma once

namespace qz5 {

class PdeProblem {
 public:
  virtual ~PdeProblem() = default;

  // Coefficients at model time T and position XI for values U and space
  // derivatives UX. Must write every element of C, Q and R. May set IRES
  // (left as it came in otherwise).
  virtual void spdef(double T, double XI, int NCOMP, const double* U, const double* UX, double* C,
                     double* Q, double* R, int& IRES) = 0;

  // Boundary coefficients at the left (LEFT != 0, first grid point) or right
  // (LEFT == 0, last grid point) end.
  virtual void bndr(double T, double* BETA, double* GAMMA, const double* U, const double* UX,
                    int NCOMP, int LEFT, int& IRES) = 0;

  // Initial state: on entry U (the solution vector, NCOMP+1 entries per point,
  // the position last) holds evenly spaced positions; fills the NCOMP values
  // of every point and may replace the positions.
  virtual void uinit(int NCOMP, int NPTS, double* U) = 0;
};

}  // namespace qz5
