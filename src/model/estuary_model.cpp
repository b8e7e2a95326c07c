#include "model/estuary_model.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <sstream>
#include <vector>

#include "input/uinit.h"
#include "model/kinetics_rates.h"

namespace qz5 {

namespace {
constexpr int kDriverFlow = 1;  // variable driver that scales the lateral flows

// C = capacity times the n x n identity, every element written. Inlined
// with the built-in kinetics' constant six, the compiler writes the 36
// elements directly instead of calling memset.
inline void diagonal(double* C, int n, double capacity) {
  const int n2 = n * n;
  int i = 0;
  typedef double Lanes __attribute__((vector_size(16), aligned(8)));
#pragma GCC unroll 18
  for (; i + 2 <= n2; i += 2) {
    *reinterpret_cast<Lanes*>(C + i) = Lanes{0.0, 0.0};
    asm volatile("");  // keeps the stores from being turned into a call of memset
  }
  if (i < n2) C[i] = 0.0;
  for (int m = 0; m < n; ++m) C[m + m * n] = capacity;
}
}  // namespace

EstuaryModel::EstuaryModel(Units& io, const Inputs& ms, Channel channel, Outflow outflow,
                           const Kinetics* kinetics, IntervalMeans means)
    : io_(io),
      ms_(ms),
      pos_(ms.load_best),
      channel_(channel),
      outflow_(outflow),
      kinetics_(kinetics != nullptr ? *kinetics : builtin_kinetics()),
      rates_(kinetics_.evaluator(ms)),
      rx_constants_(RXNS_QZ5_CONSTANTS(ms)),
      ncomp_(kinetics_.ncomp()),
      built_in_(!kinetics_.declared()),
      means_(means) {
  const std::vector<ConstituentDecl>& decl = kinetics_.constituents();
  for (std::size_t m = 0; m < moves_.size(); ++m) {
    moves_[m] = m >= decl.size() || decl[m].transported;
    all_move_ = all_move_ && moves_[m];
  }
}

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

bool EstuaryModel::lookups_warn_now(double T) {
  if (warn_generation_ != generation_) {
    warn_ = lookups_warn(days(T));
    warn_generation_ = generation_;
  }
  return warn_;
}

[[gnu::always_inline]] inline double EstuaryModel::driver_flow(double TD) {
  const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  if (driver_.valid && bits(driver_.TD) == bits(TD) &&
      driver_.position == pos_.ilast_drv(kDriverFlow))
    return driver_.S;
  return driver_lookup(TD);
}

double EstuaryModel::driver_lookup(double TD) {
  int& position = pos_.ilast_drv(kDriverFlow);
  const int before = position;
  double S = 0.0;
  ms_.var_drv.lookup(io_, TD, S, kDriverFlow, position);
  driver_ = DriverLookup{before == position, TD, position, S};
  return S;
}

void EstuaryModel::position_terms(double T, double XI, PositionTerms& p) {
  const double X = XI * ms_.XCONV;
  p.A = channel_.area(X);
  const double TD = days(T);
  p.S = driver_flow(TD);
  p.QL = 0.0;
  ms_.load_best.lookup(io_, ms_, pos_, TD, X, p.S, p.QL, p.SL.data());
  p.D = channel_.dispersion(X, p.QL);
}

[[gnu::always_inline]] inline const EstuaryModel::PositionTerms& EstuaryModel::terms_at(
    double T, double XI) {
  const int slot = interval_++;
  if (slot < n_remembered_) {
    PositionTerms& r = remembered_[static_cast<std::size_t>(slot)];
    const bool same = r.generation == generation_ &&
                      std::bit_cast<std::uint64_t>(r.XI) == std::bit_cast<std::uint64_t>(XI);
    if (same) {
      ++reused_;
    } else {
      position_terms(T, XI, r);
      r.XI = XI;
      r.generation = lookups_warn_now(T) ? 0 : generation_;
    }
    return r;
  }
  rx_constants_ = RXNS_QZ5_CONSTANTS(ms_);
  ++rx_generation_;
  driver_.valid = false;
  position_terms(T, XI, unremembered_);
  return unremembered_;
}

void EstuaryModel::spdef(double T, double XI, int NCOMP, const double* U, const double* UX,
                         double* C, double* Q, double* R, int& IRES) {
  // The kinetics read NCOMP concentrations; the engine refuses a run whose
  // NCOMP is not theirs.
  assert(NCOMP == ncomp_);
  note_time(T);
  const PositionTerms& terms = terms_at(T, XI);
  write_coefficients(T, XI, NCOMP, U, UX, terms.A, terms.D, terms.A * terms.D, terms.QL,
                     terms.SL.data(), C, Q, R, IRES);
}

void EstuaryModel::spdef_intervals(double T, int NCOMP, int count, const double* XI,
                                   const double* U, const double* UX, double* capacity, double* Q,
                                   double* R, int& IRES) {
  static_cast<void>(IRES);
  // Only asked when capacity_is_scalar(): the built-in kinetics.
  assert(NCOMP == kKineticsComponents && built_in_);
  assert(count <= kMaxIntervalsAtOnce);
  static_cast<void>(NCOMP);
  constexpr int nc = kKineticsComponents;
  note_time(T);
  if (rx_pair_generation_ != rx_generation_) {
    RXNS_QZ5_PAIR_CONSTANTS(ms_, rx_constants_, rx_pair_constants_);
    rx_pair_generation_ = rx_generation_;
  }
  // The look-ups in the order spdef makes them, then the kinetics of two
  // points at once.
  const TransportFactors f = transport_factors();
  // Intervals beyond the grid's share one place for their position terms, so
  // a pair of them is not formed: such a call (a host's, without the initial
  // state set) takes its intervals one at a time.
  const bool pairs = interval_ + count <= n_remembered_;
  int i = 0;
  for (; pairs && i + 2 <= count; i += 2) {
    const PositionTerms& a = terms_at(T, XI[i]);
    const PositionTerms& b = terms_at(T, XI[i + 1]);
    // The rates come one constituent per register, a in one lane and b in
    // the other; the coefficients take two constituents of one point.
    KineticsLanes RX[nc];
    kinetics_detail::rates_of_pair(rx_pair_constants_, U + i * nc, U + (i + 1) * nc, RX);
    KineticsLanes RXa[nc / 2], RXb[nc / 2];
    typedef long long Mask __attribute__((vector_size(16)));
#pragma GCC unroll 8
    for (int m = 0; m < nc; m += 2) {
      RXa[m / 2] = __builtin_shuffle(RX[m], RX[m + 1], Mask{0, 2});
      RXb[m / 2] = __builtin_shuffle(RX[m], RX[m + 1], Mask{1, 3});
    }
    interval_coefficients(f, a, U + i * nc, UX + i * nc, RXa, capacity[i], Q + i * nc, R + i * nc);
    interval_coefficients(f, b, U + (i + 1) * nc, UX + (i + 1) * nc, RXb, capacity[i + 1],
                          Q + (i + 1) * nc, R + (i + 1) * nc);
  }
  for (; i < count; ++i) {
    const PositionTerms& a = terms_at(T, XI[i]);
    RXNS_QZ5(ms_, rx_constants_, U + i * nc, RX_.data());
    KineticsLanes RXa[nc / 2];
    for (int m = 0; m < nc; m += 2) RXa[m / 2] = KineticsLanes{RX_[m], RX_[m + 1]};
    interval_coefficients(f, a, U + i * nc, UX + i * nc, RXa, capacity[i], Q + i * nc,
                          R + i * nc);
  }
}

EstuaryModel::TransportFactors EstuaryModel::transport_factors() const {
  return TransportFactors{ms_.XCONV * ms_.TUNIT_MODEL, ms_.XCONV / ms_.TUNIT_MODEL};
}

[[gnu::always_inline]] inline void EstuaryModel::interval_coefficients(
    const TransportFactors& f, const PositionTerms& p, const double* U, const double* UX,
    const KineticsLanes* RX, double& capacity, double* Q, double* R) const {
  capacity = -((ms_.XCONV * p.A) / ms_.TUNIT_DAY);
  // k1 as write_coefficients forms it, the product of the units made once.
  const double k1 = -((p.A * p.D) / f.xconv_tunit);
  transport_terms(U, UX, k1, p.QL / ms_.TUNIT_MODEL, f.k3, p.A, p.SL.data(), RX, Q, R);
}

void EstuaryModel::interval_terms(double T, double XI, double XA, double XB, PositionTerms& p) {
  const double Xa = XA * ms_.XCONV, Xb = XB * ms_.XCONV;
  if (!means_.sources) {
    position_terms(T, XI, p);
  } else {
    const double TD = days(T);
    p.S = driver_flow(TD);
    p.QL = 0.0;
    ms_.load_best.mean_over(io_, ms_, pos_, TD, Xa, Xb, p.S, p.QL, p.SL.data());
    const double X = XI * ms_.XCONV;
    p.A = channel_.area(X);
    p.D = channel_.dispersion(X, p.QL);
  }
  p.AD = p.A * p.D;
  if (means_.channel && !channel_.built_in()) {
    p.A = channel_.mean_area(Xa, Xb);
    p.AD = channel_.mean_conductance(Xa, Xb, p.QL);
    p.D = p.AD / p.A;
  }
}

void EstuaryModel::spdef_over(double T, double XI, double XA, double XB, int NCOMP,
                              const double* U, const double* UX, double* C, double* Q, double* R,
                              int& IRES) {
  assert(NCOMP == ncomp_);
  if (!means_.any()) {
    spdef(T, XI, NCOMP, U, UX, C, Q, R, IRES);
    return;
  }
  note_time(T);
  const int slot = interval_++;
  PositionTerms* terms = &unremembered_;
  auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  if (slot < n_remembered_) {
    PositionTerms& r = remembered_[static_cast<std::size_t>(slot)];
    const bool same = r.generation == generation_ && bits(r.XI) == bits(XI) &&
                      bits(r.XA) == bits(XA) && bits(r.XB) == bits(XB);
    if (same) {
      ++reused_;
    } else {
      interval_terms(T, XI, XA, XB, r);
      r.XI = XI, r.XA = XA, r.XB = XB;
      r.generation = lookups_warn_now(T) ? 0 : generation_;
    }
    terms = &r;
  } else {
    rx_constants_ = RXNS_QZ5_CONSTANTS(ms_);
    ++rx_generation_;
    driver_.valid = false;
    interval_terms(T, XI, XA, XB, unremembered_);
  }
  write_coefficients(T, XI, NCOMP, U, UX, terms->A, terms->D, terms->AD, terms->QL, terms->SL.data(),
                     C, Q, R, IRES);
}

[[gnu::always_inline]] inline void EstuaryModel::write_coefficients(
    double T, double XI, int NCOMP, const double* U, const double* UX, double A, double D,
    double AD, double QL, const double* SL, double* C, double* Q, double* R, int& IRES) {
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
    RXNS_QZ5(ms_, rx_constants_, U, RX_.data());
  } else if (!rates_->rates(ReactionPoint{T, XI, days(T), XI * ms_.XCONV, A, D, QL}, U, UX,
                            RX_.data())) {
    IRES = 3;
  }

