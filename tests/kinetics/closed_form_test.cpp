// Declared kinetics on the moving grid against closed forms worked out
// independently of the code: first-order decay with dispersion, the BOD-DO
// sag, and a solute exchanging with an immobile storage zone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "kinetics/kinetics_test_util.h"

namespace qz5::kinetics_test {
namespace {

// The steady solution on 0 <= s <= L of
//   D y'' - u y' - k y = -g(s),  u y(0) - D y'(0) = u y_in,  y'(L) = 0,
// written as y = a e^(p (s - L)) + b e^(r s) + f(s), p > 0 > r the roots of
// D m^2 - u m - k = 0 and f a particular solution given with f(0), f'(0),
// f'(L) (the inflow condition of the inflow end and the free outflow).
struct Steady {
  double p, r, a, b, L;
  double operator()(double s) const { return a * std::exp(p * (s - L)) + b * std::exp(r * s); }
  double slope(double s) const {
    return a * p * std::exp(p * (s - L)) + b * r * std::exp(r * s);
  }
};

Steady homogeneous(double u, double D, double k, double L, double rhs_inflow, double rhs_slope) {
  const double root = std::sqrt(u * u + 4.0 * k * D);
  Steady y{(u + root) / (2.0 * D), (u - root) / (2.0 * D), 0.0, 0.0, L};
  // a e^(-pL) (u - D p) + b (u - D r) = rhs_inflow;  a p + b r e^(rL) = rhs_slope.
  const double m11 = std::exp(-y.p * L) * (u - D * y.p), m12 = u - D * y.r;
  const double m21 = y.p, m22 = y.r * std::exp(y.r * L);
  const double det = m11 * m22 - m12 * m21;
  y.a = (rhs_inflow * m22 - m12 * rhs_slope) / det;
  y.b = (m11 * rhs_slope - rhs_inflow * m21) / det;
  return y;
}

constexpr const char* kDecay = R"toml(
[[constituents]]
name = "tracer"
[[constituents]]
name = "C"
[parameters]
k = 0.01
[rates]
C = "-k * C"
)toml";

// Largest error of the steady decaying profile relative to the inflow value,
// and of the tracer (which must stay uniform at its inflow value).
std::pair<double, double> decay_steady_error(int npts) {
  const double q = 4000.0, A = 100.0, D = 3.8e5, k = 0.01, c_in = 10.0;
  Reach r;
  r.npts = npts;
  r.q = q;
  r.left = {1.0, c_in};
  r.right = {1.0, c_in};
  r.touts = {5000.0};
  const fs::path dir = fresh_dir("decay");
  r.write(dir);
  Scenario s = read_with(dir, DeclaredKinetics::read_text(kDecay, "decay.toml"));
  fs::remove_all(dir);
  s.geometry = uniform_channel(A, D);
  s.outflow = Outflow::kFree;
  const Profile p = run_all(s).back();
  const double u = q / A, L = r.xright - r.xleft;
  const Steady exact = homogeneous(u, D, k, L, u * c_in, 0.0);
  double worst = 0.0, tracer = 0.0;
  for (int j = 0; j < npts; ++j) {
    worst = std::max(worst, std::abs(p.at(j, 1) - exact(p.x[j] - r.xleft)) / c_in);
    tracer = std::max(tracer, std::abs(p.at(j, 0) - 1.0));
  }
  return {worst, tracer};
}

TEST(ClosedForm, FirstOrderDecayWithDispersionSteadyProfileAtSecondOrder) {
  double e[3];
  const int n[3] = {21, 41, 81};
  for (int i = 0; i < 3; ++i) {
    const auto [err, tracer] = decay_steady_error(n[i]);
    e[i] = err;
    std::printf("decay with dispersion, %2d points: largest error %.3e of the inflow value "
                "(tracer off uniform by %.1e)\n",
                n[i], err, tracer);
    EXPECT_LT(tracer, 1e-6);
  }
  std::printf("observed orders: %.2f, %.2f\n", std::log2(e[0] / e[1]), std::log2(e[1] / e[2]));
  EXPECT_LT(e[2], 2e-3);
  // Second order: halving the spacing quarters the error.
  EXPECT_GT(e[0] / e[1], 3.2);
  EXPECT_GT(e[1] / e[2], 3.2);
}

// BOD and DO at constant temperature, through the temperature forcing (a
// constant series), on a uniform channel at Peclet number uL/D = 500.
constexpr const char* kBodDo = R"toml(
definitions = [
  "kdT = kd * 1.047^(temperature - 20)",
  "kaT = ka * 1.024^(temperature - 20)",
  "DOsat = 14.652 - 0.41022*temperature + 0.007991*temperature^2 - 0.000077774*temperature^3",
]
[[constituents]]
name = "BOD"
unit = "mg/L"
[[constituents]]
name = "DO"
unit = "mg/L"
[parameters]
kd = 0.35
ka = 0.8
[forcings]
temperature = "temperature.csv"
[rates]
BOD = "-kdT * BOD"
DO = "-kdT * BOD + kaT * (DOsat - DO)"
)toml";

