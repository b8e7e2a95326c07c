// The iteration matrix by differences against the analytic one, at states a
// run passes through: where they differ, by how much, and what that does to
// the corrector.
//
//   crawl_probe FOLDER T_FROM T_TO EVERY [--jacobian exact|differences]
//               [--position-tolerance RTOL,ATOL] [--max-steps N]
//               [--position-increments spacing]
//
// FOLDER holds run.fn (and run.geo for the slug, with its free outflow) as
// bench/work_precision.py writes them. After every step the probe also adds
// up how much of the step's error estimate the positions make. The run goes from the start to the end; after
// every EVERY-th accepted step between T_FROM and T_TO (days) the probe forms,
// at the accepted state with the step's H and leading coefficient CJ, the
// matrix the integrator would form by differences (each column perturbed on
// its own, with the integrator's increment: the same entries as its grouped
// columns) and the analytic matrix, and prints one line per state:
//   - the worst relative difference of the entries of each kind (rows:
//     transport or grid; columns: value or position), relative to the
//     analytic entry where it is not tiny, and the point where it lies;
//   - the position increments against the interval lengths at the free end;
//   - the contraction of the modified Newton iteration with the differenced
//     matrix where the analytic one is exact, || I - D^-1 A || by power
//     iteration in the integrator's weighted norm.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "discretisation/skm.h"
#include "discretisation/skm_kernels.h"
#include "engine/engine.h"
#include "engine/run_state.h"
#include "input/channel_geometry.h"
#include "integrator/work_layout.h"
#include "linalg/band.h"
#include "model/estuary_model.h"

namespace {

using qz5::skm_at;

struct Probe : qz5::Observer {
  Probe(const qz5::Scenario& s, double from, double to, int every)
      : scenario(s), from_day(from), to_day(to), every(every) {}

  void on_start(const qz5::RunContext& c, const qz5::Snapshot&) override { ctx = &c; }
  void on_step(const qz5::StepInfo& step, const qz5::Snapshot& snap) override {
    ++steps;
    split_error();
    if (snap.t < from_day || snap.t > to_day || (steps % every) != 0) return;
    compare(step, snap.t);
  }

  void compare(const qz5::StepInfo& step, double day);
  // The accepted step's corrections (its error estimate up to a constant)
  // split into the positions' and the values' sums of (E/WT)^2.
  void split_error() {
    const qz5::RunState& st = ctx->state;
    const int neq = st.NEQ, nvar = ctx->skm.NVAR;
    const double* RWORK = &st.RWORK(1);
    const double* E = RWORK + (qz5::kResidualVec - 1 + neq);
    const double* WT = RWORK + (qz5::kResidualVec - 1 + 2 * neq);
    double pos = 0.0, val = 0.0;
    for (int i = 0; i < neq; ++i) {
      const double q = (E[i] / WT[i]) * (E[i] / WT[i]);
      (i % nvar == nvar - 1 ? pos : val) += q;
    }
    // Root mean squares of each part, as the norm of either alone would be.
    const int npts = neq / nvar;
    const double rms_pos = std::sqrt(pos / npts), rms_val = std::sqrt(val / (neq - npts));
    share_sum += pos / (pos + val);
    if (rms_pos > rms_val) ++positions_larger;
    ratio_log_sum += std::log10(std::max(rms_pos, 1e-300) / std::max(rms_val, 1e-300));
  }
  double share_sum = 0.0, ratio_log_sum = 0.0;
  long positions_larger = 0;

