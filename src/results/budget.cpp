#include "results/budget.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <istream>
#include <ostream>
#include <sstream>
#include <streambuf>

#include "model/estuary_model.h"
#include "model/kinetics.h"

namespace qz5::results {
namespace {

constexpr int kDriverFlow = 1;  // the variable driver that scales the lateral flows

std::size_t at(int k) { return static_cast<std::size_t>(k); }

}  // namespace

// sigma(b) - sigma(a) for the logistic sigma(z) = 1 / (1 + exp(-z)), a <= b,
// without the cancellation of the difference: with E = exp(-a) and
// d = b - a it is E (1 - exp(-d)) / ((1 + E)(1 + E exp(-d))), taken on the
// side of zero where exp(-b) stays below one. As in the look-up, the
// arguments are clamped to [-300, 300], which keeps the exponentials finite.
double switched_on_between(double a, double b) {
  a = std::clamp(a, -300.0, 300.0);
  b = std::clamp(b, -300.0, 300.0);
  if (a + b < 0.0) return switched_on_between(-b, -a);
  const double ea = std::exp(-a);
  const double eb = std::exp(-b);
  return ea * -std::expm1(a - b) / ((1.0 + ea) * (1.0 + eb));
}

// The specified load's look-ups: positions of their own in the series and a
// console whose lines (warnings the run has written already) are dropped.
struct BudgetProbe::Lookups {
  explicit Lookups(const Inputs& ms) : pos(ms.load_best) {}
  std::istringstream in;
  std::ostringstream out;
  Units io{in, out};
  SeriesPositions pos;
  std::array<double, kMaxNcomp> sl{};
};

void BudgetRates::resize(int ncomp, int npts) {
  const std::size_t n = at(ncomp);
  for (std::vector<double>* v :
       {&mass, &flux_first, &flux_last, &source_left, &source_right, &advective_left,
        &advective_right, &c_left, &c_right, &load, &reaction, &load_specified})
    v->assign(n, 0.0);
  const std::size_t intervals = at(std::max(npts - 1, 0));
  hA.assign(intervals, 0.0);
  cmean.assign(intervals * n, 0.0);
  x.assign(at(npts), 0.0);
  slope_weight.assign(at(npts) * n, 0.0);
  moves.assign(n, 1);
}

BudgetProbe::BudgetProbe(const RunContext& ctx)
    : ms_(ctx.ms), state_(ctx.state), model_(ctx.model),
      lookups_(std::make_unique<Lookups>(ctx.ms)) {
  const int n = std::max(ms_.NCOMP, 1);
  for (int k = 1; k <= ms_.NCOMP; ++k) moves_.push_back(model_.transported(k) ? 1 : 0);
  u_.assign(at(n), 0.0);
  ux_.assign(at(n), 0.0);
}

BudgetProbe::~BudgetProbe() = default;

void BudgetProbe::evaluate(const Snapshot& s, BudgetRates& r) {
  const int nc = s.ncomp;
  const int nvar = nc + 1;
  r.resize(nc, s.npts);
  for (int k = 0; k < nc && at(k) < moves_.size(); ++k) r.moves[at(k)] = moves_[at(k)];
  r.t = s.t;
  const double T = state_.T;  // the model time of the snapshot
  const double* y = state_.Y.data();

  // The ends' flows, where the boundary routine takes them.
  const double q_left = model_.flow_at(T, ms_.XBND(1));
  const double q_right = model_.flow_at(T, ms_.XBND(2));
  const double* c0 = s.c;
  const double* cn = s.c + static_cast<std::ptrdiff_t>(s.npts - 1) * nc;
  for (int k = 0; k < nc; ++k) {
    r.c_left[at(k)] = c0[k];
    r.c_right[at(k)] = cn[k];
    r.advective_left[at(k)] = r.moves[at(k)] != 0 ? q_left * c0[k] : 0.0;
    r.advective_right[at(k)] = r.moves[at(k)] != 0 ? q_right * cn[k] : 0.0;
  }

  Coefficients co;
  for (int i = 0; i + 1 < s.npts; ++i) {
    const double xa = s.x[i], xb = s.x[i + 1];
    const double h = xb - xa;
    // The residual's values at the interval's midpoint, in model units.
    const double* ya = y + static_cast<std::ptrdiff_t>(i) * nvar;
    const double* yb = ya + nvar;
    const double xm = 0.5 * (ya[nc] + yb[nc]);
    for (int k = 0; k < nc; ++k) {
      u_[at(k)] = 0.5 * (ya[k] + yb[k]);
      ux_[at(k)] = (yb[k] - ya[k]) / (yb[nc] - ya[nc]);
    }
    model_.coefficients_over(T, xm, ya[nc], yb[nc], u_.data(), ux_.data(), co);
    const double A = co.area;
    const double D = co.dispersion;
    const double QL = co.flow;

    const double* ca = s.c + static_cast<std::ptrdiff_t>(i) * nc;
    const double* cb = ca + nc;
    const double half = 0.5 * h;
    for (int k = 0; k < nc; ++k) {
      const double cmean = 0.5 * (ca[k] + cb[k]);
      const bool moves = r.moves[at(k)] != 0;
      const double reaction = A * co.reaction[at(k)];
      const double load = co.lateral[at(k)];
      r.mass[at(k)] += h * A * cmean;
      r.cmean[at(i) * at(nc) + at(k)] = cmean;
      r.load[at(k)] += h * load;
      r.reaction[at(k)] += h * reaction;
      if (i == 0 || i + 2 == s.npts) {
        const double F = moves ? QL * cmean - A * D * ((cb[k] - ca[k]) / h) : 0.0;
        const double source = half * (reaction + load);
        if (i == 0) {
          r.flux_first[at(k)] = F;
          r.source_left[at(k)] = source;
        }
        if (i + 2 == s.npts) {
          r.flux_last[at(k)] = F;
          r.source_right[at(k)] = source;
        }
      }
    }
    if (i == 0) r.w_left = half * A;
    if (i + 2 == s.npts) r.w_right = half * A;
    r.hA[at(i)] = h * A;
  }

  specify_load(s.t, s.x[0], s.x[s.npts - 1], r);
  for (int n = 0; n < s.npts; ++n) r.x[at(n)] = s.x[n];
  for (int n = 1; n + 1 < s.npts; ++n) {
    const double w = 0.5 * (r.hA[at(n - 1)] + r.hA[at(n)]);
    const double* cl = s.c + static_cast<std::ptrdiff_t>(n - 1) * nc;
    const double* cr = cl + 2 * nc;
    const double dx = s.x[n + 1] - s.x[n - 1];
    for (int k = 0; k < nc; ++k)
      r.slope_weight[at(n) * at(nc) + at(k)] = w * ((cr[k] - cl[k]) / dx);
  }
}

void BudgetProbe::specify_load(double t, double x_left, double x_right, BudgetRates& r) {
  Lookups& q = *lookups_;
  q.out.str("");
  double S = 0.0, QL = 0.0;
  ms_.var_drv.lookup(q.io, t, S, kDriverFlow, q.pos.ilast_drv(kDriverFlow));
  const LoadBest& lb = ms_.load_best;
  lb.lookup(q.io, ms_, q.pos, t, x_left, S, QL, q.sl.data());  // the concentrations at t
  for (int l = 1; l <= lb.nlat; ++l) {
    const double inside =
        switched_on_between(lb.k_lat * (x_left - lb.x_lat(l)), lb.k_lat * (x_right - lb.x_lat(l)));
    const double flow = S * lb.q_lat(l) * inside;
    for (std::size_t k = 0; k < r.load_specified.size(); ++k)
      r.load_specified[k] += q.pos.c_lat(static_cast<int>(k) + 1, l) * flow;
  }
}

void BudgetAccumulator::start(const BudgetRates& r) {
  history_[0] = r;
  newest_ = 0;
  count_ = 1;
  order_ = 1;
  begin_interval();
}

void BudgetAccumulator::begin_interval() {
  first_ = newest();
  t_start_ = first_.t;
  for (std::vector<double>* v :
       {&flux_first_, &flux_last_, &source_left_, &source_right_, &store_left_, &store_right_,
        &advective_left_, &advective_right_, &load_, &reaction_, &moving_grid_,
        &load_specified_})
    v->assign(at(ncomp_), 0.0);
}

void BudgetAccumulator::add(const BudgetRates& r, int order) {
  if (order > 0) order_ = std::min(order, kHistory - 1);
  if (r.t == newest().t) {
    history_[static_cast<std::size_t>(newest_)] = r;
    return;
  }
  newest_ = (newest_ + 1) % kHistory;
  history_[static_cast<std::size_t>(newest_)] = r;
  count_ = std::min(count_ + 1, kHistory);
  // The nodes: the newest order + 1 samples that are there.
  const int m = std::min(order_ + 1, count_);
  std::array<double, kHistory> t{};
  for (int i = 0; i < m; ++i) {
    nodes_[at(i)] = &history_[at((newest_ - (m - 1 - i) + kHistory) % kHistory)];
    t[at(i)] = nodes_[at(i)]->t;
  }
  q_.set(t.data(), m);
  integrate_stretch();
  add_moving_grid();
}

void BudgetAccumulator::integrate_stretch() {
  using Field = std::vector<double> BudgetRates::*;
  auto integrate = [this](std::vector<double>& sum, Field f, std::size_t k) {
    sum[k] += q_.integral([&](int i) { return (node(i).*f)[k]; });
  };
  for (std::size_t k = 0; k < at(ncomp_); ++k) {
    integrate(flux_first_, &BudgetRates::flux_first, k);
    integrate(flux_last_, &BudgetRates::flux_last, k);
    integrate(source_left_, &BudgetRates::source_left, k);
    integrate(source_right_, &BudgetRates::source_right, k);
    integrate(advective_left_, &BudgetRates::advective_left, k);
    integrate(advective_right_, &BudgetRates::advective_right, k);
    integrate(load_, &BudgetRates::load, k);
    integrate(load_specified_, &BudgetRates::load_specified, k);
    integrate(reaction_, &BudgetRates::reaction, k);
    store_left_[k] += q_.stieltjes([&](int i) { return node(i).w_left; },
                                   [&](int i) { return node(i).c_left[k]; });
    store_right_[k] += q_.stieltjes([&](int i) { return node(i).w_right; },
                                    [&](int i) { return node(i).c_right[k]; });
  }
}

void BudgetAccumulator::add_moving_grid() {
  // Every node must be on the same grid size. The mass functional is
  // bilinear in hA and the mean values, and so is the polynomials' product
  // rule: its change splits exactly into a d(hA) part and a d(cmean) part.
  const std::size_t intervals = newest().hA.size();
  const int m = q_.nodes();
  for (int i = 0; i < m; ++i)
    if (node(i).hA.size() != intervals) return;
  const std::size_t nc = at(ncomp_);
  // Each capacity's slope weights once, then every constituent's values.
  auto add = [&](const StepQuadrature::Nodes& sw, const std::vector<double> BudgetRates::*values,
                 std::size_t first) {
    for (std::size_t k = 0; k < nc; ++k) {
      double s = 0.0;
      for (int j = 0; j < m; ++j) s += (node(j).*values)[first + k] * sw[at(j)];
      moving_grid_[k] += s;
    }
  };
  for (std::size_t i = 0; i < intervals; ++i)
    add(q_.slope_weights([&](int j) { return node(j).hA[i]; }), &BudgetRates::cmean, i * nc);
  for (std::size_t n = 1; n + 1 < newest().x.size(); ++n)
    add(q_.slope_weights([&](int j) { return node(j).x[n]; }), &BudgetRates::slope_weight,
        n * nc);
}

std::array<double, kBudgetTerms> BudgetAccumulator::terms(int k) const {
  const std::size_t j = at(k - 1);
  std::array<double, kBudgetTerms> t{};
  t[kMassStart] = first_.mass[j];
  t[kMassEnd] = newest().mass[j];
  t[kChange] = newest().mass[j] - first_.mass[j];
  // The end half cells' balances: what crossed the end is what crossed the
  // midpoint, less (left) or plus (right) what the half cell gained from its
  // sources, plus (left) or less (right) what it stored.
  // A constituent that does not move crosses neither end.
  const bool moves = newest().moves.empty() || newest().moves[j] != 0;
  const double in_left = moves ? flux_first_[j] - source_left_[j] + store_left_[j] : 0.0;
  const double out_right = moves ? flux_last_[j] + source_right_[j] - store_right_[j] : 0.0;
  t[kInLeftAdvective] = advective_left_[j];
  t[kInLeftDispersive] = in_left - advective_left_[j];
  t[kOutRightAdvective] = advective_right_[j];
  t[kOutRightDispersive] = out_right - advective_right_[j];
  t[kLateralLoad] = load_[j];
  t[kReaction] = reaction_[j];
  t[kClosingError] = t[kChange] - (in_left - out_right + load_[j] + reaction_[j]);
  t[kMovingGrid] = moving_grid_[j];
  t[kLateralLoadSpecified] = load_specified_[j];
  return t;
}

}  // namespace qz5::results
