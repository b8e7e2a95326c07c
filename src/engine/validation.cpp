#include "engine/validation.h"

#include <cmath>
#include <limits>
#include <sstream>
#include <utility>

#include "engine/engine.h"
#include "input/channel_geometry.h"
#include "input/limits.h"
#include "model/kinetics.h"

namespace qz5 {
namespace {

std::string num(double v) {
  std::ostringstream o;
  o << v;
  return o.str();
}

using Fault = std::optional<std::string>;

Fault first_not_finite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i]))
      return "element " + std::to_string(i) + " is not finite: " + num(v[i]);
  return std::nullopt;
}

// The look-ups interpolate between neighbours; a repeated time is a step.
Fault first_decrease(const double* t, int n, int stride) {
  for (int i = 1; i < n; ++i)
    if (t[i * stride] < t[(i - 1) * stride])
      return "times decrease at row " + std::to_string(i) + " (" + num(t[(i - 1) * stride]) +
             " then " + num(t[i * stride]) + ")";
  return std::nullopt;
}

Fault too_few(int rows, int lo, const std::string& what) {
  if (rows < lo)
    return std::to_string(rows) + " " + what + ", at least " + std::to_string(lo) + " needed";
  return std::nullopt;
}

// The kinetics divide by these reaction parameters.
constexpr int kDivisorRxpar[] = {7, 8, 13, 14};

// Collects the problems in the order the checks are made.
class Collector {
 public:
  void check(const std::string& field, const Fault& fault) {
    if (fault) problems_.push_back({field, *fault});
  }
  FieldProblems take() { return std::move(problems_); }

 private:
  FieldProblems problems_;
};

std::vector<double> rows_of(const DynTable1<double>& table, int rows, int cols) {
  std::vector<double> v;
  v.reserve(static_cast<std::size_t>(std::max(rows, 0)) * static_cast<std::size_t>(std::max(cols, 0)));
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) v.push_back(table(r, c));
  return v;
}

// Declared kinetics carry their own constituents and parameters: NCOMP is
// theirs, RXPAR is not used.
const Kinetics* declared_kinetics(const Scenario& s) {
  return s.kinetics != nullptr && s.kinetics->declared() ? s.kinetics.get() : nullptr;
}

void check_dimensions(Collector& c, const Inputs& in, const Kinetics* declared) {
  c.check("ncomp", declared != nullptr ? rules::ncomp(in.NCOMP, declared->ncomp())
                                       : rules::ncomp(in.NCOMP));
  c.check("npts", rules::npts(in.NPTS));
  c.check("info10", rules::info10(in.INFO10));
  for (const auto& [name, v] : {std::pair<const char*, double>{"tunit_model", in.TUNIT_MODEL},
                                {"tunit_day", in.TUNIT_DAY},
                                {"xconv", in.XCONV}})
    c.check(name, rules::positive(v));
  for (const auto& [name, v] : {std::pair<const char*, double>{"tau", in.TAU},
                                {"kappa", in.KAPPA},
                                {"alpha", in.ALPHA},
                                {"atol", in.ATOL},
                                {"rtol", in.RTOL}})
    c.check(name, rules::not_negative(v));
  if (!std::isfinite(in.TSTART)) c.check("tstart", "not finite");
}

void check_factors_and_times(Collector& c, const Inputs& in, const Kinetics* declared) {
  const int ncomp = std::min(std::max(in.NCOMP, 0), kCconvSlots);
  for (int k = 1; k <= ncomp; ++k)
    if (!std::isfinite(in.CCONV(k)) || in.CCONV(k) == 0.0) {
      c.check("cconv", "element " + std::to_string(k - 1) + " must be finite and not zero");
      break;
    }
  if (declared == nullptr) c.check("rxpar", rules::rxpar(in.RXPAR.data(), kNumRxpar));
  if (in.NTIMES < 1) {
    c.check("touts", "no output times");
  } else {
    for (int i = 1; i <= in.NTIMES; ++i)
      if (!std::isfinite(in.TOUTS(i))) {
        c.check("touts", "element " + std::to_string(i - 1) + " is not finite");
        break;
      }
  }
  if (!(std::isfinite(in.XBND(1)) && std::isfinite(in.XBND(2)) && in.XBND(1) < in.XBND(2)))
    c.check("xbnd", "the first boundary must lie before the second");
}

