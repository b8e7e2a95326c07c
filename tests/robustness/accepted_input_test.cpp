// Inputs that are read and run: a lateral file without inputs, a step (a
// time written on two rows) in each kind of series, and grid counts that
// only the grid set-up can judge. Where a run is expected, its concentration
// file must equal, byte for byte, that of a run which says the same thing
// another way:
//   - no inputs at all = one input with no flow and no load;
//   - a step at the start time = the series holding the step's later row
//     throughout: from the start on, the later row holds. For the boundary
//     that includes the start values, taken at the start time itself; the
//     look-up exactly at a repeated time is pinned in
//     tests/input/step_series_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

using Tweak = std::function<void(Scenario&)>;

struct Case {
  std::string name;
  Tweak tweak;
  Tweak same_as;                    // a reference run whose .txc must be identical; may be empty
  int status;
  std::vector<std::string> expect;  // the console must hold each of these
};

std::vector<double> bnd_row(double t, double head_salinity) {
  return {t, head_salinity, 1, 0.5, 1, 0.5, 1, 30, 0.5, 0.2, 0.5, 0.2, 0.5};
}
std::vector<double> lat_row(double t, double load) { return {t, 0.1, load, 0.5, 1, 0.5, 1}; }

void no_inputs(Scenario& s) {
  s.x_lat.clear();
  s.q_lat.clear();
  s.lat_rows = {{-10}, {400}};
}
void one_dry_input(Scenario& s) {
  s.x_lat = {0.0};
  s.q_lat = {0.0};
  s.lat_rows = {{-10, 0, 0, 0, 0, 0, 0}, {400, 0, 0, 0, 0, 0, 0}};
}

const std::vector<std::string> kReady = {"\nReady\n"};
const std::string kTitle = " Advection dispersion with QZ5" + std::string(50, ' ') + "\n";

TEST(AcceptedInput, ReadAndRunAsDocumented) {
  const std::vector<Case> cases = {
      {"lateral file without inputs", no_inputs, one_dry_input, 0, kReady},
      {"lateral file without inputs, concentrations from the first boundary",
       [](Scenario& s) {
         no_inputs(s);
         s.li_from_bnd = true;
       },
       [](Scenario& s) {
         one_dry_input(s);
         s.li_from_bnd = true;
       },
       0, kReady},
      {"boundary step at the start time",
       [](Scenario& s) { s.bnd_rows = {bnd_row(-10, 0.5), bnd_row(0, 0.5), bnd_row(0, 4), bnd_row(400, 4)}; },
       [](Scenario& s) { s.bnd_rows = {bnd_row(-10, 4), bnd_row(400, 4)}; }, 0, kReady},
      {"lateral step at the start time",
       [](Scenario& s) { s.lat_rows = {lat_row(-10, 1), lat_row(0, 1), lat_row(0, 9), lat_row(400, 9)}; },
       [](Scenario& s) { s.lat_rows = {lat_row(-10, 9), lat_row(400, 9)}; }, 0, kReady},
      {"driver step at the start time",
       [](Scenario& s) { s.drv_points = {{-10, 0.5}, {0, 0.5}, {0, 1.5}, {400, 1.5}}; },
       [](Scenario& s) { s.drv_points = {{-10, 1.5}, {400, 1.5}}; }, 0, kReady},
      {"NPTS 1001 read, then refused by the grid set-up", [](Scenario& s) { s.npts = 1001; }, {}, 1,
       {"\n SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :      7079\n"
        "Error in SETSKM\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    c.tweak(s);
    const fs::path dir = e2e::fresh_dir("accepted");
    s.write(dir);
    const RunResult r = run_bounded(dir);
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, c.status) << r.console;
    for (const std::string& e : c.expect) {
      EXPECT_NE(r.console.find(e), std::string::npos) << "missing: " << e << "\n" << r.console;
    }
    if (c.status != 0) {
      // Stopped in the set-up after the title went to both logs.
      EXPECT_EQ(e2e::read_file(dir / "RESULT"), kTitle);
      EXPECT_EQ(e2e::read_file(dir / "RUNINF"), kTitle);
      EXPECT_FALSE(fs::exists(dir / "run.txc"));
    }
    if (c.same_as) {
      Scenario ref;
      c.same_as(ref);
      const fs::path ref_dir = e2e::fresh_dir("accepted_ref");
      ref.write(ref_dir);
      const RunResult rr = run_bounded(ref_dir);
      ASSERT_EQ(rr.status, 0) << rr.console;
      const std::string txc = e2e::read_file(dir / "run.txc");
      EXPECT_EQ(txc.size(), 3u * 15u * 113u);  // three blocks of 15 lines of 112 characters
      EXPECT_EQ(txc, e2e::read_file(ref_dir / "run.txc"));
      fs::remove_all(ref_dir);
    }
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace qz5::robust
