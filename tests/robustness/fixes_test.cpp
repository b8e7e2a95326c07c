// Regression tests for faults found in the input readers by the robustness
// suite and the fuzzers, pinned at the reader itself.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "e2e/scenario.h"
#include "input/model_state.h"
#include "input/problem_setup.h"
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
// workspace requirement. The reader now refuses grid counts that can never
// fit the solution vector and passes every count 1..1000 on unchanged.
TEST(InputFixes, GridPointCountOutsideTheSolutionVectorIsRefused) {
  const auto dir = e2e::fresh_dir("npts");
  const struct {
    std::string npts;
    bool refused;
  } cases[] = {{"1", false},   {"2", false},          {"142", false},
               {"1000", false}, {"1001", true},        {"0", true},
               {"-1", true},   {"306783379", true},   {"2147483647", true},
               {"-2147483648", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE("NPTS " + c.npts);
    const std::string file = (dir / "run.prm").string();
    e2e::write_file(file, prm_with_npts(c.npts));
    std::istringstream in;
    std::ostringstream out;
    Units io(in, out);
    auto ms = std::make_unique<ModelState>();
    ms->FN_PRM = file;
    bool stopped = false;
    try {
      READ_PRM_QZ5(io, *ms, kUnitInput);
    } catch (const Stop& s) {
      stopped = true;
      EXPECT_EQ(s.status, kExitBadInput);
    }
    EXPECT_EQ(stopped, c.refused) << out.str();
    if (c.refused) {
      EXPECT_NE(out.str().find("NPTS must lie in 1..1000, not " + c.npts + " (record 2) in file " +
                               file),
                std::string::npos)
          << out.str();
    } else {
      EXPECT_EQ(ms->NPTS, std::stoi(c.npts));
    }
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
