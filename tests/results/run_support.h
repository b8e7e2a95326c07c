// Runs of the engine with a Recorder for the results tests: in a folder of
// their own (the readers take file names relative to the working folder),
// with the console captured.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "results/recorder.h"

namespace qz5::results::testing_support {

struct RecordedRun {
  Summary summary;
  std::unique_ptr<Recorder> recorder;
  const RunRecord& record() const { return recorder->record(); }
};

// The bundled scenario's folder.
std::filesystem::path bundled_scenario();

// A fresh folder holding a copy of the bundled scenario.
std::filesystem::path copy_of_bundled(const std::string& tag);

// Reads `names_file` in `dir`, lets `change` adjust the scenario, runs it
// with the recorder (steps observed) and finishes the record.
RecordedRun run_recorded(const std::filesystem::path& dir, const std::string& names_file,
                         RecorderOptions options, RunOptions run = {},
                         const std::function<void(Scenario&)>& change = {});

// A variable's data, failing the test when it is missing.
const std::vector<double>& data(const RunRecord& r, const std::string& name);

}  // namespace qz5::results::testing_support
