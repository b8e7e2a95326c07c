// Small scenarios for whole runs of the qz5 executable.
//
// A Scenario holds every input of a run with defaults that make a short,
// well-behaved estuary run; a test changes what it needs, writes the files
// into a fresh temporary folder and runs the executable there.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace qz5::e2e {

struct Scenario {
  // Parameter file.
  int ncomp = 6;
  int npts = 15;
  double tau = 1.0e3, kappa = 2.0, alpha = 0.01;
  double atol = 1.0e-6, rtol = 1.0e-4;
  int info10 = 0;
  bool use_ut0 = false, li_from_bnd = false;
  double xconv = 1.0, tunit_model = 86400.0, tunit_day = 1.0;
  std::array<double, 6> cconv{1, 1, 1, 1, 1, 1};
  std::array<double, 19> rxpar{1.0, 0.0, 0.05, 0.1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5,
                               0.05, 0.1, 10.0, 20.0, 0.5, 0.5, 0.5, 0.05, 0.05};
  // Boundary file: positions, then rows of time, 6 left, 6 right.
  double xleft = 1000.0, xright = 20000.0;
  std::vector<std::vector<double>> bnd_rows = {
      {-10, 0.5, 1, 0.5, 1, 0.5, 1, 30, 0.5, 0.2, 0.5, 0.2, 0.5},
      {400, 0.5, 1, 0.5, 1, 0.5, 1, 30, 0.5, 0.2, 0.5, 0.2, 0.5}};
  // Lateral-input file.
  std::vector<double> x_lat{0.0};
  std::vector<double> q_lat{8.64e6};
  double k_lat = 0.01;
  std::vector<std::vector<double>> lat_rows = {{-10, 0.1, 1, 0.5, 1, 0.5, 1},
                                               {400, 0.1, 1, 0.5, 1, 0.5, 1}};
  // Driver file: time, value.
  std::vector<std::array<double, 2>> drv_points{{-10, 1.0}, {400, 1.0}};
  // Output-times file: start, then output times (days).
  double tstart = 0.0;
  std::vector<double> touts{0.5, 1.0};
  // Initial profile rows (used when use_ut0): index, position, 6 values.
  std::vector<std::vector<double>> ut0_rows;

  std::string txc_name = "run.txc";

  // Writes run.fn and every file it names into `dir`.
  void write(const std::filesystem::path& dir) const;
};

struct RunResult {
  int status = -1;      // exit status of the process
  std::string console;  // standard output and standard error
};

// A fresh empty folder under the system's temporary directory.
std::filesystem::path fresh_dir(const std::string& tag);

// Runs the executable in `dir` with the given arguments (standard input empty).
RunResult run_qz5(const std::filesystem::path& dir, const std::string& args = "run.fn");

std::string read_file(const std::filesystem::path& p);
std::vector<std::string> read_lines(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& text);

// Counts lines of `text` that contain `needle`.
int count_lines_with(const std::string& text, const std::string& needle);

// The .txc file parsed into blocks of rows of numbers.
std::vector<std::vector<std::vector<double>>> read_txc_blocks(const std::filesystem::path& p,
                                                              int npts);

}  // namespace qz5::e2e
