// Names inside a names file are looked for in the working folder, as the
// legacy program always did; --resolve-names names-file looks for them in the
// names file's own folder, so a scenario in a folder of its own runs from
// anywhere. RESULT and RUNINF stay in the working folder either way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

namespace fs = std::filesystem;

fs::path repo_root() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

// The bundled scenario's legacy files copied into dir/sub.
fs::path bundled_in_subfolder(const fs::path& dir) {
  const fs::path sub = dir / "sub";
  fs::create_directories(sub);
  for (const char* name : {"estuary.fn", "estuary.prm", "estuary.li", "estuary.bnd", "estuary.t",
                           "estuary.UT0", "estuary.drv"})
    fs::copy_file(repo_root() / "examples" / "estuary" / name, sub / name);
  return sub;
}

TEST(ResolveNames, WorkingFolderByDefaultNamesFileFolderWhenAsked) {
  const fs::path dir = fresh_dir("resolve_names");
  const fs::path sub = bundled_in_subfolder(dir);

  // By default the parameter file is looked for beside the working folder,
  // where it is not.
  const RunResult legacy = run_qz5(dir, "sub/estuary.fn");
  EXPECT_EQ(legacy.status, 1) << legacy.console;
  EXPECT_FALSE(fs::exists(sub / "estuary.txc"));

  const RunResult r = run_qz5(dir, "--resolve-names names-file sub/estuary.fn");
  ASSERT_EQ(r.status, 0) << r.console;
  // The concentration file is named in the names file and so lands beside
  // it; the logs are the working folder's. All three are the bundled run's.
  const fs::path pinned = repo_root() / "tests" / "e2e" / "pinned";
  EXPECT_TRUE(read_file(sub / "estuary.txc") == read_file(pinned / "estuary.txc"));
  EXPECT_TRUE(read_file(dir / "RESULT") == read_file(pinned / "RESULT"));
  EXPECT_TRUE(read_file(dir / "RUNINF") == read_file(pinned / "RUNINF"));
  EXPECT_FALSE(fs::exists(sub / "RESULT"));

  const RunResult bad = run_qz5(dir, "--resolve-names elsewhere sub/estuary.fn");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.console.find("--resolve-names takes working-folder or names-file, not elsewhere"),
            std::string::npos)
      << bad.console;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::e2e
