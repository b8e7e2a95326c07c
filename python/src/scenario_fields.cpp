// The scenario's fields as Python sees them: conversion, the checks made
// when a value is set, and the checks of the whole scenario before a run.
//
// Arrays are handed out as read-only copies: a scenario is changed by
// assigning a whole field (or through Scenario.set), so that every change
// passes its check and none is lost on a temporary copy.
#include <cmath>
#include <limits>
#include <optional>
#include <filesystem>
#include <sstream>

#include "binding.h"
#include "input/channel_geometry.h"
#include "input/limits.h"
#include "engine/validation.h"

namespace qz5py {
namespace {

using qz5::Inputs;
using qz5::Scenario;

[[noreturn]] void refuse(const std::string& field, const std::string& what) {
  throw FieldError{field, field + ": " + what};
}

std::string num(double v) {
  std::ostringstream o;
  o << v;
  return o.str();
}

py::array_t<double> read_only(py::array_t<double> a) {
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

py::array_t<double> vector_out(const double* p, int n) {
  py::array_t<double> a(n);
  for (int i = 0; i < n; ++i) a.mutable_at(i) = p[i];
  return read_only(a);
}

// Values of a 1-based table column-major storage `at(r, c)`, rows x cols, as
// a row-major numpy array.
template <typename At>
py::array_t<double> table_out(int rows, int cols, At at) {
  py::array_t<double> a({rows, cols});
  auto m = a.mutable_unchecked<2>();
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) m(r, c) = at(r + 1, c + 1);
  return read_only(a);
}

double to_real(py::handle h, const std::string& field) {
  try {
    return py::cast<double>(h);
  } catch (const py::cast_error&) {
    refuse(field, "not a number");
  }
}

long long to_integer(py::handle h, const std::string& field) {
  // A float with an integral value is accepted (1.0 for 1); 1.5 is not.
  double v = 0.0;
  try {
    v = py::cast<double>(h);
  } catch (const py::cast_error&) {
    refuse(field, "not an integer");
  }
  if (!std::isfinite(v) || v != std::floor(v) || std::fabs(v) > 2147483647.0)
    refuse(field, "not an integer: " + num(v));
  return static_cast<long long>(v);
}

bool to_bool(py::handle h, const std::string& field) {
  if (py::isinstance<py::bool_>(h)) return h.cast<bool>();
  const long long v = to_integer(h, field);
  if (v != 0 && v != 1) refuse(field, "not a logical (True/False): " + std::to_string(v));
  return v != 0;
}

std::string to_text(py::handle h, const std::string& field) {
  if (!py::isinstance<py::str>(h)) refuse(field, "not a text");
  return h.cast<std::string>();
}

std::vector<double> to_vector(py::handle h, const std::string& field) {
  // Casting would drop the imaginary parts with no more than a warning.
  if (const py::array raw = py::array::ensure(h); raw && raw.dtype().kind() == 'c')
    refuse(field, "complex numbers given; the values must be real");
  py::array_t<double, py::array::c_style | py::array::forcecast> a;
  try {
    a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(h);
  } catch (const py::error_already_set&) {
  }
  if (!a || a.ndim() > 1) refuse(field, "not a one-dimensional array of numbers");
  if (a.ndim() == 0) refuse(field, "a single number given where an array is needed");
  return std::vector<double>(a.data(), a.data() + a.size());
}

struct Matrix {
  int rows = 0, cols = 0;
  std::vector<double> v;  // row-major
  double operator()(int r, int c) const { return v[static_cast<std::size_t>(r * cols + c)]; }
};

Matrix to_matrix(py::handle h, const std::string& field) {
  py::array_t<double, py::array::c_style | py::array::forcecast> a;
  try {
    a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(h);
  } catch (const py::error_already_set&) {
  }
  if (!a || a.ndim() != 2) refuse(field, "not a two-dimensional array of numbers");
  Matrix m;
  m.rows = static_cast<int>(a.shape(0));
  m.cols = static_cast<int>(a.shape(1));
  m.v.assign(a.data(), a.data() + a.size());
  return m;
}

void require_finite(const std::vector<double>& v, const std::string& field) {
  for (std::size_t i = 0; i < v.size(); ++i)
    if (!std::isfinite(v[i]))
      refuse(field, "element " + std::to_string(i) + " is not finite: " + num(v[i]));
}

void require_length(const std::vector<double>& v, std::size_t n, const std::string& field,
                    const std::string& why) {
  if (v.size() != n)
    refuse(field, std::to_string(v.size()) + " values given, " + std::to_string(n) + " needed (" +
                      why + ")");
}

void require_rows(int rows, int lo, int hi, const std::string& field, const std::string& what) {
  if (rows < lo) refuse(field, std::to_string(rows) + " " + what + ", at least " +
                                   std::to_string(lo) + " needed");
  if (rows > hi) refuse(field, std::to_string(rows) + " " + what + ", at most " +
                                   std::to_string(hi) + " fit the table");
}

void check_rxpar(const double* rx, const std::string& field) {
  if (const auto fault = qz5::rules::rxpar(rx, qz5::kNumRxpar)) refuse(field, *fault);
}

// --- field builders ----------------------------------------------------------

Field real_field(std::string name, std::string doc, double Inputs::*p,
                 std::function<void(double, const std::string&)> rule = nullptr,
                 bool refresh_bnd = false) {
  Field f{name, std::move(doc), nullptr, nullptr};
  f.get = [p](const PyScenario& ps) { return py::cast(ps.s.inputs.*p); };
  f.set = [p, name, rule, refresh_bnd](PyScenario& ps, py::handle h, bool check) {
    const double v = to_real(h, name);
    if (check) {
      if (!std::isfinite(v)) refuse(name, "not finite: " + num(v));
      if (rule) rule(v, name);
    }
    ps.s.inputs.*p = v;
    if (check && refresh_bnd) refresh_boundary_start(ps.s);
  };
  return f;
}

// A setter's check through the engine's rule of the field.
template <class T>
std::function<void(T, const std::string&)> engine_rule(std::optional<std::string> (*rule)(T)) {
  return [rule](T v, const std::string& name) {
    if (const auto fault = rule(v)) refuse(name, *fault);
  };
}

void positive(double v, const std::string& name) { engine_rule(qz5::rules::positive)(v, name); }
void non_negative(double v, const std::string& name) {
  engine_rule(qz5::rules::not_negative)(v, name);
}

Field int_field(std::string name, std::string doc, int Inputs::*p,
                std::function<void(long long, const std::string&)> rule) {
  Field f{name, std::move(doc), nullptr, nullptr};
  f.get = [p](const PyScenario& ps) { return py::cast(ps.s.inputs.*p); };
  f.set = [p, name, rule](PyScenario& ps, py::handle h, bool check) {
    const long long v = to_integer(h, name);
    if (check && rule) rule(v, name);
    ps.s.inputs.*p = static_cast<int>(v);
  };
  return f;
}

Field bool_field(std::string name, std::string doc, bool Inputs::*p) {
  Field f{name, std::move(doc), nullptr, nullptr};
  f.get = [p](const PyScenario& ps) { return py::cast(ps.s.inputs.*p); };
  f.set = [p, name](PyScenario& ps, py::handle h, bool) { ps.s.inputs.*p = to_bool(h, name); };
  return f;
}

std::string trimmed(const std::string& s) {
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// A file name set from Python is made absolute at once: a run reads the
// initial profile (and the record hashes the inputs) later, perhaps in
// another thread, and the working directory is the whole process's.
std::filesystem::path file_name(py::handle h, const std::string& field, bool check) {
  const std::filesystem::path t = trimmed(to_text(h, field));
  if (check && !t.empty() && t.is_relative()) return std::filesystem::absolute(t).lexically_normal();
  return t;
}

Field name_field(std::string name, std::string doc, std::filesystem::path Inputs::*p) {
  Field f{name, std::move(doc), nullptr, nullptr};
  f.get = [p](const PyScenario& ps) { return py::cast((ps.s.inputs.*p).string()); };
  f.set = [p, name](PyScenario& ps, py::handle h, bool check) {
    ps.s.inputs.*p = file_name(h, name, check);
  };
  return f;
}

Field read_only_field(std::string name, std::string doc,
                      std::function<py::object(const PyScenario&)> get) {
  return Field{std::move(name), std::move(doc), std::move(get), nullptr};
}

// --- the tables ----------------------------------------------------------------

// Memory is the only limit of a scenario built from Python.
constexpr int kNoLimit = std::numeric_limits<int>::max();

void grow_lateral_inputs(qz5::LoadBest& l, int nlat) {
  if (nlat <= l.x_lat.size()) return;
  l.x_lat.resize(nlat);
  l.q_lat.resize(nlat);
}

int bnd_cols(const Inputs& ms) { return 1 + 2 * ms.NCOMP; }
int lat_cols(const Inputs& ms) { return 1 + ms.NCOMP * ms.load_best.nlat; }

// The tables start at the legacy capacities and grow to what is stored.
void store_bnd_tab(Inputs& ms, const Matrix& m) {
  auto& b = ms.boundarys;
  if (m.rows > b.bnd_tab.rows() || m.cols > b.bnd_tab.cols())
    b.bnd_tab.resize(std::max(m.rows, b.bnd_tab.rows()), std::max(m.cols, b.bnd_tab.cols()));
  for (int r = 0; r < m.rows; ++r)
    for (int c = 0; c < m.cols; ++c) b.bnd_tab(r + 1, c + 1) = m(r, c);
  b.nbnd_tpts = m.rows;
}

void store_lat_tab(Inputs& ms, const Matrix& m) {
  auto& l = ms.load_best;
  if (m.rows > l.lat_tab.rows() || m.cols > l.lat_tab.cols())
    l.lat_tab.resize(std::max(m.rows, l.lat_tab.rows()), std::max(m.cols, l.lat_tab.cols()));
  for (int r = 0; r < m.rows; ++r)
    for (int c = 0; c < m.cols; ++c) l.lat_tab(r + 1, c + 1) = m(r, c);
  l.nlat_tpts = m.rows;
}

void store_driver(Inputs& ms, const std::vector<double>& t, const std::vector<double>& v) {
  auto& d = ms.var_drv;
  const int n = static_cast<int>(t.size());
  if (n > d.t_drv.size()) {
    d.t_drv.resize(n);
    d.v_drv.resize(n);
  }
  for (int i = 0; i < n; ++i) {
    d.t_drv(i + 1) = t[static_cast<std::size_t>(i)];
    d.v_drv(i + 1) = v[static_cast<std::size_t>(i)];
  }
  d.npts_drv(1) = n;
}

// The engine's rules of a series table and of a driver.
void check_table(const Matrix& m, int cols, const std::string& field, const std::string& width_why) {
  if (const auto fault = qz5::rules::series(m.v.data(), m.rows, m.cols, cols, width_why))
    refuse(field, *fault);
}

void check_driver(const std::vector<double>& t, const std::vector<double>& v,
                  const std::string& field) {
  if (const auto fault = qz5::rules::driver(t.data(), static_cast<int>(t.size()), v.data(),
                                            static_cast<int>(v.size())))
    refuse(field, *fault);
}

std::vector<double> driver_times(const Inputs& ms) {
  const auto& d = ms.var_drv;
  return std::vector<double>(d.t_drv.data(), d.t_drv.data() + d.npts_drv(1));
}
std::vector<double> driver_values(const Inputs& ms) {
  const auto& d = ms.var_drv;
  return std::vector<double>(d.v_drv.data(), d.v_drv.data() + d.npts_drv(1));
}

std::vector<Field> build_fields() {
  std::vector<Field> f;
  // Dimensions and switches.
  f.push_back(int_field("ncomp", "NCOMP: constituents per grid point (6)", &Inputs::NCOMP,
                        engine_rule(qz5::rules::ncomp)));
  f.push_back(int_field("npts", "NPTS: grid points", &Inputs::NPTS,
                        engine_rule(qz5::rules::npts)));
  f.push_back(int_field("m", "M: polar parameter of the grid (0: Cartesian slab)", &Inputs::M,
                        [](long long v, const std::string& n) {
                          if (v < 0) refuse(n, "must not be negative, not " + std::to_string(v));
                        }));
  f.push_back(int_field("info10", "INFO10: 1 keeps the solution non-negative, 0 does not",
                        &Inputs::INFO10, engine_rule(qz5::rules::info10)));
  f.push_back(bool_field("use_ut0", "USE_UT0: initial profile from the file fn_ut0, else linear "
                                    "between the boundaries' start values",
                         &Inputs::USE_UT0));
  f.push_back(bool_field("li_from_bnd",
                         "LI_FROM_BND: lateral inputs carry the first boundary's concentrations",
                         &Inputs::LI_FROM_BND));
  // Units.
  f.push_back(real_field("tunit_model", "TUNIT_MODEL: the time-unit pair, model side",
                         &Inputs::TUNIT_MODEL, positive, true));
  f.push_back(real_field("tunit_day", "TUNIT_DAY: the time-unit pair, day side",
                         &Inputs::TUNIT_DAY, positive, true));
  f.push_back(real_field("xconv", "XCONV: file position per model position", &Inputs::XCONV,
                         positive));
  {
    Field c{"cconv", "CCONV(1..NCOMP): file concentration per model concentration", nullptr,
            nullptr};
    c.get = [](const PyScenario& ps) {
      return py::object(vector_out(ps.s.inputs.CCONV.data(), ps.s.inputs.NCOMP));
    };
    c.set = [](PyScenario& ps, py::handle h, bool check) {
      const std::vector<double> v = to_vector(h, "cconv");
      Inputs& ms = ps.s.inputs;
      if (check) {
        require_length(v, static_cast<std::size_t>(ms.NCOMP), "cconv", "one per constituent");
        require_finite(v, "cconv");
        for (std::size_t i = 0; i < v.size(); ++i)
          if (v[i] == 0.0) refuse("cconv", "element " + std::to_string(i) + " is zero");
      }
      if (v.size() > static_cast<std::size_t>(qz5::kCconvSlots)) refuse("cconv", "too many values");
      for (std::size_t i = 0; i < v.size(); ++i) ms.CCONV(static_cast<int>(i) + 1) = v[i];
    };
    f.push_back(c);
  }
  // Grid and tolerances.
  f.push_back(real_field("tau", "TAU: time smoothing of the moving grid, model time units",
                         &Inputs::TAU, non_negative));
  f.push_back(real_field("kappa", "KAPPA: spatial smoothing of the moving grid",
                         &Inputs::KAPPA, non_negative));
  f.push_back(real_field("alpha", "ALPHA: floor of the grid monitor", &Inputs::ALPHA,
                         non_negative));
  f.push_back(real_field("atol", "ATOL: absolute error tolerance", &Inputs::ATOL,
                         non_negative));
  f.push_back(real_field("rtol", "RTOL: relative error tolerance", &Inputs::RTOL,
                         non_negative));
  {
    Field r{"rxpar", "RXPAR(1..19): the reaction parameters", nullptr, nullptr};
    r.get = [](const PyScenario& ps) {
      return py::object(vector_out(ps.s.inputs.RXPAR.data(), qz5::kNumRxpar));
    };
    r.set = [](PyScenario& ps, py::handle h, bool check) {
      const std::vector<double> v = to_vector(h, "rxpar");
      require_length(v, qz5::kNumRxpar, "rxpar", "the 19 reaction parameters");
      if (check) check_rxpar(v.data(), "rxpar");
      for (int k = 1; k <= qz5::kNumRxpar; ++k) ps.s.inputs.RXPAR(k) = v[static_cast<std::size_t>(k - 1)];
    };
    f.push_back(r);
  }
  // Times.
  f.push_back(real_field("tstart", "TSTART: start time, model time units", &Inputs::TSTART,
                         nullptr, true));
  {
    Field t{"touts", "TOUTS(1..NTIMES): output times, model time units", nullptr, nullptr};
    t.get = [](const PyScenario& ps) {
      return py::object(vector_out(ps.s.inputs.TOUTS.data(), ps.s.inputs.NTIMES));
    };
    t.set = [](PyScenario& ps, py::handle h, bool check) {
      const std::vector<double> v = to_vector(h, "touts");
      require_rows(static_cast<int>(v.size()), check ? 1 : 0, kNoLimit, "touts", "output times");
      if (check) require_finite(v, "touts");
      Inputs& ms = ps.s.inputs;
      if (static_cast<int>(v.size()) > ms.TOUTS.size()) ms.TOUTS.resize(static_cast<int>(v.size()));
      for (std::size_t i = 0; i < v.size(); ++i) ms.TOUTS(static_cast<int>(i) + 1) = v[i];
      ms.NTIMES = static_cast<int>(v.size());
    };
    f.push_back(t);
  }
  f.push_back(read_only_field("ntimes", "NTIMES: number of output times (the length of touts)",
                              [](const PyScenario& ps) { return py::cast(ps.s.inputs.NTIMES); }));
  // Boundary series.
  {
    Field x{"xbnd", "XBND(1..2): positions of the first and second boundary, file length units",
            nullptr, nullptr};
    x.get = [](const PyScenario& ps) { return py::object(vector_out(ps.s.inputs.XBND.data(), 2)); };
    x.set = [](PyScenario& ps, py::handle h, bool check) {
      const std::vector<double> v = to_vector(h, "xbnd");
      require_length(v, 2, "xbnd", "the two ends");
      if (check) {
        require_finite(v, "xbnd");
        if (!(v[0] < v[1]))
          refuse("xbnd", "the first boundary must lie before the second (" + num(v[0]) + ", " +
                             num(v[1]) + ")");
      }
      ps.s.inputs.XBND(1) = v[0];
      ps.s.inputs.XBND(2) = v[1];
    };
    f.push_back(x);
  }
  {
    Field b{"bnd_tab",
            "bnd_tab: boundary series, one row per time point: time (days), the NCOMP "
            "concentrations of the first boundary, then those of the second (file units)",
            nullptr, nullptr};
    b.get = [](const PyScenario& ps) {
      const auto& bs = ps.s.inputs.boundarys;
      return py::object(table_out(bs.nbnd_tpts, bnd_cols(ps.s.inputs),
                                  [&bs](int r, int c) { return bs.bnd_tab(r, c); }));
    };
    b.set = [](PyScenario& ps, py::handle h, bool check) {
      const Matrix m = to_matrix(h, "bnd_tab");
      if (check)
        check_table(m, bnd_cols(ps.s.inputs), "bnd_tab",
                    "time and NCOMP values for each boundary");
      store_bnd_tab(ps.s.inputs, m);
      if (check) refresh_boundary_start(ps.s);
    };
    f.push_back(b);
  }
  f.push_back(read_only_field("nbnd_tpts", "nbnd_tpts: time points of the boundary series",
                              [](const PyScenario& ps) {
                                return py::cast(ps.s.inputs.boundarys.nbnd_tpts);
                              }));
  {
    // Restored with the rest when a pickled scenario is loaded; else derived.
    Field c{"cbnd0",
            "CBND0(k, 1..2): concentrations of both boundaries at the start time (file units), "
            "NCOMP x 2; derived from bnd_tab",
            nullptr, nullptr};
    c.get = [](const PyScenario& ps) {
      const Inputs& ms = ps.s.inputs;
      return py::object(table_out(ms.NCOMP, 2, [&ms](int r, int c) { return ms.CBND0(r, c); }));
    };
    c.set = [](PyScenario& ps, py::handle h, bool check) {
      if (check) refuse("cbnd0", "is derived from bnd_tab at tstart and cannot be set");
      const Matrix m = to_matrix(h, "cbnd0");
      if (m.rows > qz5::kMaxNcomp || m.cols != 2) refuse("cbnd0", "does not fit the table");
      for (int r = 0; r < m.rows; ++r)
        for (int k = 0; k < 2; ++k) ps.s.inputs.CBND0(r + 1, k + 1) = m(r, k);
    };
    f.push_back(c);
  }
  {
    // The profile file as read with the scenario: it travels with the
    // scenario (to ensemble workers too) instead of being read again.
    Field u{"ut0_tab",
            "ut0_tab: the initial profile read from fn_ut0 (used when use_ut0), one row per "
            "grid point: an index, the position (file length units), the NCOMP "
            "concentrations (file units); empty: fn_ut0 is read when the run starts",
            nullptr, nullptr};
    u.get = [](const PyScenario& ps) {
      const Inputs& ms = ps.s.inputs;
      const int cols = ms.NCOMP + 2;
      return py::object(table_out(ms.nut0_groups, cols, [&ms, cols](int r, int c) {
        return ms.ut0_tab[static_cast<std::size_t>((r - 1) * cols + (c - 1))];
      }));
    };
    u.set = [](PyScenario& ps, py::handle h, bool check) {
      const Matrix m = to_matrix(h, "ut0_tab");
      Inputs& ms = ps.s.inputs;
      if (m.rows > 0 && m.cols != ms.NCOMP + 2)
        refuse("ut0_tab", std::to_string(m.cols) + " columns given, " +
                              std::to_string(ms.NCOMP + 2) +
                              " needed (index, position, NCOMP concentrations)");
      if (check) require_finite(m.v, "ut0_tab");
      ms.ut0_tab = m.v;
      ms.nut0_groups = m.rows;
    };
    f.push_back(u);
  }
  // Lateral inputs.
  f.push_back(read_only_field("nlat", "nlat: number of lateral inputs (set with set_lateral_inputs)",
                              [](const PyScenario& ps) {
                                return py::cast(ps.s.inputs.load_best.nlat);
                              }));
  for (const bool is_x : {true, false}) {
    const std::string name = is_x ? "x_lat" : "q_lat";
    Field x{name,
            is_x ? "x_lat: positions of the lateral inputs, file length units"
                 : "q_lat: flows of the lateral inputs, volume per day",
            nullptr, nullptr};
    x.get = [is_x](const PyScenario& ps) {
      const auto& l = ps.s.inputs.load_best;
      return py::object(vector_out(is_x ? l.x_lat.data() : l.q_lat.data(), l.nlat));
    };
    x.set = [is_x, name](PyScenario& ps, py::handle h, bool check) {
      const std::vector<double> v = to_vector(h, name);
      auto& l = ps.s.inputs.load_best;
      if (check) {
        require_length(v, static_cast<std::size_t>(l.nlat), name,
                       "one per lateral input; change their number with set_lateral_inputs");
        require_finite(v, name);
      }
      if (!check) l.nlat = static_cast<int>(v.size());
      grow_lateral_inputs(l, static_cast<int>(v.size()));
      for (std::size_t i = 0; i < v.size(); ++i)
        (is_x ? l.x_lat : l.q_lat)(static_cast<int>(i) + 1) = v[i];
    };
    f.push_back(x);
  }
  {
    Field k{"k_lat", "k_lat: steepness of the switch-on at each lateral input, per file length unit",
            nullptr, nullptr};
    k.get = [](const PyScenario& ps) { return py::cast(ps.s.inputs.load_best.k_lat); };
    k.set = [](PyScenario& ps, py::handle h, bool check) {
      const double v = to_real(h, "k_lat");
      if (check && !std::isfinite(v)) refuse("k_lat", "not finite: " + num(v));
      ps.s.inputs.load_best.k_lat = v;
    };
    f.push_back(k);
  }
  {
    Field t{"lat_tab",
            "lat_tab: concentrations of the lateral inputs, one row per time point: time (days), "
            "then for constituent 1 the value of every input, then constituent 2, ... (file "
            "units): column 1 + l + nlat*(k-1) is input l, constituent k",
            nullptr, nullptr};
    t.get = [](const PyScenario& ps) {
      const auto& l = ps.s.inputs.load_best;
      return py::object(table_out(l.nlat_tpts, lat_cols(ps.s.inputs),
                                  [&l](int r, int c) { return l.lat_tab(r, c); }));
    };
    t.set = [](PyScenario& ps, py::handle h, bool check) {
      const Matrix m = to_matrix(h, "lat_tab");
      if (check)
        check_table(m, lat_cols(ps.s.inputs), "lat_tab",
                    "time and NCOMP values for each lateral input");
      store_lat_tab(ps.s.inputs, m);
    };
    f.push_back(t);
  }
  f.push_back(read_only_field("nlat_tpts", "nlat_tpts: time points of the lateral-input table",
                              [](const PyScenario& ps) {
                                return py::cast(ps.s.inputs.load_best.nlat_tpts);
                              }));
  // Variable driver 1 (it scales every lateral flow).
  f.push_back(read_only_field("ndrv", "NDRV: variable-driver files (1)",
                              [](const PyScenario& ps) { return py::cast(ps.s.inputs.NDRV); }));
  for (const bool is_t : {true, false}) {
    const std::string name = is_t ? "t_drv" : "v_drv";
    Field d{name,
            is_t ? "t_drv: times of variable driver 1, days (change its length with set_driver)"
                 : "v_drv: values of variable driver 1, the factor on every lateral flow",
            nullptr, nullptr};
    d.get = [is_t](const PyScenario& ps) {
      const std::vector<double> v = is_t ? driver_times(ps.s.inputs) : driver_values(ps.s.inputs);
      return py::object(vector_out(v.data(), static_cast<int>(v.size())));
    };
    d.set = [is_t, name](PyScenario& ps, py::handle h, bool check) {
      const std::vector<double> v = to_vector(h, name);
      Inputs& ms = ps.s.inputs;
      std::vector<double> t = is_t ? v : driver_times(ms);
      std::vector<double> val = is_t ? driver_values(ms) : v;
      if (!check) {
        // Restoring: the other column follows with the same length.
        t.resize(v.size());
        val.resize(v.size());
      }
      if (check) {
        require_length(v, static_cast<std::size_t>(ms.var_drv.npts_drv(1)), name,
                       "one per driver point; change their number with set_driver");
        check_driver(t, val, name);
      }
      store_driver(ms, t, val);
    };
    f.push_back(d);
  }
  f.push_back(read_only_field("npts_drv", "npts_drv: points of variable driver 1",
                              [](const PyScenario& ps) {
                                return py::cast(ps.s.inputs.var_drv.npts_drv(1));
                              }));
  // File names (absolute, trailing blanks removed).
  f.push_back(name_field("fn_prm", "FN_PRM: parameter file", &Inputs::FN_PRM));
  f.push_back(name_field("fn_li", "FN_LI: lateral-input file", &Inputs::FN_LI));
  f.push_back(name_field("fn_bnd", "FN_BND: boundary file", &Inputs::FN_BND));
  f.push_back(name_field("fn_t", "FN_T: output-times file", &Inputs::FN_T));
  f.push_back(name_field("fn_ut0",
                         "FN_UT0: initial-profile file, read when the run starts if use_ut0",
                         &Inputs::FN_UT0));
  {
    Field d{"fn_drv", "FN_DRV(1): variable-driver file", nullptr, nullptr};
    d.get = [](const PyScenario& ps) { return py::cast(ps.s.inputs.FN_DRV(1).string()); };
    d.set = [](PyScenario& ps, py::handle h, bool check) {
      ps.s.inputs.FN_DRV(1) = file_name(h, "fn_drv", check);
    };
    f.push_back(d);
  }
  f.push_back(name_field("fn_txc", "FN_TXC: concentration output file of the executable",
                         &Inputs::FN_TXC));
  // The channel and the downstream end.
  {
    Field g{"geometry",
            "geometry: None for the built-in area and dispersion laws, else a table of rows "
            "(position, area, dispersion per day), file units, linearly interpolated",
            nullptr, nullptr};
    g.get = [](const PyScenario& ps) -> py::object {
      const qz5::ChannelGeometry& geo = ps.s.geometry;
      if (geo.empty()) return py::none();
      return py::object(table_out(geo.rows(), 3, [&geo](int r, int c) {
        const std::vector<double>& col = c == 1 ? geo.x : c == 2 ? geo.area : geo.dispersion;
        return col[static_cast<std::size_t>(r - 1)];
      }));
    };
    g.set = [](PyScenario& ps, py::handle h, bool check) {
      qz5::ChannelGeometry geo;
      if (!h.is_none()) {
        const Matrix m = to_matrix(h, "geometry");
        if (m.cols != 3)
          refuse("geometry", std::to_string(m.cols) +
                                 " columns given, 3 needed (position, area, dispersion)");
        for (int r = 0; r < m.rows; ++r) {
          geo.x.push_back(m(r, 0));
          geo.area.push_back(m(r, 1));
          geo.dispersion.push_back(m(r, 2));
        }
        if (check) {
          const std::string fault = qz5::check_geometry(geo);
          if (!fault.empty()) refuse("geometry", fault);
        }
      }
      ps.s.geometry = std::move(geo);
    };
    f.push_back(g);
  }
  {
    Field o{"outflow",
            "outflow: 'fixed' (the second end holds the second boundary's concentrations) or "
            "'free' (the water leaves as it is)",
            nullptr, nullptr};
    o.get = [](const PyScenario& ps) {
      return py::cast(ps.s.outflow == qz5::Outflow::kFree ? "free" : "fixed");
    };
    o.set = [](PyScenario& ps, py::handle h, bool) {
      const std::string v = to_text(h, "outflow");
      if (v == "fixed")
        ps.s.outflow = qz5::Outflow::kFixedConcentration;
      else if (v == "free")
        ps.s.outflow = qz5::Outflow::kFree;
      else
        refuse("outflow", "must be 'fixed' or 'free', not '" + v + "'");
    };
    f.push_back(o);
  }
  {
    Field t{"title", "title of the run", nullptr, nullptr};
    t.get = [](const PyScenario& ps) { return py::cast(ps.s.title); };
    t.set = [](PyScenario& ps, py::handle h, bool) { ps.s.title = to_text(h, "title"); };
    f.push_back(t);
  }
  return f;
}

}  // namespace

const std::vector<Field>& scenario_fields() {
  static const std::vector<Field> fields = build_fields();
  return fields;
}

void set_lateral_inputs(PyScenario& ps, py::handle x_lat, py::handle q_lat, py::handle lat_tab,
                        py::handle k_lat) {
  const std::vector<double> x = to_vector(x_lat, "x_lat");
  const std::vector<double> q = to_vector(q_lat, "q_lat");
  const Matrix m = to_matrix(lat_tab, "lat_tab");
  const double k = k_lat.is_none() ? ps.s.inputs.load_best.k_lat : to_real(k_lat, "k_lat");
  const int nlat = static_cast<int>(x.size());
  // No lateral input at all is a run without inflow.
  require_finite(x, "x_lat");
  require_length(q, x.size(), "q_lat", "one per lateral input");
  require_finite(q, "q_lat");
  if (!std::isfinite(k)) refuse("k_lat", "not finite: " + num(k));
  check_table(m, 1 + ps.s.inputs.NCOMP * nlat, "lat_tab",
              "time and NCOMP values for each lateral input");
  auto& l = ps.s.inputs.load_best;
  grow_lateral_inputs(l, nlat);
  l.nlat = nlat;
  for (int i = 1; i <= nlat; ++i) {
    l.x_lat(i) = x[static_cast<std::size_t>(i - 1)];
    l.q_lat(i) = q[static_cast<std::size_t>(i - 1)];
  }
  l.k_lat = k;
  store_lat_tab(ps.s.inputs, m);
  ps.changed.insert({"x_lat", "q_lat", "lat_tab", "k_lat"});
}

void set_driver(PyScenario& ps, py::handle t_drv, py::handle v_drv) {
  const std::vector<double> t = to_vector(t_drv, "t_drv");
  const std::vector<double> v = to_vector(v_drv, "v_drv");
  check_driver(t, v, "t_drv");
  store_driver(ps.s.inputs, t, v);
  ps.changed.insert({"t_drv", "v_drv"});
}

void refresh_boundary_start(Scenario& s) {
  Inputs& ms = s.inputs;
  auto& b = ms.boundarys;
  if (b.nbnd_tpts < 2 || ms.NCOMP < 1 || ms.NCOMP > qz5::kMaxNcomp) return;
  if (!(ms.TUNIT_MODEL > 0.0) || !(ms.TUNIT_DAY > 0.0)) return;
  // The loader's own look-up, from the first interval as after reading;
  // warnings about a start outside the table go nowhere here: the run
  // repeats them when it starts.
  std::istringstream in;
  std::ostringstream out;
  qz5::Units io(in, out);
  int ilast = 1;
  const double T0 = (ms.TUNIT_DAY * ms.TSTART) / ms.TUNIT_MODEL;
  b.lookup(io, ms, T0, &ms.CBND0(1, 1), &ms.CBND0(1, 2), ilast);
}

// The engine's rules; the first problem, as the setters report one.
FieldError first_problem(const Scenario& s) {
  const qz5::FieldProblems problems = qz5::validate(s);
  if (problems.empty()) return {};
  return FieldError{problems.front().field, problems.front().text()};
}

}  // namespace qz5py
