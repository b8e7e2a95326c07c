// Malformed input files: every case is a small run with one fault in one
// file. Each must stop cleanly (exit status 1, no crash, hang or sanitizer
// report) with a console message that names the file and, where the fault
// sits on a line, the line. The expected texts are the reader's documented
// messages with file names and line numbers counted by hand from the layout
// that Scenario writes:
//   run.fn   1-2 free text, 3 prm, 4 li, 5 bnd, 6 t, 7 ut0, 8 drv, 9 txc
//   run.prm  1 NCOMP, 2 NPTS, 3 TAU, 4 KAPPA, 5 ALPHA, 6 ATOL, 7 RTOL,
//            8 INFO10, 9 USE_UT0, 10 LI_FROM_BND, 11 XCONV, 12-13 time units,
//            14-19 CCONV, 20-38 RXPAR
//   run.bnd  1 positions, 2.. rows;  run.li 1 title, 2 nlat, 3 x_lat,
//   4 q_lat, 5 k_lat, 6.. rows;  run.drv and run.t one point per line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robustness/robust_util.h"

namespace qz5::robust {
namespace {

struct Case {
  std::string name;
  std::function<void(Scenario&)> tweak;                  // changes before writing, may be empty
  std::string file;                                      // file rewritten after writing
  std::function<std::string(const std::string&)> edit;   // its new text from the old one
  std::vector<std::string> expect;                       // console must hold each of these
  std::string args = "run.fn";
  bool remove = false;                                   // delete `file` instead
};

using Edit = std::function<std::string(const std::string&)>;

Edit line(int n, std::string text) {
  return [n, text](const std::string& old) { return with_line(old, n, text); };
}
Edit keep(int n) {
  return [n](const std::string& old) { return first_lines(old, n); };
}
Edit set(std::string text) {
  return [text](const std::string&) { return text; };
}

std::string opening(const std::string& f) {
  return "Error opening file \"" + f + "\": file not found or not readable";
}
std::string eof_after(const std::string& f, int n) {
  return "Error reading file \"" + f + "\": unexpected end of file after line " +
         std::to_string(n);
}
std::string bad(const std::string& f, int n, const std::string& tok, const std::string& kind) {
  return "Error reading file \"" + f + "\", line " + std::to_string(n) + ": \"" + tok +
         "\" is not a valid " + kind;
}
const std::string kStopped = "Stop - Program terminated.";

// A profile file for the default grid: point number, position, six values.
void with_profile(Scenario& s) {
  s.use_ut0 = true;
  s.ut0_rows.clear();
  for (int j = 0; j < s.npts; ++j) {
    const double x = s.xleft + (s.xright - s.xleft) * j / (s.npts - 1);
    s.ut0_rows.push_back({double(j + 1), x, 0.5, 1, 0.5, 1, 0.5, 1});
  }
}

std::vector<double> bnd_row(double t) { return {t, 0.5, 1, 0.5, 1, 0.5, 1, 30, 0.5, 0.2, 0.5, 0.2, 0.5}; }

std::string digits(std::size_t n) { return std::string(n, '7'); }

std::vector<Case> names_cases() {
  const std::string long_name(100, 'p');
  return {
      {"names missing", {}, "", {}, {opening("absent.fn")}, "absent.fn"},
      {"names empty", {}, "run.fn", set(""), {eof_after("run.fn", 0)}},
      {"names cut after the parameter record", {}, "run.fn", keep(3), {eof_after("run.fn", 3)}},
      {"names too few records (no output file)", {}, "run.fn", keep(8), {eof_after("run.fn", 8)}},
      {"names 100-character parameter name", {}, "run.fn", line(3, long_name),
       {opening(std::string(80, 'p'))}},
      {"names line of 100000 characters", {}, "run.fn", line(4, std::string(100000, 'q')),
       {opening(std::string(80, 'q'))}},
      {"names binary garbage", {}, "run.fn",
       set([] {
         std::string t;
         for (unsigned i = 0; i < 9; ++i) t += garbage(60, 100 + i, true) + "\n";
         return t;
       }()),
       {"Error opening file \""}},
  };
}

std::vector<Case> parameter_cases() {
  std::vector<Case> cases = {
      {"prm missing", {}, "run.prm", {}, {opening("run.prm")}, "run.fn", true},
      {"prm empty", {}, "run.prm", set(""), {eof_after("run.prm", 0)}},
      {"prm cut inside the reaction parameters", {}, "run.prm", keep(25), {eof_after("run.prm", 25)}},
      {"prm non-numeric TAU", {}, "run.prm", line(3, "abc  TAU"), {bad("run.prm", 3, "abc", "real")}},
      {"prm real for NCOMP", {}, "run.prm", line(1, "6.0"), {bad("run.prm", 1, "6.0", "integer")}},
      {"prm real for NPTS", {}, "run.prm", line(2, "15.5 NPTS"), {bad("run.prm", 2, "15.5", "integer")}},
      {"prm real for INFO10", {}, "run.prm", line(8, "1.0"), {bad("run.prm", 8, "1.0", "integer")}},
      {"prm number for a logical", {}, "run.prm", line(9, "1"), {bad("run.prm", 9, "1", "logical")}},
      {"prm NaN", {}, "run.prm", line(4, "NaN"), {bad("run.prm", 4, "NaN", "real")}},
      {"prm Inf", {}, "run.prm", line(5, "-Inf"), {bad("run.prm", 5, "-Inf", "real")}},
      {"prm infinity", {}, "run.prm", line(11, "infinity"), {bad("run.prm", 11, "infinity", "real")}},
      {"prm real overflowing to Inf", {}, "run.prm", line(12, "1.0D400"),
       {bad("run.prm", 12, "1.0D400", "real")}},
      {"prm NCOMP 7", {}, "run.prm", line(1, "7"),
       {"READ_PRM_QZ5::Error, NCOMP must be 6, not 7 (record 1) in file run.prm"}},
      {"prm NCOMP negative", {}, "run.prm", line(1, "-1"),
       {"READ_PRM_QZ5::Error, NCOMP must be 6, not -1 (record 1) in file run.prm"}},
      {"prm NCOMP beyond 32 bits", {}, "run.prm", line(1, "99999999999"),
       {bad("run.prm", 1, "99999999999", "integer")}},
      // Grid counts are the grid set-up's to judge (accepted_input_test.cpp
      // holds NPTS 1001); these never reach a run either.
      {"prm NPTS negative", {}, "run.prm", line(2, "-5"),
       {" SETSKM - NUMBER OF GRID POINTS LESS THAN 3, NPTS=        -5\n", "Error in SETSKM"}},
      // 7 * 2000000000 + 72 needs eleven columns of I10.
      {"prm NPTS huge", {}, "run.prm", line(2, "2000000000"),
       {" SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :**********\n",
        "Error in SETSKM"}},
      // 7 * 306783379 = 2147483653 passes the int range by 6.
      {"prm NPTS whose NEQ just passes the int range", {}, "run.prm", line(2, "306783379"),
       {" SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :2147483725\n",
        "Error in SETSKM"}},
      {"prm NPTS most negative", {}, "run.prm", line(2, "-2147483648"),
       {" SETSKM - NUMBER OF GRID POINTS LESS THAN 3, NPTS=**********\n", "Error in SETSKM"}},
      {"prm 100000-digit NPTS", {}, "run.prm", line(2, digits(100000)),
       {"Error reading file \"run.prm\", line 2: \"" + digits(40) + "...\" is not a valid integer"}},
      {"prm zero yield RXPAR(7)", {}, "run.prm", line(26, "0.0"),
       {"READ_PRM_QZ5::Error, RXPAR(7) must not be zero (record 26) in file run.prm"}},
      {"prm binary garbage", {}, "run.prm", set(garbage(4000, 7)), {"Error reading file \"run.prm\""}},
  };
  // Unit factors divide times, positions and concentrations; zero written
  // several ways.
  const struct {
    const char* field;
    int record;
    const char* text;
  } zeros[] = {{"XCONV", 11, "0.0 XCONV"}, {"TUNIT_MODEL", 12, "0"},  {"TUNIT_DAY", 13, "-0.0D0"},
               {"CCONV(1)", 14, "0."},     {"CCONV(2)", 15, "0E5"}, {"CCONV(3)", 16, "0"},
               {"CCONV(4)", 17, "0"},      {"CCONV(5)", 18, "0"},   {"CCONV(6)", 19, "0.0"}};
  for (const auto& z : zeros) {
    cases.push_back({std::string("prm zero ") + z.field, {}, "run.prm", line(z.record, z.text),
                     {"READ_PRM_QZ5::Error, " + std::string(z.field) + " must not be zero (record " +
                      std::to_string(z.record) + ") in file run.prm"}});
  }
  return cases;
}

std::vector<Case> times_cases() {
  return {
      {"t missing", {}, "run.t", {}, {opening("run.t")}, "run.fn", true},
      {"t empty", {}, "run.t", set(""), {"iniprb_qz5::Error, no start time in file run.t"}},
      {"t non-numeric output time", {}, "run.t", line(3, "one"), {bad("run.t", 3, "one", "real")}},
      {"t NaN start", {}, "run.t", line(1, "nan"), {bad("run.t", 1, "nan", "real")}},
      {"t Inf output time", {}, "run.t", line(2, "+Inf"), {bad("run.t", 2, "+Inf", "real")}},
      {"t 201 output times",
       [](Scenario& s) {
         s.touts.clear();
         for (int i = 1; i <= 201; ++i) s.touts.push_back(i * 0.01);
       },
       "", {}, {"iniprb_qz5::Error, more than 200 output times in file run.t"}},
      {"t 100000-digit time", {}, "run.t", line(2, "1" + std::string(100000, '0') + ".0"),
       {"Error reading file \"run.t\", line 2: \"1" + std::string(39, '0') + "...\" is not a valid real"}},
      {"t binary garbage", {}, "run.t", set(garbage(4000, 8)), {"Error reading file \"run.t\""}},
  };
}

std::vector<Case> boundary_cases() {
  return {
      {"bnd missing", {}, "run.bnd", {}, {opening("run.bnd")}, "run.fn", true},
      {"bnd empty", {}, "run.bnd", set(""), {eof_after("run.bnd", 0)}},
      {"bnd cut inside the positions", {}, "run.bnd", set("1000\n"), {eof_after("run.bnd", 1)}},
      {"bnd cut inside the second row", {}, "run.bnd", set("1000 20000\n-10 1 2 3 4 5 6 7 8 9 10 11 12\n400 1 2\n"),
       {"Boundarys::ERROR, less the 2 boundry points given", kStopped}},
      {"bnd one row", [](Scenario& s) { s.bnd_rows.resize(1); }, "", {},
       {"Boundarys::ERROR, less the 2 boundry points given", kStopped}},
      {"bnd non-numeric value", {}, "run.bnd", line(3, "400 0.5 1 x 1 0.5 1 30 0.5 0.2 0.5 0.2 0.5"),
       {bad("run.bnd", 3, "x", "real")}},
      {"bnd NaN value", {}, "run.bnd", line(2, "-10 0.5 NAN 0.5 1 0.5 1 30 0.5 0.2 0.5 0.2 0.5"),
       {bad("run.bnd", 2, "NAN", "real")}},
      {"bnd 101 time points",
       [](Scenario& s) {
         s.bnd_rows.clear();
         for (int i = 0; i <= 100; ++i) s.bnd_rows.push_back(bnd_row(-10 + 4.1 * i));
       },
       "", {}, {"Boundarys::ERROR, nbnd_tpts .Gt. max_bndry_tpts", kStopped}},
      // A repeated time is a step (accepted_input_test.cpp); a time below
      // its predecessor is refused, also right after a repeat.
      {"bnd times decreasing after a repeat",
       [](Scenario& s) { s.bnd_rows = {bnd_row(-10), bnd_row(200), bnd_row(200), bnd_row(150)}; },
       "", {}, {"Boundarys::Error, times decrease at time point 4 in file run.bnd"}},
      {"bnd binary garbage", {}, "run.bnd", set(garbage(4000, 9)), {"Error reading file \"run.bnd\""}},
  };
}

std::vector<Case> lateral_cases() {
  const std::string row1 = "-10 0.1 1 0.5 1 0.5 1";
  return {
      {"li missing", {}, "run.li", {}, {opening("run.li")}, "run.fn", true},
      {"li empty", {}, "run.li", set(""), {eof_after("run.li", 0)}},
      {"li cut after the positions", {}, "run.li", keep(3), {eof_after("run.li", 3)}},
      // The end of the file cuts the second time point short: that record,
      // not a count of time points, is the fault.
      {"li cut inside the second time point", {}, "run.li", set("t\n1\n0\n8.64e6\n0.01\n" + row1 + "\n400 0.1 1\n"),
       {"Loading::Error, record 7 (time point 2, line 7) holds 3 values, not 7 (1 + NCOMP*nlat) in "
        "file run.li",
        kStopped}},
      {"li real for the count", {}, "run.li", line(2, "1.0"), {bad("run.li", 2, "1.0", "integer")}},
      {"li non-numeric flow", {}, "run.li", line(4, "lots"), {bad("run.li", 4, "lots", "real")}},
      {"li Inf steepness", {}, "run.li", line(5, "Infinity"), {bad("run.li", 5, "Infinity", "real")}},
      // No inputs at all is a run without inflow (accepted_input_test.cpp).
      {"li negative count", {}, "run.li", line(2, "-1"),
       {"Loading::Error, number of lateral inputs -1 outside 0..10 (record 2) in file run.li"}},
      {"li 11 inputs", {}, "run.li", line(2, "11"),
       {"Loading::Error, number of lateral inputs 11 outside 0..10 (record 2) in file run.li"}},
      {"li huge count", {}, "run.li", line(2, "2147483647"),
       {"Loading::Error, number of lateral inputs 2147483647 outside 0..10 (record 2) in file run.li"}},
      {"li 11 time points",
       [](Scenario& s) {
         s.lat_rows.clear();
         for (int i = 0; i < 11; ++i) s.lat_rows.push_back({-10.0 + 41 * i, 0.1, 1, 0.5, 1, 0.5, 1});
       },
       "", {}, {"Loading::nlat_tpts .Gt. max_lat_tpts", "Stopping...", kStopped}},
      {"li times not increasing",
       [](Scenario& s) { s.lat_rows = {{-10, 0.1, 1, 0.5, 1, 0.5, 1}, {-20, 0.1, 1, 0.5, 1, 0.5, 1}}; },
       "", {}, {"Loading::Error, times decrease at time point 2 in file run.li"}},
      {"li binary garbage", {}, "run.li", set("title\n" + garbage(4000, 10)), {"Error reading file \"run.li\""}},
  };
}

std::vector<Case> driver_cases() {
  return {
      {"drv missing", {}, "run.drv", {}, {opening("run.drv")}, "run.fn", true},
      {"drv empty", {}, "run.drv", set(""), {"DRV_INIT::Error, fewer than 2 points (0) in file run.drv"}},
      {"drv cut inside the second point", {}, "run.drv", set("-10 1.0\n400\n"),
       {"DRV_INIT::Error, fewer than 2 points (1) in file run.drv"}},
      {"drv non-numeric value", {}, "run.drv", line(2, "400 one"), {bad("run.drv", 2, "one", "real")}},
      {"drv NaN value", {}, "run.drv", line(1, "-10 nan"), {bad("run.drv", 1, "nan", "real")}},
      {"drv 10001 points",
       [](Scenario& s) {
         s.drv_points.clear();
         for (int i = 0; i < 10001; ++i) s.drv_points.push_back({-10.0 + 0.05 * i, 1.0});
       },
       "", {},
       {"DRV_INIT::MAX_PTS_DRV exceeded while loading variable driver: ", "  Required size: ",
        "10001", "  Increase max_pts_drv, or modify data length", "  Program terminating...",
        kStopped}},
      {"drv times not increasing", [](Scenario& s) { s.drv_points = {{-10, 1}, {400, 1}, {399, 1}}; },
       "", {}, {"DRV_INIT::Error, times decrease at time point 3 in file run.drv"}},
      {"drv binary garbage", {}, "run.drv", set(garbage(4000, 11)), {"Error reading file \"run.drv\""}},
  };
}

std::vector<Case> profile_cases() {
  const std::string uinit =
      "UINIT::Error, Number of points read in file *.UT0 differs from that in *.PRM file.  "
      "Program terminating...";
  return {
      {"ut0 missing", with_profile, "run.ut0", {}, {opening("run.ut0")}, "run.fn", true},
      {"ut0 empty", with_profile, "run.ut0", set(""), {uinit, kStopped}},
      {"ut0 one point short", with_profile, "run.ut0", keep(14), {uinit, kStopped}},
      {"ut0 last group cut short", with_profile, "run.ut0",
       [](const std::string& old) { return first_lines(old, 14) + "15 20000 0.5\n"; }, {uinit, kStopped}},
      {"ut0 one point too many", with_profile, "run.ut0",
       [](const std::string& old) { return old + "16 20000 0.5 1 0.5 1 0.5 1\n"; }, {uinit, kStopped}},
      {"ut0 non-numeric position", with_profile, "run.ut0", line(2, "2 here 0.5 1 0.5 1 0.5 1"),
       {bad("run.ut0", 2, "here", "real")}},
      {"ut0 Inf value", with_profile, "run.ut0", line(5, "5 6000 0.5 1 0.5 1 0.5 inf"),
       {bad("run.ut0", 5, "inf", "real")}},
      {"ut0 binary garbage", with_profile, "run.ut0", set(garbage(4000, 12)),
       {"Error reading file \"run.ut0\""}},
  };
}

int run_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    if (c.tweak) c.tweak(s);
    const fs::path dir = e2e::fresh_dir("malformed");
    s.write(dir);
    if (c.remove) fs::remove(dir / c.file);
    if (c.edit) e2e::write_file(dir / c.file, c.edit(e2e::read_file(dir / c.file)));
    const RunResult r = run_bounded(dir, c.args);
    expect_clean_end(r, c.name);
    EXPECT_EQ(r.status, 1) << r.console;
    for (const std::string& e : c.expect) {
      EXPECT_NE(r.console.find(e), std::string::npos) << "missing: " << e << "\n" << r.console;
    }
    // Set-up stopped: no concentration file was begun.
    EXPECT_FALSE(fs::exists(dir / "run.txc"));
    fs::remove_all(dir);
  }
  return static_cast<int>(cases.size());
}

TEST(MalformedInput, NamesFile) { run_cases(names_cases()); }
TEST(MalformedInput, ParameterFile) { run_cases(parameter_cases()); }
TEST(MalformedInput, OutputTimesFile) { run_cases(times_cases()); }
TEST(MalformedInput, BoundaryFile) { run_cases(boundary_cases()); }
TEST(MalformedInput, LateralInputFile) { run_cases(lateral_cases()); }
TEST(MalformedInput, DriverFile) { run_cases(driver_cases()); }
TEST(MalformedInput, InitialProfileFile) { run_cases(profile_cases()); }

}  // namespace
}  // namespace qz5::robust
