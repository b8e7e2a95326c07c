// The Python binding of qz5: shared declarations of the extension module.
//
// A Python scenario is a qz5::Scenario plus what the binding needs beside
// it: the console lines its reader wrote. Every model-state field is exposed
// under its own name in lower case (NPTS as `npts`, RXPAR as `rxpar`), in the
// units the model state keeps it in (times in model units, tables as the
// readers fill them). The field table below is the one place that knows how
// a field is read, written and checked; the properties, pickling and the
// run-time check all go through it.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/scenario.h"

namespace qz5py {

namespace py = pybind11;

struct PyScenario {
  qz5::Scenario s;
  std::string read_console;  // what the reader wrote while loading the names file
  std::string names_file;    // the names file it was read from ("" when built in code)
  // Fields set from Python since it was read: the files named in a run's
  // record no longer tell the whole input.
  std::set<std::string> changed;
  // Day 0 of the times as a date ("2024-01-01 00:00:00"), from a scenario
  // file's reference_date: a run's time coordinates are then days since it.
  // "" for plain days.
  std::string reference_date;
  // The constituents a scenario file names for the built-in kinetics,
  // "name:unit,...": a run's variables take these names unless the run
  // gives others. "" when read from a names file or built in code.
  std::string constituent_names;
};

// One field of a scenario as Python sees it. `set` is empty for a field
// derived from others (ntimes, cbnd0, ...). With `check` false a setter only
// converts and stores (restoring a pickled scenario); with it true it refuses
// a bad value by throwing FieldError, naming the field.
struct Field {
  std::string name;
  std::string doc;
  std::function<py::object(const PyScenario&)> get;
  std::function<void(PyScenario&, py::handle, bool check)> set;
};

// A value refused for a field; becomes qz5.ScenarioError in Python.
struct FieldError : std::runtime_error {
  FieldError() : std::runtime_error("") {}
  FieldError(std::string f, std::string m)
      : std::runtime_error(m), field(std::move(f)), message(std::move(m)) {}
  std::string field;
  std::string message;  // "<field>: <what is wrong>"
};

// Every field, in an order in which they can be set one after another
// (dimensions before the tables sized by them).
const std::vector<Field>& scenario_fields();

// Checks a whole scenario before a run: the relations between fields that a
// setter alone cannot see (a table's width against NCOMP, times that must
// increase) and values written into arrays in place. Returns the first fault
// as a FieldError with an empty message when there is none.
FieldError first_problem(const qz5::Scenario& s);

// Replace the lateral inputs, or variable driver 1, as a whole (their sizes
// may change); check everything before storing anything.
void set_lateral_inputs(PyScenario& ps, py::handle x_lat, py::handle q_lat, py::handle lat_tab,
                        py::handle k_lat);
void set_driver(PyScenario& ps, py::handle t_drv, py::handle v_drv);

// Recomputes the boundaries' start values CBND0 from the boundary table at
// TSTART, as the boundary loader does after reading its file.
void refresh_boundary_start(qz5::Scenario& s);

// Raises the Python exception class `name` of qz5.errors, built from args.
[[noreturn]] void raise_qz5(const char* name, const py::tuple& args);

// Adds read_scenario_file, write_scenario_file and is_scenario_file.
void bind_scenario_files(py::module_& m);

}  // namespace qz5py
