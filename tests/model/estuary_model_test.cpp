// The estuary model's PDE definition and boundary conditions, on a small
// state whose series are filled directly: one lateral input, a constant
// driver, a two-point boundary table. Positions and values are chosen so
// that the lateral flow and the interpolated series are exact binary
// fractions, and the expected coefficients follow from the transport
// equation in file units (area, dispersion, flow and rates by hand).
#include "model/estuary_model.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>

#include "model/channel_laws.h"
#include "textio/stop.h"

namespace qz5 {
namespace {

constexpr int kN = 6;
using Vec = std::array<double, kN>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Kinetics parameters whose rates at c = (5, 1, 1, 1, 2, 4) are exact binary
// fractions (worked out in the kinetics tests).
constexpr std::array<double, 19> kRxpar = {2, 0, 1, 0.5, 3, 4, 1, 4, 1, 1, 1, 0.25, 2, 4,
                                           0.5, 0.75, 0.5, 0.125, 0.25};
constexpr Vec kFileConc = {5, 1, 1, 1, 2, 4};
constexpr Vec kRates = {0.0, -1.375, -2.0625, -0.25, 5.5, -1.125};  // per day, file units

constexpr double kTunitModel = 86400.0;  // model time in seconds
constexpr double kTunitDay = 1.0;
constexpr double kXconv = 1000.0;        // model length unit = 1000 file units
constexpr Vec kCconv = {2, 0.5, 4, 1, 8, 0.25};
constexpr double kXLat = 5000.0;         // the lateral input, also the first boundary
constexpr double kQLat = 4096.0;         // its flow, volume per day
constexpr double kKLat = 0.5;
constexpr double kTime = 2.0 * 86400.0;  // model time of 2 days

class EstuaryModelTest : public ::testing::Test {
 protected:
  EstuaryModelTest() : io_(in_, out_), ms_(std::make_unique<ModelState>()) {
    ModelState& ms = *ms_;
    ms.NCOMP = kN;
    ms.TUNIT_MODEL = kTunitModel;
    ms.TUNIT_DAY = kTunitDay;
    ms.XCONV = kXconv;
    for (int m = 1; m <= kN; ++m) ms.CCONV(m) = kCconv[m - 1];
    for (int k = 1; k <= 19; ++k) ms.RXPAR(k) = kRxpar[static_cast<std::size_t>(k - 1)];
    set_driver(2.0);
    // One lateral input at 5000 carrying constituent m at concentration m.
    LoadBest& lb = ms.load_best;
    lb.nlat = 1;
    lb.x_lat(1) = kXLat;
    lb.q_lat(1) = kQLat;
    lb.k_lat = kKLat;
    lb.nlat_tpts = 2;
    lb.lat_tab(1, 1) = 0.0;
    lb.lat_tab(2, 1) = 10.0;
    for (int m = 1; m <= kN; ++m) {
      lb.lat_tab(1, 1 + m) = m;
      lb.lat_tab(2, 1 + m) = m;
    }
    // Boundaries at 5000 and 23330. At day 2 (halfway through the table) the
    // first boundary holds m + 1 and the second 10 m + 2.
    ms.XBND(1) = kXLat;
    ms.XBND(2) = 23330.0;
    Boundarys& b = ms.boundarys;
    b.nbnd_tpts = 2;
    b.bnd_tab(1, 1) = 0.0;
    b.bnd_tab(2, 1) = 4.0;
    for (int m = 1; m <= kN; ++m) {
      b.bnd_tab(1, 1 + m) = m;
      b.bnd_tab(2, 1 + m) = m + 2;
      b.bnd_tab(1, 1 + kN + m) = 10 * m;
      b.bnd_tab(2, 1 + kN + m) = 10 * m + 4;
    }
  }

  // Variable driver 1: the constant s over days 0..10.
  void set_driver(double s) {
    VarDrv& d = ms_->var_drv;
    d.npts_drv(1) = 2;
    d.t_drv(1) = 0.0;
    d.t_drv(2) = 10.0;
    d.v_drv(1) = s;
    d.v_drv(2) = s;
  }

