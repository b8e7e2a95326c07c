// Inputs that are read and then judged where they are used: grid counts
// that only the grid set-up can judge. Where a run is expected, its
// concentration file must equal, byte for byte, that of a run which says
// the same thing another way.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

using Tweak = std::function<void(Scenario&)>;

struct Case {
  std::string name;
  Tweak tweak;
  Tweak same_as;                    // a reference run whose .txc must be identical; may be empty
  int status;
  std::vector<std::string> expect;  // the console must hold each of these
};

const std::string kTitle = " Advection dispersion with QZ5" + std::string(50, ' ') + "\n";

TEST(AcceptedInput, ReadAndRunAsDocumented) {
  const std::vector<Case> cases = {
      {"NPTS 1001 read, then refused by the grid set-up", [](Scenario& s) { s.npts = 1001; }, {}, 1,
       {"\n SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :      7079\n"
        "Error in SETSKM\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    c.tweak(s);
    const fs::path dir = e2e::fresh_dir("accepted");
    s.write(dir);
    const RunResult r = run_bounded(dir);
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, c.status) << r.console;
    for (const std::string& e : c.expect) {
      EXPECT_NE(r.console.find(e), std::string::npos) << "missing: " << e << "\n" << r.console;
    }
    if (c.status != 0) {
      // Stopped in the set-up after the title went to both logs.
      EXPECT_EQ(e2e::read_file(dir / "RESULT"), kTitle);
      EXPECT_EQ(e2e::read_file(dir / "RUNINF"), kTitle);
      EXPECT_FALSE(fs::exists(dir / "run.txc"));
    }
    if (c.same_as) {
      Scenario ref;
      c.same_as(ref);
      const fs::path ref_dir = e2e::fresh_dir("accepted_ref");
      ref.write(ref_dir);
      const RunResult rr = run_bounded(ref_dir);
      ASSERT_EQ(rr.status, 0) << rr.console;
      const std::string txc = e2e::read_file(dir / "run.txc");
      EXPECT_EQ(txc.size(), 3u * 15u * 113u);  // three blocks of 15 lines of 112 characters
      EXPECT_EQ(txc, e2e::read_file(ref_dir / "run.txc"));
      fs::remove_all(ref_dir);
    }
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace qz5::robust
