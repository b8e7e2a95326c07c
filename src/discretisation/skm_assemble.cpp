// Transport rows of the moving-grid residual, built interval by interval.
//
// Every point owns the control volume between the split points of its two
// intervals; integrating the PDE over it with weight x^M balances capacity
// and source (weighted by WL, WR) against the fluxes at the two interval
// evaluation points. The order of every floating-point operation is part of
// the contract: results must agree bit for bit with the reference runs.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "discretisation/skm_kernels.h"

namespace qz5 {

namespace {

// skm_ipow, inlined where the assembly calls it (a known k folds the loop).
[[gnu::always_inline]] inline double ipow_nonnegative(double x, int k) {
  double result = 1.0;
  double base = x;
  for (unsigned u = static_cast<unsigned>(k); u != 0;) {
    if (u & 1u) result *= base;
    u >>= 1;
    if (u != 0) base *= base;
  }
  return result;
}

[[gnu::always_inline]] inline double ipow(double x, int k) {
  if (k < 0) return 1.0 / ipow_nonnegative(x, -k);
  return ipow_nonnegative(x, k);
}

// Two lanes of doubles at any 8-byte boundary. The systems' values of one
// point are adjacent in the solution layout, so the per-constituent loops of
// a compile-time NCOMP take two constituents at a time: each lane does the
// same IEEE operations, in the same order, as the scalar loop (the build
// contracts nothing into fused multiply-adds), so the bits are the same.
typedef double Lanes __attribute__((vector_size(16), aligned(8)));
inline Lanes load2(const double* p) { return *reinterpret_cast<const Lanes*>(p); }
inline void store2(double* p, Lanes v) { *reinterpret_cast<Lanes*>(p) = v; }
inline Lanes splat(double v) { return Lanes{v, v}; }

// Single-precision value of 2/3: the origin-mode evaluation point uses this
// constant, not the double 2/3.
constexpr double kTwoThirdsSingle = 0.6666666865348816;

// Normaliser q of the basis function on [xa, xb].
[[gnu::always_inline]] inline double normaliser(double xa, double xb, int M) {
  if (M == 1) return 1.0 / std::log(xb / xa);
  return static_cast<double>(1 - M) / (ipow(xb, 1 - M) - ipow(xa, 1 - M));
}

// Evaluation point xi and flux weight g.
[[gnu::always_inline]] inline void evaluation_point(double xa, double xb, int M, int AT_ORIGIN,
                                                    IntervalGeometry& G) {
  if (AT_ORIGIN == 1) {
    G.xi = ((std::pow(xb, 3.0) - std::pow(xa, 3.0)) * kTwoThirdsSingle) /
           (std::pow(xb, 2.0) - std::pow(xa, 2.0));
    G.g = 1.0 / G.xi;
  } else if (M == 1) {
    G.xi = (xb - xa) * G.q;
    G.g = G.xi;
  } else if (M == 2) {
    G.xi = std::log(xb / xa) * G.q;
    G.g = G.xi * G.xi;
  } else {
    G.xi = ((ipow(xb, 2 - M) - ipow(xa, 2 - M)) / static_cast<double>(2 - M)) * G.q;
    G.g = (M == 0) ? 1.0 : ipow(G.xi, M);
  }
}

// Split value s, flux factor f, weight w and derivative factor d.
[[gnu::always_inline]] inline void split_and_weights(double xa, double xb, int M, int AT_ORIGIN,
                                                     bool first, IntervalGeometry& G) {
  const double xb2 = ipow(xb, 2);
  const double xa2 = ipow(xa, 2);
  if (AT_ORIGIN == 1) {
    const double p = 1.0 / (xb2 - xa2);
    G.w = (xb2 - ipow(G.xi, 2)) * p;
    G.d = G.xi * p * -2.0;
    G.s = first ? 0.0 : (xb2 - xa2) * G.q * 0.5;
    G.f = G.s;
    return;
  }
  G.s = (xb2 - xa2) * G.q * 0.5;
  G.f = 1.0;
  if (M == 1) {
    G.w = std::log(xb / G.xi) * G.q;
    G.d = (-1.0 / G.xi) * G.q;
  } else if (M == 0) {
    G.w = (xb - G.xi) * G.q;
    G.d = -G.q;
  } else {
    G.w = ((ipow(xb, 1 - M) - ipow(G.xi, 1 - M)) / static_cast<double>(1 - M)) * G.q;
    G.d = -(ipow(G.xi, -M) * G.q);
  }
}

// Time derivative at a fixed position, V(j, n): the node's own derivative
// minus the node velocity times the central difference quotient of u. At the
// two end points the node's own derivative is used as it stands.
double fixed_position_rate(const double* Y, const double* YPRIME, int nvar, int j, int n,
                           bool interior) {
  const double udot = YPRIME[skm_at(nvar, j, n)];
  if (!interior) return udot;
  const double xdot = YPRIME[skm_at(nvar, nvar, n)];
  const double du = Y[skm_at(nvar, j, n + 1)] - Y[skm_at(nvar, j, n - 1)];
  const double dx = Y[skm_at(nvar, nvar, n + 1)] - Y[skm_at(nvar, nvar, n - 1)];
  return udot - xdot * du / dx;
}

// The capacity sums S_n(k) = sum over j of C(k, j) * V(j, n), each summed in
// increasing j, of the two points of the current interval.
//
// An interior point's rates V are the same in both of its intervals, so they
// are evaluated once per point and handed on from the right point of one
// interval to the left point of the next; all sums of a point are formed
// together, column by column of C, so that they advance side by side instead
// of one after another (each sum still adds its terms in the same order).
// NC > 0 fixes the number of equations at compile time, so that the rates and
// sums of an interval stay in registers; NC = 0 takes it from the caller.
// Systems of more than kMaxComponents equations evaluate every sum directly
// where it is needed: same values, more work.
template <int NC>
class CapacitySums {
 public:
  static constexpr int kMaxComponents = NC > 0 ? NC : 16;

