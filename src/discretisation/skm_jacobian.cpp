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
using Square = std::array<double, kMaxComponents * kMaxComponents>;
using Column = std::array<double, kMaxComponents>;

// Accumulates entries of the band matrix by solution-layout positions.
class BandAccumulator {
 public:
  BandAccumulator(double* PD, int nvar, int band, double CJ)
      : PD_(PD), nvar_(nvar), band_(band), lda_(3 * band + 1), CJ_(CJ) {}
  // d(row (k, p))/d(Y (j, q)) += v; the YPRIME derivatives go through dyp.
  void dy(int k, int p, int j, int q, double v) const { at(k, p, j, q) += v; }
  void dyp(int k, int p, int j, int q, double v) const { at(k, p, j, q) += CJ_ * v; }

 private:
  double& at(int k, int p, int j, int q) const {
    const int I = p * nvar_ + k;  // 1-based row and column
    const int J = q * nvar_ + j;
    return PD_[static_cast<std::size_t>((J - 1) * lda_ + (I - J + 2 * band_ + 1) - 1)];
  }
  double* PD_;
  int nvar_, band_, lda_;
  double CJ_;
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
        npts_(s.NINNER + 2), acc_(PD, s.NVAR, 2 * s.NVAR, CJ) {}

  bool transport_rows(int& IRES);
  void grid_rows();

 private:
  double y(int k, int p) const { return Y_[skm_at(nvar_, k, p)]; }
  double yp(int k, int p) const { return YP_[skm_at(nvar_, k, p)]; }
  double x(int p) const { return y(nvar_, p); }
  double xdot(int p) const { return yp(nvar_, p); }
  static std::size_t at(int k, int j, int n) {
    return static_cast<std::size_t>((k - 1) + (j - 1) * n);
  }

  bool coefficients(int a, Interval& I, int& IRES);
  void interval_terms(int a, const Interval& I, int p, const Column& sigma);
  void boundary_terms(int end, int& IRES);

  const SkmState& s_;
  PdeProblem& p_;
  double T_;
  const double* Y_;
  const double* YP_;
  int n_, nvar_, npts_;
  BandAccumulator acc_;
  Column BETA_{}, GAMMA_{};
};

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

