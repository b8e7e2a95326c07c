// The residual with the estuary model's intervals taken together against the
// same residual asked interval by interval: the grouped assembly and the
// kinetics of two points at once must give the same bits, the same console
// text and the same look-ups, for any grid size (groups of one to four
// intervals, and a short last group) and for rates that are not finite.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "discretisation/skm.h"
#include "engine_util.h"
#include "model/estuary_model.h"
#include "model/kinetics.h"

namespace qz5::engine_test {
namespace {

// The estuary model in every answer but one: it declines to take intervals
// together, so the assembly calls spdef for each interval.
class OneAtATime : public PdeProblem {
 public:
  explicit OneAtATime(EstuaryModel& m) : m_(m) {}
  void spdef(double T, double XI, int NCOMP, const double* U, const double* UX, double* C,
             double* Q, double* R, int& IRES) override {
    m_.spdef(T, XI, NCOMP, U, UX, C, Q, R, IRES);
  }
  bool capacity_is_diagonal() const override { return m_.capacity_is_diagonal(); }
  void bndr(double T, double* BETA, double* GAMMA, const double* U, const double* UX, int NCOMP,
            int LEFT, int& IRES) override {
    m_.bndr(T, BETA, GAMMA, U, UX, NCOMP, LEFT, IRES);
  }
  void uinit(int NCOMP, int NPTS, double* U) override { m_.uinit(NCOMP, NPTS, U); }