TEST(ClosedForm, BodDoSteadyDeficitFollowsTheSagCurve) {
  const double A = 100.0, u = 17280.0, D = 1.728e6, kd = 0.35, ka = 0.8;  // 0.2 m/s, 20 m2/s
  const double L0 = 20.0, DO_in = 7.0;
  const double DOsat = 14.652 - 0.41022 * 20 + 0.007991 * 400 - 0.000077774 * 8000;
  Reach r;
  r.npts = 81;
  r.q = u * A;
  r.xleft = 1000.0;
  r.xright = 51000.0;
  r.left = {L0, DO_in};
  r.right = {L0, DO_in};
  r.touts = {10.0};
  const fs::path dir = fresh_dir("boddo");
  r.write(dir);
  write_file(dir / "temperature.csv", "time,T\n-100,20\n100,20\n");
  Scenario s = read_with(dir, DeclaredKinetics::read_text(kBodDo, "bod_do.toml", dir));
  fs::remove_all(dir);
  s.geometry = uniform_channel(A, D, 60000.0);
  s.outflow = Outflow::kFree;
  const Profile p = run_all(s).back();

  // The classic sag (plug flow) and the exact steady state with dispersion.
  const double D0 = DOsat - DO_in, L = r.xright - r.xleft;
  auto sag = [&](double x) {
    return kd * L0 / (ka - kd) * (std::exp(-kd * x / u) - std::exp(-ka * x / u)) +
           D0 * std::exp(-ka * x / u);
  };
  const Steady bod = homogeneous(u, D, kd, L, u * L0, 0.0);
  // Deficit = kd/(ka - kd) BOD + a homogeneous part of rate ka.
  const double share = kd / (ka - kd);
  const Steady rest = homogeneous(u, D, ka, L, u * D0 - share * (u * bod(0) - D * bod.slope(0)),
                                  -share * bod.slope(L));
  auto deficit = [&](double x) { return share * bod(x) + rest(x); };

  double peak = 0.0, err_exact = 0.0, err_sag = 0.0, dispersion_share = 0.0, err_bod = 0.0;
  const char* figure = std::getenv("QZ5_SAG_CSV");
  std::ofstream csv;
  if (figure != nullptr) csv.open(figure);
  if (csv) csv << "x_m,BOD,DO,deficit,deficit_sag,deficit_exact\n";
  for (int j = 0; j < r.npts; ++j) {
    const double x = p.x[j] - r.xleft;
    const double def = DOsat - p.at(j, 1);
    peak = std::max(peak, sag(x));
    err_exact = std::max(err_exact, std::abs(def - deficit(x)));
    err_sag = std::max(err_sag, std::abs(def - sag(x)));
    dispersion_share = std::max(dispersion_share, std::abs(deficit(x) - sag(x)));
    err_bod = std::max(err_bod, std::abs(p.at(j, 0) - bod(x)) / L0);
    if (csv) csv << x << ',' << p.at(j, 0) << ',' << p.at(j, 1) << ',' << def << ',' << sag(x)
                 << ',' << deficit(x) << '\n';
  }
  std::printf("BOD-DO sag (peak deficit %.4f mg/L): model against the sag curve %.3e mg/L; "
              "the dispersion's share (exact steady state with dispersion against the sag) "
              "%.3e; model against that exact state %.3e; BOD %.3e of L0\n",
              peak, err_sag, dispersion_share, err_exact, err_bod);
  EXPECT_LT(dispersion_share, 0.01 * peak);  // the share is small, as chosen
  EXPECT_LT(err_exact, 0.005 * peak);        // the grid's error
  EXPECT_LT(err_sag, dispersion_share + 0.005 * peak);
  EXPECT_LT(err_bod, 5e-3);
}