  const qz5::Scenario& scenario;
  const qz5::RunContext* ctx = nullptr;
  double from_day, to_day;
  int every;
  bool spaced = false;
  long steps = 0;
};

double increment(double y, double yp, double wt, double H, double root_u) {
  const double hyp = H * yp;
  double inc = root_u * std::max({std::abs(y), std::abs(hyp), std::abs(wt)});
  inc = hyp >= 0.0 ? std::abs(inc) : -std::abs(inc);
  return (y + inc) - y;
}

void Probe::compare(const qz5::StepInfo& step, double day) {
  const qz5::RunState& st = ctx->state;
  const qz5::SkmState& skm = ctx->skm;
  const int neq = st.NEQ, nvar = skm.NVAR, npts = neq / nvar, band = 2 * nvar;
  const int lda = 3 * band + 1;
  std::vector<double> Y(&st.Y(1), &st.Y(1) + neq), YP(&st.YPRIME(1), &st.YPRIME(1) + neq);
  const double* RWORK = &st.RWORK(1);
  const double H = qz5::rwork_at(RWORK, qz5::kStepSize);
  const double CJ = qz5::rwork_at(RWORK, qz5::kLeadCoef);
  const double* WT = RWORK + (2 * neq + qz5::kResidualVec - 1);
  const double T = step.t_reached;
  std::ostringstream quiet_out;
  std::istringstream quiet_in;
  qz5::Units io(quiet_in, quiet_out);
  qz5::EstuaryModel model(io, ctx->ms, qz5::Channel(&scenario.geometry), scenario.outflow);
  std::vector<double> rpar(static_cast<std::size_t>(qz5::skm_workspace_length(neq, nvar - 1)));
  auto residual = [&](std::vector<double>& out) {
    int ires = 0;
    qz5::SKMRES(io, skm, model, neq, T, Y.data(), YP.data(), out.data(), ires, rpar.data(),
                static_cast<int>(rpar.size()));
    return ires;
  };
  std::vector<double> g0(neq), g1(neq);
  residual(g0);
  // Differences, column by column, with the integrator's increments.
  std::vector<double> D(static_cast<std::size_t>(lda * neq), 0.0), A(D.size(), 0.0);
  const double root_u = std::sqrt(skm.EPSMACH);
  std::vector<double> incs(neq);
  for (int J = 1; J <= neq; ++J) {
    const std::size_t j = static_cast<std::size_t>(J - 1);
    double inc = increment(Y[j], YP[j], WT[j], H, root_u);
    const int q = (J - 1) / nvar;
    if (spaced && (J - 1) % nvar == nvar - 1) {
      // The spacing increment of the integrator's option.
      const double left = q > 0 ? Y[j] - Y[j - nvar] : HUGE_VAL;
      const double right = q + 1 < npts ? Y[j + nvar] - Y[j] : HUGE_VAL;
      inc = increment(std::min(left, right), YP[j], WT[j], H, root_u);
      inc = (Y[j] + inc) - Y[j];
    }
    incs[j] = inc;
    const double y0 = Y[j], yp0 = YP[j];
    Y[j] += inc;
    YP[j] += CJ * inc;
    residual(g1);
    Y[j] = y0, YP[j] = yp0;
    for (int I = std::max(1, J - band); I <= std::min(neq, J + band); ++I)
      D[static_cast<std::size_t>((J - 1) * lda + I - J + 2 * band)] =
          (g1[static_cast<std::size_t>(I - 1)] - g0[static_cast<std::size_t>(I - 1)]) / inc;
  }
  int ires = 0;
  qz5::SKMJAC(skm, model, T, Y.data(), YP.data(), CJ, A.data(), ires);
  // Worst relative difference by kind: rows transport/grid x columns value/position.
  double worst[2][2] = {{0, 0}, {0, 0}};
  int where[2][2][2] = {};
  double end_worst = 0.0;
  for (int J = 1; J <= neq; ++J) {
    // Relative to the largest analytic entry of the column where tiny.
    double col = 0.0;
    for (int I = std::max(1, J - band); I <= std::min(neq, J + band); ++I)
      col = std::max(col, std::abs(A[static_cast<std::size_t>((J - 1) * lda + I - J + 2 * band)]));
    for (int I = std::max(1, J - band); I <= std::min(neq, J + band); ++I) {
      const std::size_t at = static_cast<std::size_t>((J - 1) * lda + I - J + 2 * band);
      const double denom = std::max(std::abs(A[at]), 1e-3 * col);
      if (denom == 0.0) continue;
      const double rel = std::abs(D[at] - A[at]) / denom;
      const int r = ((I - 1) % nvar) == nvar - 1, c = ((J - 1) % nvar) == nvar - 1;
      // The end points' positions never move (their rows are x' = 0, so the
      // corrector's change of them is 0): their columns do not matter.
      const int q = (J - 1) / nvar;
      if (c == 1 && (q == 0 || q == npts - 1)) {
        end_worst = std::max(end_worst, rel);
        continue;
      }
      if (rel > worst[r][c]) {
        worst[r][c] = rel;
        where[r][c][0] = (I - 1) / nvar;
        where[r][c][1] = (J - 1) / nvar;
      }
    }
  }
  // Position increments against the interval lengths near the free end.
  auto x = [&](int p) { return Y[skm_at(nvar, nvar, p)]; };
  double min_h = 1e300, ratio = 0.0;
  int crowded = 0;
  const double mean_h = (x(npts - 1) - x(0)) / (npts - 1);
  for (int p = 1; p < npts; ++p) {
    const double h = x(p) - x(p - 1);
    min_h = std::min(min_h, h);
    if (h < 0.1 * mean_h) ++crowded;
    if (p < npts - 1) ratio = std::max(ratio, std::abs(incs[skm_at(nvar, nvar, p)]) / h);
  }
  // || I - M^-1 A || by power iteration in the weighted norm, the end
  // positions held (their corrections are 0).
  auto rate_of = [&](const std::vector<double>& M) {
    std::vector<double> lu = M;
    std::vector<int> piv(static_cast<std::size_t>(neq));
    int info = 0;
    qz5::BAND_FACTOR(lu.data(), lda, neq, band, band, piv.data(), info);
    if (info != 0) return -1.0;
    std::vector<double> v(static_cast<std::size_t>(neq)), w(v.size());
    for (int i = 0; i < neq; ++i) v[i] = WT[i] * std::sin(1.0 + 0.7 * i);
    auto norm = [&](const std::vector<double>& u) {
      double sum = 0.0;
      for (int i = 0; i < neq; ++i) sum += (u[i] / WT[i]) * (u[i] / WT[i]);
      return std::sqrt(sum / neq);
    };
    double rate = 0.0;
    for (int it = 0; it < 40; ++it) {
      v[static_cast<std::size_t>(nvar - 1)] = v[static_cast<std::size_t>(neq - 1)] = 0.0;
      const double nv = norm(v);
      for (int i = 0; i < neq; ++i) v[i] /= nv;
      std::fill(w.begin(), w.end(), 0.0);
      for (int J = 1; J <= neq; ++J)
        for (int I = std::max(1, J - band); I <= std::min(neq, J + band); ++I)
          w[I - 1] += A[static_cast<std::size_t>((J - 1) * lda + I - J + 2 * band)] * v[J - 1];
      qz5::BAND_SOLVE(lu.data(), lda, neq, band, band, piv.data(), w.data(), 0);
      for (int i = 0; i < neq; ++i) w[i] -= v[i];
      rate = norm(w);
      v = w;
    }
    return rate;
  };
  // The differenced matrix with the analytic entries of one kind put in.
  auto hybrid = [&](auto take_analytic) {
    std::vector<double> M = D;
    for (int J = 1; J <= neq; ++J)
      for (int I = std::max(1, J - band); I <= std::min(neq, J + band); ++I) {
        const std::size_t at = static_cast<std::size_t>((J - 1) * lda + I - J + 2 * band);
        const bool grid_row = (I - 1) % nvar == nvar - 1, position_col = (J - 1) % nvar == nvar - 1;
        if (take_analytic(grid_row, position_col)) M[at] = A[at];
      }
    return M;
  };
  const double rate = rate_of(D);
  const double r_tp = rate_of(hybrid([](bool g, bool c) { return !g && c; }));
  const double r_gp = rate_of(hybrid([](bool g, bool c) { return g && c; }));
  const double r_v = rate_of(hybrid([](bool, bool c) { return !c; }));
  const double r_p = rate_of(hybrid([](bool, bool c) { return c; }));
  std::printf("   rates with analytic entries put in: transport/position %.3g, grid/position %.3g, "
              "all position columns %.3g, all value columns %.3g\n", r_tp, r_gp, r_p, r_v);
  std::printf(
      "t %.6f d h %.2e CJ %.2e | worst rel. diff: transport/value %.1e (pt %d col %d) "
      "transport/position %.1e (pt %d col %d) grid/value %.1e (pt %d col %d) grid/position "
      "%.1e (pt %d col %d) | min h %.3g, %d intervals < mean/10, max |inc_x|/h %.1e | "
      "||I - D^-1 A|| %.3g | end position columns %.1e, inc_x0 %.1e\n",
      day, H, CJ, worst[0][0], where[0][0][0], where[0][0][1], worst[0][1], where[0][1][0],
      where[0][1][1], worst[1][0], where[1][0][0], where[1][0][1], worst[1][1], where[1][1][0],
      where[1][1][1], min_h, crowded, ratio, rate, end_worst, incs[static_cast<std::size_t>(nvar - 1)]);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: crawl_probe FOLDER T_FROM T_TO EVERY [--jacobian exact]\n";
    return 2;
  }
  const std::string folder = argv[1];
  qz5::Units io;
  qz5::Scenario s = qz5::read_scenario(io, folder + "/run.fn");
  // With a geometry table (the slug): its channel and a free outflow;
  // without: the built-in laws and the fixed mouth.
  if (std::ifstream(folder + "/run.geo")) {
    s.geometry = qz5::read_geometry_file(io, qz5::kUnitInput, folder + "/run.geo");
    s.outflow = qz5::Outflow::kFree;
  }
  qz5::RunOptions o;
  o.observe_steps = true;
  for (int i = 5; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--jacobian") o.exact_jacobian = v == "exact";
    if (a == "--position-increments") o.spaced_position_increments = v == "spacing";
    if (a == "--position-error-test") o.positions_out_of_error_test = v == "off";
    if (a == "--max-steps") o.max_steps_per_interval = std::atol(v.c_str());
    if (a == "--position-tolerance") {
      const std::size_t comma = v.find(',');
      o.position_rtol = std::atof(v.substr(0, comma).c_str());
      o.position_atol = std::atof(v.substr(comma + 1).c_str());
    }
  }
  Probe p(s, std::atof(argv[2]), std::atof(argv[3]), std::atoi(argv[4]));
  p.spaced = o.spaced_position_increments;
  const qz5::Summary r = qz5::run_scenario(s, o, &p, io);
  std::printf("steps %d, convergence failures %d, error-test failures %d, matrices %d\n",
              r.statistics.steps, r.statistics.convergence_failures,
              r.statistics.error_test_failures, r.statistics.matrices);
  std::printf("error estimates of the accepted steps: the positions' share of the sum of squares "
              "%.3f on average; their RMS over the values' RMS 10^%.2f on average (geometric), "
              "larger in %ld of %ld steps\n",
              p.share_sum / std::max(1L, p.steps), p.ratio_log_sum / std::max(1L, p.steps),
              p.positions_larger, p.steps);
  return r.completed() ? 0 : 1;
}
