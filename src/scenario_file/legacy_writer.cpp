#include <fstream>

#include "input/limits.h"
#include "scenario_file/csv_table.h"
#include "scenario_file/kinetics_text.h"
#include "scenario_file/writers.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

std::string n(double v) { return number_text(v); }

void write_text(const fs::path& p, const std::string& text, LegacyFiles& out) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << text;
  f.close();
  if (!f) refuse({p.string(), 0, 0, ""}, "", "cannot be written", "a folder that can be written to");
  out.written.push_back(p);
}

std::string prm_text(const ScenarioDocument& d) {
  std::string t;
  auto rec = [&t](const std::string& v, const std::string& what) { t += v + "   " + what + "\n"; };
  rec(std::to_string(d.constituents.size()), "NCOMP");
  rec(std::to_string(d.points), "NPTS");
  rec(n(d.tau), "TAU");
  rec(n(d.kappa), "KAPPA");
  rec(n(d.alpha), "ALPHA");
  rec(n(d.atol), "ATOL");
  rec(n(d.rtol), "RTOL");
  rec(d.non_negative ? "1" : "0", "INFO10");
  rec(d.profile_x.empty() ? "F" : "T", "USE_UT0");
  rec(d.from_first_boundary ? "T" : "F", "LI_FROM_BND");
  rec(n(d.length_factor), "XCONV");
  rec(n(d.time_model), "TUNIT_MODEL");
  rec(n(d.time_days), "TUNIT_DAY");
  for (std::size_t k = 0; k < d.constituents.size(); ++k)
    rec(n(d.constituents[k].factor), "CCONV(" + std::to_string(k + 1) + "): " + d.constituents[k].name);
  if (d.kinetics != nullptr) return t;  // declared kinetics carry their own parameters
  for (std::size_t k = 0; k < kBuiltInParameterNames.size(); ++k)
    rec(n(d.parameters[k]), "RXPAR(" + std::to_string(k + 1) + "): " + kBuiltInParameterNames[k].key);
  return t;
}

std::string bnd_text(const ScenarioDocument& d) {
  std::string t = n(d.first_end) + " " + n(d.second_end) + "   positions of the first and second boundary\n";
  for (std::size_t r = 0; r < d.first_boundary.time.size(); ++r) {
    t += n(d.first_boundary.time[r]);
    for (const auto& c : d.first_boundary.columns) t += " " + n(c[r]);
    for (const auto& c : d.second_boundary.columns) t += " " + n(c[r]);
    t += "\n";
  }
  return t;
}

std::string li_text(const ScenarioDocument& d) {
  std::string names;
  for (const LateralInput& li : d.laterals) names += " " + li.name;
  std::string t = "Lateral inputs:" + names + "\n" + std::to_string(d.laterals.size()) + "   number of lateral inputs\n";
  std::string x, q;
  for (const LateralInput& li : d.laterals) {
    x += n(li.position) + " ";
    q += n(li.flow) + " ";
  }
  t += x + "  positions\n" + q + "  flows\n" + n(d.steepness) + "   steepness\n";
  // The table's times: the inputs', or without any (or all borrowing the
  // first boundary's concentrations) those of the first boundary.
  const Series* times = &d.first_boundary;
  for (const LateralInput& li : d.laterals)
    if (!li.concentrations.time.empty()) times = &li.concentrations;
  for (std::size_t r = 0; r < times->time.size(); ++r) {
    t += n(times->time[r]);
    for (std::size_t m = 0; m < d.constituents.size(); ++m)
      for (const LateralInput& li : d.laterals)
        t += " " + (li.concentrations.columns.empty() ? std::string("0") : n(li.concentrations.columns[m][r]));
    t += "\n";
  }
  return t;
}

void note_capacities(const ScenarioDocument& d, LegacyFiles& out) {
  const auto over = [&](std::size_t have, int cap, const std::string& what) {
    if (have > static_cast<std::size_t>(cap))
      out.notes.push_back(std::to_string(have) + " " + what + " exceed the legacy program's " +
                          std::to_string(cap) + ": the run needs --no-legacy-limits");
  };
  over(d.outputs.size(), kMaxTimes, "output times");
  over(d.first_boundary.time.size(), kMaxBndryTpts, "boundary time points");
  over(d.laterals.size(), kMaxLat, "lateral inputs");
  if (!d.laterals.empty()) over(d.laterals.front().concentrations.time.size(), kMaxLatTpts, "lateral time points");
  over(d.flow_driver.time.size(), kMaxPtsDrv, "driver points");
  if (d.points > 142) out.notes.push_back(std::to_string(d.points) + " grid points exceed the legacy program's 142: the run needs --no-legacy-limits");
}

}  // namespace

