// Set-up of the discretisation: sizes, workspace and parameter checks, the
// machine precision, the origin decision and the initial grid.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "skm_harness.h"

namespace qz5::testing {
namespace {

struct SetupCall {
  std::string output;
  int NEQ = -7, IBAND = -7, IFAIL;
  SkmState s;
  ScriptedProblem p;
  std::vector<double> Y;
};

// Calls SETSKM on a fresh state with Y pre-filled with a sentinel.
void run_setskm(SetupCall& c, int ncomp, int npts, int lenwk, int M, double xleft = 0.0,
                double xright = 1.0, int ifail_in = 0) {
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  c.Y.assign(static_cast<std::size_t>((ncomp + 1) * std::max(npts, 1)), -99.0);
  std::vector<double> rpar(4, -5.0);
  c.IFAIL = ifail_in;
  SETSKM(io, c.s, c.p, c.NEQ, ncomp, npts, xleft, xright, 0.25, 2.0, 0.5, c.Y.data(), rpar.data(),
         lenwk, M, 3.0, c.IBAND, c.IFAIL);
  c.output = out.str();
  for (double v : rpar) EXPECT_EQ(v, -5.0) << "SETSKM must not touch the workspace";
}

const std::string kWorkspace1072vs1073 =
    " SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :      1073\n";
const std::string kPolarMinus1 = " SETSKM - POLAR PARAMETER LESS THAN ZERO, M=        -1\n";

TEST(Setskm, SizesChecksAndMessages) {
  struct Case {
    const char* name;
    int ncomp, npts, lenwk, M;
    int neq, iband;
    bool ok;
    std::string output;
  };
  const Case cases[] = {
      // 994 + 36 + 36 = 1066 <= 1072
      {"6 constituents, 142 points", 6, 142, 1072, 0, 994, 14, true, ""},
      // 1001 + 72 = 1073 > 1072
      {"6 constituents, 143 points", 6, 143, 1072, 0, 1001, 14, false, kWorkspace1072vs1073},
      // 1002 + 6 + 1 = 1009: the discretisation accepts it (the driver's own
      // limit on NEQ is not its business)
      {"1 constituent, 501 points", 1, 501, 1072, 0, 1002, 4, true, ""},
      {"workspace exactly long enough", 6, 142, 1066, 0, 994, 14, true, ""},
      {"workspace one short", 6, 142, 1065, 0, 994, 14, false,
       " SETSKM - ERROR REAL WORKSPACE OF SIZE      1065, IS SMALLER THAN REQUIRED :      1066\n"},
      {"negative polar parameter", 6, 10, 1072, -1, 70, 14, false, kPolarMinus1},
      {"both refusals, workspace first", 6, 143, 1072, -1, 1001, 14, false,
       kWorkspace1072vs1073 + kPolarMinus1},
      {"three points are enough", 2, 3, 1072, 0, 9, 6, true, ""},
      {"two points", 2, 2, 1072, 0, 6, 6, false,
       " SETSKM - NUMBER OF GRID POINTS LESS THAN 3, NPTS=         2\n"},
      {"one point", 1, 1, 1072, 2, 2, 4, false,
       " SETSKM - NUMBER OF GRID POINTS LESS THAN 3, NPTS=         1\n"},
      {"cylinder", 3, 20, 1072, 1, 80, 8, true, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    SetupCall c;
    run_setskm(c, k.ncomp, k.npts, k.lenwk, k.M);
    EXPECT_EQ(c.NEQ, k.neq);
    EXPECT_EQ(c.IBAND, k.iband);
    EXPECT_EQ(c.IFAIL, k.ok ? 0 : -1);
    EXPECT_EQ(c.output, k.output);
    EXPECT_EQ(c.s.is_set_up(), k.ok);
    EXPECT_EQ(c.p.uinit_calls, k.ok ? 1 : 0);
    // A refused set-up leaves the solution vector alone.
    if (!k.ok) {
      EXPECT_EQ(c.Y[static_cast<std::size_t>(k.ncomp)], -99.0);
    }
    EXPECT_EQ(c.s.NVAR, k.ncomp + 1);
    EXPECT_EQ(c.s.NINNER, k.npts - 2);
    EXPECT_EQ(c.s.M, k.M);
    EXPECT_EQ(c.s.LUNSKM, 6);
  }
}

TEST(Setskm, SetUpMarkAndParameters) {
  const SkmState fresh;
  EXPECT_FALSE(fresh.is_set_up());
  EXPECT_EQ(fresh.LUNSKM, 0);
  EXPECT_EQ(std::string(fresh.SKM_MARK.data(), 6), "      ");
  // Success leaves IFAIL as it came and keeps the grid parameters.
  SetupCall c;
  run_setskm(c, 2, 5, 1072, 0, 0.0, 2.0, 17);
  EXPECT_EQ(c.IFAIL, 17);
  EXPECT_EQ(c.s.TAU, 0.25);
  EXPECT_EQ(c.s.KAPPA, 2.0);
  EXPECT_EQ(c.s.ALPHA, 0.5);
  EXPECT_EQ(std::string(c.s.SKM_MARK.data(), 6), "SPSKLM");
  // A failed repeat keeps the earlier mark.
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  int neq = 0, iband = 0, ifail = 0;
  SETSKM(io, c.s, c.p, neq, 2, 5, 0.0, 1.0, 0.0, 0.0, 1.0, c.Y.data(), nullptr, 10, 0, 0.0, iband,
         ifail);
  EXPECT_EQ(ifail, -1);
  EXPECT_TRUE(c.s.is_set_up());
  EXPECT_EQ(c.p.uinit_calls, 1);
}

TEST(Setskm, MachinePrecisionIsTwoToTheMinus52) {
  SetupCall c;
  run_setskm(c, 1, 3, 1072, 0);
  EXPECT_EQ(c.s.EPSMACH, std::ldexp(1.0, -52));

  const MachineParameters mp = MACHINE_PARAMETERS();
  EXPECT_EQ(mp.ibeta, 2);
  EXPECT_EQ(mp.it, 53);
  EXPECT_EQ(mp.eps, std::ldexp(1.0, -52));
  EXPECT_EQ(mp.machep, -52);
  EXPECT_EQ(mp.epsneg, std::ldexp(1.0, -53));
  EXPECT_EQ(mp.negep, -53);
  EXPECT_EQ(mp.minexp, -1022);
  EXPECT_EQ(mp.maxexp, 1024);
  EXPECT_EQ(mp.xmin, std::ldexp(1.0, -1022));
}

TEST(Setskm, OriginDecision) {
  struct Case {
    const char* name;
    int M;
    double xleft, xright;
    int at_origin;
  };
  const Case cases[] = {
      {"cylinder from 0", 1, 0.0, 1.0, 1},
      {"cylinder from 1e-20", 1, 1e-20, 1.0, 1},
      {"cylinder from -1e-20", 1, -1e-20, 1.0, 1},
      {"sphere from 0", 2, 0.0, 3.0, 1},
      {"slab from 0", 0, 0.0, 1.0, 0},
      // 1e-15 > (1 - 1e-15) * 2^-52
      {"cylinder from 1e-15", 1, 1e-15, 1.0, 0},
      // the bound scales with the domain length: 1e-12 <= 1e4 * 2^-52
      {"long cylinder from 1e-12", 1, 1e-12, 1e4, 1},
      {"cylinder from 0.5", 1, 0.5, 1.0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    SetupCall c;
    run_setskm(c, 1, 4, 1072, k.M, k.xleft, k.xright);
    EXPECT_EQ(c.s.AT_ORIGIN, k.at_origin);
  }
}

TEST(Setskm, EvenlySpacedPositionsHandedToUinitWhichMayReplaceThem) {
  SetupCall c;
  c.p.initial = [](int ncomp, int npts, double* Y) {
    for (int n = 0; n < npts; ++n)
      for (int k = 1; k <= ncomp; ++k) Y[skm_at(ncomp + 1, k, n)] = 10.0 * n + k;
  };
  run_setskm(c, 2, 5, 1072, 0, 0.0, 2.0);
  EXPECT_EQ(c.p.uinit_positions, (std::vector<double>{0.0, 0.5, 1.0, 1.5, 2.0}));
  for (int n = 0; n < 5; ++n) {
    EXPECT_EQ(c.Y[skm_at(3, 3, n)], 0.5 * n);
    EXPECT_EQ(c.Y[skm_at(3, 1, n)], 10.0 * n + 1);
    EXPECT_EQ(c.Y[skm_at(3, 2, n)], 10.0 * n + 2);
  }
  SetupCall r;
  r.p.initial = [](int, int npts, double* Y) {
    for (int n = 0; n < npts; ++n) Y[skm_at(2, 2, n)] = n * n;
  };
  run_setskm(r, 1, 4, 1072, 0, -1.0, 2.0);
  EXPECT_EQ(r.p.uinit_positions, (std::vector<double>{-1.0, 0.0, 1.0, 2.0}));
  EXPECT_EQ(r.Y[skm_at(2, 2, 3)], 9.0);
}

}  // namespace
}  // namespace qz5::testing
