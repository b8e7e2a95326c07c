#include "scenario_file/to_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "input/problem_setup.h"
#include "input/read_values.h"
#include "results/constituents.h"
#include "scenario_file/csv_table.h"
#include "scenario_file/toml_reader.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

constexpr int kBuiltInNcomp = 6;

void fill_boundaries(const ScenarioDocument& d, Inputs& ms) {
  Boundarys& b = ms.boundarys;
  const int rows = static_cast<int>(d.first_boundary.time.size());
  if (rows > b.bnd_tab.rows()) b.bnd_tab.resize(rows, b.bnd_tab.cols());
  b.nbnd_tpts = rows;
  for (int i = 1; i <= rows; ++i) {
    const auto r = static_cast<std::size_t>(i - 1);
    b.bnd_tab(i, 1) = d.first_boundary.time[r];
    for (int m = 1; m <= ms.NCOMP; ++m) {
      const auto c = static_cast<std::size_t>(m - 1);
      b.bnd_tab(i, 1 + m) = d.first_boundary.columns[c][r];
      b.bnd_tab(i, 1 + ms.NCOMP + m) = d.second_boundary.columns[c][r];
    }
  }
}

// The lateral table's times: those of the inputs' series; without inputs
// (or with every input borrowing the first boundary's concentrations) any
// two times do, and the boundary's are at hand.
const std::vector<double>& lateral_times(const ScenarioDocument& d) {
  for (const LateralInput& li : d.laterals)
    if (!li.concentrations.time.empty()) return li.concentrations.time;
  return d.first_boundary.time;
}

void fill_laterals(const ScenarioDocument& d, Inputs& ms) {
  LoadBest& l = ms.load_best;
  const int nlat = static_cast<int>(d.laterals.size());
  l.nlat = nlat;
  if (nlat > l.x_lat.size()) {
    l.x_lat.resize(nlat);
    l.q_lat.resize(nlat);
  }
  for (int i = 1; i <= nlat; ++i) {
    l.x_lat(i) = d.laterals[static_cast<std::size_t>(i - 1)].position;
    l.q_lat(i) = d.laterals[static_cast<std::size_t>(i - 1)].flow;
  }
  l.k_lat = d.steepness;
  const std::vector<double>& times = lateral_times(d);
  const int rows = static_cast<int>(times.size());
  const int width = 1 + ms.NCOMP * nlat;
  l.lat_tab.resize(std::max(rows, l.lat_tab.rows()), std::max(width, l.lat_tab.cols()));
  l.nlat_tpts = rows;
  for (int i = 1; i <= rows; ++i) {
    const auto r = static_cast<std::size_t>(i - 1);
    l.lat_tab(i, 1) = times[r];
    for (int m = 1; m <= ms.NCOMP; ++m) {
      for (int k = 1; k <= nlat; ++k) {
        const Series& s = d.laterals[static_cast<std::size_t>(k - 1)].concentrations;
        l.lat_tab(i, 1 + k + nlat * (m - 1)) =
            s.columns.empty() ? 0.0 : s.columns[static_cast<std::size_t>(m - 1)][r];
      }
    }
  }
}

void fill_driver(const ScenarioDocument& d, Inputs& ms) {
  VarDrv& v = ms.var_drv;
  const int n = static_cast<int>(d.flow_driver.time.size());
  if (n > v.t_drv.size()) {
    v.t_drv.resize(n);
    v.v_drv.resize(n);
  }
  for (int i = 1; i <= n; ++i) {
    v.t_drv(i) = d.flow_driver.time[static_cast<std::size_t>(i - 1)];
    v.v_drv(i) = d.flow_driver.columns[0][static_cast<std::size_t>(i - 1)];
  }
  v.npts_drv(1) = n;
}

void fill_profile(const ScenarioDocument& d, Inputs& ms) {
  ms.USE_UT0 = !d.profile_x.empty();
  if (!ms.USE_UT0) return;
  const std::size_t n = d.profile_x.size();
  ms.ut0_tab.clear();
  for (std::size_t j = 0; j < n; ++j) {
    ms.ut0_tab.push_back(static_cast<double>(j + 1));
    ms.ut0_tab.push_back(d.profile_x[j]);
    for (int m = 0; m < ms.NCOMP; ++m) ms.ut0_tab.push_back(d.profile[static_cast<std::size_t>(m)][j]);
  }
  ms.nut0_groups = static_cast<int>(n);
}

