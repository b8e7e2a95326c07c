// The bundled scenario's legacy outputs are pinned byte for byte: users
// compare our results with runs they made years ago, so the .txc file,
// RESULT, RUNINF and the console must not change by a single character
// unless a change of behaviour is intended and the pinned files are renewed
// with it. The pinned files in tests/e2e/pinned were written by the program
// as it stood when its results had been independently checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

namespace fs = std::filesystem;

fs::path repo_root() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

TEST(PinnedOutputs, BundledScenarioWritesExactlyThePinnedFiles) {
  const fs::path dir = fresh_dir("pinned");
  for (const auto& entry : fs::directory_iterator(repo_root() / "examples" / "estuary"))
    fs::copy_file(entry.path(), dir / entry.path().filename());
  const RunResult r = run_qz5(dir, "estuary.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  const fs::path pinned = repo_root() / "tests" / "e2e" / "pinned";
  for (const char* name : {"estuary.txc", "RESULT", "RUNINF"}) {
    SCOPED_TRACE(name);
    const std::string expected = read_file(pinned / name);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(read_file(dir / name) == expected) << "differs from the pinned " << name;
  }
  EXPECT_EQ(r.console, read_file(pinned / "console.txt"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::e2e
