// LoadBest: loading the lateral-input file and the flow and mass look-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>

#include "input/load_best.h"
#include "input/inputs.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::name_field;
using testing::ScratchDir;
using testing::stop_of;

struct Input {
  double x, q;
};

// Concentration of constituent m at input l in time point `row`: distinct and
// exact in binary.
double conc(int row, int m, int l) { return 1000.0 * row + 10.0 * m + l; }

std::string lateral_file(const std::vector<Input>& inputs, double k,
                         const std::vector<double>& times, const std::string& title = "Lateral inputs") {
  std::ostringstream s;
  s << title << "\n" << inputs.size() << "   number of inputs\n";
  for (const Input& in : inputs) s << in.x << ' ';
  s << "  positions\n";
  for (const Input& in : inputs) s << in.q << ' ';
  s << "  flows\n" << k << "   steepness\n";
  const int nlat = static_cast<int>(inputs.size());
  for (std::size_t r = 0; r < times.size(); ++r) {
    s << times[r];
    for (int m = 1; m <= 6; ++m)
      for (int l = 1; l <= nlat; ++l) s << ' ' << conc(static_cast<int>(r) + 1, m, l);
    s << '\n';
  }
  return s.str();
}

class LoadBestTest : public ::testing::Test {
 protected:
  void SetUp() override { ms->NCOMP = 6; }
  std::optional<Stop> load(const std::string& text) {
    path = dir.write("case.li", text);
    ms->FN_LI = std::filesystem::path(path);
    return stop_of([&] { ms->load_best.setup(con.io, *ms, kUnitInput); });
  }
  // Look-up at (T, X, S) into QL and SL.
  void at(double T, double X, double S) {
    if (!pos) pos = std::make_unique<SeriesPositions>(ms->load_best);
    ms->load_best.lookup(con.io, *ms, *pos, T, X, S, QL, SL);
  }

  ScratchDir dir;
  Console con;
  std::string path;
  std::unique_ptr<Inputs> ms = testing::new_state();
  std::unique_ptr<SeriesPositions> pos;  // the look-ups' positions, made at the first look-up
  double QL = -1.0;
  double SL[6] = {-1, -1, -1, -1, -1, -1};
};

TEST_F(LoadBestTest, ReadsHeaderRecordsAndTable) {
  // The title's first character is all that is read: a title that looks
  // like numbers does not disturb the records after it.
  ASSERT_FALSE(load(lateral_file({{-2000.0, 864000.0}, {8000.0, 172800.0}}, 0.002,
                                 {0.0, 30.0, 60.0}, "3 4 5 6")));
  const LoadBest& lb = ms->load_best;
  EXPECT_EQ(lb.nlat, 2);
  EXPECT_EQ(lb.x_lat(1), -2000.0);
  EXPECT_EQ(lb.x_lat(2), 8000.0);
  EXPECT_EQ(lb.q_lat(2), 172800.0);
  EXPECT_EQ(lb.k_lat, 0.002);
  EXPECT_EQ(lb.nlat_tpts, 3);
  EXPECT_EQ(lb.lat_tab(3, 1), 60.0);
  // Column 1 + l + nlat*(m-1) holds constituent m at input l.
  EXPECT_EQ(lb.lat_tab(2, 1 + 2 + 2 * 5), conc(2, 6, 2));
  EXPECT_EQ(lb.lat_tab(1, 1 + 1 + 2 * 2), conc(1, 3, 1));
  EXPECT_FALSE(con.io.is_open(kUnitInput));
}

TEST_F(LoadBestTest, ConcentrationsInterpolatedPerConstituentAndInput) {
  ASSERT_FALSE(load(lateral_file({{0.0, 1.0}, {10.0, 1.0}}, 1.0, {0.0, 4.0, 8.0})));
  at(5.0, 3.0, 1.0);  // a quarter into the second interval
  for (int m = 1; m <= 6; ++m) {
    for (int l = 1; l <= 2; ++l) {
      SCOPED_TRACE("m " + std::to_string(m) + " l " + std::to_string(l));
      const double v0 = conc(2, m, l), v1 = conc(3, m, l);
      EXPECT_EQ(pos->c_lat(m, l), (v1 - v0) * 0.25 + v0);
    }
  }
  EXPECT_EQ(pos->ilast_lat, 2);
}