  static Vec model_conc() {
    Vec u;
    for (int m = 0; m < kN; ++m) u[m] = kFileConc[m] / kCconv[m];
    return u;
  }

  struct Coefficients {
    std::array<double, kN * kN> C;
    Vec Q;
    Vec R;
  };

  Coefficients spdef(double T, double XI, const Vec& U, const Vec& UX, int& IRES) {
    Coefficients k;
    k.C.fill(kNaN);  // whatever the caller's storage held
    k.Q.fill(kNaN);
    k.R.fill(kNaN);
    EstuaryModel model(io_, *ms_);
    model.spdef(T, XI, kN, U.data(), UX.data(), k.C.data(), k.Q.data(), k.R.data(), IRES);
    return k;
  }

  struct Boundary {
    Vec BETA;
    Vec GAMMA;
  };

  Boundary bndr(double T, const Vec& U, int LEFT) {
    Boundary b;
    b.BETA.fill(kNaN);
    b.GAMMA.fill(kNaN);
    Vec UX;
    UX.fill(kNaN);  // not used by either condition
    int IRES = 0;
    EstuaryModel model(io_, *ms_);
    model.bndr(T, b.BETA.data(), b.GAMMA.data(), U.data(), UX.data(), kN, LEFT, IRES);
    EXPECT_EQ(IRES, 0);
    return b;
  }

