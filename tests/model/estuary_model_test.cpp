// The estuary model's PDE definition and boundary conditions on a small state
// whose series are filled directly: one lateral input, a constant driver, a
// two-point boundary table. Positions and values make the lateral flow and
// the interpolated series exact binary fractions; the expected coefficients
// follow by hand from the transport equation in file units.
#include "model/estuary_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include <limits>
#include <memory>
#include <sstream>

#include "discretisation/skm.h"
#include "model_test_util.h"
#include "textio/stop.h"

namespace qz5::testing {
namespace {

constexpr int kN = 6;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTunitModel = 86400.0;  // model time in seconds
constexpr double kTunitDay = 1.0;
constexpr double kXconv = 1000.0;  // model length unit = 1000 file units
constexpr Six kCconv = {2, 0.5, 4, 1, 8, 0.25};
constexpr double kXLat = 5000.0;            // the lateral input, also the first boundary
constexpr double kTime = 2.0 * 86400.0;     // day 2
constexpr double kA5000 = 102.0;            // 17 + 3.4e-6 * 5000^2
constexpr double kD5000 = 6.8e9 / 23330.0;  // per day
using Matrix = std::array<double, kN * kN>;

class EstuaryModelTest : public ::testing::Test {
 protected:
  EstuaryModelTest() : io_(in_, out_), ms_(std::make_unique<Inputs>()), model_(io_, *ms_) {
    Inputs& ms = *ms_;
    set_kinetics(ms, kDyadicParams, kCconv);
    ms.TUNIT_MODEL = kTunitModel;
    ms.TUNIT_DAY = kTunitDay;
    ms.XCONV = kXconv;
    set_driver(2.0);
    // One input at 5000, flow 4096 per day, carrying constituent m at m.
    LoadBest& lb = ms.load_best;
    lb.nlat = 1;
    lb.x_lat(1) = kXLat;
    lb.q_lat(1) = 4096.0;
    lb.k_lat = 0.5;
    lb.nlat_tpts = 2;
    lb.lat_tab(2, 1) = 10.0;
    // Boundaries at 5000 and 23330; at day 2 the first holds m + 1, the
    // second 10 m + 2.
    ms.XBND(1) = kXLat;
    ms.XBND(2) = 23330.0;
    Boundarys& b = ms.boundarys;
    b.nbnd_tpts = 2;
    b.bnd_tab(2, 1) = 4.0;
    for (int m = 1; m <= kN; ++m) {
      lb.lat_tab(1, 1 + m) = lb.lat_tab(2, 1 + m) = m;
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
    d.v_drv(1) = d.v_drv(2) = s;
  }

  // Model concentrations for file concentrations c.
  static Six model_conc(const Six& c = kDyadicConc) {
    Six u;
    for (int m = 0; m < kN; ++m) u[m] = c[m] / kCconv[m];
    return u;
  }

  struct Coefficients {
    Matrix C;
    Six Q, R;
  };
  // C is pre-filled with garbage: spdef must write every element.
  Coefficients spdef(double XI, const Six& U, const Six& UX, int& IRES, double T = kTime) {
    Coefficients k;
    for (std::size_t i = 0; i < k.C.size(); ++i) k.C[i] = (i % 2 == 0) ? kNaN : 1.0e300 * i;
    k.Q.fill(kNaN);
    k.R.fill(kNaN);
    model_.spdef(T, XI, kN, U.data(), UX.data(), k.C.data(), k.Q.data(), k.R.data(), IRES);
    return k;
  }
  Coefficients spdef(double XI, const Six& U, const Six& UX) {
    int IRES = 0;
    return spdef(XI, U, UX, IRES);
  }

  struct Boundary {
    Six BETA, GAMMA;
  };
  Boundary bndr(const Six& U, int LEFT, double T = kTime) {
    Boundary b;
    b.BETA.fill(kNaN);
    b.GAMMA.fill(kNaN);
    Six UX;
    UX.fill(kNaN);  // used by neither condition
    int IRES = 0;
    model_.bndr(T, b.BETA.data(), b.GAMMA.data(), U.data(), UX.data(), kN, LEFT, IRES);
    EXPECT_EQ(IRES, 0);
    return b;
  }

  std::istringstream in_;
  std::ostringstream out_;
  Units io_;
  std::unique_ptr<Inputs> ms_;
  EstuaryModel model_;
};

// C is exactly diagonal, whatever the storage held.
void expect_diagonal(const Matrix& C, double diag) {
  for (int j = 0; j < kN; ++j)
    for (int k = 0; k < kN; ++k)
      EXPECT_EQ(C[static_cast<std::size_t>(k + j * kN)], k == j ? diag : 0.0)
          << "C(" << k + 1 << "," << j + 1 << ")";
}

TEST_F(EstuaryModelTest, CoefficientsAtTheLateralInput) {
  // At the input the logistic step is halfway: QL = S q / 2 and the inflow per
  // unit length is S q k / 4, so SL(m) = 1024 m for S = 2. S = 0 switches every
  // lateral flow off and leaves dispersion and reaction alone.
  struct Case {
    double S, QL, sl;
  };
  const Six UX = {1.0, -2.0, 0.5, 0.0, 3.0, -1.0};
  const Six U = model_conc();
  for (const Case& c : {Case{2.0, 4096.0, 1024.0}, Case{0.0, 0.0, 0.0}}) {
    SCOPED_TRACE(c.S);
    set_driver(c.S);
    const Coefficients k = spdef(5.0, U, UX);
    // Capacity: -(A XCONV / TUNIT_DAY), the sign of the coefficient form.
    EXPECT_DOUBLE_EQ(k.C[0], -kA5000 * kXconv / kTunitDay);
    expect_diagonal(k.C, k.C[0]);
    for (int m = 0; m < kN; ++m) {
      SCOPED_TRACE(m + 1);
      // Flux: advective minus dispersive, in model units.
      const double adv = c.QL * U[m] / kTunitModel;
      const double disp = kA5000 * kD5000 * UX[m] / (kXconv * kTunitModel);
      EXPECT_NEAR(k.R[m], adv - disp, 1e-14 * (std::fabs(adv) + std::fabs(disp)));
      // Source: reaction times area plus lateral input, scaled.
      const double react = kA5000 * kDyadicRates[m], in = c.sl * (m + 1);
      const double scale = kXconv / kTunitModel / kCconv[m];
      EXPECT_NEAR(k.Q[m], (react + in) * scale, 1e-14 * (std::fabs(react) + in) * scale);
    }
    if (c.S == 0.0) {
      EXPECT_EQ(k.Q[0], 0.0);  // the tracer: no reaction, no input
    }
  }
}

TEST_F(EstuaryModelTest, AreaAndDispersionAlongTheChannel) {
  // Zero driver and unit gradients: R = -A D / (XCONV TUNIT_MODEL). Calls at
  // different positions reuse the garbage-filled storage for C.
  set_driver(0.0);
  struct Case {
    double XI, A, D;  // D per day
  };
  const Case cases[] = {{23.33, 17.0 + 3.4e-6 * 23330.0 * 23330.0, 1.36e6},
                        {0.0, 17.0, 1.36e6 * 5000.0 / 28330.0},
                        {5.0, kA5000, kD5000},
                        {11.0, 17.0 + 3.4e-6 * 11000.0 * 11000.0, 6.8e9 / 17330.0}};
  Six UX;
  UX.fill(1.0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.XI);
    const Coefficients k = spdef(c.XI, model_conc(), UX);
    const double R = -c.A * c.D / (kXconv * kTunitModel);
    for (int m = 0; m < kN; ++m) EXPECT_NEAR(k.R[m], R, 1e-14 * std::fabs(R)) << m + 1;
    EXPECT_NEAR(k.C[0], -c.A * kXconv / kTunitDay, 1e-14 * c.A * kXconv);
    expect_diagonal(k.C, k.C[0]);
  }
  EXPECT_EQ(spdef(0.0, model_conc(), UX).C[0], -(17.0 * kXconv));  // exact at the origin
}

TEST_F(EstuaryModelTest, ResidualFlagPassesThrough) {
  const Six U = model_conc(), UX{};
  for (int flag : {0, -1, -2, 3}) {
    SCOPED_TRACE(flag);
    int IRES = flag;
    spdef(5.0, U, UX, IRES);
    EXPECT_EQ(IRES, flag);
    Six BETA, GAMMA;
    for (int left : {1, 0}) {
      IRES = flag;
      model_.bndr(kTime, BETA.data(), GAMMA.data(), U.data(), UX.data(), kN, left, IRES);
      EXPECT_EQ(IRES, flag);
    }
  }
}

TEST_F(EstuaryModelTest, FirstBoundaryAdmitsTheInflowAtItsConcentration) {
  // The series holds m + 1; the flow is the half-step of the input placed at
  // the boundary, 2 * 4096 / 2. Only that flow of the lateral look-up is used,
  // so borrowing the boundary's concentrations for the inputs changes nothing.
  for (bool borrowed : {false, true}) {
    SCOPED_TRACE(borrowed);
    ms_->LI_FROM_BND = borrowed;
    const Boundary b = bndr(model_conc(), 1);
    for (int m = 0; m < kN; ++m) {
      EXPECT_EQ(b.BETA[m], 1.0);
      const double expected = (m + 2) * 4096.0 / kCconv[m] / kTunitModel;
      EXPECT_NEAR(b.GAMMA[m], expected, 1e-15 * expected) << m + 1;
    }
  }
  // The flux condition agrees with spdef: at the boundary's concentration and
  // without gradient the flux there equals GAMMA.
  Six U = model_conc({2, 3, 4, 5, 6, 7});
  const Coefficients k = spdef(kXLat / kXconv, U, Six{});
  const Boundary b = bndr(U, 1);
  for (int m = 0; m < kN; ++m)
    EXPECT_NEAR(b.BETA[m] * k.R[m], b.GAMMA[m], 1e-15 * std::fabs(b.GAMMA[m])) << m + 1;
}

TEST_F(EstuaryModelTest, FirstBoundaryClosesWithoutFlow) {
  struct Case {
    const char* name;
    double S, x_lat;
  };
  for (const Case& c :
       {Case{"zero driver", 0.0, kXLat}, Case{"input far downstream", 2.0, kXLat + 20000.0}}) {
    SCOPED_TRACE(c.name);
    set_driver(c.S);
    ms_->load_best.x_lat(1) = c.x_lat;
    const Boundary b = bndr(model_conc(), 1);
    for (int m = 0; m < kN; ++m) {
      EXPECT_EQ(b.BETA[m], 1.0);
      if (c.S == 0.0) {
        EXPECT_EQ(b.GAMMA[m], 0.0) << m + 1;
      } else {  // the logistic tail of the far input
        EXPECT_GE(b.GAMMA[m], 0.0);
        EXPECT_LT(b.GAMMA[m], 1e-100) << m + 1;
      }
    }
  }
}

TEST_F(EstuaryModelTest, SecondBoundaryPinsTheConcentration) {
  // The series holds 10 m + 2 (file units); GAMMA is the model-unit distance.
  for (double cconv : {0.5, 0.3}) {
    SCOPED_TRACE(cconv);
    for (int m = 1; m <= kN; ++m) ms_->CCONV(m) = cconv;
    Six U;
    for (int m = 0; m < kN; ++m) U[m] = (10.0 * (m + 1) + 2.0) / cconv;
    const Six held = U;
    const Boundary at = bndr(U, 0);
    EXPECT_EQ(at.BETA, Six{});
    EXPECT_EQ(at.GAMMA, Six{});
    EXPECT_EQ(U, held);
    for (int m = 0; m < kN; ++m) U[m] += 0.25 * (m + 1);
    const Boundary off = bndr(U, 0);
    for (int m = 0; m < kN; ++m) EXPECT_NEAR(off.GAMMA[m], 0.25 * (m + 1), 1e-13 * U[m]) << m + 1;
  }
}

TEST_F(EstuaryModelTest, TimeOutsideTheDriverStopsEitherCall) {
  const double late = 10.5 * 86400.0;  // the driver covers days 0..10
  int IRES = 0;
  EXPECT_THROW(spdef(5.0, model_conc(), Six{}, IRES, late), Stop);
  for (int left : {1, 0}) EXPECT_THROW(bndr(model_conc(), left, late), Stop) << left;
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
  auto at = [&Y](int m, int j) -> double& { return Y[static_cast<std::size_t>(j * (kN + 1) + m)]; };
  for (int j = 0; j < kPts; ++j) at(kN, j) = 1.5 * j;
  model_.uinit(kN, kPts, Y.data());
  for (int j = 0; j < kPts; ++j) {
    SCOPED_TRACE(j + 1);
    // steps of 8 / 4 = 2 file units per point
    for (int m = 0; m < kN; ++m) EXPECT_EQ(at(m, j), (2.0 * (m + 1) + 2.0 * j) / kCconv[m]);
    EXPECT_EQ(at(kN, j), 1.5 * j);
  }
}

// The model remembers what spdef takes from the position and the time (area,
// driver, lateral flow and loads, dispersion) per interval of a residual. A
// second model without remembered terms (never set up by uinit), fed the same
// calls, gives the bits every call must have.
TEST_F(EstuaryModelTest, RemembersPositionTermsOnlyWhileTimeAndPositionStay) {
  ms_->var_drv.v_drv(2) = 3.0;  // the driver changes with time
  constexpr int kPts = 5;
  std::array<double, (kN + 1) * kPts> Y{};
  for (int j = 0; j < kPts; ++j) Y[static_cast<std::size_t>(j * (kN + 1) + kN)] = 5.0 + 4.0 * j;
  model_.uinit(kN, kPts, Y.data());
  EstuaryModel plain(io_, *ms_);
  struct Evaluation {
    double day;
    std::array<double, kPts - 1> xi;
    double scale;  // of the concentrations
    long reused;   // calls that may use remembered terms
  };
  const std::array<double, kPts - 1> xs = {6.5, 10.25, 14.0, 18.75};
  const Evaluation script[] = {
      {2.0, xs, 1.0, 0},                        // first at this time
      {2.0, xs, 1.5, 4},                        // concentrations only: all four
      {2.0, {6.5, 10.25, 14.5, 18.75}, 1.0, 3},  // one interval moved
      {3.0, xs, 1.0, 0},                        // a new time
      {2.0, xs, 1.0, 0},                        // back: the series looked elsewhere meanwhile
      {2.0, xs, 2.0, 4},
  };
  long expected_reuse = 0;
  for (const Evaluation& e : script) {
    SCOPED_TRACE(::testing::Message() << "day " << e.day << " scale " << e.scale);
    const double T = e.day * 86400.0;
    Six U = model_conc();
    for (double& u : U) u *= e.scale;
    const Six UX = {0.5, -1.0, 0.25, 2.0, -0.125, 1.0};
    for (EstuaryModel* m : {&model_, &plain}) {
      Six BETA, GAMMA;
      int IRES = 0;
      m->bndr(T, BETA.data(), GAMMA.data(), U.data(), UX.data(), kN, 1, IRES);
    }
    for (int i = 0; i < kPts - 1; ++i) {
      Coefficients k[2];
      for (int which = 0; which < 2; ++which) {
        EstuaryModel& m = which == 0 ? model_ : plain;
        int IRES = 0;
        m.spdef(T, e.xi[static_cast<std::size_t>(i)], kN, U.data(), UX.data(), k[which].C.data(),
                k[which].Q.data(), k[which].R.data(), IRES);
      }
      EXPECT_EQ(std::memcmp(&k[0], &k[1], sizeof k[0]), 0) << "interval " << i;
    }
    expected_reuse += e.reused;
    EXPECT_EQ(model_.reused_terms(), expected_reuse);
  }
  EXPECT_EQ(plain.reused_terms(), 0);
}

// The coefficient derivatives against central differences of spdef, by every
// value, every derivative value and the position, at states around the
// lateral input (where the lateral terms change fastest) and away from it,
// and the boundary derivatives of both outflow kinds.
TEST_F(EstuaryModelTest, CoefficientDerivativesEqualDifferenceQuotients) {
  const Six base = model_conc();
  const Six UX0 = {0.5, -1.0, 0.25, 2.0, -0.125, 1.0};
  std::array<double, kN * kN> dQdU, dQdUX, dRdU, dRdUX, dCdXI;
  Six dQdXI, dRdXI;
  CoefficientDerivatives d{dQdU.data(), dQdUX.data(), dRdU.data(), dRdUX.data(),
                           dCdXI.data(), dQdXI.data(), dRdXI.data()};
  auto near = [](double got, double want, double scale, const std::string& what) {
    EXPECT_NEAR(got, want, 1e-6 * std::fabs(want) + 1e-9 * scale) << what;
  };
  int checked = 0;
  for (double XI : {4.996, 5.0, 5.003, 12.0}) {
    for (double stretch : {1.0, 0.3, 2.5}) {
      SCOPED_TRACE(::testing::Message() << "XI " << XI << " stretch " << stretch);
      Six U = base, UX = UX0;
      for (int m = 0; m < kN; ++m) U[m] *= stretch + 0.1 * m;
      ASSERT_TRUE(model_.coefficient_derivatives(kTime, XI, kN, U.data(), UX.data(), d));
      const Coefficients c0 = spdef(XI, U, UX);
      double scale = 0.0;
      for (int m = 0; m < kN; ++m) scale = std::max({scale, std::fabs(c0.Q[m]), std::fabs(c0.R[m])});
      for (int j = 0; j < kN; ++j) {
        for (int which = 0; which < 2; ++which) {  // by U(j), by UX(j)
          Six Up = U, Um = U, UXp = UX, UXm = UX;
          const double e = 1e-5 * (1.0 + std::fabs(which == 0 ? U[j] : UX[j]));
          (which == 0 ? Up : UXp)[j] += e;
          (which == 0 ? Um : UXm)[j] -= e;
          const Coefficients p = spdef(XI, Up, UXp), m = spdef(XI, Um, UXm);
          for (int k = 0; k < kN; ++k) {
            const double dq = (p.Q[k] - m.Q[k]) / (2 * e), dr = (p.R[k] - m.R[k]) / (2 * e);
            const std::size_t at = static_cast<std::size_t>(k + j * kN);
            near(which == 0 ? dQdU[at] : dQdUX[at], dq, scale, "dQ" + std::to_string(k + 1));
            near(which == 0 ? dRdU[at] : dRdUX[at], dr, scale, "dR" + std::to_string(k + 1));
            checked += 2;
          }
        }
      }
      const double e = 1e-6;
      const Coefficients p = spdef(XI + e, U, UX), m = spdef(XI - e, U, UX);
      for (int k = 0; k < kN; ++k) {
        near(dQdXI[k], (p.Q[k] - m.Q[k]) / (2 * e), scale, "dQ/dXI " + std::to_string(k + 1));
        near(dRdXI[k], (p.R[k] - m.R[k]) / (2 * e), scale, "dR/dXI " + std::to_string(k + 1));
        const std::size_t diag = static_cast<std::size_t>(k + k * kN);
        near(dCdXI[diag], (p.C[diag] - m.C[diag]) / (2 * e), 1.0, "dC/dXI");
      }
    }
  }
  EXPECT_GT(checked, 800);
  // Boundary: GAMMA by U.
  std::array<double, kN * kN> dG, dGX;
  const Six U = base, UX{};
  for (int left : {1, 0}) {
    ASSERT_TRUE(model_.boundary_derivatives(kTime, U.data(), UX.data(), kN, left, dG.data(), dGX.data()));
    for (int j = 0; j < kN; ++j) {
      Six Up = U, Um = U;
      Up[j] += 1e-4;
      Um[j] -= 1e-4;
      const Boundary bp = bndr(Up, left), bm = bndr(Um, left);
      for (int k = 0; k < kN; ++k)
        near(dG[static_cast<std::size_t>(k + j * kN)], (bp.GAMMA[k] - bm.GAMMA[k]) / 2e-4, 1.0,
             "dGAMMA left=" + std::to_string(left));
    }
  }
}

// The analytic iteration matrix of the whole discretised estuary model
// (transport, grid and boundary rows; the lateral input inside the reach)
// against central differences of its residual, entry by entry, for both
// outflow kinds.
TEST_F(EstuaryModelTest, AnalyticIterationMatrixOfTheModelEqualsDifferences) {
  ms_->USE_UT0 = false;
  for (int m = 1; m <= kN; ++m) {
    ms_->CBND0(m, 1) = 1.0 + m;
    ms_->CBND0(m, 2) = 2.0 + 0.5 * m;
  }
  for (Outflow outflow : {Outflow::kFixedConcentration, Outflow::kFree}) {
    SCOPED_TRACE(outflow == Outflow::kFree ? "free outflow" : "fixed concentration");
    EstuaryModel model(io_, *ms_, Channel(), outflow);
    constexpr int kPts = 7;
    const int nvar = kN + 1, neq = nvar * kPts, band = 2 * nvar, lda = 3 * band + 1;
    std::vector<double> Y(neq), YP(neq), DELTA(neq),
        RPAR(static_cast<std::size_t>(skm_workspace_length(neq, kN)));
    SkmState s;
    int NEQ = 0, IBAND = 0, IFAIL = 0;
    SETSKM(io_, s, model, NEQ, kN, kPts, 4.97, 5.04, 0.2, 2.0, 1e-3, Y.data(), RPAR.data(),
           static_cast<int>(RPAR.size()), 0, 0.0, IBAND, IFAIL);
    ASSERT_EQ(IFAIL, 0);
    for (int j = 0; j < kPts; ++j) {
      for (int m = 0; m < kN; ++m) {
        Y[static_cast<std::size_t>(j * nvar + m)] *= 1.0 + 0.05 * std::sin(1.0 + j + m);
        YP[static_cast<std::size_t>(j * nvar + m)] = 0.01 * std::cos(2.0 * j + m);
      }
      if (j > 0 && j < kPts - 1) {
        Y[static_cast<std::size_t>(j * nvar + kN)] += 0.002 * std::sin(3.0 * j);
        YP[static_cast<std::size_t>(j * nvar + kN)] = 0.001 * std::cos(j);
      }
    }
    const double CJ = 20.0;
    std::vector<double> pd(static_cast<std::size_t>(lda * neq), 0.0), want(pd.size(), 0.0);
    int IRES = 0;
    ASSERT_TRUE(SKMJAC(s, model, kTime, Y.data(), YP.data(), CJ, pd.data(), IRES));
    auto residual = [&]() {
      int ires = 0;
      SKMRES(io_, s, model, neq, kTime, Y.data(), YP.data(), DELTA.data(), ires, RPAR.data(),
             static_cast<int>(RPAR.size()));
      EXPECT_EQ(ires, 0);
      return DELTA;
    };
    for (int J = 1; J <= neq; ++J) {
      const std::size_t j = static_cast<std::size_t>(J - 1);
      const double y0 = Y[j], yp0 = YP[j], e = 1e-6 * (1.0 + std::fabs(y0));
      Y[j] = y0 + e, YP[j] = yp0 + CJ * e;
      const std::vector<double> plus = residual();
      Y[j] = y0 - e, YP[j] = yp0 - CJ * e;
      const std::vector<double> minus = residual();
      Y[j] = y0, YP[j] = yp0;
      for (int I = std::max(1, J - band); I <= std::min(neq, J + band); ++I)
        want[static_cast<std::size_t>((J - 1) * lda + (I - J + 2 * band + 1) - 1)] =
            (plus[static_cast<std::size_t>(I - 1)] - minus[static_cast<std::size_t>(I - 1)]) / (2 * e);
    }
    double scale = 0.0;
    for (double v : want) scale = std::max(scale, std::fabs(v));
    int large = 0;
    for (std::size_t i = 0; i < pd.size(); ++i) {
      if (std::fabs(want[i]) > 1e-6 * scale) ++large;
      EXPECT_NEAR(pd[i], want[i], 1e-6 * std::fabs(want[i]) + 1e-9 * scale)
          << "entry " << i % lda + 1 << " of column " << i / lda + 1;
    }
    // Not a vacuous comparison: a few hundred entries are not tiny (the
    // capacity is diagonal, so most entries of the band are zero).
    EXPECT_GT(large, 200);
  }
}

TEST_F(EstuaryModelTest, LookUpsThatWarnAreMadeEveryTime) {
  // Driver to day 20, lateral table to day 10: at day 12 every lateral
  // look-up warns, and must go on warning at every call.
  ms_->var_drv.t_drv(2) = 20.0;
  constexpr int kPts = 4;
  std::array<double, (kN + 1) * kPts> Y{};
  model_.uinit(kN, kPts, Y.data());
  out_.str("");
  const double T = 12.0 * 86400.0;
  const Six U = model_conc();
  const Six UX{};
  for (int evaluation = 0; evaluation < 2; ++evaluation) {
    Six BETA, GAMMA;
    int IRES = 0;
    model_.bndr(T, BETA.data(), GAMMA.data(), U.data(), UX.data(), kN, 1, IRES);
    for (double xi : {6.0, 8.0, 10.0}) spdef(xi, U, UX, IRES, T);
  }
  const std::string text = out_.str();
  int warnings = 0;
  for (std::size_t at = text.find("extrapolating beyond tmax"); at != std::string::npos;
       at = text.find("extrapolating beyond tmax", at + 1))
    ++warnings;
  // Twice: bndr warns for the lateral and the boundary series (which ends at
  // day 4), each spdef call for the lateral series.
  EXPECT_EQ(warnings, 2 * (2 + 3));
  EXPECT_EQ(model_.reused_terms(), 0);
}

}  // namespace
}  // namespace qz5::testing
