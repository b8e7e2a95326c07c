// The mass budget of every constituent over the reach.
//
// In file units the model solves, for each constituent,
//   A dc/dtau = -dF/dX + A RX + SL,   F = QL c - A D dc/dX,
// so the mass in the reach, the integral of A c dX, changes by what the flux
// F carries in at the first end and out at the second, plus the lateral load
// (the integral of SL) and the net reaction (the integral of A RX).
//
// The budget is computed the way the discretisation balances its cells, so
// that it closes to the accuracy of the integration rather than to that of an
// independent quadrature:
// - mass: each interval holds its length times the area at its midpoint
//   times the mean of its two points' values - the capacity weights of the
//   scheme's two half cells;
// - lateral load and reaction: each interval contributes its length times SL
//   and A RX at its midpoint, from the mean values, as the scheme's sources;
// - the flux through an end is the one the scheme's end row holds: the flux
//   at the end interval's midpoint corrected by the balance of the half cell
//   between that midpoint and the end (its sources and its change of mass).
//   Whether the end imposes a flux (the inflow end, a free outflow) or a
//   concentration (a fixed outflow), this is the flux the scheme lets through.
//   Its advective part is the flow at the end times the end's concentration;
//   the dispersive part is the rest.
// Time integrals run over the samples the observer sees (every accepted step
// and every output time), with the polynomial of the integrator's order
// through the newest samples over each stretch (BudgetAccumulator): the
// rates' integrals, and the change of the half cells' mass as the integral
// of the capacity weight times the rate of change of the end value.
//
// On a moving grid the scheme does not conserve this mass exactly: it takes
// a point's rate of change at a fixed position as du/dt - (dx/dt) * slope,
// with the slope from its two neighbours, and that differs from the rate of
// change of the quadrature above by terms of order h^2 times the grid speed
// (they cancel exactly for a constant area). The budget reports that share of
// the change on its own (moving_grid): the change of the mass due to the
// moving lengths and areas, sum of d(hA) times the mean values, plus the
// scheme's correction, sum of the slope terms times dx. What then remains of
// the closing error is the error of the time integration.
#pragma once

#include <array>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "input/inputs.h"
#include "engine/run_state.h"
#include "model/model_query.h"
#include "model/channel.h"
#include "model/reaction_kinetics.h"
#include "results/run_record.h"
#include "results/step_quadrature.h"
#include "textio/textio.h"

namespace qz5::results {

// What the budget needs of one snapshot: per constituent (index k-1).
struct BudgetRates {
  double t = 0.0;                       // days
  double w_left = 0.0, w_right = 0.0;   // capacity weights of the end half cells
  std::vector<double> mass;             // integral of A c dX
  std::vector<double> flux_first;       // F at the first interval's midpoint
  std::vector<double> flux_last;        // F at the last interval's midpoint
  std::vector<double> source_left;      // (A RX + SL) times the left end's half cell
  std::vector<double> source_right;     // the same for the right end's half cell
  std::vector<double> advective_left;   // QL c at the first end
  std::vector<double> advective_right;  // QL c at the second end
  std::vector<double> c_left, c_right;  // end values
  std::vector<double> load;             // integral of SL dX
  // What the inputs specify between the ends: the sum over the inputs of
  // their concentration times the part of their flow that switches on inside
  // the reach, q (sigma(k (X_R - x)) - sigma(k (X_L - x))), sigma the
  // logistic, times the flow driver. The scheme delivers `load`, its
  // midpoint sampling of the same switch-ons.
  std::vector<double> load_specified;
  std::vector<double> reaction;         // integral of A RX dX
  // For the moving grid's share of the change: per interval i its length
  // times its area (hA[i]) and its mean values (cmean[i*ncomp + k-1]); per
  // point n its position and its capacity weight times the slope the scheme
  // takes there, ((hA[n-1] + hA[n]) / 2) * (c[n+1] - c[n-1]) / (x[n+1] -
  // x[n-1]) (slope_weight[n*ncomp + k-1]; 0 at the ends, which do not move).
  std::vector<double> hA, cmean, x, slope_weight;
  // Per constituent: 1 when it is transported; one that is not has no flux
  // through the ends, no load and no transport terms at all.
  std::vector<char> moves;
  void resize(int ncomp, int npts);
};

// sigma(b) - sigma(a) for the logistic sigma(z) = 1 / (1 + exp(-z)), a <= b:
// the share of an input's flow that switches on between two positions a/k
// and b/k from the input.
double switched_on_between(double a, double b);

// The budget's rates of a snapshot, from the coefficients the model's
// residual takes (RunContext::model): the run's console and look-up
// positions are untouched.
class BudgetProbe {
 public:
  BudgetProbe(const RunContext& ctx);
  ~BudgetProbe();
  BudgetProbe(const BudgetProbe&) = delete;
  BudgetProbe& operator=(const BudgetProbe&) = delete;

