// UINIT: the initial profile from the *.UT0 file or linear between the
// boundaries' start values.
#include <gtest/gtest.h>

#include <vector>

#include "input/inputs.h"
#include "input/uinit.h"
#include "input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::msg;
using testing::name_field;
using testing::ScratchDir;
using testing::stop_of;

constexpr int kNcomp = 6;
constexpr int kNvar = kNcomp + 1;
const std::string kCountError =
    "UINIT::Error, Number of points read in file *.UT0 differs from that in *.PRM file.  "
    "Program terminating...";

class UinitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ms->NCOMP = kNcomp;
    ms->XCONV = 1000.0;
    const double cconv[] = {1.0, 2.0, 4.0, 8.0, 0.5, 0.25};
    for (int k = 1; k <= kNcomp; ++k) ms->CCONV(k) = cconv[k - 1];
  }
  // A solution vector of exactly NEQ reals with evenly spaced positions
  // 10, 20, ... and concentrations marked -1.
  std::vector<double> solution(int npts) {
    std::vector<double> u(static_cast<std::size_t>(kNvar * npts), -1.0);
    for (int j = 1; j <= npts; ++j) u[static_cast<std::size_t>(j * kNvar - 1)] = 10.0 * j;
    return u;
  }
  static double U(const std::vector<double>& u, int k, int j) {
    return u[static_cast<std::size_t>((j - 1) * kNvar + k - 1)];
  }
  ScratchDir dir;
  Console con;
  std::unique_ptr<Inputs> ms = testing::new_state();
};

// Group j of a profile file: point number, position 1000*j - 500 (file
// units) and concentrations 3*j + k (file units).
std::string group(int j) {
  std::string s = std::to_string(j) + " " + std::to_string(1000 * j - 500);
  for (int k = 1; k <= kNcomp; ++k) s += " " + std::to_string(3 * j + k);
  return s + "\n";
}

TEST_F(UinitTest, ProfileFileReplacesPositionsAndConcentrations) {
  ms->USE_UT0 = true;
  // Group 2 is written over two lines, with commas.
  const std::string text = group(1) + "2, 1500, 7, 8\n9 10 11 12\n" + group(3);
  ms->FN_UT0 = std::filesystem::path(dir.write("case.UT0", text));
  auto u = solution(3);
  UINIT(con.io, *ms, kNcomp, 3, u.data());
  for (int j = 1; j <= 3; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(U(u, kNvar, j), (1000.0 * j - 500.0) / 1000.0);
    for (int k = 1; k <= kNcomp; ++k) EXPECT_EQ(U(u, k, j), (3.0 * j + k) / ms->CCONV(k));
  }
  EXPECT_EQ(con.text(), "");
  EXPECT_FALSE(con.io.is_open(kUnitInput));
}

TEST_F(UinitTest, GroupCountMustMatchTheGrid) {
  struct Case {
    const char* name;
    std::string text;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"NPTS - 1 groups", group(1) + group(2), false},
      {"NPTS + 1 groups", group(1) + group(2) + group(3) + group(4), false},
      {"NPTS - 1 complete and one cut short", group(1) + group(2) + "3 2500 1 2\n", false},
      {"NPTS complete and one cut short", group(1) + group(2) + group(3) + "4 3500 1 2\n", true},
      {"empty file", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Console fresh;
    ms->USE_UT0 = true;
    ms->FN_UT0 = std::filesystem::path(dir.write("count.UT0", c.text));
    // Exactly NEQ reals: a store beyond the grid would be caught by the
    // sanitizer build, and the values of point 3 must come from group 3.
    auto u = solution(3);
    const auto stopped = stop_of([&] { UINIT(fresh.io, *ms, kNcomp, 3, u.data()); });
    if (c.accepted) {
      EXPECT_FALSE(stopped);
      EXPECT_EQ(U(u, 1, 3), 10.0 / ms->CCONV(1));
      EXPECT_EQ(fresh.text(), "");
    } else {
      ASSERT_TRUE(stopped);
      EXPECT_EQ(stopped->text, kDefaultStopText);
      EXPECT_EQ(stopped->status, kExitBadInput);
      EXPECT_EQ(fresh.text(), msg(kCountError) + "\n");
    }
  }
}

TEST_F(UinitTest, LinearProfileBetweenTheBoundaries) {
  ms->USE_UT0 = false;
  ms->FN_UT0 = std::filesystem::path(dir.file("not-there.UT0"));  // never opened
  // From k at point 1 to 5k at point 5: k per point in file units.
  for (int k = 1; k <= kNcomp; ++k) {
    ms->CBND0(k, 1) = k;
    ms->CBND0(k, 2) = 5.0 * k;
  }
  auto u = solution(5);
  UINIT(con.io, *ms, kNcomp, 5, u.data());
  for (int j = 1; j <= 5; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(U(u, kNvar, j), 10.0 * j);  // positions untouched
    for (int k = 1; k <= kNcomp; ++k) EXPECT_EQ(U(u, k, j), (1.0 * j * k) / ms->CCONV(k));
  }
  EXPECT_EQ(con.text(), "");
}

TEST_F(UinitTest, LinearProfileEndsAreTheBoundaryValuesAndStepsAreEqual) {
  ms->USE_UT0 = false;
  for (int k = 1; k <= kNcomp; ++k) {
    ms->CBND0(k, 1) = 0.1 * k;
    ms->CBND0(k, 2) = 30.0 - 0.7 * k;
  }
  constexpr int kNpts = 81;
  auto u = solution(kNpts);
  UINIT(con.io, *ms, kNcomp, kNpts, u.data());
  for (int k = 1; k <= kNcomp; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(U(u, k, 1), ms->CBND0(k, 1) / ms->CCONV(k));
    EXPECT_DOUBLE_EQ(U(u, k, kNpts), ms->CBND0(k, 2) / ms->CCONV(k));
    const double step = (ms->CBND0(k, 2) - ms->CBND0(k, 1)) / (kNpts - 1) / ms->CCONV(k);
    for (int j = 2; j <= kNpts; ++j) EXPECT_NEAR(U(u, k, j) - U(u, k, j - 1), step, 1e-13);
  }
}

}  // namespace
}  // namespace qz5
