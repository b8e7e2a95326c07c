// Helpers of the declared-kinetics tests: a reach of any number of
// constituents written as legacy files, read with declared kinetics, and an
// observer that keeps every output profile.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "kinetics/declared_kinetics.h"

namespace qz5::kinetics_test {

namespace fs = std::filesystem;

inline fs::path repo_root() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

inline fs::path fresh_dir(const std::string& tag) {
  static std::mt19937_64 rng{std::random_device{}()};
  const fs::path dir = fs::temp_directory_path() /
                       ("qz5_kinetics_" + tag + "_" + std::to_string(rng() % 1000000000ULL));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

inline void write_file(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

inline std::string num(double v) {
  std::ostringstream os;
  os.precision(17);
  os << v;
  return os.str();
}

// A straight reach from xleft to xright, days and metres, with one input of
// flow q upstream of the first boundary (no load of its own), a constant
// driver and constant boundary values; the start profile is linear between
// the two boundaries' values.
struct Reach {
  int npts = 41;
  double tau = 1.0e3, kappa = 2.0, alpha = 0.01;
  double atol = 1.0e-10, rtol = 1.0e-8;
  double xleft = 1000.0, xright = 20000.0;
  double q = 4000.0;  // m3/day
  std::vector<double> left, right;  // boundary values per constituent
  std::vector<double> touts{1000.0};

  void write(const fs::path& dir) const {
    const int ncomp = static_cast<int>(left.size());
    write_file(dir / "run.fn",
               "reach\nnames\nrun.prm\nrun.li\nrun.bnd\nrun.t\nrun.ut0\nrun.drv\nrun.txc\n");
    std::string prm = std::to_string(ncomp) + "\n" + std::to_string(npts) + "\n" + num(tau) +
                      "\n" + num(kappa) + "\n" + num(alpha) + "\n" + num(atol) + "\n" +
                      num(rtol) + "\n0\nF\nF\n1.0\n1.0\n1.0\n";
    for (int k = 0; k < ncomp; ++k) prm += "1.0\n";
    write_file(dir / "run.prm", prm);
    std::string bnd = num(xleft) + " " + num(xright) + "\n";
    for (double t : {-10.0, 1.0e7}) {
      bnd += num(t);
      for (double v : left) bnd += " " + num(v);
      for (double v : right) bnd += " " + num(v);
      bnd += "\n";
    }
    write_file(dir / "run.bnd", bnd);
    std::string li = "inflow\n1\n0.0\n" + num(q) + "\n0.05\n";
    for (double t : {-10.0, 1.0e7}) {
      li += num(t);
      for (int k = 0; k < ncomp; ++k) li += " 0";
      li += "\n";
    }
    write_file(dir / "run.li", li);
    write_file(dir / "run.drv", "-10 1.0\n1.0e7 1.0\n");
    std::string t = "0.0\n";
    for (double v : touts) t += num(v) + "\n";
    write_file(dir / "run.t", t);
    write_file(dir / "run.ut0", "");
  }
};

// Reads the names file in `dir` (names inside it relative to `dir`) with
// the kinetics.
inline Scenario read_with(const fs::path& dir, std::shared_ptr<const Kinetics> kinetics,
                          std::string* console = nullptr, const std::string& names = "run.fn") {
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  ScenarioReadOptions options;
  options.legacy_limits = false;
  options.base_folder = dir;
  options.kinetics = std::move(kinetics);
  try {
    Scenario s = read_scenario(io, names, options);
    if (console != nullptr) *console = out.str();
    return s;
  } catch (...) {
    if (console != nullptr) *console = out.str();
    throw;
  }
}

// A channel of constant area and dispersion (per day) over [0, length].
inline ChannelGeometry uniform_channel(double area, double dispersion, double length = 30000.0) {
  ChannelGeometry g;
  g.x = {0.0, length};
  g.area = {area, area};
  g.dispersion = {dispersion, dispersion};
  return g;
}

struct Profile {
  double t = 0.0;
  std::vector<double> x, c;  // c[j * ncomp + k]
  int ncomp = 0;
  double at(int j, int k) const { return c[static_cast<std::size_t>(j * ncomp + k)]; }
};

class Keeper : public Observer {
 public:
  void on_start(const RunContext&, const Snapshot& s) override { keep(s); }
  void on_output(int, int, const Snapshot& s, const IntegratorStatistics&) override { keep(s); }
  std::vector<Profile> profiles;

 private:
  void keep(const Snapshot& s) {
    profiles.push_back({s.t, std::vector<double>(s.x, s.x + s.npts),
                        std::vector<double>(s.c, s.c + s.npts * s.ncomp), s.ncomp});
  }
};

// Runs and returns every profile (the start and each output time).
inline std::vector<Profile> run_all(const Scenario& s, Summary* summary = nullptr) {
  Keeper keeper;
  const Summary sum = run_scenario(s, {}, &keeper);
  if (summary != nullptr) {
    *summary = sum;
  } else {
    EXPECT_TRUE(sum.completed()) << sum.message << "\n" << sum.console;
  }
  return keeper.profiles;
}

}  // namespace qz5::kinetics_test