TEST_F(LoadBestTest, LogisticStepAtAndAroundAnInput) {
  // One input: q = 8, k = 0.5 at x = 100. At the input e = 1, d = 2: it adds
  // q/2 = 4 to the flow and g = q*k/4 = 1 to the per-length inflow.
  ASSERT_FALSE(load(lateral_file({{100.0, 8.0}}, 0.5, {0.0, 10.0})));
  const double c1 = conc(1, 1, 1);  // T = 0: first row exactly
  struct Case {
    const char* name;
    double X, S, QL;
    double g;  // per-length inflow before the multiplier
  };
  const double e300 = std::exp(300.0);
  const std::vector<Case> cases = {
      {"at the input", 100.0, 1.0, 4.0, 1.0},
      {"at the input, S = 2", 100.0, 2.0, 8.0, 1.0},
      {"S = 0", 100.0, 0.0, 0.0, 1.0},
      // a = -((X - x) k) = 600 upstream: clamped to 300.
      {"1200 upstream: clamped", -1100.0, 1.0, 8.0 / (1.0 + e300),
       ((8.0 * e300) * 0.5) / std::pow(1.0 + e300, 2.0)},
      {"far upstream: clamped", -1e12, 1.0, 8.0 / (1.0 + e300),
       ((8.0 * e300) * 0.5) / std::pow(1.0 + e300, 2.0)},
      // a = -600, clamped to -300: e = exp(-300), d rounds to 1.
      {"far downstream: clamped", 1e12, 3.0, 24.0, (8.0 * std::exp(-300.0)) * 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    at(0.0, c.X, c.S);
    EXPECT_EQ(QL, c.QL);
    for (int m = 1; m <= 6; ++m) {
      EXPECT_TRUE(std::isfinite(SL[m - 1]));
      EXPECT_EQ(SL[m - 1], (conc(1, m, 1) * c.g) * c.S);
    }
  }
  // Far upstream the flow is practically zero, and no overflow occurs.
  at(0.0, -1e12, 1.0);
  EXPECT_LT(QL, 1e-120);
  EXPECT_LT(SL[0], 1e-120 * c1);
}

TEST_F(LoadBestTest, FlowSumsTheInputsUpstream) {
  // Three inputs far apart and steep: between them the flow is the sum of
  // the inputs upstream, to rounding.
  ASSERT_FALSE(load(lateral_file({{0.0, 10.0}, {1000.0, 2.0}, {2000.0, 0.5}}, 1.0, {0.0, 1.0})));
  const std::vector<std::pair<double, double>> expected = {
      {-500.0, 0.0}, {500.0, 10.0}, {1500.0, 12.0}, {2500.0, 12.5}};
  for (const auto& [X, flow] : expected) {
    SCOPED_TRACE(X);
    at(0.5, X, 1.0);
    EXPECT_NEAR(QL, flow, 1e-12);
  }
  // Exactly at the second input: half of it on top of the first.
  at(0.5, 1000.0, 1.0);
  EXPECT_NEAR(QL, 11.0, 1e-12);
}

TEST_F(LoadBestTest, SeveralInputsSumInTheirOrderBitForBit) {
  // Three inputs, points between, on and beyond them (one exponent clamped):
  // the flow and loads must be, bit for bit, the sums in input order from
  // +0.0 of q/d and c(m) g, g = ((q e) k) / (d d), each then times S.
  const std::vector<Input> inputs = {{0.0, 10.0}, {40.0, 2.5}, {90.0, 0.75}};
  const double k = 0.125;
  ASSERT_FALSE(load(lateral_file(inputs, k, {0.0, 1.0})));
  for (const double X : {-3000.0, -7.5, 0.0, 33.0, 40.0, 61.25, 90.0, 2600.0}) {
    SCOPED_TRACE(X);
    const double S = 1.75;
    double ql = 0.0, sl[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (std::size_t l = 0; l < inputs.size(); ++l) {
      const double a = std::clamp(-((X - inputs[l].x) * k), -300.0, 300.0);
      const double e = std::exp(a), d = 1.0 + e;
      ql = ql + inputs[l].q / d;
      const double g = ((inputs[l].q * e) * k) / (d * d);
      for (int m = 1; m <= 6; ++m)
        sl[m - 1] = sl[m - 1] + conc(1, m, static_cast<int>(l) + 1) * g;
    }
    at(0.0, X, S);
    EXPECT_EQ(QL, S * ql);
    for (int m = 1; m <= 6; ++m) EXPECT_EQ(SL[m - 1], sl[m - 1] * S) << "m " << m;
  }
}

TEST_F(LoadBestTest, ConcentrationsFromTheFirstBoundary) {
  // The boundary series: at T = 1 the first boundary holds 2m + 0.5 ... use
  // values exact in binary.
  std::ostringstream bnd;
  bnd << "0 100\n";
  bnd << "0 1 2 3 4 5 6 9 9 9 9 9 9\n";
  bnd << "2 3 4 5 6 7 8 9 9 9 9 9 9\n";
  ms->FN_BND = std::filesystem::path(dir.write("case.bnd", bnd.str()));
  ms->TUNIT_MODEL = 1.0;
  ms->TUNIT_DAY = 1.0;
  ms->boundarys.setup(con.io, *ms, kUnitInput);
  ms->LI_FROM_BND = true;
  // Two inputs, the second far downstream; both carry the boundary's values.
  ASSERT_FALSE(load(lateral_file({{50.0, 8.0}, {1e9, 8.0}}, 0.5, {0.0, 10.0})));
  at(1.0, 50.0, 1.0);
  for (int m = 1; m <= 6; ++m) {
    SCOPED_TRACE(m);
    const double cb = m + 1.0;  // halfway between m and m + 2
    EXPECT_EQ(pos->c_lat(m, 1), cb);
    EXPECT_EQ(pos->c_lat(m, 2), cb);
    // Input 1 gives g = 1; input 2, 1e9 downstream of X, practically nothing.
    EXPECT_NEAR(SL[m - 1], cb, 1e-100);
  }
  EXPECT_EQ(con.text(), "");
}

TEST_F(LoadBestTest, TimeOutsideTheTableWarnsAndHoldsTheEnd) {
  ASSERT_FALSE(load(lateral_file({{0.0, 8.0}}, 0.5, {0.0, 10.0})));
  at(11.0, 0.0, 1.0);
  EXPECT_EQ(pos->c_lat(6, 1), conc(2, 6, 1));
  EXPECT_EQ(con.text(), msg("Interpolate::Warning, extrapolating beyond tmax") + "\n");
}

TEST_F(LoadBestTest, NoInputsLoadAndGiveNeitherFlowNorMass) {
  // nlat = 0: records 3 and 4 hold only their comments and a time point is
  // the time alone.
  ASSERT_FALSE(load(lateral_file({}, 0.002, {0.0, 10.0})));
  EXPECT_EQ(ms->load_best.nlat, 0);
  EXPECT_EQ(ms->load_best.k_lat, 0.002);
  EXPECT_EQ(ms->load_best.lat_tab(2, 1), 10.0);
  for (const double X : {-1e300, 0.0, 1e300}) {
    at(5.0, X, 3.5);
    EXPECT_EQ(QL, 0.0);
    for (const double m : SL) EXPECT_EQ(m, 0.0);
  }
  EXPECT_EQ(con.text(), "");
}

TEST_F(LoadBestTest, CapacityIsExactlyTenTimePoints) {
  std::vector<double> times;
  for (int i = 0; i < 10; ++i) times.push_back(i);
  ASSERT_FALSE(load(lateral_file({{0.0, 8.0}}, 0.5, times)));
  EXPECT_EQ(ms->load_best.nlat_tpts, 10);

  times.push_back(10.0);
  Console fresh;
  ms->FN_LI = std::filesystem::path(dir.write("eleven.li", lateral_file({{0.0, 8.0}}, 0.5, times)));
  const auto stopped = stop_of([&] { ms->load_best.setup(fresh.io, *ms, kUnitInput); });
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->text, kDefaultStopText);
  EXPECT_EQ(fresh.text(), msg("Loading::nlat_tpts .Gt. max_lat_tpts") + "\n" + msg("Stopping...") + "\n");
}

TEST_F(LoadBestTest, FewerThanTwoTimePointsStop) {
  const auto stopped = load(lateral_file({{0.0, 8.0}}, 0.5, {0.0}));
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->text, kDefaultStopText);
  EXPECT_EQ(con.text(),
            msg("Loading::Need at least two time points for lateral inputs (*.li file)") + "\n" +
                msg("Stopping...") + "\n");
}