std::string or_scenario(const std::string& source, const ScenarioDocument& d) {
  return source.empty() ? d.file.string() : source;
}

}  // namespace

Scenario to_engine_scenario(const ScenarioDocument& d, Units& io) {
  Scenario s;
  Inputs& ms = s.inputs;
  ms.NCOMP = static_cast<int>(d.constituents.size());
  s.kinetics = d.kinetics;
  if (d.kinetics != nullptr) ms.kinetics_ncomp = d.kinetics->ncomp();
  ms.NPTS = d.points;
  ms.NDRV = 1;
  ms.M = 0;
  ms.INFO10 = d.non_negative ? 1 : 0;
  ms.LI_FROM_BND = d.from_first_boundary;
  ms.TAU = d.tau;
  ms.KAPPA = d.kappa;
  ms.ALPHA = d.alpha;
  ms.ATOL = d.atol;
  ms.RTOL = d.rtol;
  ms.XCONV = d.length_factor;
  ms.TUNIT_MODEL = d.time_model;
  ms.TUNIT_DAY = d.time_days;
  for (int k = 1; k <= ms.NCOMP; ++k) ms.CCONV(k) = d.constituents[static_cast<std::size_t>(k - 1)].factor;
  // Declared kinetics carry their own parameters, as the legacy reader
  // leaves RXPAR unread for them.
  if (d.kinetics == nullptr)
    for (int k = 1; k <= kNumRxpar; ++k) ms.RXPAR(k) = d.parameters[static_cast<std::size_t>(k - 1)];

  // Times to model units as the legacy set-up does: one quotient, then a
  // division of each time.
  const double q = ms.TUNIT_DAY / ms.TUNIT_MODEL;
  ms.TSTART = d.start / q;
  ms.NTIMES = static_cast<int>(d.outputs.size());
  if (ms.NTIMES > ms.TOUTS.size()) ms.TOUTS.resize(ms.NTIMES);
  for (int i = 1; i <= ms.NTIMES; ++i) ms.TOUTS(i) = d.outputs[static_cast<std::size_t>(i - 1)] / q;

  ms.XBND(1) = d.first_end;
  ms.XBND(2) = d.second_end;
  // The files the scenario came from (its tables' files where they have
  // their own), as the result files name their inputs.
  ms.FN_PRM = d.file;
  ms.FN_T = d.file;
  ms.FN_BND = or_scenario(d.first_boundary.source, d);
  ms.FN_LI = d.laterals.empty() ? d.file.string() : or_scenario(d.laterals.front().concentrations.source, d);
  ms.FN_DRV(1) = or_scenario(d.flow_driver.source, d);
  ms.FN_UT0 = d.file;
  ms.FN_TXC = d.output.txc;
  ms.base_folder.clear();  // every name above is complete

  fill_driver(d, ms);
  fill_boundaries(d, ms);
  fill_laterals(d, ms);
  fill_profile(d, ms);
  const double T0 = (ms.TUNIT_DAY * ms.TSTART) / ms.TUNIT_MODEL;
  int ilast_bnd = 1;  // as the loader starts
  ms.boundarys.lookup(io, ms, T0, &ms.CBND0(1, 1), &ms.CBND0(1, 2), ilast_bnd);

  s.geometry = d.geometry;
  s.outflow = d.outflow;
  return s;
}

namespace {

// The six pools of the built-in kinetics as the bundled estuary names them.
const char* const kDefaultNames[kBuiltInNcomp] = {"salinity", "doc", "din", "phyto", "consumers", "detritus"};

constexpr int kTimeSearchSteps = 4;  // doubles tried on either side of T * q

Series series_of(const std::string& source, const std::vector<double>& time, int ncomp) {
  return {source, time, std::vector<std::vector<double>>(static_cast<std::size_t>(ncomp)), {}};
}

// The time in days that the reader turns back into the model time T
// exactly (days / q, the legacy set-up's division): T * q, or else one of
// the doubles next to it. Division is monotone, so only those near T * q
// can map to T; when none does, no time in days gives T and the scenario
// cannot be written as a file without changing its times.
double days_of(double T, double q, const std::string& what) {
  const double d = T * q;
  if (d / q == T) return d;
  double up = d, down = d;
  for (int i = 0; i < kTimeSearchSteps; ++i) {
    up = std::nextafter(up, std::numeric_limits<double>::infinity());
    if (up / q == T) return up;
    down = std::nextafter(down, -std::numeric_limits<double>::infinity());
    if (down / q == T) return down;
  }
  stop("qz5: the " + what + " " + number_text(T) +
           " (model time) is no time in days divided by TUNIT_DAY / TUNIT_MODEL, so a scenario "
           "file cannot hold it exactly; give it as days / (TUNIT_DAY / TUNIT_MODEL)",
       kExitBadInput);
}

}  // namespace

