#include "model/estuary_model.h"

#include <cassert>
#include <sstream>
#include <vector>

#include "input/uinit.h"

namespace qz5 {

namespace {
constexpr int kDriverFlow = 1;  // variable driver that scales the lateral flows

// C = capacity times the n x n identity, every element written. Inlined
// with the built-in kinetics' constant six, the compiler writes the 36
// elements directly instead of calling memset.
inline void diagonal(double* C, int n, double capacity) {
  const int n2 = n * n;
  for (int i = 0; i < n2; ++i) C[i] = 0.0;
  for (int m = 0; m < n; ++m) C[m + m * n] = capacity;
}
}  // namespace

EstuaryModel::EstuaryModel(Units& io, const Inputs& ms, Channel channel, Outflow outflow,
                           const Kinetics* kinetics)
    : io_(io),
      ms_(ms),
      pos_(ms.load_best),
      channel_(channel),
      outflow_(outflow),
      kinetics_(kinetics != nullptr ? *kinetics : builtin_kinetics()),
      rates_(kinetics_.evaluator(ms)),
      ncomp_(kinetics_.ncomp()),
      built_in_(!kinetics_.declared()) {
  const std::vector<ConstituentDecl>& decl = kinetics_.constituents();
  for (std::size_t m = 0; m < moves_.size(); ++m) {
    moves_[m] = m >= decl.size() || decl[m].transported;
    all_move_ = all_move_ && moves_[m];
  }
}

double EstuaryModel::days(double T) const { return (T * ms_.TUNIT_DAY) / ms_.TUNIT_MODEL; }

void EstuaryModel::spdef(double T, double XI, int NCOMP, const double* U, const double* UX,
                         double* C, double* Q, double* R, int& IRES) {
  // The kinetics read NCOMP concentrations; the engine refuses a run whose
  // NCOMP is not theirs.
  assert(NCOMP == ncomp_);
  const double X = XI * ms_.XCONV;
  const double A = channel_.area(X);

  const double TD = days(T);
  double S = 0.0;
  ms_.var_drv.lookup(io_, TD, S, kDriverFlow, pos_.ilast_drv(kDriverFlow));
  double QL = 0.0;
  ms_.load_best.lookup(io_, ms_, pos_, TD, X, S, QL, SL_.data());

  const double D = channel_.dispersion(X, QL);

  // The caller's storage may hold anything: every element is written.
  const double capacity = -((ms_.XCONV * A) / ms_.TUNIT_DAY);
  if (built_in_) {
    diagonal(C, kKineticsComponents, capacity);
  } else {
    diagonal(C, NCOMP, capacity);
  }

  // The built-in kinetics are called directly: the default path costs what
  // it always did.
  if (built_in_) {
    RXNS_QZ5(ms_, T, XI, NCOMP, U, UX, RX_.data());
  } else if (!rates_->rates(ReactionPoint{T, XI, TD, X, A, D, QL}, U, UX, RX_.data())) {
    IRES = 3;
  }

  const double k1 = -((A * D) / (ms_.XCONV * ms_.TUNIT_MODEL));
  const double k2 = QL / ms_.TUNIT_MODEL;
  const double k3 = ms_.XCONV / ms_.TUNIT_MODEL;
  if (all_move_) {
    for (int m = 0; m < NCOMP; ++m) {
      R[m] = UX[m] * k1 + U[m] * k2;
      Q[m] = ((RX_[m] * A + SL_[m]) * k3) / ms_.CCONV(m + 1);
    }
    return;
  }
  for (int m = 0; m < NCOMP; ++m) {
    if (moves_[static_cast<std::size_t>(m)]) {
      R[m] = UX[m] * k1 + U[m] * k2;
      Q[m] = ((RX_[m] * A + SL_[m]) * k3) / ms_.CCONV(m + 1);
    } else {
      R[m] = 0.0;
      Q[m] = ((RX_[m] * A) * k3) / ms_.CCONV(m + 1);
    }
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
  // A constituent that does not move has no flux through either end.
  if (all_move_) return;
  for (int m = 0; m < NCOMP; ++m) {
    if (moves_[static_cast<std::size_t>(m)]) continue;
    BETA[m] = 1.0;
    GAMMA[m] = 0.0;
  }
}

void EstuaryModel::uinit(int NCOMP, int NPTS, double* U) { UINIT(io_, ms_, NCOMP, NPTS, U); }

struct EstuaryModel::QueryScratch {
  QueryScratch(const Inputs& ms, const Kinetics& k) : pos(ms.load_best), rates(k.evaluator(ms)) {}
  std::istringstream in;
  std::ostringstream out;  // the look-ups' warnings: the run has written them already
  Units io{in, out};
  SeriesPositions pos;
  std::unique_ptr<KineticsEvaluator> rates;  // the query's own: forcing positions apart
};

EstuaryModel::QueryScratch& EstuaryModel::query() const {
  if (!query_) query_ = std::make_shared<QueryScratch>(ms_, kinetics_);
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
  q.rates->rates(ReactionPoint{T, XI, TD, X, out.area, out.dispersion, out.flow}, U, UX,
                 out.reaction.data());
  // A constituent that does not move takes no lateral load.
  for (int m = 0; m < ms_.NCOMP; ++m)
    if (!moves_[static_cast<std::size_t>(m)]) out.lateral[static_cast<std::size_t>(m)] = 0.0;
}

bool EstuaryModel::transported(int k) const {
  return k < 1 || k > kMaxNcomp || moves_[static_cast<std::size_t>(k - 1)];
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
