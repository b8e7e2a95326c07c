// The bundled scenario in examples/estuary: it must load cleanly and
// describe the run its README promises (an estuary from a fresh head to a
// salty mouth near 23330 m, forcing that covers the whole run with margin).
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "input/problem_setup.h"
#include "input/uinit.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::stop_of;

std::filesystem::path scenario_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples" /
         "estuary";
}

// Runs the set-up on the scenario's folder, as `make run` does there.
class EstuaryScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    ReaderOptions options;
    options.base_folder = scenario_dir();
    stopped = stop_of([&] { iniprb_qz5(con.io, *ms, title, "estuary.fn", options); });
    if (!stopped) {
      profile.assign(static_cast<std::size_t>((ms->NCOMP + 1) * ms->NPTS), 0.0);
      stopped = stop_of([&] { UINIT(con.io, *ms, ms->NCOMP, ms->NPTS, profile.data()); });
    }
  }
  Console con;
  std::unique_ptr<Inputs> ms = testing::new_state();
  std::string title;
  std::optional<Stop> stopped;
  std::vector<double> profile;
};

TEST_F(EstuaryScenario, LoadsWithoutWarnings) {
  ASSERT_FALSE(stopped) << stopped->text << "\n" << con.text();
  const auto lines = con.lines();
  ASSERT_EQ(lines.size(), 13u) << con.text();  // the file list and nothing else
  EXPECT_EQ(lines[2], msg("   prm: estuary.prm" + std::string(50 - 11, ' ')));
  EXPECT_EQ(lines[12], msg("   txc: estuary.txc" + std::string(80 - 11, ' ')));
}

TEST_F(EstuaryScenario, DescribesTheDocumentedEstuary) {
  ASSERT_FALSE(stopped) << stopped->text;
  EXPECT_EQ(ms->NCOMP, 6);
  EXPECT_GE(ms->NPTS, 60);
  EXPECT_LE(ms->NPTS, 100);
  EXPECT_EQ(ms->XCONV, 1.0);
  // Head at the first boundary, mouth at the peak of the dispersion law.
  EXPECT_EQ(ms->XBND(1), 0.0);
  EXPECT_EQ(ms->XBND(2), 23330.0);
  // Salinity: fresh at the head, about 30 at the mouth, at the start.
  EXPECT_EQ(ms->CBND0(1, 1), 0.0);
  EXPECT_NEAR(ms->CBND0(1, 2), 30.0, 1.5);
  // The river enters upstream of the head; the other inputs inside.
  const LoadBest& lb = ms->load_best;
  ASSERT_GE(lb.nlat, 2);
  EXPECT_LT(lb.x_lat(1), ms->XBND(1));
  for (int l = 2; l <= lb.nlat; ++l) {
    EXPECT_GT(lb.x_lat(l), ms->XBND(1));
    EXPECT_LT(lb.x_lat(l), ms->XBND(2));
  }
  // Output every few days over a few months; forcing covers it with margin.
  const double q = ms->TUNIT_DAY / ms->TUNIT_MODEL;
  const double start = ms->TSTART * q;
  const double end = ms->TOUTS(ms->NTIMES) * q;
  EXPECT_GE(end - start, 60.0);
  for (int i = 1; i <= ms->NTIMES; ++i) {
    const double previous = i == 1 ? start : ms->TOUTS(i - 1) * q;
    EXPECT_GT(ms->TOUTS(i) * q, previous);
    EXPECT_LE(ms->TOUTS(i) * q - previous, 10.0);
  }
  const VarDrv& drv = ms->var_drv;
  EXPECT_LE(drv.t_drv(1), start - 10.0);
  EXPECT_GE(drv.t_drv(drv.npts_drv(1)), end + 30.0);
  EXPECT_LE(ms->boundarys.bnd_tab(1, 1), start);
  EXPECT_GE(ms->boundarys.bnd_tab(ms->boundarys.nbnd_tpts, 1), end + 30.0);
  EXPECT_LE(lb.lat_tab(1, 1), start);
  EXPECT_GE(lb.lat_tab(lb.nlat_tpts, 1), end + 30.0);
}

TEST_F(EstuaryScenario, InitialProfileMatchesTheBoundaries) {
  ASSERT_FALSE(stopped) << stopped->text;
  const int nvar = ms->NCOMP + 1;
  const auto U = [&](int k, int j) { return profile[static_cast<std::size_t>((j - 1) * nvar + k - 1)]; };
  EXPECT_EQ(U(nvar, 1), ms->XBND(1));
  EXPECT_EQ(U(nvar, ms->NPTS), ms->XBND(2));
  for (int j = 2; j <= ms->NPTS; ++j) EXPECT_GT(U(nvar, j), U(nvar, j - 1));
  for (int k = 1; k <= ms->NCOMP; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(U(k, 1) * ms->CCONV(k), ms->CBND0(k, 1), 1e-4);
    EXPECT_NEAR(U(k, ms->NPTS) * ms->CCONV(k), ms->CBND0(k, 2), 1e-4);
    for (int j = 1; j <= ms->NPTS; ++j) EXPECT_GE(U(k, j), 0.0);
  }
}

}  // namespace
}  // namespace qz5
