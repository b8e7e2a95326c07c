// The shipped kinetics with their example scenarios: each runs to "Ready",
// and what it shows agrees with an estimate made outside the code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "input/channel_geometry.h"
#include "kinetics/kinetics_test_util.h"

namespace qz5::kinetics_test {
namespace {

const fs::path kExamples = repo_root() / "examples" / "kinetics";

// The example in examples/kinetics/<name>/ as its README runs it: with
// <name>.toml, the geometry table <name>.geo and a free outflow.
Scenario example(const std::string& name) {
  const fs::path dir = kExamples / name;
  Scenario s = read_with(dir, DeclaredKinetics::read_file(kExamples / (name + ".toml")), nullptr,
                         name + ".fn");
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  s.geometry = read_geometry_file(io, kUnitInput, (dir / (name + ".geo")).string());
  s.outflow = Outflow::kFree;
  return s;
}

// Trapezoid integral of the area over [a, b] of a geometry table.
double volume(const ChannelGeometry& g, double a, double b) {
  double v = 0.0;
  const int n = 2000;
  auto area = [&](double x) {
    for (std::size_t i = 0; i + 1 < g.x.size(); ++i)
      if (x <= g.x[i + 1])
        return g.area[i] + (g.area[i + 1] - g.area[i]) * (x - g.x[i]) / (g.x[i + 1] - g.x[i]);
    return g.area.back();
  };
  for (int i = 0; i < n; ++i) {
    const double xa = a + (b - a) * i / n, xb = a + (b - a) * (i + 1) / n;
    v += 0.5 * (xb - xa) * (area(xa) + area(xb));
  }
  return v;
}

TEST(ShippedKinetics, DecayExampleLosesWhatTheTravelTimeSays) {
  const Scenario s = example("decay");
  const Profile p = run_all(s).back();
  const int last = static_cast<int>(p.x.size()) - 1;
  // The outfall's 0.3 m3/s at 100 ug/L mixed into 10.3 m3/s.
  const double q = 864000.0 + 25920.0, mixed = 25920.0 * 100.0 / q;
  const double travel = volume(s.geometry, 3000.0, 12000.0) / q;  // days, plug flow
  const double k = 1.0;
  std::printf("decay example: tracer at the end %.4f (mixed %.4f); contaminant / tracer %.4f, "
              "exp(-k * travel time %.3f d) = %.4f\n",
              p.at(last, 0), mixed, p.at(last, 1) / p.at(last, 0), travel, std::exp(-k * travel));
  EXPECT_NEAR(p.at(last, 0), mixed, 0.01 * mixed);
  EXPECT_NEAR(p.at(last, 1) / p.at(last, 0), std::exp(-k * travel), 0.01);
}

TEST(ShippedKinetics, BodDoExampleSagsBelowTheOutfall) {
  const Profile p = run_all(example("bod_do")).back();
  const int n = static_cast<int>(p.x.size());
  int low = 0;
  for (int j = 0; j < n; ++j) {
    if (p.at(j, 1) < p.at(low, 1)) low = j;
    if (p.x[j] > 3000.0 && j > 0) {
      EXPECT_LT(p.at(j, 0), p.at(j - 1, 0) + 1e-9) << "BOD at " << p.x[j];
    }
  }
  std::printf("BOD-DO example: lowest DO %.3f mg/L at %.0f m; DO at the end %.3f\n", p.at(low, 1),
              p.x[low], p.at(n - 1, 1));
  // The sag lies well downstream of the outfall (2 km) and the water
  // recovers towards the end.
  EXPECT_GT(p.x[low], 8000.0);
  EXPECT_LT(p.x[low], 38000.0);
  EXPECT_GT(p.at(n - 1, 1), p.at(low, 1));
  EXPECT_GT(p.at(low, 1), 0.0);
}

TEST(ShippedKinetics, TransientStorageExampleHoldsBackThePulse) {
  const std::vector<Profile> runs = run_all(example("transient_storage"));
  // Once the pulse has passed, the storage zone holds more than the channel
  // and releases it slowly: the long tail of transient storage.
  const Profile& p = runs.back();
  const int last = static_cast<int>(p.x.size()) - 1;
  std::printf("transient storage example at %.2f d: channel %.4f, storage zone %.4f mg/L at the "
              "end\n",
              p.t, p.at(last, 0), p.at(last, 1));
  EXPECT_GT(p.at(last, 1), p.at(last, 0));
  EXPECT_GT(p.at(last, 0), 0.0);
  for (const Profile& q : runs)
    for (std::size_t j = 0; j < q.x.size(); ++j)
      EXPECT_LE(q.at(static_cast<int>(j), 1), 50.0 + 1e-3);
}

// Linear interpolation in the columns of a CSV file with a header.
struct Series {
  std::vector<double> t, temperature, light;
  explicit Series(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);  // header
    double a = 0, b = 0, c = 0;
    char comma = 0;
    while (in >> a >> comma >> b >> comma >> c) {
      t.push_back(a);
      temperature.push_back(b);
      light.push_back(c);
    }
  }
  double at(const std::vector<double>& v, double time) const {
    std::size_t i = 0;
    while (i + 2 < t.size() && time > t[i + 1]) ++i;
    return v[i] + (v[i + 1] - v[i]) * (time - t[i]) / (t[i + 1] - t[i]);
  }
};

TEST(ShippedKinetics, BacteriaExampleSurvivesAsAlongItsPathThroughDayAndNight) {
  // With the dispersion of the example (Peclet number about 60 over the
  // stretch) water of other histories mixes in and the survival differs
  // from that along one path by up to a third; with a dispersion a hundred
  // times smaller the water moves as a plug.
  Scenario s = example("bacteria");
  EXPECT_EQ(run_all(s).size(), 13u);  // the example as shipped: every output reached
  for (double& d : s.geometry.dispersion) d *= 0.01;
  const std::vector<Profile> runs = run_all(s);
  const Series weather(kExamples / "weather.csv");
  const double q = 864000.0 + 25920.0;
  auto area = [&](double x) {
    const ChannelGeometry& g = s.geometry;
    std::size_t i = 0;
    while (i + 2 < g.x.size() && x > g.x[i + 1]) ++i;
    return g.area[i] + (g.area[i + 1] - g.area[i]) * (x - g.x[i]) / (g.x[i + 1] - g.x[i]);
  };
  // The die-off along the path of the water that reaches the end at time
  // t_end, followed back (plug flow) from the end to the outfall at 3 km,
  // with the rate constants of bacteria.toml written out here.
  auto log_survival = [&](double t_end) {
    double x = 12000.0, t = t_end, sum = 0.0;
    const double dt = 1e-4;
    while (x > 3000.0) {
      const double T = weather.at(weather.temperature, t), I = weather.at(weather.light, t);
      const double depth = 1.5 + (x / 12000.0);
      const double k = 0.8 * std::pow(1.07, T - 20.0) +
                       0.086 * I * (1.0 - std::exp(-2.0 * depth)) / (2.0 * depth);
      sum -= k * dt;
      x -= q / area(x) * dt;
      t -= dt;
    }
    return sum;
  };
  int checked = 0;
  for (const Profile& p : runs) {
    if (p.t < 1.5) continue;  // the start profile has left the reach by then
    const int last = static_cast<int>(p.x.size()) - 1;
    // The outfall's 1e5 cfu/100 mL in 0.3 of 10.3 m3/s, plus the river's 50.
    const double mixed = (25920.0 * 1.0e5 + 864000.0 * 50.0) / q;
    const double model = std::log(p.at(last, 0) / mixed);
    const double path = log_survival(p.t);
    std::printf("bacteria example, t = %.2f d: log survival outfall -> end: model %.3f, along "
                "the path %.3f\n",
                p.t, model, path);
    EXPECT_NEAR(model, path, 0.08 * std::abs(path) + 0.05);
    ++checked;
  }
  EXPECT_EQ(checked, 7);
}

}  // namespace
}  // namespace qz5::kinetics_test
