// Faults from outside that must still end a run cleanly: a disk that fills
// while the NetCDF file grows, Ctrl-C, and kill -9 at any moment. Each case
// runs the executable; none may crash, and each must keep what the legacy
// files and the console completed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "robustness/robust_util.h"

// Every case writes a NetCDF file; without the library there is none.
#if __has_include(<netcdf.h>)
#include "netcdf/netcdf_sink.h"

namespace qz5::robust {
namespace {

std::string exe() { return std::getenv("QZ5_EXE"); }

int shell(const std::string& cmd) {
  const int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Whether the NetCDF library reads the file (ncdump from netcdf-bin);
// returns its header.
bool readable(const fs::path& nc, std::string* header = nullptr) {
  const fs::path out = nc.string() + ".cdl";
  const bool ok = shell("ncdump -h '" + nc.string() + "' > '" + out.string() + "' 2>&1") == 0;
  if (header != nullptr) *header = e2e::read_file(out);
  return ok;
}

int blocks(const fs::path& txc, int npts) {
  return static_cast<int>(e2e::read_txc_blocks(txc, npts).size());
}

// Two thousand stations make the NetCDF file grow past a 1 MB limit on file
// size (ulimit -f, standing for a full disk; SIGXFSZ ignored, so that the
// write fails as on a full disk instead of ending the process). The run
// ends with status 1 and a message that says what became of the file; the
// legacy files are complete; nothing crashes on the way out.
TEST(FaultsEndCleanly, FullDiskWhileTheNetcdfFileGrows) {
  Scenario s;
  const fs::path dir = e2e::fresh_dir("fulldisk");
  s.write(dir);
  std::string stations;
  for (int i = 0; i < 2000; ++i) stations += (i ? "," : "") + std::to_string(2000 + 8 * i);
  const int status =
      shell("cd '" + dir.string() + "' && (trap '' XFSZ; ulimit -f 1024; timeout 60 '" + exe() +
            "' --netcdf r.nc --stations " + stations + " run.fn > console.txt 2>&1)");
  const std::string console = e2e::read_file(dir / "console.txt");
  EXPECT_EQ(status, 1) << console;
  EXPECT_NE(console.find("qz5: r.nc: "), std::string::npos) << console;
  const bool removed = console.find("the file could not be closed and was removed") !=
                       std::string::npos;
  const bool closed = console.find("the file is closed and holds what was written before") !=
                      std::string::npos;
  EXPECT_TRUE(removed || closed) << console;
  if (removed) {
    EXPECT_FALSE(fs::exists(dir / "r.nc"));
  }
  if (closed) {
    EXPECT_TRUE(readable(dir / "r.nc"));
  }
  EXPECT_EQ(blocks(dir / "run.txc", s.npts), 1 + static_cast<int>(s.touts.size()));
  EXPECT_EQ(console.find("Segmentation"), std::string::npos);
  fs::remove_all(dir);
}

// Ctrl-C while the run crawls: it ends between two steps with status 130
// and "Interrupted", every file closed; the NetCDF file says "stopped".
TEST(FaultsEndCleanly, CtrlCEndsTheRunBetweenTwoSteps) {
  Scenario s;
  s.rtol = s.atol = 1e-10;
  s.info10 = 1;
  const fs::path dir = e2e::fresh_dir("sigint");
  s.write(dir);
  const int status = shell("cd '" + dir.string() + "' && timeout --preserve-status -s INT 1.5 '" +
                           exe() +
                           "' --max-steps 100000000 --netcdf r.nc --budget b.csv run.fn "
                           "> console.txt 2>&1");
  const std::string console = e2e::read_file(dir / "console.txt");
  EXPECT_EQ(status, 130) << console;
  EXPECT_NE(console.find("\nInterrupted\n"), std::string::npos) << console;
  std::string header;
  ASSERT_TRUE(readable(dir / "r.nc", &header)) << header;
  EXPECT_NE(header.find(":status = \"stopped\""), std::string::npos) << header;
  EXPECT_NE(header.find(":exit_status = 130"), std::string::npos) << header;
  EXPECT_EQ(blocks(dir / "run.txc", s.npts), 1);
  EXPECT_EQ(e2e::read_lines(dir / "b.csv").size(), 1u);  // the header, no interval completed
  fs::remove_all(dir);
}

// kill -9 while the console goes to a file: what it printed is there (the
// file list and the first "Saving data at:"), because the console is
// flushed with the other files after every output time.
TEST(FaultsEndCleanly, KilledRunKeepsTheConsole) {
  Scenario s;
  s.rtol = s.atol = 1e-10;
  s.info10 = 1;
  const fs::path dir = e2e::fresh_dir("killconsole");
  s.write(dir);
  shell("cd '" + dir.string() + "' && timeout -s KILL 1.5 '" + exe() +
        "' --max-steps 100000000 --netcdf r.nc run.fn > console.txt 2>&1");
  const std::string console = e2e::read_file(dir / "console.txt");
  EXPECT_NE(console.find("Input files being used:"), std::string::npos) << console;
  EXPECT_EQ(e2e::count_lines_with(console, "Saving data at:"), 1) << console;
  // The NetCDF file, synchronised after the initial profile, reads.
  EXPECT_TRUE(readable(dir / "r.nc"));
  fs::remove_all(dir);
}

// A process killed right after it created its NetCDF file, before the run
// began, leaves a file the library reads: the file is valid from creation.
TEST(FaultsEndCleanly, NetcdfFileIsValidFromItsCreation) {
  const fs::path dir = e2e::fresh_dir("created");
  const fs::path nc = dir / "r.nc";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    netcdf::NetcdfSink sink(nc.string());
    raise(SIGKILL);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  ASSERT_TRUE(WIFSIGNALED(raw));
  std::string header;
  EXPECT_TRUE(readable(nc, &header)) << header;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::robust
#endif
