// Inputs that are read: a lateral file without inputs, a step (a time on
// two rows) in each kind of series, and a grid count only the grid set-up
// can judge. A run must give, byte for byte, the concentration file of a run
// that says the same another way: no inputs = one input with no flow and no
// load; a step at the start time = the series holding the later row
// throughout (for the boundary that includes the start values, taken at the
// step itself; interpolate_test.cpp pins the look-up exactly at a step).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

using Tweak = std::function<void(Scenario&)>;

std::vector<double> bnd_row(double t, double head_salinity) {
  return {t, head_salinity, 1, 0.5, 1, 0.5, 1, 30, 0.5, 0.2, 0.5, 0.2, 0.5};
}
std::vector<double> lat_row(double t, double load) { return {t, 0.1, load, 0.5, 1, 0.5, 1}; }

Tweak lateral(std::vector<double> x, std::vector<std::vector<double>> rows, bool from_bnd) {
  return [=](Scenario& s) {
    s.x_lat = s.q_lat = x;  // a flow of 0 where there is an input
    s.lat_rows = rows;
    s.li_from_bnd = from_bnd;
  };
}

TEST(AcceptedInput, ReadAndRunAsDocumented) {
  const std::vector<double> dry = {-10, 0, 0, 0, 0, 0, 0}, dry_end = {400, 0, 0, 0, 0, 0, 0};
  const struct {
    std::string name;
    Tweak tweak, same_as;
  } runs[] = {
      {"no lateral inputs", lateral({}, {{-10}, {400}}, false), lateral({0}, {dry, dry_end}, false)},
      {"no lateral inputs, LI_FROM_BND", lateral({}, {{-10}, {400}}, true),
       lateral({0}, {dry, dry_end}, true)},
      {"boundary step at the start",
       [](Scenario& s) { s.bnd_rows = {bnd_row(-10, 0.5), bnd_row(0, 0.5), bnd_row(0, 4), bnd_row(400, 4)}; },
       [](Scenario& s) { s.bnd_rows = {bnd_row(-10, 4), bnd_row(400, 4)}; }},
      {"lateral step at the start",
       [](Scenario& s) { s.lat_rows = {lat_row(-10, 1), lat_row(0, 1), lat_row(0, 9), lat_row(400, 9)}; },
       [](Scenario& s) { s.lat_rows = {lat_row(-10, 9), lat_row(400, 9)}; }},
      {"driver step at the start",
       [](Scenario& s) { s.drv_points = {{-10, 0.5}, {0, 0.5}, {0, 1.5}, {400, 1.5}}; },
       [](Scenario& s) { s.drv_points = {{-10, 1.5}, {400, 1.5}}; }},
  };
  for (const auto& c : runs) {
    SCOPED_TRACE(c.name);
    std::string txc[2];
    for (int k = 0; k < 2; ++k) {
      Scenario s;
      (k == 0 ? c.tweak : c.same_as)(s);
      const fs::path dir = e2e::fresh_dir("accepted");
      s.write(dir);
      const RunResult r = run_bounded(dir);
      expect_clean_end(r, c.name);
      EXPECT_EQ(r.status, 0) << r.console;
      EXPECT_NE(r.console.find("\nReady\n"), std::string::npos) << r.console;
      txc[k] = e2e::read_file(dir / "run.txc");
      fs::remove_all(dir);
    }
    EXPECT_EQ(txc[0].size(), 3u * 15u * 113u);  // three blocks of 15 lines of 112 characters
    EXPECT_EQ(txc[0], txc[1]);
  }

  // Read as it stands, refused by the grid set-up after the title went to
  // both logs: 7 * 1001 + 72 = 7079 reals needed.
  Scenario s;
  s.npts = 1001;
  const fs::path dir = e2e::fresh_dir("accepted");
  s.write(dir);
  const RunResult r = run_bounded(dir);
  expect_clean_end(r, "NPTS 1001");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("\n SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN "
                           "REQUIRED :      7079\n"
                          " This is a capacity of the legacy program; run with "
                          "--no-legacy-limits to lift it.\nError in SETSKM\n"),
            std::string::npos)
      << r.console;
  const std::string title = " Advection dispersion with QZ5" + std::string(50, ' ') + "\n";
  EXPECT_EQ(e2e::read_file(dir / "RESULT"), title);
  EXPECT_EQ(e2e::read_file(dir / "RUNINF"), title);
  EXPECT_FALSE(fs::exists(dir / "run.txc"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::robust
