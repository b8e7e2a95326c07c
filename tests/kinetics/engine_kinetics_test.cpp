// The engine with declared kinetics: what it refuses before a run, a rate
// that stops being a number, and runs in two threads.
#include <gtest/gtest.h>

#include <thread>

#include "kinetics/kinetics_test_util.h"

namespace qz5::kinetics_test {
namespace {

constexpr const char* kTwo = R"toml(
[[constituents]]
name = "A"
[[constituents]]
name = "B"
[parameters]
k = 0.1
[rates]
A = "-k * A"
B = "k * A"
)toml";

Scenario two_constituents(const std::string& tag, std::shared_ptr<const Kinetics> k) {
  Reach r;
  r.npts = 21;
  r.left = {1.0, 0.0};
  r.right = {1.0, 0.0};
  r.touts = {1.0, 2.0};
  const fs::path dir = fresh_dir(tag);
  r.write(dir);
  Scenario s = read_with(dir, std::move(k));
  fs::remove_all(dir);
  return s;
}

TEST(EngineWithKinetics, RefusesKineticsThatDoNotFitTheInputs) {
  Scenario s = two_constituents("fit", DeclaredKinetics::read_text(kTwo, "two.toml"));
  struct Case {
    const char* what;
    std::shared_ptr<const Kinetics> kinetics;
    std::string says;
  };
  const Case cases[] = {
      {"three constituents for NCOMP = 2",
       DeclaredKinetics::read_text(
           "[[constituents]]\nname = \"A\"\n[[constituents]]\nname = \"B\"\n[[constituents]]\n"
           "name = \"C\"\n",
           "three.toml"),
       "ncomp: is 2, the kinetics declare 3 constituents"},
      {"the built-in kinetics for NCOMP = 2", nullptr, "ncomp: must be 6, not 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    s.kinetics = c.kinetics;
    // A host program's run: the rules checked before the run, every problem
    // named by its field.
    const Summary sum = run_scenario(s);
    EXPECT_EQ(sum.outcome, Outcome::kBadInput);
    EXPECT_EQ(sum.message.rfind(c.says, 0), 0u) << sum.message;
    // The legacy executable's run (no rules first): the model's own check.
    RunOptions legacy;
    legacy.legacy_answers = true;
    const Summary old = run_scenario(s, legacy);
    EXPECT_NE(old.outcome, Outcome::kCompleted);
    EXPECT_NE(old.console.find("Kinetics::Error, "), std::string::npos) << old.console;
  }
}

TEST(EngineWithKinetics, RefusesForcingsAndTablesThatDoNotCoverTheRun) {
  const fs::path dir = fresh_dir("cover");
  write_file(dir / "short.csv", "time,T\n0,10\n1.5,12\n");
  const std::string forcing = std::string(kTwo) + "[forcings]\nT = \"short.csv\"\n";
  const std::string table = std::string(kTwo).replace(
      std::string(kTwo).find("k = 0.1"), 7, "k = 0.1\nd = { table = [[2000, 1], [9000, 2]] }");
  const std::pair<std::string, std::string> cases[] = {
      {forcing, "forcing T (short.csv) covers days 0 .. 1.5, the run needs 0 .. 2"},
      {table, "parameter d has a table over 2000 .. 9000, the reach is 1000 .. 20000"},
  };
  for (const auto& [text, says] : cases) {
    SCOPED_TRACE(says);
    const Scenario s =
        two_constituents("cover", DeclaredKinetics::read_text(text, "two.toml", dir));
    const Summary sum = run_scenario(s);
    EXPECT_EQ(sum.outcome, Outcome::kBadInput);
    EXPECT_EQ(sum.message, "kinetics: " + says);
  }
  fs::remove_all(dir);
}

TEST(EngineWithKinetics, RateThatIsNotANumberFailsTheIntegration) {
  // Finite until day 0.5, then not a number: the residual is illegal from
  // there on and the integrator gives up (an integration failure), with the first output
  // time not reached.
  const auto k = DeclaredKinetics::read_text(
      "[[constituents]]\nname = \"A\"\n[[constituents]]\nname = \"B\"\n[rates]\n"
      "A = \"t < 0.5 ? -0.1 * A : sqrt(-1)\"\n",
      "nan.toml");
  Summary sum;
  run_all(two_constituents("nan", k), &sum);
  EXPECT_EQ(sum.outcome, Outcome::kIntegrationFailure) << sum.message << "\n" << sum.console;
  EXPECT_LT(sum.idid, 0);
  EXPECT_EQ(sum.outputs_done, 0);
  EXPECT_NEAR(sum.t_reached, 0.5, 0.01);
}

TEST(EngineWithKinetics, RunsInTwoThreadsGiveTheSameProfiles) {
  const Scenario s = two_constituents("threads", DeclaredKinetics::read_text(kTwo, "two.toml"));
  const std::vector<Profile> alone = run_all(s);
  std::vector<Profile> a, b;
  std::thread ta([&] { a = run_all(s); });
  std::thread tb([&] { b = run_all(s); });
  ta.join();
  tb.join();
  ASSERT_EQ(a.size(), alone.size());
  ASSERT_EQ(b.size(), alone.size());
  for (std::size_t i = 0; i < alone.size(); ++i) {
    EXPECT_EQ(a[i].c, alone[i].c);
    EXPECT_EQ(b[i].c, alone[i].c);
  }
  // A and B only exchange: their sum is the tracer-like inflow value, 1.
  const Profile& p = alone.back();
  for (std::size_t j = 0; j < p.x.size(); ++j)
    EXPECT_NEAR(p.at(static_cast<int>(j), 0) + p.at(static_cast<int>(j), 1), 1.0, 1e-6);
}

}  // namespace
}  // namespace qz5::kinetics_test