ScenarioDocument document_from_legacy(Units& io, const fs::path& names_file,
                                      const LegacyRunOptions& opt) {
  // The names inside the names file are relative to the working folder, as
  // for a legacy run, unless the caller's path says otherwise.
  ScenarioReadOptions read;
  read.legacy_limits = false;
  read.base_folder = opt.base_folder;
  if (!opt.kinetics_file.empty()) {
    try {
      read.kinetics = DeclaredKinetics::read_file(opt.kinetics_file);
    } catch (const KineticsError& e) {
      stop(std::string("Kinetics::Error, ") + e.what(), kExitBadInput);
    }
  }
  Scenario s = read_scenario(io, names_file, read);
  if (!opt.geometry_file.empty()) s.geometry = read_geometry_file(io, kUnitInput, opt.geometry_file);
  s.outflow = opt.outflow;
  ScenarioDocument d = document_from_engine(s, opt.constituents);
  d.file = names_file;
  d.kinetics_file = opt.kinetics_file;
  {
    std::string first;
    io.open_existing(kUnitInput, names_file.string());
    io.read_line(kUnitInput, first, 4096, true);
    io.close(kUnitInput);
    d.title = first.substr(0, first.find_last_not_of(' ') + 1);
  }
  // The times in days as the file holds them (the scenario holds them in
  // model units, and converting back could round).
  {
    Inputs t;
    t.FN_T = s.inputs.FN_T;
    t.base_folder = s.inputs.base_folder;
    ReaderOptions no_limits;
    no_limits.legacy_limits = false;
    read_output_times(io, t, kUnitInput, no_limits);
    d.start = t.TSTART;
    d.outputs.clear();
    for (int i = 1; i <= t.NTIMES; ++i) d.outputs.push_back(t.TOUTS(i));
  }
  return d;
}

