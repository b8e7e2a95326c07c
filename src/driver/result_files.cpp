#include "driver/result_files.h"

#include <optional>
#include <vector>

#include "results/csv_sinks.h"
#include "results/file_clash.h"
#include "results/recorder.h"
#ifdef QZ5_HAVE_NETCDF
#include "netcdf/netcdf_sink.h"
#endif

namespace qz5 {

struct ResultFiles::Impl {
  std::optional<results::Recorder> recorder;
#ifdef QZ5_HAVE_NETCDF
  std::optional<netcdf::NetcdfSink> netcdf;
#endif
  std::optional<results::StationCsv> stations_csv;
  std::optional<results::BudgetCsv> budget_csv;
};

namespace {

[[noreturn]] void refuse(const std::string& what) { stop("qz5: " + what, kExitBadInput); }

// Every file of the run: the result files, the legacy outputs and every
// input, as the scenario names them.
std::vector<results::RoleFile> run_files(const CliOptions& cli, const Scenario& scenario) {
  std::vector<results::RoleFile> files = result_file_roles(cli);
  for (results::RoleFile& f : results::scenario_files(scenario)) files.push_back(std::move(f));
  return files;
}

}  // namespace

ResultFiles::ResultFiles(Units& io, const CliOptions& cli, const Scenario& scenario)
    : impl_(std::make_unique<Impl>()) {
  const std::string clash = results::find_file_clash(run_files(cli, scenario));
  if (!clash.empty()) refuse(clash);
  results::RecorderOptions opt;
  opt.profiles = !cli.netcdf_file.empty();
  opt.stations = cli.stations;
  opt.station_names = cli.station_names;
  opt.budget = !cli.budget_file.empty();
  opt.keep_rows = false;  // the files get every row; memory stays flat
  if (!cli.length_unit.empty()) opt.length_unit = cli.length_unit;
  opt.reference_date = cli.reference_date;
  if (!cli.constituents.empty()) {
    const results::ConstituentList list = results::read_constituents(cli.constituents);
    if (!list.error.empty()) refuse("--constituents: " + list.error);
    if (!list.source_file.empty())
      io.write_list(kUnitConsoleOut,
                    {"Constituent names from: ", std::string_view(list.source_file)});
    opt.constituents = list.items;
  }
  if (!cli.kinetics_file.empty()) opt.extra_inputs.push_back({"kinetics", cli.kinetics_file});
  if (cli.names_args.size() > 1) opt.extra_inputs.push_back({"names", cli.names_args[1]});
  if (!cli.geometry_file.empty()) opt.extra_inputs.push_back({"geometry", cli.geometry_file});
  const std::string problem = results::Recorder::check(opt, scenario);
  if (!problem.empty()) refuse(problem);

  Impl& m = *impl_;
  m.recorder.emplace(opt);
  if (!cli.netcdf_file.empty()) {
#ifdef QZ5_HAVE_NETCDF
    m.netcdf.emplace(cli.netcdf_file);
    if (!m.netcdf->error().empty()) refuse(m.netcdf->error());
    m.recorder->add_sink(&*m.netcdf);
#else
    refuse(kNoNetcdf);
#endif
  }
  if (!cli.stations_csv.empty()) {
    m.stations_csv.emplace(cli.stations_csv);
    if (!m.stations_csv->error().empty()) refuse(m.stations_csv->error());
    m.recorder->add_sink(&*m.stations_csv);
  }
  if (!cli.budget_file.empty()) {
    m.budget_csv.emplace(cli.budget_file);
    if (!m.budget_csv->error().empty()) refuse(m.budget_csv->error());
    m.recorder->add_sink(&*m.budget_csv);
  }
}

ResultFiles::~ResultFiles() = default;

Observer& ResultFiles::observer() { return *impl_->recorder; }

std::string ResultFiles::finish(const Summary& summary, const LegacyEnding& ending) {
  Impl& m = *impl_;
  m.recorder->finish(summary, ending);
  std::string problems;
  auto note = [&problems](const std::string& e) {
    if (e.empty()) return;
    if (!problems.empty()) problems += '\n';
    problems += "qz5: " + e;
  };
#ifdef QZ5_HAVE_NETCDF
  if (m.netcdf) note(m.netcdf->error());
#endif
  if (m.stations_csv) note(m.stations_csv->error());
  if (m.budget_csv) note(m.budget_csv->error());
  return problems;
}

}  // namespace qz5
