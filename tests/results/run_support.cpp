#include "results/run_support.h"

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/scenario.h"

namespace qz5::results::testing_support {
namespace fs = std::filesystem;

fs::path bundled_scenario() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "estuary";
}

fs::path copy_of_bundled(const std::string& tag) {
  const fs::path dir = e2e::fresh_dir(tag);
  for (const auto& entry : fs::directory_iterator(bundled_scenario()))
    fs::copy_file(entry.path(), dir / entry.path().filename());
  return dir;
}

RecordedRun run_recorded(const fs::path& dir, const std::string& names_file,
                         RecorderOptions options, RunOptions run,
                         const std::function<void(Scenario&)>& change) {
  std::istringstream in;
  std::ostringstream console;
  RecordedRun out;
  {
    Units io(in, console);
    ScenarioReadOptions read;
    read.legacy_limits = false;
    read.base_folder = dir;
    Scenario s = read_scenario(io, names_file, read);
    if (change) change(s);
    out.recorder = std::make_unique<Recorder>(std::move(options));
    run.observe_steps = true;
    out.summary = run_scenario(s, run, out.recorder.get(), io);
    out.recorder->finish(out.summary);
  }
  return out;
}

const std::vector<double>& data(const RunRecord& r, const std::string& name) {
  const Variable* v = r.variable(name);
  if (v == nullptr) {
    ADD_FAILURE() << "no variable " << name;
    static const std::vector<double> none;
    return none;
  }
  return v->data;
}

std::vector<double> budget_term(const RunRecord& r, const std::string& constituent,
                                BudgetTerm term) {
  const std::vector<double>& all = data(r, kBudgetPrefix + constituent);
  std::vector<double> out;
  for (std::size_t i = term; i < all.size(); i += kBudgetTerms) out.push_back(all[i]);
  return out;
}

}  // namespace qz5::results::testing_support
