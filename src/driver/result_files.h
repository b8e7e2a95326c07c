// The result files a modeller analyses, beside the legacy ones: a NetCDF
// file, the station series and the mass budget as CSV, as the command line
// asks for them (--netcdf, --stations, --stations-csv, --budget,
// --constituents, --length-unit). They are written through a Recorder
// (results/recorder.h) that observes the run next to the legacy files; a run
// that asks for none of them never builds one.
#pragma once

#include <memory>
#include <string>

#include "driver/cli_options.h"
#include "engine/engine.h"
#include "textio/textio.h"

namespace qz5 {

class ResultFiles {
 public:
  // Checks the options against the scenario (stations inside the reach,
  // constituent names, no result file that is an input or another output)
  // and creates the files. A refusal or a file that cannot be created stops
  // the run (throws Stop, status 1) with a message naming it. Says on the
  // console when the constituent names came from a file.
  ResultFiles(Units& io, const CliOptions& cli, const Scenario& scenario);
  ~ResultFiles();
  ResultFiles(const ResultFiles&) = delete;
  ResultFiles& operator=(const ResultFiles&) = delete;

  // The observer that fills them.
  Observer& observer();

  // Ends the record with the run's summary and closes the files. Returns the
  // problems met while writing them, one line each ("" when none).
  // `ending` is what the executable's exit status and stop text will be.
  std::string finish(const Summary& summary, const LegacyEnding& ending);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qz5
