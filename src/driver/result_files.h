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
  std::string finish(const Summary& summary);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Forwards every report to two observers, first to second.
class ObserverPair : public Observer {
 public:
  ObserverPair(Observer& first, Observer& second) : a_(first), b_(second) {}
  void on_start(const RunContext& ctx, const Snapshot& s) override {
    a_.on_start(ctx, s);
    b_.on_start(ctx, s);
  }
  void on_step(const StepInfo& step, const Snapshot& s) override {
    a_.on_step(step, s);
    b_.on_step(step, s);
  }
  void on_output(int i, int idid, const Snapshot& s, const IntegratorStatistics& st) override {
    a_.on_output(i, idid, s, st);
    b_.on_output(i, idid, s, st);
  }

 private:
  Observer& a_;
  Observer& b_;
};

}  // namespace qz5
