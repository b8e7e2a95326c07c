// The reaction kinetics as the model sees them: an interface it calls once
// per evaluation point for the net reaction rate of every constituent.
//
// A `Kinetics` is the immutable description (how many constituents, their
// names, units and whether they move with the water); it is shared by every
// copy of a scenario and every run. Each run asks it for its own
// `KineticsEvaluator`, which owns whatever scratch the rates need, so runs
// in several threads never share mutable state. Evaluating allocates nothing.
//
// Two implementations: the built-in six-pool kinetics of the estuary model
// (the default, bit for bit the rates of RXNS_QZ5), and kinetics declared in
// a file (src/kinetics).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "input/inputs.h"

namespace qz5 {

struct ConstituentDecl {
  std::string name;          // usable in expressions and as a variable name in files
  std::string unit;          // may be empty
  bool transported = true;   // false: no advection, dispersion, lateral load or end flux
};

// Where and when the rates are wanted, in the units both worlds need.
struct ReactionPoint {
  double T = 0.0;           // model time
  double XI = 0.0;          // model position
  double t_days = 0.0;      // time in days
  double x = 0.0;           // position in file length units
  double area = 0.0;        // cross-section area
  double dispersion = 0.0;  // dispersion coefficient
  double flow = 0.0;        // along-channel flow, volume per day
};

class KineticsEvaluator {
 public:
  virtual ~KineticsEvaluator() = default;
  // RX(1..NCOMP), file concentration units per day, from the model
  // concentrations U(1..NCOMP) and their space derivatives UX. Returns false
  // when a rate is not a finite number (RX then holds what was computed);
  // the built-in kinetics never check and always return true.
  virtual bool rates(const ReactionPoint& p, const double* U, const double* UX, double* RX) = 0;
};

class Kinetics {
 public:
  virtual ~Kinetics() = default;
  // NCOMP of a run with these kinetics.
  virtual int ncomp() const = 0;
  virtual const std::vector<ConstituentDecl>& constituents() const = 0;
  // Whether these are declared kinetics (they name the constituents and the
  // parameter file's reaction parameters are not read).
  virtual bool declared() const = 0;
  // Something about the run's inputs these kinetics cannot work with, or "".
  virtual std::string check_run(const Inputs& ms) const = 0;
  // A new evaluator for one run; it keeps a reference to ms (the unit
  // factors and, for the built-in kinetics, RXPAR), which must outlive it.
  virtual std::unique_ptr<KineticsEvaluator> evaluator(const Inputs& ms) const = 0;
};

// The built-in six-pool kinetics (RXNS_QZ5).
class BuiltinKinetics final : public Kinetics {
 public:
  BuiltinKinetics();
  int ncomp() const override;
  const std::vector<ConstituentDecl>& constituents() const override { return constituents_; }
  bool declared() const override { return false; }
  std::string check_run(const Inputs& ms) const override;
  std::unique_ptr<KineticsEvaluator> evaluator(const Inputs& ms) const override;

 private:
  std::vector<ConstituentDecl> constituents_;  // generic: c1 .. c6, no units
};

// One shared immutable instance of the built-in kinetics.
const Kinetics& builtin_kinetics();

}  // namespace qz5
