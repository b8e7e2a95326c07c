// qz5._core: the engine as a Python extension module.
//
// The Python package (python/qz5) builds its xarray results, plots,
// ensembles and calibration on three things from here: the Scenario class
// with every field of the model state, the reader of a names file, and one
// run of the engine. The engine never ends the process; its failures come
// back as Python exceptions of qz5.errors carrying the system's message and
// console. The GIL is released while the engine runs, so Python threads can
// run scenarios side by side.
#include <pybind11/stl.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>

#include "binding.h"
#include "kinetics_binding.h"
#include "engine/engine.h"
#include "engine/version.h"
#include "results/file_clash.h"
#include "results/recorder.h"
#include "results/stop_check.h"
#ifdef QZ5_HAVE_NETCDF
#include "netcdf/netcdf_sink.h"
#endif

namespace qz5py {
namespace {

namespace fs = std::filesystem;

std::string trimmed(const std::string& s) {
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// A scenario read from Python takes the names inside a names file relative
// to the names file's own folder; they are then shown absolute, so that the
// scenario says where its files are wherever it travels.
void make_absolute(fs::path& name, const fs::path& dir) {
  if (name.empty() || name.is_absolute()) return;
  name = (dir / name).lexically_normal();
}

// The last lines of a console text, for an exception's message.
std::string console_tail(const std::string& console, int lines) {
  std::vector<std::string> all;
  std::istringstream in(console);
  for (std::string l; std::getline(in, l);)
    if (!trimmed(l).empty()) all.push_back(trimmed(l));
  std::string out;
  const std::size_t first = all.size() > static_cast<std::size_t>(lines) ? all.size() - lines : 0;
  for (std::size_t i = first; i < all.size(); ++i) out += "\n" + all[i];
  return out;
}

bool is_utf8(std::string_view s) {
  const PyObject* decoded = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "strict");
  if (decoded == nullptr) {
    PyErr_Clear();
    return false;
  }
  Py_DECREF(decoded);
  return true;
}

// Python holds texts as Unicode; a names file naming a file in other bytes
// is refused as an input error instead of failing later in a decoder.
void require_utf8_names(const qz5::Inputs& ms, const std::string& path,
                        const std::string& console) {
  std::vector<std::pair<const char*, const fs::path*>> names = {
      {"parameter", &ms.FN_PRM}, {"lateral-input", &ms.FN_LI}, {"boundary", &ms.FN_BND},
      {"output-times", &ms.FN_T}, {"initial-profile", &ms.FN_UT0}, {"concentration", &ms.FN_TXC}};
  for (int k = 1; k <= ms.NDRV; ++k) names.push_back({"driver", &ms.FN_DRV(k)});
  for (const auto& [role, name] : names) {
    if (is_utf8(name->native())) continue;
    raise_qz5("InputError",
              py::make_tuple(path + ": the " + std::string(role) +
                                 " file's name is not UTF-8 text, which Python cannot hold",
                             1, py::bytes(console).attr("decode")("utf-8", "replace"), path));
  }
}

// strict: "off", "warn" or "error", as the executable's --strict. The names
// inside the names file are read against base_folder, or, when it is empty,
// against the names file's own folder.
std::string read_names_file(PyScenario& ps, const std::string& path,
                            const std::optional<PyKinetics>& kinetics, const std::string& strict,
                            const std::string& base_folder) {
  if (strict != "off" && strict != "warn" && strict != "error")
    throw py::value_error("strict takes off, warn or error, not " + strict);
  fs::path p = fs::absolute(fs::path(path));
  fs::path dir = base_folder.empty() ? p.parent_path() : fs::absolute(fs::path(base_folder));
  std::error_code missing;
  if (!fs::is_directory(dir, missing)) {
    // No folder to read in: the reader names the file it cannot open.
    dir.clear();
    p = fs::path(path);
  }
  std::istringstream in;
  std::ostringstream console;
  qz5::Scenario s;
  try {
    qz5::Units io(in, console);
    io.set_strict_reading(strict == "warn"    ? qz5::StrictReading::kWarn
                          : strict == "error" ? qz5::StrictReading::kError
                                              : qz5::StrictReading::kOff);
    qz5::ScenarioReadOptions options;
    options.legacy_limits = false;
    options.base_folder = dir;
    if (kinetics) options.kinetics = kinetics->k;
    s = qz5::read_scenario(io, dir.empty() || !base_folder.empty() ? p : p.filename(), options);
  } catch (const qz5::Stop& stop) {
    const std::string text = console.str();
    raise_qz5("InputError",
              py::make_tuple(stop.text + console_tail(text, 6), stop.status, text, path));
  } catch (const fs::filesystem_error& e) {
    raise_qz5("InputError", py::make_tuple(std::string("cannot read ") + path + ": " + e.what(),
                                           1, std::string(), path));
  }
  qz5::Inputs& ms = s.inputs;
  require_utf8_names(ms, path, console.str());
  for (fs::path* n : {&ms.FN_PRM, &ms.FN_LI, &ms.FN_BND, &ms.FN_T, &ms.FN_UT0, &ms.FN_TXC})
    make_absolute(*n, dir);
  for (int k = 1; k <= ms.NDRV; ++k) make_absolute(ms.FN_DRV(k), dir);
  ps.s = std::move(s);
  ps.read_console = console.str();
  ps.names_file = p.lexically_normal().string();
  ps.changed.clear();
  ps.reference_date.clear();
  ps.constituent_names.clear();
  return ps.read_console;
}

// --- one run -------------------------------------------------------------------

// The record as plain Python values: the dimensions in order, every variable
// with its dimensions, attributes and values shaped as the dimensions say,
// and the global attributes. Integer attributes stay integers (NC_INT in the
// file), reals reals, texts texts.
py::object attribute_value(const qz5::results::AttributeValue& v) {
  if (const auto* t = std::get_if<std::string>(&v)) return py::str(*t);
  if (const auto* d = std::get_if<double>(&v)) return py::float_(*d);
  return py::int_(std::get<long long>(v));
}

py::dict attributes_of(const std::vector<qz5::results::Attribute>& list) {
  py::dict d;
  for (const auto& a : list) d[a.name.c_str()] = attribute_value(a.value);
  return d;
}

py::dict record_to_python(const qz5::results::RunRecord& r) {
  py::list dims;
  for (const auto& d : r.dimensions) dims.append(py::make_tuple(d.name, d.size, d.unlimited));
  py::list vars;
  for (const auto& v : r.variables) {
    std::vector<py::ssize_t> shape;
    for (const std::size_t n : r.shape(v)) shape.push_back(static_cast<py::ssize_t>(n));
    py::object data;
    if (v.is_text) {
      // Text values (the budget's term names): an array of Python strings,
      // as xarray reads a NetCDF string variable.
      py::list items;
      for (const std::string& text : v.strings) items.append(py::str(text));
      data = py::module_::import("numpy")
                 .attr("array")(items, py::arg("dtype") = "O")
                 .attr("reshape")(py::tuple(py::cast(shape)));
    } else {
      py::array_t<double> values(shape);
      std::copy(v.data.begin(), v.data.end(), values.mutable_data());
      data = values;
    }
    vars.append(py::make_tuple(v.name, py::tuple(py::cast(v.dimensions)), attributes_of(v.attributes),
                               data));
  }
  py::dict d;
  d["dimensions"] = dims;
  d["variables"] = vars;
  d["attributes"] = attributes_of(r.attributes);
  return d;
}

struct RunArgs {
  std::optional<double> rtol, atol, tau, kappa, alpha;
  long max_steps_per_interval = 0;  // 0: the engine's default for the grid
  std::string nonnegative = "clip";  // INFO10 = 1: "clip" (legacy) or "project"
  std::string jacobian = "differences";  // or "exact"
  std::string position_increments = "magnitude";  // or "spacing"
  bool position_error_test = true;  // false: the positions left out of the error test
  std::string sources = "midpoint";      // or "exact"
  std::string channel = "sampled";       // or "averaged"
  std::optional<double> position_rtol, position_atol;  // tolerances of the positions alone
  bool observe_steps = false;
  bool legacy_capacities = false;
  // What to record.
  bool profiles = true;
  std::vector<double> stations;
  bool budget = false;
  std::string constituents;  // "name:unit,..." or a file of such; "" generic
  std::string length_unit;   // "" the record's default
  std::string path;          // also write the NetCDF file here ("" not)
};

// Global attributes the binding adds to a run's record: what the input
// files do not tell (the fields changed from Python).
std::vector<qz5::results::Attribute> binding_attributes(const PyScenario& ps) {
  if (ps.changed.empty()) return {};
  std::string list;
  for (const std::string& f : ps.changed) list += (list.empty() ? "" : ", ") + f;
  return {{"changed_from_inputs", list}};
}

#ifdef QZ5_HAVE_NETCDF
// The executable's NetCDF writer, given the record with the binding's
// attributes added, so that the file and the Dataset agree.
class FileSink : public qz5::results::RecordSink {
 public:
  FileSink(const std::string& path, std::vector<qz5::results::Attribute> extra)
      : file_(path), extra_(std::move(extra)) {}
  const std::string& error() const { return file_.error(); }
  void begin(const qz5::results::RunRecord& r) override { file_.begin(with_extra(r)); }
  void update(const qz5::results::RunRecord& r) override { file_.update(with_extra(r)); }
  void end(const qz5::results::RunRecord& r) override { file_.end(with_extra(r)); }

