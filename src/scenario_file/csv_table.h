// Tables of a scenario in CSV form, read strictly.
//
// A table is a header line naming its columns, then one row per line:
//
//   # the mouth of the estuary (a line starting with # is a comment)
//   time, salinity [psu], doc, din, phyto, consumers, detritus
//   -30, 30.0118, 90, 13.9409, 14.0887, 5, 15
//
// The first column is the table's key: "time" (days) or "date" (an ISO 8601
// date or date and time, which needs the scenario's reference date) for a
// series, "x" (file length units) for a profile along the channel. The other
// columns are named by what they hold - constituents by their names - in any
// order; a column the table does not expect, a missing or a repeated one is
// refused. A unit in brackets after a name is checked against the unit the
// scenario declares for it. Fields are separated by commas (or, when the
// header uses semicolons, by semicolons); blanks around a field do not
// matter. Every row must hold every column; every field must be a number
// written with a decimal point (a decimal comma is refused, saying so).
// Times may not decrease; a time written twice is a step change. Positions
// must increase.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scenario_file/errors.h"
#include "scenario_file/scenario_document.h"

namespace qz5::scenario_file {

// Where a table's text comes from: a CSV file (first_line 1) or a string
// inside the scenario file, whose first line is line first_line there.
struct TextSource {
  std::string file;
  long first_line = 1;
};

enum class KeyKind { kTime, kPosition };

struct ColumnSpec {
  std::string name;
  std::string unit;  // "" : any unit given is accepted
};

struct CsvTable {
  std::vector<double> key;                   // days, or positions
  std::vector<std::vector<double>> columns;  // one per ColumnSpec, in the order asked for
  std::vector<long> lines;                   // the line of every row
};

// Reads the table or throws ScenarioFileError naming the place. `reference`
// is the scenario's reference date (needed for a "date" column).
// `length_unit`, when not empty, is the unit an "x [unit]" header must give.
CsvTable read_csv_table(std::string_view text, const TextSource& source, KeyKind key,
                        const std::vector<ColumnSpec>& columns,
                        const std::optional<CalendarMoment>& reference,
                        const std::string& length_unit = {});

// Parses a number as a scenario file writes it (what std::from_chars takes
// in general form, finite); false for anything else.
bool parse_number(std::string_view text, double& value);

// The shortest text that reads back as exactly `v`.
std::string number_text(double v);

}  // namespace qz5::scenario_file
