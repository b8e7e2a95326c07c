// Consistency of the transport rows with known solutions, independently of
// the estuary model: the heat equation, a travelling wave of Burgers'
// equation and the radially symmetric heat equation in cylinders and spheres.
// The exact u, u', x and x' are fed in; the residual of an interior point,
// divided by the (x^M-weighted) size of its control volume, is the local
// truncation error, which must fall as h^2 when the grid is refined.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

constexpr double kPi = std::numbers::pi;
using Fn = std::function<double(double x, double t)>;

struct Exact {
  Fn u, ux, ut;
};

// Heat: u_t = u_xx, two decaying modes.
Exact heat_solution() {
  auto e1 = [](double t) { return std::exp(-kPi * kPi * t); };
  auto e2 = [](double t) { return std::exp(-4.0 * kPi * kPi * t); };
  return {
      [=](double x, double t) { return e1(t) * std::sin(kPi * x) + e2(t) * std::cos(2 * kPi * x); },
      [=](double x, double t) {
        return kPi * e1(t) * std::cos(kPi * x) - 2 * kPi * e2(t) * std::sin(2 * kPi * x);
      },
      [=](double x, double t) {
        return -kPi * kPi * e1(t) * std::sin(kPi * x) -
               4 * kPi * kPi * e2(t) * std::cos(2 * kPi * x);
      }};
}

// Burgers: u_t + u u_x = nu u_xx, i.e. C = 1, Q = 0, R = nu u_x - u^2/2.
// Travelling wave from 1 to 0 at speed 1/2: u = (1 - tanh((x - x0 - t/2)/(4 nu)))/2.
constexpr double kNu = 0.05;
Exact burgers_solution() {
  auto z = [](double x, double t) { return (x - 0.5 - 0.5 * t) / (4.0 * kNu); };
  auto sech2 = [z](double x, double t) { return 1.0 / std::pow(std::cosh(z(x, t)), 2); };
  return {[=](double x, double t) { return 0.5 * (1.0 - std::tanh(z(x, t))); },
          [=](double x, double t) { return -0.5 * sech2(x, t) / (4.0 * kNu); },
          [=](double x, double t) { return 0.25 * sech2(x, t) / (4.0 * kNu); }};
}
void burgers_coefficients(double, double, int, const double* U, const double* UX, double* C,
                          double* Q, double* R) {
  C[0] = 1.0;
  Q[0] = 0.0;
  R[0] = kNu * UX[0] - 0.5 * U[0] * U[0];
}

// Sphere: u_t = x^-2 (x^2 u_x)_x with u = exp(-pi^2 t) sin(pi x)/x.
Exact sphere_solution() {
  auto e = [](double t) { return std::exp(-kPi * kPi * t); };
  return {[=](double x, double t) { return e(t) * std::sin(kPi * x) / x; },
          [=](double x, double t) {
            return e(t) * (kPi * std::cos(kPi * x) / x - std::sin(kPi * x) / (x * x));
          },
          [=](double x, double t) { return -kPi * kPi * e(t) * std::sin(kPi * x) / x; }};
}

// Cylinder: u_t = x^-1 (x u_x)_x with u = exp(-4 t) J0(2 x).
Exact cylinder_solution() {
  auto e = [](double t) { return std::exp(-4.0 * t); };
  return {[=](double x, double t) { return e(t) * std::cyl_bessel_j(0.0, 2.0 * x); },
          [=](double x, double t) { return -2.0 * e(t) * std::cyl_bessel_j(1.0, 2.0 * x); },
          [=](double x, double t) { return -4.0 * e(t) * std::cyl_bessel_j(0.0, 2.0 * x); }};
}

struct Case {
  const char* name;
  Exact e;
  CoeffFn coeffs;
  int M;
  double a, b, t;
};

// Largest |residual| / control volume over the interior points of N points
// x(s) = a + (b - a)(s + 0.3/pi sin(pi s) w(t)) with ends in place; w breathes
// in time on the moving grid and is 0 on the uniform one.
double truncation_error(const Case& c, bool moving, int N) {
  ScriptedProblem p;
  p.coeffs = c.coeffs;
  Harness h(p, 1, N, c.a, c.b, {.M = c.M});
  EXPECT_EQ(h.IFAIL, 0);
  const double w = moving ? 1.0 + 0.5 * std::sin(c.t) : 0.0,
               wdot = moving ? 0.5 * std::cos(c.t) : 0.0;
  for (int n = 0; n < N; ++n) {
    const double s = static_cast<double>(n) / (N - 1),
                 bump = (c.b - c.a) * 0.3 / kPi * std::sin(kPi * s);
    const double x = c.a + (c.b - c.a) * s + bump * w;
    h.x(n) = x;
    h.xdot(n) = bump * wdot;
    h.y(1, n) = c.e.u(x, c.t);
    h.yp(1, n) = c.e.ut(x, c.t) + h.xdot(n) * c.e.ux(x, c.t);  // along the moving node
  }
  EXPECT_EQ(h.residual(c.t), 0);
  double worst = 0.0;
  for (int n = 1; n < N - 1; ++n) {
    const double left = (h.x(n - 1) + h.x(n)) / 2, right = (h.x(n) + h.x(n + 1)) / 2;
    const double volume = (std::pow(right, c.M + 1) - std::pow(left, c.M + 1)) / (c.M + 1);
    worst = std::max(worst, std::fabs(h.res(1, n)) / volume);
  }
  return worst;
}

TEST(Convergence, TruncationErrorFallsAtSecondOrder) {
  const Case cases[] = {
      {"heat", heat_solution(), heat_coefficients, 0, 0.0, 1.0, 0.05},
      {"Burgers", burgers_solution(), burgers_coefficients, 0, 0.0, 1.0, 0.2},
      {"cylinder shell", cylinder_solution(), heat_coefficients, 1, 0.5, 1.5, 0.05},
      {"cylinder from the origin", cylinder_solution(), heat_coefficients, 1, 0.0, 1.0, 0.05},
      {"sphere shell", sphere_solution(), heat_coefficients, 2, 0.5, 1.5, 0.05},
      {"sphere from the origin", sphere_solution(), heat_coefficients, 2, 0.0, 1.0, 0.05}};
  for (const Case& c : cases) {
    for (bool moving : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.name << (moving ? ", moving grid" : ", uniform grid"));
      // Four refinements from 32 intervals (coarser grids on the stretched
      // sphere are not yet in the asymptotic range) to 512.
      double previous = truncation_error(c, moving, 33);
      std::printf("%s, %s: observed orders", c.name, moving ? "moving" : "uniform");
      for (int intervals = 64; intervals <= 512; intervals *= 2) {
        const double error = truncation_error(c, moving, intervals + 1);
        const double order = std::log2(previous / error);
        std::printf(" %.3f", order);
        EXPECT_GT(order, 1.8) << intervals << " intervals";
        EXPECT_LT(order, 2.3) << intervals << " intervals";
        previous = error;
      }
      std::printf("\n");
    }
  }
}

}  // namespace
}  // namespace qz5::testing
