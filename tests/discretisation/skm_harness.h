// Test support for the discretisation: a PDE problem driven by callables that
// records how the discretisation calls it, and a harness owning the console,
// the state and the vectors of one discretised problem.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "discretisation/pde_problem.h"
#include "discretisation/skm.h"
#include "discretisation/skm_kernels.h"
#include "textio/textio.h"

namespace qz5::testing {

// Coefficients C (by columns), Q, R at (T, XI, U, UX).
using CoeffFn = std::function<void(double T, double XI, int NCOMP, const double* U,
                                   const double* UX, double* C, double* Q, double* R)>;
// BETA, GAMMA at one end.
using BoundaryFn =
    std::function<void(int LEFT, int NCOMP, const double* U, double* BETA, double* GAMMA)>;

// Identity capacity, no source, flux R = UX: the heat equation u_t = u_xx.
inline void heat_coefficients(double, double, int NCOMP, const double*, const double* UX, double* C,
                              double* Q, double* R) {
  for (int j = 0; j < NCOMP * NCOMP; ++j) C[j] = 0.0;
  for (int k = 0; k < NCOMP; ++k) {
    C[k + k * NCOMP] = 1.0;
    Q[k] = 0.0;
    R[k] = UX[k];
  }
}

// BETA = 1, GAMMA = 0 at both ends: zero flux.
inline void zero_flux(int, int NCOMP, const double*, double* BETA, double* GAMMA) {
  for (int k = 0; k < NCOMP; ++k) {
    BETA[k] = 1.0;
    GAMMA[k] = 0.0;
  }
}

class ScriptedProblem : public PdeProblem {
 public:
  struct SpdefCall {
    double T;
    double XI;
    std::vector<double> U, UX;
    int ires_in;
  };
  struct BndrCall {
    int LEFT;
    const double* U;  // where the values were handed over (a slice of Y)
    std::vector<double> UX;
    std::size_t spdef_calls_before;
    int ires_in;
  };

  CoeffFn coeffs = heat_coefficients;
  BoundaryFn boundary = zero_flux;
  // uinit: fills values with this callable when set, else leaves Y alone.
  std::function<void(int NCOMP, int NPTS, double* Y)> initial;

  // Set IRES to `ires_value` on the given (0-based) spdef / bndr call; -1 never.
  int spdef_ires_call = -1, bndr_ires_call = -1, ires_value = 0;

  std::vector<SpdefCall> spdef_calls;
  std::vector<BndrCall> bndr_calls;
  int uinit_calls = 0;
  std::vector<double> uinit_positions;  // positions seen on entry to uinit

  void spdef(double T, double XI, int NCOMP, const double* U, const double* UX, double* C,
             double* Q, double* R, int& IRES) override {
    spdef_calls.push_back({T, XI, {U, U + NCOMP}, {UX, UX + NCOMP}, IRES});
    coeffs(T, XI, NCOMP, U, UX, C, Q, R);
    if (static_cast<int>(spdef_calls.size()) - 1 == spdef_ires_call) IRES = ires_value;
  }
  void bndr(double T, double* BETA, double* GAMMA, const double* U, const double* UX, int NCOMP,
            int LEFT, int& IRES) override {
    (void)T;
    bndr_calls.push_back({LEFT, U, {UX, UX + NCOMP}, spdef_calls.size(), IRES});
    boundary(LEFT, NCOMP, U, BETA, GAMMA);
    if (static_cast<int>(bndr_calls.size()) - 1 == bndr_ires_call) IRES = ires_value;
  }
  void uinit(int NCOMP, int NPTS, double* Y) override {
    ++uinit_calls;
    uinit_positions.clear();
    for (int n = 0; n < NPTS; ++n) uinit_positions.push_back(Y[skm_at(NCOMP + 1, NCOMP + 1, n)]);
    if (initial) initial(NCOMP, NPTS, Y);
  }
  void forget_calls() {
    spdef_calls.clear();
    bndr_calls.clear();
  }
};

// One discretised problem: console on a string stream, the state, Y, Y',
// the residual and the workspace (exactly as long as required).
struct Harness {
  std::istringstream console_in;
  std::ostringstream console_out;
  Units io{console_in, console_out};
  SkmState s;
  PdeProblem& p;
  int NCOMP, NPTS, NEQ = 0, IBAND = 0, IFAIL = 0;
  std::vector<double> Y, YPRIME, DELTA, RPAR;

  struct Grid {
    double tau = 0.0, kappa = 0.0, alpha = 1.0;
    int M = 0;
  };

  Harness(PdeProblem& problem, int ncomp, int npts, double xleft, double xright, Grid g)
      : p(problem), NCOMP(ncomp), NPTS(npts) {
    const int neq = (ncomp + 1) * npts;
    Y.assign(static_cast<std::size_t>(neq), 0.0);
    YPRIME.assign(Y.size(), 0.0);
    DELTA.assign(Y.size(), 0.0);
    const int lenwk = skm_workspace_length(neq, ncomp);
    RPAR.assign(static_cast<std::size_t>(lenwk), 0.0);
    SETSKM(io, s, p, NEQ, NCOMP, NPTS, xleft, xright, g.tau, g.kappa, g.alpha, Y.data(),
           RPAR.data(), lenwk, g.M, 0.0, IBAND, IFAIL);
  }
  Harness(PdeProblem& problem, int ncomp, int npts, double xleft, double xright)
      : Harness(problem, ncomp, npts, xleft, xright, Grid{}) {}

  int NVAR() const { return NCOMP + 1; }
  double& y(int k, int n) { return Y[skm_at(NVAR(), k, n)]; }
  double& yp(int k, int n) { return YPRIME[skm_at(NVAR(), k, n)]; }
  double& x(int n) { return y(NVAR(), n); }
  double& xdot(int n) { return yp(NVAR(), n); }
  double res(int k, int n) const { return DELTA[skm_at(NCOMP + 1, k, n)]; }

  // Evaluates the residual at T; returns IRES (which enters as `ires`).
  int residual(double T = 0.0, int ires = 0) {
    SKMRES(io, s, p, NEQ, T, Y.data(), YPRIME.data(), DELTA.data(), ires, RPAR.data(),
           static_cast<int>(RPAR.size()));
    return ires;
  }
  std::string console() const { return console_out.str(); }
};

}  // namespace qz5::testing
