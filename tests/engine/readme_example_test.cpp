// The C++ example of the README, as written there (with the console
// captured and the bundled scenario's folder as the working directory), so
// that the example keeps compiling and doing what it says.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "engine/engine.h"
#include "engine/engine_util.h"

namespace {

struct Last : qz5::Observer {  // called at each output time
  void on_output(int i, int idid, const qz5::Snapshot& s,
                 const qz5::IntegratorStatistics&) override {
    std::printf("t = %g days, c1 at the mouth = %g\n", s.t, s.c[(s.npts - 1) * s.ncomp]);
    outputs = i;
    last_idid = idid;
    mouth = s.c[(s.npts - 1) * s.ncomp];
  }
  int outputs = 0, last_idid = 0;
  double mouth = 0.0;
};

TEST(ReadmeExample, RunsAsWritten) {
  const std::filesystem::path folder = qz5::engine_test::repo_root() / "examples" / "estuary";
  std::istringstream in;
  std::ostringstream out;
  qz5::Units io(in, out);
  qz5::Scenario sc = qz5::read_scenario(io, folder / "estuary.fn");
  sc.inputs.RXPAR(1) = 1.5;
  qz5::RunOptions opt;
  opt.rtol = 1e-5;
  Last obs;
  qz5::Summary r = qz5::run_scenario(sc, opt, &obs, io);
  if (!r.completed()) std::fprintf(stderr, "%s\n", r.message.c_str());

  EXPECT_TRUE(r.completed()) << out.str();
  EXPECT_EQ(obs.outputs, 30);
  EXPECT_EQ(obs.last_idid, 3);
  // The mouth holds the second boundary's salinity, about 30 psu.
  EXPECT_GT(obs.mouth, 25.0);
  EXPECT_LT(obs.mouth, 35.0);
}

}  // namespace