LegacyFiles write_legacy_files(const ScenarioDocument& d, const fs::path& folder) {
  LegacyFiles out;
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string stem = d.file.stem().string();
  const fs::path base = folder / stem;
  const std::string txc = d.output.txc.empty() ? stem + ".txc" : d.output.txc.filename().string();

  write_text(fs::path(base) += ".fn",
             (d.title.empty() ? std::string("qz5 scenario") : d.title) + "\n" +
                 "Records 3-9: parameter, lateral-input, boundary, output-times, initial-profile, driver and output file\n" +
                 stem + ".prm\n" + stem + ".li\n" + stem + ".bnd\n" + stem + ".t\n" + stem + ".UT0\n" + stem + ".drv\n" + txc + "\n",
             out);
  write_text(fs::path(base) += ".prm", prm_text(d), out);
  write_text(fs::path(base) += ".li", li_text(d), out);
  write_text(fs::path(base) += ".bnd", bnd_text(d), out);
  std::string t = n(d.start) + "   start time, days; then one output time per line\n";
  for (double v : d.outputs) t += n(v) + "\n";
  write_text(fs::path(base) += ".t", t, out);
  std::string u;
  for (std::size_t j = 0; j < d.profile_x.size(); ++j) {
    u += std::to_string(j + 1) + " " + n(d.profile_x[j]);
    for (const auto& c : d.profile) u += " " + n(c[j]);
    u += "\n";
  }
  write_text(fs::path(base) += ".UT0", u, out);
  std::string v;
  for (std::size_t i = 0; i < d.flow_driver.time.size(); ++i)
    v += n(d.flow_driver.time[i]) + " " + n(d.flow_driver.columns[0][i]) + "\n";
  write_text(fs::path(base) += ".drv", v, out);

  out.command = "qz5";
  if (d.kinetics != nullptr) {
    // A kinetics file the scenario names is named from the legacy folder;
    // inline kinetics become a file of their own there.
    fs::path kinetics = d.kinetics_file;
    if (kinetics.empty()) {
      kinetics = fs::path(base) += "_kinetics.toml";
      write_text(kinetics, kinetics_file_text(*d.kinetics, folder), out);
    }
    out.command += " --kinetics " + path_from(folder, kinetics);
  }
  if (!d.geometry.empty()) {
    std::string g = "Channel geometry: position, area, dispersion\n";
    for (int i = 0; i < d.geometry.rows(); ++i) {
      const auto r = static_cast<std::size_t>(i);
      g += n(d.geometry.x[r]) + " " + n(d.geometry.area[r]) + " " + n(d.geometry.dispersion[r]) + "\n";
    }
    write_text(fs::path(base) += ".geo", g, out);
    out.command += " --geometry " + stem + ".geo";
    out.notes.push_back("the channel table is not part of the legacy files: give --geometry " + stem + ".geo");
  }
  if (d.outflow == Outflow::kFree) {
    out.command += " --outflow free";
    out.notes.push_back("the free outflow is not part of the legacy files: give --outflow free");
  }
  const std::size_t notes_before = out.notes.size();
  note_capacities(d, out);
  if (out.notes.size() > notes_before) out.command += " --no-legacy-limits";
  out.command += " " + stem + ".fn";

  std::string names;
  for (const Constituent& c : d.constituents) names += (names.empty() ? "" : ",") + c.name + (c.unit.empty() ? "" : ":" + c.unit);
  if (d.kinetics == nullptr)
    out.notes.push_back("constituent names and units are not part of the legacy files (for result files: --constituents " + names + ")");
  if (!d.laterals.empty()) out.notes.push_back("the names of the lateral inputs are kept only in the title line of " + stem + ".li");
  if (d.reference_date) out.notes.push_back("the reference date " + d.reference_text + " is not kept: every time is written in days from it");
  if (!d.output.netcdf.empty() || !d.output.stations.empty() || !d.output.budget_csv.empty())
    out.notes.push_back("result files (NetCDF, stations, budget) are options of a legacy run: --netcdf, --stations, --stations-csv, --budget");
  return out;
}

}  // namespace qz5::scenario_file