 private:
  const qz5::results::RunRecord& with_extra(const qz5::results::RunRecord& r) {
    if (extra_.empty()) return r;
    copy_ = r;
    for (const auto& a : extra_) copy_.set_attribute(a.name, a.value);
    return copy_;
  }
  qz5::netcdf::NetcdfSink file_;
  std::vector<qz5::results::Attribute> extra_;
  qz5::results::RunRecord copy_;
};
#endif

qz5::RunOptions options_of(const RunArgs& a) {
  qz5::RunOptions o;
  o.rtol = a.rtol;
  o.atol = a.atol;
  o.tau = a.tau;
  o.kappa = a.kappa;
  o.alpha = a.alpha;
  o.max_steps_per_interval = a.max_steps_per_interval;
  o.project_negative = a.nonnegative == "project";
  o.exact_jacobian = a.jacobian == "exact";
  o.spaced_position_increments = a.position_increments == "spacing";
  o.positions_out_of_error_test = !a.position_error_test;
  o.exact_sources = a.sources == "exact";
  o.averaged_channel = a.channel == "averaged";
  o.position_rtol = a.position_rtol;
  o.position_atol = a.position_atol;
  // Station series and the budget are sampled after every accepted step.
  o.observe_steps = a.observe_steps || !a.stations.empty() || a.budget;
  if (a.legacy_capacities) o.capacities = qz5::Capacities{};
  return o;
}

qz5::results::RecorderOptions recorder_options(const PyScenario& ps, const RunArgs& a) {
  qz5::results::RecorderOptions r;
  r.profiles = a.profiles;
  r.stations = a.stations;
  r.budget = a.budget;
  if (!a.constituents.empty() && ps.s.kinetics != nullptr && ps.s.kinetics->declared())
    throw FieldError{"constituents",
                     "constituents: cannot be given with declared kinetics, which name the "
                     "constituents"};
  const bool declared = ps.s.kinetics != nullptr && ps.s.kinetics->declared();
  if (!a.constituents.empty()) {
    qz5::results::ConstituentList list = qz5::results::read_constituents(a.constituents);
    if (!list.error.empty()) throw FieldError{"constituents", "constituents: " + list.error};
    r.constituents = std::move(list.items);
  } else if (!ps.constituent_names.empty() && !declared) {
    // The names the scenario file gave; declared kinetics set since name their own.
    qz5::results::ConstituentList list = qz5::results::parse_constituents(ps.constituent_names);
    if (!list.error.empty()) throw FieldError{"constituents", "constituents: " + list.error};
    r.constituents = std::move(list.items);
  }
  if (!a.length_unit.empty()) r.length_unit = a.length_unit;
  if (!ps.names_file.empty()) r.extra_inputs.push_back({"names", ps.names_file});
  r.reference_date = ps.reference_date;
  return r;
}

// The engine's own rules, first problem first, as the run would find them.
void check_before_run(const PyScenario& ps, const RunArgs& a) {
  const FieldError e = first_problem(ps.s);
  if (!e.message.empty()) throw e;
  const qz5::FieldProblems problems = options_of(a).validate();
  if (!problems.empty()) throw FieldError{problems.front().field, problems.front().text()};
  for (const double x : a.stations)
    if (!std::isfinite(x)) throw FieldError{"stations", "stations: a position is not finite"};
  if (a.jacobian != "differences" && a.jacobian != "exact")
    throw FieldError{"jacobian", "jacobian: differences or exact, not " + a.jacobian};
  if (a.position_increments != "magnitude" && a.position_increments != "spacing")
    throw FieldError{"position_increments",
                     "position_increments: magnitude or spacing, not " + a.position_increments};
  if (a.sources != "midpoint" && a.sources != "exact")
    throw FieldError{"sources", "sources: midpoint or exact, not " + a.sources};
  if (a.channel != "sampled" && a.channel != "averaged")
    throw FieldError{"channel", "channel: sampled or averaged, not " + a.channel};
  if (a.nonnegative != "clip" && a.nonnegative != "project")
    throw FieldError{"nonnegative", "nonnegative: clip or project, not " + a.nonnegative};
}

py::dict summary_to_python(const qz5::Summary& sum) {
  py::dict d;
  const qz5::LegacyEnding ending = qz5::legacy_ending(sum);
  d["status"] = ending.status;
  d["message"] = ending.text;
  d["outcome"] = std::string(qz5::to_string(sum.outcome));
  d["idid"] = sum.idid;
  d["t_reached"] = sum.t_reached;
  d["outputs_done"] = sum.outputs_done;
  d["console"] = sum.console;
  d["failure"] = sum.completed() ? std::string() : ending.text + console_tail(sum.console, 6);
  return d;
}

// Runs the scenario with the GIL released and returns its record, the
// summary and the seconds the engine took. Never raises for a failed run
// (the summary says); raises ScenarioError for a field or a recording
// option the run cannot start with.
py::dict run(const PyScenario& ps, const RunArgs& args) {
  check_before_run(ps, args);
  const qz5::results::RecorderOptions rec_options = recorder_options(ps, args);
  const qz5::FieldProblems refused = qz5::results::Recorder::problems(rec_options, ps.s);
  if (!refused.empty()) throw FieldError{refused.front().field, refused.front().text()};
  // The run works on its own copy, so that Python threads may change the
  // scenario while it runs.
  const qz5::Scenario scenario = ps.s;
  const qz5::RunOptions options = options_of(args);
  qz5::results::Recorder recorder(rec_options);
  const std::vector<qz5::results::Attribute> extra = binding_attributes(ps);
#ifdef QZ5_HAVE_NETCDF
  std::unique_ptr<FileSink> file;
  if (!args.path.empty()) {
    // The file must not replace an input of the run or its names file.
    std::vector<qz5::results::RoleFile> files = qz5::results::scenario_files(ps.s);
    files.push_back({"the names file", ps.names_file, false});
    files.push_back({"path", args.path, true});
    if (const std::string clash = qz5::results::find_file_clash(files); !clash.empty())
      throw FieldError{"path", "path: " + clash};
    file = std::make_unique<FileSink>(args.path, extra);
    if (!file->error().empty()) throw FieldError{"path", "path: " + file->error()};
    recorder.add_sink(file.get());
  }
#else
  if (!args.path.empty())
    throw FieldError{"path", "path: this build of qz5 writes no NetCDF files itself"};
#endif
  // Ctrl-C reaches the interpreter as a flag only its own thread acts on;
  // between steps the run takes the GIL a moment to look (PyErr_CheckSignals
  // runs the handler there and does nothing in other threads). The
  // KeyboardInterrupt is raised again, with the partial Dataset, in Python.
  qz5::results::StopCheck interruptible([] {
    py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() == 0) return false;
    PyErr_Clear();
    return true;
  });
  qz5::RunOptions observed = options;
  observed.observe_steps = true;
  qz5::Summary sum;
  double seconds = 0.0;
  {
    py::gil_scoped_release released;
    const auto t0 = std::chrono::steady_clock::now();
    sum = qz5::run_scenario(scenario, observed, {&recorder, &interruptible});
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    recorder.finish(sum);
  }
  py::dict d;
  d["record"] = record_to_python(recorder.record());
  for (const auto& a : extra)
    d["record"]["attributes"][a.name.c_str()] = attribute_value(a.value);
  d["summary"] = summary_to_python(sum);
  d["write_error"] = std::string();
#ifdef QZ5_HAVE_NETCDF
  if (file) d["write_error"] = file->error();
#endif
  d["engine_seconds"] = seconds;
  d["interrupted"] = interruptible.stopped();
  return d;
}

// The engine alone, for measuring what the Python side adds: `repeat` runs
// without an observer, the GIL released; returns the seconds of each.
std::vector<double> time_engine(const PyScenario& ps, const RunArgs& args, int repeat) {
  check_before_run(ps, args);
  const qz5::Scenario scenario = ps.s;
  const qz5::RunOptions options = options_of(args);
  std::vector<double> times;
  py::gil_scoped_release released;
  for (int i = 0; i < repeat; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    qz5::run_scenario(scenario, options, nullptr);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return times;
}

}  // namespace

void raise_qz5(const char* name, const py::tuple& args) {
  py::object cls = py::module_::import("qz5.errors").attr(name);
  py::object exc = cls(*args);
  PyErr_SetObject(cls.ptr(), exc.ptr());
  throw py::error_already_set();
}

PYBIND11_MODULE(_core, m) {
  m.doc() = "qz5 engine binding (use the qz5 package, not this module)";
  m.attr("version") = qz5::kVersion;
#ifdef QZ5_HAVE_NETCDF
  m.attr("HAVE_NETCDF") = true;
#else
  m.attr("HAVE_NETCDF") = false;
#endif

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const FieldError& e) {
      py::object cls = py::module_::import("qz5.errors").attr("ScenarioError");
      py::object exc = cls(e.message, e.field);
      PyErr_SetObject(cls.ptr(), exc.ptr());
    }
  });

  py::class_<PyScenario> sc(m, "Scenario");
  sc.def(py::init([]() {
    PyScenario ps;
    // As problem set-up leaves them: one driver, the Cartesian grid.
    ps.s.inputs.NDRV = 1;
    ps.s.inputs.M = 0;
    return ps;
  }));
  sc.def("_copy", [](const PyScenario& ps) { return PyScenario(ps); });
  sc.def_readonly("read_console", &PyScenario::read_console,
                  "What the reader wrote to the console while loading the names file");
  py::list names;
  for (const Field& f : scenario_fields()) {
    names.append(f.name);
    const Field* fp = &f;
    py::cpp_function getter([fp](const PyScenario& ps) { return fp->get(ps); });
    if (f.set) {
      py::cpp_function setter(
          [fp](PyScenario& ps, py::object v) {
            fp->set(ps, v, true);
            ps.changed.insert(fp->name);
          });
      sc.def_property(f.name.c_str(), getter, setter, f.doc.c_str());
    } else {
      sc.def_property_readonly(f.name.c_str(), getter, f.doc.c_str());
    }
  }
  m.attr("FIELDS") = py::tuple(names);
  sc.def("_state", [](const PyScenario& ps) {
    py::dict d;
    for (const Field& f : scenario_fields())
      if (f.set) d[f.name.c_str()] = f.get(ps);
    return d;
  });
  sc.def("_restore", [](PyScenario& ps, const py::dict& d) {
    for (const Field& f : scenario_fields())
      if (f.set && d.contains(f.name.c_str())) f.set(ps, d[f.name.c_str()], false);
  });
  sc.def("_validate", [](const PyScenario& ps) {
    const FieldError e = first_problem(ps.s);
    if (!e.message.empty()) throw e;
  });
  sc.def("set_lateral_inputs", &set_lateral_inputs, py::arg("x_lat"), py::arg("q_lat"),
         py::arg("lat_tab"), py::arg("k_lat") = py::none(),
         "Replaces the lateral inputs: positions, flows and the concentration table (and the "
         "switch-on steepness when given); their number may change. Checked as a whole; a "
         "refusal changes nothing.");
  sc.def("set_driver", &set_driver, py::arg("t_drv"), py::arg("v_drv"),
         "Replaces variable driver 1: its times (days) and values; their number may change.");
  sc.def_readonly("names_file", &PyScenario::names_file,
                  "The names file the scenario was read from (\"\" when built in code)");
  sc.def_property_readonly(
      "changed",
      [](const PyScenario& ps) {
        return py::tuple(py::cast(std::vector<std::string>(ps.changed.begin(), ps.changed.end())));
      },
      "Fields set from Python since the scenario was read, sorted");
  // What pickling carries besides the fields.
  sc.def_readonly("constituent_names", &PyScenario::constituent_names,
                  "The constituents a scenario file names for the built-in kinetics "
                  "(\"salinity:psu,...\"); a run's variables take these names unless it is "
                  "given constituents=; \"\" otherwise");
  sc.def_readonly("reference_date", &PyScenario::reference_date,
                  "Day 0 as a date (\"2024-01-01 00:00:00\"), from a scenario file's "
                  "reference_date: a run's times are then days since it (CF units); \"\" for "
                  "plain days");
  sc.def("_provenance", [](const PyScenario& ps) {
    return py::make_tuple(ps.read_console, ps.names_file,
                          std::vector<std::string>(ps.changed.begin(), ps.changed.end()),
                          ps.reference_date, ps.constituent_names);
  });
  sc.def(
      "_set_provenance",
      [](PyScenario& ps, std::string console, std::string names, std::vector<std::string> changed,
         std::string reference_date, std::string constituent_names) {
        ps.read_console = std::move(console);
        ps.names_file = std::move(names);
        ps.changed = std::set<std::string>(changed.begin(), changed.end());
        ps.reference_date = std::move(reference_date);
        ps.constituent_names = std::move(constituent_names);
      },
      py::arg("console"), py::arg("names"), py::arg("changed"),
      py::arg("reference_date") = std::string(), py::arg("constituent_names") = std::string());

  bind_kinetics(m);
  sc.def_property(
      "_kinetics", [](const PyScenario& ps) { return scenario_kinetics(ps.s); },
      [](PyScenario& ps, const std::optional<PyKinetics>& k) {
        set_scenario_kinetics(ps.s, k);
        ps.changed.insert("kinetics");
      });
  m.def("read_names_file", &read_names_file, py::arg("scenario"), py::arg("path"),
        py::arg("kinetics") = py::none(), py::arg("strict") = std::string("off"),
        py::arg("base_folder") = std::string(),
        "Loads the names file and every file it names into the scenario; the names inside it "
        "are read against base_folder (empty: the names file's folder). Returns the console "
        "lines of the reader (with strict \"warn\", also its warnings of what the free-form "
        "reading may hide). Raises qz5.errors.InputError.");
  bind_scenario_files(m);

  py::class_<RunArgs>(m, "RunArgs")
      .def(py::init<>())
      .def_readwrite("rtol", &RunArgs::rtol)
      .def_readwrite("atol", &RunArgs::atol)
      .def_readwrite("tau", &RunArgs::tau)
      .def_readwrite("kappa", &RunArgs::kappa)
      .def_readwrite("alpha", &RunArgs::alpha)
      .def_readwrite("max_steps_per_interval", &RunArgs::max_steps_per_interval)
      .def_readwrite("nonnegative", &RunArgs::nonnegative)
      .def_readwrite("jacobian", &RunArgs::jacobian)
      .def_readwrite("position_increments", &RunArgs::position_increments)
      .def_readwrite("position_error_test", &RunArgs::position_error_test)
      .def_readwrite("sources", &RunArgs::sources)
      .def_readwrite("channel", &RunArgs::channel)
      .def_readwrite("position_rtol", &RunArgs::position_rtol)
      .def_readwrite("position_atol", &RunArgs::position_atol)
      .def_readwrite("observe_steps", &RunArgs::observe_steps)
      .def_readwrite("legacy_capacities", &RunArgs::legacy_capacities)
      .def_readwrite("profiles", &RunArgs::profiles)
      .def_readwrite("stations", &RunArgs::stations)
      .def_readwrite("budget", &RunArgs::budget)
      .def_readwrite("constituents", &RunArgs::constituents)
      .def_readwrite("length_unit", &RunArgs::length_unit)
      .def_readwrite("path", &RunArgs::path);
  m.def("run", &run, py::arg("scenario"), py::arg("args"));
  m.def("time_engine", &time_engine, py::arg("scenario"), py::arg("args"), py::arg("repeat"));
}

}  // namespace qz5py
