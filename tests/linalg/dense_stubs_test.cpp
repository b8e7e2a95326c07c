// The dense factor and solve must never be reached; if they are, they say
// which one and stop the run, without touching their arguments.

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "linalg/band.h"

namespace qz5 {
namespace {

TEST(DenseStubs, EachWritesItsLineAndStops) {
  std::vector<double> a{1.0, 2.0, 3.0, 4.0}, b{5.0, 6.0};
  std::vector<int> ipvt{-1, -2};
  int info = 42;
  for (const char* name : {"DGEFA", "DGESL"}) {
    SCOPED_TRACE(name);
    std::istringstream in;
    std::ostringstream out;
    Units io(in, out);
    try {
      if (name[3] == 'F') {
        DGEFA(io, a.data(), 2, 2, ipvt.data(), info);
      } else {
        DGESL(io, a.data(), 2, 2, ipvt.data(), b.data(), 0);
      }
      ADD_FAILURE() << "the stub returned";
    } catch (const Stop& s) {
      EXPECT_EQ(s.text, "Stop - Program terminated.");
      EXPECT_EQ(s.status, kExitBadInput);
    }
    EXPECT_EQ(out.str(),
              std::string("Call made to ") + name + ": The actual routine must be added\n");
  }
  EXPECT_EQ(a, (std::vector<double>{1.0, 2.0, 3.0, 4.0}));
  EXPECT_EQ(b, (std::vector<double>{5.0, 6.0}));
  EXPECT_EQ(ipvt, (std::vector<int>{-1, -2}));
  EXPECT_EQ(info, 42);
}

}  // namespace
}  // namespace qz5
