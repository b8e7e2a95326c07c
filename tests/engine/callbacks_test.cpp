// The routines the run session hands to the integrator or calls between its
// returns: the progress line MONITOR and the residual wrapper RES with its
// status translation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "discretisation/skm_harness.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "integrator/work_layout.h"

namespace qz5 {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// "(6H Time=,E13.5, 4H; H=,E13.5, 8H; Order=,I2)" of RWORK(4), RWORK(7) and
// IWORK(8). E13.5 writes no zero before the point: a blank of the
// Hollerith text, then three blanks of the field before .12345E+05.
TEST(Monitor, ProgressLineOfTimeStepAndOrder) {
  struct Case {
    double t_reached, h_last;
    int order;
    std::string line;
  };
  const Case cases[] = {
      {12345.0, 100.0, 2, " Time=   .12345E+05; H=   .10000E+03; Order= 2"},
      {0.5, -2.5e-3, 5, " Time=   .50000E+00; H=  -.25000E-02; Order= 5"},
      {0.0, 1e-120, 1, " Time=   .00000E+00; H=   .10000-119; Order= 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<double> rwork(kResidualVec, -1.0);
    std::vector<int> iwork(kIworkFixed, -1);
    rwork[kTReached - 1] = c.t_reached;
    rwork[kHLast - 1] = c.h_last;
    iwork[kOrderLast - 1] = c.order;
    std::istringstream in;
    std::ostringstream out;
    Units io(in, out);
    MONITOR(io, kUnitConsoleOut, rwork.data(), iwork.data());
    EXPECT_EQ(out.str(), c.line + "\n");
  }
}

// Counts the refused states it is told of, and their times.
class Refusals : public Observer {
 public:
  void on_illegal_solution(double t_model) override { times.push_back(t_model); }
  std::vector<double> times;
};

// RES turns the discretisation's status into the integrator's: 2 (not set
// up) into -2, 3 (grid not strictly increasing, or the problem said 3) into
// -1 after telling the observer; anything else passes unchanged. RES itself
// writes nothing to the run's files.
TEST(Res, StatusTranslationAndIllegalSolutionNotice) {
  struct Case {
    const char* name;
    bool set_up;
    bool grid_swapped;  // points 2 and 3 exchanged
    int problem_ires;   // set by the first spdef call; 0: none
    int expected_ires;
    bool noticed;
  };
  const Case cases[] = {
      {"normal evaluation", true, false, 0, 0, false},
      {"not set up", false, false, 0, -2, false},
      {"grid not increasing", true, true, 0, -1, true},
      {"problem reports an illegal solution", true, false, 3, -1, true},
      {"problem asks for a smaller step", true, false, -1, -1, false},
  };
  const fs::path dir = fs::path(::testing::TempDir()) / "qz5_callbacks_res";
  fs::create_directories(dir);
  const double T = 86400.0;  // E12.4: 8640|0 -> .8640E+05
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScriptedProblem problem;
    problem.spdef_ires_call = c.problem_ires != 0 ? 0 : -1;
    problem.ires_value = c.problem_ires;
    testing::Harness h(problem, 1, 5, 0.0, 4.0);
    ASSERT_EQ(h.IFAIL, 0);
    if (!c.set_up) h.s = SkmState{};
    if (c.grid_swapped) std::swap(h.x(1), h.x(2));
    auto ms = std::make_unique<Inputs>();
    ms->NCOMP = 1;
    ms->NPTS = 5;
    const fs::path runinf = dir / "RUNINF";
    h.io.open_new(LUNRUN, runinf.string());
    int ires = 0;
    Refusals told;
    RES(h.io, *ms, h.s, problem, T, h.Y.data(), h.YPRIME.data(), h.DELTA.data(), ires,
        h.RPAR.data(), nullptr, &told);
    h.io.close(LUNRUN);
    EXPECT_EQ(ires, c.expected_ires);
    EXPECT_EQ(told.times, c.noticed ? std::vector<double>{T} : std::vector<double>{});
    EXPECT_EQ(read_file(runinf), "");
    // Without an observer the translation is the same (the scripted
    // problem sets its status at its first call only: the grid cases).
    if (c.problem_ires == 0) {
      int quiet = 0;
      RES(h.io, *ms, h.s, problem, T, h.Y.data(), h.YPRIME.data(), h.DELTA.data(), quiet,
          h.RPAR.data(), nullptr);
      EXPECT_EQ(quiet, c.expected_ires);
    }
    if (!c.set_up) {
      EXPECT_NE(h.console().find("SETSKM WAS NOT CALLED"), std::string::npos);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5
