// The DAE time integrator.
//
// DDASSL integrates an implicit system G(t, y, y') = 0 of NEQ equations from T
// towards TOUT with variable-order (1..5), variable-step backward
// differentiation formulas and a modified Newton corrector whose iteration
// matrix dG/dy + c dG/dy' is formed by finite differences of the residual (or
// by the caller's JAC) and factored in banded form. It knows nothing of the
// model: it sees only the residual call-back.
//
// Everything that must survive between calls lives in the caller's RWORK and
// IWORK (layout in work_layout.h), so the caller passes the same arrays back
// unchanged from call to call. All arrays are pointers to element 1 of the
// classic 1-based arrays: INFO has 15 entries, INFO[0] being INFO(1).
// Errors are reported through IDID and framed reports on unit 6 (XERMSG);
// a repeated call after an unhandled error is fatal and throws qz5::Stop.
// Nothing is allocated while stepping.
#pragma once

#include <array>
#include <functional>

#include "integrator/work_layout.h"
#include "textio/textio.h"

namespace qz5 {

// Residual: stores G(t, y, yprime) in delta (NEQ reals). ires is 0 on entry;
// set it to -1 to reject the point (the step is reduced and retried) or -2 to
// give up (DDASSL returns IDID = -11).
using ResidualFn = std::function<void(double t, double* y, double* yprime, double* delta,
                                      int& ires, double* rpar, int* ipar)>;
// Iteration matrix from the caller (INFO(5) = 1): stores dG/dy + cj dG/dy' in
// pd (zeroed before the call), dense by columns or in band storage.
using JacobianFn = std::function<void(double t, double* y, double* yprime, double* pd, double cj,
                                      double* rpar, int* ipar)>;

// What the caller knows of the dependence pattern of a banded system whose
// unknowns come in blocks of `block` (one block per grid point, say): the
// residual rows that unknown c (1..block) of block p can change all lie in
// blocks p - reach[c-1] .. p + reach[c-1] (and within the band). The banded
// difference quotients then need fewer residual evaluations: columns of one
// unknown c whose blocks are 2 reach + 1 apart change disjoint rows, so one
// evaluation gives all of them. The matrix is the same, entry for entry, as
// with the plain grouping by the bandwidth. block = 0: nothing known.
struct BlockStructure {
  static constexpr int kMaxBlock = 16;
  int block = 0;
  std::array<int, kMaxBlock> reach{};
  // Unknown c (1..block) is a coordinate along the blocks (a grid point's
  // position): its difference increment is sqrt(roundoff) times the smaller
  // of its distances to its neighbours' values (or |H YPRIME| or its weight,
  // when larger) instead of its magnitude. The residual bends on the scale of
  // that distance; an increment set by the magnitude (the distance from the
  // coordinates' origin) makes the forward quotient's truncation error
  // |increment|/distance, which ill-conditioned rows amplify. Applies where
  // the block groups are used (they save evaluations; otherwise the plain
  // grouping keeps the method's increments). Off by default: the
  // increments of the integration method as they stand.
  std::array<bool, kMaxBlock> spacing_increment{};
  // Unknown c takes no part in the local error test and the order selection
  // (the norms of the error estimates run over the other unknowns, as a
  // root mean square of those alone), as modern DAE codes offer for
  // algebraic-like unknowns: a grid position's error matters only through
  // the values it carries. It still takes part in the corrector's
  // convergence test. Off by default.
  std::array<bool, kMaxBlock> no_error_test{};
};

// How INFO(10) = 1 keeps the solution non-negative.
enum class NonNegative {
  // A negative part of the corrected solution up to a third of the error
  // weights (root-mean-square) enters the history, not the returned values;
  // a larger one counts as a corrector failure: the step is cut to a quarter
  // and the matrix formed again. Where the semi-discrete solution itself
  // dips below zero (a coarse grid under a steep foot) this makes the steps
  // crawl.
  kClip,
  // A negative part within the error weights (norm at most 1) is projected
  // away: the returned values and the history are set to zero there, and
  // the error estimate is that of the step itself. A larger one rejects the
  // step like a failed error test, shrinking it in proportion (0.25 to 0.9)
  // and keeping the matrix when it can.
  kProject,
};

class Integrator {
 public:
  // io: unit table for the framed reports (unit 6). unit_roundoff: the
  // relative machine precision the integrator works with.
  Integrator(Units& io, double unit_roundoff) : io_(io), unit_roundoff_(unit_roundoff) {}

  // One call: advances from T towards TOUT under the options in INFO and
  // returns with IDID 1 (one step, INFO(3) = 1), 2 (TSTOP reached), 3 (TOUT
  // reached), -1..-12 (integration failure, values at the last mesh point)
  // or -33 (illegal input, nothing changed but INFO(1)). INFO(1) is 1 after a
  // successful return and -1 after any error; calling again with INFO(1) = -1
  // prints a fatal report and throws qz5::Stop.
  void DDASSL(const ResidualFn& RES, int NEQ, double& T, double* Y, double* YPRIME, double& TOUT,
              int* INFO, double* RTOL, double* ATOL, int& IDID, double* RWORK, int LRW,
              int* IWORK, int LIW, double* RPAR, int* IPAR, const JacobianFn& JAC);

  // Declares the dependence pattern for the banded difference quotients
  // (used when it saves residual evaluations; ignored otherwise).
  void set_block_structure(const BlockStructure& s) { structure_ = s; }
  // The treatment of INFO(10) = 1 (kClip unless set).
  void set_nonnegative(NonNegative n) { nonnegative_ = n; }
  NonNegative nonnegative() const { return nonnegative_; }
  const BlockStructure& block_structure() const { return structure_; }

  // The unit roundoff; the argument is ignored (the integrator passes 4).
  double MACHINE_CONSTANT(int I) const;

 private:
  Units& io_;
  double unit_roundoff_;
  BlockStructure structure_{};
  NonNegative nonnegative_ = NonNegative::kClip;
};

}  // namespace qz5
