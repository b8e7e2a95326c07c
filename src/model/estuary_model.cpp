#include "model/estuary_model.h"

#include <cassert>
#include <sstream>

#include "input/uinit.h"

namespace qz5 {

namespace {
constexpr int kDriverFlow = 1;  // variable driver that scales the lateral flows
}  // namespace

EstuaryModel::EstuaryModel(Units& io, const Inputs& ms, Channel channel, Outflow outflow)
    : io_(io), ms_(ms), pos_(ms.load_best), channel_(channel), outflow_(outflow) {}

double EstuaryModel::days(double T) const { return (T * ms_.TUNIT_DAY) / ms_.TUNIT_MODEL; }

void EstuaryModel::spdef(double T, double XI, int NCOMP, const double* U, const double* UX,
                         double* C, double* Q, double* R, int& IRES) {
  static_cast<void>(IRES);  // nothing to report: the look-ups stop the run themselves
  // The kinetics read six concentrations; the parameter reader admits no
  // other NCOMP.
  assert(NCOMP == kKineticsComponents);
  const double X = XI * ms_.XCONV;
  const double A = channel_.area(X);

  const double TD = days(T);
  double S = 0.0;
  ms_.var_drv.lookup(io_, TD, S, kDriverFlow, pos_.ilast_drv(kDriverFlow));
  double QL = 0.0;
  ms_.load_best.lookup(io_, ms_, pos_, TD, X, S, QL, SL_.data());

  const double D = channel_.dispersion(X, QL);

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
    Q[m] = ((RX_[m] * A + SL_[m]) * k3) / ms_.CCONV(m + 1);
  }
}

void EstuaryModel::bndr(double T, double* BETA, double* GAMMA, const double* U,
                        const double* UX, int NCOMP, int LEFT, int& IRES) {
  static_cast<void>(UX);
  static_cast<void>(IRES);
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
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

void EstuaryModel::uinit(int NCOMP, int NPTS, double* U) { UINIT(io_, ms_, NCOMP, NPTS, U); }

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