  CapacitySums(const double* Y, const double* YPRIME, int NCOMP, int npts, bool diagonal)
      : Y_(Y),
        YPRIME_(YPRIME),
        NCOMP_(NC > 0 ? NC : NCOMP),
        npts_(npts),
        cached_(NCOMP_ <= kMaxComponents),
        diagonal_(diagonal) {}
  // NCOMP, a constant when NC fixes it (the loops then unroll).
  int nc() const { return NC > 0 ? NC : NCOMP_; }
  // Whether the sums are kept: always for a compile-time NC (at most 16).
  bool cached() const { return NC > 0 || cached_; }

  CapacitySums(const CapacitySums&) = delete;
  CapacitySums& operator=(const CapacitySums&) = delete;

  // Makes points a and a + 1 current and forms their sums with this
  // interval's capacity matrix C.
  void evaluate(int a, const double* C) {
    C_ = C;
    if (!cached()) {
      a_ = a;
      return;
    }
    if (a == a_ + 1) {
      v_left_ = v_right_;
      finite_left_ = finite_right_;
    } else {
      finite_left_ = point_rates(a, v_left_.data());
    }
    finite_right_ = point_rates(a + 1, v_right_.data());
    a_ = a;
    if (diagonal_ && finite_left_ && finite_right_) {
      diagonal_sums(v_left_.data(), s_left_.data());
      diagonal_sums(v_right_.data(), s_right_.data());
      return;
    }
    form_sums(v_left_.data(), s_left_.data());
    form_sums(v_right_.data(), s_right_.data());
  }

  // As evaluate, for the capacity matrix capacity times the identity with
  // its off-diagonal elements +0.0 (NC > 0 only): the same sums.
  // The rates move from the right point to the left one by exchanging the
  // two arrays' roles rather than by a copy.
  [[gnu::always_inline]] void evaluate_scalar(int a, double capacity) {
    static_assert(NC > 0);
    if (a == a_ + 1) {
      std::swap(vl_, vr_);
      finite_left_ = finite_right_;
    } else {
      finite_left_ = point_rates(a, vl_);
    }
    finite_right_ = point_rates(a + 1, vr_);
    a_ = a;
    if (finite_left_ && finite_right_) {
      scalar_sums(capacity, vl_, s_left_.data());
      scalar_sums(capacity, vr_, s_right_.data());
      return;
    }
    form_scalar_sums(capacity, vl_, s_left_.data());
    form_scalar_sums(capacity, vr_, s_right_.data());
  }

  // evaluate_scalar and both contributions of interior interval a (its
  // right point interior too) in one pass: with every rate finite the sums
  // go from the rates straight into the rows, S = 0.0 + capacity V, the
  // same operations as the sums kept and read back. SLAB as in
  // IntervalTerms::interior. Point a must be current (a == a_ + 1).
  template <bool SLAB>
  [[gnu::always_inline]] void interior_rows(int a, double capacity, const IntervalGeometry& G,
                                            const double* Q, const double* R, double* DELTA,
                                            double* FSPART) {
    static_assert(NC > 0 && NC % 2 == 0);
    std::swap(vl_, vr_);
    finite_left_ = finite_right_;
    finite_right_ = interior_point_rates(a + 1, vr_);
    a_ = a;
    constexpr int nvar = NC + 1;
    double* dl = DELTA + skm_at(nvar, 1, a);
    double* fl = FSPART + skm_at(nvar, 1, a);
    double* dr = DELTA + skm_at(nvar, 1, a + 1);
    double* fr = FSPART + skm_at(nvar, 1, a + 1);
    const Lanes WL = splat(G.WL), WR = splat(G.WR), g = splat(G.g), f = splat(G.f);
    const Lanes c = splat(capacity), zero = {0.0, 0.0};
    auto rows = [&](auto sums_at) {
#pragma GCC unroll 8
      for (int k = 0; k < NC; k += 2) {
        Lanes sl, sr;
        sums_at(k, sl, sr);
        const Lanes q = load2(Q + k);
        const Lanes F = SLAB ? load2(R + k) : load2(R + k) * g * f;
        store2(dl + k, load2(dl + k) + sl * WL);
        store2(fl + k, load2(fl + k) - q * WL + F);
        store2(dr + k, sr * WR);
        store2(fr + k, -(q * WR + F));
      }
    };
    if (finite_left_ && finite_right_) {
      rows([&](int k, Lanes& sl, Lanes& sr) {
        sl = zero + c * load2(vl_ + k);
        sr = zero + c * load2(vr_ + k);
      });
      return;
    }
    form_scalar_sums(capacity, vl_, s_left_.data());
    form_scalar_sums(capacity, vr_, s_right_.data());
    rows([&](int k, Lanes& sl, Lanes& sr) {
      sl = load2(s_left_.data() + k);
      sr = load2(s_right_.data() + k);
    });
  }