  // Fills `r` from the snapshot (the run state, in model units, gives the
  // midpoint values the residual takes). A look-up that stops (a time outside the
  // driver's data) throws qz5::Stop, as it does in the run.
  void evaluate(const Snapshot& s, BudgetRates& r);

 private:
  // r.load_specified at time t (days): the inputs' concentrations and the
  // flow driver there, from look-ups of the probe's own.
  void specify_load(double t, double x_left, double x_right, BudgetRates& r);

  const Inputs& ms_;
  const RunState& state_;   // the solution the snapshot shows, in model units
  const ModelQuery& model_;  // the residual's coefficients
  std::vector<char> moves_;  // per constituent: 1 when it moves with the water
  std::vector<double> u_, ux_;
  struct Lookups;
  std::unique_ptr<Lookups> lookups_;
};

// Integrates the rates over an output interval.
//
// Over each stretch between two samples the rates are replaced by their
// polynomial through the newest samples, as many as the integrator's step
// that ended there used mesh points (its order plus one; StepQuadrature).
// The integrator's solution is such a polynomial over each step, so the
// quadrature is of the scheme's own order: what remains of the closing
// error is the scheme's balance defect, not the budget's. (With the
// trapezoid rule the closing error of a smooth run at tight tolerances was
// mostly the rule's own error, thousands of times the scheme's.) The samples
// before an interval's start still shape its first stretches.
class BudgetAccumulator {
 public:
  explicit BudgetAccumulator(int ncomp) : ncomp_(ncomp) {}
  // Starts the first interval at the run's first sample.
  void start(const BudgetRates& r);
  // Starts the next interval at the last sample added.
  void begin_interval();
  // Adds the stretch from the previous sample to this one. `order` is the
  // order of the integrator's step that ended at the sample; 0 (an output
  // time inside a step) keeps the last order given. A sample at the time of
  // the previous one (a step that ends on an output time, reported twice)
  // replaces it.
  void add(const BudgetRates& r, int order = 0);
  // The terms of constituent k (1-based) since the interval began, in
  // kBudgetTermNames order, ending at the last sample added.
  std::array<double, kBudgetTerms> terms(int k) const;
  double t_start() const { return t_start_; }
  double t_end() const { return newest().t; }

 private:
  static constexpr int kHistory = StepQuadrature::kMaxNodes;
  // Node i of the current stretch's polynomial, oldest first.
  const BudgetRates& node(int i) const { return *nodes_[static_cast<std::size_t>(i)]; }
  const BudgetRates& newest() const { return history_[static_cast<std::size_t>(newest_)]; }
  void integrate_stretch();
  void add_moving_grid();

  int ncomp_;
  double t_start_ = 0.0;
  BudgetRates first_;
  std::array<BudgetRates, kHistory> history_;
  int count_ = 0, newest_ = 0, order_ = 1;
  StepQuadrature q_;
  std::array<const BudgetRates*, kHistory> nodes_{};
  // Per constituent: integrals of the fluxes at the end intervals' midpoints,
  // of the end half cells' sources and mass changes, of the end advective
  // fluxes, of the load and of the reaction.
  std::vector<double> flux_first_, flux_last_, source_left_, source_right_, store_left_,
      store_right_, advective_left_, advective_right_, load_, reaction_, moving_grid_,
      load_specified_;
};

}  // namespace qz5::results
