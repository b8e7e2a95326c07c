// Regression tests for faults found in the input readers by the robustness
// suite and the fuzzers, pinned at the reader itself.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "discretisation/skm.h"
#include "e2e/scenario.h"
#include "input/limits.h"
#include "engine/run_state.h"
#include "input/inputs.h"
#include "input/problem_setup.h"
#include "model/estuary_model.h"
#include "textio/textio.h"

namespace qz5 {
namespace {

// A parameter file of 38 records whose second record is `npts`.
std::string prm_with_npts(const std::string& npts) {
  std::string s = "6\n" + npts + "\n";
  for (int r = 3; r <= 38; ++r) s += (r == 8 ? "0" : (r == 9 || r == 10) ? "F" : "1.0") + std::string("\n");
  return s;
}

// NPTS went unchecked into NEQ = 7 * NPTS: two thousand million points
// overflowed the product in the grid set-up, which then saw a small
// workspace requirement. The reader passes every count on as read, and the
// grid set-up forms its sizes in 64 bits: a count too large for the
// workspace gets the set-up's own message with the true requirement (ten
// asterisks when it needs more than the ten columns of I10), and NEQ never
// wraps round (it stays at the int limit).
TEST(InputFixes, GridPointCountsReachTheGridSetUpWithoutOverflow) {
  const auto dir = e2e::fresh_dir("npts");
  const std::string ws = " SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :";
  const std::string few = " SETSKM - NUMBER OF GRID POINTS LESS THAN 3, NPTS=";
  const int int_max = std::numeric_limits<int>::max();
  const int int_min = std::numeric_limits<int>::min();
  const struct {
    std::string npts;
    int neq;
    std::string message;  // empty: the set-up succeeds
  } cases[] = {
      {"3", 21, ""},
      {"142", 994, ""},  // 994 + 72 = 1066
      {"143", 1001, ws + "      1073\n"},
      {"1001", 7007, ws + "      7079\n"},
      {"2", 14, few + "         2\n"},
      {"0", 0, few + "         0\n"},
      {"-1", -7, few + "        -1\n"},  // requirement 65: only the count is wrong
      {"306783379", int_max, ws + "2147483725\n"},  // 7 * NPTS = 2147483653
      {"2147483647", int_max, ws + "**********\n"},  // 15032385601
      {"-2147483648", int_min, few + "**********\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("NPTS " + c.npts);
    const std::string file = (dir / "run.prm").string();
    e2e::write_file(file, prm_with_npts(c.npts));
    std::istringstream in;
    std::ostringstream out;
    Units io(in, out);
    auto ms = std::make_unique<Inputs>();
    ms->FN_PRM = file;
    try {
      READ_PRM_QZ5(io, *ms, kUnitInput);
    } catch (const Stop&) {
      ADD_FAILURE() << "the reader refused NPTS " << c.npts << ": " << out.str();
      continue;
    }
    EXPECT_EQ(ms->NPTS, std::stoi(c.npts));
    // The legacy program's fixed arrays.
    RunState run;
    run.Y.resize(MXNEQ);
    run.RPAR.resize(kLenWk);
    EstuaryModel model(io, *ms);
    SkmState skm;
    int neq = -7;
    int iband = -7;
    int ifail = 0;
    SETSKM(io, skm, model, neq, ms->NCOMP, ms->NPTS, 0.0, 1.0, ms->TAU, ms->KAPPA, ms->ALPHA,
           run.Y.data(), run.RPAR.data(), kLenWk, 0, 0.0, iband, ifail);
    EXPECT_EQ(out.str(), c.message);
    EXPECT_EQ(ifail, c.message.empty() ? 0 : -1);
    EXPECT_EQ(neq, c.neq);
    EXPECT_EQ(iband, 14);
    EXPECT_EQ(skm.is_set_up(), c.message.empty());
  }
  std::filesystem::remove_all(dir);
}

// A NaN or an infinity under a real descriptor narrower than its text came
// out wider than the field ("(D2.2)" of a NaN gave "NaN"), shifting every
// column after it. A field keeps its width: asterisks when nothing fits.
TEST(TextFixes, NonFiniteValueNeverWidensItsField) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* format;
    double value;
    const char* text;
  } cases[] = {
      {"(D2.2)", nan, "**"},       {"(E1.1)", -inf, "*"},        {"(G3.1)", -inf, "***"},
      {"(E3.1)", nan, "NaN"},      {"(E4.1)", -inf, "-Inf"},     {"(1P,E2.1)", inf, "**"},
      {"(G12.3)", inf, "    Infinity"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(format_items(c.format, {c.value}).text, c.text);
  }
}

}  // namespace
}  // namespace qz5
