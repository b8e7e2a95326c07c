// How the scenario-file readers refuse input.
//
// Every refusal names the file, the line, the column and the value, and says
// what was expected, so that a modeller can go straight to the place:
//
//   head.csv, line 4, column 3 (doc): "1,5" has a decimal comma; expected a
//   number with a decimal point, such as 1.5
//
// The readers throw ScenarioFileError; the executable prints its message and
// ends with status 1, the Python package raises it as an InputError.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace qz5::scenario_file {

class ScenarioFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A place in a text file. `column` is the character column for TOML and the
// field number for CSV; `column_name` names a CSV field by its header.
struct Place {
  std::string file;
  long line = 0;
  long column = 0;
  std::string column_name;
};

// "<file>, line L, column C (name): "<value>" <problem>; expected <expected>"
// (the pieces left empty are left out).
[[noreturn]] void refuse(const Place& where, std::string_view value, std::string_view problem,
                         std::string_view expected);

// Whether the text is a number written with a decimal comma ("1,5",
// "-0,25E-3"): digits, one comma, digits, an optional exponent.
bool looks_like_decimal_comma(std::string_view text);

}  // namespace qz5::scenario_file