  std::istringstream in_;
  std::ostringstream out_;
  Units io_;
  std::unique_ptr<ModelState> ms_;
};

// Checks that C is diagonal with every diagonal element `diag` (exactly).
void expect_diagonal(const std::array<double, kN * kN>& C, double diag) {
  for (int j = 0; j < kN; ++j) {
    for (int k = 0; k < kN; ++k) {
      SCOPED_TRACE(testing::Message() << "C(" << k + 1 << "," << j + 1 << ")");
      EXPECT_EQ(C[static_cast<std::size_t>(k + j * kN)], k == j ? diag : 0.0);
    }
  }
}

TEST_F(EstuaryModelTest, CoefficientsAtTheLateralInput) {
  // At X = 5000, exactly at the input: the logistic step is halfway, so
  // QL = S q / 2 = 2 * 4096 / 2 = 4096 per day, and the inflow per unit length
  // is q k / 4 = 512, giving SL(m) = S * m * 512 = 1024 m.
  const double A = 102.0;                 // 17 + 3.4e-6 * 5000^2
  const double D = 6.8e9 / 23330.0;       // per day, 1.36e6 * 5000 / (28330 - 5000)
  const double QL = 4096.0;
  const Vec U = model_conc();
  const Vec UX = {1.0, -2.0, 0.5, 0.0, 3.0, -1.0};
  int IRES = 0;
  const Coefficients k = spdef(kTime, 5.0, U, UX, IRES);
  EXPECT_EQ(IRES, 0);

  // Capacity: A dc/dtau scaled by XCONV/TUNIT_MODEL/CCONV, in model time,
  // is -(A XCONV / TUNIT_DAY) du/dt with the sign of the coefficient form.
  EXPECT_DOUBLE_EQ(k.C[0], -A * kXconv / kTunitDay);
  expect_diagonal(k.C, k.C[0]);

  for (int m = 0; m < kN; ++m) {
    SCOPED_TRACE(m + 1);
    // Flux: advective minus dispersive, in model units.
    const double advective = QL * U[m] / kTunitModel;
    const double dispersive = A * D * UX[m] / (kXconv * kTunitModel);
    EXPECT_NEAR(k.R[m], advective - dispersive,
                1e-14 * (std::fabs(advective) + std::fabs(dispersive)));
    // Source: reaction over the area plus lateral mass input, scaled.
    const double SL = 1024.0 * (m + 1);
    const double source = (A * kRates[m] + SL) * kXconv / kTunitModel / kCconv[m];
    EXPECT_NEAR(k.Q[m], source, 1e-14 * (std::fabs(A * kRates[m]) + SL) * kXconv /
                                    kTunitModel / kCconv[m]);
  }
}

// The results are compared bit for bit with runs of the original model, so
// the grouping of every product and quotient is fixed. Non-binary unit
// factors and a sweep of positions, times and states make a regrouping
// visible in the last bits somewhere. The lateral flow and input come from
// the same look-up the model uses.
class FixedGroupingTest : public EstuaryModelTest {
 protected:
  FixedGroupingTest() {
    ms_->XCONV = 0.3;
    ms_->TUNIT_MODEL = 7.0;
    ms_->TUNIT_DAY = 0.1;
    for (int m = 1; m <= kN; ++m) ms_->CCONV(m) = 0.1 * (m + 2);
    set_driver(1.7);
  }
  // Sample i of the sweep: a time within the driver's days 0..10, a position
  // along the channel, and state values of both signs.
  static double time(int i) { return 0.37 * i + 0.11; }
  static double position(int i) { return (690.7 * i + 12.9) / 0.3; }
  static Vec values(int i, double scale) {
    Vec v;
    for (int m = 0; m < kN; ++m) v[m] = scale * std::sin(1.3 * i + 0.7 * m) + 0.01 * i;
    return v;
  }
};

TEST_F(FixedGroupingTest, Spdef) {
  EstuaryModel model(io_, *ms_);
  const ModelState& ms = *ms_;
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE(i);
    const double T = time(i);
    const double XI = position(i);
    const Vec U = values(i, 3.0);
    const Vec UX = values(i + 100, 0.2);
    std::array<double, kN * kN> C;
    Vec Q;
    Vec R;
    int IRES = 0;
    model.spdef(T, XI, kN, U.data(), UX.data(), C.data(), Q.data(), R.data(), IRES);

    const double X = XI * ms.XCONV;
    const double A = AREA_ORG(X);
    const double TD = (T * ms.TUNIT_DAY) / ms.TUNIT_MODEL;
    double QL = 0.0;
    double SL[kN];
    ms_->load_best.lookup(io_, *ms_, TD, X, 1.7, QL, SL);
    const double D = DISP_ORG(X, QL / 86400.0) * 86400.0;
    double RX[kN];
    RXNS_QZ5(ms, T, XI, kN, U.data(), UX.data(), RX);
    EXPECT_EQ(C[0], -((ms.XCONV * A) / ms.TUNIT_DAY));
    expect_diagonal(C, C[0]);
    const double k1 = -((A * D) / (ms.XCONV * ms.TUNIT_MODEL));
    const double k2 = QL / ms.TUNIT_MODEL;
    const double k3 = ms.XCONV / ms.TUNIT_MODEL;
    for (int m = 0; m < kN; ++m) {
      SCOPED_TRACE(m + 1);
      EXPECT_EQ(R[m], UX[m] * k1 + U[m] * k2);
      EXPECT_EQ(Q[m], ((RX[m] * A + SL[m]) * k3) / ms.CCONV(m + 1));
    }
  }
}

TEST_F(FixedGroupingTest, Bndr) {
  // Boundary series with values that are not binary fractions.
  Boundarys& b = ms_->boundarys;
  b.bnd_tab(2, 1) = 10.0;
  for (int m = 1; m <= kN; ++m) {
    b.bnd_tab(1, 1 + m) = 0.3 * m + 0.1;
    b.bnd_tab(2, 1 + m) = 1.7 * m;
    b.bnd_tab(1, 1 + kN + m) = 0.9 * m;
    b.bnd_tab(2, 1 + kN + m) = 0.1 * m + 2.3;
  }
  EstuaryModel model(io_, *ms_);
  const ModelState& ms = *ms_;
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE(i);
    const double T = time(i);
    const Vec U = values(i, 5.0);
    const Vec UX{};
    const double TD = (T * ms.TUNIT_DAY) / ms.TUNIT_MODEL;
    double QL = 0.0;
    double SL[kN];
    ms_->load_best.lookup(io_, *ms_, TD, ms.XBND(1), 1.7, QL, SL);
    double CL[kN];
    double CR[kN];
    ms_->boundarys.lookup(io_, ms, TD, CL, CR);
    for (int left : {1, 0}) {
      SCOPED_TRACE(left);
      Vec BETA;
      Vec GAMMA;
      int IRES = 0;
      model.bndr(T, BETA.data(), GAMMA.data(), U.data(), UX.data(), kN, left, IRES);
      for (int m = 0; m < kN; ++m) {
        SCOPED_TRACE(m + 1);
        if (left != 0) {
          EXPECT_EQ(BETA[m], 1.0);
          EXPECT_EQ(GAMMA[m], (CL[m] * QL) / (ms.CCONV(m + 1) * ms.TUNIT_MODEL));
        } else {
          EXPECT_EQ(BETA[m], 0.0);
          EXPECT_EQ(GAMMA[m], U[m] - CR[m] / ms.CCONV(m + 1));
        }
      }
    }
  }
}

