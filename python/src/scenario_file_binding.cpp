// Scenario files from Python: qz5.Scenario.from_file and Scenario.to_file.
//
// A scenario file (TOML with CSV tables) is read into the same scenario a
// names file gives; a scenario, however it was made, can be written as one.
#include <filesystem>
#include <sstream>

#include <pybind11/stl.h>

#include "binding.h"
#include "results/calendar.h"
#include "scenario_file/to_engine.h"
#include "scenario_file/toml_reader.h"
#include "scenario_file/writers.h"
#include "textio/textio.h"

namespace qz5py {
namespace {

namespace fs = std::filesystem;
namespace sf = qz5::scenario_file;

// "name:unit,..." as --constituents takes it.
std::string constituent_spec(const std::vector<sf::Constituent>& list) {
  std::string spec;
  for (const sf::Constituent& c : list)
    spec += (spec.empty() ? "" : ",") + c.name + (c.unit.empty() ? "" : ":" + c.unit);
  return spec;
}

std::string read_scenario_file(PyScenario& ps, const std::string& path) {
  std::istringstream in;
  std::ostringstream console;
  qz5::Scenario s;
  std::string reference_date;
  std::string names;
  try {
    qz5::Units io(in, console);
    const sf::ScenarioDocument doc = sf::read_scenario_document(fs::absolute(fs::path(path)));
    if (doc.reference_date) reference_date = qz5::results::cf_origin(*doc.reference_date);
    s = sf::to_engine_scenario(doc, io);
    // Declared kinetics name their constituents themselves.
    if (doc.kinetics == nullptr) names = constituent_spec(doc.constituents);
  } catch (const sf::ScenarioFileError& e) {
    raise_qz5("InputError", py::make_tuple(std::string(e.what()), 1, console.str(), path));
  } catch (const qz5::Stop& stop) {
    raise_qz5("InputError", py::make_tuple(stop.text, stop.status, console.str(), path));
  }
  ps.s = std::move(s);
  ps.read_console = console.str();
  ps.names_file = fs::absolute(fs::path(path)).lexically_normal().string();
  ps.changed.clear();
  ps.reference_date = std::move(reference_date);
  ps.constituent_names = std::move(names);
  return ps.read_console;
}

std::vector<std::string> write_scenario_file(const PyScenario& ps, const std::string& path,
                                             const std::string& constituents) {
  const FieldError fault = first_problem(ps.s);
  if (!fault.message.empty()) throw fault;
  std::vector<std::string> written;
  try {
    const bool declared = ps.s.kinetics != nullptr && ps.s.kinetics->declared();
    const std::string& names =
        constituents.empty() && !declared ? ps.constituent_names : constituents;
    sf::ScenarioDocument d = sf::document_from_engine(ps.s, names);
    d.file = fs::absolute(fs::path(path));
    d.output.txc = ps.s.inputs.resolved(ps.s.inputs.FN_TXC);
    for (const fs::path& p : sf::write_scenario_files(d, d.file)) written.push_back(p.string());
  } catch (const sf::ScenarioFileError& e) {
    raise_qz5("InputError", py::make_tuple(std::string(e.what()), 1, std::string(), path));
  } catch (const qz5::Stop& stop) {
    raise_qz5("InputError", py::make_tuple(stop.text, stop.status, std::string(), path));
  }
  return written;
}

}  // namespace

void bind_scenario_files(py::module_& m) {
  m.def("read_scenario_file", &read_scenario_file, py::arg("scenario"), py::arg("path"),
        "Loads a scenario file (TOML) and its tables into the scenario. Raises "
        "qz5.errors.InputError naming the file, line and column of a fault.");
  m.def("write_scenario_file", &write_scenario_file, py::arg("scenario"), py::arg("path"),
        py::arg("constituents") = std::string(),
        "Writes the scenario as a scenario file with its tables as CSV files beside it; "
        "returns the files written.");
  m.def("is_scenario_file", [](const std::string& path) { return sf::is_scenario_file(path); },
        py::arg("path"), "Whether the file is a scenario file rather than a names file.");
}

}  // namespace qz5py