  // interior_rows for the interior intervals a0, a0 + 1, ... (every one
  // with its right point interior) while the rates of both points of an
  // interval are finite, their rates, sums and rows in registers: the same
  // operations as interior_rows, one pass. G, capacity, Q and R are those of
  // the intervals from a0 on. Returns how many intervals it did (at most n);
  // the next interval, if any, then has a point whose rates are not finite
  // (or a left point that is the first end) and goes through interior_rows.
  template <bool SLAB>
  [[gnu::always_inline]] int interior_run(int a0, int n, const double* capacity,
                                          const IntervalGeometry* G, const double* Q,
                                          const double* R, double* DELTA, double* FSPART) {
    static_assert(NC == 6);
    constexpr int nvar = NC + 1;
    if (!(a0 == a_ + 1 && finite_right_)) return 0;
    Lanes v0 = load2(vr_), v1 = load2(vr_ + 2), v2 = load2(vr_ + 4);  // point a's rates
    const Lanes zero = {0.0, 0.0};
    int i = 0;
    for (; i < n; ++i) {
      const int a = a0 + i;
      const double* y = Y_ + skm_at(nvar, 1, a);  // point a; a + 1 and a + 2 follow
      const double* yp = YPRIME_ + skm_at(nvar, 1, a + 1);
      const Lanes xdot = splat(yp[NC]);
      const Lanes dx = splat(y[2 * nvar + NC] - y[NC]);
      const double* up = y + 2 * nvar;
      const Lanes w0 = load2(yp) - xdot * (load2(up) - load2(y)) / dx;
      const Lanes w1 = load2(yp + 2) - xdot * (load2(up + 2) - load2(y + 2)) / dx;
      const Lanes w2 = load2(yp + 4) - xdot * (load2(up + 4) - load2(y + 4)) / dx;
      const Lanes z2 = (w0 + w1) + w2;
      const double z = z2[0] + z2[1];
      if (!(z - z == 0.0)) break;
      const Lanes c = splat(capacity[i]), WL = splat(G[i].WL), WR = splat(G[i].WR);
      const Lanes g = splat(G[i].g), f = splat(G[i].f);
      double* dl = DELTA + skm_at(nvar, 1, a);
      double* fl = FSPART + skm_at(nvar, 1, a);
      double* dr = dl + nvar;
      double* fr = fl + nvar;
      const double* q = Q + i * NC;
      const double* r = R + i * NC;
      auto rows = [&](int k, Lanes vl, Lanes vr) {
        const Lanes sl = zero + c * vl, sr = zero + c * vr;
        const Lanes qk = load2(q + k);
        const Lanes F = SLAB ? load2(r + k) : load2(r + k) * g * f;
        // Point a is complete: its residual DELTA - FSPART goes to DELTA.
        const Lanes f_left = load2(fl + k) - qk * WL + F;
        store2(fl + k, f_left);
        store2(dl + k, (load2(dl + k) + sl * WL) - f_left);
        store2(dr + k, sr * WR);
        store2(fr + k, -(qk * WR + F));
      };
      rows(0, v0, w0);
      rows(2, v1, w1);
      rows(4, v2, w2);
      v0 = w0, v1 = w1, v2 = w2;
    }
    if (i > 0) {
      store2(vr_, v0), store2(vr_ + 2, v1), store2(vr_ + 4, v2);
      a_ = a0 + i - 1;
    }
    return i;
  }

  // All sums of points a and a + 1 (NC > 0 only: they are then always kept).
  const double* left_sums() const { return s_left_.data(); }
  const double* right_sums() const { return s_right_.data(); }

  // S_a(k) and S_{a+1}(k) of the current interval.
  double left(int k) const {
    return cached() ? s_left_[static_cast<std::size_t>(k - 1)] : direct(k, a_);
  }
  double right(int k) const {
    return cached() ? s_right_[static_cast<std::size_t>(k - 1)] : direct(k, a_ + 1);
  }