TEST_F(EstuaryModelTest, CapacityIsDiagonalOnEveryCall) {
  // Successive calls at different positions reuse the caller's storage; each
  // must clear the off-diagonal elements itself.
  EstuaryModel model(io_, *ms_);
  std::array<double, kN * kN> C;
  Vec Q;
  Vec R;
  const Vec U = model_conc();
  const Vec UX{};
  for (double XI : {0.0, 5.0, 23.33, 11.0}) {
    SCOPED_TRACE(XI);
    for (std::size_t i = 0; i < C.size(); ++i) C[i] = (i % 2 == 0) ? kNaN : 1.0e300 * i;
    int IRES = 0;
    model.spdef(kTime, XI, kN, U.data(), UX.data(), C.data(), Q.data(), R.data(), IRES);
    const double X = XI * kXconv;
    EXPECT_DOUBLE_EQ(C[0], -(17.0 + 3.4e-6 * X * X) * kXconv / kTunitDay);
    expect_diagonal(C, C[0]);
  }
}

TEST_F(EstuaryModelTest, ZeroDriverLeavesDispersionAndReactionOnly) {
  // S = 0 switches off every lateral flow: QL = 0, SL = 0. The flux is then
  // the dispersive flux alone and the source the reaction alone.
  set_driver(0.0);
  const double A = 102.0;
  const double D = 6.8e9 / 23330.0;
  const Vec U = model_conc();
  const Vec UX = {1.0, -2.0, 0.5, 0.0, 3.0, -1.0};
  int IRES = 0;
  const Coefficients k = spdef(kTime, 5.0, U, UX, IRES);
  const double k1 = k.R[0] / UX[0];
  EXPECT_NEAR(k1, -A * D / (kXconv * kTunitModel), 1e-14 * A * D / (kXconv * kTunitModel));
  for (int m = 0; m < kN; ++m) {
    SCOPED_TRACE(m + 1);
    EXPECT_EQ(k.R[m], UX[m] * k1);  // no advective part at all
    const double source = kRates[m] * A * kXconv / kTunitModel / kCconv[m];
    EXPECT_NEAR(k.Q[m], source, 1e-14 * std::fabs(source));
  }
  EXPECT_EQ(k.Q[0], 0.0);  // the tracer has neither reaction nor input
}

