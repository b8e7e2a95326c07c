// Malformed scenario and CSV files: each is refused with the file, the line,
// the column (character column in TOML, field number and header name in
// CSV), the value and what was expected. Every case changes one spot of a
// valid scenario (scenario_files.cpp, whose line numbers the expectations
// count) and expects the whole message.
#include <gtest/gtest.h>

#include <filesystem>

#include "scenario_file/scenario_files.h"
#include "scenario_file/toml_reader.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* name;
  const char* file;  // the file changed
  const char* from;  // its first occurrence is replaced ...
  const char* to;    // ... by this
  const char* message;
};

// The reader's message with the folder's path taken out.
std::string refusal_of(const std::map<std::string, std::string>& files, const std::string& tag) {
  const fs::path dir = testing::fresh_folder(tag);
  testing::write_files(dir, files);
  std::string message = "(read without a refusal)";
  try {
    read_scenario_document(dir / "s.toml");
  } catch (const ScenarioFileError& e) {
    message = e.what();
  }
  const std::string prefix = dir.string() + "/";
  for (std::size_t p; (p = message.find(prefix)) != std::string::npos;) message.erase(p, prefix.size());
  fs::remove_all(dir);
  return message;
}

const Case kCases[] = {
    // --- CSV tables
    {"decimal comma in a comma-separated row", "first.csv", "5, 0, 1", "5, 0,5, 1",
     "first.csv, line 3, column 2 (a): \"0,5\" holds 8 fields: a decimal comma splits a number; "
     "expected a decimal point, such as 0.5"},
    {"decimal comma in a semicolon-separated table", "driver.csv", "time, factor\n-1, 1\n",
     "time; factor\n-1; 1,0\n",
     "driver.csv, line 2, column 2 (factor): \"1,0\" has a decimal comma; expected a number with "
     "a decimal point"},
    {"row one value short", "first.csv", "10, 0, 1, 1, 1, 1, 1", "10, 0, 1, 1, 1, 1",
     "first.csv, line 4: the row holds 6 fields (a value is missing); expected 7 fields, one per "
     "column of the header"},
    {"row one value long", "first.csv", "10, 0, 1, 1, 1, 1, 1", "10, 0, 1, 1, 1, 1, 1, 1",
     "first.csv, line 4: the row holds 8 fields; expected 7 fields, one per column of the header"},
    {"column that is no constituent", "second.csv", "time, f, e, d, c, b, a", "time, f, e, d, c, b, x",
     "second.csv, line 2, column 7: \"x\" is not a column of this table; expected the columns "
     "time, a, b, c, d, e, f"},
    {"constituent missing from the header", "first.csv", "time, a [psu], b, c, d, e, f",
     "time, a [psu], b, c, d, e",
     "first.csv, line 1: the header lacks the column f; expected the columns time, a, b, c, d, e, f"},
    {"constituent named twice", "first.csv", "time, a [psu], b, c,", "time, a [psu], b, b,",
     "first.csv, line 1, column 4: \"b\" is named twice; expected the columns time, a, b, c, d, e, f"},
    {"unit other than the declared one", "first.csv", "a [psu]", "a [mg/L]",
     "first.csv, line 1, column 2: \"a [mg/L]\" has the unit mg/L but the scenario declares psu; "
     "expected the unit psu or none"},
    {"time column not first", "driver.csv", "time, factor\n-1, 1\n20, 1\n",
     "factor, time\n1, -1\n1, 20\n",
     "driver.csv, line 1, column 2: \"time\" must be the first column; expected the columns time, "
     "factor"},
    {"time in hours", "driver.csv", "time, factor", "time [h], factor",
     "driver.csv, line 1, column 1: \"time [h]\" has the unit h; expected time in days"},
    {"times decreasing", "first.csv", "5, 0, 1", "20, 0, 1",
     "first.csv, line 4, column 1 (time): \"10\" comes before the time above it; expected times "
     "that do not decrease (a time written twice is a step change)"},
    {"one time three times", "first.csv", "5, 0, 1, 1, 1, 1, 1\n10,", "0, 0, 1, 1, 1, 1, 1\n0,",
     "first.csv, line 4, column 1 (time): \"0\" is written a third time; expected at most two rows "
     "at one time (a step change)"},
    {"a word for a number", "first.csv", "5, 0, 1", "5, zero, 1",
     "first.csv, line 3, column 2 (a): \"zero\" is not a number; expected a number"},
    {"an empty field", "first.csv", "5, 0, 1", "5, , 1",
     "first.csv, line 3, column 2 (a): is empty; expected a number"},
    {"a Fortran exponent", "driver.csv", "20, 1", "20, 1.0D0",
     "driver.csv, line 3, column 2 (factor): \"1.0D0\" is not a number; expected a number"},
    {"dates without a reference date", "driver.csv", "time, factor", "date, factor",
     "driver.csv, line 1, column 1: \"date\" gives dates, but the scenario has no reference_date; "
     "expected a time column in days, or a reference_date in the scenario file"},
    {"a table of one row", "driver.csv", "20, 1\n", "",
     "driver.csv, line 2: holds 1 row(s); expected at least two rows"},
    {"inline table: its lines are the scenario file's", "s.toml", "10, 1, 2, 3, 4, 5, 6",
     "10, 1, 2, 3, 4, 5",
     "s.toml, line 30: the row holds 6 fields (a value is missing); expected 7 fields, one per "
     "column of the header"},
    {"both ends at other times", "second.csv", "5, 26", "6, 26",
     "second.csv, line 4, column 1 (time): \"6.0\" is not the time of row 2 in first.csv (5.0); "
     "expected the same times in every boundary table (the model keeps them in one table)"},
    {"a table file that is missing", "s.toml", "first = \"first.csv\"", "first = \"frist.csv\"",
     "s.toml, line 19, column 9: \"frist.csv\" cannot be opened; expected a readable file (paths "
     "resolve against the scenario file's folder)"},
    {"profile positions in another unit", "s.toml", "linear = true\n",
     "table = \"\"\"\nx [km], a, b, c, d, e, f\n0, 1, 1, 1, 1, 1, 1\n\"\"\"\n",
     "s.toml, line 36, column 1: \"x [km]\" has the unit km but the scenario's length unit is m; "
     "expected the unit m or none"},
    {"profile of two points for three", "s.toml", "linear = true\n", "table = \"\"\"\nx [m], a, b, c, d, e, f\n0, 1, 1, 1, 1, 1, 1\n100, 1, 1, 1, 1, 1, 1\n\"\"\"\n",
     "s.toml, line 38: ends the profile after 2 points; expected one row per grid point: 3"},
    {"profile of four points for three", "s.toml", "linear = true\n", "table = \"\"\"\nx [m], a, b, c, d, e, f\n0, 1, 1, 1, 1, 1, 1\n50, 1, 1, 1, 1, 1, 1\n60, 1, 1, 1, 1, 1, 1\n100, 1, 1, 1, 1, 1, 1\n\"\"\"\n",
     "s.toml, line 40: is point 4 of the profile; expected one row per grid point: 3"},
    {"a channel table short of the second end", "s.toml", "geometry = \"built-in\"",
     "geometry = \"\"\"\nx, area, dispersion\n0, 1, 1\n50, 1, 1\n\"\"\"",
     "s.toml, line 20, column 1 (x): \"50.0\" leaves the reach from first_end to second_end "
     "uncovered; expected rows from at or before 0.0 to at or after 100.0"},
    {"profile positions not increasing", "s.toml", "linear = true\n", "table = \"\"\"\nx [m], a, b, c, d, e, f\n0, 1, 1, 1, 1, 1, 1\n50, 1, 1, 1, 1, 1, 1\n40, 1, 1, 1, 1, 1, 1\n\"\"\"\n",
     "s.toml, line 39, column 1 (x): \"40\" does not increase; expected positions after 50.0"},
    // --- the scenario file itself
    {"decimal comma in TOML", "s.toml", "atol = 0.001", "atol = 1,0E-3",
     "s.toml, line 10, column 9: \"atol = 1,0E-3\" is not valid TOML: Error while parsing "
     "key-value pair: expected a comment or whitespace, saw ',' (a decimal comma? write numbers with a decimal point); expected key = value lines and "
     "[table] headers"},
    {"a number in quotes with a decimal comma", "s.toml", "tau = 0.5", "tau = \"0,5\"",
     "s.toml, line 5, column 7: \"0,5\" is a text for grid.tau (with a decimal comma); expected a "
     "number"},
    {"a misspelt key", "s.toml", "atol = 0.001\n", "atol = 0.001\nrtoll = 1\n",
     "s.toml, line 11, column 1: \"rtoll\" is not a key of [integrator]; expected one of atol, "
     "non_negative, rtol"},
    {"a missing key", "s.toml", "kappa = 2.0\n", "",
     "s.toml, line 3, column 1: the table [grid] lacks the key kappa; expected a line kappa = ..."},
    {"a whole number in quotes", "s.toml", "points = 3", "points = \"3\"",
     "s.toml, line 4, column 10: \"3\" is a text for grid.points; expected a whole number"},
    {"a date without a reference date", "s.toml", "start = 0.0", "start = 2024-01-01",
     "s.toml, line 12, column 9: \"2024-01-01\" is a date, but the scenario has no "
     "reference_date; expected a time in days, or reference_date = YYYY-MM-DD at the top of the "
     "file"},
    {"output times out of order", "s.toml", "outputs = [1.0, 2.0]", "outputs = [2.0, 1.0]",
     "s.toml, line 13, column 11: \"1.0\" does not come after the output time before it; "
     "expected increasing output times"},
    {"an unknown outflow", "s.toml", "geometry = \"built-in\"\n",
     "geometry = \"built-in\"\noutflow = \"open\"\n",
     "s.toml, line 18, column 11: \"open\" is not an outflow type; expected fixed (the second end "
     "holds its boundary series) or free"},
    {"a kinetics model that does not exist", "s.toml", "model = \"built-in\"", "model = \"declared\"",
     "s.toml, line 37, column 9: \"declared\" is not a kinetics model; expected \"built-in\"; "
     "declared kinetics are written without a model key, inline or as kinetics = \"file.toml\""},
    {"a reaction parameter missing", "s.toml", "detritus_decay = 0.05\n", "",
     "s.toml, line 38, column 1: the table [kinetics.parameters] lacks the key detritus_decay; "
     "expected a line detritus_decay = ..."},
    {"a constituent name with a blank", "s.toml", "{ name = \"b\" }", "{ name = \"b c\" }",
     "s.toml, line 2, column 48: \"b c\" cannot name a constituent (it heads CSV columns and names "
     "NetCDF variables); expected letters, digits and _, not starting with a digit, other than "
     "time, date and x"},
    {"five constituents", "s.toml", ", { name = \"f\" } ]", " ]",
     "s.toml, line 2, column 16: declares 5 constituents; expected six [[constituents]], in the "
     "order of the built-in kinetics: tracer, substrate, nutrient, two growing pools, detritus"},
};

TEST(MalformedScenarioFiles, EachIsRefusedNamingFileLineColumnAndReason) {
  int n = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    auto files = testing::small_scenario();
    std::string& text = files.at(c.file);
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << "the case's text is not in " << c.file;
    text.replace(at, std::string(c.from).size(), c.to);
    EXPECT_EQ(refusal_of(files, "malformed" + std::to_string(n++)), c.message);
  }
}

TEST(MalformedScenarioFiles, TheUnchangedScenarioReads) {
  EXPECT_EQ(refusal_of(testing::small_scenario(), "valid"), "(read without a refusal)");
}

}  // namespace
}  // namespace qz5::scenario_file
