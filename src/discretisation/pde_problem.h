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

#include <array>
#include <cassert>

namespace qz5 {

// Derivatives of the coefficients at one evaluation point, for an analytic
// iteration matrix. Matrices are NCOMP x NCOMP by columns (entry (k, j),
// the derivative of coefficient k by value j, at [(k-1) + (j-1)*NCOMP]),
// vectors NCOMP long.
struct CoefficientDerivatives {
  double* dQ_dU;
  double* dQ_dUX;
  double* dR_dU;
  double* dR_dUX;
  double* dC_dXI;  // C itself may depend on the position only
  double* dQ_dXI;
  double* dR_dXI;
};

class PdeProblem {
 public:
  virtual ~PdeProblem() = default;

  // The derivatives of spdef's C, Q and R at the same arguments, for a
  // problem whose C does not depend on U or UX. Returns false (the default)
  // when the problem does not provide them: the iteration matrix is then
  // formed by differences.
  virtual bool coefficient_derivatives(double T, double XI, int NCOMP, const double* U,
                                       const double* UX, CoefficientDerivatives& d) {
    static_cast<void>(T), static_cast<void>(XI), static_cast<void>(NCOMP);
    static_cast<void>(U), static_cast<void>(UX), static_cast<void>(d);
    return false;
  }
  // dGAMMA/dU and dGAMMA/dUX (NCOMP x NCOMP by columns) at one end, for a
  // problem whose BETA does not depend on the state. False: not provided.
  virtual bool boundary_derivatives(double T, const double* U, const double* UX, int NCOMP,
                                    int LEFT, double* dGAMMA_dU, double* dGAMMA_dUX) {
    static_cast<void>(T), static_cast<void>(U), static_cast<void>(UX), static_cast<void>(NCOMP);
    static_cast<void>(LEFT), static_cast<void>(dGAMMA_dU), static_cast<void>(dGAMMA_dUX);
    return false;
  }

  // Coefficients at model time T and position XI for values U and space
  // derivatives UX. Must write every element of C, Q and R. May set IRES
  // (left as it came in otherwise).
  virtual void spdef(double T, double XI, int NCOMP, const double* U, const double* UX, double* C,
                     double* Q, double* R, int& IRES) = 0;

  // Whether every C spdef writes is diagonal: C(k, j) is exactly zero for
  // k != j at every call. Then the capacity sums need only the diagonal
  // (their values are the same; see the assembly). Asked once per residual;
  // false by default.
  virtual bool capacity_is_diagonal() const { return false; }

  // Whether every C spdef writes is its [0] element times the identity
  // (off the diagonal exactly +0.0). Such a problem may be asked for the
  // coefficients of several intervals at once (spdef_intervals). Asked once
  // per residual; false by default.
  virtual bool capacity_is_scalar() const { return false; }
  // spdef at the evaluation points XI[0..count) in order, U and UX holding
  // NCOMP values per point one point after another, Q and R likewise, and
  // capacity[i] the diagonal of point i's C; count is at most
  // kMaxIntervalsAtOnce. The values are those spdef gives, bit for bit, and
  // the calls have the same effects in the same order. Only asked of a
  // problem whose capacity_is_scalar() and that takes no means over
  // intervals, for NCOMP up to 16; by default spdef point by point.
  // Such a problem never leaves IRES = -1 (from here or from bndr): the
  // assembly forms the residual's rows as it goes.
  static constexpr int kMaxIntervalsAtOnce = 8;
  virtual void spdef_intervals(double T, int NCOMP, int count, const double* XI, const double* U,
                               const double* UX, double* capacity, double* Q, double* R,
                               int& IRES);

  // Whether the coefficients of an interval are means over it (spdef_over)
  // rather than values at its evaluation point (spdef). Asked once per
  // residual; false by default.
  virtual bool means_over_intervals() const { return false; }
  // spdef for the interval [XA, XB] whose evaluation point is XI: the
  // coefficients that depend on the position alone may be means over the
  // interval. By default spdef at XI.
  virtual void spdef_over(double T, double XI, double XA, double XB, int NCOMP, const double* U,
                          const double* UX, double* C, double* Q, double* R, int& IRES) {
    static_cast<void>(XA), static_cast<void>(XB);
    spdef(T, XI, NCOMP, U, UX, C, Q, R, IRES);
  }

  // Boundary coefficients at the left (LEFT != 0, first grid point) or right
  // (LEFT == 0, last grid point) end.
  virtual void bndr(double T, double* BETA, double* GAMMA, const double* U, const double* UX,
                    int NCOMP, int LEFT, int& IRES) = 0;

  // Initial state: on entry U (the solution vector, NCOMP+1 entries per point,
  // the position last) holds evenly spaced positions; fills the NCOMP values
  // of every point and may replace the positions.
  virtual void uinit(int NCOMP, int NPTS, double* U) = 0;
};

inline void PdeProblem::spdef_intervals(double T, int NCOMP, int count, const double* XI,
                                        const double* U, const double* UX, double* capacity,
                                        double* Q, double* R, int& IRES) {
  std::array<double, 16 * 16> C;  // the largest system the assembly keeps sums of
  assert(NCOMP >= 1 && NCOMP <= 16);
  for (int i = 0; i < count; ++i) {
    const int at = i * NCOMP;
    spdef(T, XI[i], NCOMP, U + at, UX + at, C.data(), Q + at, R + at, IRES);
    capacity[i] = C[0];
    if (IRES == 3) return;
  }
}

}  // namespace qz5