 private:
  // V(1..NCOMP, n) into V; the quotient of the positions is the same for
  // every j. Returns true only when every V is finite.
  [[gnu::always_inline]] bool point_rates(int n, double* V) const {
    if (n >= 1 && n <= npts_ - 2) return interior_point_rates(n, V);
    const int nvar = nc() + 1;
    for (int j = 1; j <= nc(); ++j) V[j - 1] = YPRIME_[skm_at(nvar, j, n)];
    return all_finite(V);
  }
  // point_rates of an interior point n.
  [[gnu::always_inline]] bool interior_point_rates(int n, double* V) const {
    const int nvar = nc() + 1;
    {
      const double xdot = YPRIME_[skm_at(nvar, nvar, n)];
      const double dx = Y_[skm_at(nvar, nvar, n + 1)] - Y_[skm_at(nvar, nvar, n - 1)];
      const double* up = Y_ + skm_at(nvar, 1, n + 1);
      const double* um = Y_ + skm_at(nvar, 1, n - 1);
      const double* udot = YPRIME_ + skm_at(nvar, 1, n);
      int j = 0;
      if constexpr (NC > 0) {
        const Lanes xdot2 = splat(xdot), dx2 = splat(dx);
#pragma GCC unroll 8
        for (; j + 2 <= NC; j += 2) {
          store2(V + j, load2(udot + j) - xdot2 * (load2(up + j) - load2(um + j)) / dx2);
        }
      }
      for (; j < nc(); ++j) V[j] = udot[j] - xdot * (up[j] - um[j]) / dx;
    }
    return all_finite(V);
  }
  [[gnu::always_inline]] bool all_finite(const double* V) const {
    // The sum is finite only when every V is (an overflow of finite values
    // just takes the full sums, which then give the same bits, so the order
    // of the sum does not matter); z - z is 0 for a finite z, NaN otherwise.
    if constexpr (NC > 0 && NC % 2 == 0) {
      Lanes z2 = load2(V);
#pragma GCC unroll 8
      for (int j = 2; j < NC; j += 2) z2 = z2 + load2(V + j);
      const double z = z2[0] + z2[1];
      return z - z == 0.0;
    }
    double z = 0.0;
    const int n_rates = nc();
#pragma GCC unroll 16
    for (int j = 0; j < n_rates; ++j) z = z + V[j];
    return z - z == 0.0;
  }

  // The sums of a diagonal C. With every V finite each product C(k, j) V(j)
  // off the diagonal is a zero (of either sign), and a sum that starts at
  // +0.0 and adds zeros stays +0.0 up to the diagonal term and keeps its
  // value after it: S(k) is exactly 0.0 + C(k, k) V(k), a negative zero
  // product becoming +0.0 as in the full sum. A V that is not finite would
  // turn the zeros into NaN, so such points take the full sums.
  void diagonal_sums(const double* V, double* S) const {
    const int n = nc();
    if constexpr (NC > 0 && NC % 2 == 0) {
      // Two per register: the same product and sum per element.
      constexpr std::size_t step = NC + 1;
#pragma GCC unroll 8
      for (int k = 0; k < NC; k += 2) {
        const std::size_t at = static_cast<std::size_t>(k) * step;
        const Lanes c = {C_[at], C_[at + step]};
        store2(S + k, Lanes{0.0, 0.0} + c * load2(V + k));
      }
      return;
    }
#pragma GCC unroll 16
    for (int k = 0; k < n; ++k) {
      S[k] = 0.0 + C_[static_cast<std::size_t>(k) * static_cast<std::size_t>(nc() + 1)] * V[k];
    }
  }

  // diagonal_sums with every diagonal element the capacity c.
  void scalar_sums(double c, const double* V, double* S) const {
    const Lanes c2 = splat(c);
#pragma GCC unroll 8
    for (int k = 0; k + 2 <= NC; k += 2) store2(S + k, Lanes{0.0, 0.0} + c2 * load2(V + k));
    if constexpr (NC % 2 != 0) S[NC - 1] = 0.0 + c * V[NC - 1];
  }
  // form_sums of c times the identity, its zeros multiplied as stored.
  void form_scalar_sums(double c, const double* V, double* S) const {
    for (int k = 0; k < nc(); ++k) S[k] = 0.0;
    for (int j = 0; j < nc(); ++j) {
      const double vj = V[j];
      for (int k = 0; k < nc(); ++k) S[k] = S[k] + (k == j ? c : 0.0) * vj;
    }
  }

  void form_sums(const double* V, double* S) const {
    for (int k = 0; k < nc(); ++k) S[k] = 0.0;
    for (int j = 0; j < nc(); ++j) {
      const double vj = V[j];
      const double* column = C_ + static_cast<std::size_t>(j) * static_cast<std::size_t>(nc());
      for (int k = 0; k < nc(); ++k) S[k] = S[k] + column[k] * vj;
    }
  }

