// The iteration matrix of the moving-grid residual from derivatives.
//
// For M = 0 an interval [x_a, x_b] of length h has its evaluation point at
// the midpoint, U = (u_a + u_b)/2, UX = (u_b - u_a)/h and capacity weights
// h/2. A point's transport row gathers, from each of its intervals, the term
//   sigma * (h/2 (S_p + Q) + s_R R)       (s_R = -1 at a, +1 at b)
// with sigma = 1 inside, BETA at the left end and -BETA at the right end, the
// boundary rows adding GAMMA; S_p = sum_j C(k, j) V_j with the rate at a
// fixed position V_j = u'_j - x'_p (u_{j,p+1} - u_{j,p-1})/(x_{p+1} - x_{p-1})
// inside, u'_j at the ends. A grid row is delay_{p-1} - delay_p + ratio_{p-1}
// - ratio_p with ratio_i = n~_i/m_i and delay_i = TAU d~_i/m_i (see the grid
// equations). Each term is differentiated by hand; the test compares every
// entry with difference quotients of the residual.
#include <array>
#include <cmath>

#include "discretisation/skm.h"
#include "discretisation/skm_kernels.h"

namespace qz5 {
namespace {

constexpr int kMaxComponents = 16;
// The number of equations of the estuary model, unrolled at compile time.
constexpr int kUnrolledComponents = 6;
using Square = std::array<double, kMaxComponents * kMaxComponents>;
using Column = std::array<double, kMaxComponents>;

// The band storage seen block by block: the entries of the rows of point p
// and the columns of point q. Entry (row k, column j) of that block, k and j
// from 0, lies at block(p, q)[j * step() + k]: a block's column is contiguous.
class BandBlocks {
 public:
  BandBlocks(double* PD, int nvar, double CJ)
      : PD_(PD), nvar_(nvar), band_(2 * nvar), lda_(3 * band_ + 1), CJ_(CJ) {}
  double* block(int p, int q) const {
    return PD_ + static_cast<std::ptrdiff_t>(q) * nvar_ * lda_ + (p - q) * nvar_ + 2 * band_;
  }
  // The position column of point q in the rows of point p.
  double* position_column(int p, int q) const { return block(p, q) + (nvar_ - 1) * step(); }
  int step() const { return lda_ - 1; }
  double CJ() const { return CJ_; }
  // d(row (k, p))/d(Y (j, q)) += v, k and j from 1; the YPRIME derivatives through dyp.
  void dy(int k, int p, int j, int q, double v) const { block(p, q)[(j - 1) * step() + k - 1] += v; }
  void dyp(int k, int p, int j, int q, double v) const { dy(k, p, j, q, CJ_ * v); }

 private:
  double* PD_;
  int nvar_, band_, lda_;
  double CJ_;
};

// What the capacity sums of a point depend on: its rates at a fixed position
// V_j = u'_j - x' (u_{j,p+1} - u_{j,p-1})/(x_{p+1} - x_{p-1}) (u'_j at the
// ends) and the central quotients in them. Formed once per point and handed
// from the right point of one interval to the left point of the next.
struct PointRates {
  Column V{}, dudx{};
  double xd_dx = 0.0;  // x'_p/(x_{p+1} - x_{p-1})
  bool interior = false;
};

struct Interval {
  Square C{}, dQdU{}, dQdUX{}, dRdU{}, dRdUX{}, dCdXI{};
  Column Q{}, R{}, U{}, UX{}, dQdXI{}, dRdXI{};
  double h = 0.0;
};

class Jacobian {
 public:
  Jacobian(const SkmState& s, PdeProblem& p, double T, const double* Y, const double* YPRIME,
           double CJ, double* PD)
      : s_(s), p_(p), T_(T), Y_(Y), YP_(YPRIME), n_(s.NVAR - 1), nvar_(s.NVAR),
        npts_(s.NINNER + 2), band_(PD, s.NVAR, CJ) {}

  bool transport_rows(int& IRES);
  void grid_rows();

