// An evaluator met again at a point it has seen, with the same state or one
// constituent changed (as the banded difference matrix does), answers bit for
// bit what a new evaluator, which evaluates everything, answers there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kinetics/kinetics_test_util.h"

namespace qz5::kinetics_test {
namespace {

struct State {
  ReactionPoint point;
  std::vector<double> U;
};

TEST(RepeatedPoints, RatesEqualAFreshEvaluationOnEveryShippedKinetics) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> exponent(-3.0, 3.0), unit(0.0, 1.0);
  for (const char* file :
       {"estuary.toml", "decay.toml", "bod_do.toml", "transient_storage.toml", "bacteria.toml"}) {
    SCOPED_TRACE(file);
    const auto k = DeclaredKinetics::read_file(repo_root() / "examples" / "kinetics" / file);
    const int nc = k->ncomp();
    Inputs ms;
    ms.NCOMP = nc;
    for (int c = 1; c <= nc; ++c) ms.CCONV(c) = 0.5 + unit(rng);
    auto random_state = [&] {
      State s;
      s.point.t_days = 365.0 * unit(rng);
      s.point.x = 1000.0 + 50000.0 * unit(rng);
      s.point.area = 100.0 + 5000.0 * unit(rng);
      s.point.dispersion = 10.0 + 100.0 * unit(rng);
      s.point.flow = 1.0e5 * unit(rng);
      for (int c = 0; c < nc; ++c) s.U.push_back(std::pow(10.0, exponent(rng)));
      return s;
    };
    auto fresh_rates = [&](const State& s) {
      std::vector<double> RX(static_cast<std::size_t>(nc));
      k->evaluator(ms)->rates(s.point, s.U.data(), s.U.data(), RX.data());
      return RX;
    };
    const auto kept = k->evaluator(ms);
    auto check = [&](const State& s) {
      const std::vector<double> expected = fresh_rates(s);
      std::vector<double> RX(static_cast<std::size_t>(nc));
      kept->rates(s.point, s.U.data(), s.U.data(), RX.data());
      EXPECT_EQ(std::memcmp(RX.data(), expected.data(), RX.size() * sizeof(double)), 0)
          << "rates differ at t " << s.point.t_days << " x " << s.point.x;
    };
    for (int round = 0; round < 8; ++round) {
      // Two points visited in turn, so that each is met again after the
      // other has been evaluated, and every constituent of each changed in
      // turn (the change of one undone before the next).
      const State a = random_state(), b = random_state();
      check(a), check(b), check(a), check(b);
      for (int c = 0; c < nc; ++c) {
        for (const State& base : {a, b}) {
          State moved = base;
          moved.U[static_cast<std::size_t>(c)] *= 1.0 + 1.0e-3 * (1.0 + unit(rng));
          check(moved);
        }
      }
      // Two constituents changed at once, then the point moved.
      if (nc >= 2) {
        State two = a;
        two.U[0] *= 1.5, two.U[1] *= 0.5;
        check(two);
      }
      State elsewhere = a;
      elsewhere.point.x += 1.0;
      check(elsewhere), check(a);
    }
  }
}

}  // namespace
}  // namespace qz5::kinetics_test