  double direct(int k, int n) const {
    const int nvar = nc() + 1;
    const bool interior = n >= 1 && n <= npts_ - 2;
    double sum = 0.0;
    for (int j = 1; j <= nc(); ++j) {
      const double cij = C_[static_cast<std::size_t>((k - 1) + (j - 1) * nc())];
      sum = sum + cij * fixed_position_rate(Y_, YPRIME_, nvar, j, n, interior);
    }
    return sum;
  }

  const double* Y_;
  const double* YPRIME_;
  int NCOMP_;
  int npts_;
  bool cached_;
  bool diagonal_;
  bool finite_left_ = false, finite_right_ = false;
  const double* C_ = nullptr;
  int a_ = -2;
  std::array<double, kMaxComponents> v_left_{};  // rates of point a
  std::array<double, kMaxComponents> v_right_{};  // rates of point a + 1
  std::array<double, kMaxComponents> s_left_{};
  std::array<double, kMaxComponents> s_right_{};
  double* vl_ = v_left_.data();  // evaluate_scalar's rates of points a and a + 1
  double* vr_ = v_right_.data();
};

// U and UX at the interval's evaluation point; NC > 0 is NCOMP fixed at
// compile time.
template <int NC>
[[gnu::always_inline]] inline void values_at_xi(const double* Y, int nvar, int a, const IntervalGeometry& G, double* U,
                  double* UX) {
  int first = 1;
  if constexpr (NC > 0) {
    const double* ya = Y + skm_at(nvar, 1, a);
    const double* yb = Y + skm_at(nvar, 1, a + 1);
    const Lanes keep = splat(1.0 - G.w), w = splat(G.w), minus_d = splat(-G.d), d = splat(G.d);
#pragma GCC unroll 8
    for (int k = 0; k + 2 <= NC; k += 2) {
      const Lanes ua = load2(ya + k), ub = load2(yb + k);
      store2(U + k, ub * keep + ua * w);
      store2(UX + k, ub * minus_d + ua * d);
    }
    first = NC - NC % 2 + 1;
  }
  for (int k = first; k <= nvar - 1; ++k) {
    const double ua = Y[skm_at(nvar, k, a)];
    const double ub = Y[skm_at(nvar, k, a + 1)];
    U[k - 1] = ub * (1.0 - G.w) + ua * G.w;
    UX[k - 1] = ub * -G.d + ua * G.d;
  }
}

// DELTA := DELTA - FSPART for the NC concentration rows of point n, which
// are complete.
template <int NC>
[[gnu::always_inline]] inline void finish_point(int n, const double* FSPART, double* DELTA) {
  const std::size_t at = skm_at(NC + 1, 1, n);
#pragma GCC unroll 8
  for (int k = 0; k + 2 <= NC; k += 2)
    store2(DELTA + at + k, load2(DELTA + at + k) - load2(FSPART + at + k));
  if constexpr (NC % 2 != 0) DELTA[at + NC - 1] = DELTA[at + NC - 1] - FSPART[at + NC - 1];
}

// One-sided difference quotient between points a and a+1, handed to bndr.
void end_quotient(const double* Y, int nvar, int a, double* UX) {
  const double dx = Y[skm_at(nvar, nvar, a + 1)] - Y[skm_at(nvar, nvar, a)];
  for (int k = 1; k <= nvar - 1; ++k) {
    UX[k - 1] = (Y[skm_at(nvar, k, a + 1)] - Y[skm_at(nvar, k, a)]) / dx;
  }
}

// Everything the per-point contributions of one interval read.
template <class Sums>
struct IntervalTerms {
  const Sums& sums;
  int NCOMP;
  int npts;
  const IntervalGeometry& G;
  const double* R;
  const double* Q;
  const double* C;
  double* DELTA;
  double* FSPART;

  std::size_t at(int k, int n) const { return skm_at(NCOMP + 1, k, n); }
  double F(int k) const { return R[k - 1] * G.g * G.f; }

  // First contribution to the interval's right point: an assignment.
  void assign_right(int k, int b) const {
    DELTA[at(k, b)] = sums.right(k) * G.WR;
    FSPART[at(k, b)] = -(Q[k - 1] * G.WR + F(k));
  }
  // Second contribution to an interior point, from the interval on its right.
  void accumulate_left(int k, int a) const {
    DELTA[at(k, a)] = DELTA[at(k, a)] + sums.left(k) * G.WL;
    FSPART[at(k, a)] = FSPART[at(k, a)] - Q[k - 1] * G.WL + F(k);
  }
  // Both contributions of an interior interval a, accumulate_left(k, a) and
  // assign_right(k, a + 1), for every k, two constituents at a time. SLAB:
  // g = f = 1, so F(k) is R(k) itself (the products by 1 change no bit).
  template <int NC, bool SLAB>
  void interior(int a) const {
    double* dl = DELTA + at(1, a);
    double* fl = FSPART + at(1, a);
    double* dr = DELTA + at(1, a + 1);
    double* fr = FSPART + at(1, a + 1);
    const double* sl = sums.left_sums();
    const double* sr = sums.right_sums();
    const Lanes WL = splat(G.WL), WR = splat(G.WR), g = splat(G.g), f = splat(G.f);
    int k = 0;
#pragma GCC unroll 8
    for (; k + 2 <= NC; k += 2) {
      const Lanes q = load2(Q + k);
      const Lanes F = SLAB ? load2(R + k) : load2(R + k) * g * f;
      store2(dl + k, load2(dl + k) + load2(sl + k) * WL);
      store2(fl + k, load2(fl + k) - q * WL + F);
      store2(dr + k, load2(sr + k) * WR);
      store2(fr + k, -(q * WR + F));
    }
    for (; k < NC; ++k) {
      accumulate_left(k + 1, a);
      assign_right(k + 1, a + 1);
    }
  }

