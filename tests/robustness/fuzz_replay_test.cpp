// Replays every input the fuzzers ever found failing (fuzz/regressions/<target>/)
// through the same target code, in the ordinary build and the sanitizer
// build: each must now pass without a crash, a sanitizer report or an
// unexpected exception.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../fuzz/fuzz_targets.h"
#include "e2e/scenario.h"

namespace qz5::fuzz {
namespace {

namespace fs = std::filesystem;

// The saved findings, found from where this file was compiled.
fs::path regressions_dir() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "regressions";
}

TEST(FuzzRegressions, EverySavedFindingPasses) {
  const fs::path dir = regressions_dir();
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int replayed = 0;
  for (const auto& target_dir : fs::directory_iterator(dir)) {
    const std::string name = target_dir.path().filename().string();
    const Target target = target_named(name);
    ASSERT_NE(target, nullptr) << "no fuzz target named " << name;
    for (const auto& file : fs::directory_iterator(target_dir.path())) {
      SCOPED_TRACE(file.path().string());
      const std::string bytes = e2e::read_file(file.path());
      EXPECT_EQ(target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

// Every target is reachable by its name and copes with no bytes at all (a
// null pointer with size 0 is what libFuzzer hands over first).
TEST(FuzzRegressions, TargetsRunOnEmptyInput) {
  for (const char* name : {"read_list", "names", "parameter", "output_times", "boundary",
                           "lateral", "driver", "profile", "format"}) {
    SCOPED_TRACE(name);
    const Target target = target_named(name);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target(nullptr, 0), 0);
  }
}

}  // namespace
}  // namespace qz5::fuzz
