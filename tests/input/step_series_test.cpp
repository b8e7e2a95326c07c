// Step changes in the input series: a time written on two rows. Just before
// it the series runs towards the earlier row; at it and after it the later
// row holds, whichever interval the look-up remembered. Also the lateral
// file without inputs, which describes a run without inflow.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <vector>

#include "input/interpolate.h"
#include "input/model_state.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::name_field;
using testing::ScratchDir;
using testing::stop_of;

const double kNever = -1.0;  // FRAC before the call

// Value of a series column as every caller forms it.
double value_at(const std::vector<double>& v, int I, double FRAC) {
  const double lo = v[static_cast<std::size_t>(I - 1)];
  const double hi = v[static_cast<std::size_t>(I)];
  return (hi - lo) * FRAC + lo;
}

TEST(StepSeries, InterpolateTakesTheLaterRowAtARepeatedTime) {
  const double below2 = std::nextafter(2.0, 0.0);
  const double above2 = std::nextafter(2.0, 3.0);
  // Row values 10, 20, 30, ... so that a result names its rows.
  const std::vector<double> v = {10, 20, 30, 70, 90, 110, 130, 150, 170, 190};
  const std::vector<double> mid = {0, 1, 2, 2, 3};          // step at row 3 -> 4
  const std::vector<double> first = {2, 2, 3, 4};           // step at the first rows
  const std::vector<double> last = {0, 1, 2, 2};            // step at the last rows
  const std::vector<double> triple = {0, 1, 2, 2, 2, 3};    // row 5 is the last at 2
  const std::vector<double> only = {2, 2};                  // nothing but the step
  const std::vector<double> longer = {0, 1, 2, 2, 3, 4, 5, 6, 7, 8};  // reached by bisection
  struct Case {
    const char* name;
    const std::vector<double>& tab;
    double t;
    int i_in, i_out;
    double frac, value;
    const char* warning;
  };
  const std::vector<Case> cases = {
      {"middle: before, towards the earlier row", mid, 1.5, 1, 2, 0.5, 25, ""},
      {"middle: just before", mid, below2, 1, 2, below2 - 1.0, (30 - 20) * (below2 - 1.0) + 20, ""},
      {"middle: at, remembered from the left", mid, 2, 1, 4, 0, 70, ""},
      {"middle: at, remembered the interval ending there", mid, 2, 2, 4, 0, 70, ""},
      {"middle: at, remembered the empty interval", mid, 2, 3, 4, 0, 70, ""},
      {"middle: at, remembered from the right", mid, 2, 4, 4, 0, 70, ""},
      {"middle: at, remembered beyond the table", mid, 2, 9, 4, 0, 70, ""},
      {"middle: just after", mid, above2, 3, 4, above2 - 2.0, (90 - 70) * (above2 - 2.0) + 70, ""},
      {"first rows: before the table", first, 1, 3, 1, 0, 10, "tmin"},
      {"first rows: at, remembered the empty interval", first, 2, 1, 2, 0, 20, ""},
      {"first rows: at, remembered from the right", first, 2, 3, 2, 0, 20, ""},
      {"first rows: after", first, 2.5, 1, 2, 0.5, 25, ""},
      {"last rows: before", last, 1.5, 1, 2, 0.5, 25, ""},
      {"last rows: at, remembered from the left", last, 2, 1, 3, 1, 70, ""},
      {"last rows: at, remembered the empty interval", last, 2, 3, 3, 1, 70, ""},
      {"last rows: after the table", last, 2.5, 1, 3, 1, 70, "tmax"},
      {"three rows at one time: at, from the left", triple, 2, 2, 5, 0, 90, ""},
      {"three rows at one time: at, from the middle", triple, 2, 3, 5, 0, 90, ""},
      {"two rows, one time: at", only, 2, 1, 1, 1, 20, ""},
      {"two rows, one time: before", only, 1, 1, 1, 0, 10, "tmin"},
      {"bisection from the far right", longer, 2, 9, 4, 0, 70, ""},
      {"bisection from the far right, just before", longer, below2, 9, 2, below2 - 1.0,
       (30 - 20) * (below2 - 1.0) + 20, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Console con;
    int I = c.i_in;
    double frac = kNever;
    INTERPOLATE(con.io, c.t, static_cast<int>(c.tab.size()), c.tab.data(), I, frac);
    EXPECT_EQ(I, c.i_out);
    EXPECT_EQ(frac, c.frac);
    EXPECT_EQ(value_at(v, I, frac), c.value);
    const std::string warning = *c.warning == '\0'
                                    ? ""
                                    : msg(std::string("Interpolate::Warning, extrapolating beyond ") +
                                          c.warning) + "\n";
    EXPECT_EQ(con.text(), warning);
  }
}

// --- the three loaders ------------------------------------------------------

// Row r (1-based) of every series carries the value 10*r in its first
// column; the times are 0, 1, 1, 2 (a step at day 1 from row 2 to row 3).
const std::vector<double> kStepTimes = {0, 1, 1, 2};
double row_value(int r) { return 10.0 * r; }

std::string boundary_text(const std::vector<double>& times) {
  std::ostringstream s;
  s << "0 100\n";
  for (std::size_t r = 0; r < times.size(); ++r) {
    s << times[r];
    for (int k = 0; k < 12; ++k) s << ' ' << row_value(static_cast<int>(r) + 1);
    s << '\n';
  }
  return s.str();
}

std::string lateral_text(const std::vector<double>& times) {
  std::ostringstream s;
  s << "title\n1\n50\n8\n0.5\n";
  for (std::size_t r = 0; r < times.size(); ++r) {
    s << times[r];
    for (int k = 0; k < 6; ++k) s << ' ' << row_value(static_cast<int>(r) + 1);
    s << '\n';
  }
  return s.str();
}

std::string driver_text(const std::vector<double>& times) {
  std::ostringstream s;
  for (std::size_t r = 0; r < times.size(); ++r) s << times[r] << ' ' << row_value(static_cast<int>(r) + 1) << '\n';
  return s.str();
}

struct Series {
  const char* name;
  std::function<std::string(const std::vector<double>&)> text;
  std::function<void(Units&, ModelState&, const std::string&)> load;
  std::function<double(Units&, ModelState&, double)> first_value;  // at a time in days
};

std::vector<Series> all_series() {
  return {
      {"boundary", boundary_text,
       [](Units& io, ModelState& ms, const std::string& f) {
         ms.FN_BND = name_field(f);
         ms.boundarys.setup(io, ms, kUnitInput);
       },
       [](Units& io, ModelState& ms, double t) {
         double cl[6], cr[6];
         ms.boundarys.lookup(io, ms, t, cl, cr);
         EXPECT_EQ(cl[5], cr[5]);  // every column steps together
         return cl[0];
       }},
      {"lateral", lateral_text,
       [](Units& io, ModelState& ms, const std::string& f) {
         ms.FN_LI = name_field(f);
         ms.load_best.setup(io, ms, kUnitInput);
       },
       [](Units& io, ModelState& ms, double t) {
         double ql = 0, sl[6];
         ms.load_best.lookup(io, ms, t, 50.0, 1.0, ql, sl);
         return ms.load_best.c_lat(1, 1);
       }},
      {"driver", driver_text,
       [](Units& io, ModelState& ms, const std::string& f) {
         ms.FN_DRV(1) = name_field(f);
         ms.var_drv.DRV_INIT(io, ms, kUnitInput, 1);
       },
       [](Units& io, ModelState& ms, double t) {
         double value = 0;
         ms.var_drv.lookup(io, t, value, 1);
         return value;
       }},
  };
}

TEST(StepSeries, EveryKindOfSeriesReadsAStepAndLooksItUpAsOne) {
  // Times visited in an order that leaves the remembered interval on either
  // side of the step before each look-up at it.
  struct Look {
    double t, value;
  };
  const std::vector<Look> looks = {{0.5, 15},  {1.0, 30}, {1.5, 35}, {1.0, 30},
                                   {0.25, 12.5}, {1.0, 30}, {2.0, 40}};
  for (const Series& s : all_series()) {
    SCOPED_TRACE(s.name);
    ScratchDir dir;
    Console con;
    auto ms = testing::new_state();
    ms->NCOMP = 6;
    ms->TUNIT_MODEL = 1.0;
    ms->TUNIT_DAY = 1.0;
    ms->TSTART = 1.0;  // the boundary's start values come from the step's later row
    ASSERT_FALSE(stop_of([&] { s.load(con.io, *ms, dir.write("step", s.text(kStepTimes))); }))
        << con.text();
    for (const Look& l : looks) {
      SCOPED_TRACE(l.t);
      EXPECT_EQ(s.first_value(con.io, *ms, l.t), l.value);
    }
    // Just before the step the series is still on its way to the earlier
    // row: 1/1024 day before it, 10 + 10 * (1023/1024) exactly.
    EXPECT_EQ(s.first_value(con.io, *ms, 1.0 - 1.0 / 1024), 19.990234375);
    if (std::string(s.name) == "boundary") {
      EXPECT_EQ(ms->CBND0(1, 1), 30.0);
    }
    EXPECT_EQ(con.text(), "");
  }
}

// --- no lateral inputs ------------------------------------------------------

TEST(LateralWithoutInputs, LoadsAndGivesNeitherFlowNorMass) {
  // Records 3 and 4 hold no values (a comment, an empty line) but still
  // take their lines; a time point is the time alone.
  const std::string text = "no inputs\n0   nlat\n   no positions\n\n0.002   steepness\n0\n10 t\n";
  for (const bool from_boundary : {false, true}) {
    SCOPED_TRACE(from_boundary ? "LI_FROM_BND" : "own concentrations");
    ScratchDir dir;
    Console con;
    auto ms = testing::new_state();
    ms->NCOMP = 6;
    ms->TUNIT_MODEL = 1.0;
    ms->TUNIT_DAY = 1.0;
    ms->LI_FROM_BND = from_boundary;
    ms->FN_BND = name_field(dir.write("b.bnd", boundary_text({0, 10})));
    ms->boundarys.setup(con.io, *ms, kUnitInput);
    ms->FN_LI = name_field(dir.write("none.li", text));
    ASSERT_FALSE(stop_of([&] { ms->load_best.setup(con.io, *ms, kUnitInput); })) << con.text();
    const LoadBest& lb = ms->load_best;
    EXPECT_EQ(lb.nlat, 0);
    EXPECT_EQ(lb.k_lat, 0.002);
    EXPECT_EQ(lb.nlat_tpts, 2);
    EXPECT_EQ(lb.lat_tab(2, 1), 10.0);
    for (const double x : {-1e300, 0.0, 50.0, 1e300}) {
      for (const double s : {0.0, 1.0, 3.5}) {
        double ql = -1;
        double sl[6] = {-1, -1, -1, -1, -1, -1};
        ms->load_best.lookup(con.io, *ms, 5.0, x, s, ql, sl);
        EXPECT_EQ(ql, 0.0);
        for (const double m : sl) EXPECT_EQ(m, 0.0);
      }
    }
    EXPECT_EQ(con.text(), "");
  }
}

}  // namespace
}  // namespace qz5
