// Integrals in time over one stretch between two samples of a run, from the
// polynomial through the last few samples - the same kind of polynomial the
// integrator keeps of its own solution over a step (through the solution at
// the step's end and at the k mesh points before it, k the step's order).
//
// A quantity known at the samples is replaced over the stretch by its
// interpolating polynomial of degree m - 1 through the m newest samples;
// the stretch runs from the second newest to the newest. Then
//   integral(v)     = the integral of that polynomial over the stretch,
//   stieltjes(a, b) = the integral of p_a(t) p_b'(t) dt over the stretch,
// the latter for quantities such as the storage of a cell of varying size,
// the integral of its capacity times the rate of change of its value. Both
// are exact for the polynomials (Gauss-Legendre with five points is exact to
// degree 9; with at most six nodes the integrands have degree at most 9).
// With two nodes integral() is the trapezoid rule and stieltjes() takes the
// mean of a times the change of b.
#pragma once

#include <array>

namespace qz5::results {

class StepQuadrature {
 public:
  static constexpr int kMaxNodes = 6;  // a step of order five and the five mesh points before it
  static constexpr int kGauss = 5;
  using Nodes = std::array<double, kMaxNodes>;

  // Nodes t[0..m-1], strictly increasing, 2 <= m <= kMaxNodes; the stretch is
  // [t[m-2], t[m-1]].
  void set(const double* t, int m);
  int nodes() const { return m_; }

  // `value(i)` is the quantity at node i.
  template <class Value>
  double integral(Value value) const {
    double s = 0.0;
    for (int i = 0; i < m_; ++i) s += weight_[i] * value(i);
    return s;
  }

  template <class A, class B>
  double stieltjes(A a, B b) const {
    const Nodes mb = slope_weights(b);
    double s = 0.0;
    for (int i = 0; i < m_; ++i) s += a(i) * mb[i];
    return s;
  }

  // For a capacity shared by several quantities: stieltjes(a, b) is the sum
  // over the nodes of a(i) times slope_weights(b)[i]. (The integral is
  // bilinear in the nodes' values, a(i) S(i, j) b(j), with S the integral of
  // the one basis polynomial times the other's derivative.)
  template <class Value>
  Nodes slope_weights(Value b) const {
    // The weights of a row sum to zero (a constant has no slope); taken
    // against the changes from the newest value they do so exactly, and a
    // capacity large against its change (a cell's h A) keeps its digits.
    Nodes v{}, out{};
    const double newest = b(m_ - 1);
    for (int j = 0; j + 1 < m_; ++j) v[j] = b(j) - newest;
    for (int i = 0; i < m_; ++i)
      for (int j = 0; j < m_; ++j) out[i] += s_[i][j] * v[j];
    return out;
  }

 private:
  int m_ = 0;
  Nodes weight_{};
  std::array<Nodes, kMaxNodes> s_{};
};

}  // namespace qz5::results