TEST_F(LoadBestTest, RefusalsNameTheFile) {
  const std::vector<Input> eleven(11, Input{0.0, 1.0});
  struct Case {
    const char* name;
    std::string text;
    const char* detail;
  };
  const std::vector<Case> cases = {
      // No inputs and a repeated time are read (NoInputsLoadAndGiveNeitherFlowNorMass,
      // accepted_input_test.cpp).
      {"negative number of inputs", "title\n-1\n1\n1\n1\n0 1 2 3 4 5 6\n1 1 2 3 4 5 6\n",
       "number of lateral inputs -1 outside 0..10 (record 2)"},
      {"eleven inputs", lateral_file(eleven, 1.0, {0.0, 1.0}), "number of lateral inputs 11"},
      {"decreasing after a repeated time", lateral_file({{0.0, 1.0}}, 1.0, {0.0, 1.0, 1.0, 0.5}),
       "times decrease at time point 4"},
      {"decreasing times", lateral_file({{0.0, 1.0}}, 1.0, {1.0, 0.0}), "time point 2"},
      // Two inputs: a time point holds 13 values; the second holds 12.
      {"second time point one value short",
       "title\n2\n0 1\n1 1\n1\n0 1 2 3 4 5 6 7 8 9 10 11 12\n1 1 2 3 4 5 6 7 8 9 10 11\n",
       "Loading::Error, record 7 (time point 2, line 7) holds 12 values, not 13 (1 + NCOMP*nlat)"},
      {"first time point short over two lines", "title\n1\n0\n1\n1\n0 1 2\n3 4\n",
       "Loading::Error, record 6 (time point 1, lines 6-7) holds 5 values, not 7 (1 + NCOMP*nlat)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Console fresh;
    const std::string file = dir.write("refused.li", c.text);
    ms->FN_LI = std::filesystem::path(file);
    const auto stopped = stop_of([&] { ms->load_best.setup(fresh.io, *ms, kUnitInput); });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, kExitBadInput);
    EXPECT_NE(fresh.text().find(file), std::string::npos) << fresh.text();
    EXPECT_NE(fresh.text().find(c.detail), std::string::npos) << fresh.text();
  }
}

