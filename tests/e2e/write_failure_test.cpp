// A concentration file that cannot be written: the run ends with the I/O
// message naming the file and status 1, never with an abort, and the logs are
// closed complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

// /dev/full takes the file open and refuses every byte. A profile block of
// the default scenario is 15 lines of 113 characters, 1695 bytes: three
// blocks stay in the output stream's buffer until the final close, 21 blocks
// overflow it while the run is still writing.
TEST(WriteFailure, ConcentrationFileOnAFullDeviceEndsWithStatus1AndTheMessage) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  struct Case {
    const char* name;
    std::vector<double> touts;
  };
  std::vector<double> many;
  for (int i = 1; i <= 20; ++i) many.push_back(0.1 * i);
  const Case cases[] = {{"fails at the close", {0.5, 1.0}}, {"fails while writing", many}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    s.touts = c.touts;
    s.txc_name = "/dev/full";
    const auto dir = fresh_dir("devfull");
    s.write(dir);
    const RunResult r = run_qz5(dir);
    EXPECT_EQ(r.status, 1) << r.console;
    // The message is the last line: no "Ready", no abort.
    const std::string message = "Error writing file \"/dev/full\": cannot be written\n";
    ASSERT_GE(r.console.size(), message.size()) << r.console;
    EXPECT_EQ(r.console.substr(r.console.size() - message.size()), message) << r.console;
    EXPECT_EQ(count_lines_with(r.console, "Error writing file"), 1) << r.console;
    EXPECT_EQ(r.console.find("Ready"), std::string::npos);
    EXPECT_EQ(r.console.find("terminate"), std::string::npos);
    // Both logs closed with their header and whole lines.
    for (const char* log : {"RESULT", "RUNINF"}) {
      SCOPED_TRACE(log);
      const std::string text = read_file(dir / log);
      const auto lines = read_lines(dir / log);
      ASSERT_GE(lines.size(), 3u);
      EXPECT_EQ(lines[1].substr(0, 10), " NPTS= 15;");
      EXPECT_EQ(text.back(), '\n');
    }
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
}  // namespace qz5::e2e
