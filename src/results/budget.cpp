#include "results/budget.h"

#include <algorithm>
#include <cstddef>
#include <istream>
#include <ostream>
#include <sstream>
#include <streambuf>

#include "model/estuary_model.h"
#include "model/kinetics.h"

namespace qz5::results {
namespace {

std::size_t at(int k) { return static_cast<std::size_t>(k); }

}  // namespace

void BudgetRates::resize(int ncomp, int npts) {
  const std::size_t n = at(ncomp);
  for (std::vector<double>* v :
       {&mass, &flux_first, &flux_last, &source_left, &source_right, &advective_left,
        &advective_right, &c_left, &c_right, &load, &reaction})
    v->assign(n, 0.0);
  const std::size_t intervals = at(std::max(npts - 1, 0));
  hA.assign(intervals, 0.0);
  cmean.assign(intervals * n, 0.0);
  x.assign(at(npts), 0.0);
  slope_weight.assign(at(npts) * n, 0.0);
}

BudgetProbe::BudgetProbe(const RunContext& ctx)
    : ms_(ctx.ms), state_(ctx.state), model_(ctx.model) {
  const int n = std::max(ms_.NCOMP, 1);
  u_.assign(at(n), 0.0);
  ux_.assign(at(n), 0.0);
}

BudgetProbe::~BudgetProbe() = default;

void BudgetProbe::evaluate(const Snapshot& s, BudgetRates& r) {
  const int nc = s.ncomp;
  const int nvar = nc + 1;
  r.resize(nc, s.npts);
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
    r.advective_left[at(k)] = q_left * c0[k];
    r.advective_right[at(k)] = q_right * cn[k];
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
    model_.coefficients(T, xm, u_.data(), ux_.data(), co);
    const double A = co.area;
    const double D = co.dispersion;
    const double QL = co.flow;

    const double* ca = s.c + static_cast<std::ptrdiff_t>(i) * nc;
    const double* cb = ca + nc;
    const double half = 0.5 * h;
    for (int k = 0; k < nc; ++k) {
      const double cmean = 0.5 * (ca[k] + cb[k]);
      const double reaction = A * co.reaction[at(k)];
      const double load = co.lateral[at(k)];
      r.mass[at(k)] += h * A * cmean;
      r.cmean[at(i) * at(nc) + at(k)] = cmean;
      r.load[at(k)] += h * load;
      r.reaction[at(k)] += h * reaction;
      if (i == 0 || i + 2 == s.npts) {
        const double F = QL * cmean - A * D * ((cb[k] - ca[k]) / h);
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

void BudgetAccumulator::start(const BudgetRates& r) {
  first_ = r;
  prev_ = r;
  t_start_ = r.t;
  for (std::vector<double>* v :
       {&flux_first_, &flux_last_, &source_left_, &source_right_, &store_left_, &store_right_,
        &advective_left_, &advective_right_, &load_, &reaction_, &moving_grid_})
    v->assign(at(ncomp_), 0.0);
}

void BudgetAccumulator::add(const BudgetRates& r) {
  const double half_dt = 0.5 * (r.t - prev_.t);
  const double w_left = 0.5 * (r.w_left + prev_.w_left);
  const double w_right = 0.5 * (r.w_right + prev_.w_right);
  auto trapezoid = [&](std::vector<double>& sum, const std::vector<double>& now,
                       const std::vector<double>& before,
                       std::size_t k) { sum[k] += half_dt * (now[k] + before[k]); };
  for (std::size_t k = 0; k < at(ncomp_); ++k) {
    trapezoid(flux_first_, r.flux_first, prev_.flux_first, k);
    trapezoid(flux_last_, r.flux_last, prev_.flux_last, k);
    trapezoid(source_left_, r.source_left, prev_.source_left, k);
    trapezoid(source_right_, r.source_right, prev_.source_right, k);
    trapezoid(advective_left_, r.advective_left, prev_.advective_left, k);
    trapezoid(advective_right_, r.advective_right, prev_.advective_right, k);
    trapezoid(load_, r.load, prev_.load, k);
    trapezoid(reaction_, r.reaction, prev_.reaction, k);
    store_left_[k] += w_left * (r.c_left[k] - prev_.c_left[k]);
    store_right_[k] += w_right * (r.c_right[k] - prev_.c_right[k]);
  }
  add_moving_grid(r);
  prev_ = r;
}

void BudgetAccumulator::add_moving_grid(const BudgetRates& r) {
  // Both samples must be on the same grid size; the mass functional is
  // bilinear in hA and the mean values, so its change splits exactly into a
  // d(hA) part and a d(cmean) part, each with the other factor averaged.
  if (r.hA.size() != prev_.hA.size()) return;
  const std::size_t nc = at(ncomp_);
  for (std::size_t i = 0; i < r.hA.size(); ++i) {
    const double dhA = r.hA[i] - prev_.hA[i];
    for (std::size_t k = 0; k < nc; ++k)
      moving_grid_[k] += dhA * (0.5 * (r.cmean[i * nc + k] + prev_.cmean[i * nc + k]));
  }
  for (std::size_t n = 1; n + 1 < r.x.size(); ++n) {
    const double dx = r.x[n] - prev_.x[n];
    for (std::size_t k = 0; k < nc; ++k)
      moving_grid_[k] += (0.5 * (r.slope_weight[n * nc + k] + prev_.slope_weight[n * nc + k])) * dx;
  }
}

std::array<double, kBudgetTerms> BudgetAccumulator::terms(int k) const {
  const std::size_t j = at(k - 1);
  std::array<double, kBudgetTerms> t{};
  t[kMassStart] = first_.mass[j];
  t[kMassEnd] = prev_.mass[j];
  t[kChange] = prev_.mass[j] - first_.mass[j];
  // The end half cells' balances: what crossed the end is what crossed the
  // midpoint, less (left) or plus (right) what the half cell gained from its
  // sources, plus (left) or less (right) what it stored.
  const double in_left = flux_first_[j] - source_left_[j] + store_left_[j];
  const double out_right = flux_last_[j] + source_right_[j] - store_right_[j];
  t[kInLeftAdvective] = advective_left_[j];
  t[kInLeftDispersive] = in_left - advective_left_[j];
  t[kOutRightAdvective] = advective_right_[j];
  t[kOutRightDispersive] = out_right - advective_right_[j];
  t[kLateralLoad] = load_[j];
  t[kReaction] = reaction_[j];
  t[kClosingError] = t[kChange] - (in_left - out_right + load_[j] + reaction_[j]);
  t[kMovingGrid] = moving_grid_[j];
  return t;
}

}  // namespace qz5::results
