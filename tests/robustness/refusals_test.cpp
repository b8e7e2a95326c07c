// Command lines and inputs that must be refused before anything runs, each
// with the message that names what is wrong and status 1; and no refused
// run may have replaced a file. The cases come from a review that tried the
// result options as a hostile user would: result files over inputs, logs or
// each other, empty and missing values, constituent names the files use
// themselves, geometry rows of the wrong length, impossible sizes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

struct Refusal {
  std::string name;
  std::string args;                          // before run.fn
  std::string message;                       // part of the console expected
  std::function<void(const fs::path&)> prepare = nullptr;  // extra files
};

std::string geometry(const std::vector<std::string>& rows) {
  std::string text = "river geometry: position, area, dispersion\n";
  for (const std::string& r : rows) text += r + "\n";
  return text;
}

std::function<void(const fs::path&)> geometry_file(std::vector<std::string> rows) {
  return [rows](const fs::path& dir) { e2e::write_file(dir / "river.geo", geometry(rows)); };
}

const std::string kGeo = "--geometry river.geo ";

// A 100-byte lateral file that claims a hundred million inputs.
void huge_lateral_count(const fs::path& dir) {
  std::string li = "lateral inputs\n100000000\n0.0\n8.64e6\n0.01\n-10 0.1 1 0.5 1 0.5 1\n";
  li.resize(100, ' ');
  e2e::write_file(dir / "run.li", li);
}

const std::vector<Refusal>& refusals() {
  static const std::vector<Refusal> cases = {
      // Constituent names the layout uses (dimensions, coordinates, variables,
      // prefixes, the ensemble's member), and one too long for NetCDF.
      {"name of the budget's labels", "--constituents term_name --netcdf r.nc --budget b.csv",
       "qz5: --constituents: constituent 1: the name \"term_name\" is used by the result files"},
      {"name of a dimension", "--constituents salinity,station --netcdf r.nc",
       "constituent 2: the name \"station\" is used by the result files"},
      {"name of the term dimension", "--constituents term --budget b.csv",
       "the name \"term\" is used"},
      {"name with the station prefix", "--constituents station_x --netcdf r.nc",
       "the name \"station_x\" is used"},
      {"name of the ensemble's dimension", "--constituents member --netcdf r.nc",
       "the name \"member\" is used"},
      {"name longer than NetCDF allows", "--constituents " + std::string(249, 'a') + " --netcdf r.nc",
       "has 249 characters; at most 248 fit a NetCDF name"},
      {"name not checked without a result file", "--constituents 1bad",
       "\"1bad\" is not a name"},
      {"names for files not asked for", "--constituents salinity",
       "--constituents describes the result files, and none was asked for"},
      {"a list that is no list and no file", "--constituents names.txt --budget b.csv",
       "nor is it a file (write @FILE to read the names from a file)"},
      {"an explicit names file that is missing", "--constituents @names.txt --budget b.csv",
       "cannot read the constituents file names.txt"},
      // Result files over inputs, logs and each other.
      {"NetCDF over the parameter file", "--netcdf run.prm",
       "qz5: --netcdf run.prm is the same file as the parameter file run.prm, which it would "
       "overwrite"},
      {"NetCDF over the concentration file", "--netcdf ./run.txc",
       "--netcdf ./run.txc is the same file as the concentration file run.txc"},
      {"NetCDF and budget one file", "--netcdf x --budget ./x",
       "--netcdf x is the same file as --budget ./x"},
      {"budget over RESULT", "--budget RESULT", "--budget RESULT is the same file as the run log"},
      {"stations and budget one file", "--stations 5000 --stations-csv x --budget x",
       "--stations-csv x is the same file as --budget x"},
      {"budget over the geometry file", kGeo + "--budget river.geo",
       "--budget river.geo is the same file as --geometry river.geo",
       geometry_file({"0 20 1e6", "30000 20 1e6"})},
      {"budget over the names file", "--budget run.fn",
       "--budget run.fn is the same file as the names file run.fn, which it would overwrite"},
      // Empty and missing values.
      {"empty geometry name", "--geometry ''", "--geometry needs a file name, not an empty text"},
      {"empty NetCDF name", "--netcdf ''", "--netcdf needs a file name, not an empty text"},
      {"empty budget name", "--budget ''", "--budget needs a file name, not an empty text"},
      {"empty constituent list", "--constituents '' --budget b.csv",
       "--constituents needs a list of names, not an empty text"},
      {"value forgotten before the next option", "--netcdf --budget b.csv",
       "--netcdf needs a file name before the next option --budget"},
      // Where a NetCDF file cannot be made.
      {"NetCDF on a folder", "--netcdf .", "qz5: .: cannot create the file: is a folder, not a file"},
      {"NetCDF in a missing folder", "--netcdf nowhere/r.nc",
       "cannot create the file: the folder", },
      {"NetCDF on a device", "--netcdf /dev/full",
       "/dev/full: cannot create the file: is a device or special file"},
      // Geometry rows: one per line, exactly three numbers.
      {"geometry row one value short", kGeo,
       "Geometry::Error, a row holds 2 values, not 3 (position, area, dispersion) in file "
       "river.geo, line 3",
       geometry_file({"0 20 1e6", "6000.0 55.0", "30000 20 1e6"})},
      {"geometry row of four values", kGeo, "a row holds 4 values, not 3",
       geometry_file({"0 20 1e6 7", "30000 20 1e6"})},
      {"geometry text in a row", kGeo,
       "Geometry::Error, \"wide\" is not a number in file river.geo, line 2",
       geometry_file({"0 wide 1e6", "30000 20 1e6"})},
      {"geometry rows too far apart to interpolate", kGeo,
       "area changes by a factor over 2^52 from the row before",
       geometry_file({"0 1e20 1e6", "30000 1e-3 1e6"})},
      {"geometry value too small to interpolate", kGeo,
       "dispersion is too small to interpolate",
       geometry_file({"0 20 1e-310", "30000 20 1e6"})},
      // Sizes a file cannot hold.
      {"lateral count beyond the file", "--no-legacy-limits",
       "number of lateral inputs 100000000 (record 2) is more than a file of 100 bytes can "
       "describe",
       huge_lateral_count},
  };
  return cases;
}