// Bits of v, so that NaNs compare too.
std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST_F(LoadBestTest, SumsAtRandomPointsMatchAPlainLoopBitForBit) {
  // 0..6 inputs, 1..6 constituents, random positions, flows and times;
  // points on the inputs (exponent -0.0), far beyond the clamp either way
  // and NaN (also a NaN input position). Reference: one input at a time,
  // the clamp by two plain tests, the sums from +0.0 in input order.
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int nlat = 0; nlat <= 6; ++nlat) {
    for (const int ncomp : {6, 1, 3, 4}) {
      SCOPED_TRACE("nlat " + std::to_string(nlat) + " ncomp " + std::to_string(ncomp));
      std::ostringstream f;
      f << "lateral\n" << nlat << "\n" << std::setprecision(17);
      for (int l = 0; l < nlat; ++l) f << 3000.0 * u(rng) << ' ';
      f << "\n";
      for (int l = 0; l < nlat; ++l) f << 50.0 * (1.5 + u(rng)) << ' ';
      f << "\n" << 0.1 + 0.05 * u(rng) << "\n";
      for (int r = 1; r <= 2; ++r) {
        f << 10.0 * (r - 1);
        for (int m = 1; m <= ncomp * nlat; ++m) f << ' ' << 20.0 * (1.0 + u(rng));
        f << "\n";
      }
      ms->NCOMP = ncomp;
      pos.reset();
      ASSERT_FALSE(load(f.str()));
      LoadBest& lb = ms->load_best;
      if (nlat == 5) lb.x_lat(2) = nan;
      std::vector<double> Xs = {nan, -1e6, 1e6};
      for (int l = 1; l <= nlat; ++l) Xs.push_back(lb.x_lat(l));
      for (int i = 0; i < 6; ++i) Xs.push_back(4000.0 * u(rng));
      for (const double X : Xs) {
        const double T = 10.0 * (0.5 + 0.5 * u(rng)), S = 1.0 + u(rng);
        at(T, X, S);
        double ql = 0.0, sl[6] = {};
        for (int l = 1; l <= nlat; ++l) {
          double a = -((X - lb.x_lat(l)) * lb.k_lat);
          if (a > 300.0) a = 300.0;
          else if (a < -300.0) a = -300.0;
          const double e = std::exp(a), d = 1.0 + e, q = lb.q_lat(l);
          ql = ql + q / d;
          const double g = ((q * e) * lb.k_lat) / (d * d);
          for (int m = 1; m <= ncomp; ++m) sl[m - 1] = sl[m - 1] + pos->c_lat(m, l) * g;
        }
        SCOPED_TRACE("X " + std::to_string(X));
        EXPECT_EQ(bits(QL), bits(S * ql));
        for (int m = 1; m <= ncomp; ++m) EXPECT_EQ(bits(SL[m - 1]), bits(sl[m - 1] * S));
      }
    }
  }
  // Beyond the table's times each look-up warns again.
  at(11.0, 0.0, 1.0);
  at(11.0, 5.0, 1.0);
  EXPECT_EQ(con.text(), msg("Interpolate::Warning, extrapolating beyond tmax") + "\n" +
                            msg("Interpolate::Warning, extrapolating beyond tmax") + "\n");
}

}  // namespace
}  // namespace qz5
