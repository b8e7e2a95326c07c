// Declared kinetics as Python sees them (qz5.Kinetics): an immutable value;
// changing a parameter gives a new one.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "binding.h"
#include "engine/scenario.h"
#include "kinetics/declared_kinetics.h"

namespace qz5py {

struct PyKinetics {
  std::shared_ptr<const qz5::DeclaredKinetics> k;
  PyKinetics with_parameter(const std::string& name, double value) const;
  PyKinetics with_table(const std::string& name, const std::vector<double>& x,
                        const std::vector<double>& v) const;
};

// The scenario's declared kinetics, or nothing for the built-in ones.
std::optional<PyKinetics> scenario_kinetics(const qz5::Scenario& s);
// Attaches (or, with nothing, removes) declared kinetics.
void set_scenario_kinetics(qz5::Scenario& s, const std::optional<PyKinetics>& k);

void bind_kinetics(py::module_& m);

}  // namespace qz5py
