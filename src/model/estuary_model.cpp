#include "model/estuary_model.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <sstream>

#include "input/uinit.h"

namespace qz5 {

namespace {
constexpr int kDriverFlow = 1;  // variable driver that scales the lateral flows
}  // namespace

EstuaryModel::EstuaryModel(Units& io, const Inputs& ms, Channel channel, Outflow outflow)
    : io_(io), ms_(ms), pos_(ms.load_best), channel_(channel), outflow_(outflow) {}

double EstuaryModel::days(double T) const { return (T * ms_.TUNIT_DAY) / ms_.TUNIT_MODEL; }

void EstuaryModel::note_time(double T) {
  if (std::bit_cast<std::uint64_t>(T) == std::bit_cast<std::uint64_t>(time_)) return;
  time_ = T;
  ++generation_;
}

bool EstuaryModel::lookups_warn(double TD) const {
  const LoadBest& lb = ms_.load_best;
  // With the lateral concentrations taken from the boundary series, or
  // outside the lateral table, the look-up writes a warning every time.
  return ms_.LI_FROM_BND || !(lb.lat_tab(1, 1) <= TD && TD <= lb.lat_tab(lb.nlat_tpts, 1));
}

void EstuaryModel::position_terms(double T, double XI, PositionTerms& p) {
  const double X = XI * ms_.XCONV;
  p.A = channel_.area(X);
  const double TD = days(T);
  p.S = 0.0;
  ms_.var_drv.lookup(io_, TD, p.S, kDriverFlow, pos_.ilast_drv(kDriverFlow));
  p.QL = 0.0;
  ms_.load_best.lookup(io_, ms_, pos_, TD, X, p.S, p.QL, p.SL.data());
  p.D = channel_.dispersion(X, p.QL);
}

void EstuaryModel::spdef(double T, double XI, int NCOMP, const double* U, const double* UX,
                         double* C, double* Q, double* R, int& IRES) {
  static_cast<void>(IRES);  // nothing to report: the look-ups stop the run themselves
  // The kinetics read six concentrations; the parameter reader admits no
  // other NCOMP.
  assert(NCOMP == kKineticsComponents);
  note_time(T);
  const int slot = interval_++;
  PositionTerms* terms = &unremembered_;
  if (slot < static_cast<int>(remembered_.size())) {
    PositionTerms& r = remembered_[static_cast<std::size_t>(slot)];
    const bool same = r.generation == generation_ &&
                      std::bit_cast<std::uint64_t>(r.XI) == std::bit_cast<std::uint64_t>(XI);
    if (same) {
      ++reused_;
    } else {
      position_terms(T, XI, r);
      r.XI = XI;
      r.generation = lookups_warn(days(T)) ? 0 : generation_;
    }
    terms = &r;
  } else {
    position_terms(T, XI, unremembered_);
  }
  const double A = terms->A;
  const double QL = terms->QL;
  const double D = terms->D;
  const double* SL = terms->SL.data();

  // The caller's storage may hold anything: every element is written.
  const int n2 = NCOMP * NCOMP;
  for (int i = 0; i < n2; ++i) C[i] = 0.0;
  const double capacity = -((ms_.XCONV * A) / ms_.TUNIT_DAY);
  for (int m = 0; m < NCOMP; ++m) C[m + m * NCOMP] = capacity;

  RXNS_QZ5(ms_, T, XI, NCOMP, U, UX, RX_.data());

  const double k1 = -((A * D) / (ms_.XCONV * ms_.TUNIT_MODEL));
  const double k2 = QL / ms_.TUNIT_MODEL;
  const double k3 = ms_.XCONV / ms_.TUNIT_MODEL;
  for (int m = 0; m < NCOMP; ++m) {
    R[m] = UX[m] * k1 + U[m] * k2;
    Q[m] = ((RX_[m] * A + SL[m]) * k3) / ms_.CCONV(m + 1);
  }
}

void EstuaryModel::bndr(double T, double* BETA, double* GAMMA, const double* U,
                        const double* UX, int NCOMP, int LEFT, int& IRES) {
  static_cast<void>(UX);
  static_cast<void>(IRES);
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
  note_time(T);
  if (LEFT != 0) interval_ = 0;  // the first spdef call of a residual follows
  const double TD = days(T);
  double S = 0.0;
  ms_.var_drv.lookup(io_, TD, S, kDriverFlow, pos_.ilast_drv(kDriverFlow));
  // Flow at the first boundary: what the inputs at or upstream of it deliver.
  double QL = 0.0;
  ms_.load_best.lookup(io_, ms_, pos_, TD, ms_.XBND(1), S, QL, SL_.data());
  ms_.boundarys.lookup(io_, ms_, TD, CL_.data(), CR_.data(), pos_.ilast_bnd);

  if (LEFT != 0) {
    for (int m = 0; m < NCOMP; ++m) {
      BETA[m] = 1.0;
      GAMMA[m] = (CL_[m] * QL) / (ms_.CCONV(m + 1) * ms_.TUNIT_MODEL);
    }
  } else if (outflow_ == Outflow::kFree) {
    // Flow at the second end: every input at or upstream of it.
    double QR = 0.0;
    ms_.load_best.lookup(io_, ms_, pos_, TD, ms_.XBND(2), S, QR, SL_.data());
    for (int m = 0; m < NCOMP; ++m) {
      BETA[m] = 1.0;
      GAMMA[m] = (U[m] * QR) / ms_.TUNIT_MODEL;
    }
  } else {
    for (int m = 0; m < NCOMP; ++m) {
      BETA[m] = 0.0;
      GAMMA[m] = U[m] - CR_[m] / ms_.CCONV(m + 1);
    }
  }
}

void EstuaryModel::uinit(int NCOMP, int NPTS, double* U) {
  remembered_.assign(static_cast<std::size_t>(NPTS > 1 ? NPTS - 1 : 0), PositionTerms{});
  UINIT(io_, ms_, NCOMP, NPTS, U);
}

bool EstuaryModel::coefficient_derivatives(double T, double XI, int NCOMP, const double* U,
                                           const double* UX, CoefficientDerivatives& d) {
  assert(NCOMP == kKineticsComponents);
  note_time(T);
  const double X = XI * ms_.XCONV;
  PositionTerms p;
  position_terms(T, XI, p);
  const double dA = channel_.area_slope(X) * ms_.XCONV;  // by XI
  const double dD = channel_.dispersion_slope(X, p.QL) * ms_.XCONV;
  // Lateral flow and loads by XI: QL = S sum q/(1+e), SL(m) = S sum c(m) q k e/(1+e)^2
  // with e = exp(-(X - x) k), the exponent held within +-300.
  const LoadBest& lb = ms_.load_best;
  double dQL = 0.0;
  std::array<double, kMaxNcomp> dSL{};
  for (int l = 1; l <= lb.nlat; ++l) {
    const double a = -((X - lb.x_lat(l)) * lb.k_lat);
    if (std::fabs(a) > 300.0) continue;
    const double e = std::exp(a);
    const double q = lb.q_lat(l), k = lb.k_lat;
    dQL += q * k * e / ((1.0 + e) * (1.0 + e));
    const double dg = -q * k * k * e * (1.0 - e) / ((1.0 + e) * (1.0 + e) * (1.0 + e));
    for (int m = 1; m <= NCOMP; ++m) dSL[static_cast<std::size_t>(m - 1)] += pos_.c_lat(m, l) * dg;
  }
  dQL *= p.S * ms_.XCONV;
  for (double& v : dSL) v *= p.S * ms_.XCONV;
  RXNS_QZ5(ms_, T, XI, NCOMP, U, UX, RX_.data());
  RXNS_QZ5_JACOBIAN(ms_, U, dRX_.data());
  const double k1 = -((p.A * p.D) / (ms_.XCONV * ms_.TUNIT_MODEL));
  const double dk1 = -((dA * p.D + p.A * dD) / (ms_.XCONV * ms_.TUNIT_MODEL));
  const double k2 = p.QL / ms_.TUNIT_MODEL;
  const double dk2 = dQL / ms_.TUNIT_MODEL;
  const double k3 = ms_.XCONV / ms_.TUNIT_MODEL;
  const int n2 = NCOMP * NCOMP;
  for (int i = 0; i < n2; ++i) {
    d.dQ_dU[i] = d.dQ_dUX[i] = d.dR_dU[i] = d.dR_dUX[i] = d.dC_dXI[i] = 0.0;
  }
  for (int m = 0; m < NCOMP; ++m) {
    const double cconv = ms_.CCONV(m + 1);
    for (int j = 0; j < NCOMP; ++j)
      d.dQ_dU[m + j * NCOMP] = (dRX_[static_cast<std::size_t>(m + j * NCOMP)] * p.A * k3) / cconv;
    d.dR_dU[m + m * NCOMP] = k2;
    d.dR_dUX[m + m * NCOMP] = k1;
    d.dC_dXI[m + m * NCOMP] = -((ms_.XCONV * dA) / ms_.TUNIT_DAY);
    d.dQ_dXI[m] =
        ((RX_[static_cast<std::size_t>(m)] * dA + dSL[static_cast<std::size_t>(m)]) * k3) / cconv;
    d.dR_dXI[m] = UX[m] * dk1 + U[m] * dk2;
  }
  return true;
}

bool EstuaryModel::boundary_derivatives(double T, const double* U, const double* UX, int NCOMP,
                                        int LEFT, double* dGAMMA_dU, double* dGAMMA_dUX) {
  static_cast<void>(U), static_cast<void>(UX);
  const int n2 = NCOMP * NCOMP;
  for (int i = 0; i < n2; ++i) dGAMMA_dU[i] = dGAMMA_dUX[i] = 0.0;
  if (LEFT != 0) return true;
  double diagonal = 1.0;
  if (outflow_ == Outflow::kFree) {
    note_time(T);
    const double TD = days(T);
    double S = 0.0;
    ms_.var_drv.lookup(io_, TD, S, kDriverFlow, pos_.ilast_drv(kDriverFlow));
    double QR = 0.0;
    ms_.load_best.lookup(io_, ms_, pos_, TD, ms_.XBND(2), S, QR, SL_.data());
    diagonal = QR / ms_.TUNIT_MODEL;
  }
  for (int m = 0; m < NCOMP; ++m) dGAMMA_dU[m + m * NCOMP] = diagonal;
  return true;
}

struct EstuaryModel::QueryScratch {
  explicit QueryScratch(const Inputs& ms) : pos(ms.load_best) {}
  std::istringstream in;
  std::ostringstream out;  // the look-ups' warnings: the run has written them already
  Units io{in, out};
  SeriesPositions pos;
};

EstuaryModel::QueryScratch& EstuaryModel::query() const {
  if (!query_) query_ = std::make_shared<QueryScratch>(ms_);
  query_->out.str("");
  return *query_;
}

void EstuaryModel::coefficients(double T, double XI, const double* U, const double* UX,
                                Coefficients& out) const {
  QueryScratch& q = query();
  const double X = XI * ms_.XCONV;
  out.area = channel_.area(X);
  const double TD = days(T);
  double S = 0.0;
  ms_.var_drv.lookup(q.io, TD, S, kDriverFlow, q.pos.ilast_drv(kDriverFlow));
  ms_.load_best.lookup(q.io, ms_, q.pos, TD, X, S, out.flow, out.lateral.data());
  out.dispersion = channel_.dispersion(X, out.flow);
  RXNS_QZ5(ms_, T, XI, ms_.NCOMP, U, UX, out.reaction.data());
}

double EstuaryModel::flow_at(double T, double X) const {
  QueryScratch& q = query();
  const double TD = days(T);
  double S = 0.0;
  ms_.var_drv.lookup(q.io, TD, S, kDriverFlow, q.pos.ilast_drv(kDriverFlow));
  double QL = 0.0;
  std::array<double, kMaxNcomp> SL{};
  ms_.load_best.lookup(q.io, ms_, q.pos, TD, X, S, QL, SL.data());
  return QL;
}

}  // namespace qz5
