#include "results/recorder.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>

#include "engine/run_state.h"
#include "engine/version.h"
#include "model/estuary_model.h"
#include "results/budget.h"
#include "results/sha256.h"
#include "results/stations.h"

namespace qz5::results {
namespace {

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

std::vector<Attribute> attrs(std::initializer_list<Attribute> list) { return list; }

// The time coordinates carry "days" without a reference date: model time
// starts wherever the output-times file says and is not tied to a calendar.
// CF tools then treat them as plain time spans (xarray: timedelta).
// With a reference date they are days since it, in the calendar whose
// arithmetic the scenario's dates follow.
std::vector<Attribute> time_attributes(std::string long_name, const std::string& reference) {
  if (reference.empty())
    return attrs({{"units", std::string("days")},
                  {"long_name", std::move(long_name)},
                  {"standard_name", std::string("time")},
                  {"axis", std::string("T")}});
  return attrs({{"units", "days since " + reference},
                {"calendar", std::string("proleptic_gregorian")},
                {"long_name", std::move(long_name)},
                {"standard_name", std::string("time")},
                {"axis", std::string("T")}});
}

std::vector<Attribute> constituent_attributes(const ConstituentInfo& c, std::string long_name,
                                              std::string coordinates) {
  std::vector<Attribute> a{{"units", c.unit}, {"long_name", std::move(long_name)}};
  if (!c.standard_name.empty()) a.push_back({"standard_name", c.standard_name});
  if (c.transported >= 0)
    a.push_back({"transported", std::string(c.transported != 0 ? "true" : "false")});
  a.push_back({"coordinates", std::move(coordinates)});
  return a;
}

// How to read a budget variable.
constexpr const char* kBudgetComment =
    "Terms, along term (term_name): mass_start, mass_end: integral of A c dX over the reach; "
    "change = mass_end - mass_start; in_left_advective, in_left_dispersive: mass entered "
    "through the first end; out_right_advective, out_right_dispersive: mass left through the "
    "second end; lateral_load: mass brought by the lateral inputs; reaction: net mass made by "
    "reactions; closing_error = change - (in_left_advective + in_left_dispersive - "
    "out_right_advective - out_right_dispersive + lateral_load + reaction); moving_grid: the "
    "part of closing_error that the moving grid's discretisation makes (falls as the grid is "
    "refined), the rest being the error of the time integration; lateral_load_specified: the mass "
    "the lateral inputs specify between the ends (their concentrations times the part of their "
    "flow that switches on inside the reach), of which lateral_load is what the grid receives.";

std::size_t index_of(const RunRecord& r, std::string_view name) {
  for (std::size_t i = 0; i < r.variables.size(); ++i)
    if (r.variables[i].name == name) return i;
  return r.variables.size();
}

}  // namespace

struct Recorder::Impl {
  RecorderOptions options;
  std::vector<RecordSink*> sinks;
  std::vector<ConstituentInfo> constituents;
  bool started = false;
  bool finished = false;
  int ncomp = 0;
  int npts = 0;
  double last_station_time = 0.0;
  bool any_station_sample = false;

  // Indices of the variables the run appends to.
  std::size_t v_time = 0, v_x = 0, v_station_time = 0, v_interval = 0, v_bounds = 0;
  std::vector<std::size_t> v_profile, v_station, v_budget;

  std::optional<StationSampler> stations;
  std::vector<double> station_values;
  std::unique_ptr<BudgetProbe> probe;
  std::optional<BudgetAccumulator> budget;
  BudgetRates rates;
  std::string budget_failure;