  const double k1 = -(AD / (ms_.XCONV * ms_.TUNIT_MODEL));
  const double k2 = QL / ms_.TUNIT_MODEL;
  const double k3 = ms_.XCONV / ms_.TUNIT_MODEL;
  if (all_move_ && built_in_) {
    const KineticsLanes RX[] = {{RX_[0], RX_[1]}, {RX_[2], RX_[3]}, {RX_[4], RX_[5]}};
    transport_terms(U, UX, k1, k2, k3, A, SL, RX, Q, R);
    return;
  }
  if (all_move_) {
    for (int m = 0; m < NCOMP; ++m) {
      R[m] = UX[m] * k1 + U[m] * k2;
      Q[m] = ((RX_[m] * A + SL[m]) * k3) / ms_.CCONV(m + 1);
    }
    return;
  }
  for (int m = 0; m < NCOMP; ++m) {
    if (moves_[static_cast<std::size_t>(m)]) {
      R[m] = UX[m] * k1 + U[m] * k2;
      Q[m] = ((RX_[m] * A + SL[m]) * k3) / ms_.CCONV(m + 1);
    } else {
      R[m] = 0.0;
      Q[m] = ((RX_[m] * A) * k3) / ms_.CCONV(m + 1);
    }
  }
}

[[gnu::always_inline]] inline void EstuaryModel::transport_terms(
    const double* U, const double* UX, double k1, double k2, double k3, double A,
    const double* SL, const KineticsLanes* RX, double* Q, double* R) const {
  // Six constituents, two per register: the same operations per element.
  typedef double Lanes __attribute__((vector_size(16), aligned(8)));
  auto load2 = [](const double* v) { return *reinterpret_cast<const Lanes*>(v); };
  auto store2 = [](double* v, Lanes x) { *reinterpret_cast<Lanes*>(v) = x; };
  const Lanes K1 = {k1, k1}, K2 = {k2, k2}, K3 = {k3, k3}, AA = {A, A};
  const double* cconv = &ms_.CCONV(1);
#pragma GCC unroll 8
  for (int m = 0; m < kKineticsComponents; m += 2) {
    store2(R + m, load2(UX + m) * K1 + load2(U + m) * K2);
    store2(Q + m, ((RX[m / 2] * AA + load2(SL + m)) * K3) / load2(cconv + m));
  }
}

