// Test harness for the integrator: one problem with its work arrays, options
// and a console on a string stream, plus helpers to read the framed reports.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "integrator/ddassl.h"

namespace qz5::testing {

inline const double kEps = std::ldexp(1.0, -52);

// One problem: residual, state, options and work arrays sized for a banded
// finite-difference iteration matrix with the given bandwidths (a full band
// ML = MU = NEQ - 1 by default).
struct Dassl {
  explicit Dassl(int neq, int ml = -1, int mu = -1)
      : NEQ(neq), ML(ml < 0 ? neq - 1 : ml), MU(mu < 0 ? neq - 1 : mu), y(neq, 0.0),
        yprime(neq, 0.0), rtol(neq, 1e-6), atol(neq, 1e-6) {
    const int matrix = (2 * ML + MU + 1) * NEQ;
    rwork.assign(40 + 9 * NEQ + matrix + 2 * (NEQ / (ML + MU + 1) + 1), 0.0);
    iwork.assign(20 + NEQ, 0);
    info.fill(0);
    info[5] = 1;  // banded
    iwork[0] = ML;
    iwork[1] = MU;
  }

  void call() {
    integrator.DDASSL(res, NEQ, t, y.data(), yprime.data(), tout, info.data(), rtol.data(),
                      atol.data(), idid, rwork.data(), static_cast<int>(rwork.size()),
                      iwork.data(), static_cast<int>(iwork.size()), rpar, ipar, jac);
  }

  // Calls until TOUT is reached, continuing after every 500-step return;
  // stops at any other negative IDID.
  void run_to(double target) {
    tout = target;
    for (int guard = 0; guard < 10000; ++guard) {
      call();
      if (idid == -1) {
        info[0] = 1;
        continue;
      }
      if (idid < 0 || idid == 3) return;
    }
  }

  void set_tol(double tol) {
    std::fill(rtol.begin(), rtol.end(), tol);
    std::fill(atol.begin(), atol.end(), tol);
  }

  int iw(int pos) const { return iwork[pos - 1]; }
  double rw(int pos) const { return rwork[pos - 1]; }
  std::string console() const { return out.str(); }

  std::istringstream in;
  std::ostringstream out;
  Units io{in, out};
  Integrator integrator{io, kEps};
  int NEQ;
  int ML, MU;
  std::vector<double> y, yprime, rtol, atol, rwork;
  std::vector<int> iwork;
  std::array<int, 15> info{};
  double t = 0.0, tout = 1.0;
  int idid = 0;
  double* rpar = nullptr;
  int* ipar = nullptr;
  ResidualFn res;
  JacobianFn jac = [](double, double*, double*, double*, double, double*, int*) {};
};

// The message of the framed reports in `console`: the lines between the level
// line and "ERROR NUMBER = ", prefix removed, joined by the blank at which the
// report broke them. One string per report, in order.
inline std::vector<std::string> reported_messages(const std::string& console) {
  std::vector<std::string> messages;
  std::istringstream lines(console);
  std::string line;
  bool in_message = false;
  while (std::getline(lines, line)) {
    if (line.rfind(" ***POTENTIALLY RECOVERABLE ERROR", 0) == 0 ||
        line.rfind(" ***FATAL ERROR,", 0) == 0) {
      in_message = true;
      messages.emplace_back();
      continue;
    }
    if (!in_message) continue;
    if (line.rfind(" *  ERROR NUMBER = ", 0) == 0) {
      in_message = false;
      continue;
    }
    std::string& m = messages.back();
    if (!m.empty()) m += ' ';
    m += line.substr(4);
  }
  return messages;
}

// The numbers after "ERROR NUMBER = ", in order.
inline std::vector<int> reported_numbers(const std::string& console) {
  std::vector<int> numbers;
  std::istringstream lines(console);
  std::string line;
  const std::string key = " *  ERROR NUMBER = ";
  while (std::getline(lines, line)) {
    if (line.rfind(key, 0) == 0) numbers.push_back(std::stoi(line.substr(key.size())));
  }
  return numbers;
}

}  // namespace qz5::testing
