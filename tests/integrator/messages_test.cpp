// Every illegal-input report and every failure return of DDASSL, each caused
// by a problem built for it, with the framed text and IDID.
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dassl_harness.h"
#include "integrator/work_layout.h"
#include "textio/stop.h"

namespace qz5::testing {
namespace {

// {X, D} written independently of the program's formatter: 1P,D15.6 is
// "d.ddddddD+ee" right-justified in 15 columns, then one blank.
std::string d16(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6E", x);
  std::string s(buf);
  s[s.find('E')] = 'D';
  return std::string(15 - s.size(), ' ') + s + " ";
}

// {X, D} of a NaN or an infinity: its word right-justified in the 15
// columns, then the blank.
std::string d16_word(const std::string& word) { return std::string(15 - word.size(), ' ') + word + " "; }

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A report prints its message without trailing blanks.
std::string printed(std::string message) {
  message.erase(message.find_last_not_of(' ') + 1);
  return message;
}

void decay2(Dassl& d) {
  d.res = [](double, double* y, double* yp, double* delta, int&, double*, int*) {
    delta[0] = -y[0] - yp[0];
    delta[1] = -2.0 * y[1] - yp[1];
  };
  d.y = {1.0, 1.0};
  d.yprime = {-1.0, -2.0};
}

TEST(Messages, FrameOfARecoverableReport) {
  Dassl d(2);
  decay2(d);
  d.NEQ = 0;
  d.call();
  EXPECT_EQ(d.console(),
            " ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.\n"
            " ***POTENTIALLY RECOVERABLE ERROR, PROGRAM CONTINUES.\n"
            " *  NEQ =        0 .LE. 0\n"
            " *  ERROR NUMBER = 2\n"
            " *   \n"
            " ***END OF MESSAGE\n"
            " \n");
}

struct Illegal {
  std::string name;
  std::function<void(Dassl&)> spoil;
  int errnum;
  std::string message;
};

TEST(Messages, IllegalInputOnTheFirstCall) {
  const std::vector<Illegal> cases = {
      {"INFO(3) = 2", [](Dassl& d) { d.info[2] = 2; }, 1,
       "SOME ELEMENT OF INFO VECTOR IS NOT ZERO OR ONE"},
      {"INFO(11) = -1", [](Dassl& d) { d.info[10] = -1; }, 1,
       "SOME ELEMENT OF INFO VECTOR IS NOT ZERO OR ONE"},
      {"INFO(1) = 5", [](Dassl& d) { d.info[0] = 5; }, 1,
       "SOME ELEMENT OF INFO VECTOR IS NOT ZERO OR ONE"},
      {"NEQ = -3", [](Dassl& d) { d.NEQ = -3; }, 2, "NEQ =       -3 .LE. 0"},
      {"MAXORD = 6", [](Dassl& d) { d.info[8] = 1; d.iwork[2] = 6; }, 3,
       "MAXORD =        6 NOT IN RANGE"},
      {"MAXORD = 0", [](Dassl& d) { d.info[8] = 1; d.iwork[2] = 0; }, 3,
       "MAXORD =        0 NOT IN RANGE"},
      // Full band of 2 equations: 40 + 9*2 + (2+1+1)*2 + 2*(2/3+1) = 68 reals.
      {"LRW short", [](Dassl& d) { d.rwork.resize(67); }, 4,
       "RWORK LENGTH NEEDED, LENRW =       68, EXCEEDS LRW =       67"},
      {"LIW short", [](Dassl& d) { d.iwork.resize(21); }, 5,
       "IWORK LENGTH NEEDED, LENIW =       22, EXCEEDS LIW =       21"},
      {"RTOL < 0", [](Dassl& d) { d.rtol[0] = -1e-6; }, 6, "SOME ELEMENT OF RTOL IS .LT. 0"},
      {"ATOL(2) < 0, vector", [](Dassl& d) { d.info[1] = 1; d.atol[1] = -1e-6; }, 7,
       "SOME ELEMENT OF ATOL IS .LT. 0"},
      {"all tolerances zero", [](Dassl& d) { d.set_tol(0.0); }, 8,
       "ALL ELEMENTS OF RTOL AND ATOL ARE ZERO"},
      {"TSTOP behind TOUT",
       [](Dassl& d) { d.info[3] = 1; d.rwork[kTstop - 1] = 0.5; }, 9,
       "INFO(4) = 1 AND TSTOP = " + d16(0.5) + " BEHIND TOUT = " + d16(1.0)},
      {"HMAX = 0", [](Dassl& d) { d.info[6] = 1; d.rwork[kHmax - 1] = 0.0; }, 10,
       "HMAX = " + d16(0.0) + " .LT. 0.0"},
      {"H0 against the direction",
       [](Dassl& d) { d.info[7] = 1; d.rwork[kStepSize - 1] = -0.1; }, 11,
       "TOUT = " + d16(1.0) + " BEHIND T = " + d16(0.0)},
      {"H0 = 0", [](Dassl& d) { d.info[7] = 1; d.rwork[kStepSize - 1] = 0.0; }, 12,
       "INFO(8)=1 AND H0=0.0"},
      {"a zero weight",
       [](Dassl& d) { d.info[1] = 1; d.y[1] = 0.0; d.atol[1] = 0.0; }, 13,
       "SOME ELEMENT OF WT IS .LE. 0.0"},
      {"TOUT too close",
       [](Dassl& d) { d.t = 1.0; d.tout = 1.0 + kEps; }, 14,
       "TOUT = " + d16(1.0 + kEps) + " TOO CLOSE TO T = " + d16(1.0) + " TO START INTEGRATION"},
      {"TSTOP behind T", [](Dassl& d) { d.info[3] = 1; d.rwork[kTstop - 1] = -1.0; }, 15,
       "INFO(4)=1 AND TSTOP = " + d16(-1.0) + " BEHIND T = " + d16(0.0)},
      {"ML = NEQ", [](Dassl& d) { d.iwork[0] = 2; }, 17,
       "ML =        2 ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ"},
      {"ML < 0", [](Dassl& d) { d.iwork[0] = -1; }, 17,
       "ML =       -1 ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ"},
      {"MU = NEQ", [](Dassl& d) { d.iwork[1] = 2; }, 18,
       "MU =        2 ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ"},
      {"TOUT = T", [](Dassl& d) { d.tout = 0.0; }, 19, "TOUT = T = " + d16(0.0)},
      // Values that are not finite numbers.
      {"TOUT = NaN", [](Dassl& d) { d.tout = kNan; }, 20,
       "TOUT = " + d16_word("NaN") + " IS NOT A FINITE NUMBER"},
      {"TOUT = -Inf", [](Dassl& d) { d.tout = -kInf; }, 20,
       "TOUT = " + d16_word("-Infinity") + " IS NOT A FINITE NUMBER"},
      {"HMAX = NaN", [](Dassl& d) { d.info[6] = 1; d.rwork[kHmax - 1] = kNan; }, 10,
       "HMAX = " + d16_word("NaN") + " .LT. 0.0"},
      {"HMAX = Inf", [](Dassl& d) { d.info[6] = 1; d.rwork[kHmax - 1] = kInf; }, 10,
       "HMAX = " + d16_word("Infinity") + " .LT. 0.0"},
      {"RTOL = NaN", [](Dassl& d) { d.rtol[0] = kNan; }, 6, "SOME ELEMENT OF RTOL IS .LT. 0"},
      {"RTOL = Inf", [](Dassl& d) { d.rtol[0] = kInf; }, 6, "SOME ELEMENT OF RTOL IS .LT. 0"},
      {"ATOL = NaN", [](Dassl& d) { d.atol[0] = kNan; }, 7, "SOME ELEMENT OF ATOL IS .LT. 0"},
      {"ATOL(2) = Inf, vector", [](Dassl& d) { d.info[1] = 1; d.atol[1] = kInf; }, 7,
       "SOME ELEMENT OF ATOL IS .LT. 0"},
  };
  for (const Illegal& c : cases) {
    SCOPED_TRACE(c.name);
    Dassl d(2);
    decay2(d);
    int calls = 0;
    const ResidualFn inner = d.res;
    d.res = [&](double t, double* y, double* yp, double* delta, int& ires, double* rp, int* ip) {
      ++calls;
      inner(t, y, yp, delta, ires, rp, ip);
    };
    c.spoil(d);
    const std::vector<double> y0 = d.y, yp0 = d.yprime;
    const double t0 = d.t;
    d.call();
    EXPECT_EQ(d.idid, -33);
    EXPECT_EQ(d.info[0], -1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(d.y, y0);
    EXPECT_EQ(d.yprime, yp0);
    EXPECT_EQ(d.t, t0);
    EXPECT_EQ(reported_messages(d.console()), std::vector<std::string>{printed(c.message)});
    EXPECT_EQ(reported_numbers(d.console()), std::vector<int>{c.errnum});
  }
}

TEST(Messages, IllegalInputOnAContinuationCall) {
  struct Case {
    std::string name;
    double tout;
    int errnum;
    std::string message;
  };
  for (const Case& c : {Case{"TOUT = T", 1.0, 19, "TOUT = T = " + d16(1.0)},
                        Case{"TOUT behind T", 0.5, 11,
                             "TOUT = " + d16(0.5) + " BEHIND T = " + d16(1.0)}}) {
    SCOPED_TRACE(c.name);
    Dassl d(2);
    decay2(d);
    d.run_to(1.0);
    ASSERT_EQ(d.idid, 3);
    ASSERT_EQ(d.console(), "");
    d.tout = c.tout;
    d.call();
    EXPECT_EQ(d.idid, -33);
    EXPECT_EQ(d.info[0], -1);
    EXPECT_EQ(reported_messages(d.console()), std::vector<std::string>{printed(c.message)});
    EXPECT_EQ(reported_numbers(d.console()), std::vector<int>{c.errnum});
  }
}

// Values that stop being finite between calls are refused on the next call,
// before any step.
TEST(Messages, NonFiniteInputOnAContinuationCall) {
  const std::vector<Illegal> cases = {
      {"TOUT = NaN", [](Dassl& d) { d.tout = kNan; }, 20,
       "TOUT = " + d16_word("NaN") + " IS NOT A FINITE NUMBER"},
      {"TOUT = Inf", [](Dassl& d) { d.tout = kInf; }, 20,
       "TOUT = " + d16_word("Infinity") + " IS NOT A FINITE NUMBER"},
      {"HMAX = NaN", [](Dassl& d) { d.rwork[kHmax - 1] = kNan; }, 10,
       "HMAX = " + d16_word("NaN") + " .LT. 0.0"},
      {"RTOL = Inf", [](Dassl& d) { d.rtol[0] = kInf; }, 6, "SOME ELEMENT OF RTOL IS .LT. 0"},
      {"ATOL = NaN", [](Dassl& d) { d.atol[0] = kNan; }, 7, "SOME ELEMENT OF ATOL IS .LT. 0"},
  };
  for (const Illegal& c : cases) {
    SCOPED_TRACE(c.name);
    Dassl d(2);
    decay2(d);
    d.info[6] = 1;
    d.rwork[kHmax - 1] = 0.5;
    d.run_to(1.0);
    ASSERT_EQ(d.idid, 3);
    ASSERT_EQ(d.console(), "");
    d.tout = 2.0;
    c.spoil(d);
    const std::vector<double> y1 = d.y;
    d.call();
    EXPECT_EQ(d.idid, -33);
    EXPECT_EQ(d.info[0], -1);
    EXPECT_EQ(d.t, 1.0);
    EXPECT_EQ(d.y, y1);
    EXPECT_EQ(reported_messages(d.console()), std::vector<std::string>{printed(c.message)});
    EXPECT_EQ(reported_numbers(d.console()), std::vector<int>{c.errnum});
  }
}

TEST(Messages, CallingAgainAfterAnErrorWithoutResetIsFatal) {
  Dassl d(2);
  decay2(d);
  d.tout = 0.0;  // illegal: TOUT = T
  d.call();
  ASSERT_EQ(d.idid, -33);
  try {
    d.call();
    FAIL() << "expected a stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status, kExitBadInput);
  }
  const std::string fatal =
      " ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.\n"
      " ***FATAL ERROR, PROGRAM ABORTED.\n";
  EXPECT_NE(d.console().find(fatal), std::string::npos);
  EXPECT_NE(d.console().find(" ***JOB ABORT DUE TO FATAL ERROR.\n"), std::string::npos);
  const std::vector<std::string> messages = reported_messages(d.console());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1],
            "THE LAST STEP TERMINATED WITH A NEGATIVE VALUE OF IDID =      -33 AND NO "
            "APPROPRIATE ACTION WAS TAKEN.  RUN TERMINATED");
  EXPECT_EQ(reported_numbers(d.console()), (std::vector<int>{19, -998}));
}

// --- failure returns --------------------------------------------------------

struct Failure {
  std::string name;
  std::function<void(Dassl&)> setup;
  int idid;
  std::function<std::string(const Dassl&)> message;  // from the returned T and H
  // Counters left behind (-1: not checked): error-test and convergence
  // failures, residual and matrix evaluations.
  int etf = -1, ctf = -1, res = -1, jac = -1;
};

std::string at_h(const Dassl& d) {
  return "AT T = " + d16(d.t) + " AND STEPSIZE H = " + d16(d.rw(kStepSize));
}

// Shrinks the harness's two-equation problem to one equation (diagonal band).
void one_equation(Dassl& d) {
  d.NEQ = 1;
  d.iwork[0] = 0;
  d.iwork[1] = 0;
}

// y' = 0 until t = 0.5, then y' = 1e15: a step that crosses 0.5 by d
// changes y by about 1e15 d, beyond the tolerance for every d >= HMIN, so the
// integration creeps up to 0.5 and then fails the error test for good.
void slope_jump(double t, double*, double* yp, double* delta, int&, double*, int*) {
  delta[0] = (t >= 0.5 ? 1e15 : 0.0) - yp[0];
}
// y' = 1e9 with y(0) = 1 given with y'(0) = 0: the first step's corrected
// solution differs from the predicted one by 1e9 H.
void inconsistent_slope(double, double*, double* yp, double* delta, int&, double*, int*) {
  delta[0] = 1e9 - yp[0];
}
// Newton's method on the cube root diverges: every correction overshoots.
void cube_root(double, double* y, double*, double* delta, int&, double*, int*) {
  delta[0] = std::cbrt(y[0] - 1.0);
}

std::vector<Failure> failures() {
  return {
      {"500 steps", [](Dassl& d) {
         d.info[6] = 1;
         d.rwork[kHmax - 1] = 1e-3;
         d.tout = 0.7;
       }, -1,
       [](const Dassl& d) {
         return "AT CURRENT T = " + d16(d.t) + " 500 STEPS TAKEN ON THIS CALL BEFORE REACHING TOUT";
       }},
      {"tolerances below precision", [](Dassl& d) { d.set_tol(1e-20); }, -2,
       [](const Dassl& d) {
         return "AT T = " + d16(d.t) +
                " TOO MUCH ACCURACY REQUESTED FOR PRECISION OF MACHINE. RTOL AND ATOL WERE "
                "INCREASED TO APPROPRIATE VALUES";
       }},
      {"error test", [](Dassl& d) {
         one_equation(d);
         d.res = slope_jump;
         d.y[0] = 1.0;
         d.yprime[0] = 0.0;
       }, -6,
       [](const Dassl& d) {
         return at_h(d) + " THE ERROR TEST FAILED REPEATEDLY OR WITH ABS(H)=HMIN";
       }},
      {"corrector diverges", [](Dassl& d) {
         one_equation(d);
         d.res = cube_root;
         d.y[0] = 2.0;
         d.yprime[0] = 0.0;
       }, -7,
       [](const Dassl& d) {
         return at_h(d) + " THE CORRECTOR FAILED TO CONVERGE REPEATEDLY OR WITH ABS(H)=HMIN";
       }, 0, 10},
      {"singular matrix", [](Dassl& d) {
         d.res = [](double, double*, double*, double* delta, int&, double*, int*) {
           delta[0] = 1.0;
           delta[1] = 1.0;
         };
       }, -8,
       [](const Dassl& d) { return at_h(d) + " THE ITERATION MATRIX IS SINGULAR"; }, -1, 3, -1, 3},
      {"error test, then corrector", [](Dassl& d) {
         one_equation(d);
         d.res = [](double t, double* y, double* yp, double* delta, int& ires, double* rp, int* ip) {
           // First-step attempts: H = 1e-3, 2.5e-4, 6.25e-5 fail the error
           // test; at H = 1.5625e-5 the Newton iteration diverges.
           if (t >= 3e-5) inconsistent_slope(t, y, yp, delta, ires, rp, ip);
           else cube_root(t, y, yp, delta, ires, rp, ip);
         };
         d.y[0] = 2.0;
         d.yprime[0] = 0.0;
       }, -9,
       [](const Dassl& d) {
         return at_h(d) +
                " THE CORRECTOR COULD NOT CONVERGE.  ALSO, THE ERROR TEST FAILED REPEATEDLY.";
       }, 3, 10},
      {"residual refuses", [](Dassl& d) {
         d.res = [](double, double*, double*, double*, int& ires, double*, int*) { ires = -1; };
       }, -10,
       [](const Dassl& d) {
         return at_h(d) + " THE CORRECTOR COULD NOT CONVERGE BECAUSE IRES WAS EQUAL TO MINUS ONE";
       }, -1, 10, 10},
      {"residual gives up", [](Dassl& d) {
         d.res = [](double, double*, double*, double*, int& ires, double*, int*) { ires = -2; };
       }, -11,
       [](const Dassl& d) { return at_h(d) + " IRES WAS EQUAL TO MINUS TWO"; }, -1, 1, 1},
      {"initial derivative, residual gives up", [](Dassl& d) {
         d.info[10] = 1;
         d.yprime = {0.0, 0.0};  // H0 = 0.001 of the interval
         d.res = [](double, double*, double*, double*, int& ires, double*, int*) { ires = -2; };
       }, -12,
       [](const Dassl&) {
         return "AT T = " + d16(0.0) + " AND STEPSIZE H = " + d16(1e-3) +
                " THE INITIAL YPRIME COULD NOT BE COMPUTED";
       }, -1, -1, 1},
      {"initial derivative, residual refuses", [](Dassl& d) {
         d.info[10] = 1;
         d.yprime = {0.0, 0.0};
         d.res = [](double, double*, double*, double*, int& ires, double*, int*) { ires = -1; };
       }, -12,
       [](const Dassl&) {
         // Ten attempts, each dividing H0 = 1e-3 by 4.
         double h = 1e-3;
         for (int i = 0; i < 10; ++i) h *= 0.25;
         return "AT T = " + d16(0.0) + " AND STEPSIZE H = " + d16(h) +
                " THE INITIAL YPRIME COULD NOT BE COMPUTED";
       }, -1, -1, 10},
  };
}

TEST(Messages, EveryFailureReturn) {
  for (const Failure& c : failures()) {
    SCOPED_TRACE(c.name);
    Dassl d(2);
    decay2(d);
    c.setup(d);
    d.call();
    ASSERT_EQ(d.idid, c.idid);
    EXPECT_EQ(d.info[0], -1);
    EXPECT_EQ(d.t, d.rw(kTReached));
    EXPECT_EQ(reported_messages(d.console()), std::vector<std::string>{printed(c.message(d))});
    EXPECT_EQ(reported_numbers(d.console()), std::vector<int>{c.idid});
    const std::pair<int, int> counters[] = {
        {c.etf, kErrtestFails}, {c.ctf, kConvFails}, {c.res, kResCount}, {c.jac, kJacCount}};
    for (const auto& [expected, position] : counters) {
      if (expected >= 0) {
        EXPECT_EQ(d.iw(position), expected) << "IWORK(" << position << ")";
      }
    }
  }
}

TEST(Failures, ValuesLeftByEachFailure) {
  auto run = [](const std::string& name) {
    for (const Failure& c : failures()) {
      if (c.name != name) continue;
      auto d = std::make_unique<Dassl>(2);
      decay2(*d);
      c.setup(*d);
      d->call();
      return d;
    }
    ADD_FAILURE() << name;
    return std::unique_ptr<Dassl>();
  };
  {
    SCOPED_TRACE("error test failures until H < HMIN, just before the jump");
    auto d = run("error test");
    EXPECT_LT(d->t, 0.5);
    EXPECT_GT(d->t, 0.5 - 1e-9);
    EXPECT_EQ(d->y[0], 1.0);  // y' = 0 before the jump keeps y exactly 1
    EXPECT_GE(d->iw(kErrtestFails), 3);
    EXPECT_LT(std::abs(d->rw(kStepSize)), 4.0 * kEps * 1.0);
  }
  // Failed steps leave the solution where it was.
  EXPECT_EQ(run("corrector diverges")->y[0], 2.0);
  EXPECT_EQ(run("residual gives up")->y, (std::vector<double>{1.0, 1.0}));
  auto d = run("initial derivative, residual refuses");
  EXPECT_EQ(d->y, (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(d->yprime, (std::vector<double>{0.0, 0.0}));
}

// A residual that turns NaN or infinite never yields a successful return:
// the corrector fails, the step shrinks, and the call ends in the report of
// repeated corrector failures at the last finite point.
TEST(Failures, NonFiniteResidualEndsInACorrectorFailure) {
  struct Case {
    const char* name;
    double bad_from;   // the residual is spoiled for t > bad_from
    int spoiled;       // components spoiled: 1 (the first) or 2 (both)
    double value;      // what they become
    int info11;        // initial derivative computed
    int idid;
  };
  const Case cases[] = {
      {"NaN after t = 0.5", 0.5, 2, kNan, 0, -7},
      {"one component NaN after t = 0.5", 0.5, 1, kNan, 0, -7},
      {"one component infinite after t = 0.5", 0.5, 1, kInf, 0, -7},
      {"NaN from the start", -1.0, 2, kNan, 0, -7},
      {"NaN from the start, initial derivative", -1.0, 2, kNan, 1, -12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dassl d(2);
    decay2(d);
    const ResidualFn smooth = d.res;
    d.res = [&c, smooth](double t, double* y, double* yp, double* delta, int& ires, double* rp,
                         int* ip) {
      smooth(t, y, yp, delta, ires, rp, ip);
      if (t > c.bad_from) {
        for (int i = 0; i < c.spoiled; ++i) delta[i] = c.value;
      }
    };
    d.info[10] = c.info11;
    d.call();
    if (d.idid != c.idid) {
      ADD_FAILURE() << "IDID " << d.idid << ", expected " << c.idid << "\n" << d.console();
      continue;
    }
    EXPECT_EQ(d.info[0], -1);
    EXPECT_EQ(reported_numbers(d.console()), std::vector<int>{c.idid});
    ASSERT_EQ(reported_messages(d.console()).size(), 1u);
    const std::string expected =
        c.idid == -7 ? at_h(d) + " THE CORRECTOR FAILED TO CONVERGE REPEATEDLY OR WITH ABS(H)=HMIN"
                     : "AT T = " + d16(0.0) + " AND STEPSIZE H = " + d16(d.rw(kStepSize)) +
                           " THE INITIAL YPRIME COULD NOT BE COMPUTED";
    EXPECT_EQ(reported_messages(d.console())[0], printed(expected));
    // The values returned belong to the last accepted point, where the
    // residual was still finite.
    EXPECT_LE(d.t, std::max(c.bad_from, 0.0));
    for (double v : d.y) EXPECT_TRUE(std::isfinite(v));
    if (c.bad_from > 0.0) {
      EXPECT_GT(d.t, 0.49);  // the integration crept up to the spoiled time
      EXPECT_NEAR(d.y[0], std::exp(-d.t), 1e-4);
      EXPECT_NEAR(d.y[1], std::exp(-2.0 * d.t), 1e-4);
    } else {
      EXPECT_EQ(d.y, (std::vector<double>{1.0, 1.0}));
    }
  }
}

TEST(Failures, TooMuchAccuracyEnlargesTheTolerances) {
  for (int vector_tol : {0, 1}) {
    SCOPED_TRACE(vector_tol);
    Dassl d(2);
    decay2(d);
    d.info[1] = vector_tol;
    d.set_tol(1e-20);
    d.call();
    ASSERT_EQ(d.idid, -2);
    // y = (1, 1): every weight is 1e-20 * 1 + 1e-20, so the norm is 5e19.
    const double R = (1.0 / (1e-20 * 1.0 + 1e-20)) * kEps * 100.0;
    EXPECT_DOUBLE_EQ(d.rtol[0], 1e-20 * R);
    EXPECT_DOUBLE_EQ(d.atol[0], 1e-20 * R);
    EXPECT_EQ(d.rtol[1], vector_tol == 1 ? d.rtol[0] : 1e-20);
    EXPECT_EQ(d.atol[1], vector_tol == 1 ? d.atol[0] : 1e-20);
  }
}

TEST(Failures, WeightBecomingZeroAfterATolerancesChange) {
  Dassl d(2);
  d.res = [](double, double* y, double* yp, double* delta, int&, double*, int*) {
    delta[0] = -y[0] - yp[0];
    delta[1] = -yp[1];  // stays exactly 0
  };
  d.y = {1.0, 0.0};
  d.yprime = {-1.0, 0.0};
  d.info[1] = 1;  // vector tolerances
  d.info[2] = 1;  // return after each step
  d.call();
  ASSERT_EQ(d.idid, 1);
  d.atol[1] = 0.0;  // with y2 = 0 its weight is now 0
  d.call();
  EXPECT_EQ(d.idid, -3);
  EXPECT_EQ(reported_messages(d.console()),
            std::vector<std::string>{
                printed("AT T = " + d16(d.t) + " SOME ELEMENT OF WT HAS BECOME .LE. 0.0")});
  EXPECT_EQ(reported_numbers(d.console()), std::vector<int>{-3});
}

TEST(Failures, ContinuationAfterThe500StepLimit) {
  Dassl d(2);
  decay2(d);
  d.info[6] = 1;
  d.rwork[kHmax - 1] = 1e-3;
  d.tout = 0.7;
  d.call();
  ASSERT_EQ(d.idid, -1);
  EXPECT_EQ(d.iw(kStepCount), 500);
  // 500 steps of at most HMAX; the first ~11 double up from H0 = 6.3e-7.
  EXPECT_LE(d.t, 0.5 + 1e-12);
  EXPECT_GT(d.t, 0.48);
  EXPECT_NEAR(d.y[0], std::exp(-d.t), 1e-5);  // the values at the last mesh point
  d.info[0] = 1;
  d.call();
  EXPECT_EQ(d.idid, 3);
  EXPECT_EQ(d.t, 0.7);
  EXPECT_NEAR(d.y[0], std::exp(-0.7), 1e-5);
  EXPECT_NEAR(d.y[1], std::exp(-1.4), 1e-5);
  EXPECT_GT(d.iw(kStepCount), 600);
  EXPECT_LT(d.iw(kStepCount), 1000);
}

}  // namespace
}  // namespace qz5::testing