 private:
  EstuaryModel& m_;
};

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Bit for bit, except that a NaN matches any NaN: which operand's NaN an
// operation passes on depends on the order the compiler gives the operands
// of a sum or product, which may differ between two paths (it does in the
// sanitised build); a NaN ends the run as illegal whatever its bits.
bool same(double x, double y) { return bits(x) == bits(y) || (std::isnan(x) && std::isnan(y)); }

// One discretised system: its model, its console and its work arrays.
struct System {
  System(const Inputs& in, int npts, bool grouped)
      : io(cin, cout), model(io, in), single(model), problem(grouped ? static_cast<PdeProblem&>(model) : single) {
    const int nvar = in.NCOMP + 1;
    neq = nvar * npts;
    Y.assign(static_cast<std::size_t>(neq), 0.0);
    YP = DELTA = Y;
    RPAR.assign(static_cast<std::size_t>(skm_workspace_length(neq, in.NCOMP)), 0.0);
    int NEQ = 0, IBAND = 0, IFAIL = 0;
    SETSKM(io, s, problem, NEQ, in.NCOMP, npts, in.XBND(1) / in.XCONV, in.XBND(2) / in.XCONV,
           in.TAU, in.KAPPA, in.ALPHA, Y.data(), RPAR.data(), static_cast<int>(RPAR.size()), in.M,
           in.TSTART, IBAND, IFAIL);
    EXPECT_EQ(IFAIL, 0);
  }
  int residual(double T) {
    int IRES = 0;
    SKMRES(io, s, problem, neq, T, Y.data(), YP.data(), DELTA.data(), IRES, RPAR.data(),
           static_cast<int>(RPAR.size()));
    return IRES;
  }
  std::istringstream cin;
  std::ostringstream cout;
  Units io;
  EstuaryModel model;
  OneAtATime single;
  PdeProblem& problem;
  SkmState s;
  int neq = 0;
  std::vector<double> Y, YP, DELTA, RPAR;
};

// Perturbs the state of both systems alike: concentrations always, the
// positions (interior points, kept increasing) only when `move` is set, so
// that some residuals reuse the remembered position terms and some do not.
void perturb(std::mt19937_64& rng, int nvar, bool move, System& a, System& b) {
  std::uniform_real_distribution<double> rel(-0.05, 0.05), rate(-1.0, 1.0);
  const int npts = a.neq / nvar;
  for (int n = 0; n < npts; ++n) {
    for (int k = 0; k < nvar; ++k) {
      const std::size_t i = static_cast<std::size_t>(n * nvar + k);
      const bool position = k == nvar - 1;
      if (position && (!move || n == 0 || n == npts - 1)) continue;
      if (position) {
        const double left = a.Y[i - static_cast<std::size_t>(nvar)];
        const double right = a.Y[i + static_cast<std::size_t>(nvar)];
        a.Y[i] = 0.5 * (left + right) + 0.2 * (right - left) * rel(rng);
      } else {
        a.Y[i] = a.Y[i] * (1.0 + rel(rng)) + 1e-3 * rel(rng);
      }
      a.YP[i] = 1e-6 * rate(rng);
      b.Y[i] = a.Y[i];
      b.YP[i] = a.YP[i];
    }
  }
}

void expect_same(const System& a, const System& b, const std::string& what) {
  int differing = 0;
  for (std::size_t i = 0; i < a.DELTA.size(); ++i) differing += !same(a.DELTA[i], b.DELTA[i]);
  EXPECT_EQ(differing, 0) << what;
  // The workspace's head holds the flux-and-source half in both.
  int fspart = 0;
  for (std::size_t i = 0; i < a.DELTA.size(); ++i) fspart += !same(a.RPAR[i], b.RPAR[i]);
  EXPECT_EQ(fspart, 0) << what;
  EXPECT_EQ(a.cout.str(), b.cout.str()) << what;
  EXPECT_EQ(a.model.reused_terms(), b.model.reused_terms()) << what;
}

TEST(GroupedIntervals, ResidualsAreBitForBitThoseOfOneIntervalAtATime) {
  Scenario sc = bundled();
  Inputs& in = sc.inputs;
  in.USE_UT0 = false;  // the start profile linear between the boundaries, on any grid
  ASSERT_EQ(in.NCOMP, kKineticsComponents);
  const int nvar = in.NCOMP + 1;
  std::mt19937_64 rng(20261208);
  // Groups of four intervals: 3..7 points give one short group, one full
  // group and a short one after it; 81 is the bundled grid.
  for (int npts : {3, 4, 5, 6, 7, 8, 11, 81}) {
    System grouped(in, npts, true), single(in, npts, false);
    ASSERT_TRUE(grouped.model.capacity_is_scalar());
    ASSERT_EQ(grouped.Y, single.Y);
    for (int evaluation = 0; evaluation < 24; ++evaluation) {
      const std::string what =
          "npts " + std::to_string(npts) + ", evaluation " + std::to_string(evaluation);
      perturb(rng, nvar, evaluation % 3 == 0, grouped, single);
      // Day 1.5 inside every series; a time that stays for several
      // evaluations lets the position terms be reused.
      const double T = (1.5 + 0.25 * (evaluation / 6)) * in.TUNIT_MODEL / in.TUNIT_DAY;
      if (evaluation >= 19) {
        // A rate that is not finite at one point, the first end, an interior
        // point near the start, in the middle, the last interior point, the
        // second end: the capacity sums of its intervals take the full form.
        const int at[] = {0, 1, npts / 2, npts - 2, npts - 1};
        const std::size_t i = static_cast<std::size_t>(at[evaluation - 19] * nvar + 2);
        grouped.YP[i] = single.YP[i] = evaluation % 2 == 0 ? INFINITY : NAN;
      }
      EXPECT_EQ(grouped.residual(T), single.residual(T)) << what;
      expect_same(grouped, single, what);
    }
    EXPECT_GT(single.model.reused_terms(), 0) << "no residual reused its position terms";
  }
}

TEST(GroupedIntervals, WarningsOfLookUpsBeyondTheTablesComeInTheSameOrder) {
  Scenario sc = bundled();
  Inputs& in = sc.inputs;
  in.USE_UT0 = false;
  const int nvar = in.NCOMP + 1;
  // The lateral table made to start 20 days after the other series: before
  // its first time every lateral look-up warns, while the driver and the
  // boundary series still cover the time.
  LoadBest& lb = in.load_best;
  ASSERT_LT(lb.lat_tab(1, 1) + 20.0, lb.lat_tab(2, 1));
  lb.lat_tab(1, 1) += 20.0;
  const double day = lb.lat_tab(1, 1) - 5.0;
  std::mt19937_64 rng(7);
  for (int npts : {5, 9}) {
    System grouped(in, npts, true), single(in, npts, false);
    perturb(rng, nvar, true, grouped, single);
    const double T = day * in.TUNIT_MODEL / in.TUNIT_DAY;
    EXPECT_EQ(grouped.residual(T), single.residual(T));
    EXPECT_NE(single.cout.str().find("tmin"), std::string::npos) << single.cout.str();
    expect_same(grouped, single, "npts " + std::to_string(npts));
  }
}

// The ends' look-ups are remembered while the time stays: a model asked at
// a sequence of times, some repeated, some where the lateral look-ups warn,
// against a fresh model for every call, for both kinds of second end.
TEST(GroupedIntervals, EndsRememberedAtOneTimeAreThoseOfAFreshModel) {
  Scenario sc = bundled();
  Inputs& in = sc.inputs;
  in.USE_UT0 = false;
  LoadBest& lb = in.load_best;
  lb.lat_tab(1, 1) += 20.0;  // days before it warn, as in the test above
  const double warn_day = lb.lat_tab(1, 1) - 5.0;
  const double days[] = {1.5, 1.5, 2.0, 1.5, 1.5, warn_day, warn_day, 2.0, 2.0, 1.5};
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> value(0.0, 50.0);
  for (Outflow outflow : {Outflow::kFixedConcentration, Outflow::kFree}) {
    std::istringstream cin;
    std::ostringstream kept_out, fresh_out;
    Units kept_io(cin, kept_out), fresh_io(cin, fresh_out);
    EstuaryModel kept(kept_io, in, Channel(), outflow);
    int differing = 0;
    for (double day : days) {
      const double T = day * in.TUNIT_MODEL / in.TUNIT_DAY;
      for (int left : {1, 0}) {
        std::vector<double> U(static_cast<std::size_t>(in.NCOMP)), UX(U.size(), 0.0);
        for (double& u : U) u = value(rng);
        std::vector<double> B1(U.size()), G1(U.size()), B2(U.size()), G2(U.size());
        int ires = 0;
        kept.bndr(T, B1.data(), G1.data(), U.data(), UX.data(), in.NCOMP, left, ires);
        EstuaryModel fresh(fresh_io, in, Channel(), outflow);
        fresh.bndr(T, B2.data(), G2.data(), U.data(), UX.data(), in.NCOMP, left, ires);
        for (std::size_t m = 0; m < U.size(); ++m)
          differing += !same(B1[m], B2[m]) + !same(G1[m], G2[m]);
      }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(kept_out.str(), fresh_out.str()) << "the warnings of every call";
    EXPECT_NE(kept_out.str().find("tmin"), std::string::npos);
  }
}

// Intervals asked together of a model that remembers none (no initial state
// set, so every interval is beyond its grid): each interval's coefficients are
// those spdef gives it alone, whether it comes first or second of a pair.
TEST(GroupedIntervals, IntervalsBeyondTheGridAreEachTheirOwn) {
  Scenario sc = bundled();
  const Inputs& in = sc.inputs;
  constexpr int nc = kKineticsComponents;
  std::istringstream cin;
  std::ostringstream cout;
  Units io(cin, cout);
  EstuaryModel grouped(io, in), single(io, in);
  const double T = 1.5 * in.TUNIT_MODEL / in.TUNIT_DAY;
  const double XI[] = {1.0, 4.5, 9.25, 15.0, 21.5};
  constexpr int n = 5;
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> value(0.0, 40.0);
  std::vector<double> U(n * nc), UX(n * nc), Q(n * nc), R(n * nc), capacity(n);
  for (int i = 0; i < n * nc; ++i) U[i] = value(rng), UX[i] = 1e-3 * value(rng);
  int ires = 0;
  grouped.spdef_intervals(T, nc, n, XI, U.data(), UX.data(), capacity.data(), Q.data(), R.data(),
                          ires);
  int differing = 0;
  for (int i = 0; i < n; ++i) {
    std::vector<double> C(nc * nc), q(nc), r(nc);
    single.spdef(T, XI[i], nc, U.data() + i * nc, UX.data() + i * nc, C.data(), q.data(),
                 r.data(), ires);
    differing += !same(capacity[i], C[0]);
    for (int m = 0; m < nc; ++m)
      differing += !same(Q[i * nc + m], q[m]) + !same(R[i * nc + m], r[m]);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(ires, 0);
}

// The kinetics of two points at once against one point at a time, over
// states that include zeros, negative values, infinities and NaN.
TEST(GroupedIntervals, KineticsOfTwoPointsAreThoseOfEachAlone) {
  const Scenario sc = bundled();
  const Inputs& in = sc.inputs;
  const KineticsConstants k = RXNS_QZ5_CONSTANTS(in);
  KineticsPairConstants k2;
  RXNS_QZ5_PAIR_CONSTANTS(in, k, k2);
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> value(-2.0, 600.0);
  const double special[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, 1e-300, -1e300};
  int differing = 0, compared = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    double Ua[kKineticsComponents], Ub[kKineticsComponents];
    for (int m = 0; m < kKineticsComponents; ++m) {
      Ua[m] = value(rng) / in.CCONV(m + 1);
      Ub[m] = value(rng) / in.CCONV(m + 1);
      if (rng() % 8 == 0) Ua[m] = special[rng() % 7];
      if (rng() % 8 == 0) Ub[m] = special[rng() % 7];
    }
    double ra[kKineticsComponents], rb[kKineticsComponents], wa[kKineticsComponents],
        wb[kKineticsComponents];
    RXNS_QZ5_PAIR(k2, Ua, Ub, ra, rb);
    RXNS_QZ5(in, k, Ua, wa);
    RXNS_QZ5(in, k, Ub, wb);
    for (int m = 0; m < kKineticsComponents; ++m) {
      differing += !same(ra[m], wa[m]);
      differing += !same(rb[m], wb[m]);
      compared += 2;
    }
  }
  EXPECT_EQ(differing, 0) << "of " << compared;
}

}  // namespace
}  // namespace qz5::engine_test