void check_series(Collector& c, const Inputs& in) {
  // The tables' widths follow NCOMP; with NCOMP out of range they cannot be
  // judged (the dimension's own problem says why).
  if (in.NCOMP < 1 || in.NCOMP > kMaxNcomp) return;
  const Boundarys& b = in.boundarys;
  const int bcols = std::min(1 + 2 * in.NCOMP, b.bnd_tab.cols());
  const std::vector<double> bnd = rows_of(b.bnd_tab, b.nbnd_tpts, bcols);
  c.check("bnd_tab", rules::series(bnd.data(), b.nbnd_tpts, bcols, bcols, ""));

  const LoadBest& l = in.load_best;
  if (l.nlat < 0) {
    c.check("nlat", std::to_string(l.nlat) + " lateral inputs");
    return;
  }
  c.check("x_lat", first_not_finite(l.x_lat.data(), l.nlat));
  c.check("q_lat", first_not_finite(l.q_lat.data(), l.nlat));
  if (!std::isfinite(l.k_lat)) c.check("k_lat", "not finite");
  const int lcols = std::min(1 + in.NCOMP * l.nlat, l.lat_tab.cols());
  const std::vector<double> lat = rows_of(l.lat_tab, l.nlat_tpts, lcols);
  c.check("lat_tab", rules::series(lat.data(), l.nlat_tpts, lcols, lcols, ""));

  if (in.NDRV != 1) c.check("ndrv", "must be 1, not " + std::to_string(in.NDRV));
  const VarDrv& d = in.var_drv;
  c.check("t_drv", rules::driver(d.t_drv.data(), d.npts_drv(1), d.v_drv.data(), d.npts_drv(1)));
}

}  // namespace

namespace rules {

Fault ncomp(long long v, int declared) {
  if (v != declared)
    return "is " + std::to_string(v) + ", the kinetics declare " + std::to_string(declared) +
           " constituents";
  return std::nullopt;
}

Fault ncomp(long long v) {
  if (v != kKineticsComponents)
    return "must be 6, not " + std::to_string(v) +
           ": the reaction kinetics are written for six constituents";
  return std::nullopt;
}

Fault npts(long long v) {
  if (v < 3) return "at least 3 grid points needed, not " + std::to_string(v);
  if (v > std::numeric_limits<int>::max() / 64)
    return std::to_string(v) + " grid points exceed what can be addressed";
  return std::nullopt;
}

Fault info10(long long v) {
  if (v != 0 && v != 1) return "must be 0 or 1, not " + std::to_string(v);
  return std::nullopt;
}

Fault positive(double v) {
  if (!std::isfinite(v)) return "not finite: " + num(v);
  if (!(v > 0.0)) return "must be positive, not " + num(v);
  return std::nullopt;
}

Fault not_negative(double v) {
  if (!std::isfinite(v)) return "not finite: " + num(v);
  if (!(v >= 0.0)) return "must not be negative, not " + num(v);
  return std::nullopt;
}

Fault rxpar(const double* rx, int n) {
  for (int k = 1; k <= n; ++k)
    if (!std::isfinite(rx[k - 1])) return "RXPAR(" + std::to_string(k) + ") is not finite";
  for (const int k : kDivisorRxpar)
    if (k <= n && rx[k - 1] == 0.0)
      return "RXPAR(" + std::to_string(k) + ") must not be zero: the kinetics divide by it";
  return std::nullopt;
}

Fault series(const double* v, int rows, int cols, int cols_needed, const std::string& width_why) {
  if (cols != cols_needed)
    return std::to_string(cols) + " columns given, " + std::to_string(cols_needed) + " needed (" +
           width_why + ")";
  if (Fault f = too_few(rows, 2, "time points")) return f;
  if (Fault f = first_not_finite(v, rows * cols)) return f;
  return first_decrease(v, rows, cols);
}

Fault driver(const double* t, int nt, const double* v, int nv) {
  if (nt != nv)
    return "t_drv has " + std::to_string(nt) + " points, v_drv " + std::to_string(nv);
  if (Fault f = too_few(nt, 2, "driver points")) return f;
  if (Fault f = first_not_finite(t, nt)) return f;
  if (Fault f = first_not_finite(v, nv)) return f;
  return first_decrease(t, nt, 1);
}

}  // namespace rules

FieldProblems validate(const Scenario& scenario) {
  Collector c;
  const Inputs& in = scenario.inputs;
  const Kinetics* declared = declared_kinetics(scenario);
  check_dimensions(c, in, declared);
  check_factors_and_times(c, in, declared);
  check_series(c, in);
  // What the kinetics need of the run (forcings covering its times, tables
  // covering the reach), once NCOMP fits them.
  if (declared != nullptr && in.NCOMP == declared->ncomp()) {
    const std::string fault = declared->check_run(in);
    if (!fault.empty()) c.check("kinetics", fault);
  }
  if (!scenario.geometry.empty()) {
    const std::string fault = check_geometry(scenario.geometry);
    if (!fault.empty()) c.check("geometry", fault);
  }
  return c.take();
}

FieldProblems RunOptions::validate() const {
  Collector c;
  for (const auto& [name, v] : {std::pair<const char*, const std::optional<double>*>{"rtol", &rtol},
                                {"atol", &atol},
                                {"tau", &tau},
                                {"kappa", &kappa},
                                {"alpha", &alpha},
                                {"position_rtol", &position_rtol},
                                {"position_atol", &position_atol}})
    if (v->has_value() && rules::not_negative(**v)) c.check(name, "must be finite and not negative");
  if (exact_jacobian && (exact_sources || averaged_channel))
    c.check("exact_jacobian", "is not available with interval means (exact sources or an averaged channel)");
  if (max_steps_per_interval < 0)
    c.check("max_steps_per_interval", "must not be negative (0: the default)");
  return c.take();
}

}  // namespace qz5
