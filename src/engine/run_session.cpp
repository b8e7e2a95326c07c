#include "engine/run_session.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "discretisation/skm.h"
#include "engine/callbacks.h"
#include "errors/xermsg.h"
#include "integrator/work_layout.h"

namespace qz5 {
namespace {

constexpr int kMaxOrd = 5;

[[noreturn]] void workspace_too_small(Units& io, const Capacities& caps, std::string_view what,
                                      long long needed) {
  io.write_list(kUnitConsoleOut, {what, static_cast<int>(needed)});
  if (!caps.hint.empty()) io.write_list(kUnitConsoleOut, {std::string_view(caps.hint)});
  stop("Workspace too small");
}

// Sizes that do not fit the integrator's 32-bit counts cannot be run at all.
[[noreturn]] void grid_too_large(Units& io, int npts) {
  io.write_list(kUnitConsoleOut,
                {"Engine::Error, the workspace of a grid of NPTS =", npts,
                 "points exceeds what can be addressed"});
  stop("Workspace too small");
}

bool differs(double a, double b) {
  return std::abs(a - b) > 1e-6 * std::max({std::abs(a), std::abs(b), 1e-12});
}

}  // namespace

RunSession::RunSession(const Scenario& scenario, const RunOptions& options, Units& io)
    : scenario_(scenario),
      options_(options),
      io_(io),
      in_(scenario.inputs),
      model_(io, in_, Channel(&scenario.geometry), scenario.outflow, scenario.kinetics.get(),
             IntervalMeans{options.exact_sources, options.averaged_channel}) {}

long default_step_limit(int npts) { return std::max(5000L, 100L * npts); }

void RunSession::apply_overrides() {
  st_.RTOL = options_.rtol.value_or(in_.RTOL);
  st_.ATOL = options_.atol.value_or(in_.ATOL);
  st_.TAU = options_.tau.value_or(in_.TAU);
  st_.KAPPA = options_.kappa.value_or(in_.KAPPA);
  st_.ALPHA = options_.alpha.value_or(in_.ALPHA);
}

void RunSession::size_and_set_up_grid() {
  const Inputs& in = in_;
  RunState& ms = st_;
  ms.XLEFT = in.XBND(1) / in.XCONV;
  ms.XRIGHT = in.XBND(2) / in.XCONV;
  const long long neq = static_cast<long long>(in.NCOMP + 1) * in.NPTS;
  if (options_.capacities) {
    // The legacy program's fixed arrays: SETSKM's own workspace check
    // refuses what does not fit them.
    ms.LENWK = options_.capacities->LENWK;
    ms.Y.resize(options_.capacities->MXNEQ);
  } else {
    if (neq > std::numeric_limits<int>::max() / 64) grid_too_large(io_, in.NPTS);
    const int n = static_cast<int>(std::max(neq, 0LL));
    ms.LENWK = skm_workspace_length(n, in.NCOMP);
    ms.Y.resize(n);
  }
  ms.RPAR.resize(ms.LENWK);
  int ifail = 0;
  SETSKM(io_, skm_, model_, ms.NEQ, in.NCOMP, in.NPTS, ms.XLEFT, ms.XRIGHT, ms.TAU, ms.KAPPA,
         ms.ALPHA, ms.Y.data(), ms.RPAR.data(), ms.LENWK, in.M, in.TSTART, ms.IBAND, ifail);
  if (ifail == -1) {
    const bool capacity = options_.capacities && in.NPTS >= 3 && in.M >= 0;
    if (capacity && !options_.capacities->hint.empty())
      io_.write_list(kUnitConsoleOut, {std::string_view(options_.capacities->hint)});
    stop("Error in SETSKM");
  }
}

void RunSession::set_integrator_options() {
  RunState& ms = st_;
  ms.YPRIME.resize(std::max(ms.Y.size(), ms.NEQ));
  for (int i = 1; i <= ms.NEQ; ++i) ms.YPRIME(i) = 0.0;
  ms.INFO.fill(0);
  ms.INFO(kInfoStepOutput) = 1;  // return after every step
  ms.INFO(kInfoBanded) = 1;      // banded iteration matrix
  ms.INFO(kInfoUserJacobian) = options_.exact_jacobian ? 1 : 0;  // SKMJAC, else differences
  ms.INFO(kInfoNonNegative) = in_.INFO10;
  ms.INFO(kInfoInitialYprime) = 1;  // the integrator computes YPRIME at the start
  ms.MAXORD = kMaxOrd;
  // The integrator's own copies: it may raise them (tolerances too small).
  rtol_ = ms.RTOL;
  atol_ = ms.ATOL;
  if (options_.position_rtol || options_.position_atol) {
    ms.INFO(kInfoVectorTol) = 1;
    const int nvar = in_.NCOMP + 1;
    rtols_.assign(static_cast<std::size_t>(ms.NEQ), rtol_);
    atols_.assign(static_cast<std::size_t>(ms.NEQ), atol_);
    for (std::size_t i = static_cast<std::size_t>(nvar - 1); i < rtols_.size();
         i += static_cast<std::size_t>(nvar)) {
      rtols_[i] = options_.position_rtol.value_or(rtol_);
      atols_[i] = options_.position_atol.value_or(atol_);
    }
  }
}

void RunSession::size_workspace() {
  RunState& ms = st_;
  const long long neq = ms.NEQ;
  const long long liw = neq + 20;
  const long long lrw =
      (ms.MAXORD + 3LL * ms.IBAND + 7) * neq + 2 * (neq / (2LL * ms.IBAND + 1)) + 42;
  if (options_.capacities) {
    const Capacities& caps = *options_.capacities;
    if (neq > caps.MXNEQ) workspace_too_small(io_, caps, "MXNEQ too small, needed:", neq);
    ms.LIW = static_cast<int>(liw);
    if (liw > caps.MXLIW) workspace_too_small(io_, caps, "MXLIW too small, needed:", liw);
    ms.LRW = static_cast<int>(lrw);
    if (lrw > caps.MXLRW) workspace_too_small(io_, caps, "MXLRW too small, needed:", lrw);
    ms.IWORK.resize(caps.MXLIW);
    ms.RWORK.resize(caps.MXLRW);
  } else {
    if (lrw > std::numeric_limits<int>::max()) grid_too_large(io_, in_.NPTS);
    ms.LIW = static_cast<int>(liw);
    ms.LRW = static_cast<int>(lrw);
    ms.IWORK.resize(ms.LIW);
    ms.RWORK.resize(ms.LRW);
  }
  iwork_at(ms.IWORK.data(), kMl) = ms.IBAND;
  iwork_at(ms.IWORK.data(), kMu) = ms.IBAND;
  x_.assign(static_cast<std::size_t>(in_.NPTS), 0.0);
  c_.assign(static_cast<std::size_t>(in_.NPTS) * static_cast<std::size_t>(in_.NCOMP), 0.0);
}

void RunSession::check_channel() {
  snapshot();  // positions in file units into x_
  const std::string fault = model_.channel().fault_over(x_.data(), in_.NPTS);
  if (fault.empty()) return;
  io_.write_list(kUnitConsoleOut, {std::string_view("Channel::Error, " + fault)});
  stop();
}

void RunSession::warn_profile_mismatch() {
  const Inputs& ms = in_;
  if (!ms.USE_UT0 || ms.NPTS < 1) return;
  const Snapshot s = snapshot();
  auto warn = [this](const std::string& what, double profile, const std::string& other,
                     double boundary) {
    std::ostringstream text;
    text.precision(8);
    text << "UINIT::Warning, " << what << ' ' << profile << ", " << other << ' ' << boundary;
    io_.write_list(kUnitConsoleOut, {std::string_view(text.str())});
  };
  if (differs(s.x[0], ms.XBND(1)))
    warn("the initial profile starts at", s.x[0], "the first boundary lies at", ms.XBND(1));
  if (differs(s.x[s.npts - 1], ms.XBND(2)))
    warn("the initial profile ends at", s.x[s.npts - 1], "the second boundary lies at",
         ms.XBND(2));
  if (scenario_.outflow != Outflow::kFixedConcentration) return;
  for (int k = 1; k <= ms.NCOMP; ++k) {
    const double c = s.c[static_cast<std::size_t>((s.npts - 1) * s.ncomp + (k - 1))];
    if (differs(c, ms.CBND0(k, 2)))
      warn("the initial profile ends with constituent " + std::to_string(k) + " at", c,
           "the second boundary holds", ms.CBND0(k, 2));
  }
}

void RunSession::check_kinetics() {
  const std::string fault = model_.kinetics().check_run(in_);
  if (fault.empty()) return;
  io_.write_list(kUnitConsoleOut, {std::string_view("Kinetics::Error, " + fault)});
  stop();
}

void RunSession::prepare() {
  check_kinetics();
  apply_overrides();
  size_and_set_up_grid();
  set_integrator_options();
  size_workspace();
  check_channel();
  warn_profile_mismatch();

  const SkmState& skm = skm_;
  const Inputs& ms = in_;
  EstuaryModel& model = model_;
  Units& io = io_;
  residual_ = [&io, &ms, &skm, &model, this](double t, double* y, double* yprime, double* delta,
                                             int& ires, double* rpar, int* ipar) {
    RES(io, ms, skm, model, t, y, yprime, delta, ires, rpar, ipar, observer_);
  };
  jac_ = jac_dummy;
  if (options_.exact_jacobian) {
    // A matrix SKMJAC cannot form is left zero: singular, so the integrator
    // shrinks the step as for any singular matrix.
    jac_ = [&skm, &model](double t, double* y, double* yprime, double* pd, double cj, double*,
                          int*) {
      int ires = 0;
      SKMJAC(skm, model, t, y, yprime, cj, pd, ires);
    };
  }
  integrator_ = std::make_unique<Integrator>(io_, skm_.EPSMACH);
  BlockStructure structure;
  structure.block = in_.NCOMP + 1;
  for (int k = 1; k <= structure.block; ++k)
    structure.reach[static_cast<std::size_t>(k - 1)] = skm_point_reach(k, in_.NCOMP);
  structure.spacing_increment[static_cast<std::size_t>(in_.NCOMP)] =
      options_.spaced_position_increments;
  structure.no_error_test[static_cast<std::size_t>(in_.NCOMP)] =
      options_.positions_out_of_error_test;
  integrator_->set_block_structure(structure);
  if (options_.project_negative) integrator_->set_nonnegative(NonNegative::kProject);
  step_limit_ = options_.max_steps_per_interval > 0 ? options_.max_steps_per_interval
                                                    : default_step_limit(in_.NPTS);
  st_.T = in_.TSTART;
}

void RunSession::call_integrator() {
  RunState& ms = st_;
  integrator_->DDASSL(residual_, ms.NEQ, ms.T, ms.Y.data(), ms.YPRIME.data(), ms.TOUT,
                      ms.INFO.data(), rtols_.empty() ? &rtol_ : rtols_.data(),
                      atols_.empty() ? &atol_ : atols_.data(), ms.IDID, ms.RWORK.data(), ms.LRW,
                      ms.IWORK.data(), ms.LIW, ms.RPAR.data(), ms.IPAR.data(), jac_);
}

void RunSession::too_much_work(long steps) {
  const std::string t = format_items("(1P,D15.6)", {rwork_at(st_.RWORK.data(), kTReached)}).text;
  XERMSG(io_, "QZ5", "RUN",
         "AT CURRENT T = " + t + " " + std::to_string(steps) +
             " STEPS TAKEN SINCE THE LAST OUTPUT TIME BEFORE REACHING TOUT",
         -1, 1);
  st_.IDID = -1;
}

int RunSession::advance(int i, Observer* observer) {
  RunState& ms = st_;
  ms.TOUT = in_.TOUTS(i);
  const bool observe = observer != nullptr && options_.observe_steps;
  observer_ = observer;
  long steps = 0;
  call_integrator();
  while (ms.IDID == 1) {
    if (observe) {
      observer->on_step(last_step(), snapshot());
      if (observer->stop_requested()) break;
    }
    if (++steps >= step_limit_) {
      too_much_work(steps);
      break;
    }
    call_integrator();
  }
  observer_ = nullptr;
  return ms.IDID;
}

Snapshot RunSession::snapshot() {
  const Inputs& ms = in_;
  const int nvar = ms.NCOMP + 1;
  for (int j = 0; j < ms.NPTS; ++j) {
    const double* point = st_.Y.data() + static_cast<std::ptrdiff_t>(j) * nvar;
    x_[static_cast<std::size_t>(j)] = point[ms.NCOMP] * ms.XCONV;
    for (int k = 0; k < ms.NCOMP; ++k)
      c_[static_cast<std::size_t>(j * ms.NCOMP + k)] = point[k] * ms.CCONV(k + 1);
  }
  Snapshot s;
  s.t = st_.T * (ms.TUNIT_DAY / ms.TUNIT_MODEL);
  s.npts = ms.NPTS;
  s.ncomp = ms.NCOMP;
  s.x = x_.data();
  s.c = c_.data();
  return s;
}

IntegratorStatistics RunSession::statistics() const {
  IntegratorStatistics st;
  if (st_.IWORK.size() < kConvFails) return st;
  const int* iwork = st_.IWORK.data();
  st.steps = iwork_at(iwork, kStepCount);
  st.residuals = iwork_at(iwork, kResCount);
  st.matrices = iwork_at(iwork, kJacCount);
  st.error_test_failures = iwork_at(iwork, kErrtestFails);
  st.convergence_failures = iwork_at(iwork, kConvFails);
  return st;
}

StepInfo RunSession::last_step() const {
  return StepInfo{rwork_at(st_.RWORK.data(), kTReached), rwork_at(st_.RWORK.data(), kHLast),
                  iwork_at(st_.IWORK.data(), kOrderLast)};
}

}  // namespace qz5
