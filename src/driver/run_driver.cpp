#include "driver/run_driver.h"

#include <csignal>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/cli_options.h"
#include "driver/convert_command.h"
#include "driver/out_txc.h"
#include "driver/result_files.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/run_state.h"
#include "engine/version.h"
#include "kinetics/declared_kinetics.h"
#include "results/file_clash.h"
#include "results/stop_check.h"
#include "scenario_file/to_engine.h"
#include "scenario_file/toml_reader.h"

namespace qz5 {
namespace {

constexpr int kTitleLength = 80;

// Set by the SIGINT handler that main installs; read between steps.
volatile std::sig_atomic_t g_interrupted = 0;

void note_interrupt(int) { g_interrupted = 1; }

bool interrupt_requested() { return g_interrupted != 0; }

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
void write_run_header(Units& io, const Inputs& in, const RunState& ms, std::string& title) {
  write_header_line(io, title,
                    {{1, 6, "(A)", " NPTS="},
                     {7, 9, "(I3)", in.NPTS},
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
  LegacyFiles(const LegacyFiles&) = delete;
  LegacyFiles& operator=(const LegacyFiles&) = delete;

  void on_start(const RunContext& ctx, const Snapshot& s) override {
    ms_ = &ctx.ms;
    st_ = &ctx.state;
    write_run_header(io_, *ms_, *st_, title_);
    if (with_txc_) {
      io_.open_new(LUNTXC, ms_->resolved(ms_->FN_TXC), ms_->FN_TXC.string());
      OUT_TXC(io_, LUNTXC, s.t, s.x, s.c, s.ncomp, s.npts);
    }
    flush_all();
  }

  void on_step(const StepInfo& step, const Snapshot&) override { MONITOR(io_, LUNRUN, step); }
  void on_illegal_solution(double t_model) override { note_illegal_solution(io_, t_model); }

  void on_output(int, int, const Snapshot& s, const IntegratorStatistics& st) override {
    if (with_txc_) OUT_TXC(io_, LUNTXC, s.t, s.x, s.c, s.ncomp, s.npts);
    write_statistics(io_, st);
    flush_all();
  }

 private:
  // A run killed part-way keeps every block and statistics group completed.
  // So does the console, also when it is a file or a pipe (a batch job's
  // log, which a time limit may end with a signal).
  void flush_all() {
    io_.flush(LUNRES);
    io_.flush(LUNRUN);
    if (with_txc_) io_.flush(LUNTXC);
    io_.flush(kUnitConsoleOut);
  }

  Units& io_;
  std::string& title_;
  bool with_txc_;
  const Inputs* ms_ = nullptr;
  const RunState* st_ = nullptr;
};

RunOptions run_options(const CliOptions& cli) {
  RunOptions opt;
  opt.observe_steps = true;  // one progress line per step
  opt.legacy_answers = true;  // the readers have checked what the legacy program checks
  opt.max_steps_per_interval = cli.max_steps_per_interval;
  opt.project_negative = cli.project_negative;
  opt.exact_jacobian = cli.exact_jacobian;
  opt.spaced_position_increments = cli.spaced_position_increments;
  opt.positions_out_of_error_test = cli.positions_out_of_error_test;
  opt.exact_sources = cli.exact_sources;
  opt.averaged_channel = cli.averaged_channel;
  opt.position_rtol = cli.position_rtol;
  opt.position_atol = cli.position_atol;
  if (cli.legacy_limits) {
    Capacities caps;
    caps.hint = kLegacyLimitHint;
    opt.capacities = caps;
  }
  return opt;
}

// The legacy ending, or status 130 and "Interrupted" for a run Ctrl-C
// stopped.
LegacyEnding ending_of(const Summary& sum) {
  if (sum.outcome == Outcome::kStoppedByCaller && interrupt_requested())
    return {results::kExitInterrupted, results::kInterruptedText};
  return legacy_ending(sum);
}

// With result files asked for, no result file may replace the names file,
// also when it was given at the prompt: checked once its name is known.
void refuse_names_file_overwrite(const CliOptions& cli, const std::filesystem::path& names) {
  if (!wants_results(cli) || cli.names_args.size() > 1) return;
  CliOptions with_names = cli;
  with_names.names_args.push_back(names.string());
  if (const std::string clash = results::find_file_clash(result_file_roles(with_names));
      !clash.empty())
    stop("qz5: " + clash, kExitBadInput);
}

LegacyEnding end_run(Units& io, const Summary& sum, int status_if_ready);
LegacyEnding run_with_result_files(Units& io, const CliOptions& cli, const Scenario& scenario,
                                   LegacyFiles& files);

// The file the command line names, as a path to open from the run's folder.
std::filesystem::path in_folder(const std::filesystem::path& folder, const std::string& name) {
  const std::filesystem::path p(name);
  return p.is_absolute() || folder.empty() ? p : folder / p;
}

// The run a scenario file describes, its result files included (options
// given on the command line take precedence). The legacy capacities do not
// apply to a scenario file.
Scenario read_scenario_file(Units& io, CliOptions& cli, const std::filesystem::path& folder) {
  const std::string& file = cli.names_args[1];
  if (!cli.geometry_file.empty() || cli.outflow != Outflow::kFixedConcentration)
    stop("qz5: --geometry and --outflow belong in the scenario file's [channel] (" + file + ")",
         kExitBadInput);
  if (!cli.kinetics_file.empty())
    stop("qz5: --kinetics belongs in the scenario file's kinetics entry (" + file + ")", kExitBadInput);
  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Scenario file being used: ", std::string_view(file)});
  scenario_file::ScenarioDocument doc;
  try {
    doc = scenario_file::read_scenario_document(in_folder(folder, file));
  } catch (const scenario_file::ScenarioFileError& e) {
    stop(e.what(), kExitBadInput);
  }
  const scenario_file::Outputs& out = doc.output;
  if (!out.txc.empty()) io.write_list(kUnitConsoleOut, {"   txc: ", out.txc.string()});
  if (cli.netcdf_file.empty()) cli.netcdf_file = out.netcdf.string();
  if (cli.stations_csv.empty()) cli.stations_csv = out.stations_csv.string();
  if (cli.budget_file.empty()) cli.budget_file = out.budget_csv.string();
  if (cli.stations.empty()) {
    for (const scenario_file::Station& st : out.stations) {
      cli.stations.push_back(st.position);
      cli.station_names.push_back(st.name);
    }
  }
  if (!doc.kinetics_file.empty()) {
    io.write_list(kUnitConsoleOut, {"   kinetics: ", doc.kinetics_file.string()});
    cli.kinetics_file = doc.kinetics_file.string();  // an input of the run, for the result files
  }
  // Declared kinetics name their constituents themselves.
  if (cli.constituents.empty() && doc.kinetics == nullptr) {
    for (const scenario_file::Constituent& c : doc.constituents)
      cli.constituents += (cli.constituents.empty() ? "" : ",") + c.name + (c.unit.empty() ? "" : ":" + c.unit);
  }
  if (cli.length_unit.empty()) cli.length_unit = doc.length_unit;
  if (doc.reference_date) cli.reference_date = results::cf_origin(*doc.reference_date);
  cli.legacy_limits = false;
  // The result files the scenario names may not replace one another or it.
  if (const std::string clash = results::find_file_clash(result_file_roles(cli)); !clash.empty())
    stop("qz5: " + clash, kExitBadInput);
  return scenario_file::to_engine_scenario(doc, io);
}

bool names_a_scenario_file(const CliOptions& cli, const std::filesystem::path& folder) {
  return cli.names_args.size() > 1 &&
         scenario_file::is_scenario_file(in_folder(folder, cli.names_args[1]));
}

LegacyEnding run_scenario_file(Units& io, CliOptions& cli, const std::filesystem::path& folder) {
  const Scenario scenario = read_scenario_file(io, cli, folder);
  std::string title(kTitleLength, ' ');
  write_into_field(title, "(A)", {std::string_view(scenario.title)});
  write_title_to_logs(io, title);
  LegacyFiles files(io, title, !scenario.inputs.FN_TXC.empty());
  if (wants_results(cli)) return run_with_result_files(io, cli, scenario, files);
  const Summary sum = run_scenario(scenario, run_options(cli), &files, io);
  return end_run(io, sum, kExitReady);
}

// The declared kinetics, or the refusal naming the file, line and reason. A
// relative name is taken in the run's folder (the working folder when none).
std::shared_ptr<const Kinetics> read_kinetics(Units& io, const std::string& file,
                                              const std::filesystem::path& folder) {
  const std::filesystem::path path(file);
  try {
    std::shared_ptr<const Kinetics> k =
        DeclaredKinetics::read_file(folder.empty() || path.is_absolute() ? path : folder / path);
    io.write_list(kUnitConsoleOut, {"Kinetics from: ", std::string_view(file)});
    return k;
  } catch (const KineticsError& e) {
    io.write_list(kUnitConsoleOut, {std::string_view(std::string("Kinetics::Error, ") + e.what())});
    stop();
  }
}

// Reads, runs and ends the run; returns the stop text and exit status. A
// refusal of the readers still arrives as a Stop (the legacy readers end the
// program where they find the fault), caught by run_qz5.
LegacyEnding run_main_program(Units& io, const CliOptions& given,
                              const std::filesystem::path& folder) {
  CliOptions cli = given;
  io.set_strict_reading(cli.strict);
  io.open_new(LUNRES, folder / "RESULT", "RESULT");
  io.open_new(LUNRUN, folder / "RUNINF", "RUNINF");
  if (names_a_scenario_file(cli, folder)) return run_scenario_file(io, cli, folder);

  ScenarioReadOptions read;
  read.legacy_limits = cli.legacy_limits;
  read.capacity_hint = kLegacyLimitHint;
  read.read_profile = false;  // the legacy order: the profile's messages follow the run header
  if (!cli.kinetics_file.empty()) read.kinetics = read_kinetics(io, cli.kinetics_file, folder);
  const std::filesystem::path names = names_file_name(io, cli);
  // The names file itself is read against the base folder too.
  read.base_folder = cli.names_from_names_folder ? (folder / names).parent_path() : folder;
  refuse_names_file_overwrite(cli, names);
  Scenario scenario =
      read_scenario(io, cli.names_from_names_folder ? names.filename() : names, read);
  if (!cli.geometry_file.empty()) {
    scenario.geometry = read_geometry_file(io, kUnitInput, cli.geometry_file);
    io.write_list(kUnitConsoleOut, {"Channel geometry from: ", std::string_view(cli.geometry_file)});
  }
  scenario.outflow = cli.outflow;

  std::string title(kTitleLength, ' ');
  write_into_field(title, "(A)", {std::string_view(scenario.title)});
  write_title_to_logs(io, title);

  LegacyFiles files(io, title);
  if (wants_results(cli)) return run_with_result_files(io, cli, scenario, files);
  results::StopCheck interrupt(interrupt_requested, {});
  const Summary sum = run_scenario(scenario, run_options(cli), {&files, &interrupt}, io);
  return end_run(io, sum, kExitReady);
}

// The legacy ending: "IDID=" in RESULT after a failed integration, the files
// closed, the stop text and exit status of the outcome (status_if_ready when
// the run completed).
LegacyEnding end_run(Units& io, const Summary& sum, int status_if_ready) {
  LegacyEnding ending = ending_of(sum);
  if (ending.status == results::kExitInterrupted) {
    close_run_files(io);
    return ending;
  }
  if (sum.outcome == Outcome::kIntegrationFailure) {
    io.write_list(LUNRES, {"IDID=", sum.idid});
    close_run_files(io);
    return ending;
  }
  if (!sum.completed()) return ending;
  close_run_files(io);
  ending.status = status_if_ready;
  return ending;
}

// The same run observed by the legacy files and the result files together.
// A result file that could not be written completely is reported on the
// console before the stop text and makes the exit status 1.
LegacyEnding run_with_result_files(Units& io, const CliOptions& cli, const Scenario& scenario,
                                   LegacyFiles& files) {
  ResultFiles results(io, cli, scenario);
  results::StopCheck interrupt(interrupt_requested, {});
  const Summary sum =
      run_scenario(scenario, run_options(cli), {&files, &results.observer(), &interrupt}, io);
  const std::string problems = results.finish(sum, ending_of(sum));
  if (problems.empty()) return end_run(io, sum, kExitReady);
  io.write_line(kUnitConsoleOut, problems);
  return end_run(io, sum, kExitBadInput);
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
  if (!cli.kinetics_file.empty() && !cli.constituents.empty()) {
    io.write_line(kUnitConsoleOut,
                  "qz5: --constituents cannot be used with --kinetics: the kinetics file names "
                  "the constituents");
    status = kExitBadInput;
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

void note_illegal_solution(Units& io, double t_model) {
  io.write_formatted(LUNRUN, "(' Illegal solution at T= ',E12.4)", {t_model});
}

std::filesystem::path names_file_name(Units& io, const CliOptions& cli) {
  std::string name;
  if (cli.names_args.size() > 1) {
    name = cli.names_args[1].substr(0, kFileNameLength);
  } else {
    io.write_formatted(kUnitConsoleOut, "(1x,a,$)", {"Enter filename of names file [*.fn]: "});
    io.read_line(kUnitConsoleIn, name, kFileNameLength);
  }
  const auto end = name.find_last_not_of(' ');
  return name.substr(0, end == std::string::npos ? 0 : end + 1);
}

void stop_runs_on_interrupt() { std::signal(SIGINT, note_interrupt); }

int run_qz5(Units& io, int argc, const char* const* argv, const std::filesystem::path& folder) {
  if (argc > 1 && argv[1] != nullptr && std::string_view(argv[1]) == "convert")
    return run_convert(io, argc - 1, argv + 1, folder);
  const CliOptions cli = parse_command_line(argc, argv);
  int status = kExitBadInput;
  if (answer_without_running(io, cli, status)) return status;
  try {
    const LegacyEnding ending = run_main_program(io, cli, folder);
    io.write_line(kUnitConsoleOut, ending.text.empty() ? kDefaultStopText : ending.text);
    status = ending.status;
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
