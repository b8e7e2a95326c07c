// The station series and the mass budget as plain CSV files, for
// spreadsheets, R or pandas: one header row, then one row per sample.
//
//   stations:  time,station,<name1>,<name2>,...
//              one row per sample time and station (station = its position);
//              with named stations time,station,station_name,<name1>,...
//   budget:    t_start,t_end,constituent,mass_start,...,moving_grid
//              one row per output interval and constituent (terms as in
//              run_record.h)
//
// When the times are days since a reference date (RecorderOptions::
// reference_date), an ISO 8601 date follows each time: time,date,station,...
// and t_start,date_start,t_end,date_end,constituent,...
//
// Numbers are written in the shortest form that reads back to the same
// double. Rows are written at every output time, so a run that fails or is
// killed leaves every completed interval in the file.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "results/calendar.h"
#include "results/recorder.h"

namespace qz5::results {

class CsvSink : public RecordSink {
 public:
  // Creates (or replaces) the file; error() tells when that failed.
  explicit CsvSink(const std::string& path);
  const std::string& error() const { return error_; }
  void end(const RunRecord& record) override;

 protected:
  void fail(const std::string& what);
  std::ofstream out_;
  std::string path_;
  std::string error_;
  std::size_t written_ = 0;  // rows of the record's dimension already written
  // Day 0 in the calendar, when the record's times are "days since" a date.
  std::optional<CalendarMoment> reference_;
  void find_reference(const RunRecord& record, const char* time_variable);
  // "," and the ISO date of t, with a reference date; else "".
  std::string date_field(double t) const;
};

class StationCsv : public CsvSink {
 public:
  using CsvSink::CsvSink;
  void begin(const RunRecord& record) override;
  void update(const RunRecord& record) override;

 private:
  std::vector<std::string> names_;
  std::vector<std::string> station_names_;  // empty: the stations are unnamed
};

class BudgetCsv : public CsvSink {
 public:
  using CsvSink::CsvSink;
  void begin(const RunRecord& record) override;
  void update(const RunRecord& record) override;

 private:
  std::vector<std::string> names_;
};

// The shortest decimal text that reads back as the same double.
std::string shortest(double v);

}  // namespace qz5::results
