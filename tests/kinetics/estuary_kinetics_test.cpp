// The built-in kinetics declared in examples/kinetics/estuary.toml give the
// built-in rates: at random states, and in the bundled run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "kinetics/kinetics_test_util.h"
#include "model/kinetics.h"

namespace qz5::kinetics_test {
namespace {

// RXPAR(k) from the parameter descriptions of the declared file, which say
// which reaction parameter each one is.
void rxpar_from_descriptions(const DeclaredKinetics& k, Inputs& ms) {
  int found = 0;
  for (const KineticsParameter& p : k.parameters()) {
    int index = 0;
    ASSERT_EQ(std::sscanf(p.description.c_str(), "RXPAR(%d)", &index), 1) << p.name;
    ms.RXPAR(index) = p.value;
    ++found;
  }
  EXPECT_EQ(found, 18);  // all but RXPAR(2), which the kinetics do not use
}

TEST(EstuaryKinetics, DeclaredRatesEqualTheBuiltInOnesAtRandomStates) {
  const auto declared =
      DeclaredKinetics::read_file(repo_root() / "examples" / "kinetics" / "estuary.toml");
  ASSERT_EQ(declared->ncomp(), 6);
  Inputs ms;
  ms.NCOMP = 6;
  rxpar_from_descriptions(*declared, ms);
  std::mt19937_64 rng(20261207);
  std::uniform_real_distribution<double> exponent(-6.0, 3.0), factor(0.5, 2.0);
  std::uniform_int_distribution<int> pick(0, 9);
  for (int k = 1; k <= 6; ++k) ms.CCONV(k) = factor(rng);
  auto ev = declared->evaluator(ms);
  const int states = 100000;
  long identical = 0;
  double worst = 0.0;
  for (int s = 0; s < states; ++s) {
    double U[6], UX[6] = {0, 0, 0, 0, 0, 0};
    // Concentrations over nine decades, now and then exactly zero.
    for (double& u : U) u = pick(rng) == 0 ? 0.0 : std::pow(10.0, exponent(rng));
    double built_in[6], from_file[6];
    RXNS_QZ5(ms, 0.0, 0.0, 6, U, UX, built_in);
    ASSERT_TRUE(ev->rates(ReactionPoint{}, U, UX, from_file));
    double scale = 0.0;
    for (double r : built_in) scale = std::max(scale, std::abs(r));
    for (int k = 0; k < 6; ++k) {
      identical += std::memcmp(&built_in[k], &from_file[k], sizeof(double)) == 0 ? 1 : 0;
      if (scale > 0.0) worst = std::max(worst, std::abs(built_in[k] - from_file[k]) / scale);
    }
  }
  std::printf("declared estuary kinetics: %ld of %d rates identical bit for bit, largest "
              "difference %.3e of the largest rate\n",
              identical, 6 * states, worst);
  EXPECT_LE(worst, 1e-14);
  // Every expression keeps the built-in order of operations: nothing may
  // differ in the last bit.
  EXPECT_EQ(identical, 6L * states);
}

}  // namespace
}  // namespace qz5::kinetics_test