  void describe(RunRecord& r, const RunContext& ctx);
  void lay_out(RunRecord& r, const Inputs& ms);
  void sample_stations(RunRecord& r, const Snapshot& s);
  void sample_budget(const Snapshot& s, bool first, int order = 0);
  void close_interval(RunRecord& r);
  void append_profile(RunRecord& r, const Snapshot& s);
  void grow(RunRecord& r, const char* dim) { ++r.dimension(dim)->size; }
  void hand_over(RunRecord& r);
};

Recorder::Recorder(RecorderOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
}

Recorder::~Recorder() = default;

FieldProblems Recorder::problems(const RecorderOptions& options, const Scenario& scenario) {
  FieldProblems found;
  const Inputs& ms = scenario.inputs;
  const double lo = std::min(ms.XBND(1), ms.XBND(2));
  const double hi = std::max(ms.XBND(1), ms.XBND(2));
  for (std::size_t i = 0; i < options.stations.size(); ++i) {
    const double X = options.stations[i];
    if (!(X >= lo && X <= hi)) {
      found.push_back({"stations", "station " + std::to_string(i + 1) + " at " +
                                       std::to_string(X) + " lies outside the reach " +
                                       std::to_string(lo) + " .. " + std::to_string(hi)});
      break;
    }
  }
  if (!options.station_names.empty() && options.station_names.size() != options.stations.size())
    found.push_back({"stations", std::to_string(options.station_names.size()) + " station names for " +
                                     std::to_string(options.stations.size()) + " stations"});
  const ConstituentList full =
      run_constituents(options.constituents, scenario.kinetics.get(), ms.NCOMP);
  if (!full.error.empty()) found.push_back({"constituents", full.error});
  // station_<name> of a constituent "name" would be the names' variable.
  for (const ConstituentInfo& c : full.items)
    if (!options.station_names.empty() && kStationPrefix + c.name == kVarStationName)
      found.push_back({"constituents", "a constituent named " + c.name + " collides with " +
                                           kVarStationName + " when stations are named"});
  return found;
}

std::string Recorder::check(const RecorderOptions& options, const Scenario& scenario) {
  const FieldProblems found = problems(options, scenario);
  return found.empty() ? std::string() : found.front().message;
}

void Recorder::add_sink(RecordSink* sink) { impl_->sinks.push_back(sink); }

void Recorder::Impl::describe(RunRecord& r, const RunContext& ctx) {
  const Inputs& ms = ctx.ms;
  r.set_attribute("Conventions", std::string("CF-1.8"));
  r.set_attribute("title", trimmed(ctx.scenario.title));
  r.set_attribute("source", std::string("qz5 ") + kVersion);
  r.set_attribute("qz5_version", std::string(kVersion));
  r.set_attribute(
      "comment",
      std::string("One-dimensional advection-dispersion-reaction model on a moving grid. ") +
          (options.reference_date.empty()
               ? "Times are days of model time, which has no calendar date. "
               : "Times are days since " + options.reference_date +
                     " (proleptic Gregorian calendar). ") +
          "Values are in the units of the input files (file units).");
  r.set_attribute("NPTS", static_cast<long long>(ms.NPTS));
  r.set_attribute("NCOMP", static_cast<long long>(ms.NCOMP));
  const RunState& run = ctx.state;  // the tolerances in force
  r.set_attribute("RTOL", run.RTOL);
  r.set_attribute("ATOL", run.ATOL);
  r.set_attribute("TAU", run.TAU);
  r.set_attribute("KAPPA", run.KAPPA);
  r.set_attribute("ALPHA", run.ALPHA);
  r.set_attribute("outflow",
                  std::string(ctx.scenario.outflow == Outflow::kFree ? "free" : "fixed"));

  std::vector<InputFile> inputs;
  for (const InputFile& f : options.extra_inputs)
    if (f.role == "names") inputs.push_back(f);
  inputs.push_back({"parameters", ms.FN_PRM.string()});
  inputs.push_back({"lateral_inputs", ms.FN_LI.string()});
  inputs.push_back({"boundaries", ms.FN_BND.string()});
  inputs.push_back({"output_times", ms.FN_T.string()});
  if (ms.USE_UT0) inputs.push_back({"initial_profile", ms.FN_UT0.string()});
  for (int k = 1; k <= ms.NDRV; ++k)
    inputs.push_back(
        {ms.NDRV == 1 ? "driver" : "driver_" + std::to_string(k), ms.FN_DRV(k).string()});
  for (const InputFile& f : options.extra_inputs)
    if (f.role != "names") inputs.push_back(f);
  for (const InputFile& f : inputs) {
    if (f.path.empty()) continue;
    // The name as given; the file where the readers found it.
    const std::string digest = sha256_file(ms.resolved(f.path).string());
    r.set_attribute("input_" + f.role, f.path);
    r.set_attribute("input_" + f.role + "_sha256", digest.empty() ? "unreadable" : digest);
  }
  r.set_attribute("status", std::string("running"));
}

void Recorder::Impl::lay_out(RunRecord& r, const Inputs& ms) {
  const std::string& L = options.length_unit;
  if (options.profiles) {
    r.add_dimension(kDimTime, 0, true);
    r.add_dimension(kDimPoint, static_cast<std::size_t>(npts), false);
    r.add_variable(kVarTime, {kDimTime}, time_attributes("time of the saved profile", options.reference_date));
    r.add_variable(
        kVarX, {kDimTime, kDimPoint},
        attrs({{"units", L},
               {"long_name", std::string("position of the grid point along the channel")}}));
    for (const ConstituentInfo& c : constituents)
      r.add_variable(c.name, {kDimTime, kDimPoint}, constituent_attributes(c, c.long_name, kVarX));
  }
  if (stations) {
    const std::size_t ns = static_cast<std::size_t>(stations->count());
    r.add_dimension(kDimStation, ns, false);
    r.add_dimension(kDimStationTime, 0, true);
    Variable& sx = r.add_variable(
        kVarStationX, {kDimStation},
        attrs({{"units", L},
               {"long_name", std::string("position of the station along the channel")}}));
    sx.data = stations->positions();
    if (!options.station_names.empty()) {
      Variable& names = r.add_variable(kVarStationName, {kDimStation},
                                       attrs({{"long_name", std::string("station name")}}));
      names.is_text = true;
      names.data.clear();
      names.strings = options.station_names;
    }
    std::vector<Attribute> ta = time_attributes("time of the station sample", options.reference_date);
    ta.push_back({"comment", std::string("the start, every accepted integrator step and every "
                                         "output time")});
    r.add_variable(kVarStationTime, {kDimStationTime}, std::move(ta));
    for (const ConstituentInfo& c : constituents) {
      std::vector<Attribute> a =
          constituent_attributes(c, c.long_name + " at the stations", kVarStationX);
      a.push_back({"comment", std::string("linear in position between the two grid points "
                                          "that enclose the station")});
      r.add_variable(kStationPrefix + c.name, {kDimStationTime, kDimStation}, std::move(a));
    }
  }
  if (budget) {
    r.add_dimension(kDimInterval, 0, true);
    r.add_dimension(kDimBounds, 2, false);
    std::vector<Attribute> ia = time_attributes("end of the output interval", options.reference_date);
    ia.push_back({"bounds", std::string(kVarIntervalBounds)});
    r.add_variable(kVarInterval, {kDimInterval}, std::move(ia));
    r.add_variable(kVarIntervalBounds, {kDimInterval, kDimBounds},
                   attrs({{"units", options.reference_date.empty()
                                            ? std::string("days")
                                            : "days since " + options.reference_date},
                          {"long_name", std::string("start and end of the output interval")}}));
    r.add_dimension(kDimTerm, kBudgetTerms, false);
    Variable& names = r.add_variable(
        kVarTermName, {kDimTerm}, attrs({{"long_name", std::string("term of the mass budget")}}));
    names.is_text = true;
    names.data.clear();
    for (const char* t : kBudgetTermNames) names.strings.emplace_back(t);
    for (const ConstituentInfo& c : constituents) {
      r.add_variable(
          std::string(kBudgetPrefix) + c.name, {kDimInterval, kDimTerm},
          attrs({{"units", mass_unit(c.unit, L)},
                 {"long_name", c.long_name + ": mass budget of the reach over the output interval"},
                 {"coordinates", std::string(kVarTermName)},
                 {"comment", std::string(kBudgetComment)}}));
    }
  }
  static_cast<void>(ms);
  // Indices, now that the list is complete.
  v_time = index_of(r, kVarTime);
  v_x = index_of(r, kVarX);
  v_station_time = index_of(r, kVarStationTime);
  v_interval = index_of(r, kVarInterval);
  v_bounds = index_of(r, kVarIntervalBounds);
  for (const ConstituentInfo& c : constituents) {
    v_profile.push_back(index_of(r, c.name));
    v_station.push_back(index_of(r, kStationPrefix + c.name));
    v_budget.push_back(index_of(r, std::string(kBudgetPrefix) + c.name));
  }
}

void Recorder::on_start(const RunContext& ctx, const Snapshot& s) {
  Impl& m = *impl_;
  m.started = true;
  m.ncomp = s.ncomp;
  m.npts = s.npts;
  ConstituentList full = run_constituents(m.options.constituents, ctx.scenario.kinetics.get(), s.ncomp);
  if (!full.error.empty()) full = complete_constituents({}, s.ncomp);  // check() said so before
  m.constituents = std::move(full.items);
  if (!m.options.stations.empty()) {
    m.stations.emplace(m.options.stations, ctx.ms.XBND(1), ctx.ms.XBND(2));
    m.station_values.assign(static_cast<std::size_t>(m.stations->count() * s.ncomp), 0.0);
  }
  if (m.options.budget) {
    m.probe = std::make_unique<BudgetProbe>(ctx);
    m.budget.emplace(s.ncomp);
  }
  m.describe(record_, ctx);
  m.lay_out(record_, ctx.ms);
  for (RecordSink* sink : m.sinks) sink->begin(record_);

  if (m.options.profiles) m.append_profile(record_, s);
  if (m.stations) m.sample_stations(record_, s);
  if (m.budget) m.sample_budget(s, true);
  m.hand_over(record_);
}

void Recorder::on_step(const StepInfo& step, const Snapshot& s) {
  Impl& m = *impl_;
  if (m.stations) m.sample_stations(record_, s);
  if (m.budget) m.sample_budget(s, false, step.order_last);
}

void Recorder::on_output(int, int, const Snapshot& s, const IntegratorStatistics&) {
  Impl& m = *impl_;
  if (m.options.profiles) m.append_profile(record_, s);
  if (m.stations) m.sample_stations(record_, s);
  if (m.budget) {
    m.sample_budget(s, false);
    m.close_interval(record_);
  }
  m.hand_over(record_);
}

void Recorder::Impl::hand_over(RunRecord& r) {
  for (RecordSink* sink : sinks) sink->update(r);
  if (!options.keep_rows) r.drop_held_rows();
}

void Recorder::Impl::append_profile(RunRecord& r, const Snapshot& s) {
  grow(r, kDimTime);
  r.variables[v_time].data.push_back(s.t);
  std::vector<double>& x = r.variables[v_x].data;
  x.insert(x.end(), s.x, s.x + s.npts);
  for (int k = 0; k < s.ncomp; ++k) {
    std::vector<double>& v = r.variables[v_profile[static_cast<std::size_t>(k)]].data;
    for (int j = 0; j < s.npts; ++j) v.push_back(s.c[static_cast<std::ptrdiff_t>(j) * s.ncomp + k]);
  }
}

void Recorder::Impl::sample_stations(RunRecord& r, const Snapshot& s) {
  // A step that lands on an output time is reported twice, as a step and as
  // the output; the output's values (the profile's) replace the step's.
  const std::size_t ns = static_cast<std::size_t>(stations->count());
  const bool repeat = any_station_sample && s.t <= last_station_time;
  any_station_sample = true;
  last_station_time = s.t;
  stations->sample(s, station_values.data());
  if (!repeat) {
    grow(r, kDimStationTime);
    r.variables[v_station_time].data.push_back(s.t);
  }
  for (std::size_t k = 0; k < static_cast<std::size_t>(s.ncomp); ++k) {
    std::vector<double>& v = r.variables[v_station[k]].data;
    const double* row = station_values.data() + k * ns;
    if (repeat) {
      // Unless the sample was written and dropped already.
      if (v.size() >= ns) std::copy(row, row + ns, v.end() - static_cast<std::ptrdiff_t>(ns));
    } else {
      v.insert(v.end(), row, row + ns);
    }
  }
}

void Recorder::Impl::sample_budget(const Snapshot& s, bool first, int order) {
  if (!budget_failure.empty()) return;
  try {
    probe->evaluate(s, rates);
  } catch (const Stop& e) {
    budget_failure =
        "the budget's look-ups stopped at t = " + std::to_string(s.t) + " days: " + e.text;
    return;
  }
  if (first) {
    budget->start(rates);
  } else {
    budget->add(rates, order);
  }
}

void Recorder::Impl::close_interval(RunRecord& r) {
  if (!budget_failure.empty()) return;
  grow(r, kDimInterval);
  r.variables[v_interval].data.push_back(budget->t_end());
  r.variables[v_bounds].data.push_back(budget->t_start());
  r.variables[v_bounds].data.push_back(budget->t_end());
  for (int k = 1; k <= ncomp; ++k) {
    const std::array<double, kBudgetTerms> t = budget->terms(k);
    std::vector<double>& v = r.variables[v_budget[static_cast<std::size_t>(k - 1)]].data;
    v.insert(v.end(), t.begin(), t.end());
  }
  budget->begin_interval();
}

void Recorder::finish(const Summary& sum) { finish(sum, legacy_ending(sum)); }

void Recorder::finish(const Summary& sum, const LegacyEnding& ending) {
  Impl& m = *impl_;
  if (m.finished) return;
  m.finished = true;
  RunRecord& r = record_;
  if (!m.started) {
    r.set_attribute("Conventions", std::string("CF-1.8"));
    r.set_attribute("source", std::string("qz5 ") + kVersion);
    r.set_attribute("qz5_version", std::string(kVersion));
    for (RecordSink* sink : m.sinks) sink->begin(r);
  }
  const char* status = sum.completed()                                  ? "complete"
                       : sum.outcome == Outcome::kIntegrationFailure ? "failed"
                                                                     : "stopped";
  r.set_attribute("status", std::string(status));
  r.set_attribute("exit_status", static_cast<long long>(ending.status));
  r.set_attribute("message", ending.text);
  r.set_attribute("idid", static_cast<long long>(sum.idid));
  r.set_attribute("t_reached", sum.t_reached);
  r.set_attribute("outputs_done", static_cast<long long>(sum.outputs_done));
  const IntegratorStatistics& st = sum.statistics;
  r.set_attribute("integrator_steps", static_cast<long long>(st.steps));
  r.set_attribute("integrator_residual_evaluations", static_cast<long long>(st.residuals));
  r.set_attribute("integrator_matrix_evaluations", static_cast<long long>(st.matrices));
  r.set_attribute("integrator_error_test_failures", static_cast<long long>(st.error_test_failures));
  r.set_attribute("integrator_convergence_failures",
                  static_cast<long long>(st.convergence_failures));
  if (!sum.completed()) {
    std::string why = ending.text;
    if (sum.outcome == Outcome::kIntegrationFailure)
      why += " (IDID = " + std::to_string(sum.idid) + " at t = " + std::to_string(sum.t_reached) +
             " days)";
    r.set_attribute("failure_message", why);
  }
  if (!m.budget_failure.empty()) r.set_attribute("budget_failure", m.budget_failure);
  for (RecordSink* sink : m.sinks) sink->update(r);
  for (RecordSink* sink : m.sinks) sink->end(r);
}

}  // namespace qz5::results