  // Left end, ordinary geometry: BETA*flux reconstructed from the half-cell balance.
  void left_end(int k, double x0m, const double* BETA, const double* GAMMA) const {
    DELTA[at(k, 0)] = BETA[k - 1] * ((sums.left(k) * G.WL) / x0m);
    FSPART[at(k, 0)] = BETA[k - 1] * ((R[k - 1] * G.g - Q[k - 1] * G.WL) / x0m) - GAMMA[k - 1];
  }
  // Left end at the origin: the symmetry condition, or GAMMA = 0 when BETA is 0.
  void origin_end(int k, int M, const double* BETA, const double* GAMMA) const {
    if (BETA[k - 1] == 0.0) {
      DELTA[at(k, 0)] = 0.0;
      FSPART[at(k, 0)] = GAMMA[k - 1];
      return;
    }
    const double mp1 = static_cast<double>(M + 1);
    DELTA[at(k, 0)] = sums.left(k) / mp1;
    FSPART[at(k, 0)] = R[k - 1] / G.xi + Q[k - 1] / -mp1;
  }
  // The first interval's rows: point 1's first contribution and the left
  // end's condition, at the origin or not.
  // NC > 0: NCOMP known at compile time.
  template <int NC = 0>
  [[gnu::always_inline]] void first_interval(int M, int AT_ORIGIN, double x0m, const double* BETA,
                                             const double* GAMMA) const {
    const int n = NC > 0 ? NC : NCOMP;
    for (int k = 1; k <= n; ++k) {
      assign_right(k, 1);
      if (AT_ORIGIN == 1) {
        origin_end(k, M, BETA, GAMMA);
      } else {
        left_end(k, x0m, BETA, GAMMA);
      }
    }
  }
  // The last interval a's rows: point a's second contribution and the right
  // end's condition.
  template <int NC = 0>
  [[gnu::always_inline]] void last_interval(int a, double xnm, const double* BETA,
                                            const double* GAMMA) const {
    const int n = NC > 0 ? NC : NCOMP;
    for (int k = 1; k <= n; ++k) {
      accumulate_left(k, a);
      right_end(k, xnm, BETA, GAMMA);
    }
  }
  void right_end(int k, double xnm, const double* BETA, const double* GAMMA) const {
    const int n = npts - 1;
    DELTA[at(k, n)] = -(BETA[k - 1] * ((sums.right(k) * G.WR) / xnm));
    FSPART[at(k, n)] = BETA[k - 1] * ((Q[k - 1] * G.WR + F(k)) / xnm) - GAMMA[k - 1];
  }
};

}  // namespace

double skm_ipow(double x, int k) { return ipow(x, k); }

namespace {

// The geometry, inlined into the assembly so that a polar parameter and
// origin mode fixed at compile time fold its branches away.
[[gnu::always_inline]] inline IntervalGeometry geometry_of(double xa, double xb, int M,
                                                           int AT_ORIGIN, bool first) {
  IntervalGeometry G{};
  G.q =
      (AT_ORIGIN == 1 && first) ? std::numeric_limits<double>::quiet_NaN() : normaliser(xa, xb, M);
  evaluation_point(xa, xb, M, AT_ORIGIN, G);
  split_and_weights(xa, xb, M, AT_ORIGIN, first, G);
  const double mp1 = static_cast<double>(M + 1);
  G.WL = (G.s - ipow(xa, M + 1)) / mp1;
  G.WR = (ipow(xb, M + 1) - G.s) / mp1;
  return G;
}

}  // namespace

IntervalGeometry interval_geometry(double xa, double xb, int M, int AT_ORIGIN, bool first) {
  return geometry_of(xa, xb, M, AT_ORIGIN, first);
}

namespace {

// The whole pass; NC > 0 fixes NCOMP at compile time (see CapacitySums),
// SLAB the plain slab geometry (M = 0, not at the origin), whose interval
// geometry then folds to its few operations.
template <int NC, bool SLAB>
void assemble_rows(PdeProblem& p, double T, const double* Y, const double* YPRIME, int ncomp,
                   int NINNER, int m_polar, int at_origin, double* U, double* UX, double* BETA,
                   double* GAMMA, double* R, double* Q, double* C, double* DELTA, double* FSPART,
                   int& IRES) {
  const int NCOMP = NC > 0 ? NC : ncomp;
  const int M = SLAB ? 0 : m_polar;
  const int AT_ORIGIN = SLAB ? 0 : at_origin;
  const int nvar = NCOMP + 1;
  const int npts = NINNER + 2;
  auto x = [&](int n) { return Y[skm_at(nvar, nvar, n)]; };
  CapacitySums<NC> sums(Y, YPRIME, NCOMP, npts, p.capacity_is_diagonal());
  // The problem's coefficients at the evaluation point of interval a and the
  // capacity sums they give; false when the problem reports an illegal
  // solution, which ends the assembly.
  const bool means = p.means_over_intervals();
  auto coefficients = [&](int a, const IntervalGeometry& G) {
    values_at_xi<NC>(Y, nvar, a, G, U, UX);
    if (means) {
      p.spdef_over(T, G.xi, x(a), x(a + 1), NCOMP, U, UX, C, Q, R, IRES);
    } else {
      p.spdef(T, G.xi, NCOMP, U, UX, C, Q, R, IRES);
    }
    if (IRES == 3) return false;
    sums.evaluate(a, C);
    return true;
  };

  // First interval: left boundary and the first assignment to point 1.
  double xa = x(0);
  double xb = x(1);
  const IntervalGeometry first = geometry_of(xa, xb, M, AT_ORIGIN, true);
  const double x0m = ipow(x(0), M);
  end_quotient(Y, nvar, 0, UX);
  p.bndr(T, BETA, GAMMA, &Y[skm_at(nvar, 1, 0)], UX, NCOMP, 1, IRES);
  if (IRES == 3) return;
  if (!coefficients(0, first)) return;
  IntervalTerms<CapacitySums<NC>>{sums, NCOMP, npts, first, R, Q, C, DELTA, FSPART}
      .template first_interval<NC>(M, AT_ORIGIN, x0m, BETA, GAMMA);

  // Interior intervals: each completes its left point and starts its right one.
  for (int a = 1; a <= npts - 3; ++a) {
    xa = xb;
    xb = x(a + 1);
    const IntervalGeometry G = geometry_of(xa, xb, M, AT_ORIGIN, false);
    if (!coefficients(a, G)) return;
    const IntervalTerms<CapacitySums<NC>> t{sums, NCOMP, npts, G, R, Q, C, DELTA, FSPART};
    if constexpr (NC > 0) {
      t.template interior<NC, SLAB>(a);
    } else {
      for (int k = 1; k <= NCOMP; ++k) {
        t.accumulate_left(k, a);
        t.assign_right(k, a + 1);
      }
    }
  }

  // Last interval: completes point N-2 and states the right boundary.
  const int a = npts - 2;
  xa = xb;
  xb = x(npts - 1);
  const IntervalGeometry last = geometry_of(xa, xb, M, AT_ORIGIN, false);
  const double xnm = ipow(x(npts - 1), M);
  end_quotient(Y, nvar, a, UX);
  p.bndr(T, BETA, GAMMA, &Y[skm_at(nvar, 1, npts - 1)], UX, NCOMP, 0, IRES);
  if (IRES == 3) return;
  if (!coefficients(a, last)) return;
  IntervalTerms<CapacitySums<NC>>{sums, NCOMP, npts, last, R, Q, C, DELTA, FSPART}
      .template last_interval<NC>(a, xnm, BETA, GAMMA);
}

// assemble_rows for a problem whose capacity matrices are scalars times the
// identity, NC constituents fixed at compile time: its intervals are taken
// up to PdeProblem::kMaxIntervalsAtOnce at a time, the problem called once
// for each such group. The same model calls in the same order (the first end
// before the first interval, the second before the last) and the same
// arithmetic as assemble_rows.
template <int NC, bool SLAB>
void assemble_rows_grouped(PdeProblem& p, double T, const double* Y, const double* YPRIME,
                           int NINNER, int m_polar, int at_origin, double* UX, double* BETA,
                           double* GAMMA, double* DELTA, double* FSPART, int& IRES) {
  static_assert(NC > 0);
  constexpr int kGroup = PdeProblem::kMaxIntervalsAtOnce;
  const int M = SLAB ? 0 : m_polar;
  const int AT_ORIGIN = SLAB ? 0 : at_origin;
  constexpr int nvar = NC + 1;
  const int npts = NINNER + 2;
  auto x = [&](int n) { return Y[skm_at(nvar, nvar, n)]; };
  CapacitySums<NC> sums(Y, YPRIME, NC, npts, true);

  IntervalGeometry G[kGroup];
  double XI[kGroup], capacity[kGroup];
  double Ug[kGroup * NC], UXg[kGroup * NC], Qg[kGroup * NC], Rg[kGroup * NC];
  // Geometry, values and coefficients of intervals a0 .. a0 + n - 1.
  auto coefficients = [&](int a0, int n) {
    for (int i = 0; i < n; ++i) {
      const int a = a0 + i;
      G[i] = geometry_of(x(a), x(a + 1), M, AT_ORIGIN, a == 0);
      values_at_xi<NC>(Y, nvar, a, G[i], Ug + i * NC, UXg + i * NC);
      XI[i] = G[i].xi;
    }
    p.spdef_intervals(T, NC, n, XI, Ug, UXg, capacity, Qg, Rg, IRES);
    return IRES != 3;
  };
  auto terms = [&](int i) {
    return IntervalTerms<CapacitySums<NC>>{sums,     NC,       npts,  G[i], Rg + i * NC,
                                           Qg + i * NC, nullptr, DELTA, FSPART};
  };

  const double x0m = ipow(x(0), M);
  end_quotient(Y, nvar, 0, UX);
  p.bndr(T, BETA, GAMMA, &Y[skm_at(nvar, 1, 0)], UX, NC, 1, IRES);
  if (IRES == 3) return;
  // Every interval but the last: the first states the left boundary and
  // starts point 1, each other completes its left point and starts its right.
  for (int a0 = 0; a0 <= npts - 3; a0 += kGroup) {
    const int n = std::min(kGroup, npts - 2 - a0);
    if (!coefficients(a0, n)) return;
    for (int i = 0; i < n; ++i) {
      const int a = a0 + i;
      if (a > 0) {
        if constexpr (NC == 6) {
          i += sums.template interior_run<SLAB>(a, n - i, capacity + i, G + i, Qg + i * NC,
                                                Rg + i * NC, DELTA, FSPART);
          if (i == n) break;
        }
        sums.template interior_rows<SLAB>(a0 + i, capacity[i], G[i], Qg + i * NC, Rg + i * NC,
                                          DELTA, FSPART);
        finish_point<NC>(a0 + i, FSPART, DELTA);
        continue;
      }
      sums.evaluate_scalar(a, capacity[i]);
      terms(i).template first_interval<NC>(M, AT_ORIGIN, x0m, BETA, GAMMA);
      finish_point<NC>(0, FSPART, DELTA);
    }
  }

  // Last interval: completes point N-2 and states the right boundary.
  const int a = npts - 2;
  const double xnm = ipow(x(npts - 1), M);
  end_quotient(Y, nvar, a, UX);
  p.bndr(T, BETA, GAMMA, &Y[skm_at(nvar, 1, npts - 1)], UX, NC, 0, IRES);
  if (IRES == 3) return;
  if (!coefficients(a, 1)) return;
  sums.evaluate_scalar(a, capacity[0]);
  terms(0).template last_interval<NC>(a, xnm, BETA, GAMMA);
  finish_point<NC>(a, FSPART, DELTA);
  finish_point<NC>(a + 1, FSPART, DELTA);
}

// The number of equations the estuary model and most test problems have.
constexpr int kUnrolledComponents = 6;

}  // namespace

bool SKM_ASSEMBLE(PdeProblem& p, double T, const double* Y, const double* YPRIME, int NCOMP,
                  int NINNER, int M, int AT_ORIGIN, double* U, double* UX, double* BETA,
                  double* GAMMA, double* R, double* Q, double* C, double* DELTA, double* FSPART,
                  int& IRES) {
  const bool slab = M == 0 && AT_ORIGIN != 1;
  const bool grouped = NCOMP == kUnrolledComponents && p.capacity_is_scalar() &&
                       !p.means_over_intervals();
  if (grouped && slab) {
    assemble_rows_grouped<kUnrolledComponents, true>(p, T, Y, YPRIME, NINNER, M, AT_ORIGIN, UX,
                                                     BETA, GAMMA, DELTA, FSPART, IRES);
    return true;
  }
  if (grouped) {
    assemble_rows_grouped<kUnrolledComponents, false>(p, T, Y, YPRIME, NINNER, M, AT_ORIGIN, UX,
                                                      BETA, GAMMA, DELTA, FSPART, IRES);
    return true;
  }
  if (NCOMP == kUnrolledComponents && slab) {
    assemble_rows<kUnrolledComponents, true>(p, T, Y, YPRIME, NCOMP, NINNER, M, AT_ORIGIN, U, UX,
                                             BETA, GAMMA, R, Q, C, DELTA, FSPART, IRES);
  } else if (NCOMP == kUnrolledComponents) {
    assemble_rows<kUnrolledComponents, false>(p, T, Y, YPRIME, NCOMP, NINNER, M, AT_ORIGIN, U, UX,
                                              BETA, GAMMA, R, Q, C, DELTA, FSPART, IRES);
  } else {
    assemble_rows<0, false>(p, T, Y, YPRIME, NCOMP, NINNER, M, AT_ORIGIN, U, UX, BETA, GAMMA, R, Q,
                            C, DELTA, FSPART, IRES);
  }
  return false;
}

}  // namespace qz5
