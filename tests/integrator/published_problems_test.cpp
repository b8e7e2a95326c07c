// Published test problems with known solutions or reference values, each
// integrated through the banded finite-difference iteration matrix (a full
// band stands in for a dense matrix). Residuals are G = f - M y'.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dassl_harness.h"
#include "integrator/work_layout.h"

namespace qz5::testing {
namespace {

struct Published {
  std::string name;
  int NEQ;
  std::function<void(Dassl&)> setup;  // residual, y(0), y'(0), INFO(11)
  double tend;
  std::vector<double> ref;
};

// Index-1 DAE with exact solution y1 = exp(-t) + t sin t, y2 = sin t.
void index1_residual(double t, double* y, double* yp, double* delta, int&, double*, int*) {
  delta[0] = yp[0] - t * yp[1] + y[0] - (1.0 + t) * y[1];
  delta[1] = y[1] - std::sin(t);
}

// Robertson's kinetics; with `dae` the third row is the conservation law.
void robertson(Dassl& d, bool dae) {
  d.res = [dae](double, double* y, double* yp, double* delta, int&, double*, int*) {
    const double f1 = -0.04 * y[0] + 1e4 * y[1] * y[2];
    const double f2 = 0.04 * y[0] - 1e4 * y[1] * y[2] - 3e7 * y[1] * y[1];
    const double f3 = 3e7 * y[1] * y[1];
    delta[0] = f1 - yp[0];
    delta[1] = f2 - yp[1];
    delta[2] = dae ? y[0] + y[1] + y[2] - 1.0 : f3 - yp[2];
  };
  d.y = {1.0, 0.0, 0.0};
  d.yprime = {-0.04, 0.04, 0.0};
}

// Chemical Akzo Nobel problem, index-1 DAE of 6 equations.
constexpr double kAkzoKs = 115.83;
void akzo_rates(const double* y, double* f) {
  const double k1 = 18.7, k2 = 0.58, k3 = 0.09, k4 = 0.42, K = 34.4, klA = 3.3, pCO2 = 0.9,
               H = 737.0;
  const double r1 = k1 * std::pow(y[0], 4.0) * std::sqrt(y[1]);
  const double r2 = k2 * y[2] * y[3];
  const double r3 = (k2 / K) * y[0] * y[4];
  const double r4 = k3 * y[0] * y[3] * y[3];
  const double r5 = k4 * y[5] * y[5] * std::sqrt(y[1]);
  const double Fin = klA * (pCO2 / H - y[1]);
  f[0] = -2.0 * r1 + r2 - r3 - r4;
  f[1] = -0.5 * r1 - r4 - 0.5 * r5 + Fin;
  f[2] = r1 - r2 + r3;
  f[3] = -r2 + r3 - 2.0 * r4;
  f[4] = r2 - r3 + r5;
  f[5] = kAkzoKs * y[0] * y[3] - y[5];
}
void akzo(Dassl& d) {
  d.res = [](double, double* y, double* yp, double* delta, int& ires, double*, int*) {
    if (y[1] < 0.0) {
      ires = -1;
      return;
    }
    akzo_rates(y, delta);
    for (int i = 0; i < 5; ++i) delta[i] = delta[i] - yp[i];
  };
  d.y = {0.444, 0.00123, 0.0, 0.007, 0.0, kAkzoKs * 0.444 * 0.007};
  double f[6];
  akzo_rates(d.y.data(), f);
  d.yprime = {f[0], f[1], f[2], f[3], f[4], 0.0};
}

std::vector<Published> published() {
  const double te = 10.0;
  return {
      {"index-1 DAE, consistent y'(0)", 2,
       [](Dassl& d) {
         d.res = index1_residual;
         d.y = {1.0, 0.0};
         d.yprime = {-1.0, 1.0};
       },
       te, {std::exp(-te) + te * std::sin(te), std::sin(te)}},
      {"index-1 DAE, y'(0) = 0, INFO(11) = 1", 2,
       [](Dassl& d) {
         d.res = index1_residual;
         d.y = {1.0, 0.0};
         d.yprime = {0.0, 0.0};
         d.info[10] = 1;
       },
       te, {std::exp(-te) + te * std::sin(te), std::sin(te)}},
      {"Robertson ODE", 3, [](Dassl& d) { robertson(d, false); }, 1e11,
       {0.2083340149701255e-7, 0.8333360770334713e-13, 0.9999999791665050}},
      {"Robertson DAE", 3, [](Dassl& d) { robertson(d, true); }, 1e11,
       {0.2083340149701255e-7, 0.8333360770334713e-13, 0.9999999791665050}},
      {"Akzo Nobel", 6, akzo, 180.0,
       {0.1150794920661702, 0.1203831471567715e-2, 0.1611562887407974, 0.3656156421249283e-3,
        0.1708010885264404e-1, 0.4873531310307455e-2}},
  };
}

// Mixed significant correct digits.
double digits(const std::vector<double>& y, const std::vector<double>& ref) {
  double worst = 0.0;
  for (std::size_t i = 0; i < ref.size(); ++i)
    worst = std::max(worst, std::abs(y[i] - ref[i]) / (1.0 + std::abs(ref[i])));
  return -std::log10(worst);
}

TEST(PublishedProblems, DigitsGrowAsToleranceFalls) {
  const std::vector<double> tols = {1e-4, 1e-5, 1e-6, 1e-7, 1e-8};
  std::printf("%-38s %6s %6s %6s %6s %6s %5s %5s\n", "problem", "tol", "digits", "steps", "res",
              "jac", "etf", "ctf");
  for (const Published& p : published()) {
    SCOPED_TRACE(p.name);
    std::vector<double> got;
    for (double tol : tols) {
      SCOPED_TRACE(tol);
      Dassl d(p.NEQ);
      p.setup(d);
      d.set_tol(tol);
      d.run_to(p.tend);
      ASSERT_EQ(d.idid, 3);
      EXPECT_EQ(d.t, p.tend);
      const double dig = digits(d.y, p.ref);
      got.push_back(dig);
      std::printf("%-38s %6.0e %6.2f %6d %6d %6d %5d %5d\n", p.name.c_str(), tol, dig,
                  d.iw(kStepCount), d.iw(kResCount), d.iw(kJacCount), d.iw(kErrtestFails),
                  d.iw(kConvFails));
      EXPECT_GE(dig, -std::log10(tol) - 1.5);
    }
    // Growth with falling tolerance: four decades buy at least two digits,
    // and no tighter tolerance loses more than half a digit to the one before
    // (the global error is not exactly proportional to the tolerance; on
    // Robertson's problem y1 ~ 2e-8 at the end lies below ATOL = tol, so its
    // error stays near 3e-9 from tol = 1e-6 on).
    EXPECT_GE(got.back() - got.front(), 2.0);
    for (std::size_t i = 1; i < got.size(); ++i)
      EXPECT_GT(got[i], got[i - 1] - 0.5) << "tol " << tols[i];
  }
}

// Linear problems with closed-form solutions: y' = -y, and a stiff pair with
// decay rates 1 and 1e4 whose slow component is exp(-t).
struct Linear {
  std::string name;
  int NEQ;
  std::function<void(Dassl&)> setup;
  std::function<std::vector<double>(double)> exact;
};

std::vector<Linear> linear_problems() {
  return {
      {"y' = -y", 1,
       [](Dassl& d) {
         d.res = [](double, double* y, double* yp, double* delta, int&, double*, int*) {
           delta[0] = -y[0] - yp[0];
         };
         d.y = {1.0};
         d.yprime = {-1.0};
       },
       [](double t) { return std::vector<double>{std::exp(-t)}; }},
      {"stiff pair, rates 1 and 1e4", 2,
       [](Dassl& d) {
         d.res = [](double, double* y, double* yp, double* delta, int&, double*, int*) {
           delta[0] = -y[0] - yp[0];
           delta[1] = -1e4 * y[1] + (1e4 - 1.0) * y[0] - yp[1];
         };
         d.y = {1.0, 2.0};
         d.yprime = {-1.0, -10001.0};
       },
       [](double t) { return std::vector<double>{std::exp(-t), std::exp(-t) + std::exp(-1e4 * t)}; }},
  };
}

TEST(PublishedProblems, LinearErrorFallsWithToleranceAndStaysNearIt) {
  for (const Linear& p : linear_problems()) {
    SCOPED_TRACE(p.name);
    std::vector<double> errors;
    for (double tol : {1e-3, 1e-5, 1e-7}) {
      SCOPED_TRACE(tol);
      Dassl d(p.NEQ);
      p.setup(d);
      d.set_tol(tol);
      d.run_to(2.0);
      ASSERT_EQ(d.idid, 3);
      const std::vector<double> exact = p.exact(2.0);
      double err = 0.0;
      for (int i = 0; i < p.NEQ; ++i) err = std::max(err, std::abs(d.y[i] - exact[i]));
      errors.push_back(err);
      // Each step keeps its local error within the tolerance; on a decaying
      // problem the global error is a modest multiple of that.
      EXPECT_LE(err, 10.0 * tol);
    }
    EXPECT_GE(errors.front() / errors.back(), 50.0);
  }
}

}  // namespace
}  // namespace qz5::testing
