// The two misreads that valid list-directed input allows, on the bundled
// scenario: a decimal comma in the parameter file (ATOL 1,0E-3 read as 1)
// and a lateral record one value short (the next line's time taken as its
// last value). Without --strict they read as the legacy program reads them,
// silently; --strict names the file and the line; --strict=error refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/scenario.h"

namespace qz5::e2e {
namespace {

namespace fs = std::filesystem;

fs::path repo_root() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

fs::path bundled(const std::string& tag) {
  const fs::path dir = fresh_dir(tag);
  for (const auto& entry : fs::directory_iterator(repo_root() / "examples" / "estuary"))
    fs::copy_file(entry.path(), dir / entry.path().filename());
  return dir;
}

void replace_in(const fs::path& file, const std::string& from, const std::string& to) {
  std::string t = read_file(file);
  const std::size_t at = t.find(from);
  ASSERT_NE(at, std::string::npos);
  t.replace(at, from.size(), to);
  write_file(file, t);
}

TEST(StrictLegacyReading, TheBundledScenarioHasNothingToPointOut) {
  const fs::path dir = bundled("strict_clean");
  const RunResult r = run_qz5(dir, "--strict=error estuary.fn");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, read_file(repo_root() / "tests" / "e2e" / "pinned" / "console.txt"));
  fs::remove_all(dir);
}

TEST(StrictLegacyReading, DecimalCommaInTheParameterFile) {
  const fs::path dir = bundled("strict_comma");
  replace_in(dir / "estuary.prm", "1.0E-3     ATOL", "1,0E-3     ATOL");
  const std::string warning =
      " Strict::Warning, file \"estuary.prm\", line 6: a comma stands between two digits in "
      "\"1,0E-3\" (a decimal comma? it is read as two values)\n";

  // The legacy reading: ATOL = 1, seen only in the RESULT header.
  RunResult r = run_qz5(dir, "estuary.fn");
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.console.find("Strict"), std::string::npos);
  EXPECT_NE(read_file(dir / "RESULT").find("ATOL=.100E+01"), std::string::npos);

  r = run_qz5(dir, "--strict estuary.fn");
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find(warning), std::string::npos) << r.console;

  r = run_qz5(dir, "--strict=error estuary.fn");
  EXPECT_EQ(r.status, 1) << r.console;
  EXPECT_NE(r.console.find("Strict::Error, file \"estuary.prm\", line 6: a comma stands between "
                           "two digits in \"1,0E-3\""),
            std::string::npos)
      << r.console;
  fs::remove_all(dir);
}

TEST(StrictLegacyReading, LateralRecordOneValueShort) {
  const fs::path dir = bundled("strict_short");
  // Line 7, the time point of day 0, loses its last value (the outfall's
  // detritus); the read takes day 30's time from line 8 in its place.
  replace_in(dir / "estuary.li", "2 3 4 25 44.7066 60 400\n", "2 3 4 25 44.7066 60\n");
  RunResult r = run_qz5(dir, "estuary.fn");
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.console.find("Strict"), std::string::npos);

  r = run_qz5(dir, "--strict estuary.fn");
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find(" Strict::Warning, file \"estuary.li\", line 8: the record begun on "
                           "line 7 continues on this line\n"
                           " Strict::Warning, file \"estuary.li\", line 8: the line holds more "
                           "values than the record reads: \"0\" and what follows are not read\n"),
            std::string::npos)
      << r.console;

  fs::remove(dir / "estuary.txc");  // the runs above wrote one
  r = run_qz5(dir, "--strict=error estuary.fn");
  EXPECT_EQ(r.status, 1) << r.console;
  EXPECT_NE(r.console.find("Strict::Error, file \"estuary.li\", line 8: the record begun on line 7"),
            std::string::npos)
      << r.console;
  EXPECT_FALSE(fs::exists(dir / "estuary.txc"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::e2e
