// Consistency of the transport rows with known solutions, independently of
// the estuary model: the heat equation, a travelling wave of Burgers'
// equation and the radially symmetric heat equation in cylinders and spheres.
// The exact u, u', x and x' are fed in; the residual of an interior point,
// divided by the (x^M-weighted) size of its control volume, is the local
// truncation error, which must fall as h^2 when the grid is refined.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

constexpr double kPi = std::numbers::pi;

struct Exact {
  std::function<double(double x, double t)> u, ux, ut;
};

// Grid x(s, t) over s in [0, 1] between fixed ends a and b, and its velocity.
struct GridMap {
  std::function<double(double s, double t)> x, xdot;
};

GridMap uniform_grid(double a, double b) {
  return {[a, b](double s, double) { return a + (b - a) * s; }, [](double, double) { return 0.0; }};
}
// A smoothly non-uniform grid that moves: stretched by a sine that breathes
// in time; the ends stay in place.
GridMap moving_grid(double a, double b) {
  return {[a, b](double s, double t) {
            return a + (b - a) * (s + 0.3 / kPi * std::sin(kPi * s) * (1.0 + 0.5 * std::sin(t)));
          },
          [a, b](double s, double t) {
            return (b - a) * 0.3 / kPi * std::sin(kPi * s) * 0.5 * std::cos(t);
          }};
}

// Largest |residual| / control volume over the interior points, with N points.
double truncation_error(PdeProblem& p, const Exact& e, const GridMap& g, int M, double a, double b,
                        int N, double t) {
  Harness h(p, 1, N, a, b, {.M = M});
  EXPECT_EQ(h.IFAIL, 0);
  for (int n = 0; n < N; ++n) {
    const double s = static_cast<double>(n) / (N - 1);
    const double x = g.x(s, t), xd = g.xdot(s, t);
    h.x(n) = x;
    h.xdot(n) = xd;
    h.y(1, n) = e.u(x, t);
    h.yp(1, n) = e.ut(x, t) + xd * e.ux(x, t);  // derivative along the moving node
  }
  EXPECT_EQ(h.residual(t), 0);
  double worst = 0.0;
  for (int n = 1; n < N - 1; ++n) {
    const double left = (h.x(n - 1) + h.x(n)) / 2, right = (h.x(n) + h.x(n + 1)) / 2;
    const double volume = (std::pow(right, M + 1) - std::pow(left, M + 1)) / (M + 1);
    worst = std::max(worst, std::fabs(h.res(1, n)) / volume);
  }
  return worst;
}

// Observed orders over four refinements, from 32 intervals (coarser grids on
// the stretched sphere are not yet in the asymptotic range) to 512.
std::vector<double> observed_orders(PdeProblem& p, const Exact& e, const GridMap& g, int M,
                                    double a, double b, double t) {
  std::vector<double> errors, orders;
  for (int intervals = 32; intervals <= 512; intervals *= 2)
    errors.push_back(truncation_error(p, e, g, M, a, b, intervals + 1, t));
  for (std::size_t i = 1; i < errors.size(); ++i)
    orders.push_back(std::log2(errors[i - 1] / errors[i]));
  return orders;
}

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
  auto sech2 = [z](double x, double t) {
    const double c = std::cosh(z(x, t));
    return 1.0 / (c * c);
  };
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

// Cylinder: u_t = x^-1 (x u_x)_x with u = exp(-k^2 t) J0(k x).
constexpr double kK = 2.0;
Exact cylinder_solution() {
  auto e = [](double t) { return std::exp(-kK * kK * t); };
  return {[=](double x, double t) { return e(t) * std::cyl_bessel_j(0.0, kK * x); },
          [=](double x, double t) { return -kK * e(t) * std::cyl_bessel_j(1.0, kK * x); },
          [=](double x, double t) { return -kK * kK * e(t) * std::cyl_bessel_j(0.0, kK * x); }};
}

void expect_second_order(const std::vector<double>& orders) {
  for (std::size_t i = 0; i < orders.size(); ++i) {
    EXPECT_GT(orders[i], 1.8) << "refinement " << i + 1;
    EXPECT_LT(orders[i], 2.3) << "refinement " << i + 1;
  }
}

std::string describe(const std::vector<double>& orders) {
  std::string s;
  for (double o : orders) s += " " + std::to_string(o);
  return s;
}

TEST(Convergence, HeatEquation) {
  ScriptedProblem p;  // C = 1, Q = 0, R = u_x
  const Exact e = heat_solution();
  for (bool moving : {false, true}) {
    SCOPED_TRACE(moving ? "moving non-uniform grid" : "uniform grid");
    const GridMap g = moving ? moving_grid(0.0, 1.0) : uniform_grid(0.0, 1.0);
    const std::vector<double> orders = observed_orders(p, e, g, 0, 0.0, 1.0, 0.05);
    std::printf("heat, %s: observed orders%s\n", moving ? "moving" : "uniform",
                describe(orders).c_str());
    expect_second_order(orders);
  }
}

TEST(Convergence, BurgersTravellingWave) {
  ScriptedProblem p;
  p.coeffs = burgers_coefficients;
  const Exact e = burgers_solution();
  for (bool moving : {false, true}) {
    SCOPED_TRACE(moving ? "moving non-uniform grid" : "uniform grid");
    const GridMap g = moving ? moving_grid(0.0, 1.0) : uniform_grid(0.0, 1.0);
    const std::vector<double> orders = observed_orders(p, e, g, 0, 0.0, 1.0, 0.2);
    std::printf("Burgers, %s: observed orders%s\n", moving ? "moving" : "uniform",
                describe(orders).c_str());
    expect_second_order(orders);
  }
}

// The heat equation with cylindrical and spherical symmetry, on a shell and
// on a domain whose left end is the origin (where the interior rows near the
// origin use the origin-mode geometry).
TEST(Convergence, RadialHeatEquation) {
  struct Case {
    const char* name;
    int M;
    double a, b;
    Exact e;
  };
  const Case cases[] = {{"cylinder shell", 1, 0.5, 1.5, cylinder_solution()},
                        {"cylinder from the origin", 1, 0.0, 1.0, cylinder_solution()},
                        {"sphere shell", 2, 0.5, 1.5, sphere_solution()},
                        {"sphere from the origin", 2, 0.0, 1.0, sphere_solution()}};
  ScriptedProblem p;
  for (const Case& c : cases) {
    for (bool moving : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.name << (moving ? ", moving grid" : ", uniform grid"));
      const GridMap g = moving ? moving_grid(c.a, c.b) : uniform_grid(c.a, c.b);
      const std::vector<double> orders = observed_orders(p, c.e, g, c.M, c.a, c.b, 0.05);
      std::printf("%s, %s: observed orders%s\n", c.name, moving ? "moving" : "uniform",
                  describe(orders).c_str());
      expect_second_order(orders);
    }
  }
}

}  // namespace
}  // namespace qz5::testing
