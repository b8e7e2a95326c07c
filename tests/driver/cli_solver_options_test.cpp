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