// A solute exchanging with an immobile storage zone of area As, in a closed
// channel (no flow; a free outflow of zero flow lets nothing through):
//   dC/dt = D C'' + alpha (Cs - C),  dCs/dt = alpha (A / As) (C - Cs).
constexpr const char* kStorage = R"toml(
[[constituents]]
name = "C"
[[constituents]]
name = "Cs"
transported = false
[parameters]
alpha = 0.5
As = 30.0
[rates]
C = "alpha * (Cs - C)"
Cs = "alpha * (area / As) * (C - Cs)"
)toml";

constexpr double kArea = 100.0, kStorageArea = 30.0, kAlpha = 0.5;

std::vector<Profile> storage_run(double c_left, double c_right) {
  Reach r;
  r.npts = 41;
  r.q = 0.0;
  r.left = {c_left, 0.0};
  r.right = {c_right, 0.0};
  r.touts = {0.25, 0.5, 1.0, 2.0, 4.0};
  const fs::path dir = fresh_dir("storage");
  r.write(dir);
  Scenario s = read_with(dir, DeclaredKinetics::read_text(kStorage, "storage.toml"));
  fs::remove_all(dir);
  s.geometry = uniform_channel(kArea, 3.8e5);
  s.outflow = Outflow::kFree;
  return run_all(s);
}

TEST(ClosedForm, StorageZoneApproachesEquilibriumAtTheExchangeRate) {
  // Uniform start C = 1, Cs = 0: C - Cs = exp(-lambda t) everywhere, with
  // lambda = alpha (1 + A/As), and the equilibrium A / (A + As).
  const std::vector<Profile> runs = storage_run(1.0, 1.0);
  ASSERT_EQ(runs.size(), 6u);
  const double lambda = kAlpha * (1.0 + kArea / kStorageArea);
  const double equilibrium = kArea / (kArea + kStorageArea);
  double worst = 0.0;
  for (const Profile& p : runs) {
    for (std::size_t j = 0; j < p.x.size(); ++j) {
      const int i = static_cast<int>(j);
      worst = std::max(worst, std::abs(p.at(i, 1) - equilibrium * (1.0 - std::exp(-lambda * p.t))));
    }
  }
  const Profile& a = runs[2];  // t = 0.5
  const Profile& b = runs[3];  // t = 1
  const double rate = std::log((a.at(20, 0) - a.at(20, 1)) / (b.at(20, 0) - b.at(20, 1))) /
                      (b.t - a.t);
  std::printf("storage zone: largest error of Cs %.3e; approach rate %.8f against alpha (1 + "
              "A/As) = %.8f\n",
              worst, rate, lambda);
  EXPECT_LT(worst, 1e-6);
  EXPECT_NEAR(rate, lambda, 1e-5 * lambda);
}

TEST(ClosedForm, StorageZoneExchangeConservesTheTotalMass) {
  // A linear start profile, so that dispersion works too; the mass of the
  // main channel plus that of the storage zone, A C + As Cs, integrated as
  // the scheme's cells hold it, stays what it was.
  const std::vector<Profile> runs = storage_run(2.0, 0.0);
  auto mass = [](const Profile& p) {
    double main = 0.0, store = 0.0;
    for (std::size_t j = 1; j < p.x.size(); ++j) {
      const int i = static_cast<int>(j);
      const double h = p.x[j] - p.x[j - 1];
      main += h * kArea * 0.5 * (p.at(i, 0) + p.at(i - 1, 0));
      store += h * kStorageArea * 0.5 * (p.at(i, 1) + p.at(i - 1, 1));
    }
    return std::pair<double, double>{main, store};
  };
  const double start = mass(runs.front()).first;
  double worst = 0.0;
  for (const Profile& p : runs) {
    const auto [main, store] = mass(p);
    worst = std::max(worst, std::abs(main + store - start) / start);
  }
  const auto [main_end, store_end] = mass(runs.back());
  std::printf("storage zone, closed channel: total mass conserved to %.3e relative; %.1f %% in "
              "the storage zone at the end\n",
              worst, 100.0 * store_end / (main_end + store_end));
  EXPECT_GT(store_end, 0.2 * start);  // the exchange did move mass
  EXPECT_LT(worst, 1e-6);
}

}  // namespace
}  // namespace qz5::kinetics_test