// Every file in the folder with its contents.
std::vector<std::pair<std::string, std::string>> contents(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename() != "console.txt" &&
        e.path().filename() != "RESULT" && e.path().filename() != "RUNINF")
      out.emplace_back(e.path().filename().string(), e2e::read_file(e.path()));
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Refusals, EachIsRefusedBeforeTheRunNamingWhatIsWrong) {
  for (const Refusal& c : refusals()) {
    SCOPED_TRACE(c.name);
    const fs::path dir = e2e::fresh_dir("refusal");
    Scenario().write(dir);
    if (c.prepare) c.prepare(dir);
    const auto before = contents(dir);
    const RunResult r = run_bounded(dir, c.args + " run.fn");
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, 1) << r.console;
    EXPECT_NE(r.console.find(c.message), std::string::npos) << r.console;
    EXPECT_EQ(r.console.find("\nReady\n"), std::string::npos) << r.console;
    // Nothing was replaced, and no result file was made.
    EXPECT_EQ(contents(dir), before);
    fs::remove_all(dir);
  }
}

// The names file typed at the prompt is known before any result file is
// made, so a result file named like it is refused and the names file stays.
TEST(Refusals, NamesFileTypedAtThePromptIsNotOverwritten) {
  const fs::path dir = e2e::fresh_dir("prompt");
  Scenario().write(dir);
  const std::string names = e2e::read_file(dir / "run.fn");
  const std::string cmd = "cd '" + dir.string() + "' && echo run.fn | '" +
                          std::getenv("QZ5_EXE") + "' --netcdf run.fn > console.txt 2>&1";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  const std::string console = e2e::read_file(dir / "console.txt");
  EXPECT_NE(console.find("Enter filename of names file [*.fn]: "), std::string::npos);
  EXPECT_NE(console.find("--netcdf run.fn is the same file as the names file run.fn"),
            std::string::npos)
      << console;
  EXPECT_EQ(e2e::read_file(dir / "run.fn"), names);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::robust
