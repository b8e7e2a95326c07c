#include "driver/run_driver.h"

#include <cstddef>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/cli_options.h"
#include "driver/convert_command.h"
#include "driver/result_files.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/version.h"
#include "input/out_txc.h"
#include "scenario_file/toml_reader.h"
#include "scenario_file/to_engine.h"

namespace qz5 {
namespace {

constexpr int kTitleLength = 80;

std::string trimmed(const std::string& name) {
  const auto end = name.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

void write_title_to_logs(Units& io, const std::string& title) {
  io.write_formatted(LUNRES, "(A80)", {std::string_view(title)});
  io.write_formatted(LUNRUN, "(A80)", {std::string_view(title)});
}

// One piece of a header line: what goes into columns first..last.
struct HeaderPiece {
  std::size_t first, last;
  std::string_view format;
  Item value;
};

// Builds a header line column by column in the title field (a blank-padded
// line of its own, with asterisks where a value does not fit) and writes it
// to both logs.
void write_header_line(Units& io, std::string& title, std::initializer_list<HeaderPiece> pieces) {
  title.assign(kTitleLength, ' ');
  for (const HeaderPiece& p : pieces) {
    write_into_field(title, p.first, p.last, p.format, {p.value});
  }
  write_title_to_logs(io, title);
}

// The two header lines; afterwards the title field holds the second.
void write_run_header(Units& io, const ModelState& ms, std::string& title) {
  write_header_line(io, title,
                    {{1, 6, "(A)", " NPTS="},
                     {7, 9, "(I3)", ms.NPTS},
                     {10, 16, "(A)", "; RTOL="},
                     {17, 24, "(E8.3)", ms.RTOL},
                     {25, 31, "(A)", ", ATOL="},
                     {32, 39, "(E8.3)", ms.ATOL}});
  write_header_line(io, title,
                    {{1, 5, "(A)", " TAU="},
                     {6, 13, "(E8.3)", ms.TAU},
                     {14, 21, "(A)", ", KAPPA="},
                     {22, 29, "(E8.3)", ms.KAPPA},
                     {30, 37, "(A)", ", ALPHA="},
                     {38, 45, "(E8.3)", ms.ALPHA}});
}

void write_statistics(Units& io, const IntegratorStatistics& st) {
  io.write_list(LUNRES, {"Statistics:"});
  io.write_list(LUNRES, {"   FNS, JACS:", st.residuals, st.matrices});
  io.write_list(LUNRES, {"   STEPS, ETF, CTF:", st.steps, st.error_test_failures,
                         st.convergence_failures});
}

void close_run_files(Units& io) {
  io.close(LUNRES);
  io.close(LUNRUN);
  io.close(LUNTXC);
}

// Writes what the engine reports in the legacy layout.
class LegacyFiles : public Observer {
 public:
  // with_txc false: a scenario file that asks for no concentration file.
  LegacyFiles(Units& io, std::string& title, bool with_txc = true)
      : io_(io), title_(title), with_txc_(with_txc) {}

  void on_start(const RunContext& ctx, const Snapshot& s) override {
    ms_ = &ctx.ms;
    write_run_header(io_, *ms_, title_);
    if (with_txc_) {
      io_.open_new(LUNTXC, trimmed(ms_->FN_TXC));
      OUT_TXC(io_, *ms_, LUNTXC, s.t_model, s.y, ms_->NCOMP, ms_->NPTS);
    }
    flush_all();
  }

  void on_step(const StepInfo&, const Snapshot&) override {
    MONITOR(io_, LUNRUN, ms_->RWORK.data(), ms_->IWORK.data());
  }

  void on_output(int, int, const Snapshot& s, const IntegratorStatistics& st) override {
    if (with_txc_) OUT_TXC(io_, *ms_, LUNTXC, s.t_model, s.y, ms_->NCOMP, ms_->NPTS);
    write_statistics(io_, st);
    flush_all();
  }

 private:
  // A run killed part-way keeps every block and statistics group completed.
  void flush_all() {
    io_.flush(LUNRES);
    io_.flush(LUNRUN);
    if (with_txc_) io_.flush(LUNTXC);
  }

  Units& io_;
  std::string& title_;
  bool with_txc_;
  const ModelState* ms_ = nullptr;
};

RunOptions run_options(const CliOptions& cli) {
  RunOptions opt;
  opt.observe_steps = true;  // one progress line per step
  opt.max_steps_per_interval = cli.max_steps_per_interval;
  if (cli.legacy_limits) {
    Capacities caps;
    caps.hint = kLegacyLimitHint;
    opt.capacities = caps;
  }
  return opt;
}

[[noreturn]] void end_run(Units& io, const Summary& sum, int status_if_ready);
[[noreturn]] void run_with_result_files(Units& io, const CliOptions& cli,
                                        const Scenario& scenario, LegacyFiles& files);

// The run a scenario file describes, its result files included (options
// given on the command line take precedence). The legacy capacities do not
// apply to a scenario file.
Scenario read_scenario_file(Units& io, CliOptions& cli) {
  const std::string& file = cli.names_args[1];
  if (!cli.geometry_file.empty() || cli.outflow != Outflow::kFixedConcentration)
    stop("qz5: --geometry and --outflow belong in the scenario file's [channel] (" + file + ")",
         kExitBadInput);
  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Scenario file being used: ", std::string_view(file)});
  scenario_file::ScenarioDocument doc;
  try {
    doc = scenario_file::read_scenario_document(file);
  } catch (const scenario_file::ScenarioFileError& e) {
    stop(e.what(), kExitBadInput);
  }
  const scenario_file::Outputs& out = doc.output;
  if (!out.txc.empty()) io.write_list(kUnitConsoleOut, {"   txc: ", out.txc.string()});
  if (cli.netcdf_file.empty()) cli.netcdf_file = out.netcdf.string();
  if (cli.stations_csv.empty()) cli.stations_csv = out.stations_csv.string();
  if (cli.budget_file.empty()) cli.budget_file = out.budget_csv.string();
  if (cli.stations.empty())
    for (const scenario_file::Station& st : out.stations) cli.stations.push_back(st.position);
  if (cli.constituents.empty()) {
    for (const scenario_file::Constituent& c : doc.constituents)
      cli.constituents += (cli.constituents.empty() ? "" : ",") + c.name + (c.unit.empty() ? "" : ":" + c.unit);
  }
  if (cli.length_unit.empty()) cli.length_unit = doc.length_unit;
  if (doc.reference_date) cli.reference_date = results::cf_origin(*doc.reference_date);
  cli.legacy_limits = false;
  return scenario_file::to_engine_scenario(doc, io);
}

bool names_a_scenario_file(const CliOptions& cli) {
  return cli.names_args.size() > 1 && scenario_file::is_scenario_file(cli.names_args[1]);
}

[[noreturn]] void run_main_program(Units& io, const CliOptions& given) {
  CliOptions cli = given;
  io.set_strict_reading(cli.strict);
  io.open_new(LUNRES, "RESULT");
  io.open_new(LUNRUN, "RUNINF");
  if (names_a_scenario_file(cli)) {
    const Scenario scenario = read_scenario_file(io, cli);
    std::string title(kTitleLength, ' ');
    write_into_field(title, "(A)", {std::string_view(scenario.title)});
    write_title_to_logs(io, title);
    LegacyFiles files(io, title, !trimmed(scenario.inputs.FN_TXC).empty());
    if (wants_results(cli)) run_with_result_files(io, cli, scenario, files);
    const Summary sum = run_scenario(scenario, run_options(cli), &files, io);
    end_run(io, sum, kExitReady);
  }

  std::vector<const char*> names_argv;
  for (const std::string& a : cli.names_args) names_argv.push_back(a.c_str());
  Scenario scenario = read_scenario(io, static_cast<int>(names_argv.size()), names_argv.data(),
                                    cli.legacy_limits, kLegacyLimitHint);
  if (!cli.geometry_file.empty()) {
    scenario.geometry = read_geometry_file(io, kUnitInput, cli.geometry_file);
    io.write_list(kUnitConsoleOut, {"Channel geometry from: ", std::string_view(cli.geometry_file)});
  }
  scenario.outflow = cli.outflow;

  std::string title(kTitleLength, ' ');
  write_into_field(title, "(A)", {std::string_view(scenario.title)});
  write_title_to_logs(io, title);

  LegacyFiles files(io, title);
  if (wants_results(cli)) run_with_result_files(io, cli, scenario, files);
  const Summary sum = run_scenario(scenario, run_options(cli), &files, io);
  end_run(io, sum, kExitReady);
}

// The legacy ending: "IDID=" in RESULT after a failed integration, the files
// closed, the stop text.
[[noreturn]] void end_run(Units& io, const Summary& sum, int status_if_ready) {
  if (sum.status == kExitDasslError) {
    io.write_list(LUNRES, {"IDID=", sum.idid});
    close_run_files(io);
    stop("DASSL error", kExitDasslError);
  }
  if (sum.status != kExitReady) stop(sum.message, sum.status);
  close_run_files(io);
  stop("Ready", status_if_ready);
}

// The same run observed by the legacy files and the result files together.
// A result file that could not be written completely is reported on the
// console before the stop text and makes the exit status 1.
[[noreturn]] void run_with_result_files(Units& io, const CliOptions& cli,
                                        const Scenario& scenario, LegacyFiles& files) {
  ResultFiles results(cli, scenario);
  ObserverPair both(files, results.observer());
  const Summary sum = run_scenario(scenario, run_options(cli), &both, io);
  const std::string problems = results.finish(sum);
  if (problems.empty()) end_run(io, sum, kExitReady);
  io.write_line(kUnitConsoleOut, problems);
  end_run(io, sum, kExitBadInput);
}

// --help, --version and a command line that cannot be run: no logs are
// opened, nothing is read.
bool answer_without_running(Units& io, const CliOptions& cli, int& status) {
  if (!cli.error.empty()) {
    io.write_line(kUnitConsoleOut, "qz5: " + cli.error);
    io.write_line(kUnitConsoleOut, usage_text());
    status = kExitBadInput;
    return true;
  }
  if (cli.help) {
    io.write_line(kUnitConsoleOut, usage_text());
    status = kExitReady;
    return true;
  }
  if (cli.version) {
    io.write_line(kUnitConsoleOut, std::string("qz5 ") + kVersion);
    status = kExitReady;
    return true;
  }
  if (!cli.netcdf_file.empty() && !netcdf_available()) {
    io.write_line(kUnitConsoleOut, kNoNetcdf);
    status = kExitBadInput;
    return true;
  }
  return false;
}

}  // namespace

int run_qz5(Units& io, int argc, const char* const* argv) {
  if (argc > 1 && argv[1] != nullptr && std::string_view(argv[1]) == "convert")
    return run_convert(io, argc - 1, argv + 1);
  const CliOptions cli = parse_command_line(argc, argv);
  int status = kExitBadInput;
  if (answer_without_running(io, cli, status)) return status;
  try {
    run_main_program(io, cli);
  } catch (const Stop& s) {
    io.write_line(kUnitConsoleOut, s.text);
    status = s.status;
  } catch (const std::exception& e) {
    // A fault of the program itself, not of the input: still end cleanly,
    // with every file closed and complete.
    io.write_line(kUnitConsoleOut, std::string("qz5: internal error: ") + e.what());
    status = kExitBadInput;
  }
  // A file that cannot be completed is reported like a failed write,
  // whatever ended the run, and the run counts as failed.
  if (const std::optional<Stop> failure = io.close_all()) {
    io.write_line(kUnitConsoleOut, failure->text);
    status = failure->status;
  }
  return status;
}

}  // namespace qz5
