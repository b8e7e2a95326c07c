// Reading scenarios depends on nothing of the process: names resolve against
// the folder of their names file, so two threads reading names files in
// different folders at once get what reading them one after the other gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/scenario.h"
#include "engine/engine.h"

namespace qz5 {
namespace {

namespace fs = std::filesystem;

void put(std::ostringstream& out, double v) {
  char text[40];
  std::snprintf(text, sizeof text, " %a", v);
  out << text;
}

// Every input of a scenario as text, doubles exactly (hexadecimal).
std::string describe(const Scenario& s) {
  const Inputs& in = s.inputs;
  std::ostringstream out;
  out << s.title << '|' << in.NCOMP << ' ' << in.NPTS << ' ' << in.NTIMES << ' ' << in.INFO10
      << ' ' << in.USE_UT0 << ' ' << in.LI_FROM_BND << '|';
  for (double v : {in.TSTART, in.TAU, in.KAPPA, in.ALPHA, in.ATOL, in.RTOL, in.XCONV,
                   in.TUNIT_MODEL, in.TUNIT_DAY, in.XBND(1), in.XBND(2)})
    put(out, v);
  for (int i = 1; i <= in.NTIMES; ++i) put(out, in.TOUTS(i));
  for (int k = 1; k <= kNumRxpar; ++k) put(out, in.RXPAR(k));
  for (int k = 1; k <= in.NCOMP; ++k) {
    put(out, in.CCONV(k));
    put(out, in.CBND0(k, 1));
    put(out, in.CBND0(k, 2));
  }
  const Boundarys& b = in.boundarys;
  out << "|bnd " << b.nbnd_tpts;
  for (int r = 1; r <= b.nbnd_tpts; ++r)
    for (int c = 1; c <= 1 + 2 * in.NCOMP; ++c) put(out, b.bnd_tab(r, c));
  const LoadBest& l = in.load_best;
  out << "|lat " << l.nlat << ' ' << l.nlat_tpts;
  put(out, l.k_lat);
  for (int i = 1; i <= l.nlat; ++i) {
    put(out, l.x_lat(i));
    put(out, l.q_lat(i));
  }
  for (int r = 1; r <= l.nlat_tpts; ++r)
    for (int c = 1; c <= 1 + in.NCOMP * l.nlat; ++c) put(out, l.lat_tab(r, c));
  const VarDrv& d = in.var_drv;
  out << "|drv " << d.npts_drv(1);
  for (int i = 1; i <= d.npts_drv(1); ++i) {
    put(out, d.t_drv(i));
    put(out, d.v_drv(i));
  }
  out << "|ut0 " << in.nut0_groups;
  for (double v : in.ut0_tab) put(out, v);
  out << "|files " << in.base_folder << ' ' << in.FN_PRM << ' ' << in.FN_LI << ' ' << in.FN_BND
      << ' ' << in.FN_T << ' ' << in.FN_UT0 << ' ' << in.FN_DRV(1) << ' ' << in.FN_TXC;
  return out.str();
}

Scenario read(const fs::path& names_file) {
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  return read_scenario(io, names_file);
}

TEST(ReadScenario, TwoThreadsInTwoFoldersReadWhatOneAfterTheOtherReads) {
  // Two scenarios under the same file names (run.fn, run.prm, ...), each in
  // its own folder and different in every file: a name resolved against the
  // wrong folder shows as the other scenario's values.
  e2e::Scenario first;
  first.use_ut0 = true;
  first.npts = 3;
  first.ut0_rows = {{1, 1000, 1, 2, 3, 4, 5, 6}, {2, 10500, 1, 2, 3, 4, 5, 6},
                    {3, 20000, 1, 2, 3, 4, 5, 6}};
  e2e::Scenario second;
  second.npts = 21;
  second.rxpar[0] = 2.0;
  second.tstart = 0.25;
  second.touts = {0.5, 0.75, 1.0, 1.25};
  second.xright = 30000.0;
  second.bnd_rows = {{-5, 1, 1, 1, 1, 1, 1, 20, 2, 2, 2, 2, 2}, {10, 2, 2, 2, 2, 2, 2, 25, 3, 3, 3, 3, 3},
                     {500, 3, 3, 3, 3, 3, 3, 30, 4, 4, 4, 4, 4}};
  second.x_lat = {100.0, 5000.0};
  second.q_lat = {1.0e6, 2.0e6};
  second.lat_rows = {{-10, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2}, {400, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3}};
  second.drv_points = {{-20, 0.5}, {0, 0.75}, {600, 1.5}};
  const fs::path dir_a = e2e::fresh_dir("read-threads-a");
  const fs::path dir_b = e2e::fresh_dir("read-threads-b");
  first.write(dir_a);
  second.write(dir_b);

  const std::string expected_a = describe(read(dir_a / "run.fn"));
  const std::string expected_b = describe(read(dir_b / "run.fn"));
  ASSERT_NE(expected_a, expected_b);
  // The folders' values, not the defaults, were read.
  EXPECT_NE(expected_a.find("|ut0 3"), std::string::npos) << expected_a;
  EXPECT_NE(expected_b.find("|drv 3"), std::string::npos) << expected_b;

  constexpr int kRounds = 25;
  std::vector<std::string> got_a, got_b;
  auto reader = [](const fs::path& names, std::vector<std::string>& got) {
    for (int i = 0; i < kRounds; ++i) {
      try {
        got.push_back(describe(read(names)));
      } catch (const Stop& s) {
        got.push_back("stopped: " + s.text);
      }
    }
  };
  std::thread a(reader, dir_a / "run.fn", std::ref(got_a));
  std::thread b(reader, dir_b / "run.fn", std::ref(got_b));
  a.join();
  b.join();
  ASSERT_EQ(got_a.size(), static_cast<std::size_t>(kRounds));
  ASSERT_EQ(got_b.size(), static_cast<std::size_t>(kRounds));
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_EQ(got_a[static_cast<std::size_t>(i)], expected_a) << "round " << i;
    EXPECT_EQ(got_b[static_cast<std::size_t>(i)], expected_b) << "round " << i;
  }
  fs::remove_all(dir_a);
  fs::remove_all(dir_b);
}

TEST(ReadScenario, NamesResolveAgainstTheBaseFolderNotTheWorkingFolder) {
  // The same names file read through a base folder and through its full
  // path gives the same inputs; a base folder without the files refuses
  // them, naming the file as the names file gives it.
  e2e::Scenario es;
  const fs::path dir = e2e::fresh_dir("read-base");
  es.write(dir);
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  ScenarioReadOptions options;
  options.legacy_limits = false;
  options.base_folder = dir;
  const Scenario through_base = read_scenario(io, "run.fn", options);
  EXPECT_EQ(describe(through_base), describe(read(dir / "run.fn")));
  EXPECT_EQ(through_base.inputs.FN_PRM, fs::path("run.prm"));

  const fs::path empty = e2e::fresh_dir("read-base-empty");
  fs::copy_file(dir / "run.fn", empty / "run.fn");
  options.base_folder = empty;
  try {
    read_scenario(io, "run.fn", options);
    ADD_FAILURE() << "read without its files";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status, 1);
    EXPECT_NE(s.text.find("\"run.prm\""), std::string::npos) << s.text;
  }
  fs::remove_all(dir);
  fs::remove_all(empty);
}

}  // namespace
}  // namespace qz5
