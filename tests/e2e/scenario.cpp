#include "e2e/scenario.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace qz5::e2e {
namespace {

std::string num(double v) {
  std::ostringstream os;
  os.precision(17);
  os << v;
  return os.str();
}

std::string row(const std::vector<double>& values) {
  std::string s;
  for (double v : values) s += num(v) + " ";
  return s + "\n";
}

std::string logical(bool b) { return b ? "T" : "F"; }

}  // namespace

void Scenario::write(const std::filesystem::path& dir) const {
  write_file(dir / "run.fn",
             "qz5 test scenario\nnames file\nrun.prm\nrun.li\nrun.bnd\nrun.t\nrun.ut0\nrun.drv\n" +
                 txc_name + "\n");
  std::string prm;
  prm += std::to_string(ncomp) + "   NCOMP\n" + std::to_string(npts) + "   NPTS\n";
  prm += num(tau) + "  TAU\n" + num(kappa) + "  KAPPA\n" + num(alpha) + "  ALPHA\n";
  prm += num(atol) + "  ATOL\n" + num(rtol) + "  RTOL\n" + std::to_string(info10) + "  INFO10\n";
  prm += logical(use_ut0) + "  USE_UT0\n" + logical(li_from_bnd) + "  LI_FROM_BND\n";
  prm += num(xconv) + "  XCONV\n" + num(tunit_model) + "  TUNIT_MODEL\n" + num(tunit_day) +
         "  TUNIT_DAY\n";
  for (double c : cconv) prm += num(c) + "  CCONV\n";
  for (double p : rxpar) prm += num(p) + "  RXPAR\n";
  write_file(dir / "run.prm", prm);

  std::string bnd = num(xleft) + " " + num(xright) + "\n";
  for (const auto& r : bnd_rows) bnd += row(r);
  write_file(dir / "run.bnd", bnd);

  std::string li = "lateral inputs\n" + std::to_string(x_lat.size()) + "\n" + row(x_lat) +
                   row(q_lat) + num(k_lat) + "\n";
  for (const auto& r : lat_rows) li += row(r);
  write_file(dir / "run.li", li);

  std::string drv;
  for (const auto& p : drv_points) drv += num(p[0]) + " " + num(p[1]) + "\n";
  write_file(dir / "run.drv", drv);

  std::string t = num(tstart) + "\n";
  for (double v : touts) t += num(v) + "\n";
  write_file(dir / "run.t", t);

  std::string ut0;
  for (const auto& r : ut0_rows) ut0 += row(r);
  write_file(dir / "run.ut0", ut0);
}

std::filesystem::path fresh_dir(const std::string& tag) {
  static std::mt19937_64 rng{std::random_device{}()};
  auto dir = std::filesystem::temp_directory_path() /
             ("qz5_e2e_" + tag + "_" + std::to_string(rng() % 1000000000ULL));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

RunResult run_qz5(const std::filesystem::path& dir, const std::string& args) {
  const char* exe = std::getenv("QZ5_EXE");
  if (exe == nullptr) throw std::runtime_error("QZ5_EXE is not set (run the tests through ctest)");
  const std::string cmd = "cd '" + dir.string() + "' && '" + exe + "' " + args +
                          " > console.txt 2>&1 < /dev/null";
  const int raw = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.console = read_file(dir / "console.txt");
  return r;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

std::vector<std::string> read_lines(const std::filesystem::path& p) {
  std::vector<std::string> lines;
  std::istringstream in(read_file(p));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void write_file(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

int count_lines_with(const std::string& text, const std::string& needle) {
  std::istringstream in(text);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.find(needle) != std::string::npos;
  return n;
}

std::vector<std::vector<std::vector<double>>> read_txc_blocks(const std::filesystem::path& p,
                                                              int npts) {
  std::vector<std::vector<std::vector<double>>> blocks;
  for (const std::string& line : read_lines(p)) {
    if (blocks.empty() || static_cast<int>(blocks.back().size()) == npts) blocks.emplace_back();
    std::istringstream in(line);
    std::vector<double> values;
    for (std::string tok; in >> tok;) values.push_back(std::strtod(tok.c_str(), nullptr));
    blocks.back().push_back(values);
  }
  return blocks;
}

}  // namespace qz5::e2e