TEST_F(EstuaryModelTest, DispersionAndAreaAtTheEndsOfTheLaw) {
  // Zero driver and unit concentration gradient: R = -A D / (XCONV TUNIT_MODEL).
  set_driver(0.0);
  struct Case {
    const char* name;
    double XI;
    double A;
    double D;  // per day
  };
  const Case cases[] = {
      {"reference position 23330", 23.33, 17.0 + 3.4e-6 * 23330.0 * 23330.0, 1.36e6},
      {"origin", 0.0, 17.0, 1.36e6 * 5000.0 / 28330.0},
  };
  Vec UX;
  UX.fill(1.0);
  const Vec U = model_conc();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int IRES = 0;
    const Coefficients k = spdef(kTime, c.XI, U, UX, IRES);
    const double expected = -c.A * c.D / (kXconv * kTunitModel);
    for (int m = 0; m < kN; ++m) EXPECT_NEAR(k.R[m], expected, 1e-14 * std::fabs(expected));
    EXPECT_NEAR(k.C[0], -c.A * kXconv / kTunitDay, 1e-14 * c.A * kXconv);
  }
  int IRES = 0;
  EXPECT_EQ(spdef(kTime, 0.0, U, UX, IRES).C[0], -(17.0 * kXconv));  // exact at the origin
}

TEST_F(EstuaryModelTest, ResidualFlagPassesThrough) {
  const Vec U = model_conc();
  const Vec UX{};
  EstuaryModel model(io_, *ms_);
  for (int flag : {0, -1, -2, 3}) {
    SCOPED_TRACE(flag);
    int IRES = flag;
    spdef(kTime, 5.0, U, UX, IRES);
    EXPECT_EQ(IRES, flag);
    Vec BETA;
    Vec GAMMA;
    for (int left : {1, 0}) {
      IRES = flag;
      model.bndr(kTime, BETA.data(), GAMMA.data(), U.data(), UX.data(), kN, left, IRES);
      EXPECT_EQ(IRES, flag);
    }
  }
}

TEST_F(EstuaryModelTest, FirstBoundaryAdmitsTheInflowAtItsConcentration) {
  // At day 2 the first boundary's series holds m + 1; the flow there is the
  // half-step of the input placed at the boundary: 2 * 4096 / 2.
  const Boundary b = bndr(kTime, model_conc(), 1);
  for (int m = 0; m < kN; ++m) {
    SCOPED_TRACE(m + 1);
    EXPECT_EQ(b.BETA[m], 1.0);
    const double expected = (m + 2) * 4096.0 / kCconv[m] / kTunitModel;
    EXPECT_NEAR(b.GAMMA[m], expected, 1e-15 * expected);
  }
}

TEST_F(EstuaryModelTest, FirstBoundaryMatchesTheAdvectiveFluxOfSpdef) {
  // A state at the first boundary's concentration with no gradient satisfies
  // the flux condition: the flux spdef gives there equals GAMMA.
  Vec U;
  for (int m = 0; m < kN; ++m) U[m] = (m + 2) / kCconv[m];
  const Vec UX{};
  int IRES = 0;
  const Coefficients k = spdef(kTime, kXLat / kXconv, U, UX, IRES);
  const Boundary b = bndr(kTime, U, 1);
  for (int m = 0; m < kN; ++m) {
    SCOPED_TRACE(m + 1);
    EXPECT_NEAR(b.BETA[m] * k.R[m], b.GAMMA[m], 1e-15 * std::fabs(b.GAMMA[m]));
  }
}

TEST_F(EstuaryModelTest, ZeroDriverClosesTheFirstBoundary) {
  set_driver(0.0);
  const Boundary b = bndr(kTime, model_conc(), 1);
  for (int m = 0; m < kN; ++m) {
    SCOPED_TRACE(m + 1);
    EXPECT_EQ(b.BETA[m], 1.0);
    EXPECT_EQ(b.GAMMA[m], 0.0);
  }
}

TEST_F(EstuaryModelTest, InputsFarDownstreamAdmitNoFluxAtTheFirstBoundary) {
  ms_->load_best.x_lat(1) = kXLat + 20000.0;
  const Boundary b = bndr(kTime, model_conc(), 1);
  for (int m = 0; m < kN; ++m) {
    SCOPED_TRACE(m + 1);
    EXPECT_EQ(b.BETA[m], 1.0);
    EXPECT_GE(b.GAMMA[m], 0.0);
    EXPECT_LT(b.GAMMA[m], 1e-100);
  }
}

