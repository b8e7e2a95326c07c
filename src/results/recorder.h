// The Recorder: an engine observer that fills a RunRecord (run_record.h) as
// the run advances - profiles at the output times, station series after
// every accepted step, the mass budget of every output interval, and the
// run's description, statistics and status - and hands each new part to its
// sinks (the NetCDF file, the CSV files) so they can write incrementally.
//
//   qz5::results::RecorderOptions opt;
//   opt.stations = {1000.0, 12000.0};
//   opt.budget = true;
//   qz5::results::Recorder rec(opt);
//   qz5::RunOptions run;  run.observe_steps = true;   // stations and budget need it
//   qz5::Summary sum = qz5::run_scenario(scenario, run, &rec, io);
//   rec.finish(sum);
//   const qz5::results::RunRecord& r = rec.record();
//
// Station series and budget are sampled at every accepted step, so they need
// RunOptions::observe_steps; without it they see only the output times (the
// series are then coarser and the budget's time integrals cruder).
//
// The Recorder never writes to the run's console and never changes the run:
// for the budget it evaluates the channel, the lateral inputs and the
// kinetics on its own copy of the inputs with a console of its own that
// discards what it is given.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/scenario.h"
#include "results/constituents.h"
#include "results/run_record.h"

namespace qz5::results {

// Receives the record as it grows. begin() once the layout is complete (every
// unlimited dimension still empty, the description attributes set); update()
// after each output time and once more at the end, when the record has grown
// or its global attributes have changed: a sink writes what it has not
// written yet. end() once, after the last update.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void begin(const RunRecord& record) = 0;
  virtual void update(const RunRecord& record) = 0;
  virtual void end(const RunRecord& record) = 0;
};

// An input file named in the record, with the role it played.
struct InputFile {
  std::string role;  // names, parameters, ..., geometry
  std::string path;
};

struct RecorderOptions {
  bool profiles = true;                       // x and every constituent at the output times
  std::vector<double> stations;               // positions, file length units; empty: none
  std::vector<std::string> station_names;     // one per station, or none: unnamed
  bool budget = false;                        // mass budget per output interval
  std::vector<ConstituentInfo> constituents;  // named ones; the rest generic
  std::string length_unit = "file length units";
  // The calendar moment of day 0 as "YYYY-MM-DD hh:mm:ss": the time
  // coordinates are then "days since" it in the proleptic Gregorian
  // calendar, which CF tools decode as dates, and the CSV files write ISO
  // dates next to the days. "": times are plain days, as without a calendar.
  std::string reference_date;
  // Keep every row in the record (the Python package builds its Dataset
  // from it). Without, rows are dropped once the sinks have written them,
  // so a run that only streams to files holds one output interval at most.
  bool keep_rows = true;
  // Input files the model state does not name (the names file, a geometry
  // file); those it names are added by the Recorder.
  std::vector<InputFile> extra_inputs;
};

class Recorder : public Observer {
 public:
  explicit Recorder(RecorderOptions options);
  ~Recorder() override;
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // What would make these options fail for the scenario, before running it:
  // a station outside the reach (the message names it), more constituent
  // names than constituents. "" when they fit.
  static std::string check(const RecorderOptions& options, const Scenario& scenario);
  // The same as every problem, each under the option it concerns
  // ("stations", "constituents").
  static FieldProblems problems(const RecorderOptions& options, const Scenario& scenario);

  // Sinks must outlive the run; they are called in the order added.
  void add_sink(RecordSink* sink);

  void on_start(const RunContext& ctx, const Snapshot& s) override;
  void on_step(const StepInfo& step, const Snapshot& s) override;
  void on_output(int i, int idid, const Snapshot& s, const IntegratorStatistics& stats) override;

  // Records how the run ended (status, message, statistics) and ends the
  // sinks. Call once, after run_scenario; also when the run stopped before
  // on_start (the record then holds the description only).
  void finish(const Summary& summary);
  // The same, recording `ending` as the run's exit status and stop text
  // instead of the legacy ending of the summary (the executable ended by
  // Ctrl-C records status 130, "Interrupted").
  void finish(const Summary& summary, const LegacyEnding& ending);

  const RunRecord& record() const { return record_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  RunRecord record_;
};

}  // namespace qz5::results