// sigma * (h/2 (S_p + Q) + s_R R) of interval [a, a+1] for point p of it,
// every equation k.
void Jacobian::interval_terms(int a, const Interval& I, int p, const Column& sigmas) {
  const int b = a + 1;
  const double half = I.h * 0.5;
  const double sR = p == a ? -1.0 : 1.0;
  const bool interior = p >= 1 && p <= npts_ - 2;
  // Rates V_j at p and what they depend on.
  Column V{}, dudx{};
  double dx = 1.0, xd = 0.0;
  if (interior) {
    dx = x(p + 1) - x(p - 1);
    xd = xdot(p);
  }
  for (int j = 1; j <= n_; ++j) {
    const std::size_t jj = static_cast<std::size_t>(j - 1);
    dudx[jj] = interior ? (y(j, p + 1) - y(j, p - 1)) / dx : 0.0;
    V[jj] = yp(j, p) - xd * dudx[jj];
  }
  for (int k = 1; k <= n_; ++k) {
    const std::size_t kk = static_cast<std::size_t>(k - 1);
    const double sigma = sigmas[kk];
    if (sigma == 0.0) continue;
    double S = 0.0, dS_dxi = 0.0;
    for (int j = 1; j <= n_; ++j) {
      S += I.C[at(k, j, n_)] * V[static_cast<std::size_t>(j - 1)];
      dS_dxi += I.dCdXI[at(k, j, n_)] * V[static_cast<std::size_t>(j - 1)];
    }
    const double sq = S + I.Q[kk];
    // Through h and the evaluation point (at the midpoint: d xi/dx = 1/2).
    double dxa = -0.5 * sq + half * (0.5 * dS_dxi + 0.5 * I.dQdXI[kk]) + sR * 0.5 * I.dRdXI[kk];
    double dxb = 0.5 * sq + half * (0.5 * dS_dxi + 0.5 * I.dQdXI[kk]) + sR * 0.5 * I.dRdXI[kk];
    for (int j = 1; j <= n_; ++j) {
      const std::size_t jj = static_cast<std::size_t>(j - 1);
      const double q_ux = I.dQdUX[at(k, j, n_)], r_ux = I.dRdUX[at(k, j, n_)];
      const double q_u = I.dQdU[at(k, j, n_)], r_u = I.dRdU[at(k, j, n_)];
      // UX = (u_b - u_a)/h: dUX/dx_a = UX/h, dUX/dx_b = -UX/h.
      const double through_ux = (half * q_ux + sR * r_ux) * I.UX[jj] / I.h;
      dxa += through_ux;
      dxb -= through_ux;
      const double du_a = half * (0.5 * q_u - q_ux / I.h) + sR * (0.5 * r_u - r_ux / I.h);
      const double du_b = half * (0.5 * q_u + q_ux / I.h) + sR * (0.5 * r_u + r_ux / I.h);
      acc_.dy(k, p, j, a, sigma * du_a);
      acc_.dy(k, p, j, b, sigma * du_b);
      // The capacity sum through V_j at p.
      const double c = sigma * half * I.C[at(k, j, n_)];
      acc_.dyp(k, p, j, p, c);
      if (interior) {
        acc_.dyp(k, p, nvar_, p, -c * dudx[jj]);
        acc_.dy(k, p, j, p + 1, -c * xd / dx);
        acc_.dy(k, p, j, p - 1, c * xd / dx);
        acc_.dy(k, p, nvar_, p + 1, c * xd * dudx[jj] / dx);
        acc_.dy(k, p, nvar_, p - 1, -c * xd * dudx[jj] / dx);
      }
    }
    acc_.dy(k, p, nvar_, a, sigma * dxa);
    acc_.dy(k, p, nvar_, b, sigma * dxb);
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
      const double gu = dGdU[at(k, j, n_)], gx = dGdUX[at(k, j, n_)];
      acc_.dy(k, p, j, p, gu);
      acc_.dy(k, p, j, b, gx / h);
      acc_.dy(k, p, j, a, -gx / h);
      const double q = UXq[static_cast<std::size_t>(j - 1)];
      acc_.dy(k, p, nvar_, a, gx * q / h);
      acc_.dy(k, p, nvar_, b, -gx * q / h);
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
  for (int a = 0; a <= npts_ - 2; ++a) {
    if (!coefficients(a, I, IRES)) {
      if (IRES != 3) IRES = 3;
      return false;
    }
    for (int p : {a, a + 1}) {
      const Column& sigma = p == 0 ? left : (p == npts_ - 1 ? right : inside);
      interval_terms(a, I, p, sigma);
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
        acc_.dy(nvar_, row, k, i + 1, by_m * dm_du);
        acc_.dy(nvar_, row, k, i, -by_m * dm_du);
      }
      const double dm_dh = -(sum / (h * h * h) / n_) / m;
      acc_.dy(nvar_, row, nvar_, i + 1, by_m * dm_dh);
      acc_.dy(nvar_, row, nvar_, i, -by_m * dm_dh);
      // Through the smoothed concentrations and rates of intervals i-1..i+1.
      for (int o = -1; o <= 1; ++o) {
        const int j = i + o;
        if (wn[o + 1] == 0.0 && wd[o + 1] == 0.0) continue;
        const double nj = n_of(j), dj = d_of(j);
        const double cn = sign * wn[o + 1] / m;                 // per dn_j
        const double cd = sign * (s_.TAU / m) * wd[o + 1];      // per dd_j
        // n_j = 1/(x_{j+1} - x_j); d_j = (x'_{j+1} - x'_j) n_j^2.
        acc_.dy(nvar_, row, nvar_, j + 1, -cn * nj * nj - cd * 2.0 * dj * nj);
        acc_.dy(nvar_, row, nvar_, j, cn * nj * nj + cd * 2.0 * dj * nj);
        acc_.dyp(nvar_, row, nvar_, j + 1, cd * nj * nj);
        acc_.dyp(nvar_, row, nvar_, j, -cd * nj * nj);
      }
    }
  }
  // The end rows are x'_0 and x'_{N-1}.
  acc_.dyp(nvar_, 0, nvar_, 0, 1.0);
  acc_.dyp(nvar_, npts_ - 1, nvar_, npts_ - 1, 1.0);
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
