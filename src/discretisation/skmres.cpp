// Residual of the moving-grid discretisation.
//
// The residual is built in two halves in the solution layout: DELTA takes the
// terms with time derivatives, FSPART (the head of the workspace) the flux
// and source terms; the result is DELTA - FSPART.
#include <cassert>
#include <cstddef>

#include "discretisation/skm.h"
#include "discretisation/skm_kernels.h"

namespace qz5 {

namespace {

constexpr std::string_view kNotSetUpText =
    "ERROR IN SKLMRES ROUTINE - THE SETUP ROUTINE SETSKM WAS NOT CALLED PRIOR TO SPRINT ENTRY";
constexpr std::string_view kNonMonotoneFormat =
    "(30H SKMRES - NON-MONOTONOUS GRID,,                                "
    "22H VALUES OF GRID POINTS, I3,1H,,I3,                              "
    "4H ARE, E13.5,1H1,E13.5)";

// Whether x[0], x[stride], ... x[pairs * stride] increase strictly (false at
// a NaN): each position loaded once and held for the next comparison.
bool strictly_increasing(const double* x, std::ptrdiff_t stride, int pairs) {
  double prev = x[0];
#pragma GCC unroll 2
  for (int j = 1; j <= pairs; ++j) {
    x += stride;
    const double next = *x;
    if (!(next > prev)) return false;
    prev = next;
  }
  return true;
}

// Reports every pair of neighbouring points (1-based numbers) that is not
// strictly increasing, NaN included, and sets IRES = 3 if there is one. The
// grid nearly always is; the reporting loop only runs when it is not.
void check_grid(Units& io, const SkmState& s, int NEQ, const double* Y, int& IRES) {
  const int nvar = s.NVAR;
  const int pairs = (NEQ - nvar) / nvar;
  if (strictly_increasing(Y + skm_at(nvar, nvar, 0), nvar, pairs)) return;
  for (int j = 1; j <= pairs; ++j) {
    const double xj = Y[skm_at(nvar, nvar, j - 1)];
    const double xj1 = Y[skm_at(nvar, nvar, j)];
    if (!(xj1 > xj)) {
      io.write_formatted(s.LUNSKM, kNonMonotoneFormat, {j, j + 1, xj, xj1});
      IRES = 3;
    }
  }
}

// DELTA := DELTA - FSPART, two elements per register (the same difference
// per element; the two are separate arrays of the workspace and the caller),
// four registers a trip.
void subtract_fspart(int NEQ, const double* FSPART, double* DELTA) {
  typedef double Lanes __attribute__((vector_size(16), aligned(8)));
  int i = 0;
#pragma GCC unroll 4
  for (; i + 2 <= NEQ; i += 2) {
    Lanes& d = *reinterpret_cast<Lanes*>(DELTA + i);
    d = d - *reinterpret_cast<const Lanes*>(FSPART + i);
  }
  if (i < NEQ) DELTA[i] = DELTA[i] - FSPART[i];
}

}  // namespace

void SKMRES(Units& io, const SkmState& s, PdeProblem& p, int NEQ, double T, const double* Y,
            const double* YPRIME, double* DELTA, int& IRES, double* RPAR, int LENWK) {
  if (!s.is_set_up()) {
    // LUNSKM is still 0 here: the set-up never ran. Say so on the console.
    io.write_list(s.LUNSKM != 0 ? s.LUNSKM : kUnitConsoleOut, {kNotSetUpText});
    IRES = 2;
    return;
  }
  check_grid(io, s, NEQ, Y, IRES);

  const int ncomp = s.NVAR - 1;
  assert(LENWK >= skm_workspace_length(NEQ, ncomp));
  (void)LENWK;
  double* FSPART = RPAR;
  double* U = RPAR + NEQ;
  double* UX = U + ncomp;
  double* BETA = UX + ncomp;
  double* GAMMA = BETA + ncomp;
  double* R = GAMMA + ncomp;
  double* Q = R + ncomp;
  double* C = Q + ncomp;

  // Also when the grid check failed: the pass then stops after the left
  // boundary call, since IRES is already 3.
  const bool difference = SKM_ASSEMBLE(p, T, Y, YPRIME, ncomp, s.NINNER, s.M, s.AT_ORIGIN, U, UX,
                                       BETA, GAMMA, R, Q, C, DELTA, FSPART, IRES);
  if (IRES >= 3) return;
  // The grouped assembly has formed the concentration rows' difference as it
  // went; the grid rows then form theirs too.
  assert(!(difference && IRES == -1));
  GRID_EQUATIONS(s, Y, YPRIME, s.NVAR, s.NINNER, DELTA, FSPART, difference);
  if (IRES >= 3 || IRES == -1 || difference) return;
  subtract_fspart(NEQ, FSPART, DELTA);
}

}  // namespace qz5
