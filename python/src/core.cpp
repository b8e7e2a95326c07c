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
#include <mutex>
#include <optional>
#include <sstream>

#include "binding.h"
#include "engine/engine.h"
#include "engine/version.h"

namespace qz5py {
namespace {

namespace fs = std::filesystem;

// The names inside a names file are relative to the working directory, as
// for the executable; a scenario read from Python takes them relative to the
// names file's own folder. The reader runs there, under this lock (the
// working directory is the process's), and the names are then made absolute
// so that nothing read later (the initial profile) depends on it.
std::mutex g_cwd_mutex;

class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& dir) : previous_(fs::current_path()) {
    if (!dir.empty()) fs::current_path(dir);
  }
  ~WorkingDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  fs::path previous_;
};

std::string trimmed(const std::string& s) {
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

void make_absolute(std::string& name, const fs::path& dir) {
  const std::string t = trimmed(name);
  if (t.empty() || fs::path(t).is_absolute()) return;
  name = (dir / t).lexically_normal().string();
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

std::string read_names_file(PyScenario& ps, const std::string& path) {
  fs::path p = fs::absolute(fs::path(path));
  fs::path dir = p.parent_path();
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
    std::lock_guard<std::mutex> lock(g_cwd_mutex);
    WorkingDirectory here(dir);
    qz5::Units io(in, console);
    s = qz5::read_scenario(io, dir.empty() ? p.string() : p.filename().string());
  } catch (const qz5::Stop& stop) {
    const std::string text = console.str();
    raise_qz5("InputError",
              py::make_tuple(stop.text + console_tail(text, 6), stop.status, text, path));
  } catch (const fs::filesystem_error& e) {
    raise_qz5("InputError", py::make_tuple(std::string("cannot read ") + path + ": " + e.what(),
                                           1, std::string(), path));
  }
  qz5::ModelState& ms = s.inputs;
  for (std::string* n : {&ms.FN_PRM, &ms.FN_LI, &ms.FN_BND, &ms.FN_T, &ms.FN_UT0, &ms.FN_TXC})
    make_absolute(*n, dir);
  for (int k = 1; k <= ms.NDRV; ++k) make_absolute(ms.FN_DRV(k), dir);
  ps.s = std::move(s);
  ps.read_console = console.str();
  return ps.read_console;
}

// --- one run -------------------------------------------------------------------

// What a run saw, kept for the Python side: every saved profile (the start
// and each output time, or the time reached on a failure), the integrator's
// counters after each, and with observe_steps the grid after every step.
class Collector : public qz5::Observer {
 public:
  void on_start(const qz5::RunContext& ctx, const qz5::Snapshot& s) override {
    npts_ = s.npts;
    ncomp_ = s.ncomp;
    (void)ctx;
    keep(s);
    idid_.push_back(0);
    stats_.push_back({});
    steps_t_.push_back(s.t);
    steps_x_.insert(steps_x_.end(), s.x, s.x + s.npts);
  }
  void on_step(const qz5::StepInfo&, const qz5::Snapshot& s) override {
    steps_t_.push_back(s.t);
    steps_x_.insert(steps_x_.end(), s.x, s.x + s.npts);
  }
  void on_output(int, int idid, const qz5::Snapshot& s,
                 const qz5::IntegratorStatistics& st) override {
    keep(s);
    idid_.push_back(idid);
    stats_.push_back(st);
  }

  py::dict to_python() const {
    const py::ssize_t nt = static_cast<py::ssize_t>(t_.size());
    py::dict d;
    d["npts"] = npts_;
    d["ncomp"] = ncomp_;
    d["time"] = py::array_t<double>(nt, t_.data());
    d["x"] = py::array_t<double>({nt, static_cast<py::ssize_t>(npts_)}, x_.data());
    d["c"] = py::array_t<double>(
        {nt, static_cast<py::ssize_t>(npts_), static_cast<py::ssize_t>(ncomp_)}, c_.data());
    d["idid"] = py::array_t<int>(nt, idid_.data());
    std::vector<int> cols;
    for (const auto& st : stats_)
      cols.insert(cols.end(), {st.steps, st.residuals, st.matrices, st.error_test_failures,
                               st.convergence_failures});
    d["statistics"] = py::array_t<int>({nt, static_cast<py::ssize_t>(5)}, cols.data());
    const py::ssize_t ns = static_cast<py::ssize_t>(steps_t_.size());
    d["step_time"] = py::array_t<double>(ns, steps_t_.data());
    d["step_x"] = py::array_t<double>({ns, static_cast<py::ssize_t>(npts_)}, steps_x_.data());
    return d;
  }

 private:
  void keep(const qz5::Snapshot& s) {
    t_.push_back(s.t);
    x_.insert(x_.end(), s.x, s.x + s.npts);
    c_.insert(c_.end(), s.c, s.c + static_cast<std::size_t>(s.npts) * s.ncomp);
  }
  int npts_ = 0, ncomp_ = 0;
  std::vector<double> t_, x_, c_;
  std::vector<int> idid_;
  std::vector<qz5::IntegratorStatistics> stats_;
  std::vector<double> steps_t_, steps_x_;
};

struct RunArgs {
  std::optional<double> rtol, atol, tau, kappa, alpha;
  long max_steps_per_interval = qz5::kDefaultMaxStepsPerInterval;
  bool observe_steps = false;
  bool legacy_capacities = false;
};

qz5::RunOptions options_of(const RunArgs& a) {
  qz5::RunOptions o;
  o.rtol = a.rtol;
  o.atol = a.atol;
  o.tau = a.tau;
  o.kappa = a.kappa;
  o.alpha = a.alpha;
  o.max_steps_per_interval = a.max_steps_per_interval;
  o.observe_steps = a.observe_steps;
  if (a.legacy_capacities) o.capacities = qz5::Capacities{};
  return o;
}

void check_before_run(const PyScenario& ps, const RunArgs& a) {
  const FieldError e = validate(ps.s);
  if (!e.message.empty()) throw e;
  for (const auto& [name, v] : {std::pair<const char*, std::optional<double>>{"rtol", a.rtol},
                                {"atol", a.atol},
                                {"tau", a.tau},
                                {"kappa", a.kappa},
                                {"alpha", a.alpha}})
    if (v && !(std::isfinite(*v) && *v >= 0.0))
      throw FieldError{name, std::string(name) + ": must be finite and not negative"};
  if (a.max_steps_per_interval < 1)
    throw FieldError{"max_steps_per_interval", "max_steps_per_interval: must be at least 1"};
}

py::dict summary_to_python(const qz5::Summary& sum) {
  py::dict d;
  d["status"] = sum.status;
  d["message"] = sum.message;
  d["idid"] = sum.idid;
  d["t_reached"] = sum.t_reached;
  d["outputs_done"] = sum.outputs_done;
  d["console"] = sum.console;
  d["failure"] = sum.status == 0 ? std::string() : sum.message + console_tail(sum.console, 6);
  return d;
}

// Runs the scenario with the GIL released; returns the collected results and
// the summary in one dict. Never raises for a failed run (the summary says);
// raises ScenarioError for a field the run cannot start with.
py::dict run(const PyScenario& ps, const RunArgs& args) {
  check_before_run(ps, args);
  // The run works on its own copy, so that Python threads may change the
  // scenario while it runs.
  const qz5::Scenario scenario = ps.s;
  const qz5::RunOptions options = options_of(args);
  Collector collector;
  qz5::Summary sum;
  double seconds = 0.0;
  {
    py::gil_scoped_release released;
    const auto t0 = std::chrono::steady_clock::now();
    sum = qz5::run_scenario(scenario, options, &collector);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  py::dict d = collector.to_python();
  d["summary"] = summary_to_python(sum);
  d["engine_seconds"] = seconds;
  return d;
}

// The engine alone, for measuring what the Python side adds: `repeat` runs
// without an observer; returns the seconds of each.
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

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const FieldError& e) {
      py::object cls = py::module_::import("qz5.errors").attr("ScenarioError");
      py::object exc = cls(e.message, e.field);
      PyErr_SetObject(cls.ptr(), exc.ptr());
    }
  });

  py::class_<PyScenario> sc(m, "Scenario", py::dynamic_attr());
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
          [fp](PyScenario& ps, py::object v) { fp->set(ps, v, true); });
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
    const FieldError e = validate(ps.s);
    if (!e.message.empty()) throw e;
  });
  sc.def("set_lateral_inputs", &set_lateral_inputs, py::arg("x_lat"), py::arg("q_lat"),
         py::arg("lat_tab"), py::arg("k_lat") = py::none(),
         "Replaces the lateral inputs: positions, flows and the concentration table (and the "
         "switch-on steepness when given); their number may change. Checked as a whole; a "
         "refusal changes nothing.");
  sc.def("set_driver", &set_driver, py::arg("t_drv"), py::arg("v_drv"),
         "Replaces variable driver 1: its times (days) and values; their number may change.");
  sc.def("_set_read_console", [](PyScenario& ps, std::string c) { ps.read_console = std::move(c); });

  m.def("read_names_file", &read_names_file, py::arg("scenario"), py::arg("path"),
        "Loads the names file and every file it names into the scenario; returns the console "
        "lines of the reader. Raises qz5.errors.InputError.");

  py::class_<RunArgs>(m, "RunArgs")
      .def(py::init<>())
      .def_readwrite("rtol", &RunArgs::rtol)
      .def_readwrite("atol", &RunArgs::atol)
      .def_readwrite("tau", &RunArgs::tau)
      .def_readwrite("kappa", &RunArgs::kappa)
      .def_readwrite("alpha", &RunArgs::alpha)
      .def_readwrite("max_steps_per_interval", &RunArgs::max_steps_per_interval)
      .def_readwrite("observe_steps", &RunArgs::observe_steps)
      .def_readwrite("legacy_capacities", &RunArgs::legacy_capacities);
  m.def("run", &run, py::arg("scenario"), py::arg("args"));
  m.def("time_engine", &time_engine, py::arg("scenario"), py::arg("args"), py::arg("repeat"));
}

}  // namespace qz5py
