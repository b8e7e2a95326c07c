#include "model/reaction_kinetics.h"

#include "model/kinetics.h"

namespace qz5 {
namespace {

class BuiltinEvaluator final : public KineticsEvaluator {
 public:
  explicit BuiltinEvaluator(const Inputs& ms) : ms_(ms) {}
  bool rates(const ReactionPoint& p, const double* U, const double* UX, double* RX) override {
    RXNS_QZ5(ms_, p.T, p.XI, kKineticsComponents, U, UX, RX);
    return true;
  }

 private:
  const Inputs& ms_;
};

}  // namespace

BuiltinKinetics::BuiltinKinetics() {
  for (int k = 1; k <= kKineticsComponents; ++k)
    constituents_.push_back({"c" + std::to_string(k), "", true});
}

int BuiltinKinetics::ncomp() const { return kKineticsComponents; }

std::string BuiltinKinetics::check_run(const Inputs& ms) const {
  if (ms.NCOMP == kKineticsComponents) return {};
  return "the built-in kinetics need NCOMP = 6, not " + std::to_string(ms.NCOMP);
}

std::unique_ptr<KineticsEvaluator> BuiltinKinetics::evaluator(const Inputs& ms) const {
  return std::make_unique<BuiltinEvaluator>(ms);
}

const Kinetics& builtin_kinetics() {
  static const BuiltinKinetics instance;
  return instance;
}

}  // namespace qz5