void EstuaryModel::bndr(double T, double* BETA, double* GAMMA, const double* U,
                        const double* UX, int NCOMP, int LEFT, int& IRES) {
  static_cast<void>(UX);
  static_cast<void>(IRES);
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
  note_time(T);
  if (LEFT != 0) {
    // The first spdef call of a residual follows; the kinetics' constants
    // are taken from the parameters as they are now.
    interval_ = 0;
    rx_constants_ = RXNS_QZ5_CONSTANTS(ms_);
    ++rx_generation_;
    driver_.valid = false;
  }
  const EndTerms& e = end_terms(T, LEFT);
  if (LEFT != 0) {
    for (int m = 0; m < NCOMP; ++m) {
      BETA[m] = 1.0;
      GAMMA[m] = (e.C[static_cast<std::size_t>(m)] * e.Q) / (ms_.CCONV(m + 1) * ms_.TUNIT_MODEL);
    }
  } else if (outflow_ == Outflow::kFree) {
    for (int m = 0; m < NCOMP; ++m) {
      BETA[m] = 1.0;
      GAMMA[m] = (U[m] * e.Q) / ms_.TUNIT_MODEL;
    }
  } else {
    for (int m = 0; m < NCOMP; ++m) {
      BETA[m] = 0.0;
      GAMMA[m] = U[m] - e.C[static_cast<std::size_t>(m)] / ms_.CCONV(m + 1);
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

const EstuaryModel::EndTerms& EstuaryModel::end_terms(double T, int LEFT) {
  EndTerms& e = ends_[LEFT != 0 ? 0 : 1];
  if (e.generation == generation_) return e;
  const double TD = days(T);
  const double S = driver_flow(TD);
  // Flow at the first boundary: what the inputs at or upstream of it deliver.
  double QL = 0.0;
  ms_.load_best.lookup(io_, ms_, pos_, TD, ms_.XBND(1), S, QL, SL_.data());
  ms_.boundarys.lookup(io_, ms_, TD, CL_.data(), CR_.data(), pos_.ilast_bnd);
  e.Q = QL;
  e.C = LEFT != 0 ? CL_ : CR_;
  if (LEFT == 0 && outflow_ == Outflow::kFree) {
    // Flow at the second end: every input at or upstream of it.
    double QR = 0.0;
    ms_.load_best.lookup(io_, ms_, pos_, TD, ms_.XBND(2), S, QR, SL_.data());
    e.Q = QR;
  }
  const Boundarys& b = ms_.boundarys;
  const bool warns = lookups_warn_now(T) ||
                     !(b.bnd_tab(1, 1) <= TD && TD <= b.bnd_tab(b.nbnd_tpts, 1));
  e.generation = warns ? 0 : generation_;
  return e;
}

void EstuaryModel::uinit(int NCOMP, int NPTS, double* U) {
  remembered_.assign(static_cast<std::size_t>(NPTS > 1 ? NPTS - 1 : 0), PositionTerms{});
  n_remembered_ = static_cast<int>(remembered_.size());
  UINIT(io_, ms_, NCOMP, NPTS, U);
}

bool EstuaryModel::coefficient_derivatives(double T, double XI, int NCOMP, const double* U,
                                           const double* UX, CoefficientDerivatives& d) {
  assert(NCOMP == ncomp_);
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
  if (built_in_) {
    RXNS_QZ5(ms_, T, XI, NCOMP, U, UX, RX_.data());
    RXNS_QZ5_JACOBIAN(ms_, U, dRX_.data());
  } else if (!declared_rate_derivatives(ReactionPoint{T, XI, days(T), X, p.A, p.D, p.QL}, NCOMP,
                                        U, UX)) {
    return false;
  }
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
    d.dC_dXI[m + m * NCOMP] = -((ms_.XCONV * dA) / ms_.TUNIT_DAY);
    if (!moves_[static_cast<std::size_t>(m)]) {
      // No flux and no lateral load: R = 0 and Q the reaction alone.
      d.dQ_dXI[m] = ((RX_[static_cast<std::size_t>(m)] * dA) * k3) / cconv;
      d.dR_dXI[m] = 0.0;
      continue;
    }
    d.dR_dU[m + m * NCOMP] = k2;
    d.dR_dUX[m + m * NCOMP] = k1;
    d.dQ_dXI[m] =
        ((RX_[static_cast<std::size_t>(m)] * dA + dSL[static_cast<std::size_t>(m)]) * k3) / cconv;
    d.dR_dXI[m] = UX[m] * dk1 + U[m] * dk2;
  }
  return true;
}

// Declared kinetics give no derivatives of their own: dRX/dU by forward
// differences of the evaluator, a step of sqrt(eps) relative to the value
// (or to 1 for values below 1), into dRX_ by columns. False when a rate is
// not finite.
bool EstuaryModel::declared_rate_derivatives(const ReactionPoint& point, int NCOMP,
                                             const double* U, const double* UX) {
  if (!rates_->rates(point, U, UX, RX_.data())) return false;
  constexpr double kRelativeStep = 1.4901161193847656e-8;  // sqrt(2^-52)
  for (int j = 0; j < NCOMP; ++j) Upert_[static_cast<std::size_t>(j)] = U[j];
  for (int j = 0; j < NCOMP; ++j) {
    const double u = U[j];
    const double step = kRelativeStep * std::max(std::fabs(u), 1.0);
    Upert_[static_cast<std::size_t>(j)] = u + step;
    const double h = Upert_[static_cast<std::size_t>(j)] - u;  // the step as represented
    const bool finite = rates_->rates(point, Upert_.data(), UX, RXpert_.data());
    Upert_[static_cast<std::size_t>(j)] = u;
    if (!finite) return false;
    for (int m = 0; m < NCOMP; ++m)
      dRX_[static_cast<std::size_t>(m + j * NCOMP)] =
          (RXpert_[static_cast<std::size_t>(m)] - RX_[static_cast<std::size_t>(m)]) / h;
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
  for (int m = 0; m < NCOMP; ++m)
    dGAMMA_dU[m + m * NCOMP] = moves_[static_cast<std::size_t>(m)] ? diagonal : 0.0;
  return true;
}

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

void EstuaryModel::coefficients_over(double T, double XI, double XA, double XB, const double* U,
                                     const double* UX, Coefficients& out) const {
  coefficients(T, XI, U, UX, out);
  if (!means_.any()) return;
  const double Xa = XA * ms_.XCONV, Xb = XB * ms_.XCONV;
  if (means_.sources) {
    QueryScratch& q = query();
    const double TD = days(T);
    double S = 0.0;
    ms_.var_drv.lookup(q.io, TD, S, kDriverFlow, q.pos.ilast_drv(kDriverFlow));
    ms_.load_best.mean_over(q.io, ms_, q.pos, TD, Xa, Xb, S, out.flow, out.lateral.data());
    out.dispersion = channel_.dispersion(XI * ms_.XCONV, out.flow);
    for (int m = 0; m < ms_.NCOMP; ++m)
      if (!moves_[static_cast<std::size_t>(m)]) out.lateral[static_cast<std::size_t>(m)] = 0.0;
  }
  if (means_.channel && !channel_.built_in()) {
    out.area = channel_.mean_area(Xa, Xb);
    out.dispersion = channel_.mean_conductance(Xa, Xb, out.flow) / out.area;
  }
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