 private:
  double y(int k, int p) const { return Y_[skm_at(nvar_, k, p)]; }
  double yp(int k, int p) const { return YP_[skm_at(nvar_, k, p)]; }
  double x(int p) const { return y(nvar_, p); }
  double xdot(int p) const { return yp(nvar_, p); }
  static std::size_t at(int k, int j, int n) {
    return static_cast<std::size_t>(k + j * n);  // k, j from 0
  }

  void point_rates(int p, PointRates& r) const;
  bool coefficients(int a, Interval& I, int& IRES);
  template <int NC>
  void interval_terms(int a, const Interval& I, const PointRates& ra, const PointRates& rb,
                      const Column& sigma_a, const Column& sigma_b);
  void boundary_terms(int end, int& IRES);

  const SkmState& s_;
  PdeProblem& p_;
  double T_;
  const double* Y_;
  const double* YP_;
  int n_, nvar_, npts_;
  BandBlocks band_;
  Column BETA_{}, GAMMA_{};
};

void Jacobian::point_rates(int p, PointRates& r) const {
  r.interior = p >= 1 && p <= npts_ - 2;
  if (!r.interior) {
    for (int j = 0; j < n_; ++j) {
      r.V[static_cast<std::size_t>(j)] = yp(j + 1, p);
      r.dudx[static_cast<std::size_t>(j)] = 0.0;
    }
    r.xd_dx = 0.0;
    return;
  }
  const double dx = x(p + 1) - x(p - 1), xd = xdot(p);
  for (int j = 0; j < n_; ++j) {
    const std::size_t jj = static_cast<std::size_t>(j);
    r.dudx[jj] = (y(j + 1, p + 1) - y(j + 1, p - 1)) / dx;
    r.V[jj] = yp(j + 1, p) - xd * r.dudx[jj];
  }
  r.xd_dx = xd / dx;
}

bool Jacobian::coefficients(int a, Interval& I, int& IRES) {
  const int b = a + 1;
  I.h = x(b) - x(a);
  const double xi = (x(a) + x(b)) * 0.5;
  for (int k = 1; k <= n_; ++k) {
    I.U[static_cast<std::size_t>(k - 1)] = (y(k, a) + y(k, b)) * 0.5;
    I.UX[static_cast<std::size_t>(k - 1)] = (y(k, b) - y(k, a)) / I.h;
  }
  p_.spdef(T_, xi, n_, I.U.data(), I.UX.data(), I.C.data(), I.Q.data(), I.R.data(), IRES);
  if (IRES == 3) return false;
  CoefficientDerivatives d{I.dQdU.data(), I.dQdUX.data(), I.dRdU.data(), I.dRdUX.data(),
                           I.dCdXI.data(), I.dQdXI.data(), I.dRdXI.data()};
  return p_.coefficient_derivatives(T_, xi, n_, I.U.data(), I.UX.data(), d);
}

// sigma * (h/2 (S_p + Q) + s_R R) of interval [a, b = a+1] for both of its
// points p (s_R = -1 at a, +1 at b), every equation k, into the blocks of
// the rows of p. U = (u_a + u_b)/2 and UX = (u_b - u_a)/h give dU/du_a =
// dU/du_b = 1/2, dUX/du_b = -dUX/du_a = 1/h, dUX/dx_a = -dUX/dx_b = UX/h;
// the evaluation point moves by half of either end's displacement and the
// weight h/2 by -+1/2. The derivative blocks by u_a and u_b are formed once
// for both points; NC > 0 fixes the number of equations at compile time.
template <int NC>
void Jacobian::interval_terms(int a, const Interval& I, const PointRates& ra,
                              const PointRates& rb, const Column& sigma_a, const Column& sigma_b) {
  constexpr int kN = NC > 0 ? NC : kMaxComponents;
  const int n = NC > 0 ? NC : n_;
  const int b = a + 1, cs = band_.step();
  const double half = I.h * 0.5, ih = 1.0 / I.h, CJ = band_.CJ();
  double* __restrict aa = band_.block(a, a);
  double* __restrict ab = band_.block(a, b);
  double* __restrict ba = band_.block(b, a);
  double* __restrict bb = band_.block(b, b);
  double* __restrict xaa = band_.position_column(a, a);
  double* __restrict xab = band_.position_column(a, b);
  double* __restrict xba = band_.position_column(b, a);
  double* __restrict xbb = band_.position_column(b, b);
  // Equation by equation (row k of both points), with the sums over j:
  // the capacity sums S and dS/dxi of both points, the capacity against each
  // point's central quotients, and the terms through UX by the positions.
  double Ga[kN], Gb[kN];
  for (int k = 0; k < n; ++k) {
    const std::size_t kk = static_cast<std::size_t>(k);
    const double sa = sigma_a[kk], sb = sigma_b[kk];
    double Sa = 0.0, Sb = 0.0, dSa = 0.0, dSb = 0.0, ga = 0.0, gb = 0.0, tq = 0.0, tr = 0.0;
    for (int j = 0; j < n; ++j) {
      const std::size_t jj = static_cast<std::size_t>(j), kj = at(k, j, n);
      const double C = I.C[kj], dC = I.dCdXI[kj];
      const double qu = I.dQdU[kj], qux = I.dQdUX[kj], ru = I.dRdU[kj], rux = I.dRdUX[kj];
      // The source by the values enters all four blocks alike; the source
      // by the quotient, the flux and the capacity mostly couple a value
      // with itself only (a diagonal capacity, each value's own flux), so
      // the couplings without them are passed over.
      const double source = half * (0.5 * qu);
      const int e = j * cs + k;
      if (C == 0.0 && dC == 0.0 && qux == 0.0 && ru == 0.0 && rux == 0.0) {
        aa[e] += sa * source;
        ab[e] += sa * source;
        ba[e] += sb * source;
        bb[e] += sb * source;
        continue;
      }
      Sa += C * ra.V[jj];
      Sb += C * rb.V[jj];
      dSa += dC * ra.V[jj];
      dSb += dC * rb.V[jj];
      ga += C * ra.dudx[jj];
      gb += C * rb.dudx[jj];
      const double uxh = I.UX[jj] * ih;
      tq += half * qux * uxh;
      tr += rux * uxh;
      const double q_ux = half * (qux * ih);
      const double r_u = 0.5 * ru, r_ux = rux * ih;
      const double Fa = r_u - r_ux, Fb = r_u + r_ux;
      const double capacity = CJ * (half * C);
      aa[e] += sa * (source - q_ux - Fa + capacity);
      ab[e] += sa * (source + q_ux - Fb);
      ba[e] += sb * (source - q_ux + Fa);
      bb[e] += sb * (source + q_ux + Fb + capacity);
    }
    Ga[k] = ga;
    Gb[k] = gb;
    const double qa = Sa + I.Q[kk], qb = Sb + I.Q[kk];
    const double sq = half * 0.5 * I.dQdXI[kk], sr = 0.5 * I.dRdXI[kk];
    const double shared_a = half * 0.5 * dSa + sq - sr;
    const double shared_b = half * 0.5 * dSb + sq + sr;
    xaa[k] += sa * (-0.5 * qa + shared_a + (tq - tr));
    xab[k] += sa * (0.5 * qa + shared_a - (tq - tr));
    xba[k] += sb * (-0.5 * qb + shared_b + (tq + tr));
    xbb[k] += sb * (0.5 * qb + shared_b - (tq + tr));
  }
  // V_j at an interior point p through x'_p, u_{j,p+-1} and x_{p+-1}.
  for (int side = 0; side < 2; ++side) {
    const PointRates& r = side == 0 ? ra : rb;
    if (!r.interior) continue;
    const int p = side == 0 ? a : b;
    const Column& sigma = side == 0 ? sigma_a : sigma_b;
    const double* G = side == 0 ? Ga : Gb;
    double* __restrict um = band_.block(p, p - 1);
    double* __restrict upl = band_.block(p, p + 1);
    for (int j = 0; j < n; ++j) {
      const double* Cj = &I.C[at(0, j, n)];
      double* __restrict cm = um + j * cs;
      double* __restrict cpl = upl + j * cs;
      for (int k = 0; k < n; ++k) {
        if (Cj[k] == 0.0) continue;  // capacities are mostly diagonal
        const double c = sigma[static_cast<std::size_t>(k)] * half * Cj[k] * r.xd_dx;
        cpl[k] -= c;
        cm[k] += c;
      }
    }
    double* __restrict xp = band_.position_column(p, p);
    double* __restrict xm = band_.position_column(p, p - 1);
    double* __restrict xpl = band_.position_column(p, p + 1);
    for (int k = 0; k < n; ++k) {
      const double c = sigma[static_cast<std::size_t>(k)] * half * G[k];
      xp[k] -= CJ * c;
      xpl[k] += c * r.xd_dx;
      xm[k] -= c * r.xd_dx;
    }
  }
}

// GAMMA of one end: its derivatives by the end's values and by the one-sided
// quotient (u_1 - u_0)/(x_1 - x_0) handed to bndr.
void Jacobian::boundary_terms(int end, int& IRES) {
  const bool left = end == 0;
  const int p = left ? 0 : npts_ - 1;
  const int a = left ? 0 : npts_ - 2;
  const int b = a + 1;
  const double h = x(b) - x(a);
  Column UXq{};
  for (int k = 1; k <= n_; ++k) UXq[static_cast<std::size_t>(k - 1)] = (y(k, b) - y(k, a)) / h;
  Square dGdU{}, dGdUX{};
  const double* U = &Y_[skm_at(nvar_, 1, p)];
  p_.bndr(T_, BETA_.data(), GAMMA_.data(), U, UXq.data(), n_, left ? 1 : 0, IRES);
  if (IRES == 3) return;
  if (!p_.boundary_derivatives(T_, U, UXq.data(), n_, left ? 1 : 0, dGdU.data(), dGdUX.data())) {
    IRES = 3;
    return;
  }
  for (int k = 1; k <= n_; ++k) {
    for (int j = 1; j <= n_; ++j) {
      const double gu = dGdU[at(k - 1, j - 1, n_)], gx = dGdUX[at(k - 1, j - 1, n_)];
      band_.dy(k, p, j, p, gu);
      band_.dy(k, p, j, b, gx / h);
      band_.dy(k, p, j, a, -gx / h);
      const double q = UXq[static_cast<std::size_t>(j - 1)];
      band_.dy(k, p, nvar_, a, gx * q / h);
      band_.dy(k, p, nvar_, b, -gx * q / h);
    }
  }
}

bool Jacobian::transport_rows(int& IRES) {
  boundary_terms(0, IRES);
  if (IRES == 3) return false;
  Column left = BETA_;
  boundary_terms(1, IRES);
  if (IRES == 3) return false;
  Column right{}, inside{};
  for (int k = 0; k < n_; ++k) {
    const std::size_t kk = static_cast<std::size_t>(k);
    right[kk] = -BETA_[kk];
    inside[kk] = 1.0;
  }
  Interval I;
  PointRates ra, rb;
  point_rates(0, rb);
  for (int a = 0; a <= npts_ - 2; ++a) {
    if (!coefficients(a, I, IRES)) {
      if (IRES != 3) IRES = 3;
      return false;
    }
    ra = rb;
    point_rates(a + 1, rb);
    const Column& sigma_a = a == 0 ? left : inside;
    const Column& sigma_b = a + 1 == npts_ - 1 ? right : inside;
    if (n_ == kUnrolledComponents) {
      interval_terms<kUnrolledComponents>(a, I, ra, rb, sigma_a, sigma_b);
    } else {
      interval_terms<0>(a, I, ra, rb, sigma_a, sigma_b);
    }
  }
  return true;
}

void Jacobian::grid_rows() {
  const int last = npts_ - 2;  // last interval
  const double KK = (1.0 + s_.KAPPA) * s_.KAPPA;
  auto n_of = [&](int i) { return 1.0 / (x(i + 1) - x(i)); };
  auto d_of = [&](int i) {
    const double ni = n_of(i);
    return (xdot(i + 1) - xdot(i)) * ni * ni;
  };
  // Row of point p: delay_{p-1} - delay_p + ratio_{p-1} - ratio_p. Interval
  // i enters the rows of points i + 1 (sign +1) and i (sign -1).
  for (int i = 0; i <= last; ++i) {
    // Smoothing weights of n_{i-1}, n_i, n_{i+1} in n~_i and of d in d~_i.
    double wn[3], wd[3];
    if (i == 0) {
      wn[0] = 0.0, wn[1] = 1.0 + KK, wn[2] = -KK;
      wd[0] = 0.0, wd[1] = -(KK + 1.0), wd[2] = KK;
    } else if (i == last) {
      wn[0] = -KK, wn[1] = 1.0 + KK, wn[2] = 0.0;
      wd[0] = KK, wd[1] = -(KK + 1.0), wd[2] = 0.0;
    } else {
      wn[0] = -KK, wn[1] = 1.0 + 2.0 * KK, wn[2] = -KK;
      wd[0] = KK, wd[1] = -(2.0 * KK + 1.0), wd[2] = KK;
    }
    double nt = 0.0, dt = 0.0;
    for (int o = -1; o <= 1; ++o) {
      const int j = i + o;
      if (wn[o + 1] == 0.0 && wd[o + 1] == 0.0) continue;
      nt += wn[o + 1] * n_of(j);
      dt += wd[o + 1] * d_of(j);
    }
    // Monitor of interval i.
    double sum = 0.0;
    for (int k = 1; k <= n_; ++k) {
      const double du = y(k, i + 1) - y(k, i);
      sum += du * du;
    }
    const double h = x(i + 1) - x(i);
    const double m = std::sqrt(sum / (h * h) / n_ + s_.ALPHA);
    const double ratio = nt / m;
    const double delay = (s_.TAU / m) * dt;
    // f_i = delay_i + ratio_i enters row i+1 with +1 and row i with -1 (end
    // rows excepted: they are x'_0 and x'_{N-1}).
    for (int row : {i, i + 1}) {
      if (row < 1 || row > npts_ - 2) continue;
      const double sign = row == i + 1 ? 1.0 : -1.0;
      // Through the monitor: -(f_i/m) dm.
      const double by_m = -sign * (ratio + delay) / m;
      for (int k = 1; k <= n_; ++k) {
        const double dm_du = ((y(k, i + 1) - y(k, i)) / (h * h) / n_) / m;
        band_.dy(nvar_, row, k, i + 1, by_m * dm_du);
        band_.dy(nvar_, row, k, i, -by_m * dm_du);
      }
      const double dm_dh = -(sum / (h * h * h) / n_) / m;
      band_.dy(nvar_, row, nvar_, i + 1, by_m * dm_dh);
      band_.dy(nvar_, row, nvar_, i, -by_m * dm_dh);
      // Through the smoothed concentrations and rates of intervals i-1..i+1.
      for (int o = -1; o <= 1; ++o) {
        const int j = i + o;
        if (wn[o + 1] == 0.0 && wd[o + 1] == 0.0) continue;
        const double nj = n_of(j), dj = d_of(j);
        const double cn = sign * wn[o + 1] / m;                 // per dn_j
        const double cd = sign * (s_.TAU / m) * wd[o + 1];      // per dd_j
        // n_j = 1/(x_{j+1} - x_j); d_j = (x'_{j+1} - x'_j) n_j^2.
        band_.dy(nvar_, row, nvar_, j + 1, -cn * nj * nj - cd * 2.0 * dj * nj);
        band_.dy(nvar_, row, nvar_, j, cn * nj * nj + cd * 2.0 * dj * nj);
        band_.dyp(nvar_, row, nvar_, j + 1, cd * nj * nj);
        band_.dyp(nvar_, row, nvar_, j, -cd * nj * nj);
      }
    }
  }
  // The end rows are x'_0 and x'_{N-1}.
  band_.dyp(nvar_, 0, nvar_, 0, 1.0);
  band_.dyp(nvar_, npts_ - 1, nvar_, npts_ - 1, 1.0);
}

}  // namespace

bool SKMJAC(const SkmState& s, PdeProblem& p, double T, const double* Y, const double* YPRIME,
            double CJ, double* PD, int& IRES) {
  if (!s.is_set_up() || s.M != 0 || s.AT_ORIGIN != 0 || s.NVAR - 1 > kMaxComponents) return false;
  Jacobian j(s, p, T, Y, YPRIME, CJ, PD);
  if (!j.transport_rows(IRES)) return false;
  j.grid_rows();
  return true;
}

}  // namespace qz5
