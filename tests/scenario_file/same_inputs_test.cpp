// A legacy names file and the scenario file of the same run produce the same
// engine inputs, value for value and bit for bit: the shipped estuary.toml
// against the bundled legacy files, and a scenario taken back from the
// engine's inputs into a document and mapped again.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "engine/scenario.h"
#include "scenario_file/scenario_files.h"
#include "scenario_file/to_engine.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

fs::path example() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "estuary";
}

void expect_same_inputs(const Inputs& a, const Inputs& b) {
  EXPECT_EQ(a.NCOMP, b.NCOMP);
  EXPECT_EQ(a.NPTS, b.NPTS);
  EXPECT_EQ(a.NTIMES, b.NTIMES);
  EXPECT_EQ(a.INFO10, b.INFO10);
  EXPECT_EQ(a.USE_UT0, b.USE_UT0);
  EXPECT_EQ(a.LI_FROM_BND, b.LI_FROM_BND);
  for (double Inputs::*f : {&Inputs::TUNIT_MODEL, &Inputs::TUNIT_DAY,
                                &Inputs::XCONV, &Inputs::TSTART, &Inputs::TAU,
                                &Inputs::KAPPA, &Inputs::ALPHA, &Inputs::ATOL,
                                &Inputs::RTOL})
    EXPECT_EQ(a.*f, b.*f);
  for (int i = 1; i <= a.NTIMES; ++i) EXPECT_EQ(a.TOUTS(i), b.TOUTS(i)) << "output " << i;
  for (int k = 1; k <= a.NCOMP; ++k) {
    EXPECT_EQ(a.CCONV(k), b.CCONV(k));
    EXPECT_EQ(a.CBND0(k, 1), b.CBND0(k, 1));
    EXPECT_EQ(a.CBND0(k, 2), b.CBND0(k, 2));
  }
  for (int k = 1; k <= kNumRxpar; ++k) EXPECT_EQ(a.RXPAR(k), b.RXPAR(k)) << "RXPAR " << k;
  EXPECT_EQ(a.XBND(1), b.XBND(1));
  EXPECT_EQ(a.XBND(2), b.XBND(2));

  ASSERT_EQ(a.boundarys.nbnd_tpts, b.boundarys.nbnd_tpts);
  for (int i = 1; i <= a.boundarys.nbnd_tpts; ++i)
    for (int c = 1; c <= 1 + 2 * a.NCOMP; ++c)
      EXPECT_EQ(a.boundarys.bnd_tab(i, c), b.boundarys.bnd_tab(i, c)) << i << "," << c;

  const LoadBest& la = a.load_best;
  const LoadBest& lb = b.load_best;
  ASSERT_EQ(la.nlat, lb.nlat);
  ASSERT_EQ(la.nlat_tpts, lb.nlat_tpts);
  EXPECT_EQ(la.k_lat, lb.k_lat);
  for (int l = 1; l <= la.nlat; ++l) {
    EXPECT_EQ(la.x_lat(l), lb.x_lat(l));
    EXPECT_EQ(la.q_lat(l), lb.q_lat(l));
  }
  for (int i = 1; i <= la.nlat_tpts; ++i)
    for (int c = 1; c <= 1 + a.NCOMP * la.nlat; ++c)
      EXPECT_EQ(la.lat_tab(i, c), lb.lat_tab(i, c)) << i << "," << c;

  ASSERT_EQ(a.var_drv.npts_drv(1), b.var_drv.npts_drv(1));
  for (int i = 1; i <= a.var_drv.npts_drv(1); ++i) {
    EXPECT_EQ(a.var_drv.t_drv(i), b.var_drv.t_drv(i));
    EXPECT_EQ(a.var_drv.v_drv(i), b.var_drv.v_drv(i));
  }
  ASSERT_EQ(a.nut0_groups, b.nut0_groups);
  EXPECT_EQ(a.ut0_tab, b.ut0_tab);  // the point numbers 1..NPTS included
}

TEST(SameInputs, TheScenarioFileAndTheLegacyFilesOfTheEstuaryAgree) {
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  const Scenario legacy = read_scenario(io, example() / "estuary.fn");
  const Scenario toml = read_scenario_file(io, example() / "estuary.toml");
  expect_same_inputs(legacy.inputs, toml.inputs);
  EXPECT_TRUE(toml.geometry.empty());
  EXPECT_EQ(toml.outflow, Outflow::kFixedConcentration);
  EXPECT_EQ(toml.inputs.FN_TXC, example() / "estuary.txc");
}

TEST(SameInputs, AScenarioInMemoryGoesToADocumentAndBackUnchanged) {
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  const Scenario a = read_scenario_file(io, example() / "estuary.toml");
  ScenarioDocument d = document_from_engine(a, "salinity:psu,doc,din,phyto,consumers,detritus");
  EXPECT_EQ(d.constituents[0].name, "salinity");
  EXPECT_EQ(d.constituents[0].unit, "psu");
  EXPECT_EQ(d.constituents[1].unit, "");
  d.file = example() / "estuary.toml";
  const Scenario b = to_engine_scenario(d, io);
  expect_same_inputs(a.inputs, b.inputs);
}

}  // namespace
}  // namespace qz5::scenario_file

namespace qz5::scenario_file {
namespace {

// Whether some time in days, searched far wider than the writer looks
// (64 doubles either side of T * q), divides into T exactly.
bool has_days(double T, double q) {
  double d = T * q;
  for (int i = 0; i < 64; ++i) d = std::nextafter(d, -1e300);
  for (int i = 0; i <= 128; ++i, d = std::nextafter(d, 1e300))
    if (d / q == T) return true;
  return false;
}

// Model times with other unit factors than 1 (hours, minutes, weeks, ...):
// a scenario in memory written as a document and read back has the same
// model times bit for bit, and a model time no time in days gives is
// refused rather than moved.
TEST(SameInputs, ModelTimesInOtherUnitsGoToDaysAndBackExactly) {
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  const Scenario base = read_scenario_file(io, example() / "estuary.toml");
  struct Units2 {
    double model, days;
  };
  int refused = 0, written = 0;
  for (const Units2 u : {Units2{24.0, 1.0}, Units2{1440.0, 1.0}, Units2{1.0, 7.0},
                         Units2{3.0, 10.0}, Units2{10.0, 3.0}, Units2{0.1, 1.0}}) {
    SCOPED_TRACE(std::to_string(u.model) + " model units per " + std::to_string(u.days) + " days");
    const double q = u.days / u.model;
    // 300 consecutive doubles after 1/3, as model times.
    double T = 1.0 / 3.0;
    for (int i = 0; i < 300; ++i, T = std::nextafter(T, 2.0)) {
      Scenario s = base;
      s.inputs.TUNIT_MODEL = u.model;
      s.inputs.TUNIT_DAY = u.days;
      s.inputs.TSTART = -1.0 / q;  // before every series' first time
      s.inputs.NTIMES = 1;
      s.inputs.TOUTS(1) = T;
      if (!has_days(T, q)) {
        EXPECT_THROW(document_from_engine(s), Stop) << T;
        ++refused;
        continue;
      }
      ScenarioDocument d = document_from_engine(s);
      d.file = example() / "estuary.toml";
      const Scenario back = to_engine_scenario(d, io);
      ASSERT_EQ(back.inputs.TOUTS(1), T) << "days " << d.outputs[0];
      ASSERT_EQ(back.inputs.TSTART, s.inputs.TSTART);
      ++written;
    }
  }
  EXPECT_GT(written, 1000);
  std::cout << written << " model times written exactly, " << refused << " refused\n";
}

}  // namespace
}  // namespace qz5::scenario_file
