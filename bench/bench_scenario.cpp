#include "bench_scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "discretisation/skm.h"
#include "engine/callbacks.h"
#include "driver/run_driver.h"
#include "input/problem_setup.h"
#include "integrator/dassl_routines.h"

namespace qz5::bench {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> read_lines(const fs::path& p) {
  std::ifstream in(p);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void write_lines(const fs::path& p, const std::vector<std::string>& lines) {
  std::ofstream out(p, std::ios::trunc);
  for (const auto& line : lines) out << line << '\n';
}

// The parameter file holds NPTS as the first value of its second record.
void set_npts(const fs::path& prm, int npts) {
  auto lines = read_lines(prm);
  if (lines.size() < 2 || lines[1].find("NPTS") == std::string::npos)
    throw std::runtime_error("bench: NPTS record not found in " + prm.string());
  lines[1] = std::to_string(npts) + "   NPTS";
  write_lines(prm, lines);
}

// Resamples the initial profile (rows: index, position, six values) onto
// npts evenly spaced positions between its first and last positions.
void resample_profile(const fs::path& ut0, int npts) {
  std::vector<std::vector<double>> rows;
  std::ifstream in(ut0);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<double> row;
    for (double v; fields >> v;) row.push_back(v);
    if (!row.empty()) rows.push_back(row);
  }
  in.close();
  if (rows.size() < 2) throw std::runtime_error("bench: no initial profile in " + ut0.string());
  const double x0 = rows.front()[1];
  const double x1 = rows.back()[1];
  std::vector<std::string> out;
  std::size_t seg = 0;
  for (int j = 0; j < npts; ++j) {
    const double x = x0 + (x1 - x0) * j / (npts - 1);
    while (seg + 2 < rows.size() && rows[seg + 1][1] < x) ++seg;
    const auto& a = rows[seg];
    const auto& b = rows[seg + 1];
    const double f = std::clamp((x - a[1]) / (b[1] - a[1]), 0.0, 1.0);
    char buffer[64];
    std::string line = std::to_string(j + 1);
    std::snprintf(buffer, sizeof buffer, " %.12g", x);
    line += buffer;
    for (std::size_t k = 2; k < a.size(); ++k) {
      std::snprintf(buffer, sizeof buffer, " %.12g", a[k] + (b[k] - a[k]) * f);
      line += buffer;
    }
    out.push_back(line);
  }
  write_lines(ut0, out);
}

}  // namespace

ScenarioDir::ScenarioDir(int npts) {
  std::random_device seed;
  dir_ = fs::temp_directory_path() / ("qz5-bench-" + std::to_string(seed()));
  fs::create_directories(dir_);
  for (const auto& entry : fs::directory_iterator(QZ5_EXAMPLE_DIR))
    fs::copy_file(entry.path(), dir_ / entry.path().filename());
  if (npts != 0) {
    set_npts(dir_ / "estuary.prm", npts);
    resample_profile(dir_ / "estuary.UT0", npts);
  }
}

ScenarioDir::~ScenarioDir() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

LoadedScenario::LoadedScenario(int npts) : dir_(npts), io_(console_in_, console_out_) {
  try {
    scenario_ = read_scenario(io_, dir_.path() / "estuary.fn");
    RunOptions options;
    options.capacities = Capacities{};
    session_ = std::make_unique<RunSession>(scenario_, options, io_);
    session_->prepare();
  } catch (const Stop& s) {
    throw std::runtime_error("bench: set-up stopped: " + s.text + "\n" + console_out_.str());
  }
  RunState& ms = session_->state();
  res_ = session_->residual();
  jac_ = session_->jacobian();
  delta_.assign(static_cast<std::size_t>(ms.NEQ), 0.0);

  ms.TOUT = session_->inputs().TOUTS(1);
  do {
    session_->call_integrator();
  } while (ms.IDID == 1);
  if (ms.IDID < 0)
    throw std::runtime_error("bench: integration failed, IDID " + std::to_string(ms.IDID));

  // The matrix is formed around the residual at the state reached, which the
  // integrator would already hold.
  int ires = 0;
  res_(ms.T, ms.Y.data(), ms.YPRIME.data(), sections_of(ms.NEQ, ms.RWORK.data(),
       ms.IWORK.data()).RESIDUAL_VEC, ires, ms.RPAR.data(), ms.IPAR.data());
  if (ires != 0) throw std::runtime_error("bench: the residual refused the state reached");
}

int LoadedScenario::residual() {
  RunState& ms = session_->state();
  int ires = 0;
  RES(io_, session_->inputs(), session_->skm(), session_->model(), ms.T, ms.Y.data(), ms.YPRIME.data(), delta_.data(), ires,
      ms.RPAR.data(), ms.IPAR.data());
  return ires;
}

int LoadedScenario::iteration_matrix() {
  RunState& ms = session_->state();
  double* RWORK = ms.RWORK.data();
  int* IWORK = ms.IWORK.data();
  const Sections S = sections_of(ms.NEQ, RWORK, IWORK);
  const Problem P{io_, ms.NEQ, res_, jac_, ms.RPAR.data(), ms.IPAR.data()};
  int ires = 0;
  int singular = 0;
  ITERATION_MATRIX(P, ms.T, ms.Y.data(), ms.YPRIME.data(), S.RESIDUAL_VEC,
                   rwork_at(RWORK, kLeadCoef), rwork_at(RWORK, kHLast), singular,
                   RWORK + (wt_position(ms.NEQ) - 1), S.ERROR_ACC, S.MATRIX_STORE, IWORK, ires,
                   rwork_at(RWORK, kUnitRoundoff), S.SAVE_START);
  if (ires < 0) throw std::runtime_error("bench: the residual refused during the matrix");
  return singular;
}

double LoadedScenario::last_residual_norm() const {
  double m = 0.0;
  for (const double d : delta_) m = std::max(m, std::abs(d));
  return m;
}

}  // namespace qz5::bench