TEST_F(EstuaryModelTest, LateralConcentrationsDoNotReachTheFirstBoundary) {
  // Only the flow of the lateral look-up is used there, so borrowing the
  // boundary's concentrations for the inputs changes nothing.
  const Boundary own = bndr(kTime, model_conc(), 1);
  ms_->LI_FROM_BND = true;
  const Boundary borrowed = bndr(kTime, model_conc(), 1);
  for (int m = 0; m < kN; ++m) EXPECT_EQ(own.GAMMA[m], borrowed.GAMMA[m]) << m + 1;
}

TEST_F(EstuaryModelTest, SecondBoundaryPinsTheConcentration) {
  // At day 2 the second boundary's series holds 10 m + 2 (file units).
  struct Case {
    const char* name;
    double cconv;
  };
  for (const Case& c : {Case{"binary factor", 0.5}, Case{"decimal factor", 0.3}}) {
    SCOPED_TRACE(c.name);
    for (int m = 1; m <= kN; ++m) ms_->CCONV(m) = c.cconv;
    Vec U;
    for (int m = 0; m < kN; ++m) U[m] = (10.0 * (m + 1) + 2.0) / c.cconv;
    const Vec held = U;
    const Boundary at = bndr(kTime, U, 0);
    for (int m = 0; m < kN; ++m) {
      SCOPED_TRACE(m + 1);
      EXPECT_EQ(at.BETA[m], 0.0);
      EXPECT_EQ(at.GAMMA[m], 0.0);
    }
    EXPECT_EQ(U, held);
    // Away from the boundary value GAMMA is the model-unit difference.
    Vec V = U;
    for (int m = 0; m < kN; ++m) V[m] += 0.25 * (m + 1);
    const Boundary off = bndr(kTime, V, 0);
    for (int m = 0; m < kN; ++m) {
      SCOPED_TRACE(m + 1);
      EXPECT_NEAR(off.GAMMA[m], 0.25 * (m + 1), 1e-13 * V[m]);
    }
  }
}

TEST_F(EstuaryModelTest, TimeOutsideTheDriverStopsEitherCall) {
  const double late = 10.5 * 86400.0;  // driver covers days 0..10
  const Vec U = model_conc();
  const Vec UX{};
  int IRES = 0;
  EXPECT_THROW(spdef(late, 5.0, U, UX, IRES), Stop);
  for (int left : {1, 0}) {
    SCOPED_TRACE(left);
    EXPECT_THROW(bndr(late, U, left), Stop);
  }
  EXPECT_NE(out_.str().find("Var_drv::t outside data range of driver: "), std::string::npos);
}

TEST_F(EstuaryModelTest, InitialProfileRunsBetweenTheBoundaryStartValues) {
  // Without a profile file the start values run linearly in the point index
  // from the first boundary's to the second's; positions stay as they came.
  ms_->USE_UT0 = false;
  for (int m = 1; m <= kN; ++m) {
    ms_->CBND0(m, 1) = 2.0 * m;
    ms_->CBND0(m, 2) = 2.0 * m + 8.0;
  }
  constexpr int kPts = 5;
  std::array<double, (kN + 1) * kPts> Y;
  Y.fill(kNaN);
  for (int j = 0; j < kPts; ++j) Y[static_cast<std::size_t>(j * (kN + 1) + kN)] = 1.5 * j;
  EstuaryModel model(io_, *ms_);
  model.uinit(kN, kPts, Y.data());
  for (int j = 0; j < kPts; ++j) {
    SCOPED_TRACE(j + 1);
    for (int m = 0; m < kN; ++m) {
      // steps of 8 / 4 = 2 file units per point
      EXPECT_EQ(Y[static_cast<std::size_t>(j * (kN + 1) + m)], (2.0 * (m + 1) + 2.0 * j) / kCconv[m]);
    }
    EXPECT_EQ(Y[static_cast<std::size_t>(j * (kN + 1) + kN)], 1.5 * j);
  }
}

}  // namespace
}  // namespace qz5
