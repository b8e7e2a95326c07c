// The solver options of the command line: --nonnegative and what it parses to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/cli_options.h"

namespace qz5 {
namespace {

CliOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "qz5");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CliSolverOptions, NonNegativeTreatment) {
  EXPECT_FALSE(parse({"run.fn"}).project_negative);  // the legacy clip unless asked
  const CliOptions project = parse({"--nonnegative", "project", "run.fn"});
  ASSERT_EQ(project.error, "");
  EXPECT_TRUE(project.project_negative);
  const CliOptions clip = parse({"--nonnegative", "project", "--nonnegative", "clip", "run.fn"});
  ASSERT_EQ(clip.error, "");
  EXPECT_FALSE(clip.project_negative);
  EXPECT_EQ(parse({"--nonnegative", "zero", "run.fn"}).error,
            "--nonnegative takes clip or project, not zero");
  EXPECT_EQ(parse({"--nonnegative"}).error, "--nonnegative needs a value");
  EXPECT_NE(usage_text().find("--nonnegative clip|project"), std::string::npos);
}

}  // namespace
}  // namespace qz5

namespace qz5 {
namespace {

TEST(CliSolverOptions, PositionTolerance) {
  const CliOptions none = parse({"run.fn"});
  EXPECT_FALSE(none.position_rtol.has_value());
  EXPECT_FALSE(none.position_atol.has_value());
  const CliOptions o = parse({"--position-tolerance", "0,2.5", "run.fn"});
  ASSERT_EQ(o.error, "");
  EXPECT_EQ(o.position_rtol, 0.0);
  EXPECT_EQ(o.position_atol, 2.5);
  for (const char* bad : {"1e-3", "1,2,3", "-1,2", "0,0", "a,b"}) {
    EXPECT_EQ(parse({"--position-tolerance", bad, "run.fn"}).error,
              std::string("--position-tolerance takes RTOL,ATOL (RTOL >= 0, ATOL > 0), not ") + bad);
  }
}

}  // namespace
}  // namespace qz5

namespace qz5 {
namespace {

TEST(CliSolverOptions, Jacobian) {
  EXPECT_FALSE(parse({"run.fn"}).exact_jacobian);
  EXPECT_TRUE(parse({"--jacobian", "exact", "run.fn"}).exact_jacobian);
  EXPECT_FALSE(parse({"--jacobian", "differences", "run.fn"}).exact_jacobian);
  EXPECT_EQ(parse({"--jacobian", "analytic", "run.fn"}).error,
            "--jacobian takes differences or exact, not analytic");
  EXPECT_FALSE(parse({"run.fn"}).spaced_position_increments);
  EXPECT_TRUE(parse({"--position-increments", "spacing", "run.fn"}).spaced_position_increments);
  EXPECT_FALSE(parse({"--position-increments", "magnitude", "run.fn"}).spaced_position_increments);
  EXPECT_EQ(parse({"--position-increments", "spaced", "run.fn"}).error,
            "--position-increments takes magnitude or spacing, not spaced");
  EXPECT_FALSE(parse({"run.fn"}).positions_out_of_error_test);
  EXPECT_TRUE(parse({"--position-error-test", "off", "run.fn"}).positions_out_of_error_test);
  EXPECT_FALSE(parse({"--position-error-test", "on", "run.fn"}).positions_out_of_error_test);
  EXPECT_EQ(parse({"--position-error-test", "no", "run.fn"}).error,
            "--position-error-test takes on or off, not no");
}

TEST(CliSolverOptions, IntervalMeans) {
  const CliOptions plain = parse({"run.fn"});
  EXPECT_FALSE(plain.exact_sources);
  EXPECT_FALSE(plain.averaged_channel);
  const CliOptions both = parse({"--sources", "exact", "--channel", "averaged", "run.fn"});
  ASSERT_EQ(both.error, "");
  EXPECT_TRUE(both.exact_sources);
  EXPECT_TRUE(both.averaged_channel);
  const CliOptions back = parse({"--sources", "exact", "--sources", "midpoint", "--channel",
                                 "averaged", "--channel", "sampled", "run.fn"});
  ASSERT_EQ(back.error, "");
  EXPECT_FALSE(back.exact_sources);
  EXPECT_FALSE(back.averaged_channel);
  EXPECT_EQ(parse({"--sources", "mean", "run.fn"}).error,
            "--sources takes midpoint or exact, not mean");
  EXPECT_EQ(parse({"--channel", "mean", "run.fn"}).error,
            "--channel takes sampled or averaged, not mean");
  EXPECT_NE(usage_text().find("--sources midpoint|exact"), std::string::npos);
  EXPECT_NE(usage_text().find("--channel sampled|averaged"), std::string::npos);
}

}  // namespace
}  // namespace qz5