ScenarioDocument document_from_engine(const Scenario& s, const std::string& constituents) {
  const Inputs& ms = s.inputs;
  ScenarioDocument d;
  d.title = s.title.substr(std::min(s.title.size(), s.title.find_first_not_of(" ")));
  d.points = ms.NPTS;
  d.tau = ms.TAU;
  d.kappa = ms.KAPPA;
  d.alpha = ms.ALPHA;
  d.rtol = ms.RTOL;
  d.atol = ms.ATOL;
  if (ms.INFO10 != 0 && ms.INFO10 != 1)
    stop("qz5: INFO10 = " + std::to_string(ms.INFO10) + " cannot be written as non_negative", kExitBadInput);
  d.non_negative = ms.INFO10 == 1;
  d.length_factor = ms.XCONV;
  d.time_model = ms.TUNIT_MODEL;
  d.time_days = ms.TUNIT_DAY;

  const double q = ms.TUNIT_DAY / ms.TUNIT_MODEL;
  d.start = days_of(ms.TSTART, q, "start time");
  for (int i = 1; i <= ms.NTIMES; ++i)
    d.outputs.push_back(days_of(ms.TOUTS(i), q, "output time " + std::to_string(i)));

  std::vector<results::ConstituentInfo> named;
  if (!constituents.empty()) {
    const results::ConstituentList list = results::read_constituents(constituents);
    if (!list.error.empty()) stop("qz5: --constituents: " + list.error, kExitBadInput);
    named = list.items;
  }
  d.kinetics = std::dynamic_pointer_cast<const DeclaredKinetics>(s.kinetics);
  const int ncomp = ms.NCOMP;
  if (d.kinetics == nullptr && ncomp != kBuiltInNcomp)
    stop("qz5: NCOMP = " + std::to_string(ncomp) + " without declared kinetics cannot be written", kExitBadInput);
  for (int k = 1; k <= ncomp; ++k) {
    Constituent c{k <= kBuiltInNcomp ? kDefaultNames[k - 1] : "", "", ms.CCONV(k)};
    if (d.kinetics != nullptr) {
      c.name = d.kinetics->constituents()[static_cast<std::size_t>(k - 1)].name;
      c.unit = d.kinetics->constituents()[static_cast<std::size_t>(k - 1)].unit;
    } else if (static_cast<std::size_t>(k) <= named.size()) {
      c.name = named[static_cast<std::size_t>(k - 1)].name;
      c.unit = named[static_cast<std::size_t>(k - 1)].unit == "file units" ? "" : named[static_cast<std::size_t>(k - 1)].unit;
    }
    d.constituents.push_back(c);
  }

  d.first_end = ms.XBND(1);
  d.second_end = ms.XBND(2);
  d.geometry = s.geometry;
  d.outflow = s.outflow;

  const Boundarys& b = ms.boundarys;
  std::vector<double> bt;
  for (int i = 1; i <= b.nbnd_tpts; ++i) bt.push_back(b.bnd_tab(i, 1));
  d.first_boundary = series_of(ms.FN_BND.string(), bt, ncomp);
  d.second_boundary = d.first_boundary;
  for (int m = 1; m <= ncomp; ++m)
    for (int i = 1; i <= b.nbnd_tpts; ++i) {
      d.first_boundary.columns[static_cast<std::size_t>(m - 1)].push_back(b.bnd_tab(i, 1 + m));
      d.second_boundary.columns[static_cast<std::size_t>(m - 1)].push_back(b.bnd_tab(i, 1 + ncomp + m));
    }

  const LoadBest& l = ms.load_best;
  d.steepness = l.k_lat;
  d.from_first_boundary = ms.LI_FROM_BND;
  std::vector<double> lt;
  for (int i = 1; i <= l.nlat_tpts; ++i) lt.push_back(l.lat_tab(i, 1));
  for (int k = 1; k <= l.nlat; ++k) {
    LateralInput li{"input_" + std::to_string(k), l.x_lat(k), l.q_lat(k),
                    series_of(ms.FN_LI.string(), lt, ncomp)};
    for (int m = 1; m <= ncomp; ++m)
      for (int i = 1; i <= l.nlat_tpts; ++i)
        li.concentrations.columns[static_cast<std::size_t>(m - 1)].push_back(l.lat_tab(i, 1 + k + l.nlat * (m - 1)));
    d.laterals.push_back(std::move(li));
  }

  const VarDrv& v = ms.var_drv;
  d.flow_driver = {ms.FN_DRV(1).string(), {}, {{}}, {}};
  for (int i = 1; i <= v.npts_drv(1); ++i) {
    d.flow_driver.time.push_back(v.t_drv(i));
    d.flow_driver.columns[0].push_back(v.v_drv(i));
  }

  if (ms.USE_UT0) {
    const int w = ncomp + 2;
    d.profile.resize(ncomp);
    if (ms.nut0_groups != ms.NPTS)
      stop("qz5: the initial profile " + ms.FN_UT0.string() + " holds " +
               std::to_string(ms.nut0_groups) + " points, the parameter file " + std::to_string(ms.NPTS),
           kExitBadInput);
    for (int j = 0; j < ms.nut0_groups; ++j) {
      const auto g = static_cast<std::size_t>(j * w);
      d.profile_x.push_back(ms.ut0_tab[g + 1]);
      for (int m = 0; m < ncomp; ++m) d.profile[static_cast<std::size_t>(m)].push_back(ms.ut0_tab[g + 2 + static_cast<std::size_t>(m)]);
    }
  }
  if (d.kinetics == nullptr)
    for (int k = 1; k <= kNumRxpar; ++k) d.parameters[static_cast<std::size_t>(k - 1)] = ms.RXPAR(k);
  d.output.txc = ms.FN_TXC;
  return d;
}

Scenario read_scenario_file(Units& io, const fs::path& file) {
  return to_engine_scenario(read_scenario_document(file), io);
}

}  // namespace qz5::scenario_file
