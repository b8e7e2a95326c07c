// The legacy capacities: by default each is refused with its legacy message
// and one line naming the option that lifts it; with --no-legacy-limits the
// same scenario runs, and where the larger input says nothing new (a
// constant boundary series on 366 rows, inputs of zero flow) it gives
// exactly the results of the small one.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

const std::string kHint =
    " This is a capacity of the legacy program; run with --no-legacy-limits to lift it.\n";

struct Capacity {
  std::string name;
  std::function<void(Scenario&)> enlarge;
  std::string legacy_message;  // what precedes the hint
  bool same_as_plain;          // lifted, the .txc equals the plain scenario's
};

std::vector<double> daily(int n) {
  std::vector<double> t;
  for (int i = 0; i < n; ++i) t.push_back(-10.0 + i);
  return t;
}

TEST(LegacyLimits, RefusedWithTheHintAndRunWhenLifted) {
  const std::vector<Capacity> cases = {
      {"400 grid points", [](Scenario& s) { s.npts = 400; },
       " SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :      2872\n",
       false},
      {"a daily boundary series of 366 rows",
       [](Scenario& s) {
         const auto row = s.bnd_rows[0];
         s.bnd_rows.clear();
         for (double t : daily(366)) {
           s.bnd_rows.push_back(row);
           s.bnd_rows.back()[0] = t;
         }
       },
       " Boundarys::ERROR, nbnd_tpts .Gt. max_bndry_tpts\n", true},
      {"250 output times",
       [](Scenario& s) {
         s.touts.clear();
         for (int i = 1; i <= 250; ++i) s.touts.push_back(0.004 * i);
       },
       " iniprb_qz5::Error, more than 200 output times in file run.t\n", false},
      {"12 lateral inputs, 11 of them without flow",
       [](Scenario& s) {
         s.x_lat.resize(12, 5000.0);
         s.q_lat.resize(12, 0.0);
         for (auto& r : s.lat_rows) {
           std::vector<double> wide{r[0]};
           for (int m = 1; m <= 6; ++m) {
             wide.push_back(r[static_cast<std::size_t>(m)]);
             for (int l = 2; l <= 12; ++l) wide.push_back(7.0);
           }
           r = wide;
         }
       },
       " Loading::Error, number of lateral inputs 12 outside 0..10 (record 2) in file run.li\n",
       true},
      {"12 lateral time points",
       [](Scenario& s) {
         const auto row = s.lat_rows[0];
         s.lat_rows.clear();
         for (double t : daily(12)) {
           s.lat_rows.push_back(row);
           s.lat_rows.back()[0] = t * 40.0;
         }
       },
       " Loading::nlat_tpts .Gt. max_lat_tpts\n Stopping...\n", true},
      {"a driver of 10001 points",
       [](Scenario& s) {
         s.drv_points.clear();
         for (int i = 0; i < 10001; ++i) s.drv_points.push_back({-10.0 + 0.05 * i, 1.0});
       },
       "  Program terminating...\n", true},
  };
  const fs::path plain_dir = e2e::fresh_dir("limits_plain");
  Scenario plain;
  plain.write(plain_dir);
  ASSERT_EQ(run_bounded(plain_dir).status, 0);
  const std::string plain_txc = e2e::read_file(plain_dir / "run.txc");

  for (const Capacity& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    c.enlarge(s);
    const fs::path dir = e2e::fresh_dir("limits");
    s.write(dir);
    const RunResult legacy = run_bounded(dir, "run.fn");
    expect_clean_end(legacy, c.name);
    EXPECT_EQ(legacy.status, 1);
    EXPECT_NE(legacy.console.find(c.legacy_message + kHint), std::string::npos) << legacy.console;

    const RunResult lifted = run_bounded(dir, "--no-legacy-limits run.fn", 60);
    expect_clean_end(lifted, c.name);
    ASSERT_EQ(lifted.status, 0) << lifted.console;
    EXPECT_EQ(lifted.console.find(kHint), std::string::npos);
    const auto blocks = e2e::read_txc_blocks(dir / "run.txc", s.npts);
    EXPECT_EQ(blocks.size(), s.touts.size() + 1);
    EXPECT_EQ(blocks.back().size(), static_cast<std::size_t>(s.npts));
    if (c.same_as_plain) {
      EXPECT_TRUE(e2e::read_file(dir / "run.txc") == plain_txc);
    }
    fs::remove_all(dir);
  }
  fs::remove_all(plain_dir);
}

}  // namespace
}  // namespace qz5::robust
