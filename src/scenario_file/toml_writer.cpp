#include <fstream>
#include <sstream>

#include "scenario_file/csv_table.h"
#include "scenario_file/kinetics_text.h"
#include "scenario_file/writers.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

void write_text(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) refuse({p.string(), 0, 0, ""}, "", "cannot be written", "a folder that can be written to");
}

std::string quoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

std::string n(double v) { return number_text(v); }

std::string series_csv(const Series& s, const std::vector<std::string>& names,
                       const std::vector<std::string>& units, std::string_view comment) {
  std::string t = "# " + std::string(comment) + "\ntime [days]";
  for (std::size_t c = 0; c < names.size(); ++c)
    t += ", " + names[c] + (units[c].empty() ? "" : " [" + units[c] + "]");
  t += "\n";
  for (std::size_t r = 0; r < s.time.size(); ++r) {
    t += n(s.time[r]);
    for (const auto& col : s.columns) t += ", " + n(col[r]);
    t += "\n";
  }
  return t;
}

// A lateral input's name as part of a file name.
std::string file_word(const std::string& name) {
  std::string w;
  for (char c : name) w += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return w;
}

// Output times as from/to/step when they are exactly that progression.
std::string outputs_entry(const std::vector<double>& t) {
  if (t.size() >= 3) {
    const double step = t[1] - t[0];
    bool even = step > 0.0;
    for (std::size_t i = 0; even && i < t.size(); ++i)
      even = t[0] + static_cast<double>(i) * step == t[i];
    if (even)
      return "outputs = { from = " + n(t.front()) + ", to = " + n(t.back()) + ", step = " + n(step) +
             " }   # every step days from `from` to `to`; or a list [t1, t2, ...]";
  }
  std::string s = "outputs = [";
  for (std::size_t i = 0; i < t.size(); ++i) s += (i ? ", " : "") + n(t[i]);
  return s + "]";
}

// Declared kinetics read from a file are named, not copied: the file may
// serve several scenarios and its forcing files are found from its own
// folder. Kinetics without a file (built in code, or inline in the scenario
// read) are written inline, exactly as a kinetics file holds them.
// A file's name is a top-level key, so it is written before the first table.
void write_kinetics_file_name(std::ostream& o, const ScenarioDocument& d, const fs::path& folder) {
  if (d.kinetics == nullptr || d.kinetics_file.empty()) return;
  o << "# The reactions: a kinetics file (named from this file's folder; its layout is in\n"
       "# examples/kinetics/README.md), or a [kinetics] table written as such a file is.\n"
       "# The constituents, their names and units, are the kinetics'.\n"
    << "kinetics = " << quoted(path_from(folder, d.kinetics_file)) << "\n";
}

void write_kinetics(std::ostream& o, const ScenarioDocument& d, const fs::path& folder) {
  if (d.kinetics != nullptr && !d.kinetics_file.empty()) return;  // named at the top
  if (d.kinetics != nullptr) {
    o << "\n# the reactions, written as a kinetics file is (examples/kinetics/README.md)\n"
      << inline_kinetics_text(*d.kinetics, folder);
    return;
  }
  o << "\n[kinetics]\nmodel = \"built-in\"\n\n[kinetics.parameters]\n";
  for (std::size_t i = 0; i < kBuiltInParameterNames.size(); ++i)
    o << kBuiltInParameterNames[i].key << " = " << n(d.parameters[i]) << "   # "
      << kBuiltInParameterNames[i].meaning << "\n";
}

}  // namespace