namespace qz5::kinetics_test {
namespace {

TEST(EngineWithKinetics, MatrixFromDerivativesGivesTheSameRunAsByDifferences) {
  // Declared rates have their derivatives formed by differences of the
  // evaluator; a constituent that does not move has no flux terms. Both
  // matrices only steer Newton's iteration: the runs agree to the
  // integration's tolerance (RTOL 1e-8). The exchange is stiff (rates of tens
  // per day over days), so a matrix without the reactions'
  // derivatives slows Newton's iteration and the steps.
  const auto k = DeclaredKinetics::read_text(
      "[[constituents]]\nname = \"A\"\n[[constituents]]\nname = \"S\"\ntransported = false\n"
      "[rates]\nA = \"-50 * A * A / (1 + A) + 20 * S\"\nS = \"50 * A * A / (1 + A) - 20 * S\"\n",
      "two.toml");
  const Scenario s = two_constituents("derivatives", k);
  RunOptions exact;
  exact.exact_jacobian = true;
  Keeper by_differences, by_derivatives;
  const Summary a = run_scenario(s, {}, &by_differences);
  const Summary b = run_scenario(s, exact, &by_derivatives);
  ASSERT_TRUE(a.completed()) << a.message << "\n" << a.console;
  ASSERT_TRUE(b.completed()) << b.message;
  const Profile& p = by_differences.profiles.back();
  const Profile& q = by_derivatives.profiles.back();
  double worst = 0.0;
  for (std::size_t i = 0; i < p.c.size(); ++i) worst = std::max(worst, std::abs(p.c[i] - q.c[i]));
  std::printf("declared kinetics, matrix from derivatives against by differences: %.2e "
              "(%d against %d steps, %d against %d convergence failures)\n",
              worst, b.statistics.steps, a.statistics.steps, b.statistics.convergence_failures,
              a.statistics.convergence_failures);
  EXPECT_LT(worst, 1e-5);
  // With the reactions' derivatives left out (planted) it took 334 steps
  // against 294 and failed to converge once.
  EXPECT_LE(b.statistics.steps, a.statistics.steps + a.statistics.steps / 20);
  EXPECT_LE(b.statistics.convergence_failures, a.statistics.convergence_failures);
}

}  // namespace
}  // namespace qz5::kinetics_test
