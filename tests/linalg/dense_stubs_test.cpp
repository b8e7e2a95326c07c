// The dense factor and solve must never be reached; if they are, they say
// which one and stop the run, without touching their arguments.

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "linalg/band.h"

namespace qz5 {
namespace {

TEST(DenseStubs, EachWritesItsLineAndStops) {
  std::vector<double> a{1.0, 2.0, 3.0, 4.0};
  std::vector<double> b{5.0, 6.0};
  std::vector<int> ipvt{-1, -2};
  int info = 42;
  struct Case {
    const char* name;
    const char* line;
    bool factor;
  };
  for (const Case& c : {Case{"DGEFA", "Call made to DGEFA: The actual routine must be added\n", true},
                        Case{"DGESL", "Call made to DGESL: The actual routine must be added\n", false}}) {
    SCOPED_TRACE(c.name);
    std::istringstream in;
    std::ostringstream out;
    Units io(in, out);
    try {
      if (c.factor) {
        DGEFA(io, a.data(), 2, 2, ipvt.data(), info);
      } else {
        DGESL(io, a.data(), 2, 2, ipvt.data(), b.data(), 0);
      }
      ADD_FAILURE() << "the stub returned";
    } catch (const Stop& s) {
      EXPECT_EQ(s.text, "Stop - Program terminated.");
      EXPECT_EQ(s.status, kExitBadInput);
    }
    EXPECT_EQ(out.str(), c.line);
  }
  EXPECT_EQ(a, (std::vector<double>{1.0, 2.0, 3.0, 4.0}));
  EXPECT_EQ(b, (std::vector<double>{5.0, 6.0}));
  EXPECT_EQ(ipvt, (std::vector<int>{-1, -2}));
  EXPECT_EQ(info, 42);
}

}  // namespace
}  // namespace qz5