std::vector<fs::path> write_scenario_files(const ScenarioDocument& d, const fs::path& toml_path) {
  std::vector<fs::path> written;
  const fs::path folder = toml_path.parent_path();
  std::error_code ec;
  if (!folder.empty()) fs::create_directories(folder, ec);
  const std::string stem = toml_path.stem().string();
  auto csv = [&](const std::string& part, const std::string& text) {
    const std::string name = stem + "_" + part + ".csv";
    write_text(folder / name, text);
    written.push_back(folder / name);
    return name;
  };
  std::vector<std::string> names, units;
  for (const Constituent& c : d.constituents) {
    names.push_back(c.name);
    units.push_back(c.unit);
  }

  std::ostringstream o;
  o << "# qz5 scenario file. Times are days; positions are file length units (see [units]);\n"
       "# concentrations are in each constituent's own unit. Tables are CSV files beside this\n"
       "# one, their columns named by constituent, in any order.\n";
  o << "title = " << quoted(d.title) << "\n";
  if (d.reference_date) {
    o << "reference_date = " << quoted(d.reference_text) << "   # day 0; times may also be given as dates\n";
  } else {
    o << "# reference_date = 2024-01-01   # day 0 as a date: times may then be dates too\n";
  }
  write_kinetics_file_name(o, d, folder);
  o << "\n[grid]\npoints = " << d.points << "            # grid points from the first end to the second\n"
    << "tau = " << n(d.tau) << "            # time smoothing of the moving grid, model time units\n"
    << "kappa = " << n(d.kappa) << "          # spatial smoothing: neighbouring intervals within (1+kappa)/kappa\n"
    << "alpha = " << n(d.alpha) << "          # floor of the grid monitor; steeper gradients attract points\n";
  o << "\n[integrator]\nrtol = " << n(d.rtol) << "           # relative error tolerance\n"
    << "atol = " << n(d.atol) << "           # absolute error tolerance, model concentration units\n"
    << "non_negative = " << (d.non_negative ? "true" : "false") << "     # keep every concentration at or above zero\n";
  o << "\n[units]\n";
  if (!d.length_unit.empty()) o << "length = " << quoted(d.length_unit) << "              # the file length unit\n";
  o << "length_factor = " << n(d.length_factor) << "    # file length units per model length unit\n"
    << "time_model = " << n(d.time_model) << "       # one span of time in model time units ...\n"
    << "time_days = " << n(d.time_days) << "        # ... and in days\n";
  o << "\n[times]\nstart = " << n(d.start) << "\n" << outputs_entry(d.outputs) << "\n";
  if (d.kinetics != nullptr) {
    o << "\n# The constituents of the kinetics (names and units are theirs), in their order.\n"
         "# factor: file value = model value * factor.\n";
    for (const Constituent& c : d.constituents)
      o << "[[constituents]]\nname = " << quoted(c.name) << "\nfactor = " << n(c.factor) << "\n";
  } else {
    o << "\n# The six pools of the built-in kinetics, in its order: a conservative tracer, a\n"
         "# substrate, a nutrient, two growing pools (the second feeds on the first and on the\n"
         "# substrate) and detritus. factor: file value = model value * factor.\n";
    for (const Constituent& c : d.constituents)
      o << "[[constituents]]\nname = " << quoted(c.name) << "\nunit = " << quoted(c.unit)
        << "\nfactor = " << n(c.factor) << "\n";
  }
  o << "\n[channel]\nfirst_end = " << n(d.first_end) << "      # position of the first (upstream) end\n"
    << "second_end = " << n(d.second_end) << "    # position of the second end\n";
  if (d.geometry.empty()) {
    o << "geometry = \"built-in\"   # the bundled estuary's area and dispersion laws, or a CSV of x, area, dispersion\n";
  } else {
    std::string t = "# channel: cross-section area and dispersion (per day), linear between rows\nx, area, dispersion\n";
    for (int i = 0; i < d.geometry.rows(); ++i) {
      const auto r = static_cast<std::size_t>(i);
      t += n(d.geometry.x[r]) + ", " + n(d.geometry.area[r]) + ", " + n(d.geometry.dispersion[r]) + "\n";
    }
    o << "geometry = " << quoted(csv("geometry", t)) << "   # columns x, area, dispersion\n";
  }
  o << "outflow = \"" << (d.outflow == Outflow::kFree ? "free" : "fixed")
    << "\"   # fixed: the second end holds its boundary series; free: the water leaves as it is\n";
  o << "\n[boundaries]   # concentrations at the two ends: columns time and every constituent\n"
    << "first = " << quoted(csv("first_boundary", series_csv(d.first_boundary, names, units, "concentrations at the first end"))) << "\n"
    << "second = " << quoted(csv("second_boundary", series_csv(d.second_boundary, names, units, "concentrations at the second end"))) << "\n";
  o << "\n[laterals]\nsteepness = " << n(d.steepness) << "   # of the smooth switch-on of each input's flow, per length unit\n"
    << "from_first_boundary = " << (d.from_first_boundary ? "true" : "false")
    << "   # true: every input carries the first end's concentrations\n";
  for (const LateralInput& li : d.laterals) {
    o << "\n[[laterals.inputs]]\nname = " << quoted(li.name) << "\nposition = " << n(li.position)
      << "\nflow = " << n(li.flow) << "   # volume per day\n";
    if (!li.concentrations.time.empty())
      o << "concentrations = " << quoted(csv("lateral_" + file_word(li.name), series_csv(li.concentrations, names, units, "concentrations of lateral input " + li.name))) << "\n";
  }
  o << "\n[flow_driver]   # multiplies every lateral flow; must cover the whole run\n"
    << "series = " << quoted(csv("flow_driver", series_csv(d.flow_driver, {"factor"}, {""}, "factor of every lateral flow"))) << "\n";
  o << "\n[initial_profile]\n";
  if (d.profile_x.empty()) {
    o << "linear = true   # from the first end's concentrations to the second's at the start\n";
  } else {
    std::string t = "# the solution at the start: grid positions and concentrations\nx";
    for (std::size_t c = 0; c < names.size(); ++c) t += ", " + names[c];
    t += "\n";
    for (std::size_t j = 0; j < d.profile_x.size(); ++j) {
      t += n(d.profile_x[j]);
      for (const auto& col : d.profile) t += ", " + n(col[j]);
      t += "\n";
    }
    o << "table = " << quoted(csv("initial_profile", t)) << "   # one row per grid point: x and every constituent\n";
  }
  write_kinetics(o, d, folder);
  o << "\n[output]\n";
  const auto rel = [&](const fs::path& p) { return p.filename().string(); };
  if (!d.output.txc.empty()) o << "txc = " << quoted(rel(d.output.txc)) << "   # the legacy concentration file\n";
  if (!d.output.netcdf.empty()) o << "netcdf = " << quoted(rel(d.output.netcdf)) << "\n";
  if (!d.output.stations.empty()) {
    o << "stations = [";
    for (std::size_t i = 0; i < d.output.stations.size(); ++i)
      o << (i ? ", " : "") << "{ name = " << quoted(d.output.stations[i].name)
        << ", position = " << n(d.output.stations[i].position) << " }";
    o << "]\n";
  }
  if (!d.output.stations_csv.empty()) o << "stations_csv = " << quoted(rel(d.output.stations_csv)) << "\n";
  if (!d.output.budget_csv.empty()) o << "budget = " << quoted(rel(d.output.budget_csv)) << "\n";
  write_text(toml_path, o.str());
  written.insert(written.begin(), toml_path);
  return written;
}

}  // namespace qz5::scenario_file
