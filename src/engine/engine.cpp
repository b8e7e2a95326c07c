#include "engine/engine.h"

#include <exception>
#include <memory>
#include <sstream>

#include "engine/run_session.h"
#include "input/problem_setup.h"
#include "input/uinit.h"

namespace qz5 {

Scenario read_scenario(Units& io, const std::filesystem::path& names_file,
                       const ScenarioReadOptions& options) {
  Scenario s;
  std::string title(kFileNameLength, ' ');
  iniprb_qz5(io, s.inputs, title, names_file, options);
  s.title = title.substr(0, title.find_last_not_of(' ') + 1);
  if (options.read_profile && s.inputs.USE_UT0) load_initial_profile(io, s.inputs);
  return s;
}

Scenario read_scenario(Units& io, const std::filesystem::path& names_file) {
  ScenarioReadOptions options;
  options.legacy_limits = false;
  options.base_folder = std::filesystem::absolute(names_file).parent_path();
  return read_scenario(io, names_file.filename(), options);
}

namespace {

void finish_summary(Summary& sum, RunSession* run) {
  if (run == nullptr) return;
  sum.statistics = run->statistics();
  sum.idid = run->state().IDID;
  const Inputs& ms = run->inputs();
  sum.t_reached = run->state().T * (ms.TUNIT_DAY / ms.TUNIT_MODEL);
}

// The run proper, filling the summary as it goes; a stop leaves what was
// done so far in it.
void run_to_end(RunSession& run, Observer* observer, Summary& sum) {
  run.prepare();
  if (observer != nullptr) observer->on_start(run.context(), run.snapshot());
  const Inputs& ms = run.inputs();
  for (int i = 1; i <= ms.NTIMES; ++i) {
    const int idid = run.advance(i, observer);
    if (observer != nullptr) observer->on_output(i, idid, run.snapshot(), run.statistics());
    if (idid < 0) {
      sum.status = kExitDasslError;
      sum.message = "DASSL error";
      return;
    }
    sum.outputs_done = i;
  }
  sum.status = kExitReady;
  sum.message = "Ready";
}

}  // namespace

Summary run_scenario(const Scenario& scenario, const RunOptions& options, Observer* observer,
                     Units& io) {
  Summary sum;
  std::unique_ptr<RunSession> run;
  try {
    run = std::make_unique<RunSession>(scenario, options, io);
    run_to_end(*run, observer, sum);
  } catch (const Stop& s) {
    sum.status = s.status;
    sum.message = s.text;
  } catch (const std::exception& e) {
    // A fault of the program itself, not of the input: still a summary.
    sum.status = kExitBadInput;
    sum.message = std::string("qz5: internal error: ") + e.what();
  }
  finish_summary(sum, run.get());
  return sum;
}

Summary run_scenario(const Scenario& scenario, const RunOptions& options, Observer* observer) {
  std::istringstream in;
  std::ostringstream console;
  Summary sum;
  {
    Units io(in, console);
    sum = run_scenario(scenario, options, observer, io);
  }
  sum.console = console.str();
  return sum;
}

}  // namespace qz5
