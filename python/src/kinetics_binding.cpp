// The Python binding of declared kinetics (qz5.Kinetics): read a kinetics
// file or text, look at its declarations, change parameters by name, and
// attach it to a scenario (Scenario.kinetics).
#include "kinetics_binding.h"

#include <pybind11/stl.h>

#include "kinetics/declared_kinetics.h"

namespace qz5py {

namespace {

[[noreturn]] void refuse(const qz5::KineticsError& e, const std::string& path) {
  raise_qz5("InputError", py::make_tuple(std::string(e.what()), 1, std::string(), path));
}

[[noreturn]] void refuse_parameter(const qz5::KineticsError& e) {
  throw FieldError{"parameters", std::string("parameters: ") + e.what()};
}

py::dict parameter_info(const qz5::KineticsParameter& p) {
  py::dict d;
  d["value"] = p.varies() ? py::object(py::none()) : py::object(py::float_(p.value));
  d["unit"] = p.unit;
  d["min"] = p.min;
  d["max"] = p.max;
  d["description"] = p.description;
  if (p.varies()) {
    py::list rows;
    for (std::size_t i = 0; i < p.table_x.size(); ++i)
      rows.append(py::make_tuple(p.table_x[i], p.table_v[i]));
    d["table"] = rows;
  }
  return d;
}

}  // namespace

PyKinetics PyKinetics::with_parameter(const std::string& name, double value) const {
  try {
    return PyKinetics{k->with_parameter(name, value)};
  } catch (const qz5::KineticsError& e) {
    refuse_parameter(e);
  }
}

PyKinetics PyKinetics::with_table(const std::string& name, const std::vector<double>& x,
                                  const std::vector<double>& v) const {
  try {
    return PyKinetics{k->with_table(name, x, v)};
  } catch (const qz5::KineticsError& e) {
    refuse_parameter(e);
  }
}

std::optional<PyKinetics> scenario_kinetics(const qz5::Scenario& s) {
  auto declared = std::dynamic_pointer_cast<const qz5::DeclaredKinetics>(s.kinetics);
  if (!declared) return std::nullopt;
  return PyKinetics{declared};
}

void set_scenario_kinetics(qz5::Scenario& s, const std::optional<PyKinetics>& k) {
  if (k) {
    s.kinetics = k->k;
    s.inputs.kinetics_ncomp = k->k->ncomp();
  } else {
    s.kinetics = nullptr;
    s.inputs.kinetics_ncomp = 0;
  }
}

void bind_kinetics(py::module_& m) {
  py::class_<PyKinetics> k(m, "Kinetics");
  k.def_static(
      "_read_file",
      [](const std::string& path) {
        try {
          return PyKinetics{qz5::DeclaredKinetics::read_file(path)};
        } catch (const qz5::KineticsError& e) {
          refuse(e, path);
        }
      },
      py::arg("path"), "Reads and checks a kinetics file; forcing files are found beside it");
  k.def_static(
      "_read_text",
      [](const std::string& text, const std::string& source, const std::string& folder) {
        try {
          return PyKinetics{qz5::DeclaredKinetics::read_text(text, source, folder)};
        } catch (const qz5::KineticsError& e) {
          refuse(e, source);
        }
      },
      py::arg("text"), py::arg("source"), py::arg("folder"),
      "Reads and checks kinetics from text; `source` names it in messages, forcing files are "
      "found in `folder`");
  k.def_property_readonly("title", [](const PyKinetics& p) { return p.k->title(); },
                          "The title the file gives (\"\" when none)");
  k.def_property_readonly("source", [](const PyKinetics& p) { return p.k->source(); },
                          "The file it was read from (or the name given to the text)");
  k.def_property_readonly("text", [](const PyKinetics& p) { return p.k->text(); },
                          "The text it was read from");
  k.def_property_readonly("folder", [](const PyKinetics& p) { return p.k->folder().string(); },
                          "The folder its forcing files are found in");
  k.def_property_readonly("ncomp", [](const PyKinetics& p) { return p.k->ncomp(); },
                          "The number of constituents (NCOMP of a run with them)");
  k.def_property_readonly(
      "constituents",
      [](const PyKinetics& p) {
        py::list out;
        for (const qz5::ConstituentDecl& c : p.k->constituents()) {
          py::dict d;
          d["name"] = c.name;
          d["unit"] = c.unit;
          d["transported"] = c.transported;
          out.append(d);
        }
        return out;
      },
      "Name, unit and transported flag of constituent 1, 2, ...");
  k.def_property_readonly(
      "parameters",
      [](const PyKinetics& p) {
        py::dict d;
        for (const qz5::KineticsParameter& q : p.k->parameters())
          d[q.name.c_str()] = q.varies() ? py::object(py::none()) : py::object(py::float_(q.value));
        return d;
      },
      "Parameter values by name (None for one that varies along the channel)");
  k.def_property_readonly(
      "parameter_info",
      [](const PyKinetics& p) {
        py::dict d;
        for (const qz5::KineticsParameter& q : p.k->parameters())
          d[q.name.c_str()] = parameter_info(q);
        return d;
      },
      "Every parameter's value, unit, min, max, description (and table)");
  k.def_property_readonly(
      "forcings",
      [](const PyKinetics& p) {
        py::dict d;
        for (const qz5::KineticsForcing& f : p.k->forcings()) d[f.name.c_str()] = f.file;
        return d;
      },
      "The file of each forcing series, by the forcing's name");
  k.def_property_readonly(
      "definitions",
      [](const PyKinetics& p) {
        py::list out;
        for (const qz5::KineticsDefinition& d : p.k->definitions())
          out.append(d.name + " = " + d.expression);
        return out;
      },
      "The definitions as \"name = expression\", in the order they are evaluated");
  k.def_property_readonly(
      "rates",
      [](const PyKinetics& p) {
        py::dict d;
        for (int c = 0; c < p.k->ncomp(); ++c)
          if (!p.k->rate(c).empty())
            d[p.k->constituents()[static_cast<std::size_t>(c)].name.c_str()] = p.k->rate(c);
        return d;
      },
      "The rate expression of each constituent that has one, by its name");
  k.def("with_parameter", &PyKinetics::with_parameter, py::arg("name"), py::arg("value"),
        "A copy with the parameter set; refused (ScenarioError) for an unknown name, a "
        "parameter that varies along the channel or a value outside its min .. max");
  k.def("with_table", &PyKinetics::with_table, py::arg("name"), py::arg("x"), py::arg("v"),
        "A copy with the parameter linear in x between the positions x (increasing) with the "
        "values v; refused (ScenarioError) for an unknown name, no rows, a number that is not "
        "finite, positions that do not increase or a value outside its min .. max");
}

}  // namespace qz5py
